#include "app/utility.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

TEST(RandomSource, SameSeedSameSequenceInRange)
{
    // The generator's well-known first values from seed 1.
    random_seed(1);
    EXPECT_EQ(random_int(), 41);
    EXPECT_EQ(random_int(), 18467);
    EXPECT_EQ(random_int(), 6334);
    EXPECT_EQ(random_int(), 26500);

    random_seed(77);
    int first[100];
    for (int& value : first) value = random_int();
    random_seed(77);
    int low = random_max, high = 0;
    for (int value : first) {
        const int again = random_int();
        EXPECT_EQ(again, value);
        low = std::min(low, again);
        high = std::max(high, again);
    }
    for (int i = 0; i < 200000; ++i) {
        const int value = random_int();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, random_max);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, random_max);
}

TEST(RandomSource, FRandTakesOneDrawAndStaysBetweenItsEnds)
{
    random_seed(5);
    const std::uint32_t before = random_get_state();
    random_int();
    const std::uint32_t after_one = random_get_state();
    random_seed(before);
    const double value = f_rand(2.0, 5.0);
    EXPECT_EQ(random_get_state(), after_one);
    random_seed(before);
    EXPECT_DOUBLE_EQ(value, 2.0 + 3.0 * (random_int() / 32767.0));

    bool saw_low = false, saw_high = false;
    random_seed(9);
    for (int i = 0; i < 300000; ++i) {
        const double reversed = f_rand(9.5, 0.5);  // reversed ends are allowed
        ASSERT_GE(reversed, 0.5);
        ASSERT_LE(reversed, 9.5);
        saw_low = saw_low || reversed == 0.5;
        saw_high = saw_high || reversed == 9.5;
    }
    EXPECT_TRUE(saw_low);
    EXPECT_TRUE(saw_high);
}

TEST(AngleWrap, CorrectsOnceWithStrictTests)
{
    EXPECT_DOUBLE_EQ(angle_wrap(7.0), 7.0 - two_pi);
    EXPECT_DOUBLE_EQ(angle_wrap(-1.0), -1.0 + two_pi);
    EXPECT_EQ(angle_wrap(two_pi), two_pi);
    EXPECT_EQ(angle_wrap(0.0), 0.0);
    EXPECT_DOUBLE_EQ(angle_wrap(20.0), 20.0 - two_pi);  // one correction only
    EXPECT_DOUBLE_EQ(angle_wrap(-20.0), -20.0 + two_pi);
}

TEST(MutateGene, RateDecidesAndDrawsCount)
{
    // Rate 0 never mutates and takes one draw for the test.
    random_seed(3);
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t before = random_get_state();
        EXPECT_EQ(mutate_gene(0.75, 0.0, 5.0), 0.75);
        const std::uint32_t after = random_get_state();
        random_seed(before);
        random_int();
        EXPECT_EQ(random_get_state(), after);
    }
    // A rate above 1 always mutates: two draws, noise within the amount.
    random_seed(4);
    int moved = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t before = random_get_state();
        const double value = mutate_gene(1.0, 1.5, 0.5);
        moved += value != 1.0;
        EXPECT_GE(value, 0.5);
        EXPECT_LE(value, 1.5);
        const std::uint32_t after = random_get_state();
        random_seed(before);
        random_int();
        random_int();
        EXPECT_EQ(random_get_state(), after);
    }
    EXPECT_GT(moved, 990);
    // At a rate of exactly 1 only a drawn 32767 leaves the gene alone.
    int unchanged = 0;
    random_seed(11);
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t before = random_get_state();
        const double value = mutate_gene(0.0, 1.0, 1.0);
        const std::uint32_t after = random_get_state();
        random_seed(before);
        if (random_int() == random_max) {
            EXPECT_EQ(value, 0.0);
            EXPECT_EQ(random_get_state(), after);
            ++unchanged;
        } else {
            random_int();
            EXPECT_EQ(random_get_state(), after);
        }
    }
    EXPECT_GT(unchanged, 0);
}

TEST(FormatC, UsesAPointWhateverTheLocale)
{
    char text[64];
    const char* comma_locale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
        if (std::setlocale(LC_ALL, name) != nullptr) {
            comma_locale = name;
            break;
        }
    if (comma_locale == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    EXPECT_STREQ(text, "1,5") << "the locale in use has no decimal comma";
    format_c(text, sizeof text, "%f %5.3f", -0.25, 1.85);
    EXPECT_STREQ(text, "-0.250000 1.850");
    std::setlocale(LC_ALL, "C");
}
