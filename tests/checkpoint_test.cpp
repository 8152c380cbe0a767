// Checkpoints: a world saved and loaded between any two updates runs on as if
// it never stopped, next to another world in the same process; damaged and
// foreign files are refused and change nothing.
#include "animal/animal.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/checkpoint.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <cmath>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace {

// Two worlds unlike each other: the second is large enough for two threads.
void set_up(world_type& world, int which, int threads)
{
    start_world(world, which == 0 ? 5 : 6);
    world.options.log_path = which == 0 ? "a.log" : "b.log";
    world.options.console_scores = false;
    world.options.threads = threads;
    if (which == 1) {
        world.start_animals = 250;
        world.start_plants = 400;
        world.width = world.height = 30;
    }
    world.generation_length = 25;
    world_reset(world);
}

// What a user does between updates: edges, manual steering, a new animal.
void disturb(world_type& world, int update)
{
    if (update == 30) world.wrap_edges = true;
    if (update == 40) world.mode_manual = true;
    if (update >= 40 && update < 50) animal_motion(world, 0.2, -0.1);
    if (update == 50) world.mode_manual = false;
    if (update == 60) world_add_animal(world);
}

}  // namespace

// Each world alone on one thread, then both together on 2, 3 and 8 threads,
// saved and loaded between updates: the same runs, bit for bit.
TEST(Checkpoint, TwoWorldsRunTogetherAsEachRunsAlone)
{
    scratch_folder folder;
    console_capture quiet;
    constexpr int updates = 80;
    std::string alone[2], alone_log[2];
    for (int which : {0, 1}) {
        world_type world;
        set_up(world, which, 1);
        for (int i = 0; i < updates; ++i) {
            disturb(world, i);
            world_update(world);
        }
        alone[which] = world_state(world);
        alone_log[which] = read_file(world.options.log_path);
        std::remove(world.options.log_path.c_str());
    }

    // Updated in turn on this thread, each world sharing its updates with threads of its own.
    for (const int threads : {2, 3, 8}) {
        world_type worlds[2];
        for (int which : {0, 1}) set_up(worlds[which], which, threads);
        for (int i = 0; i < updates; ++i) {
            for (int which : {0, 1}) {
                world_type& world = worlds[which];
                disturb(world, i);
                world_update(world);
                if (i % 9 == which * 4) {
                    // Mid-generation and at its end alike, into the same world.
                    const std::string file = which == 0 ? "a.npz" : "b.npz";
                    ASSERT_EQ(checkpoint_save(world, file), "");
                    world.start_animals = 3;  // anything the file does not restore shows up
                    ASSERT_EQ(checkpoint_load(world, file), "");
                }
            }
        }
        for (int which : {0, 1}) {
            const world_type& world = worlds[which];
            EXPECT_EQ(world.generation, 3u);
            EXPECT_TRUE(world_state(world) == alone[which]) << "world " << which << " on " << threads << " threads";
            EXPECT_EQ(read_file(world.options.log_path), alone_log[which]) << "world " << which << " on " << threads << " threads";
            std::remove(world.options.log_path.c_str());
        }
    }

    // Each on a thread of its own at once, one thread per world.
    world_type worlds[2];
    std::string state[2];
    std::thread runs[2];
    for (int which : {0, 1})
        runs[which] = std::thread([&, which] {
            world_type& world = worlds[which];
            set_up(world, which, 1);
            world.options.log_path = which == 0 ? "c.log" : "d.log";
            for (int i = 0; i < updates; ++i) {
                disturb(world, i);
                world_update(world);
            }
            state[which] = world_state(world);
        });
    for (int which : {0, 1}) {
        runs[which].join();
        EXPECT_TRUE(state[which] == alone[which]) << "world " << which << " on a thread of its own";
    }
}

