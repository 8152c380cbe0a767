#include "animal/animal.h"

#include "app/shell_state.h"
#include "app/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double pi = 3.141592653589793;

// A default world holding one animal and no plants.
animal_type* lone_animal(std::uint32_t seed = 1)
{
    start_world(seed);
    world_free_animals();
    world_free_plants();
    world_add_animal();
    return world.animals;
}

std::vector<double> chromosome(animal_type* animal)
{
    std::vector<double> genes(animal_get_chromosome_size(animal));
    animal_export_chromosome(animal, genes.data());
    return genes;
}

// Makes a motor neuron's output a fixed value after every evaluation.
void fix_output(animal_type* animal, std::uint32_t id, double out)
{
    neuron_type* neuron = get_neuron(animal->neurons, id);
    for (std::uint32_t i = 0; i < neuron->input_count; ++i) neuron->scaler[i] = 0.0;
    neuron->bias = std::atanh(out);
}

// The vision sectors computed the plain way: every plant, one atan2 each.
void plain_vision(double x, double y, double heading, int count, double* plant_values)
{
    const double step = 1.5707963267948966 / count;
    double a = heading - 0.78539816339744828;
    std::vector<double> start(count), end(count);
    std::vector<int> hits(count, 0);
    for (int j = 0; j < count; ++j) {
        start[j] = angle_wrap(a);
        end[j] = angle_wrap(a + step);
        a = a + step;
    }
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) {
        const double b = angle_wrap(std::atan2(p->y - y, p->x - x));
        for (int j = 0; j < count; ++j)
            if (start[j] < b && b < end[j]) hits[j] += 1;
    }
    for (int j = 0; j < count; ++j) plant_values[j] = hits[j] > 0 ? hits[j] * 0.1 : -0.5;
}

}  // namespace

TEST(Animal, NewAnimalInTheDefaultWorld)
{
    start_world(8);
    for (animal_type* a = world.animals; a != nullptr; a = a->next) {
        EXPECT_EQ(a->sensor_distance, 0.25);
        EXPECT_EQ(a->sensor_size, 0.125);
        EXPECT_TRUE(a->x >= 0.5 && a->x <= 9.5 && a->y >= 0.5 && a->y <= 9.5);
        EXPECT_TRUE(a->heading >= 0.0 && a->heading <= two_pi);
        EXPECT_EQ(a->num_neurons, 18u);
        EXPECT_EQ(a->food + a->left_motor + a->right_motor, 0.0);
        for (const sensor_type& s : a->touch) EXPECT_EQ(s.wall + s.plant + s.animal, 0.0);
        for (double gene : chromosome(a)) EXPECT_TRUE(gene >= -1.0 && gene <= 1.0);
    }
}

TEST(Animal, ChromosomeRunsInListOrderAndRoundTrips)
{
    animal_type* a = lone_animal();
    std::vector<double> genes = chromosome(a);
    ASSERT_EQ(genes.size(), 298u);
    EXPECT_EQ(a->neurons->id, 17u);
    EXPECT_EQ(genes.front(), a->neurons->scaler[0]);
    EXPECT_EQ(genes[8], a->neurons->bias);
    EXPECT_EQ(genes.back(), get_neuron(a->neurons, 0)->bias);
    EXPECT_EQ(genes[297 - 25], get_neuron(a->neurons, 0)->scaler[0]);

    for (double& gene : genes) gene = gene * 3 + 0.1;
    animal_inport_chromosome(a, genes.data());
    EXPECT_EQ(chromosome(a), genes);

    // Randomisation draws in chromosome order: the same as filling an array first.
    const std::uint32_t state = random_get_state();
    std::vector<double> expected(genes.size());
    for (double& gene : expected) gene = f_rand(-1.0, 1.0);
    random_seed(state);
    animal_randomize(a);
    EXPECT_EQ(chromosome(a), expected);

    // An empty network has no genes and draws nothing.
    animal_type bare{};
    const std::uint32_t before = random_get_state();
    EXPECT_EQ(animal_get_chromosome_size(&bare), 0u);
    animal_randomize(&bare);
    animal_export_chromosome(&bare, nullptr);
    animal_inport_chromosome(&bare, nullptr);
    EXPECT_EQ(random_get_state(), before);
}

