#include "world/world_file.h"

#include "animal/animal.h"
#include "app/headless.h"
#include "app/options.h"
#include "app/shell_state.h"
#include "neuron/neuron.h"
#include "test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <sstream>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string replace_first(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// A small world of two animals with one layer of two neurons: 4 neurons each.
const std::string small_world =
    "10.000000 10.000000 5.000000 500 3 0.250000 2 0.500000 2 1\n"
    "4\n"
    "3  0.100000 2 0.500000 -0.500000 \n"
    "2  -0.100000 2 0.250000 0.750000 \n"
    "1  0.200000 25 " + [] {
        std::string weights;
        for (int i = 0; i < 25; ++i) weights += "0.010000 ";
        return weights;
    }() + "\n"
    "0  0.300000 25 " + [] {
        std::string weights;
        for (int i = 0; i < 25; ++i) weights += "-0.020000 ";
        return weights;
    }() + "\n";

std::string small_world_file()
{
    const std::vector<std::string> lines = lines_of(small_world);
    std::string second_block;
    for (std::size_t i = 1; i < lines.size(); ++i) second_block += lines[i] + "\n";
    return small_world + second_block;
}

}  // namespace

TEST(WorldFile, DefaultWorldSavesInTheFileLayoutAndRoundTrips)
{
    scratch_folder folder;
    start_world(1);
    console_capture console;
    ASSERT_TRUE(world_save_file("first.dat"));
    EXPECT_EQ(console.text(), "Saved to first.dat\n");
    const std::string saved = read_file("first.dat");
    const std::vector<std::string> lines = lines_of(saved);
    ASSERT_EQ(lines.size(), 1u + 20u * 19u);
    EXPECT_EQ(lines[0], "10.000000 10.000000 5.000000 500 10 0.250000 20 0.500000 8 2");
    for (int block = 0; block < 20; ++block) {
        EXPECT_EQ(lines[1 + block * 19], "18");
        EXPECT_EQ(lines[2 + block * 19].rfind("17  ", 0), 0u);
        EXPECT_EQ(lines[2 + block * 19].back(), ' ');
        EXPECT_EQ(lines[19 + block * 19].rfind("0  ", 0), 0u);
    }
    // Neuron 17: id, two blanks, bias, its 8 inputs.
    std::istringstream first(lines[2]);
    int id = 0, inputs = 0;
    double bias = 0;
    first >> id >> bias >> inputs;
    EXPECT_EQ(inputs, 8);
    char bias_text[32];
    std::snprintf(bias_text, sizeof bias_text, "17  %f 8 ", world.animals->neurons->bias);
    EXPECT_EQ(lines[2].rfind(bias_text, 0), 0u);

    world.generation = 9;
    world.running = false;
    cur_animal = world.animals;
    ASSERT_TRUE(world_load_file("first.dat"));
    EXPECT_EQ(cur_animal, nullptr);
    EXPECT_EQ(console.text(), "Saved to first.dat\nAdding 20 animals and 10 plants\nLoaded from first.dat\n");
    EXPECT_EQ(world.generation, 0u);
    EXPECT_TRUE(world.running);
    EXPECT_EQ(world.mutate_rate, 1.0 / 298.0);
    ASSERT_TRUE(world_save_file("second.dat"));
    EXPECT_EQ(read_file("second.dat"), saved);
}

TEST(WorldFile, EvolvedWorldRoundTripsThroughTheHeadlessOptions)
{
    scratch_folder folder;
    console_capture quiet;
    options_type options{};
    options.headless = true;
    options.seed_given = true;
    options.seed = 3;
    options.generations = 50;
    options.save_path = "evolved.dat";
    world = world_type{};
    ASSERT_EQ(headless_run(options), 0);
    const std::string evolved = read_file("evolved.dat");
    ASSERT_FALSE(evolved.empty());

    options.generations = 0;
    options.load_path = "evolved.dat";
    options.save_path = "again.dat";
    ASSERT_EQ(headless_run(options), 0);
    EXPECT_EQ(read_file("again.dat"), evolved);

    options.load_path = "missing.dat";
    EXPECT_EQ(headless_run(options), 1);
    EXPECT_NE(quiet.text().find("Unable to load missing.dat: No such file or directory\n"), std::string::npos);
}

