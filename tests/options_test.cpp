#include "cli/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string parse(std::vector<const char*> args, options_type& options)
{
    args.insert(args.begin(), "velmora");
    return options_parse(static_cast<int>(args.size()), args.data(), options);
}

}  // namespace

TEST(Options, AcceptsTheDocumentedForms)
{
    options_type o;
    EXPECT_EQ(parse({}, o), "");
    EXPECT_FALSE(o.headless);
    EXPECT_FALSE(o.seed_given);

    EXPECT_EQ(parse({"--headless", "--generations", "200", "--seed", "1"}, o), "");
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.generations, 200u);
    EXPECT_TRUE(o.seed_given);
    EXPECT_EQ(o.seed, 1u);

    EXPECT_EQ(parse({"--headless", "--generations=0", "--load", "a.dat", "--save=b.dat", "--seed=4294967295"}, o), "");
    EXPECT_EQ(o.generations, 0u);
    EXPECT_EQ(o.load_path, "a.dat");
    EXPECT_EQ(o.save_path, "b.dat");
    EXPECT_EQ(o.seed, 4294967295u);

    EXPECT_EQ(parse({"--seed", "12"}, o), "");  // the window program takes a seed too
    EXPECT_EQ(parse({"--help"}, o), "");
    EXPECT_TRUE(o.help);
    EXPECT_EQ(parse({"--version"}, o), "");
    EXPECT_TRUE(o.version);
}

TEST(Options, RefusesBadInputWithAReason)
{
    options_type o;
    for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{
             {"--bogus"},
             {"--headless"},
             {"--headless", "--generations"},
             {"--headless", "--generations", "-1"},
             {"--headless", "--generations", "ten"},
             {"--headless", "--generations", "10x"},
             {"--headless", "--generations", ""},
             {"--headless", "--generations", "4294967296"},
             {"--headless", "--generations", "5", "--seed", "1.5"},
             {"--headless", "--generations", "5", "--load", ""},
             {"--generations", "5"},
             {"--save", "x.dat"},
             {"--headless=1", "--generations", "5"},
             {"extra"},
         }) {
        std::string joined;
        for (const char* arg : bad) joined += std::string(arg) + " ";
        EXPECT_NE(parse(bad, o), "") << joined;
    }
}
