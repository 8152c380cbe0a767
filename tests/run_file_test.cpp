// Run files: a run replayed from its file is the run, with its changes and
// from its starting file; a file that does not fit is refused, naming its line.
#include "cli/run_file.h"

#include "cli/headless.h"
#include "cli/options.h"
#include "test_support.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int run_headless(world_type& world, std::vector<const char*> args)
{
    args.insert(args.begin(), "velmora");
    options_type options;
    EXPECT_EQ(options_parse(static_cast<int>(args.size()), args.data(), options), "");
    return headless_run(world, options);
}

// The same run made by hand: the changes made as the world reaches them.
void run_by_hand(world_type& world, std::uint32_t generations, const std::vector<run_event_type>& changes)
{
    std::size_t next = 0;
    while (world.generation < generations) {
        while (next < changes.size() && changes[next].generation == world.generation && changes[next].update == world.update_count) {
            ASSERT_EQ(world_change_setting(world, changes[next].setting, changes[next].value), "");
            ++next;
        }
        world_update(world);
    }
}

const std::vector<run_event_type> changes = {run_setting_event(1, 0, setting_plants, 25), run_setting_event(1, 0, setting_mutate_amount, 0.5),
                                             run_setting_event(2, 17, setting_wrap, 1), run_setting_event(3, 40, setting_generation_length, 30),
                                             run_setting_event(4, 5, setting_plants, 3)};

}  // namespace

TEST(RunFile, ARunReplaysExactlyFromItsFileWithAndWithoutAStartingCheckpoint)
{
    scratch_folder folder;
    console_capture quiet;
    // The straight run, its changes made by hand, and a checkpoint in the middle.
    world_type straight;
    start_world(straight, 5);
    straight.start_animals = 30;
    straight.generation_length = 60;
    world_reset(straight);
    straight.options.log_path.clear();
    run_by_hand(straight, 2, {changes.begin(), changes.begin() + 2});
    ASSERT_EQ(checkpoint_save(straight, "middle.npz"), "");
    run_by_hand(straight, 6, {changes.begin() + 2, changes.end()});
    ASSERT_EQ(world_save_file(straight, "straight.dat"), "");
    ASSERT_EQ(checkpoint_save(straight, "straight.npz"), "");

    run_file_type run;
    run.seed = 5;
    run.settings[setting_animals] = 30;
    run.settings[setting_generation_length] = 60;
    run.events = changes;
    ASSERT_EQ(run_file_write("whole.toml", run), "");
    world_type replayed;
    EXPECT_EQ(run_headless(replayed, {"--headless", "--generations", "6", "--run", "whole.toml", "--no-log", "--quiet",
                                      "--save", "replayed.dat", "--save-run", "again.toml"}), 0);
    EXPECT_EQ(read_file("replayed.dat"), read_file("straight.dat"));
    EXPECT_EQ(read_file("again.toml"), read_file("whole.toml"));  // the run file of a replay is the file replayed

    // From the checkpoint, the changes after it: the same run's end.
    run_file_type rest;
    run.settings = world_settings_type{};
    ASSERT_EQ(file_sha256("middle.npz", rest.start_sha256), "");
    rest.start_path = "middle.npz";
    rest.events = {changes.begin() + 2, changes.end()};
    ASSERT_EQ(run_file_write("rest.toml", rest), "");
    world_type resumed;
    EXPECT_EQ(run_headless(resumed, {"--headless", "--generations", "6", "--run", "rest.toml", "--no-log", "--quiet",
                                     "--save", "resumed.dat", "--checkpoint", "resumed.npz"}), 0);
    EXPECT_EQ(read_file("resumed.dat"), read_file("straight.dat"));
    world_type ended[2];
    ASSERT_EQ(checkpoint_load(ended[0], "straight.npz"), "");
    ASSERT_EQ(checkpoint_load(ended[1], "resumed.npz"), "");
    EXPECT_TRUE(world_state(ended[0]) == world_state(ended[1]));  // the whole state, random source and all
    // A checkpoint keeps the changes still to come: resumed, the run ends the same.
    world_type halfway;
    EXPECT_EQ(run_headless(halfway, {"--headless", "--generations", "3", "--run", "whole.toml", "--no-log", "--quiet",
                                     "--checkpoint", "halfway.npz"}), 0);
    world_type rest_of_it;
    EXPECT_EQ(run_headless(rest_of_it, {"--headless", "--generations", "6", "--resume", "halfway.npz", "--no-log", "--quiet",
                                        "--save", "rest_of_it.dat"}), 0);
    EXPECT_EQ(read_file("rest_of_it.dat"), read_file("straight.dat"));
    // A headless run started from the checkpoint writes a run file that names it from the file's folder.
    world_type noted;
    EXPECT_EQ(run_headless(noted, {"--headless", "--generations", "3", "--resume", "middle.npz", "--no-log", "--quiet",
                                   "--save-run", "noted.toml"}), 0);
    run_file_type read_back;
    EXPECT_EQ(run_file_read("noted.toml", read_back), "");
    EXPECT_EQ(read_back.start_path, "middle.npz");
    EXPECT_EQ(read_back.start_sha256, rest.start_sha256);
}

