#include "cli/options.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/world.h"
#include "world/world_file.h"

#include <cstdio>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>
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
    world_type world;
    options_type o;
    EXPECT_EQ(parse({}, o), "");
    EXPECT_FALSE(o.headless || o.seed_given || o.settings.any() || o.settings[setting_wrap]);
    EXPECT_EQ(o.log_path, "log.txt");
    EXPECT_EQ(parse({"--headless", "--generations", "200", "--seed=4294967295", "--load", "a.dat", "--save=b.dat",
                     "--csv", "r.csv", "--log", "r.log", "--quiet", "--mutate-amount", "-2.5", "--animals", "0", "--threads", "1"}, o), "");
    EXPECT_TRUE(o.headless && o.quiet && o.seed_given);
    EXPECT_EQ(o.generations + o.seed, 200u + 4294967295u);
    EXPECT_EQ(o.load_path + o.save_path + o.csv_path + o.log_path, "a.datb.datr.csvr.log");
    EXPECT_EQ(*o.settings[setting_mutate_amount], -2.5);
    EXPECT_EQ(*o.settings[setting_animals], 0);
    EXPECT_EQ(o.threads, 1);
    EXPECT_EQ(parse({"--width", "20", "--height", "0.5", "--plant-size", "0.5", "--animal-size", "0.5", "--layer-count",
                     "1", "--layer-width", "0", "--generation-length", "7", "--plants", "1000000", "--wrap", "--no-log",
                     "world.dat"}, o), "--layer-count and --layer-width would change the shape of the loaded networks");
    EXPECT_EQ(parse({"--width", "20", "--height", "0.5", "--plant-size", "0.5", "--generation-length", "7", "--wrap",
                     "--no-log", "world.dat"}, o), "");
    EXPECT_TRUE(o.settings[setting_wrap] && o.no_log);
    EXPECT_EQ(o.world_path, "world.dat");
    EXPECT_EQ(parse({"summarize", "a.csv", "b.csv", "--out", "s.csv", "--plot", "s.png"}, o), "");
    EXPECT_TRUE(o.summarize);
    EXPECT_EQ(o.summary_inputs, (std::vector<std::string>{"a.csv", "b.csv"}));
    EXPECT_EQ(o.summary_out + o.summary_plot, "s.csvs.png");
    // Recording: headless every 10 updates unless told; the window each frame it draws.
    EXPECT_EQ(parse({"--headless", "--generations", "1", "--record", "r.MP4"}, o), "");
    EXPECT_EQ(std::tuple(o.record_path, o.record_every, o.record_width, o.record_height, o.record_fps),
              std::tuple(std::string("r.MP4"), 10u, 640, 480, 30));
    EXPECT_EQ(parse({"--record", "r.webm", "--record-size", "320x240", "--record-fps", "25", "--record-every", "3"}, o), "");
    EXPECT_EQ(std::tuple(o.record_every, o.record_width, o.record_height, o.record_fps), std::tuple(3u, 320, 240, 25));
    EXPECT_EQ(parse({"--record", "r.gif"}, o), "");
    EXPECT_EQ(o.record_every, 0u);
    EXPECT_EQ(parse({"--help"}, o), "");
    EXPECT_NE(o.help_text.find("--layer-width"), std::string::npos);
    EXPECT_EQ(parse({"--version"}, o), "");
    EXPECT_TRUE(o.version);
}