TEST(Checkpoint, DamagedAndForeignFilesAreRefusedAndChangeNothing)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 8);
    for (int i = 0; i < 30; ++i) world_update(world);
    console_capture console;
    ASSERT_EQ(checkpoint_save(world, "good.npz"), "");
    // What a load gives back, read from the world and its animals themselves.
    const auto senses = [&] {
        std::vector<double> values{world.width, world.height, double(world.start_plants), double(world.start_animals)};
        for (const animal_type* a = world.animals; a != nullptr; a = a->next) {
            for (const sensor_type& s : a->touch) values.insert(values.end(), {s.wall, s.plant, s.animal});
            for (int j = 0; j < animal_vision_count; ++j) values.push_back(a->vision[j].plant);
        }
        return values;
    };
    const std::vector<double> saved = senses();
    const std::string good = read_file("good.npz");
    const checkpoint_type captured = checkpoint_capture(world);
    // Archives written whole but holding something wrong.
    const auto edited = [&captured](const std::function<void(checkpoint_type&)>& edit) {
        checkpoint_type copy = captured;
        edit(copy);
        checkpoint_write(copy, "edited.npz");
        return read_file("edited.npz");
    };
    const auto member = [&](checkpoint_type& c, const std::string& name) -> checkpoint_array_type& {
        for (checkpoint_array_type& array : c.arrays)
            if (array.name == name) return array;
        return c.arrays.front();
    };
    std::string flipped = good;
    flipped[good.find("animal_genes.npy") + 400] ^= 0x10;  // a gene's byte, the CRC left as it was
    const struct {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"", "not a checkpoint"},
        {"10.000000 10.000000 5.000000 500 10 0.250000 20 0.500000 8 2\n", "not a checkpoint"},
        {good.substr(0, good.size() / 2), ""},
        {good.substr(0, good.size() - 10), ""},
        {flipped, "CRC"},
        {edited([&](checkpoint_type& c) { c.arrays.erase(c.arrays.begin()); }), "no format"},
        {edited([&](checkpoint_type& c) { member(c, "format").data[0] = 7; }), "format 7 is not 1 to 6"},
        {edited([&](checkpoint_type& c) { c.arrays.erase(c.arrays.begin() + 40); }), "it has no"},
        {edited([&](checkpoint_type& c) { member(c, "animal_y").shape = {19}; member(c, "animal_y").data.resize(19 * 8); }),
         "animal_y has the shape (19,), expected (20,)"},
        {edited([&](checkpoint_type& c) { member(c, "animal_food").descr = "<u4"; }), "animal_food holds <u4 values"},
        {edited([&](checkpoint_type& c) { member(c, "animal_heading").data[7] = 0x7F, member(c, "animal_heading").data[6] = 0xF8; }),
         "not a finite number"},
        {edited([&](checkpoint_type& c) { member(c, "update_count").data[0] = 0xF4, member(c, "update_count").data[1] = 1; }),
         "update_count must be 0 to 499, found 500"},
        {edited([&](checkpoint_type& c) { member(c, "layer_width").data[0] = 9; }), "neuron_out has the shape (20, 18), expected (20, 20)"},
        {edited([&](checkpoint_type& c) { member(c, "plant_size").data.assign({0, 0, 0, 0, 0, 0, 0x49, 0x40}); }),
         "plant_size must not exceed width and height"},
        {edited([&](checkpoint_type& c) { member(c, "width").shape = {1}; }), "width has the shape (1,), expected ()"},
        {edited([&](checkpoint_type& c) { member(c, "updates_per_tick").data.assign(4, 0); }), "updates_per_tick must be at least 1"},
        {edited([&](checkpoint_type& c) { member(c, "line_horizon").data.assign(4, 0xFF); }), "line_horizon must not be negative"},
        {edited([&](checkpoint_type& c) { member(c, "season_period").data.assign({1, 0, 0, 0}); }), "a season's period must be"},
        {edited([&](checkpoint_type& c) { member(c, "animal_size_y").data.assign(20 * 8, 0); }), "animal_size_y holds a size below"},
    };
    const std::string before = world_state(world);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        write_file("bad.npz", cases[i].bytes);
        const std::string path = "bad.npz";
        const std::size_t said_before = console.text().size();
        EXPECT_NE(checkpoint_load(world, path), "") << "case " << i;
        const std::string said = console.text().substr(said_before);
        EXPECT_EQ(said.rfind("Unable to load bad.npz: ", 0), 0u) << "case " << i << ": " << said;
        EXPECT_NE(said.find(cases[i].reason), std::string::npos) << "case " << i << ": " << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_TRUE(world_state(world) == before) << "case " << i;
    }
    EXPECT_NE(checkpoint_load(world, "."), "");
    EXPECT_NE(checkpoint_load(world, "missing.npz"), "");
    EXPECT_TRUE(world_state(world) == before);
    // Opening tells a checkpoint from a world file by its first four bytes alone.
    for (const auto& [bytes, archive] : {std::pair<std::string, bool>{"PK\x03\x04", true}, {"XK\x03\x04", false},
                                         {"PX\x03\x04", false}, {"PK\x03\x05", false}, {"PK\x03", false}}) {
        write_file("start.npz", bytes);
        EXPECT_EQ(checkpoint_is_archive("start.npz"), archive) << bytes;
    }
    EXPECT_FALSE(checkpoint_is_archive("missing.npz"));

    // Saving fails without harm to an old file, and says so.
    write_file("kept.npz", "old");
    EXPECT_EQ(checkpoint_save(world, "no/such/folder/kept.npz").rfind("Unable to save no/such/folder/kept.npz: ", 0), 0u);
    world.width += 1;
    world.height += 2;
    world.start_plants += 3;
    world.start_animals += 4;
    for (animal_type* a = world.animals; a != nullptr; a = a->next)
        for (sensor_type& s : a->touch) s.wall = s.plant = s.animal = 0;
    EXPECT_EQ(checkpoint_load(world, "good.npz"), "");
    EXPECT_EQ(senses(), saved);
    EXPECT_EQ(read_file("kept.npz"), "old");
}