TEST(RunFile, FilesThatDoNotFitAreRefusedNamingTheLineAndNothingRuns)
{
    scratch_folder folder;
    console_capture quiet;
    world_type world;
    start_world(world, 1);
    ASSERT_EQ(checkpoint_save(world, "start.npz"), "");
    std::string sha;
    ASSERT_EQ(file_sha256("start.npz", sha), "");
    const std::string head = "format = 1\nseed = 3\n";
    write_file("black.png", read_file(std::string(VELMORA_TEST_DATA) + "/map_black.png"));
    std::string black_sha;
    ASSERT_EQ(file_sha256("black.png", black_sha), "");
    const struct { std::string text; const char* reason; } rows[] = {
        {head + "speed = 3\n", "run.toml:3: unknown key 'speed'"},
        {"format = 2\nseed = 3\n", "run.toml:1: its format 2 is newer than 1"},
        {"format = 1\nseed = -3\n", "run.toml:2: seed must be a whole number from 0 to 4294967295"},
        {head + "[settings]\nanimals = 60000\n", "run.toml:4: animals 60000: must be a whole number from 0 to 50000"},
        {head + "[settings]\nanimals = 2.5\n", "run.toml:4: animals: must be a whole number from 0 to 50000"},
        {head + "[settings]\nwidth = 2\nanimal-size = 3\n", "run.toml:3: animal-size 3: must not exceed the world's width"},
        {head + "[settings]\ncolour = 3\n", "run.toml:4: unknown key 'colour' in [settings]"},
        {head + "[settings]\nwrap = 1\n", "run.toml:4: wrap must be true or false"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\nplants = 3\n[[change]]\ngeneration = 4\nupdate = 9\nplants = 4\n",
         "run.toml:7: a change at generation 4, update 9 comes before the one above it"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\nanimals = 3\n", "run.toml:6: animals cannot change during a run"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\nplants = -3\n", "run.toml:6: plants -3: must be a whole number from 0"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\nmutate_amount = 3\n", "run.toml:6: unknown key 'mutate_amount' in a [[change]]"},
        {head + "[[change]]\ngeneration = 2\nupdate = 600\nplants = 3\n",
         "run.toml:3: the change at generation 2, update 600 lies past the end of its generation, which is 500 updates long"},
        {head + "[settings]\ngeneration-length = 50\n[[change]]\ngeneration = 1\nupdate = 20\ngeneration-length = 10\n[[change]]\n"
                "generation = 1\nupdate = 30\naction = \"add_plant\"\n",
         "run.toml:9: the change at generation 1, update 30 lies past the end of its generation, which is 10 updates long"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\n", "a [[change]] changes nothing"},
        {head + "[[change]]\ngeneration = -5\nplants = 3\n", "run.toml:4: generation must be a whole number from 0"},
        {head + "[seasons]\nperiod = 1\nlow = 2\nhigh = 5\n", "run.toml:4: period must be a whole number from 2"},
        {head + "[seasons]\nperiod = 8\nlow = 6\nhigh = 5\n", "low and high must be plant counts with 0 <= low <= high"},
        {head + "[seasons]\nperiod = 8\nlow = 2\nhigh = 5\nshape = \"round\"\n", "run.toml:7: shape must be \"sine\" or \"square\""},
        {head + "[seasons]\nperiod = 8\nlow = 2\nhigh = 5\n[[change]]\ngeneration = 5\nplants = 3\n",
         "run.toml:9: plants follow the [seasons] in this run"},
        {head + "[food-map]\nfile = \"black.png\"\nsha256 = \"" + black_sha + "\"\n", "black.png: it is all black"},
        {head + "[food-map]\nfile = \"black.png\"\nsha256 = \"" + sha + "\"\n", "the food map black.png is not the one the run used"},
        {head + "[start]\nfile = \"missing.npz\"\nsha256 = \"" + sha + "\"\n", "cannot read the starting file missing.npz"},
        {head + "[start]\nfile = \"start.npz\"\nsha256 = \"" + std::string(64, '0') + "\"\n",
         "the starting file start.npz is not the one the run started from"},
        {head + "[start]\nfile = \"start.npz\"\nsha256 = \"" + sha + "\"\n[settings]\nplants = 3\n",
         "a run that starts from a checkpoint takes no [settings]"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\naction = \"fly\"\n", "run.toml:6: action must be one of add_plant, "},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\naction = \"steer\"\nleft = 2\nright = 0\n",
         "run.toml:3: steer's left and right must be from -1 to 1"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\naction = \"steer\"\nleft = 0.5\n", "the steer [[change]] needs right"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\naction = \"manual\"\non = 1\n", "needs on = true or false"},
        {head + "[[change]]\ngeneration = 5\nupdate = 0\naction = \"add_plant\"\nplants = 3\n",
         "run.toml:7: unknown key 'plants' in the add_plant [[change]]"},
        {head + "seed = 4\n", "run.toml:3:"},  // said twice: TOML itself refuses it
    };
    const std::string before = world_state(world);
    for (const auto& row : rows) {
        write_file("run.toml", row.text);
        options_type options;
        const char* argv[] = {"velmora", "--headless", "--generations", "1", "--run", "run.toml", "--no-log"};
        ASSERT_EQ(options_parse(7, argv, options), "");
        run_file_type run;
        const std::string refusal = headless_start(world, options, run);
        EXPECT_EQ(refusal.rfind("Unable to run run.toml", 0), 0u) << row.text << refusal;
        EXPECT_NE(refusal.find(row.reason), std::string::npos) << row.text << refusal;
        EXPECT_EQ(refusal.find('\n'), std::string::npos) << refusal;
        EXPECT_TRUE(world_state(world) == before) << row.text;
    }
    // A map of weights named on the command line that is not there.
    options_type given;
    const char* map_argv[] = {"velmora", "--headless", "--generations", "1", "--food-map", "gone.npy", "--no-log"};
    ASSERT_EQ(options_parse(7, map_argv, given), "");
    run_file_type unused;
    EXPECT_EQ(headless_start(world, given, unused).rfind("Unable to load gone.npy: No such file", 0), 0u);
    options_type options;
    const char* argv[] = {"velmora", "--headless", "--generations", "1", "--run", "run.toml", "--seed", "4"};
    EXPECT_NE(options_parse(8, argv, options).find("--run gives the seed"), std::string::npos);
}

// --resume with settings: equal ones change nothing, changeable ones that
// differ branch the run there, fixed ones that differ are refused.
TEST(RunFile, ResumeWithSettingsBranchesTheRunThere)
{
    scratch_folder folder;
    console_capture quiet;
    world_type world;
    start_world(world, 9);
    world.options.log_path.clear();
    for (int i = 0; i < 1100; ++i) world_update(world);   // generation 2, update 100
    ASSERT_EQ(checkpoint_save(world, "g2.npz"), "");
    ASSERT_EQ(world_change_setting(world, setting_plants, 7), "");
    ASSERT_EQ(world_change_setting(world, setting_mutate_amount, 2.5), "");
    while (world.generation < 5) world_update(world);
    ASSERT_EQ(world_save_file(world, "by_hand.dat"), "");

    world_type branched;
    EXPECT_EQ(run_headless(branched, {"--headless", "--generations", "5", "--resume", "g2.npz", "--plants", "7", "--mutate-amount",
                                      "2.5", "--width", "10", "--no-log", "--quiet", "--save", "branched.dat", "--save-run",
                                      "branch.toml"}), 0);
    EXPECT_EQ(read_file("branched.dat"), read_file("by_hand.dat"));
    run_file_type branch;
    ASSERT_EQ(run_file_read("branch.toml", branch), "");
    ASSERT_EQ(branch.events.size(), 2u);
    EXPECT_EQ(branch.events[0].generation * 1000 + branch.events[0].update, 2100u);
    world_type replayed;
    EXPECT_EQ(run_headless(replayed, {"--headless", "--generations", "5", "--run", "branch.toml", "--no-log", "--quiet", "--save",
                                      "replayed.dat"}), 0);
    EXPECT_EQ(read_file("replayed.dat"), read_file("by_hand.dat"));
    for (const char* fixed : {"--animals", "--layer-width"}) {
        world_type refused;
        EXPECT_EQ(run_headless(refused, {"--headless", "--generations", "5", "--resume", "g2.npz", fixed, "3", "--no-log", "--quiet"}),
                  2) << fixed;
    }
}