// Numbers at their bounds are taken, a leading sign only where a number may
// be fractional, and a step past a bound is refused.
TEST(Options, NumbersAtTheirBoundsAndSigns)
{
    const struct { std::vector<const char*> args; bool taken; std::function<bool(const options_type&)> holds; } rows[] = {
        {{"--animals", "50000"}, true, [](const options_type& o) { return *o.settings[setting_animals] == 50000; }},
        {{"--plants", "0"}, true, [](const options_type& o) { return *o.settings[setting_plants] == 0; }},
        {{"--threads", "64"}, true, [](const options_type& o) { return o.threads == 64; }},
        {{"--threads", "0"}, false, nullptr},
        {{"--layer-count", "1000", "--animals", "1"}, true, [](const options_type& o) { return *o.settings[setting_layer_count] == 1000; }},
        {{"--generation-length", "2147483647"}, true, [](const options_type& o) { return *o.settings[setting_generation_length] == 2147483647; }},
        {{"--generation-length", "2147483648"}, false, nullptr},
        {{"--width", "0.000001", "--animal-size", "0.000001", "--plant-size", "0.000001"}, true,
         [](const options_type& o) { return *o.settings[setting_width] == 0.000001; }},
        {{"--width", "0.00000099"}, false, nullptr},
        {{"--width", "+12.5"}, true, [](const options_type& o) { return *o.settings[setting_width] == 12.5; }},
        {{"--width", "-12.5"}, false, nullptr},
        {{"--mutate-amount", "-0"}, true, [](const options_type& o) { return *o.settings[setting_mutate_amount] == 0.0; }},
        {{"--width", "1e3"}, true, [](const options_type& o) { return *o.settings[setting_width] == 1000.0; }},
        {{"--width", " 5"}, false, nullptr},
        {{"--seed", "+3"}, false, nullptr},
        {{"--seed", "0"}, true, [](const options_type& o) { return o.seed_given && o.seed == 0; }},
        {{"--seed", "4294967296"}, false, nullptr},
        {{"--record", "a.gif", "--record-fps", "240", "--record-size", "16x4096"}, true,
         [](const options_type& o) { return o.record_fps == 240 && o.record_width == 16 && o.record_height == 4096; }},
        {{"--record", "a.gif", "--record-fps", "0"}, false, nullptr},
        {{"--record", "a.gif", "--record-size", "4096x15"}, false, nullptr},
    };
    for (const auto& row : rows) {
        options_type o;
        const std::string reason = parse(row.args, o);
        EXPECT_EQ(reason.empty(), row.taken) << row.args[0] << " " << row.args[1] << ": " << reason;
        if (row.taken && reason.empty()) {
            EXPECT_TRUE(row.holds(o)) << row.args[0] << " " << row.args[1];
        }
    }
}

TEST(Options, RefusesBadInputNamingOptionValueAndRange)
{
    world_type world;
    const struct { std::vector<const char*> args; const char* reason; } bad[] = {
        {{"--bogus"}, "--bogus"},
        {{"--headless"}, "--headless needs --generations N"},
        {{"--headless", "--generations", "-1"}, "--generations -1: must be a whole number from 0 to 4294967295"},
        {{"--headless", "--generations", "10x"}, "--generations 10x: must be a whole number"},
        {{"--seed", "1.5"}, "--seed 1.5: must be a whole number from 0 to 4294967295"},
        {{"--threads", "65"}, "--threads 65: must be a whole number from 1 to 64"},
        {{"--animals", "50001"}, "--animals 50001: must be a whole number from 0 to 50000"},
        {{"--plants", "-1"}, "--plants -1: must be a whole number from 0 to 1000000"},
        {{"--layer-count", "0"}, "--layer-count 0: must be a whole number from 1 to 1000"},
        {{"--layer-width", "1001"}, "--layer-width 1001: must be a whole number from 0 to 1000"},
        {{"--generation-length", "0"}, "--generation-length 0: must be a whole number from 1 to 2147483647"},
        {{"--width", "0"}, "--width 0: must be a finite number of at least 0.000001"},
        {{"--height", "nan"}, "--height nan: must be a finite number"},
        {{"--mutate-amount", "inf"}, "--mutate-amount inf: must be a finite number"},
        {{"--plant-size", "ten"}, "--plant-size ten: must be a finite number"},
        {{"--animal-size", "11"}, "--animal-size 11: must not exceed the world's width and height"},
        {{"--width", "2", "--plant-size", "3"}, "--plant-size 3: must not exceed"},
        {{"--animals", "50000", "--layer-width", "100"}, "exceed the limit of 1000000 neurons"},
        {{"--animals", "3000", "--layer-width", "100"}, "3000 animals of 12700 inputs exceed the limit of 30000000 inputs"},
        {{"--headless", "--generations", "5", "--load", "a.dat", "--layer-width", "3"}, "would change the shape"},
        {{"--generations", "5"}, "work only with --headless"},
        {{"--csv", "x.csv"}, "work only with --headless"},
        {{"--headless", "--generations", "5", "x.dat"}, "takes its world with --load"},
        {{"--headless", "--generations", "5", "--save", ""}, "--save needs a file name"},
        {{"summarize"}, "runs"},
        {{"--headless", "--generations", "5", "--checkpoint-every", "3"}, "--checkpoint-every needs --checkpoint FILE"},
        {{"--headless", "--generations", "5", "--resume", "a.npz", "--load", "b.dat"}, "choose one"},
        {{"--headless", "--generations", "5", "--no-autosave"}, "works only in the window"},
        {{"--resume", "a.npz"}, "work only with --headless"},
        {{"--record", "run.avi"}, "--record run.avi: must end in .mp4, .webm or .gif"},
        {{"--record", ""}, "--record needs a file name"},
        {{"--record-every", "5"}, "need --record FILE"},
        {{"--record", "a.gif", "--record-every", "0"}, "--record-every 0: must be a whole number from 1"},
        {{"--record", "a.gif", "--record-fps", "241"}, "--record-fps 241: must be a whole number from 1 to 240"},
        {{"--record", "a.gif", "--record-size", "640"}, "--record-size 640: must be WxH, each a whole number from 16 to 4096"},
        {{"--record", "a.gif", "--record-size", "15x480"}, "--record-size 15x480: must be WxH"},
        {{"--record", "a.gif", "--record-size", "640x4097"}, "--record-size 640x4097: must be WxH"},
    };
    options_type o;
    for (const auto& row : bad) {
        const std::string reason = parse(row.args, o);
        EXPECT_NE(reason.find(row.reason), std::string::npos) << row.args[0] << ": " << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    }
}

