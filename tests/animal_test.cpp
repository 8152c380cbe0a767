#include "animal/animal.h"

#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/grid.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double pi = 3.141592653589793;

// A default world holding one animal and no plants.
animal_type* lone_animal(world_type& world)
{
    start_world(world, 1);
    world_free_animals(world);
    world_free_plants(world);
    world_add_animal(world);
    return world.animals;
}

std::vector<double> chromosome(animal_type* animal)
{
    std::vector<double> genes(animal_get_chromosome_size(animal));
    animal_export_chromosome(animal, genes.data());
    return genes;
}

// Makes a motor neuron's output a fixed value after every evaluation.
void fix_output(world_type& world, animal_type* animal, std::uint32_t id, double out)
{
    neuron_type* neuron = get_neuron(animal->neurons, id);
    for (std::uint32_t i = 0; i < neuron->input_count; ++i) neuron->scaler[i] = 0.0;
    neuron->bias = std::atanh(out);
    world.network_edits += 1;
}

}  // namespace

TEST(Animal, NewAnimalsChromosomeAndReset)
{
    world_type world;
    start_world(world, 8);
    for (animal_type* a = world.animals; a != nullptr; a = a->next) {
        EXPECT_EQ(a->sensor_distance + 10 * a->sensor_size, 0.25 + 1.25);
        EXPECT_TRUE(a->x >= 0.5 && a->x <= 9.5 && a->y >= 0.5 && a->y <= 9.5);
        EXPECT_TRUE(a->heading >= 0.0 && a->heading <= two_pi);
        EXPECT_EQ(a->food + a->left_motor + a->right_motor, 0.0);
        for (const sensor_type& s : a->touch) EXPECT_EQ(s.wall + s.plant + s.animal, 0.0);
        for (double gene : chromosome(a)) ASSERT_TRUE(gene >= -1.0 && gene <= 1.0);
    }
    animal_type* second = animal_at(world, 1);
    std::vector<double> genes = chromosome(second);
    ASSERT_EQ(genes.size(), 298u);
    EXPECT_EQ(genes.front(), second->neurons->scaler[0]);  // the right motor neuron, id 17
    EXPECT_EQ(genes[8], second->neurons->bias);
    EXPECT_EQ(genes[297 - 25], get_neuron(second->neurons, 0)->scaler[0]);
    EXPECT_EQ(genes.back(), get_neuron(second->neurons, 0)->bias);
    for (double& gene : genes) gene = gene * 3 + 0.1;
    animal_inport_chromosome(world, second, genes.data());
    EXPECT_EQ(chromosome(second), genes);

    // Randomisation draws in chromosome order, as filling an array first would.
    const std::uint32_t state = world.random.state;
    std::vector<double> expected(genes.size());
    for (double& gene : expected) gene = f_rand(world.random, -1.0, 1.0);
    random_seed(world.random, state);
    animal_randomize(world, second);
    EXPECT_EQ(chromosome(second), expected);
    animal_type bare{};
    const std::uint32_t before_bare = world.random.state;
    EXPECT_EQ(animal_get_chromosome_size(&bare), 0u);
    animal_randomize(world, &bare);  // an empty network draws nothing
    EXPECT_EQ(world.random.state, before_bare);

    // A reset keeps the network and takes its margin from the head, even a reversed one.
    process_neurons(second->neurons, world.math);
    const double out = second->neurons->out;
    second->food = 4;
    second->wall_hits = 3;
    for (double head_size : {4.0, 7.0}) {
        world.animals->size_x = head_size;
        world.animals->size_y = 3.0;
        for (int i = 0; i < 200; ++i) {
            animal_reset(world, second);
            ASSERT_TRUE(second->x >= std::min(head_size, 10 - head_size) && second->x <= std::max(head_size, 10 - head_size));
            ASSERT_TRUE(second->y >= 3.0 && second->y <= 7.0);
        }
    }
    EXPECT_EQ(second->food + second->wall_hits, 0);
    EXPECT_EQ(chromosome(second), expected);
    EXPECT_EQ(second->neurons->out, out);
}