TEST(Animal, ResetKeepsTheNetworkAndTakesTheMarginFromTheHead)
{
    start_world(2);
    animal_type* second = animal_at(1);
    process_neurons(second->neurons);
    const std::vector<double> genes = chromosome(second);
    const double out_17 = second->neurons->out;
    second->food = 4;
    second->wall_hits = 3;

    // Give the head a huge size: the placement margin of the second follows it.
    world.animals->size_x = 4.0;
    world.animals->size_y = 3.0;
    for (int i = 0; i < 200; ++i) {
        animal_reset(second);
        ASSERT_GE(second->x, 4.0);
        ASSERT_LE(second->x, 6.0);
        ASSERT_GE(second->y, 3.0);
        ASSERT_LE(second->y, 7.0);
    }
    EXPECT_EQ(second->food, 0);
    EXPECT_EQ(second->wall_hits, 0);
    EXPECT_EQ(chromosome(second), genes);
    EXPECT_EQ(second->neurons->out, out_17);

    // A margin larger than half the world reverses the range; values stay between the ends.
    world.animals->size_x = 7.0;
    for (int i = 0; i < 200; ++i) {
        animal_reset(second);
        ASSERT_GE(second->x, 3.0);
        ASSERT_LE(second->x, 7.0);
    }
}

TEST(Wiring, DefaultLayoutAndOddShapes)
{
    animal_type* a = lone_animal();
    neuron_type* sensor = get_neuron(a->neurons, 3);
    ASSERT_EQ(sensor->input_count, 25u);
    EXPECT_EQ(sensor->source[0], &a->touch[0].wall);
    EXPECT_EQ(sensor->source[1], &a->touch[0].plant);
    EXPECT_EQ(sensor->source[17], &a->touch[5].animal);
    for (int j = 0; j < 5; ++j) EXPECT_EQ(sensor->source[18 + j], &a->vision[j].plant);
    EXPECT_EQ(sensor->source[23], &get_neuron(a->neurons, 16)->out);
    EXPECT_EQ(sensor->source[24], &get_neuron(a->neurons, 17)->out);
    neuron_type* hidden = get_neuron(a->neurons, 10);
    ASSERT_EQ(hidden->input_count, 8u);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(hidden->source[b], &get_neuron(a->neurons, b)->out);
    for (std::uint32_t motor : {16u, 17u}) {
        neuron_type* m = get_neuron(a->neurons, motor);
        ASSERT_EQ(m->input_count, 8u);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(m->source[i], &get_neuron(a->neurons, 8 + i)->out);
    }
    // One layer: the motors read the sensor layer directly.
    world.layer_count = 1;
    world_add_animal();
    a = world.animals;
    EXPECT_EQ(a->num_neurons, 10u);
    EXPECT_EQ(a->left_output_id, 8u);
    EXPECT_EQ(a->right_output_id, 9u);
    EXPECT_EQ(get_neuron(a->neurons, 8)->source[7], &get_neuron(a->neurons, 7)->out);

    // No width: two motor neurons without inputs, whose outputs are tanh of their biases.
    world.layer_width = 0;
    world_add_animal();
    a = world.animals;
    EXPECT_EQ(a->num_neurons, 2u);
    EXPECT_EQ(animal_get_chromosome_size(a), 2u);
    process_neurons(a->neurons);
    EXPECT_EQ(a->neurons->out, std::tanh(a->neurons->bias));

    // Wider than the input capacity: hidden and motor neurons keep their first 100.
    world.layer_width = 120;
    world.layer_count = 2;
    world_add_animal();
    a = world.animals;
    EXPECT_EQ(get_neuron(a->neurons, 120)->input_count, 100u);
    EXPECT_EQ(get_neuron(a->neurons, 240)->input_count, 100u);
    EXPECT_EQ(get_neuron(a->neurons, 0)->input_count, 25u);
}

