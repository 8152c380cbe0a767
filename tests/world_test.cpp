#include "world/world.h"

#include "animal/animal.h"
#include "base/check.h"
#include "base/console.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "test_support.h"
#include "cli/summary.h"
#include "world/grid.h"
#include "world/world_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

namespace {

// Every gene of the animal at rank k becomes k * 1000 + its position, so a
// bred gene tells which animal it came from; food makes rank order list order.
void mark_genes(world_type& world, unsigned n)
{
    for (unsigned k = 0; k < n; ++k) {
        animal_type* a = animal_at(world, k);
        std::vector<double> genes(animal_get_chromosome_size(a));
        for (std::size_t p = 0; p < genes.size(); ++p) genes[p] = k * 1000.0 + p;
        animal_inport_chromosome(world, a, genes.data());
        a->food = static_cast<int>(n - k);
    }
}

// Rank each neuron of the animal came from, or -1 when its genes are mixed.
std::vector<int> origins(const animal_type* a)
{
    std::vector<int> out;
    for (const neuron_type* n = a->neurons; n != nullptr; n = n->next) {
        int rank = static_cast<int>(std::floor(n->bias / 1000.0));
        for (std::uint32_t i = 0; i < n->input_count; ++i)
            if (std::floor(n->scaler[i] / 1000.0) != rank) rank = -1;
        out.push_back(rank);
    }
    return out;
}

}  // namespace

TEST(World, ResetRestoresTheRunFlagsAndKeepsTheParameters)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 2);
    EXPECT_EQ(world.mutate_rate, 1.0 / 298.0);
    world_add_animal(world);
    EXPECT_EQ(world.num_animals, 21u);
    EXPECT_EQ(world.mutate_rate, 1.0 / 298.0);
    const std::uint32_t frees = world.animal_frees;
    world.running = false;
    world.wrap_edges = true;
    world.draw_enabled = false;
    world.updates_per_tick = 200;
    world.width = 20;
    world.start_plants = 0;
    world.start_animals = 5;
    world.generation = 7;
    world.food_sum = world.ave_food = 3;
    world.update_count = 9;
    world_reset(world);
    EXPECT_GT(world.animal_frees, frees);  // views drop the animals they held
    EXPECT_TRUE(world.running && world.draw_enabled && !world.wrap_edges);
    EXPECT_EQ(world.updates_per_tick, 1);
    EXPECT_EQ(world.width, 20.0);
    EXPECT_EQ(world.generation + world.update_count + world.food_sum + world.ave_food, 0.0);
    EXPECT_EQ(world.num_animals, 5u);
    EXPECT_EQ(animal_list_length(world), 5u);
    EXPECT_EQ(world.plants, nullptr);
    console_capture quiet;
    for (int i = 0; i < 500; ++i) world_update(world);  // runs on without food
    EXPECT_EQ(world.generation, 1u);

    // No animals to make: an empty world that keeps its rate.
    for (int count : {0, -3}) {
        world.start_animals = count;
        world.mutate_rate = 0.125;
        world_reset(world);
        EXPECT_EQ(world.animals, nullptr);
        EXPECT_EQ(world.num_animals, 0u);
        EXPECT_EQ(world.mutate_rate, 0.125);
    }
}

TEST(World, EveryFreedAnimalTakesItsNetworkAlong)
{
    world_type world;
    start_world(world, 3);
    world_destroy(world);
    const long empty = heap_blocks_alive();
    start_world(world, 3);
    const long alive = heap_blocks_alive();
    const std::function<void()> round_trips[] = {
        [&] { world_add_animal(world); world_add_animal(world); world_free_animals(world); world.start_animals = 20; world_reset(world); },
        [&] { add_random_plant(world); world_free_plants(world); world.start_plants = 10; world_reset(world); },
        [&] { world_reset(world); },
    };
    for (const auto& round_trip : round_trips) {
        round_trip();
        EXPECT_EQ(heap_blocks_alive(), alive);
    }
    world_destroy(world);
    EXPECT_EQ(heap_blocks_alive(), empty);
    EXPECT_EQ(world.num_animals + world.num_plants, 0u);
    EXPECT_EQ(world.brush_green.colour, 0u);
}