TEST(Wiring, EveryShapeConnectsWhatTheRuleSays)
{
    world_type world;
    const struct { std::int32_t width, count; } shapes[] = {{8, 2}, {1, 1}, {0, 3}, {3, 4}, {120, 2}};
    for (const auto& shape : shapes) {
        start_world(world, 1);
        world.layer_width = shape.width;
        world.layer_count = shape.count;
        world_add_animal(world);
        animal_type* a = world.animals;
        const std::uint32_t w = static_cast<std::uint32_t>(shape.width), motors = w * shape.count;
        ASSERT_EQ(a->num_neurons, motors + 2) << shape.width;
        EXPECT_EQ(a->left_output_id, motors);
        EXPECT_EQ(a->right_output_id, motors + 1);
        for (std::uint32_t id = 0; id < motors + 2; ++id) {
            const neuron_type* n = get_neuron(a->neurons, id);
            ASSERT_EQ(n->input_count, animal_wired_inputs(id, w)) << shape.width << "x" << shape.count << " id " << id;
            // Each neuron reads the layer before it; the sensor layer its animal and the motors.
            const std::uint32_t below = id < motors ? (id / w - 1) * w : motors - w;
            for (std::uint32_t i = 0; i < n->input_count && id >= w; ++i)
                ASSERT_EQ(n->source[i], &get_neuron(a->neurons, below + i)->out) << id << " input " << i;
        }
    }
    start_world(world, 1);
    const animal_type* a = world.animals;
    const neuron_type* sensor = get_neuron(a->neurons, 3);
    EXPECT_EQ(sensor->source[0], &a->touch[0].wall);
    EXPECT_EQ(sensor->source[1], &a->touch[0].plant);
    EXPECT_EQ(sensor->source[17], &a->touch[5].animal);
    for (int j = 0; j < 5; ++j) EXPECT_EQ(sensor->source[18 + j], &a->vision[j].plant);
    EXPECT_EQ(sensor->source[23], &get_neuron(a->neurons, 16)->out);
    EXPECT_EQ(sensor->source[24], &get_neuron(a->neurons, 17)->out);
}

TEST(Senses, WhiskerTipsAndVisionRays)
{
    world_type world;
    animal_type* a = lone_animal(world);
    sensor_type s{};
    const struct { double x, angle; double wall; } tips[] = {{1.0, pi, -0.5}, {0.9999, pi, 0.5}, {9.0, 0.0, -0.5}, {9.0001, 0.0, 0.5}};
    for (const auto& tip : tips) {
        check_sensor(world, tip.x, 5.0, tip.angle, 1.0, s);
        EXPECT_EQ(s.wall, tip.wall) << tip.x;  // a tip exactly on an edge is inside
    }
    // The touch and vision of the step are held against these walks by the
    // differential test; the rays are for drawing only.
    add_plant(world, 5.1, 9.9, 0.25, 0.25);  // far away, same sector as (5, 8)
    add_plant(world, 5, 8, 0.25, 0.25);
    check_vision(world, 5, 5, pi / 2, 5, a->vision, a->ray_x, a->ray_y);
    EXPECT_DOUBLE_EQ(a->vision[2].plant, 0.2);
    EXPECT_NEAR(std::atan2(a->ray_y[5], a->ray_x[5]), pi / 2 + pi / 20, 1e-12);
    EXPECT_NEAR(std::hypot(a->ray_x[5], a->ray_y[5]), 0.55, 1e-12);
}

