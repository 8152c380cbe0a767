#include "world/world_file.h"

#include "animal/animal.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "neuron/neuron.h"
#include "test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <functional>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string replace_first(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string without_cr(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Two animals of one layer of two neurons: four neurons each.
std::string small_world()
{
    std::string block = "4\n3  0.100000 2 0.500000 -0.500000 \n2  -0.100000 2 0.250000 0.750000 \n";
    for (const char* line : {"1  0.200000 25 ", "0  0.300000 25 "}) {
        block += line;
        for (int i = 0; i < 25; ++i) block += "-0.020000 ";
        block += "\n";
    }
    return "10.000000 10.000000 5.000000 500 3 0.250000 2 0.500000 2 1\n" + block + block;
}

}  // namespace

TEST(WorldFile, TheDefaultWorldSavesInItsLayoutAndLoadsBack)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 1);
    console_capture console;
    ASSERT_EQ(world_save_file(world, "first.dat"), "");
    const std::string saved = read_file("first.dat");
    const std::vector<std::string> lines = lines_of(saved);
    ASSERT_EQ(lines.size(), 1u + 20u * 19u);
    EXPECT_EQ(lines[0], "10.000000 10.000000 5.000000 500 10 0.250000 20 0.500000 8 2");
    char first_neuron[64];
    std::snprintf(first_neuron, sizeof first_neuron, "17  %f 8 %f ", world.animals->neurons->bias,
                  world.animals->neurons->scaler[0]);
    EXPECT_EQ(lines[2].rfind(first_neuron, 0), 0u);
    for (int block = 0; block < 20; ++block) {
        EXPECT_EQ(lines[1 + block * 19], "18");
        EXPECT_EQ(lines[19 + block * 19].rfind("0  ", 0), 0u);
        EXPECT_EQ(lines[19 + block * 19].back(), ' ');
    }
    world.generation = 9;
    world.running = false;
    const std::uint32_t frees = world.animal_frees;
    ASSERT_EQ(world_load_file(world, "first.dat"), "");
    EXPECT_EQ(console.text(), "Saved to first.dat\nAdding 20 animals and 10 plants\nLoaded from first.dat\n");
    EXPECT_GT(world.animal_frees, frees);
    EXPECT_TRUE(world.generation == 0 && world.running);
    EXPECT_EQ(world_file_text(world), saved);
}

TEST(WorldFile, GoodFilesLoadAndSaveAsTheyWere)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 2);
    console_capture console;
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELMORA_FUZZ_DATA) + "/corpus"))
        paths.push_back(entry.path().string());
    // 100,000 plants in a world 10,000 times longer than wide, which the index once filled in quadratic time.
    paths.push_back(std::string(VELMORA_TEST_DATA) + "/long_thin_world.dat");
    write_file("small.dat", small_world());
    write_file("bare.dat", "8.000000 6.000000 1.000000 100 0 0.250000 1 0.500000 0 3\n2\n1  0.250000 0 \n0  -0.500000 0 \n");
    paths.insert(paths.end(), {"small.dat", "bare.dat"});
    for (const std::string& path : paths) {
        ASSERT_EQ(world_load_file(world, path), "") << path << ": " << console.text();
        const std::string text = without_cr(read_file(path));
        int plants = -1;
        std::sscanf(text.c_str(), "%*s %*s %*s %*s %d", &plants);
        EXPECT_EQ(world_file_text(world), text) << path;
        EXPECT_EQ(world.num_plants, plants) << path;
        EXPECT_EQ(world.plants == nullptr, world.num_plants == 0) << path;
    }
    EXPECT_EQ(world.width, 8.0);
    EXPECT_EQ(world.animals->neurons->input_count, 0u);
    EXPECT_EQ(world.animals->neurons->bias, 0.25);

    // Nothing after the announced blocks is read; a count below 1 makes no animal, or no plant.
    const std::string small = small_world();
    const std::size_t header_end = small.find('\n') + 1;
    const std::string first_block = small.substr(header_end, (small.size() - header_end) / 2);
    const struct { std::string text; std::uint32_t animals; } cases[] = {
        {small + "17 extra\n", 2},
        {replace_first(small, " 2 0.500000 2 1", " 1 0.500000 2 1"), 1},
        {replace_first(small, " 2 0.500000 2 1", " -4 0.500000 2 1") + "garbage", 0},
        {replace_first(small, " 2 0.500000 2 1", " 0 0.500000 2 1"), 0},
        {replace_first(small, "500 3", "500 -3"), 2},
    };
    for (const auto& c : cases) {
        write_file("lenient.dat", c.text);
        ASSERT_EQ(world_load_file(world, "lenient.dat"), "") << c.text.substr(0, 60) << console.text();
        EXPECT_EQ(world.num_animals, c.animals);
        EXPECT_EQ(world.num_plants, c.text.find("500 -3") == std::string::npos ? 3 : 0);
        if (c.animals == 1) {
            EXPECT_EQ(world_file_text(world), replace_first(small.substr(0, header_end), " 2 0.5", " 1 0.5") + first_block);
        }
    }
}