TEST(Senses, VisionSectorsCountPlantsByBearing)
{
    animal_type* a = lone_animal();
    add_plant(8, 5, 0.25, 0.25);
    check_vision(5, 5, 0, 5, a->vision, a->ray_x, a->ray_y);
    for (int j = 0; j < 5; ++j) EXPECT_EQ(a->vision[j].plant, -0.5) << "sector " << j;
    // Sector 2 straddles direction 0: its start wraps above its end.
    EXPECT_GT(std::atan2(a->ray_y[4], a->ray_x[4]) + two_pi, 6.12);
    EXPECT_NEAR(std::hypot(a->ray_x[4], a->ray_y[4]), 0.55, 1e-12);

    world_free_plants();
    add_plant(5, 8, 0.25, 0.25);
    check_vision(5, 5, pi / 2, 5, a->vision, a->ray_x, a->ray_y);
    for (int j = 0; j < 5; ++j) EXPECT_EQ(a->vision[j].plant, j == 2 ? 0.1 : -0.5) << "sector " << j;

    add_plant(5.1, 9.9, 0.25, 0.25);   // far away, same sector
    add_plant(5, 5, 0.25, 0.25);       // at the centre: in no sector
    add_plant(5, 2, 0.25, 0.25);       // behind
    check_vision(5, 5, pi / 2, 5, a->vision, a->ray_x, a->ray_y);
    EXPECT_DOUBLE_EQ(a->vision[2].plant, 0.2);
    EXPECT_EQ(a->vision[1].plant, -0.5);
}

TEST(Senses, OptimisedVisionMatchesThePlainWalk)
{
    lone_animal(5);
    random_seed(99);
    for (int i = 0; i < 300; ++i) add_plant(f_rand(0, 10), f_rand(0, 10), 0.25, 0.25);
    // Plants exactly on sector boundaries and on the heading of a probe at (5, 5).
    for (int j = 0; j < 12; ++j) add_plant(5 + 3 * std::cos(j * pi / 10), 5 + 3 * std::sin(j * pi / 10), 0.25, 0.25);
    sensor_type sensors[5];
    double ray_x[10], ray_y[10];
    double plain[5];
    for (int k = 0; k < 4000; ++k) {
        const double x = k < 400 ? 5.0 : f_rand(0, 10);
        const double y = k < 400 ? 5.0 : f_rand(0, 10);
        const double heading = k < 200 ? k * pi / 100 : f_rand(0, two_pi);
        check_vision(x, y, heading, 5, sensors, ray_x, ray_y);
        plain_vision(x, y, heading, 5, plain);
        for (int j = 0; j < 5; ++j) ASSERT_EQ(sensors[j].plant, plain[j]) << "probe " << k << " sector " << j;
    }
}

TEST(Senses, WhiskersFeelWallsPlantsAndAnimals)
{
    animal_type* a = lone_animal();
    sensor_type s{};
    check_sensor(1.0, 5.0, pi, 1.0, s);  // tip at x = 0 exactly: inside
    EXPECT_EQ(s.wall, -0.5);
    check_sensor(0.9999, 5.0, pi, 1.0, s);  // tip at x = -0.0001
    EXPECT_EQ(s.wall, 0.5);

    a->x = 0.3;
    a->y = 5.0;
    a->heading = pi;
    animal_sense_touch(a);
    EXPECT_EQ(a->touch[1].wall, 0.5);
    EXPECT_EQ(a->touch[4].wall, -0.5);
    for (const sensor_type& t : a->touch) EXPECT_EQ(t.animal, -0.5);  // never itself

    // A second animal 0.5 ahead on the line of whisker 1.
    world_add_animal();
    animal_type* other = world.animals;
    other->x = 3.5;
    other->y = 5.0;
    a->x = 3.0;
    a->heading = 0.0;
    animal_sense_touch(a);
    EXPECT_EQ(a->touch[1].animal, 0.5);
    EXPECT_EQ(a->touch[4].animal, -0.5);
    add_plant(2.7, 5.0, 0.25, 0.25);
    animal_sense_touch(a);
    EXPECT_EQ(a->touch[4].plant, 0.5);
    EXPECT_EQ(a->touch[1].plant, -0.5);
}

