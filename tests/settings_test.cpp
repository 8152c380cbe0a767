// The tables of settings and of run events: every way in and out of the
// program walks them, so each row is checked through each way here, and the
// README's table of settings is held to the table.
#include "world/settings.h"

#include "animal/animal.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "cli/run_file.h"
#include "neuron/neuron.h"
#include "test_support.h"
#include "world/checkpoint.h"
#include "world/event.h"
#include "world/run.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string text_of(const setting_row_type& row, double value)
{
    if (row.kind == setting_kind_type::choice) return row.choices[static_cast<int>(value)];
    return row.kind == setting_kind_type::whole ? std::to_string(static_cast<long long>(value)) : setting_value_text(row, value);
}

options_type parsed(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "velmora");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    options_type options;
    EXPECT_EQ(options_parse(static_cast<int>(argv.size()), argv.data(), options), "") << arguments[1];
    return options;
}

// The README's rows of settings: "| `--name X` | meaning | default | range | changes | in world files |".
std::vector<std::vector<std::string>> readme_settings()
{
    std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/README.md");
    std::vector<std::vector<std::string>> rows;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| Setting |", 0) == 0) inside = true;
        if (!inside) continue;
        if (line.empty()) break;
        if (line.rfind("| `--", 0) != 0) continue;
        std::vector<std::string> cells;
        std::istringstream cut(line.substr(1));
        for (std::string cell; std::getline(cut, cell, '|');) {
            while (!cell.empty() && cell.front() == ' ') cell.erase(cell.begin());
            while (!cell.empty() && cell.back() == ' ') cell.pop_back();
            cells.push_back(cell);
        }
        rows.push_back(cells);
    }
    return rows;
}

}  // namespace

// The README tells each setting as the table has it: name, default, range and whether it may change during a run.
TEST(Settings, TheReadmesTableIsTheTable)
{
    const auto rows = readme_settings();
    ASSERT_EQ(rows.size(), settings_table().size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const setting_row_type& row = settings_table()[k];
        ASSERT_GE(rows[k].size(), 6u) << row.name;
        const std::string shown = std::string("`") + option_name(row) + (row.kind == setting_kind_type::flag ? "`" : "");
        EXPECT_EQ(rows[k][0].rfind(shown, 0), 0u) << rows[k][0] << " for " << row.name;
        EXPECT_EQ(rows[k][2], setting_default_text(row)) << row.name;
        EXPECT_EQ(rows[k][3], setting_range_text(row)) << row.name;
        EXPECT_EQ(rows[k][4], row.changes ? "yes" : "no") << row.name;
        EXPECT_EQ(rows[k][5], row.file == setting_file_type::none ? "no" : "yes") << row.name;
    }
}

// Each setting given on the command line, in a config file, in a run file's
// [settings] and kept by a checkpoint reaches the world as given.
// Each row takes the values at its edges and refuses those just past them.
TEST(Settings, EachSettingTakesItsEdgesAndRefusesPastThem)
{
    for (const setting_row_type& row : settings_table()) {
        std::vector<double> taken, refused;
        switch (row.kind) {
        case setting_kind_type::flag: taken = {0, 1}; refused = {2, 0.5}; break;
        case setting_kind_type::choice: taken = {0, row.choice_count - 1.0}; refused = {-1, double(row.choice_count), 0.5}; break;
        default:
            if (std::isfinite(row.low)) taken.push_back(row.low), refused.push_back(row.kind == setting_kind_type::whole ? row.low - 1 : row.low - 1e-9);
            if (std::isfinite(row.high)) taken.push_back(row.high), refused.push_back(row.kind == setting_kind_type::whole ? row.high + 1 : row.high + 1e-9);
            refused.push_back(std::numeric_limits<double>::quiet_NaN());
            if (row.kind == setting_kind_type::whole) refused.push_back((std::isfinite(row.low) ? row.low : 0) + 0.5);
        }
        for (double value : taken) EXPECT_EQ(setting_value_problem(row, value), "") << row.name << " " << value;
        for (double value : refused) EXPECT_NE(setting_value_problem(row, value), "") << row.name << " " << value;
    }
}

