// The fast senses and eating against the plain walks over the lists, step by
// step, on randomised worlds that users change between updates the way keys
// and menus do. Every animal step must eat, touch and see exactly what the
// walks say. VELMORA_SOAK_GENERATIONS makes the run as long as wanted.
#include "animal/animal.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/grid.h"
#include "world/world.h"
#include "world/world_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

// The plain walks: the plants one step eats, in order, and the senses.
std::vector<plant_type*> plain_bites(const world_type& world, const animal_type* a)
{
    std::vector<plant_type*> eaten;
    const double sa = a->size_y + a->size_x;
    for (plant_type* p = world.plants; p != nullptr; p = p->next) {
        const double sp = p->size_y + p->size_x;
        const double dx = a->x - p->x, dy = a->y - p->y;
        if (sa * sa * 0.125 + sp * sp * 0.125 > dx * dx + dy * dy) {
            eaten.push_back(p);
            if (p == world.plants) break;
        }
    }
    return eaten;
}

void plain_senses(const world_type& world, const animal_type* a, sensor_type* touch, double* vision)
{
    double offset = -third_pi;
    for (int k = 0; k < 6; ++k, offset += third_pi)
        check_sensor(world, a->x, a->y, a->heading + offset, a->sensor_distance + 0.5 * a->sensor_size, touch[k]);
    const double step = half_pi / 5;
    double start[5], end[5], angle = a->heading - quarter_pi;
    int hits[5] = {};
    for (int j = 0; j < 5; ++j, angle += step) {
        start[j] = angle_wrap(angle);
        end[j] = angle_wrap(angle + step);
    }
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) {
        const double bearing = angle_wrap(std::atan2(p->y - a->y, p->x - a->x));
        for (int j = 0; j < 5; ++j) hits[j] += start[j] < bearing && bearing < end[j];
    }
    for (int j = 0; j < 5; ++j) vision[j] = hits[j] > 0 ? hits[j] * 0.1 : -0.5;
}