TEST(World, UpdatesCountGenerationsAndPausedUpdatesDoNothing)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 4);
    world.running = false;
    const std::string before = world_state(world);
    world_update(world);
    EXPECT_TRUE(world_state(world) == before);

    world.running = true;
    console_capture console;
    for (int i = 0; i < 499; ++i) world_update(world);
    EXPECT_EQ(world.generation * 1000 + world.update_count, 499u);
    world_update(world);
    EXPECT_EQ(world.generation * 1000 + world.update_count, 1000u);
    EXPECT_EQ(world.animals->fitness, 1.0);  // somebody ate, and the best heads the list
    for (const animal_type* a = world.animals; a != nullptr; a = a->next) {
        EXPECT_EQ(a->food + a->wall_hits, 0);
        if (a->next != nullptr) {
            EXPECT_GE(a->fitness, a->next->fitness);
        }
    }
    EXPECT_EQ(console.text().rfind("Gen:    0   Total Food: ", 0), 0u);
    EXPECT_EQ(read_file("log.txt"), console.text());

    // Without animals the count restarts, so generations end again once some are added.
    world_free_animals(world);
    for (int i = 0; i < 500; ++i) world_update(world);
    EXPECT_EQ(world.generation * 1000 + world.update_count, 1000u);
    world_add_animal(world);
    for (int i = 0; i < 500; ++i) world_update(world);
    EXPECT_EQ(world.generation, 2u);
}

TEST(Generation, BreedingLayouts)
{
    world_type world;
    scratch_folder folder;
    console_capture quiet;
    for (unsigned n : {1u, 2u, 3u, 20u, 21u}) {
        start_world(world, 17);
        world_free_animals(world);
        for (unsigned i = 0; i < n; ++i) world_add_animal(world);
        mark_genes(world, n);
        world.mutate_rate = 0.0;
        world_compute_generation(world);
        const unsigned children = n / 2, quarter = children / 2;
        std::vector<std::vector<int>> rank(n);
        for (unsigned k = 0; k < n; ++k) rank[k] = origins(animal_at(world, k));
        for (unsigned k = 0; k < n; ++k) {
            if (k < children || k >= 2 * children) {
                EXPECT_EQ(rank[k], std::vector<int>(18, static_cast<int>(k))) << n << " animals, rank " << k;
                continue;
            }
            // Child children + j: whole neurons of rank j + 1 (the first child for the
            // last one) and of rank 0 up to the quarter, rank 1 after it.
            const unsigned j = k - children;
            const int second = j <= quarter ? 0 : 1;
            for (std::size_t m = 0; m < 18; ++m) {
                const int first = j + 1 == k          ? static_cast<int>(k)
                                  : j + 1 == children ? rank[children][m]
                                                      : static_cast<int>(j + 1);
                EXPECT_TRUE(rank[k][m] == first || rank[k][m] == second) << n << " animals, rank " << k << " neuron " << m;
            }
        }
        EXPECT_EQ(world.generation, 1u);
    }
    // Both parents contribute to the children of twenty.
    int from_second = 0;
    for (unsigned k = 11; k < 19; ++k)
        for (int origin : origins(animal_at(world, k))) from_second += origin == 0 || origin == 1;
    EXPECT_GT(from_second, 30);
    EXPECT_LT(from_second, 110);
}

TEST(Generation, ScoreLineAndLog)
{
    world_type world;
    scratch_folder folder;
    write_file("log.txt", "an earlier run\n");
    start_world(world, 7);
    console_capture console;
    world_show_scores(world, 37, 112);
    const std::string line = "Gen:    0   Total Food:    37  Total Wall:    112   Ave food/animal: 1.850\n";
    EXPECT_EQ(console.text(), line);
    EXPECT_EQ(world.food_sum + world.ave_food, 3.7);
    EXPECT_EQ(read_file("log.txt"), "an earlier run\n" + line);
    world.generation = 1;
    world_show_scores(world, 3, 0);
    EXPECT_EQ(world.ave_food, (1.85 + 0.15) / 2);

    // Nobody ate: everyone ranks equal (a NaN fitness), totals 0, the cycle runs on.
    for (animal_type* a = world.animals; a != nullptr; a = a->next) a->food = 0;
    world_compute_generation(world);
    EXPECT_EQ(world.generation, 2u);
    EXPECT_NE(console.text().find("Gen:    1   Total Food:     0"), std::string::npos);
    for (animal_type* a = world.animals; a != nullptr; a = a->next) EXPECT_TRUE(std::isnan(a->fitness));
}

