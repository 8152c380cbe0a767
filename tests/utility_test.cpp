#include "base/utility.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(RandomSource, KnownSequenceFullRangeAndOneDrawPerFRand)
{
    random_type source{};
    random_seed(source, 1);  // the generator's well-known first values from seed 1
    for (int expected : {41, 18467, 6334, 26500}) EXPECT_EQ(random_int(source), expected);
    int low = random_max, high = 0;
    for (int i = 0; i < 200000; ++i) {
        const int value = random_int(source);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, random_max);

    random_seed(source, 5);
    const int r = random_int(source);
    const std::uint32_t after_one = source.state;
    random_seed(source, 5);
    EXPECT_EQ(f_rand(source, 9.5, 0.5), 9.5 - 9.0 * (r / 32767.0));  // reversed ends are allowed
    EXPECT_EQ(source.state, after_one);
}

TEST(AngleWrap, CorrectsOnceWithStrictTests)
{
    const struct { double in, out; } rows[] = {
        {7.0, 7.0 - two_pi}, {-1.0, -1.0 + two_pi}, {two_pi, two_pi}, {0.0, 0.0}, {20.0, 20.0 - two_pi}, {3.0, 3.0}};
    for (const auto& row : rows) EXPECT_EQ(angle_wrap(row.in), row.out) << row.in;
}

TEST(MutateGene, StrictTestThenNoiseWithinTheAmount)
{
    random_type source{};
    // A gene mutates when rate * 32767 > the draw; the noise takes one more draw.
    for (double rate : {0.0, 0.5, 1.0, 1.5}) {
        random_seed(source, 3);
        for (int i = 0; i < 5000; ++i) {
            const std::uint32_t before = source.state;
            const double value = mutate_gene(source, 1.0, rate, 0.5);
            const std::uint32_t after = source.state;
            random_seed(source, before);
            const int t = random_int(source);
            const double expected = rate * 32767 > t ? 1.0 + f_rand(source, -0.5, 0.5) : 1.0;
            ASSERT_EQ(value, expected) << "rate " << rate << " draw " << t;
            ASSERT_EQ(source.state, after) << "rate " << rate << " draw " << t;
        }
    }
}