TEST(Settings, EachSettingReadsBackEqualThroughEveryWayIn)
{
    scratch_folder folder;
    console_capture quiet;
    for (const setting_row_type& row : settings_table()) {
        const double value = setting_test_value(row);
        const std::string text = text_of(row, value);
        const std::vector<std::string> given =
            row.kind == setting_kind_type::flag ? std::vector<std::string>{option_name(row)} : std::vector<std::string>{option_name(row), text};
        std::vector<std::string> line = {"--headless", "--generations", "0"};
        line.insert(line.end(), given.begin(), given.end());
        EXPECT_EQ(parsed(line).settings[row.id], value) << row.name << " on the command line";
        write_file("run.ini", std::string(row.name) + " = " + setting_value_text(row, value) + "\n");
        EXPECT_EQ(parsed({"--config", "run.ini"}).settings[row.id], value) << row.name << " in a config file";

        write_file("run.toml", "format = 1\nseed = 4\n[settings]\n" + std::string(row.name) + " = " + setting_value_text(row, value) + "\n");
        run_file_type run;
        ASSERT_EQ(run_file_read("run.toml", run), "") << row.name;
        EXPECT_EQ(run.settings[row.id], value) << row.name << " in a run file";
        world_type world;
        world.options.log_path.clear();
        ASSERT_EQ(run_file_begin(world, run, ""), "") << row.name;
        EXPECT_EQ(row.get(world), value) << row.name << " in the world";
        ASSERT_EQ(run_file_write("again.toml", run), "");
        run_file_type again;
        ASSERT_EQ(run_file_read("again.toml", again), "");
        EXPECT_TRUE(again.settings == run.settings) << row.name << " written back";

        for (int i = 0; i < 30; ++i) world_update(world);
        ASSERT_EQ(checkpoint_save(world, "kept.npz"), "");
        world_type resumed;
        ASSERT_EQ(checkpoint_load(resumed, "kept.npz"), "");
        EXPECT_EQ(row.get(resumed), value) << row.name << " in a checkpoint";
        EXPECT_TRUE(settings_of_world(resumed) == settings_of_world(world)) << row.name;
    }
}

// Those that may change during a run change as the run's changes, in a run
// file's [[change]] and as --resume's settings; the others are refused.
TEST(Settings, ThoseThatMayChangeDoSoAsChangesOfTheRun)
{
    scratch_folder folder;
    console_capture quiet;
    world_type start;
    quiet_world(start, 3, 40);
    for (int i = 0; i < 50; ++i) world_update(start);
    ASSERT_EQ(checkpoint_save(start, "start.npz"), "");
    for (const setting_row_type& row : settings_table()) {
        const double value = setting_test_value(row);
        world_type made;
        ASSERT_EQ(checkpoint_load(made, "start.npz"), "");
        const std::string problem = world_change_setting(made, row.id, value);
        if (!row.changes) {
            EXPECT_EQ(problem, std::string(row.name) + " cannot change during a run");
            std::vector<std::string> arguments = {"--headless", "--generations", "2", "--resume", "start.npz", "--no-log", option_name(row)};
            if (row.kind != setting_kind_type::flag) arguments.push_back(text_of(row, value));
            const options_type options = parsed(arguments);
            world_type refused;
            run_file_type run;
            EXPECT_NE(headless_start(refused, options, run), "") << row.name;
            EXPECT_TRUE(run.setting_refused) << row.name;
            continue;
        }
        ASSERT_EQ(problem, "") << row.name;
        EXPECT_EQ(row.get(made), value) << row.name;
        while (made.generation < 3) world_update(made);

        // The same change in a run file started from the checkpoint, and as --resume's setting.
        std::string sha;
        ASSERT_EQ(file_sha256("start.npz", sha), "");
        write_file("change.toml", "format = 1\nseed = 1\n[start]\nfile = \"start.npz\"\nsha256 = \"" + sha +
                                      "\"\n[[change]]\ngeneration = 1\nupdate = 10\n" + row.name + " = " + setting_value_text(row, value) + "\n");
        std::vector<std::string> resume = {"--headless", "--generations", "3", "--resume", "start.npz", "--no-log", "--quiet",
                                           "--checkpoint", "end.npz", "--save-run", "resumed.toml", option_name(row)};
        if (row.kind != setting_kind_type::flag) resume.push_back(text_of(row, value));
        for (const auto& arguments : {std::vector<std::string>{"--headless", "--generations", "3", "--run", "change.toml", "--no-log", "--quiet",
                                                               "--checkpoint", "end.npz"},
                                      resume}) {
            world_type replayed;
            EXPECT_EQ(headless_run(replayed, parsed(arguments)), 0) << row.name;
            world_type ended;
            ASSERT_EQ(checkpoint_load(ended, "end.npz"), "");
            EXPECT_TRUE(world_state(ended) == world_state(made)) << row.name << " by " << arguments[3];
        }
        run_file_type kept;
        ASSERT_EQ(run_file_read("resumed.toml", kept), "");
        ASSERT_EQ(kept.events.size(), 1u) << row.name;
        EXPECT_EQ(kept.events[0], run_setting_event(1, 10, row.id, value)) << row.name;
    }
}