TEST(Generation, UpdatesAndCyclesTakeNoHeapMemoryButTheHistorysGrowth)
{
    world_type world;
    scratch_folder folder;
    start_world(world, 8);
    world_free_plants(world);
    world.generation_length = 3;
    console_capture quiet;
    const long before = heap_allocations();
    long growths = 0;  // the history's own, amortised: a few over many generations
    for (int i = 0; i < 3000; ++i) {
        const std::size_t capacity = world.history.capacity();
        world_update(world);
        growths += world.history.capacity() != capacity;
    }
    EXPECT_EQ(world.generation, 1000u);
    EXPECT_EQ(heap_allocations() - before, growths);
    EXPECT_LE(growths, 3);

    // With plants, the only allocations are the replacements of eaten plants:
    // in the default world, and in a large one on two threads once the helper
    // has started; through generations too (their cycle resets the food).
    for (const std::int32_t animals : {20, 250}) {
        world.options.threads = 2;
        world.start_animals = animals;
        world.generation_length = 150;
        world_reset(world);
        world_update(world);
        long eaten = 0;
        const long start = heap_allocations();
        for (int i = 1; i < 400; ++i) {
            long food_before = 0;
            for (const animal_type* a = world.animals; a; a = a->next) food_before += a->food;
            world_update(world);
            if (world.update_count == 0) {  // a generation ended and reset the food: its line has the total
                eaten += world.history.back().food - food_before;
                continue;
            }
            for (const animal_type* a = world.animals; a; a = a->next) eaten += a->food;
            eaten -= food_before;
        }
        EXPECT_GT(eaten, 0) << animals;
        EXPECT_EQ(heap_allocations() - start, eaten) << animals;
    }
}

// With the invariant checks built in (the sanitizer build), a world whose
// counts, index or packed networks no longer agree with its lists stops at
// the next update or generation, naming what broke.
TEST(WorldDeathTest, ABrokenInvariantStopsTheRun)
{
    if (!checks_on) GTEST_SKIP() << "this build has no invariant checks";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct { const char* broken; std::function<void(world_type&)> corrupt; } cases[] = {
        {"num_plants is the plant list", [](world_type& w) { w.num_plants += 1; }},
        {"where it no longer stands", [](world_type& w) { w.grid.plants.x[w.plants->next->grid_slot] += 0.5; }},
        {"in another cell", [](world_type& w) { w.grid.plants.cell[w.plants->grid_slot] = grid_overflow_cell(w.grid.plants); }},
        {"another plant before it", [](world_type& w) { w.grid.plants.before[w.plants->next->grid_slot] = nullptr; }},
        {"a packed network reads what its records read", [](world_type& w) { w.networks.sources[3] = &w.ave_food; }},
    };
    for (const auto& c : cases) {
        EXPECT_DEATH(
            {
                world_type world;
                start_world(world, 4);
                world.generation_length = 2;
                world_update(world);
                c.corrupt(world);
                world_update(world);
            },
            std::string("invariant broken.*") + c.broken)
            << c.broken;
    }
    // Unbroken, the same world runs on.
    world_type world;
    start_world(world, 4);
    for (int i = 0; i < 1000; ++i) world_update(world);
    EXPECT_EQ(world.generation, 2u);
}

TEST(WorldDeathTest, AnExhaustedHeapStopsTheProgramWithItsLine)
{
    world_type world;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    start_world(world, 9);
    const struct { std::function<void()> grow; const char* line; } cases[] = {
        {[&] { neuron_type* head = nullptr; add_neuron(world.network_edits, &head, 1, 0, 1, 0, 0, 0, 0); }, "^Unable to get neuron memory \n$"},
        {[&] { add_random_plant(world); }, "^Unable to get plant memory\n$"},
        {[&] { remove_plant(world, world.plants); }, "^Unable to get plant memory\n$"},
        {[&] { world_add_animal(world); }, "^Unable to get animal memory\n$"},
    };
    for (const auto& c : cases) {
        const auto without_memory = [&c] {
            h_console = 2;  // the death test reads standard error
            simulate_heap_exhaustion();
            c.grow();
        };
        EXPECT_EXIT(without_memory(), testing::ExitedWithCode(1), c.line);
    }
}