struct checked_run_type {
    explicit checked_run_type(world_type& checked) : world(checked) {}
    world_type& world;    // the world it runs and checks
    std::mt19937 choose;  // the run's own choices, apart from the world's random source
    long steps = 0;
    long bites = 0;
    long contacts = 0;
    long seen = 0;
    long generations = 0;
    long packed = 0;  // steps whose network the world's pack held

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(choose); }
    double real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(choose); }

    // What one animal's step must come to, from the walks at each moment of it.
    struct expected_type {
        std::vector<plant_type*> eaten, kept;
        int food = 0;
        sensor_type touch[6];
        double vision[5];
        std::vector<double> outs_before;
    };
    std::vector<expected_type> expected;
    std::size_t eating = 0, acting = 0;  // animals of this update at each half

    // The real world_update, every animal's step checked against the walks on
    // the state its turn found.
    static void watch(animal_type* a, world_step_type moment, void* context)
    {
        if (testing::Test::HasFatalFailure()) return;
        static_cast<checked_run_type*>(context)->check(a, moment);
    }

    void check(animal_type* a, world_step_type moment)
    {
        switch (moment) {
        case world_step_type::eating: {
            expected_type& e = expected[eating];
            e.eaten = plain_bites(world, a);
            e.kept.clear();
            for (plant_type* p = world.plants; p != nullptr; p = p->next)
                if (std::find(e.eaten.begin(), e.eaten.end(), p) == e.eaten.end()) e.kept.push_back(p);
            e.food = a->food;
            break;
        }
        case world_step_type::eaten: {
            expected_type& e = expected[eating++];
            ASSERT_EQ(a->food - e.food, static_cast<int>(e.eaten.size())) << "step " << steps;
            const plant_type* p = world.plants;
            for (std::size_t i = 0; i < e.eaten.size(); ++i) p = p->next;  // the replacements
            for (plant_type* k : e.kept) {
                ASSERT_EQ(p, k) << "step " << steps;
                p = p->next;
            }
            plain_senses(world, a, e.touch, e.vision);  // whiskers' plants and vision: the plants after eating
            for (int k = 0; k < 6; ++k) ASSERT_EQ(a->touch[k].plant, e.touch[k].plant) << "step " << steps << " whisker " << k;
            bites += static_cast<long>(e.eaten.size());
            break;
        }
        case world_step_type::acting: {
            expected_type& e = expected[acting];
            sensor_type touch[6];
            double vision[5];
            plain_senses(world, a, touch, vision);  // walls and animals: the ones before have moved
            for (int k = 0; k < 6; ++k) {
                e.touch[k].wall = touch[k].wall;
                e.touch[k].animal = touch[k].animal;
            }
            e.outs_before.clear();
            for (const neuron_type* n = a->neurons; n != nullptr; n = n->next) e.outs_before.push_back(n->out);
            packed += neuron_pack_holds(world.networks, world.network_edits, acting, a->neurons);
            break;
        }
        case world_step_type::acted: {
            expected_type& e = expected[acting++];
            for (int k = 0; k < 6; ++k) {
                ASSERT_EQ(a->touch[k].wall, e.touch[k].wall) << "step " << steps << " whisker " << k;
                ASSERT_EQ(a->touch[k].plant, e.touch[k].plant) << "step " << steps << " whisker " << k;
                ASSERT_EQ(a->touch[k].animal, e.touch[k].animal) << "step " << steps << " whisker " << k;
                contacts += e.touch[k].plant > 0 || e.touch[k].animal > 0;
            }
            for (int j = 0; j < 5; ++j) {
                ASSERT_EQ(a->vision[j].plant, e.vision[j]) << "step " << steps << " sector " << j;
                seen += e.vision[j] > 0;
            }
            // The network against the plain evaluation of its records.
            std::vector<double> next_outs, outs_after;
            std::size_t i = 0;
            for (neuron_type* n = a->neurons; n != nullptr; n = n->next, ++i) {
                next_outs.push_back(n->next_out);
                outs_after.push_back(n->out);
                n->out = e.outs_before[i];
            }
            process_neurons(a->neurons, world.math);
            i = 0;
            for (neuron_type* n = a->neurons; n != nullptr; n = n->next, ++i) {
                ASSERT_EQ(n->next_out, next_outs[i]) << "step " << steps << " neuron " << n->id;
                n->out = outs_after[i];
            }
            ++steps;
            break;
        }
        }
    }

    void update()
    {
        expected.resize(world.num_animals);
        eating = acting = 0;
        world.step_watch = &checked_run_type::watch;
        world.step_watch_context = this;
        const std::uint32_t generation = world.generation;
        world_update(world);
        world.step_watch = nullptr;
        if (!testing::Test::HasFatalFailure() && world.running) {
            ASSERT_EQ(acting, expected.size());
        }
        generations += world.generation != generation && world.animals != nullptr;
    }

    // Something a user does between updates.
    void act()
    {
        switch (pick(0, 12)) {
        case 0: world.wrap_edges = !world.wrap_edges; break;
        case 1: world.mode_manual = !world.mode_manual; break;
        case 2: animal_motion(world, real(-0.4, 0.4), real(-0.4, 0.4)); break;
        case 3: for (int i = pick(1, 4); i > 0; --i) world_add_animal(world); break;
        case 4: if (pick(0, 3) == 0) world_free_animals(world); break;
        case 5: for (int i = pick(1, 6); i > 0; --i) add_random_plant(world); break;
        case 6: add_plant(world, real(-1, world.width + 1), real(-1, world.height + 1), real(0.05, 1.5), real(0.05, 1.5)); break;
        case 7: if (pick(0, 3) == 0) world_free_plants(world); break;
        case 8:
            if (world.animals != nullptr) {  // a body pushed anywhere, even out of the world
                world.animals->x = real(-2, world.width + 2);
                world.animals->y = real(-2, world.height + 2);
                grid_move_animal(world, world.animals);
            }
            break;
        case 9:
            if (world_save_file(world, "differential.dat").empty()) {
                ASSERT_EQ(world_load_file(world, "differential.dat"), "");
            }
            break;
        case 10: {  // vision plant by plant, by rows of cells, or as the world's size says; two lanes or the widest
            const std::size_t thresholds[] = {0, 1000, SIZE_MAX};
            world.options.vision_few_plants = thresholds[pick(0, 2)];
            world.options.vision_lanes = pick(0, 1) == 0 ? 2 : animal_vision_widest_lanes();
            world.options.threads = pick(1, 3);
            break;
        }
        default: break;
        }
    }
};

// Every animal and plant of the lists is filed where it stands, and inside the world.
void expect_index_matches_lists(const world_type& world)
{
    std::size_t animals = 0, plants = 0;
    for (const animal_type* a = world.animals; a != nullptr; a = a->next, ++animals) {
        ASSERT_TRUE(a->x >= 0 && a->x <= world.width && a->y >= 0 && a->y <= world.height);
        ASSERT_EQ(world.grid.animals.record[a->grid_slot], a);
        ASSERT_EQ(world.grid.animals.x[a->grid_slot], a->x);
        ASSERT_EQ(world.grid.animals.y[a->grid_slot], a->y);
    }
    const plant_type* before = nullptr;
    for (const plant_type* p = world.plants; p != nullptr; before = p, p = p->next, ++plants) {
        ASSERT_EQ(world.grid.plants.record[p->grid_slot], p);
        ASSERT_EQ(world.grid.plants.x[p->grid_slot], p->x);
        ASSERT_EQ(world.grid.plants.before[p->grid_slot], before);
    }
    ASSERT_EQ(world.grid.animals.x.size(), animals);
    ASSERT_EQ(world.grid.plants.x.size(), plants);
    ASSERT_EQ(world.num_animals, animals);
    ASSERT_EQ(static_cast<std::size_t>(world.num_plants), plants);
}

}  // namespace