TEST(WorldFile, SmallShapesZeroPlantsZeroInputsAndCrLf)
{
    scratch_folder folder;
    start_world(2);
    console_capture console;
    write_file("small.dat", small_world_file());
    ASSERT_TRUE(world_load_file("small.dat")) << console.text();
    EXPECT_EQ(world.num_animals, 2u);
    EXPECT_EQ(world.num_plants, 3);
    EXPECT_EQ(world.layer_count, 1);
    EXPECT_EQ(get_neuron(world.animals->neurons, 3)->scaler[1], -0.5);
    EXPECT_EQ(get_neuron(world.animals->neurons, 0)->bias, 0.3);
    ASSERT_TRUE(world_save_file("small_again.dat"));
    EXPECT_EQ(read_file("small_again.dat"), small_world_file());

    // Windows line ends load the same.
    std::string crlf;
    for (const std::string& line : lines_of(small_world_file())) crlf += line + "\r\n";
    write_file("crlf.dat", crlf);
    ASSERT_TRUE(world_load_file("crlf.dat")) << console.text();
    ASSERT_TRUE(world_save_file("crlf_again.dat"));
    EXPECT_EQ(read_file("crlf_again.dat"), small_world_file());

    // No plants, and a network of two motor neurons without inputs.
    write_file("bare.dat",
               "8.000000 6.000000 1.000000 100 0 0.250000 1 0.500000 0 3\n2\n1  0.250000 0 \n0  -0.500000 0 \n");
    ASSERT_TRUE(world_load_file("bare.dat"));
    EXPECT_EQ(world.plants, nullptr);
    EXPECT_EQ(world.num_plants, 0);
    EXPECT_EQ(world.width, 8.0);
    EXPECT_EQ(world.animals->neurons->input_count, 0u);
    EXPECT_EQ(world.animals->neurons->bias, 0.25);
    ASSERT_TRUE(world_save_file("bare_again.dat"));
    EXPECT_EQ(read_file("bare_again.dat"), read_file("bare.dat"));
}

TEST(WorldFile, BadFilesAreRefusedAndChangeNothing)
{
    scratch_folder folder;
    start_world(4);
    for (int i = 0; i < 700; ++i) world_update();
    world.running = false;
    world.wrap_edges = true;
    cur_animal = world.animals;
    const std::string good = small_world_file();
    const std::string hundred_and_one = [] {
        std::string weights;
        for (int i = 0; i < 101; ++i) weights += "0.5 ";
        return weights;
    }();
    struct bad_case {
        const char* name;
        std::string text;
        const char* reason;
    };
    const std::vector<bad_case> cases = {
        {"empty", "", "header: the file ends before width"},
        {"header cut", "10.0 10.0 5.0 500", "header: the file ends before the plant count"},
        {"block cut", good.substr(0, good.size() / 2), "animal "},
        {"letter", replace_first(good, "0.250000 2 0.500000 2 1", "0.25O000 2 0.500000 2 1"),
         "header: expected a number for plant_size, found '0.25O000'"},
        {"too many inputs", replace_first(good, "3  0.100000 2 0.500000 -0.500000 ", "3  0.1 101 " + hundred_and_one),
         "animal 1, neuron 3: expected 2 inputs, found 101"},
        {"wrong id", replace_first(good, "2  -0.100000", "7  -0.100000"), "animal 1, neuron 2: expected id 2, found 7"},
        {"huge count", replace_first(good, "0.250000 2 0.500000", "0.250000 2000000000 0.500000"),
         "header: the animal count must be 0 to 50000, found 2000000000"},
        {"huge network", replace_first(good, "0.500000 2 1", "0.500000 1000 1000"), "exceed the limit"},
        {"NaN", replace_first(good, "-0.100000", "nan"), "animal 1, neuron 2: the bias is not a finite number: 'nan'"},
        {"infinity", replace_first(good, "5.000000", "inf"), "header: mutate_amount is not a finite number"},
        {"trailing", good + "17 extra\n", "after the last animal: unexpected text '17'"},
        {"negative plants", replace_first(good, "500 3", "500 -3"), "header: the plant count must be 0"},
        {"zero width", replace_first(good, "10.000000 10.000000", "0 10.000000"), "header: width must be at least"},
        {"animal larger than the world", replace_first(good, "0.500000 2 1", "10.500000 2 1"),
         "header: animal_size must not exceed width and height"},
        {"no layers", replace_first(good, "0.500000 2 1", "0.500000 2 0"), "header: layer_count must be 1"},
        {"short generations", replace_first(good, " 500 ", " 0 "), "header: generation_length must be at least 1"},
        {"wrong neuron count", replace_first(good, "\n4\n", "\n5\n"), "animal 1: expected 4 neurons, found 5"},
        {"int overflow", replace_first(good, " 500 ", " 99999999999 "), "generation_length is out of range"},
        {"fraction for a count", replace_first(good, " 500 ", " 500.5 "), "expected a whole number for generation_length"},
        {"binary", std::string("\x7f" "ELF\0\0\x01", 7), "header: expected a number for width"},
    };
    const std::uint64_t before = world_fingerprint();
    console_capture console;
    for (const bad_case& bad : cases) {
        write_file("bad.dat", bad.text);
        const std::size_t start = console.text().size();
        EXPECT_FALSE(world_load_file("bad.dat")) << bad.name;
        const std::string said = console.text().substr(start);
        EXPECT_EQ(said.rfind("Unable to load bad.dat: ", 0), 0u) << bad.name << ": " << said;
        EXPECT_NE(said.find(bad.reason), std::string::npos) << bad.name << ": " << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << bad.name << ": " << said;
        EXPECT_EQ(world_fingerprint(), before) << bad.name;
        EXPECT_EQ(cur_animal, world.animals) << bad.name;
    }
    std::filesystem::create_directory("folder.dat");
    EXPECT_FALSE(world_load_file("folder.dat"));
    EXPECT_FALSE(world_load_file("missing.dat"));
    EXPECT_EQ(world_fingerprint(), before);
    EXPECT_EQ(world.update_count, 200);
    EXPECT_EQ(world.generation, 1u);
}