TEST(Senses, OptimisedTouchMatchesSixCheckSensorCalls)
{
    lone_animal(6);
    random_seed(123);
    for (int i = 0; i < 40; ++i) world_add_animal();
    for (int i = 0; i < 200; ++i) add_plant(f_rand(0, 10), f_rand(0, 10), f_rand(0.05, 0.6), f_rand(0.05, 0.6));
    // Bodies just at the edge of reach of a probe at (5, 5): the tip length plus the radius.
    for (int i = 0; i < 12; ++i) {
        const double r = 0.3125 + (0.25 + 0.25) * 0.25;
        add_plant(5 + r * std::cos(i * pi / 3 - pi / 3), 5 + r * std::sin(i * pi / 3 - pi / 3), 0.25, 0.25);
    }
    int contacts = 0;
    for (int k = 0; k < 3000; ++k) {
        animal_type* a = animal_at(static_cast<unsigned>(k % 41));
        if (k < 200) {
            a->x = 5;
            a->y = 5;
            a->heading = (k % 2) ? 0.0 : f_rand(0, two_pi);
        } else {
            a->x = f_rand(-0.5, 10.5);
            a->y = f_rand(-0.5, 10.5);
            a->heading = f_rand(0, two_pi);
        }
        animal_sense_touch(a);
        const double length = a->sensor_distance + 0.5 * a->sensor_size;
        double offset = -1.0471975511965976;
        for (int w = 0; w < 6; ++w) {
            sensor_type expected{};
            check_sensor(a->x, a->y, a->heading + offset, length, expected);
            offset += 1.0471975511965976;
            ASSERT_EQ(a->touch[w].wall, expected.wall);
            ASSERT_EQ(a->touch[w].plant, expected.plant) << "probe " << k << " whisker " << w;
            ASSERT_EQ(a->touch[w].animal, expected.animal) << "probe " << k << " whisker " << w;
            contacts += expected.plant > 0 || expected.animal > 0;
        }
    }
    EXPECT_GT(contacts, 300);
}

TEST(Step, MotorsAreClampedAndSteerTheBody)
{
    animal_type* a = lone_animal();
    a->x = 5;
    a->y = 5;
    a->heading = 0.0;
    fix_output(a, a->left_output_id, 0.4);
    fix_output(a, a->right_output_id, 0.4);
    animal_update(a);
    EXPECT_EQ(a->left_motor, 0.25);
    EXPECT_EQ(get_neuron(a->neurons, a->left_output_id)->out, 0.25);
    EXPECT_EQ(get_neuron(a->neurons, a->right_output_id)->out, 0.25);
    EXPECT_EQ(a->turn, 0.0);
    EXPECT_EQ(a->speed, 0.25);
    EXPECT_DOUBLE_EQ(a->x, 5.25);
    EXPECT_DOUBLE_EQ(a->y, 5.0);

    fix_output(a, a->left_output_id, -0.9);
    fix_output(a, a->right_output_id, 0.9);
    animal_update(a);
    EXPECT_EQ(a->left_motor, -0.25);
    EXPECT_EQ(a->right_motor, 0.25);
    EXPECT_EQ(a->turn, -0.5);
    EXPECT_EQ(a->speed, 0.0);
    EXPECT_DOUBLE_EQ(a->heading, -0.5 + 6.2831853071795862);
    EXPECT_DOUBLE_EQ(a->x, 5.25);
}

