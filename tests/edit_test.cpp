#include "cli/animal_file.h"
#include "cli/run_file.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/edit.h"
#include "world/run.h"
#include "world/timeline.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

namespace {

std::vector<double> genes_of(animal_type* animal)
{
    std::vector<double> genes(animal_get_chromosome_size(animal));
    animal_export_chromosome(animal, genes.data());
    return genes;
}

}  // namespace

// Every kind of edit changes the world as asked; the run's file replays the
// edited run to the same whole state; undoing an edit through the timeline
// gives back the state before it.
TEST(Edit, EditsChangeTheWorldReplayFromTheRunFileAndUndo)
{
    scratch_folder folder;
    console_capture quiet;
    run_file_type file;
    file.seed = 21;
    file.settings[setting_generation_length] = 40;
    world_type world;
    world.options.log_path.clear();
    ASSERT_EQ(run_file_begin(world, file, ""), "");
    timeline_type timeline;
    timeline_begin(timeline, world);
    const auto run = [&](int updates) {
        for (int i = 0; i < updates; ++i) {
            world_update(world);
            timeline_note(timeline, world);
        }
    };
    run(25);
    const std::uint64_t first = world.animals->id, second = world.animals->next->id;
    const std::vector<double> donor = genes_of(world.animals->next->next);
    std::uint64_t clone = 0, founder = 0;
    const struct {
        const char* name;
        std::function<std::string()> make;
        std::function<bool()> done;
    } edits[] = {
        {"move", [&] { return world_move_animal(world, first, 2.5, 7.5); },
         [&] { return world_find_animal(world, first)->x == 2.5 && world_find_animal(world, first)->y == 7.5; }},
        {"clone", [&] { return world_clone_animal(world, first, &clone); },
         [&] { return world_find_animal(world, clone)->parent_a == first && genes_of(world_find_animal(world, clone)) == genes_of(world_find_animal(world, first)); }},
        {"genes", [&] { return world_set_genes(world, second, donor); }, [&] { return genes_of(world_find_animal(world, second)) == donor; }},
        {"remove", [&] { return world_remove_animal(world, first); }, [&] { return world_find_animal(world, first) == nullptr && world.num_animals == 20; }},
        {"add_founder", [&] { return world_add_founder(world, 5.0, 4.0, 1.0, donor, 77, &founder); },
         [&] { const animal_type* a = world_find_animal(world, founder); return a->parent_a == 0 && a->came_from == 77 && a->x == 5.0 && genes_of(world_find_animal(world, founder)) == donor; }},
        {"add_plant_at", [&] { return world_add_plant_at(world, 1.0, 9.0); }, [&] { return world.plants->x == 1.0 && world.plants->y == 9.0; }},
        {"remove_plants_in", [&] { return world_remove_plants_in(world, 0.0, 0.0, 5.0, 10.0); },
         [&] { for (const plant_type* p = world.plants; p != nullptr; p = p->next) if (p->x <= 5.0) return false; return true; }},
    };
    std::string before_last;
    for (const auto& edit : edits) {
        before_last = world_state(world);
        ASSERT_EQ(edit.make(), "") << edit.name;
        EXPECT_TRUE(edit.done()) << edit.name;
        run(13);
    }
    run(60);
    const std::string edited = world_state(world);

    file.events = world.run.events;
    ASSERT_EQ(run_file_write("edited.toml", file), "");
    run_file_type read;
    ASSERT_EQ(run_file_read("edited.toml", read), "");
    EXPECT_EQ(read.events, world.run.events);
    world_type replay;
    replay.options.log_path.clear();
    ASSERT_EQ(run_file_begin(replay, read, ""), "");
    replay.run.events = read.events;
    while (world_point(replay) < world_point(world)) world_update(replay);
    EXPECT_TRUE(world_state(replay) == edited);

    // Undo of the last edit: just before it, whole state.
    const std::size_t last = world.run.events.size() - 1;
    ASSERT_EQ(timeline_go_before_change(timeline, world, last), "");
    world.run.events.resize(world.run.next);   // as the window's undo drops it
    EXPECT_TRUE(world_state(world) == before_last);
}