// A rate of 0: no gene mutates, so every child's neurons are, one by one,
// those of one of its two parents; with the default rate some are not.
TEST(Settings, AMutationRateOfZeroBreedsChildrenOfTheirParentsGenesAlone)
{
    for (const bool none : {true, false}) {
        world_type world;
        quiet_world(world, 8, 30);
        world_settings_type settings;
        if (none) settings[setting_mutate_rate] = 0.0;
        settings[setting_animals] = 40;
        settings_apply(world, settings);
        EXPECT_EQ(world.mutate_rate_set, none);
        std::size_t children = 0, changed = 0;
        while (world.generation < 3) {
            world_update(world);
            if (world.update_count != 0) continue;
            for (const animal_type* child = world.animals; child != nullptr; child = child->next) {
                if (child->born != world.generation || child->parent_a == 0) continue;
                ++children;
                const neuron_type* a = world_find_animal(world, child->parent_a)->neurons;
                const neuron_type* b = world_find_animal(world, child->parent_b)->neurons;
                for (const neuron_type* n = child->neurons; n != nullptr; n = n->next, a = a->next, b = b->next) {
                    const auto same = [n](const neuron_type* parent) {
                        if (parent->bias != n->bias) return false;
                        for (std::uint32_t i = 0; i < n->input_count; ++i)
                            if (parent->scaler[i] != n->scaler[i]) return false;
                        return true;
                    };
                    changed += !same(a) && !same(b);
                }
            }
        }
        EXPECT_EQ(children, 60u);
        if (none) {
            EXPECT_EQ(changed, 0u);
        } else {
            EXPECT_GT(changed, 0u);
        }
        // A reset keeps a rate given; without one it is made from the networks again.
        world_reset(world);
        EXPECT_EQ(world.mutate_rate, none ? 0.0 : 1.0 / static_cast<double>(animal_get_chromosome_size(world.animals)));
    }
}

// Every kind of change, with values in each of its fields, written to a run
// file and kept by a checkpoint, reads back equal.
TEST(Events, EachKindReadsBackEqualFromARunFileAndACheckpoint)
{
    scratch_folder folder;
    console_capture quiet;
    world_type world;
    quiet_world(world, 5, 50);
    world.run.events.clear();
    std::uint32_t generation = 1;
    for (const run_event_row_type& row : run_event_table()) {
        run_event_type event = run_event_of(row.kind, generation++, 7);
        if (row.kind == event_setting) {
            event.setting = setting_mutate_amount;
            event.value = 2.25;
        }
        double number = 0.5;
        for (const run_event_field_type& field : row.fields) {
            if (field.number != nullptr && row.kind != event_setting) event.*field.number = number += 0.25;
            if (field.whole != nullptr) event.*field.whole = 3;
            if (field.flag != nullptr) event.*field.flag = true;
            if (field.list != nullptr) event.*field.list = std::vector<double>(animal_genes_for_shape(world.layer_count, world.layer_width), -1.5);
        }
        ASSERT_EQ(run_event_problem(event), "") << row.name;
        world.run.events.push_back(event);
    }
    ASSERT_EQ(world.run.events.size(), static_cast<std::size_t>(event_kind_count));
    run_file_type run;
    run.seed = 5;
    run.events = world.run.events;
    ASSERT_EQ(run_file_write("all.toml", run), "");
    run_file_type read;
    ASSERT_EQ(run_file_read("all.toml", read), "");
    EXPECT_EQ(read.events, world.run.events);

    world_type loaded;
    ASSERT_EQ(checkpoint_save(world, "all.npz"), "");
    ASSERT_EQ(checkpoint_load(loaded, "all.npz"), "");
    EXPECT_EQ(loaded.run.events, world.run.events);
    // Each kind is told by its name, and none is taken for another.
    std::map<std::string, int> names;
    for (const run_event_type& event : world.run.events) names[run_event_name(event)] += 1;
    EXPECT_EQ(names.size(), static_cast<std::size_t>(event_kind_count));
}

// A run file that names no format is of the first; one of a newer format is refused naming both.
TEST(Events, ARunFileWithoutAFormatIsTheFirst)
{
    scratch_folder folder;
    console_capture quiet;
    write_file("plain.toml", "seed = 3\n[[change]]\ngeneration = 1\nplants = 4\n");
    run_file_type run;
    ASSERT_EQ(run_file_read("plain.toml", run), "");
    EXPECT_EQ(run.seed, 3u);
    ASSERT_EQ(run.events.size(), 1u);
    write_file("newer.toml", "format = 2\nseed = 3\n");
    const refusal_type refused = run_file_read("newer.toml", run);
    EXPECT_EQ(refused, "newer.toml:1: its format 2 is newer than 1, the newest this velmora reads");
    EXPECT_EQ(refused.kind, refusal_kind_type::format);
}