TEST(Differential, FastSensesAndEatingMatchThePlainWalks)
{
    world_type world;
    const char* soak = std::getenv("VELMORA_SOAK_GENERATIONS");
    const long generations = soak != nullptr ? std::atol(soak) : 0;
    scratch_folder folder;
    console_capture quiet;
    // width, animals, plants, animal size, plant size, generation length
    const struct { double width; int animals, plants; double animal_size, plant_size; int length; } worlds[] = {
        {10, 20, 10, 0.5, 0.25, 100},   {10, 300, 300, 0.5, 0.25, 20}, {40, 150, 400, 0.5, 0.25, 30},
        {60, 80, 1500, 1.3, 0.7, 15},   {3, 30, 200, 0.9, 0.05, 25}, {2, 5, 400, 1.0, 0.05, 40},
    };
    checked_run_type run(world);
    run.choose.seed(7);
    for (const auto& w : worlds) {
        start_world(world, static_cast<std::uint32_t>(w.animals));
        world.width = w.width;
        world.height = w.width * 0.75;
        world.start_animals = w.animals;
        world.start_plants = w.plants;
        world.animal_size = w.animal_size;
        world.plant_size = w.plant_size;
        world.generation_length = w.length;
        world_reset(world);
        const long last = run.generations + 3 + generations;
        while (run.generations < last && !HasFatalFailure()) {
            for (int i = run.pick(1, 20); i > 0 && !HasFatalFailure(); --i) run.update();
            expect_index_matches_lists(world);
            run.act();
            if (world.num_animals == 0) world_add_animal(world);
        }
    }
    std::printf("%ld steps (%ld networks from the pack), %ld plants eaten, %ld whisker contacts, %ld sectors seeing\n",
                run.steps, run.packed, run.bites, run.contacts, run.seen);
    EXPECT_GT(run.packed, run.steps / 2);
    EXPECT_GT(run.bites, 1000);
    EXPECT_GT(run.contacts, 10000);
    EXPECT_GT(run.seen, 10000);
}

// Plants on the corners and edges of the index's cells, animals on them too,
// facing so that boundary rays run along rows, columns and diagonals of the
// lattice or just off them: every tie the fast counts must break as the
// plain walk does.
TEST(Differential, VisionOnTheCellLatticeMatchesThePlainWalk)
{
    world_type world;
    console_capture quiet;
    // Each world is seen plant by plant, then by rows of cells.
    const struct { double width; int plants; std::size_t few; } worlds[] = {
        {4, 16, SIZE_MAX}, {10, 400, SIZE_MAX}, {7, 150, SIZE_MAX}, {224, 2000, SIZE_MAX},
        {4, 16, 0},        {10, 400, 0},        {7, 150, 0},        {224, 2000, 0}};
    const double pi = 3.141592653589793;
    const double headings[] = {0.0, quarter_pi, half_pi, 3 * quarter_pi, pi, quarter_pi + 1e-13, quarter_pi - 1e-16,
                               quarter_pi + 1e-7, 0.1 * pi + quarter_pi, std::atan2(1.0, 2.0) + quarter_pi};
    long compared = 0, seeing = 0;
    for (const auto& w : worlds) {
        start_world(world, 3);
        world.width = world.height = w.width;
        world.start_animals = 1;
        world.start_plants = w.plants;
        world_reset(world);
        world_free_plants(world);
        world.options.vision_few_plants = w.few;
        world.options.vision_lanes = w.width == 10 ? 2 : animal_vision_widest_lanes();  // both widths on the few-plant path
        const double cw = world.grid.plants.cell_width * 0.5, ch = world.grid.plants.cell_height * 0.5;
        const int columns = 2 * world.grid.plants.columns, rows = 2 * world.grid.plants.rows;
        for (int i = 0; i <= columns; i += 1 + columns / 40)
            for (int j = 0; j <= rows; j += 1 + rows / 40) add_plant(world, i * cw, j * ch, 0.1, 0.1);
        animal_type* a = world.animals;
        for (int i = 1; i < columns; i += 1 + columns / 7) {
            for (int j = 1; j < rows; j += 1 + rows / 7) {
                for (const double heading : headings) {
                    a->x = i * cw;
                    a->y = j * ch;
                    a->heading = heading;
                    check_vision(world, a->x, a->y, a->heading, 5, a->vision, a->ray_x, a->ray_y);
                    sensor_type touch[6];
                    double vision[5];
                    plain_senses(world, a, touch, vision);
                    for (int k = 0; k < 5; ++k) {
                        ASSERT_EQ(a->vision[k].plant, vision[k]) << w.width << " at " << i << "," << j << " heading " << heading;
                        seeing += vision[k] > 0;
                    }
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(compared, 500);
    EXPECT_GT(seeing, 1000);
}