TEST(Step, MotorsEdgesAndManualSteering)
{
    world_type world;
    animal_type* a = lone_animal(world);
    // Network-driven: both motors clamped in place.
    a->x = a->y = 5;
    a->heading = 0.0;
    fix_output(world, a, a->left_output_id, 0.4);
    fix_output(world, a, a->right_output_id, 0.4);
    animal_update(world, a);
    EXPECT_EQ(get_neuron(a->neurons, a->left_output_id)->out + get_neuron(a->neurons, a->right_output_id)->out, 0.5);
    EXPECT_EQ(a->turn, 0.0);
    EXPECT_EQ(a->speed, 0.25);
    EXPECT_EQ(a->x, 5.25);
    fix_output(world, a, a->left_output_id, -0.9);
    fix_output(world, a, a->right_output_id, 0.9);
    animal_update(world, a);
    EXPECT_EQ(a->left_motor, -0.25);
    EXPECT_EQ(a->right_motor, 0.25);
    EXPECT_EQ(a->heading, -0.5 + two_pi);
    EXPECT_EQ(a->x, 5.25);

    // Manual mode: the head moves by the given values, unclamped.
    world.mode_manual = true;
    const struct { double x, y, heading, left, right; bool wrap; double to_x, to_y, to_heading; int hits; } rows[] = {
        {5, 5, 6.2, 0.1, -0.1, false, 5, 5, 6.4 - two_pi, 0},
        {5, 5, 0.1, -0.15, 0.15, false, 5, 5, 0.1 - 0.3 + two_pi, 0},
        {5, 5, 0.0, 0.7, 0.7, false, 5.7, 5, 0.0, 0},
        {0.3, 5, pi, 0.1, 0.1, false, 0.25, 5, pi, 1},
        {9.7, 5, 0.0, 0.1, 0.1, false, 9.75, 5, 0.0, 1},
        {5, 0.3, 3 * pi / 2, 0.1, 0.1, false, 5, 0.25, 3 * pi / 2, 1},
        {5, 9.7, pi / 2, 0.1, 0.1, false, 5, 9.75, pi / 2, 1},
        {0.3, 0.3, 5 * pi / 4, 0.2, 0.2, false, 0.25, 0.25, 5 * pi / 4, 2},
        {0.3, 5, pi, 0.1, 0.1, true, 9.75, 5, pi, 0},
        {9.7, 5, 0.0, 0.1, 0.1, true, 0.25, 5, 0.0, 0},
        {5, 0.3, 3 * pi / 2, 0.1, 0.1, true, 5, 9.75, 3 * pi / 2, 0},
        {5, 9.7, pi / 2, 0.1, 0.1, true, 5, 0.25, pi / 2, 0},
    };
    for (const auto& row : rows) {
        a->x = row.x;
        a->y = row.y;
        a->heading = row.heading;
        a->wall_hits = 0;
        world.wrap_edges = row.wrap;
        animal_motion(world, row.left, row.right);
        animal_update(world, a);
        EXPECT_NEAR(a->x, row.to_x, 1e-12) << row.x << "," << row.y << " wrap " << row.wrap;
        EXPECT_NEAR(a->y, row.to_y, 1e-12) << row.x << "," << row.y << " wrap " << row.wrap;
        EXPECT_NEAR(a->heading, row.to_heading, 1e-12) << row.x << "," << row.y;
        EXPECT_EQ(a->wall_hits, row.hits) << row.x << "," << row.y << " wrap " << row.wrap;
    }
    // Only the head is steered by hand; the animal behind it follows its network.
    world_add_animal(world);
    animal_motion(world, 0.6, 0.6);
    fix_output(world, a, a->left_output_id, 0.9);
    animal_update(world, a);
    animal_update(world, world.animals);
    EXPECT_EQ(a->left_motor, 0.25);
    EXPECT_EQ(world.animals->speed, 0.6);
    world.mode_manual = false;
}

TEST(Step, EatingTheFirstPlantOfTheWalkEndsIt)
{
    world_type world;
    // Plants listed head first; the animal stands at (5, 5).
    const struct { std::vector<double> xs; int food; } walks[] = {
        {{5.3, 1.0, 5.2}, 1},      // the head is touched: only it
        {{1.0, 5.3, 5.2}, 2},      // the second and third: both
        {{5.3953, 1.0}, 0},        // just beyond sqrt(0.15625)
        {{1.0, 5.395}, 1},
    };
    for (const auto& walk : walks) {
        animal_type* a = lone_animal(world);
        a->x = a->y = 5;
        for (auto x = walk.xs.rbegin(); x != walk.xs.rend(); ++x) add_plant(world, *x, 5, 0.25, 0.25);
        const plant_type* last = world.plants;
        while (last->next != nullptr) last = last->next;
        const double last_x = last->x;
        animal_check_plants(world, a);
        EXPECT_EQ(a->food, walk.food) << walk.xs[0];
        EXPECT_EQ(world.num_plants, static_cast<int>(walk.xs.size()));
        EXPECT_EQ(plant_list_length(world), walk.xs.size());
        // Replacements go in at the head; an uneaten tail keeps its place.
        last = world.plants;
        while (last->next != nullptr) last = last->next;
        if (walk.xs.back() == 1.0) {
            EXPECT_EQ(last->x, last_x);
        }
    }
}
