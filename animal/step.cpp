#include "animal/animal.h"

#include "base/utility.h"
#include "neuron/neuron.h"
#include "neuron/pack.h"
#include "plant/plant.h"
#include "world/grid.h"
#include "world/world.h"

#include <cmath>

namespace {

constexpr int max_bites = 64;  // touched plants one step gathers; more take the plain walk

// An animal and a plant touch when their centres are closer than the root mean
// square of their radii (sa and sp are size_x + size_y of each).
inline bool bites(double sa, double sp, double dx, double dy)
{
    return sa * sa * 0.125 + sp * sp * 0.125 > dx * dx + dy * dy;
}

// The motor neuron's out is clamped in place, so the clamped value is also what
// the neuron window shows and what the sensor layer reads back next step.
double read_motor(animal_type* animal, std::uint32_t id)
{
    neuron_type* neuron = get_neuron(animal->neurons, id);
    if (neuron == nullptr) return 0.0;
    double v = neuron->out;
    if (v > max_animal_speed) {
        v = max_animal_speed;
        neuron->out = v;
    }
    if (v < -max_animal_speed) {
        v = -max_animal_speed;
        neuron->out = v;
    }
    return v;
}

void meet_edges(world_type& world, animal_type* animal)
{
    const double rx = animal->size_x * 0.5;
    const double ry = animal->size_y * 0.5;
    if (world.wrap_edges) {
        if (animal->x < rx) animal->x = world.width - rx;
        if (animal->x > world.width - rx) animal->x = rx;
        if (animal->y < ry) animal->y = world.height - ry;
        if (animal->y > world.height - ry) animal->y = ry;
        return;
    }
    if (animal->x < rx) {
        animal->x = rx;
        animal->wall_hits += 1;
    }
    if (animal->x > world.width - rx) {
        animal->x = world.width - rx;
        animal->wall_hits += 1;
    }
    if (animal->y < ry) {
        animal->y = ry;
        animal->wall_hits += 1;
    }
    if (animal->y > world.height - ry) {
        animal->y = world.height - ry;
        animal->wall_hits += 1;
    }
}

// The plain walk, for an animal touching more plants at once than it gathers.
void eat_walking_the_list(world_type& world, animal_type* animal)
{
    const double sa = animal->size_y + animal->size_x;
    bool first = true;
    plant_type* plant = world.plants;
    while (plant != nullptr) {
        plant_type* next = plant->next;
        if (bites(sa, plant->size_y + plant->size_x, animal->x - plant->x, animal->y - plant->y)) {
            animal->food += 1;
            remove_plant(world, plant);
            if (first) return;  // eating the first plant of the walk ends it
        }
        first = false;
        plant = next;
    }
}

// The network, the motors and the move.
void think_and_move(world_type& world, animal_type* animal, const neuron_pack_type* networks, std::size_t network)
{
    if (networks != nullptr && neuron_pack_holds(*networks, world.network_edits, network, animal->neurons)) {
        neuron_pack_process(*networks, network, world.math);
    } else {
        process_neurons(animal->neurons, world.math);
    }

    if (!(animal == world.animals && world.mode_manual)) {
        animal->left_motor = read_motor(animal, animal->left_output_id);
        animal->right_motor = read_motor(animal, animal->right_output_id);
    }
    animal->turn = animal->left_motor - animal->right_motor;
    animal->speed = (animal->left_motor + animal->right_motor) * 0.5;

    double heading = animal->heading + animal->turn;
    if (heading > two_pi) heading -= two_pi;
    if (heading < 0) heading += two_pi;
    animal->heading = heading;

    double sine, cosine;
    math_sincos(world.math, animal->heading, sine, cosine);
    animal->vel_x = animal->speed * cosine;
    animal->vel_y = animal->speed * sine;
    animal->x += animal->vel_x;
    animal->y += animal->vel_y;
    meet_edges(world, animal);
    grid_move_animal(world, animal);
}

}  // namespace

// The plants an animal touches come from the cells near it and are eaten as
// a walk of the list from its head would eat them: when the head itself is
// touched, the walk ends after eating it; otherwise every touched plant is
// eaten. Their order does not matter: each replacement takes the next random
// place and goes in at the head, whichever plant it replaces.
void animal_check_plants(world_type& world, animal_type* animal)
{
    const double sa = animal->size_y + animal->size_x;
    const grid_bodies_type& plants = world.grid.plants;
    const double widest = plants.max_size_sum;
    const double reach = std::sqrt(sa * sa * 0.125 + widest * widest * 0.125) * (1.0 + 1e-9) +
                         1e-9 * (world.width + world.height + 1.0);
    plant_type* touched[max_bites];
    int count = 0;
    bool too_many = false;
    grid_visit_within(plants, animal->x, animal->y, reach, [&](std::int32_t slot) {
        if (!bites(sa, plants.size_sum[slot], animal->x - plants.x[slot], animal->y - plants.y[slot])) return true;
        too_many = count == max_bites;
        if (too_many) return false;
        touched[count++] = static_cast<plant_type*>(plants.record[slot]);
        return true;
    });
    if (too_many) {
        eat_walking_the_list(world, animal);
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (touched[i] == world.plants) {
            animal->food += 1;
            remove_plant(world, touched[i]);
            return;
        }
    }
    for (int i = 0; i < count; ++i) {
        animal->food += 1;
        remove_plant(world, touched[i]);
    }
}

// An animal's whole step: the plants' half (eat, feel the plants, see), then
// the animals' half. A small world's update steps each animal so in list
// order; a large world's runs the same halves in phases (world/generation.cpp).
void animal_update(world_type& world, animal_type* animal, const neuron_pack_type* networks, std::size_t network)
{
    if (animal == nullptr) return;
    world_watch(world, animal, world_step_type::eating);
    animal_check_plants(world, animal);
    animal_sense_touch_plants(world, animal);
    world_watch(world, animal, world_step_type::eaten);
    check_vision(world, animal->x, animal->y, animal->heading, animal->num_vision, animal->vision, animal->ray_x, animal->ray_y);
    world_watch(world, animal, world_step_type::acting);
    animal_act(world, animal, networks, network);
    world_watch(world, animal, world_step_type::acted);
}

void animal_act(world_type& world, animal_type* animal, const neuron_pack_type* networks, std::size_t network)
{
    animal_sense_touch_others(world, animal);
    think_and_move(world, animal, networks, network);
}

void animal_motion(world_type& world, double left, double right)
{
    if (world.animals == nullptr) return;
    world.animals->left_motor = left;
    world.animals->right_motor = right;
}
