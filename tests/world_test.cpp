#include "world/world.h"

#include "animal/animal.h"
#include "app/shell_state.h"
#include "app/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Every gene of the animal at rank k gets the value k * 1000 + its position,
// so a bred gene tells which animal it came from.
void mark_genes(unsigned n)
{
    for (unsigned k = 0; k < n; ++k) {
        animal_type* a = animal_at(k);
        std::vector<double> genes(animal_get_chromosome_size(a));
        for (std::size_t p = 0; p < genes.size(); ++p) genes[p] = k * 1000.0 + p;
        animal_inport_chromosome(a, genes.data());
        a->food = static_cast<int>(n - k);  // rank order equals list order
    }
}

// Rank of the animal a whole neuron's genes came from, or -1 when they are mixed.
int neuron_origin(const neuron_type* neuron)
{
    const int rank = static_cast<int>(std::floor(neuron->bias / 1000.0));
    for (std::uint32_t i = 0; i < neuron->input_count; ++i)
        if (std::floor(neuron->scaler[i] / 1000.0) != rank) return -1;
    return rank;
}

std::vector<int> origins(const animal_type* a)
{
    std::vector<int> out;
    for (const neuron_type* n = a->neurons; n; n = n->next) out.push_back(neuron_origin(n));
    return out;
}

// Makes a world of n animals, marks them, runs one generation cycle with no
// mutation and returns the origin of every neuron per rank.
std::vector<std::vector<int>> breed_population(unsigned n)
{
    start_world(17);
    world_free_animals();
    for (unsigned i = 0; i < n; ++i) world_add_animal();
    mark_genes(n);
    world.mutate_rate = 0.0;
    console_capture quiet;
    world_compute_generation();
    std::vector<std::vector<int>> result;
    for (unsigned k = 0; k < n; ++k) result.push_back(origins(animal_at(k)));
    return result;
}

bool all_from(const std::vector<int>& neurons, std::initializer_list<int> ranks)
{
    for (int origin : neurons) {
        bool found = false;
        for (int rank : ranks) found = found || origin == rank;
        if (!found) return false;
    }
    return true;
}

}  // namespace

TEST(World, SetupGivesTheDefaultWorld)
{
    scratch_folder folder;
    world = world_type{};
    random_seed(1);
    console_capture console;
    world_setup();
    EXPECT_EQ(console.text(), "world_setup\n");
    EXPECT_EQ(world.num_animals, 20u);
    EXPECT_EQ(animal_list_length(), 20u);
    EXPECT_EQ(world.num_plants, 10);
    EXPECT_EQ(plant_list_length(), 10u);
    EXPECT_EQ(world.generation, 0u);
    EXPECT_EQ(world.update_count, 0);
    EXPECT_TRUE(world.running);
    EXPECT_TRUE(world.draw_enabled);
    EXPECT_FALSE(world.wrap_edges);
    EXPECT_EQ(world.updates_per_tick, 1);
    EXPECT_EQ(world.mutate_rate, 1.0 / 298.0);
    world_update();
    EXPECT_EQ(world.update_count, 1);

    world_destroy();
    EXPECT_EQ(world.animals, nullptr);
    EXPECT_EQ(world.plants, nullptr);
    EXPECT_EQ(world.num_animals, 0u);
    EXPECT_EQ(world.num_plants, 0);
    EXPECT_EQ(world.brush_white.colour, 0u);
}