// However a network changes, the very next update evaluates it as changed:
// each run equals one whose packed networks were thrown away before it.
TEST(Networks, EveryChangeReachesTheNextUpdate)
{
    world_type world;
    scratch_folder folder;
    console_capture quiet;
    const auto animal = [&](int k) { return animal_at(world, static_cast<unsigned>(k)); };
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"add", [&] { add_neuron(world.network_edits, &animal(1)->neurons, 99, 0.5, 1.0, 0.0, 0.0, 0.0, 0.0); }},
        {"connect", [&] { neuron_connect(world.network_edits, animal(1)->neurons, 17, &animal(1)->touch[2].wall, 0.0, 3.0, 1); }},
        {"free", [&] { free_neuron_list(world.network_edits, animal(1)->neurons); animal_setup_neurons(world, animal(1)); animal_randomize(world, animal(1)); }},
        {"import", [&] {
             std::vector<double> genes(animal_get_chromosome_size(animal(2)));
             animal_export_chromosome(animal(2), genes.data());
             animal_inport_chromosome(world, animal(1), genes.data());
         }},
        {"randomise", [&] { animal_randomize(world, animal(1)); }},
        {"mate", [&] { mate(world, animal(1), animal(2), animal(3), 1.0, 5.0); }},
        {"load", [&] { world_load_file(world, "before.dat"); }},
    };
    const auto run = [&](const std::function<void()>& change, bool fresh_pack) {
        start_world(world, 12);
        for (int i = 0; i < 3; ++i) world_update(world);
        world_save_file(world, "before.dat");
        change();
        if (fresh_pack) world.networks = neuron_pack_type{};
        for (int i = 0; i < 2; ++i) world_update(world);
        return world_state(world);
    };
    const std::string unchanged = run([&] {}, false);
    for (const auto& [name, change] : changes) {
        const std::string packed = run(change, false);
        EXPECT_NE(packed, unchanged) << name;  // the change shows
        EXPECT_TRUE(packed == run(change, true)) << name;
    }
}

// Lines counted afresh every few generations, two ways: by the world as it
// runs (each generation's record) and by walking its lineage file; and a
// hand-worked tree.
TEST(Family, LinesCountedAfreshAgreeWithTheFamilyTree)
{
    // By hand: founders 1 and 2 at generation 0; 3 (of 1) at 1, 4 (of 3) at
    // 2, 5 (of 2) at 3; 1 dies at 2, 3 at 4, 2 at 4; counted every 2
    // generations. At 0 and 1 the lines are 1 (1, then 1 and 3) and 2; at
    // 2 and 3 the animals alive at 2 begin them: 2 (then with 5), 3 and 4;
    // at 4, 4 and 5.
    scratch_folder folder;
    write_file("tree.csv", "id,ancestor_list,origin_time,destruction_time\n1,[NONE],0,2\n2,[NONE],0,4\n"
                           "3,\"[1,2]\",1,4\n4,\"[3,1]\",2,\n5,\"[2,1]\",3,\n");
    line_bands_type bands;
    ASSERT_EQ(lineage_read("tree.csv", 8, 2, bands), "");
    EXPECT_EQ(bands.population, (std::vector<double>{2, 3, 3, 4, 2}));
    // Each count's largest line first, then by age: 1, 2; 2, 3, 4; 4, 5.
    ASSERT_EQ(bands.counts.size(), 3u);
    EXPECT_EQ(bands.counts[0], (std::vector<double>{1, 2, 1, 2, 1}));
    EXPECT_EQ(bands.counts[1], (std::vector<double>{1, 1, 1, 1, 1}));
    EXPECT_EQ(bands.counts[2], (std::vector<double>{0, 0, 1, 1, 0}));
    EXPECT_EQ(bands.labels[0], "largest line");
    ASSERT_EQ(lineage_read("tree.csv", 8, 0, bands), "");
    EXPECT_EQ(bands.counts[0], (std::vector<double>{1, 2, 2, 2, 1}));   // founder 1's line: 1, 3, 4
    EXPECT_EQ(bands.counts[1], (std::vector<double>{1, 1, 1, 2, 1}));   // founder 2's: 2, 5

    for (const int horizon : {1, 3, 7}) {
        world_type world;
        console_capture quiet;
        start_world(world, 9);
        world.options.lineage_path = "run.csv";
        world_lineage_restart(world);
        world.start_animals = 8;
        world.generation_length = 20;
        world.line_horizon = horizon;
        world_reset(world);
        while (world.generation < 20) world_update(world);
        world_lineage_finish(world);
        ASSERT_EQ(lineage_read("run.csv", 8, static_cast<std::uint32_t>(horizon), bands), "");
        for (std::size_t g = 0; g < world.history.size(); ++g) {
            std::vector<double> recorded, walked;
            for (std::size_t k = 0; k < 8 && world.history[g].line_animals[k] > 0; ++k) recorded.push_back(world.history[g].line_animals[k]);
            for (const std::vector<double>& band : bands.counts)
                if (band[g] > 0) walked.push_back(band[g]);
            std::sort(walked.rbegin(), walked.rend());
            EXPECT_EQ(recorded, walked) << "horizon " << horizon << ", generation " << g;
        }
    }
}

