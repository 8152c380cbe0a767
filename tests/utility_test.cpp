#include "app/utility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>

TEST(RandomSource, KnownSequenceFullRangeAndOneDrawPerFRand)
{
    random_seed(1);  // the generator's well-known first values from seed 1
    for (int expected : {41, 18467, 6334, 26500}) EXPECT_EQ(random_int(), expected);

    int low = random_max, high = 0;
    for (int i = 0; i < 200000; ++i) {
        const int value = random_int();
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, random_max);

    random_seed(5);
    const int r = random_int();
    const std::uint32_t after_one = random_get_state();
    random_seed(5);
    EXPECT_EQ(f_rand(2.0, 5.0), 2.0 + 3.0 * (r / 32767.0));
    EXPECT_EQ(random_get_state(), after_one);

    // Reversed ends are allowed; both ends occur.
    bool saw_low = false, saw_high = false;
    for (int i = 0; i < 300000; ++i) {
        const double value = f_rand(9.5, 0.5);
        ASSERT_TRUE(value >= 0.5 && value <= 9.5);
        saw_low = saw_low || value == 0.5;
        saw_high = saw_high || value == 9.5;
    }
    EXPECT_TRUE(saw_low && saw_high);
}

TEST(AngleWrap, CorrectsOnceWithStrictTests)
{
    EXPECT_DOUBLE_EQ(angle_wrap(7.0), 7.0 - two_pi);
    EXPECT_DOUBLE_EQ(angle_wrap(-1.0), -1.0 + two_pi);
    EXPECT_EQ(angle_wrap(two_pi), two_pi);
    EXPECT_EQ(angle_wrap(0.0), 0.0);
    EXPECT_DOUBLE_EQ(angle_wrap(20.0), 20.0 - two_pi);  // one correction only
}

TEST(MutateGene, RateDecidesAndNoiseStaysWithinTheAmount)
{
    random_seed(3);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(mutate_gene(0.75, 0.0, 5.0), 0.75);
    int moved = 0;
    for (int i = 0; i < 1000; ++i) {
        const double value = mutate_gene(1.0, 1.5, 0.5);
        moved += value != 1.0;
        EXPECT_TRUE(value >= 0.5 && value <= 1.5);
    }
    EXPECT_GT(moved, 990);
    // At a rate of exactly 1 a drawn 32767 leaves the gene alone, and takes no noise draw.
    int unchanged = 0;
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t before = random_get_state();
        const double value = mutate_gene(0.0, 1.0, 1.0);
        random_seed(before);
        if (random_int() == random_max) {
            EXPECT_EQ(value, 0.0);
            ++unchanged;
        } else {
            random_int();
        }
    }
    EXPECT_GT(unchanged, 0);
}

TEST(FormatC, UsesAPointWhateverTheLocale)
{
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale installed";
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    EXPECT_STREQ(text, "1,5") << "the locale in use has no decimal comma";
    format_c(text, sizeof text, "%f %5.3f", -0.25, 1.85);
    EXPECT_STREQ(text, "-0.250000 1.850");
    std::setlocale(LC_ALL, "C");
}