TEST(Step, ManualModeHeadingWrapAndEdges)
{
    animal_type* a = lone_animal();
    mode_manual = true;
    auto drive = [&](double x, double y, double heading, double left, double right) {
        a->x = x;
        a->y = y;
        a->heading = heading;
        a->wall_hits = 0;
        animal_motion(left, right);
        animal_update(a);
    };
    drive(5, 5, 6.2, 0.1, -0.1);
    EXPECT_NEAR(a->heading, 6.4 - two_pi, 1e-12);
    EXPECT_NEAR(a->heading, 0.1168, 1e-4);
    drive(5, 5, 0.1, -0.15, 0.15);
    EXPECT_NEAR(a->heading, 6.0832, 1e-4);
    drive(5, 5, 0.0, 0.7, 0.7);  // manual values are not clamped
    EXPECT_DOUBLE_EQ(a->x, 5.7);

    drive(0.3, 5, pi, 0.1, 0.1);
    EXPECT_EQ(a->x, 0.25);
    EXPECT_EQ(a->wall_hits, 1);
    drive(0.3, 0.3, 5 * pi / 4, 0.2, 0.2);  // into a corner: two hits
    EXPECT_EQ(a->x, 0.25);
    EXPECT_EQ(a->y, 0.25);
    EXPECT_EQ(a->wall_hits, 2);

    world.wrap_edges = true;
    drive(0.3, 5, pi, 0.1, 0.1);
    EXPECT_EQ(a->x, 9.75);
    EXPECT_EQ(a->wall_hits, 0);
    drive(9.7, 5, 0, 0.1, 0.1);
    EXPECT_EQ(a->x, 0.25);
    drive(5, 0.3, 3 * pi / 2, 0.1, 0.1);
    EXPECT_EQ(a->y, world.height - 0.25);
    mode_manual = false;

    // Only the head is steered by hand: an animal behind it follows its network.
    mode_manual = true;
    world_add_animal();
    animal_type* head = world.animals;
    animal_motion(0.6, 0.6);
    fix_output(a, a->left_output_id, 0.9);
    fix_output(a, a->right_output_id, 0.9);
    animal_update(a);
    animal_update(head);
    EXPECT_EQ(a->left_motor, 0.25);
    EXPECT_EQ(head->left_motor, 0.6);
    EXPECT_EQ(head->speed, 0.6);
    mode_manual = false;
}

TEST(Step, EatingTheFirstPlantEndsTheWalk)
{
    animal_type* a = lone_animal();
    a->x = 5;
    a->y = 5;
    add_plant(5.2, 5, 0.25, 0.25);  // in contact, last of the list
    add_plant(1, 1, 0.25, 0.25);
    add_plant(5, 5.3, 0.25, 0.25);  // in contact, first of the list
    animal_check_plants(a);
    EXPECT_EQ(a->food, 1);
    EXPECT_EQ(world.num_plants, 3);
    EXPECT_EQ(plant_list_length(), 3u);

    world_free_plants();
    a->food = 0;
    add_plant(5.2, 5, 0.25, 0.25);  // third, in contact
    add_plant(5, 5.3, 0.25, 0.25);  // second, in contact
    add_plant(1, 1, 0.25, 0.25);    // first, out of reach
    animal_check_plants(a);
    EXPECT_EQ(a->food, 2);
    EXPECT_EQ(world.num_plants, 3);
    ASSERT_EQ(plant_list_length(), 3u);
    EXPECT_EQ(animal_at(0), a);
    EXPECT_EQ(world.plants->next->next->x, 1.0);  // two replacements at the head

    // Contact is a centre distance below sqrt(0.15625) for the default sizes.
    world_free_plants();
    add_plant(5 + 0.3953, 5, 0.25, 0.25);
    animal_check_plants(a);
    EXPECT_EQ(a->food, 2);
    world_free_plants();
    add_plant(5 + 0.395, 5, 0.25, 0.25);
    animal_check_plants(a);
    EXPECT_EQ(a->food, 3);
}