TEST(World, AddFreeAndResetKeepCountsAndParameters)
{
    start_world(2);
    const double rate = world.mutate_rate;
    world_add_animal();
    EXPECT_EQ(world.num_animals, 21u);
    EXPECT_EQ(world.mutate_rate, rate);

    cur_animal = world.animals;
    world.running = false;
    world.wrap_edges = true;
    world.draw_enabled = false;
    world.updates_per_tick = 200;
    world.width = 20;
    world.start_plants = 0;
    world.start_animals = 5;
    world.mutate_amount = 2.5;
    world.generation = 7;
    world.food_sum = 3;
    world_reset();
    EXPECT_EQ(cur_animal, nullptr);
    EXPECT_TRUE(world.running);
    EXPECT_FALSE(world.wrap_edges);
    EXPECT_TRUE(world.draw_enabled);
    EXPECT_EQ(world.updates_per_tick, 1);
    EXPECT_EQ(world.width, 20.0);
    EXPECT_EQ(world.mutate_amount, 2.5);
    EXPECT_EQ(world.generation, 0u);
    EXPECT_EQ(world.food_sum, 0.0);
    EXPECT_EQ(world.num_animals, 5u);
    EXPECT_EQ(world.plants, nullptr);
    EXPECT_EQ(world.num_plants, 0);
    for (int i = 0; i < 600; ++i) world_update();  // runs on without food
    EXPECT_EQ(world.generation, 1u);

    // An empty population: no crash, the rate stays as it was.
    world.start_animals = 0;
    world.mutate_rate = 0.125;
    world_reset();
    EXPECT_EQ(world.animals, nullptr);
    EXPECT_EQ(world.mutate_rate, 0.125);
    world.start_animals = -3;
    world_reset();
    EXPECT_EQ(world.num_animals, 0u);
}

TEST(World, PausedUpdateChangesNothing)
{
    start_world(3);
    world.running = false;
    const std::uint64_t before = world_fingerprint();
    const int updates_before = updates;
    world_update();
    EXPECT_EQ(world_fingerprint(), before);
    EXPECT_EQ(updates, updates_before);
}

TEST(World, GenerationEndsOnTheFiveHundredthUpdate)
{
    scratch_folder folder;
    start_world(4);
    console_capture console;
    updates = 0;
    for (int i = 0; i < 499; ++i) world_update();
    EXPECT_EQ(world.generation, 0u);
    EXPECT_EQ(world.update_count, 499);
    world_update();
    EXPECT_EQ(world.generation, 1u);
    EXPECT_EQ(world.update_count, 0);
    EXPECT_EQ(updates, 500);
    for (const animal_type* a = world.animals; a != nullptr; a = a->next) {
        EXPECT_EQ(a->food, 0);
        EXPECT_EQ(a->wall_hits, 0);
        if (a->next != nullptr) {
            EXPECT_FALSE(a->fitness < a->next->fitness);
        }
    }
    const std::string text = console.text();
    EXPECT_EQ(text.rfind("Gen:    0   Total Food: ", 0), 0u) << text;
    EXPECT_EQ(read_file("log.txt"), text);
}

TEST(World, AnEmptyPopulationRestartsTheCountAndEndsGenerationsAgain)
{
    scratch_folder folder;
    start_world(5);
    world_free_animals();
    console_capture console;
    updates = 0;
    for (int i = 0; i < 500; ++i) world_update();
    EXPECT_EQ(world.update_count, 0);
    EXPECT_EQ(world.generation, 0u);
    EXPECT_EQ(updates, 500);
    EXPECT_EQ(console.text(), "");
    world_add_animal();
    for (int i = 0; i < 500; ++i) world_update();
    EXPECT_EQ(world.generation, 1u);
}