// Edits that do not fit are refused with their reason, and nothing changes.
TEST(Edit, BadEditsAreRefusedAndChangeNothing)
{
    world_type world;
    quiet_world(world, 3, 40);
    const std::uint64_t id = world.animals->id;
    std::vector<double> genes = genes_of(world.animals);
    std::vector<double> short_genes(genes.begin(), genes.end() - 1);
    std::vector<double> nan_genes = genes;
    nan_genes[5] = std::nan("");
    const struct {
        std::function<std::string()> make;
        const char* reason;
    } rows[] = {
        {[&] { return world_move_animal(world, 999, 1.0, 1.0); }, "no animal has id 999"},
        {[&] { return world_move_animal(world, id, 10.5, 1.0); }, "is outside the world"},
        {[&] { return world_move_animal(world, id, 1.0, std::nan("")); }, "is outside the world"},
        {[&] { return world_clone_animal(world, 0); }, "no animal has id 0"},
        {[&] { return world_remove_animal(world, 12345); }, "no animal has id 12345"},
        {[&] { return world_set_genes(world, id, short_genes); }, "genes do not fit this world's networks, which take"},
        {[&] { return world_set_genes(world, id, nan_genes); }, "gene 5 is not a finite number"},
        {[&] { return world_add_founder(world, -1.0, 2.0, 0.0, genes); }, "is outside the world"},
        {[&] { return world_add_founder(world, 1.0, 2.0, HUGE_VAL * 2, genes); }, "heading is not a finite number"},
        {[&] { return world_add_plant_at(world, 1.0, 11.0); }, "is outside the world"},
        {[&] { return world_remove_plants_in(world, 0.0, 0.0, std::nan(""), 1.0); }, "finite numbers"},
    };
    const std::string before = world_state(world);
    for (const auto& row : rows) {
        const std::string problem = row.make();
        EXPECT_NE(problem.find(row.reason), std::string::npos) << problem;
        EXPECT_TRUE(world_state(world) == before) << row.reason;
    }
}

// An animal saved from one world and added to another keeps its genes and
// notes where it came from; files that do not fit are refused.
TEST(Edit, AnimalFilesCarryAnimalsBetweenWorlds)
{
    scratch_folder folder;
    world_type from, to;
    quiet_world(from, 5, 40);
    quiet_world(to, 6, 40);
    for (int i = 0; i < 90; ++i) world_update(from);
    animal_type* animal = from.animals->next;
    ASSERT_EQ(animal_file_write("one.animal", animal_file_of(from, animal)), "");
    animal_file_type read;
    ASSERT_EQ(animal_file_read("one.animal", read), "");
    EXPECT_EQ(read.genes, genes_of(animal));
    EXPECT_EQ(read.id, animal->id);
    EXPECT_EQ(read.parent_a, animal->parent_a);
    ASSERT_EQ(animal_file_fit_problem(to, read), "");
    std::uint64_t made = 0;
    ASSERT_EQ(world_add_founder(to, 3.0, 3.0, 0.5, read.genes, read.id, &made), "");
    EXPECT_EQ(genes_of(world_find_animal(to, made)), genes_of(animal));
    EXPECT_EQ(world_find_animal(to, made)->came_from, animal->id);

    world_type wide;
    quiet_world(wide, 7, 40);
    wide.layer_width = 5;
    world_reset(wide);
    EXPECT_NE(animal_file_fit_problem(wide, read).find("this world's animals have 2 of 5"), std::string::npos);
    const std::string good = read_file("one.animal");
    {  // A founder of the first generation: zero is in range for parents and birth.
        std::istringstream lines(good);
        std::string founder, line;
        while (std::getline(lines, line)) {
            for (const std::string key : {"parent-a", "parent-b", "born"})
                if (line.rfind(key + " = ", 0) == 0) line = key + " = 0";
            founder += line + "\n";
        }
        write_file("f.animal", founder);
        animal_file_type zeros;
        ASSERT_EQ(animal_file_read("f.animal", zeros), "");
        EXPECT_EQ(zeros.parent_a + zeros.parent_b + zeros.born, 0u);
        EXPECT_EQ(zeros.genes, read.genes);
    }
    const struct {
        std::string text;
        const char* reason;
    } bad[] = {
        {"", "it is not a Velmora animal (it has no format)"},
        {good.substr(0, good.size() / 2), "b.animal:"},
        {good + "colour = 3\n", "unknown key 'colour'"},
        {"format = 2\n" + good.substr(good.find("id =")), "its format is not 1"},
        {good.substr(0, good.find("genes")), "it has no list of genes"},
        {good.substr(0, good.find("genes")) + "genes = 0.5\n", "it has no list of genes"},
        {good.substr(0, good.find("genes")) + "genes = [1.0, 2.0]\n", "2 genes, but a network of 2 layers of 8 takes"},
        {good.substr(0, good.find("genes")) + "genes = [nan" + good.substr(good.find(",", good.find("genes"))), "not a finite number"},
    };
    for (const auto& row : bad) {
        write_file("b.animal", row.text);
        animal_file_type refused;
        const std::string problem = animal_file_read("b.animal", refused);
        EXPECT_NE(problem.find(row.reason), std::string::npos) << problem;
        EXPECT_TRUE(refused.genes.empty());
    }
}