TEST(WorldFile, BadFilesAreRefusedAndChangeNothing)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 4);
    for (int i = 0; i < 700; ++i) world_update(world);
    world.running = false;
    world.wrap_edges = true;
    const std::uint32_t frees = world.animal_frees;
    const std::string good = small_world();
    std::string hundred_and_one;
    for (int i = 0; i < 101; ++i) hundred_and_one += "0.5 ";
    const struct { std::string text; const char* reason; } cases[] = {
        {"", "header: the file ends before width"},
        {"10.0 10.0 5.0 500", "header: the file ends before the plant count"},
        {good.substr(0, good.rfind(' ', good.size() / 2) + 1), "animal 1, neuron 0: the file ends before an input weight"},
        {replace_first(good, "0.250000 2 0.500000 2 1", "0.25O000 2 0.500000 2 1"), "header: expected a number for plant_size, found '0.25O000'"},
        {replace_first(good, "3  0.100000 2 0.500000 -0.500000 ", "3  0.1 101 " + hundred_and_one), "animal 1, neuron 3: expected 2 inputs, found 101"},
        {replace_first(good, "2  -0.100000", "7  -0.100000"), "animal 1, neuron 2: expected id 2, found 7"},
        {replace_first(good, "0.250000 2 0.500000", "0.250000 50001 0.500000"), "header: the animal count must be at most 50000, found 50001"},
        {replace_first(good, "0.500000 2 1", "0.500000 1000 1000"), "exceed the limit of 1000000 neurons"},
        {replace_first(good, "-0.100000", "nan"), "animal 1, neuron 2: the bias is not a finite number: 'nan'"},
        {replace_first(good, "5.000000", "inf"), "header: mutate_amount is not a finite number"},
        {replace_first(good, "500 3", "500 1000001"), "header: the plant count must be at most 1000000"},
        {replace_first(good, "10.000000 10.000000", "0 10.000000"), "header: width must be at least 0.000001"},
        {replace_first(good, "0.500000 2 1", "10.500000 2 1"), "header: animal_size must not exceed width and height"},
        {replace_first(good, "0.250000 2 0.5", "10.250000 2 0.5"), "header: plant_size must not exceed width and height"},
        {replace_first(good, "0.500000 2 1", "0.500000 1001 1"), "header: layer_width must be 0 to 1000"},
        {replace_first(good, "0.500000 2 1", "0.500000 2 0"), "header: layer_count must be 1 to 1000"},
        {replace_first(good, " 500 ", " 0 "), "header: generation_length must be at least 1"},
        {replace_first(good, "\n4\n", "\n5\n"), "animal 1: expected 4 neurons, found 5"},
        {replace_first(good, " 500 ", " 99999999999 "), "generation_length is out of range"},
        {replace_first(good, " 500 ", " 500.5 "), "expected a whole number for generation_length"},
        {std::string("\x7f" "ELF\0\0\x01", 7), "header: expected a number for width"},
        {"0." + std::string(450, '5') + " 10\n", "expected a number for width, found '0.555555555555555555...'"},
    };
    std::vector<std::string> paths = {"folder.dat", "missing.dat"};
    std::filesystem::create_directory("folder.dat");
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELMORA_FUZZ_DATA) + "/regressions"))
        if (entry.path().extension() == ".dat") paths.push_back(entry.path().string());
    const std::string before = world_state(world);
    console_capture console;
    for (std::size_t i = 0; i < std::size(cases) + paths.size(); ++i) {
        const bool file_case = i < std::size(cases);
        const std::string path = file_case ? "bad.dat" : paths[i - std::size(cases)];
        if (file_case) write_file(path, cases[i].text);
        const std::size_t start = console.text().size();
        EXPECT_NE(world_load_file(world, path), "") << path << " " << i;
        const std::string said = console.text().substr(start);
        EXPECT_EQ(said.rfind("Unable to load " + path + ": ", 0), 0u) << said;
        if (file_case) {
            EXPECT_NE(said.find(cases[i].reason), std::string::npos) << said;
        } else if (path == "folder.dat") {
            EXPECT_NE(said.find("not a regular file"), std::string::npos) << said;
        }
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_TRUE(world_state(world) == before) << said;
        EXPECT_EQ(world.animal_frees, frees) << said;
    }
}