TEST(Generation, BreedingLayouts)
{
    scratch_folder folder;
    // One animal: logged, not bred, reset, next generation.
    auto one = breed_population(1);
    EXPECT_EQ(one[0], std::vector<int>(18, 0));
    EXPECT_EQ(world.generation, 1u);

    // Two: rank 1 is bred from itself and rank 0; rank 0 keeps its genes.
    auto two = breed_population(2);
    EXPECT_EQ(two[0], std::vector<int>(18, 0));
    EXPECT_TRUE(all_from(two[1], {0, 1}));

    // Twenty: children 10..19; parent_a ranks 1..10, parent_b rank 0 up to child 15, then rank 1.
    auto twenty = breed_population(20);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(twenty[k], std::vector<int>(18, k)) << "rank " << k;
    for (int j = 0; j < 10; ++j) {
        const int child = 10 + j;
        const int parent_b = j <= 5 ? 0 : 1;
        if (j < 9) {
            EXPECT_TRUE(all_from(twenty[child], {j + 1, parent_b})) << "child " << child;
        } else {
            // The last child's parent_a is rank 10, rewritten earlier in this cycle.
            for (std::size_t m = 0; m < 18; ++m)
                EXPECT_TRUE(twenty[child][m] == twenty[10][m] || twenty[child][m] == parent_b);
        }
    }
    int from_b = 0;
    for (int j = 0; j < 9; ++j)
        for (int origin : twenty[10 + j]) from_b += origin == (j <= 5 ? 0 : 1);
    EXPECT_GT(from_b, 40);  // both parents contribute
    EXPECT_LT(from_b, 120);

    // Twenty-one: rank 20 is neither child nor parent.
    auto odd = breed_population(21);
    EXPECT_EQ(odd[20], std::vector<int>(18, 20));
    for (int k = 0; k < 10; ++k) EXPECT_EQ(odd[k], std::vector<int>(18, k));
}

TEST(Generation, MutationRateAboveOneTouchesEveryGene)
{
    scratch_folder folder;
    start_world(6);
    world_free_animals();
    for (int i = 0; i < 4; ++i) world_add_animal();
    mark_genes(4);
    world.mutate_rate = 1.5;
    world.mutate_amount = 0.25;
    console_capture quiet;
    world_compute_generation();
    // Rank 2 is bred from ranks 1 and 0; rank 3 from rank 2, already mutated once.
    for (unsigned k = 2; k < 4; ++k) {
        std::vector<double> genes(298);
        animal_export_chromosome(animal_at(k), genes.data());
        for (std::size_t p = 0; p < genes.size(); ++p) {
            const double offset = genes[p] - std::round(genes[p]);
            EXPECT_NE(offset, 0.0) << "gene " << p << " of rank " << k;
            EXPECT_LE(std::fabs(offset), k == 2 ? 0.25 : 0.5);
        }
    }
}

TEST(Generation, ScoreLineAndLog)
{
    scratch_folder folder;
    write_file("log.txt", "an earlier run\n");
    start_world(7);
    console_capture console;
    world_show_scores(37, 112);
    const std::string line = "Gen:    0   Total Food:    37  Total Wall:    112   Ave food/animal: 1.850\n";
    EXPECT_EQ(console.text(), line);
    EXPECT_EQ(world.food_sum, 1.85);
    EXPECT_EQ(world.ave_food, 1.85);
    EXPECT_EQ(read_file("log.txt"), "an earlier run\n" + line);

    // Nobody ate: all equal, totals 0, the cycle runs on.
    world.generation = 0;
    world_compute_generation();
    EXPECT_EQ(world.generation, 1u);
    EXPECT_NE(console.text().find("Total Food:     0"), std::string::npos);
    EXPECT_TRUE(std::isnan(world.animals->fitness));
}

TEST(Generation, UpdatesAndCyclesTakeNoHeapMemory)
{
    scratch_folder folder;
    start_world(8);
    world_free_plants();
    console_capture quiet;
    const long before = heap_allocations();
    for (int i = 0; i < 1200; ++i) world_update();
    EXPECT_EQ(world.generation, 2u);
    EXPECT_EQ(heap_allocations(), before);

    // With plants, the only allocations are the replacements of eaten plants.
    world_reset();
    long eaten = 0;
    const long start = heap_allocations();
    for (int i = 0; i < 499; ++i) {
        long food_before = 0, food_after = 0;
        for (const animal_type* a = world.animals; a; a = a->next) food_before += a->food;
        world_update();
        for (const animal_type* a = world.animals; a; a = a->next) food_after += a->food;
        eaten += food_after - food_before;
    }
    EXPECT_GT(eaten, 0);
    EXPECT_EQ(heap_allocations() - start, eaten);
}