TEST(Options, SettingsActAsAResetAfterTheDefaultSetUp)
{
    world_type world;
    // No settings: the default world as it is; settings: the same world reset with them.
    start_world(world, 5);
    settings_apply(world, world_settings_type{});
    const std::string untouched = world_state(world);
    start_world(world, 5);
    EXPECT_EQ(world_state(world), untouched);
    world_settings_type settings;
    settings[setting_animals] = 7;
    settings[setting_plants] = 4;
    settings[setting_width] = 30;
    settings[setting_height] = 20;
    settings[setting_layer_count] = 3;
    settings[setting_layer_width] = 3;
    settings[setting_generation_length] = 40;
    settings[setting_mutate_amount] = 2.5;
    settings[setting_animal_size] = 0.75;
    settings[setting_plant_size] = 0.5;
    settings[setting_wrap] = true;
    settings_apply(world, settings);
    const std::string with_settings = world_state(world);
    start_world(world, 5);
    world.start_animals = 7;
    world.start_plants = 4;
    world.width = 30;
    world.height = 20;
    world.layer_count = 3;
    world.layer_width = 3;
    world.generation_length = 40;
    world.mutate_amount = 2.5;
    world.animal_size = 0.75;
    world.plant_size = 0.5;
    world_reset(world);
    world.wrap_edges = true;
    EXPECT_EQ(world_state(world), with_settings);
    EXPECT_EQ(world.num_animals, 7u);
    // Each setting reaches the world: a run with one left at its default differs.
    for (const setting_row_type& row : settings_table()) {
        if (!settings[row.id]) continue;
        world_settings_type fewer = settings;
        fewer[row.id].reset();
        start_world(world, 5);
        settings_apply(world, fewer);
        EXPECT_NE(world_state(world), with_settings) << row.name;
    }

    // A settings file, and the command line over it.
    scratch_folder folder;
    write_file("run.ini", "animals = 30\nwidth = 20\nwrap = true\n");
    options_type o;
    EXPECT_EQ(parse({"--config", "run.ini", "--animals", "40"}, o), "");
    EXPECT_EQ(*o.settings[setting_animals], 40);
    EXPECT_EQ(*o.settings[setting_width], 20.0);
    EXPECT_TRUE(o.settings[setting_wrap]);
    write_file("bad.toml", "animals = \"many\"\n");
    EXPECT_NE(parse({"--config", "bad.toml"}, o).find("--animals many"), std::string::npos);
}