// One table drives capture, check and apply: each field changed in turn, in
// the records themselves, changes its member, and loads back equal.
TEST(Checkpoint, EveryFieldOfTheTableChangesItsMemberAndLoadsBack)
{
    scratch_folder folder;
    console_capture quiet;
    world_type world;
    start_world(world, 6);
    world.generation_length = 40;
    world.wrap_edges = true;
    for (int i = 0; i < 95; ++i) world_update(world);  // a history of two generations, mid-generation
    ASSERT_EQ(world_change_setting(world, setting_plants, 12), "");
    world.run.events.push_back(run_setting_event(5, 3, setting_mutate_amount, 2.0));   // changes to come
    world.run.events.push_back(run_steer(0.5, -0.5));
    world.run.events.back().generation = 7;
    ASSERT_EQ(world_set_seasons(world, seasons_type{10, 3, 9, false}), "");
    ASSERT_EQ(food_map_set(world.food_map, 3, 2, {1.0, 0.0, 2.0, 0.5, 1.0, 3.0}), "");
    const checkpoint_type original = checkpoint_capture(world);
    const std::string start = world_state(world);
    const auto member = [](const checkpoint_type& c, const std::string& name) {
        for (const checkpoint_array_type& array : c.arrays)
            if (array.name == name) return array.data;
        return std::vector<unsigned char>();
    };
    std::size_t changed = 0;
    for (const checkpoint_field_type& field : checkpoint_fields()) {
        const std::string name = field.name;
        // The networks' shape is the world's: changed alone it would make another world. The
        // changes' members are written from their kinds' rows, each kind tested on its own.
        if (name == "layer_width" || name == "layer_count" || name == "food_map_width" || name == "food_map_height" || name == "math" ||
            name == "math_hash" ||
            field.owner == checkpoint_owner_type::event || field.owner == checkpoint_owner_type::event_data)
            continue;
        void* record = field.owner == checkpoint_owner_type::world    ? static_cast<void*>(&world)
                       : field.owner == checkpoint_owner_type::animal ? static_cast<void*>(world.animals->next)
                       : field.owner == checkpoint_owner_type::plant  ? static_cast<void*>(world.plants->next)
                                                                      : static_cast<void*>(&world.history[1]);
        std::vector<unsigned char> bytes(npz_element_count(field.inner(world)) * field.item);
        field.read(record, bytes.data());
        const std::vector<unsigned char> kept = bytes;
        const std::string descr = field.descr;
        if (descr == "<f8") npz_put_value(bytes.data(), npz_get_value<double>(bytes.data()) + 0.25);
        if (descr == "<i4") npz_put_value(bytes.data(), npz_get_value<std::int32_t>(bytes.data()) + 2);
        if (descr == "<u4") npz_put_value(bytes.data(), npz_get_value<std::uint32_t>(bytes.data()) + 2);
        if (descr == "<u8") npz_put_value(bytes.data(), npz_get_value<std::uint64_t>(bytes.data()) + 2);
        if (descr == "|b1") bytes[0] ^= 1;
        field.write(world, record, bytes.data());
        const checkpoint_type edited = checkpoint_capture(world);
        EXPECT_NE(member(edited, name), member(original, name)) << name << ": the change reaches its member";
        EXPECT_EQ(checkpoint_problem(edited), "") << name;
        world_type loaded;
        checkpoint_apply(loaded, edited);
        EXPECT_TRUE(world_state(loaded) == world_state(world)) << name << ": loads back equal";
        field.write(world, record, kept.data());
        ++changed;
    }
    EXPECT_GT(changed, 55u);
    EXPECT_TRUE(world_state(world) == start);
}