TEST(WorldFile, AFailedSaveSaysSoAndKeepsTheOldFile)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 5);
    console_capture console;
    write_file("keep.dat", "the old contents\n");
    std::filesystem::create_directory("taken.dat");
    const struct { const char* path; double width; const char* reason; } failures[] = {
        {"taken.dat", 10, "Is a directory"},
        {"no/such/folder/x.dat", 10, "No such file or directory"},
        {"keep.dat", 1e-9, "the world is beyond what a world file holds: width must be at least"},
    };
    for (const auto& failure : failures) {
        world.width = failure.width;
        const std::size_t start = console.text().size();
        EXPECT_NE(world_save_file(world, failure.path), "");
        EXPECT_EQ(console.text().substr(start).rfind(std::string("Unable to save ") + failure.path + ": " + failure.reason, 0), 0u)
            << console.text().substr(start);
    }
    EXPECT_EQ(read_file("keep.dat"), "the old contents\n");
    const std::size_t entries = std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 2u) << "a temporary file was left behind";
    world.width = 10;
    EXPECT_EQ(world_save_file(world, "keep.dat"), "");
    EXPECT_EQ(read_file("keep.dat"), world_file_text(world));
}

TEST(WorldFile, NumbersKeepAPointUnderACommaLocale)
{
    world_type world;
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale installed";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    EXPECT_STREQ(text, "1,5") << "the locale in use has no decimal comma";
    scratch_folder folder;
    start_world(world, 6);
    console_capture console;
    ASSERT_EQ(world_save_file(world, "comma.dat"), "");
    EXPECT_EQ(lines_of(read_file("comma.dat"))[0], "10.000000 10.000000 5.000000 500 10 0.250000 20 0.500000 8 2");
    ASSERT_EQ(world_load_file(world, "comma.dat"), "") << console.text();
    world_show_scores(world, 37, 112);
    EXPECT_NE(read_file("log.txt").find("Ave food/animal: 1.850"), std::string::npos);
    std::setlocale(LC_ALL, "C");
}

// Each setting given with a load stands in for the file's own (or, one a
// file does not hold, is set after it), and only that one; the networks'
// shape stays the file's.
TEST(WorldFile, EachSettingGivenStandsInForTheFilesOwn)
{
    scratch_folder folder;
    console_capture quiet;
    world_type file;
    start_world(file, 2);
    ASSERT_EQ(world_save_file(file, "base.dat"), "");
    ASSERT_EQ(world_load_file(file, "base.dat"), "");
    for (const setting_row_type& row : settings_table()) {
        world_type world;
        start_world(world, 2);
        world_settings_type settings;
        settings[row.id] = setting_test_value(row);
        ASSERT_EQ(world_load_file(world, "base.dat", settings), "") << row.name;
        for (const setting_row_type& other : settings_table()) {
            const bool took = &other == &row && row.file != setting_file_type::shape;
            EXPECT_EQ(other.get(world), took ? setting_test_value(row) : other.get(file)) << row.name << " given, " << other.name;
        }
        // The lists follow the counts given.
        EXPECT_EQ(world.num_animals, static_cast<std::uint32_t>(world.start_animals)) << row.name;
        EXPECT_EQ(world.num_plants, world.start_plants) << row.name;
    }
}