TEST(WorldFile, SavingNeverDestroysTheOldFile)
{
    scratch_folder folder;
    start_world(5);
    console_capture console;
    write_file("keep.dat", "the old contents\n");
    std::filesystem::create_directory("taken.dat");
    EXPECT_FALSE(world_save_file("taken.dat"));
    EXPECT_FALSE(world_save_file("no/such/folder/x.dat"));
    EXPECT_NE(console.text().find("Unable to save no/such/folder/x.dat: No such file or directory\n"),
              std::string::npos);
    EXPECT_EQ(console.text().find("Saved to"), std::string::npos);

    // A world beyond what a file may hold is not written at all.
    const double width = world.width;
    world.width = 1e-9;
    EXPECT_FALSE(world_save_file("keep.dat"));
    world.width = width;
    EXPECT_EQ(read_file("keep.dat"), "the old contents\n");
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_TRUE(entry.path().filename() == "keep.dat" || entry.path().filename() == "taken.dat")
            << "left behind: " << entry.path();

    EXPECT_TRUE(world_save_file("keep.dat"));
    EXPECT_EQ(read_file("keep.dat"), world_file_text());
}

TEST(WorldFile, NumbersKeepAPointUnderACommaLocale)
{
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale installed";
    scratch_folder folder;
    start_world(6);
    console_capture console;
    ASSERT_TRUE(world_save_file("comma.dat"));
    EXPECT_EQ(lines_of(read_file("comma.dat"))[0], "10.000000 10.000000 5.000000 500 10 0.250000 20 0.500000 8 2");
    ASSERT_TRUE(world_load_file("comma.dat")) << console.text();
    world_show_scores(37, 112);
    EXPECT_NE(read_file("log.txt").find("Ave food/animal: 1.850"), std::string::npos);
    std::setlocale(LC_ALL, "C");
}

TEST(WorldFile, FuzzCorpusAndRegressions)
{
    scratch_folder folder;
    start_world(7);
    console_capture quiet;
    int corpus = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELMORA_FUZZ_DATA) + "/corpus")) {
        EXPECT_TRUE(world_load_file(entry.path().string())) << entry.path() << ": " << quiet.text();
        ++corpus;
    }
    EXPECT_EQ(corpus, 4);
    // Found by the fuzzer once: each must load or be refused, never crash or
    // leave a world that does not save and load again.
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELMORA_FUZZ_DATA) + "/regressions")) {
        if (entry.path().extension() == ".md") continue;
        if (world_load_file(entry.path().string())) {
            const std::string saved = world_file_text();
            write_file("again.dat", saved);
            EXPECT_TRUE(world_load_file("again.dat")) << entry.path();
            EXPECT_EQ(world_file_text(), saved) << entry.path();
        }
    }
}
