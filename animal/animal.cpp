#include "animal/animal.h"

#include "base/utility.h"
#include "neuron/neuron.h"
#include "world/grid.h"
#include "world/world.h"

namespace {

// The margin is the head animal's full size, so a centre lies at least one
// body diameter from every edge. Draws x, y, heading in that order.
void animal_place(world_type& world, animal_type* animal)
{
    const double mx = world.animals->size_x;
    const double my = world.animals->size_y;
    animal->x = f_rand(world.random, mx, world.width - mx);
    animal->y = f_rand(world.random, my, world.height - my);
    animal->heading = f_rand(world.random, 0, two_pi);
    animal->left_motor = 0.0;
    animal->right_motor = 0.0;
    animal->food = 0;
    animal->wall_hits = 0;
    for (sensor_type& sensor : animal->touch) sensor = sensor_type{0.0, 0.0, 0.0};
    // Until the next step the rays hold the new position; the step writes offsets.
    for (int i = 0; i < 2 * animal->num_vision && i < 2 * animal_vision_capacity; ++i) {
        animal->ray_x[i] = animal->x;
        animal->ray_y[i] = animal->y;
    }
    grid_move_animal(world, animal);
}

}  // namespace

void animal_init(world_type& world, animal_type* animal)
{
    if (animal == nullptr) return;
    animal->layer_width = static_cast<std::uint32_t>(world.layer_width);
    animal->layer_count = static_cast<std::uint32_t>(world.layer_count);
    animal->num_vision = animal_vision_count;
    animal->num_touch = animal_touch_count;
    animal->num_neurons = 0;
    animal->left_output_id = 0;
    animal->right_output_id = 0;
    const double s = animal->size_y + animal->size_x;
    animal->sensor_distance = s * 0.25;
    animal->sensor_size = s * 0.125;
    animal_setup_neurons(world, animal);
    animal_place(world, animal);
    animal_randomize(world, animal);
}

void animal_reset(world_type& world, animal_type* animal) { animal_place(world, animal); }

unsigned animal_get_chromosome_size(animal_type* animal)
{
    unsigned size = 0;
    for (const neuron_type* neuron = animal->neurons; neuron != nullptr; neuron = neuron->next)
        size += neuron->input_count + 1;
    return size;
}

void animal_export_chromosome(animal_type* animal, double* genes)
{
    for (const neuron_type* neuron = animal->neurons; neuron != nullptr; neuron = neuron->next) {
        for (std::uint32_t i = 0; i < neuron->input_count; ++i) *genes++ = neuron->scaler[i];
        *genes++ = neuron->bias;
    }
}

void animal_inport_chromosome(world_type& world, animal_type* animal, const double* genes)
{
    neuron_rewrite(world.network_edits, animal->neurons, [&genes](neuron_type& neuron) {
        for (std::uint32_t i = 0; i < neuron.input_count; ++i) neuron.scaler[i] = *genes++;
        neuron.bias = *genes++;
    });
}

void animal_randomize(world_type& world, animal_type* animal)
{
    // Drawing straight into the network in chromosome order gives the same
    // genes as filling a chromosome array first, without the array.
    neuron_rewrite(world.network_edits, animal->neurons, [&world](neuron_type& neuron) {
        for (std::uint32_t i = 0; i < neuron.input_count; ++i) neuron.scaler[i] = f_rand(world.random, -1.0, 1.0);
        neuron.bias = f_rand(world.random, -1.0, 1.0);
    });
}