// Beside the table, every field of its records: together they cover each
// record whole, so a field added to a record and not listed leaves a gap, and
// each one listed as kept names a member of the table.
TEST(Checkpoint, TheRecordsFieldsAreAllListedAndTheKeptOnesInTheTable)
{
    std::set<std::string> members;
    for (const checkpoint_field_type& field : checkpoint_fields()) members.insert(field.name);
    std::map<std::string, std::vector<checkpoint_record_field_type>> records;
    for (const checkpoint_record_field_type& field : checkpoint_record_fields()) records[field.record].push_back(field);
    ASSERT_EQ(records.size(), 6u);
    for (auto& [record, fields] : records) {
        std::sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
        std::size_t end = 0;
        for (const checkpoint_record_field_type& field : fields) {
            // Padding between two fields is less than the widest alignment, 8 bytes.
            EXPECT_TRUE(field.offset >= end && field.offset - end < 8) << record << "::" << field.field << " leaves a gap before it";
            end = field.offset + field.size;
            std::istringstream kept(field.kept);
            for (std::string name; kept >> name && name != "-";) EXPECT_EQ(members.count(name), 1u) << record << "::" << field.field << " kept by " << name;
        }
        const std::size_t size = checkpoint_record_size(record);
        EXPECT_TRUE(size >= end && size - end < 8) << record << " ends with fields not listed";
    }
}

// A checkpoint of each earlier format, written by the build of its day,
// loads to the state it had: it runs on to the very state that build wrote
// later in the same run, its changes to come made on the way (settings from
// format 2, the window's actions from 3, seasons and a food map from 4,
// edits by hand from 5).
TEST(Checkpoint, FilesOfEveryEarlierFormatLoadToTheSameState)
{
    scratch_folder folder;
    console_capture quiet;
    const struct {
        const char* early;
        const char* late;
        std::uint32_t updates;        // from the early state to the late one
        std::size_t changes_between;  // the changes made on the way
    } rows[] = {
        {"format1_at_730.npz", "format1_at_930.npz", 200, 0},
        {"format2_at_3.npz", "format2_at_6.npz", 150, 2},
        {"format3_at_3.npz", "format3_at_6.npz", 150, 2},
        {"format4_at_3.npz", "format4_at_6.npz", 150, 1},
        {"format5_at_3.npz", "format5_at_6.npz", 150, 3},
    };
    for (const auto& row : rows) {
        world_type resumed, later;
        ASSERT_EQ(checkpoint_load(resumed, std::string(VELMORA_TEST_DATA) + "/" + row.early), "") << row.early;
        ASSERT_EQ(checkpoint_load(later, std::string(VELMORA_TEST_DATA) + "/" + row.late), "") << row.late;
        const std::size_t made = resumed.run.next;
        for (std::uint32_t i = 0; i < row.updates; ++i) world_update(resumed);
        EXPECT_EQ(resumed.run.next - made, row.changes_between) << row.early;
        EXPECT_TRUE(world_state(resumed) == world_state(later)) << row.early;
    }
}

// A generation in which nobody ate leaves every fitness 0 over 0: the
// checkpoint (and the window's autosave) keeps the world all the same.
TEST(Checkpoint, AWorldWhereNobodyAteIsKept)
{
    scratch_folder folder;
    console_capture quiet;
    world_type world, loaded;
    quiet_world(world, 4, 20);
    world_set_plants(world, 0);
    world.start_plants = 0;
    while (world.generation < 1) world_update(world);
    ASSERT_TRUE(std::isnan(world.animals->fitness));
    ASSERT_EQ(checkpoint_save(world, "hungry.npz"), "");
    ASSERT_EQ(checkpoint_load(loaded, "hungry.npz"), "");
    EXPECT_TRUE(world_state(loaded) == world_state(world));
}