// A small world's family tree: every animal once, every ancestor in it, the
// children where the breeding puts them; and the diversity of known populations.
TEST(Family, TheLineageFileHoldsEveryAnimalAndAncestor)
{
    world_type world;
    scratch_folder folder;
    console_capture quiet;
    start_world(world, 2);
    world.options.lineage_path = "lineage.csv";
    world.start_animals = 6;
    world.generation_length = 100;
    world_reset(world);
    for (int i = 0; i < 300; ++i) world_update(world);
    world_lineage_finish(world);
    std::istringstream in(read_file("lineage.csv"));
    std::string row;
    std::getline(in, row);
    EXPECT_EQ(row, "id,ancestor_list,origin_time,destruction_time");
    std::map<std::uint64_t, std::string> rows;
    std::vector<std::uint64_t> ancestors;
    unsigned living = 0;
    while (std::getline(in, row)) {
        const std::uint64_t id = std::stoull(row);
        EXPECT_TRUE(rows.emplace(id, row).second) << row;
        unsigned long long a = 0, b = 0;
        unsigned origin = 0;
        if (std::sscanf(row.c_str(), "%*u,\"[%llu,%llu]\",%u,", &a, &b, &origin) == 3) {
            ancestors.insert(ancestors.end(), {a, b});
            EXPECT_GE(origin, 1u) << row;
        } else {
            EXPECT_NE(row.find(",[NONE],0,"), std::string::npos) << row;
        }
        living += row.back() == ',';
    }
    EXPECT_EQ(rows.size(), 6u + 3 * 3);  // founders, and three children a generation
    EXPECT_EQ(living, 6u);
    for (std::uint64_t ancestor : ancestors) EXPECT_EQ(rows.count(ancestor), 1u) << ancestor;
    // Ids in order of making: the founders 1 to 6, then each generation's children.
    for (std::uint64_t id = 1; id <= 15; ++id) {
        const std::string start = std::to_string(id) + (id <= 6 ? ",[NONE],0," : ",\"[");
        const std::string born = "]\"," + std::to_string((id + 2) / 3 - 2) + ",";
        EXPECT_TRUE(rows[id].rfind(start, 0) == 0 && (id <= 6 || rows[id].find(born) != std::string::npos)) << rows[id];
    }

    // Its founder lines, generation by generation, as a Muller plot draws them.
    line_bands_type lines;
    ASSERT_EQ(lineage_read("lineage.csv", 8, 0, lines), "");
    EXPECT_EQ(lines.population, std::vector<double>(4, 6.0));
    EXPECT_EQ(lines.counts.size(), 6u);
    for (std::size_t g = 0; g < 4; ++g) {
        double sum = 0, lines_alive = 0;
        for (const std::vector<double>& counts : lines.counts) {
            sum += counts[g];
            lines_alive += counts[g] > 0;
            EXPECT_TRUE(g > 0 || counts[g] == 1.0);
        }
        EXPECT_EQ(sum, 6.0) << g;
        EXPECT_TRUE(g == 3 || lines_alive == world.history[g].lineages) << g;
    }
    write_file("bad.csv", "id,ancestor_list,origin_time,destruction_time\n7,[x],1,\n");
    EXPECT_EQ(lineage_read("bad.csv", 8, 0, lines), "bad.csv: line 2 is not a row of a lineage file");

    // Diversity: equal genomes spread 0; two differing by d in one gene spread d / 2;
    // founders counted along first-parent lines.
    world.start_animals = 2;
    world_reset(world);
    std::vector<double> genes(animal_get_chromosome_size(world.animals));
    animal_export_chromosome(world.animals, genes.data());
    animal_inport_chromosome(world, world.animals->next, genes.data());
    EXPECT_EQ(world_gene_spread(world), 0.0);
    genes[5] += 3.0;
    animal_inport_chromosome(world, world.animals->next, genes.data());
    EXPECT_EQ(world_gene_spread(world), 1.5);
    EXPECT_EQ(world_lineages(world), 2u);
    world.animals->founder = world.animals->next->founder;
    EXPECT_EQ(world_lineages(world), 1u);
    world.options.lineage_path.clear();  // the thread's world outlives the test
}
