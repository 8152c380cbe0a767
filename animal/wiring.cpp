#include "animal/animal.h"

#include "neuron/neuron.h"
#include "world/world.h"

#include <algorithm>

namespace {

void add_plain_neuron(world_type& world, animal_type* animal, std::uint32_t id)
{
    add_neuron(world.network_edits, &animal->neurons, id, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0);
    neuron_reserve_inputs(animal->neurons, id, animal_wired_inputs(id, animal->layer_width));
}

void connect_plain(world_type& world, animal_type* animal, std::uint32_t id, double* source)
{
    neuron_connect(world.network_edits, animal->neurons, id, source, 0.0, 1.0, 1);
}

double* out_of(animal_type* animal, std::uint32_t id) { return &get_neuron(animal->neurons, id)->out; }

}  // namespace

std::uint32_t animal_wired_inputs(std::uint32_t id, std::uint32_t layer_width)
{
    const std::uint32_t sensor_inputs = animal_touch_count * 3 + animal_vision_count + 2;
    return std::min(id < layer_width ? sensor_inputs : layer_width, neuron_max_inputs);
}

std::uint64_t animal_genes_for_shape(std::int64_t layer_count, std::int64_t layer_width)
{
    const std::int64_t neurons = layer_width * layer_count + 2;
    std::uint64_t genes = 0;
    for (std::int64_t id = 0; id < neurons; ++id)
        genes += animal_wired_inputs(static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(layer_width)) + 1;
    return genes;
}

// Sensor layer, hidden layers, two motor neurons, and the motor outputs fed
// back as the last two inputs of the sensor layer. Ids rise in creation order,
// so the list runs from the right motor neuron down to neuron 0.
void animal_setup_neurons(world_type& world, animal_type* animal)
{
    const std::uint32_t width = animal->layer_width;
    const std::uint32_t count = animal->layer_count;
    animal->neurons = nullptr;
    std::uint32_t next_id = 0;

    for (std::uint32_t b = 0; b < width; ++b, ++next_id) {
        add_plain_neuron(world, animal, next_id);
        for (int k = 0; k < animal_touch_count; ++k) {
            connect_plain(world, animal, next_id, &animal->touch[k].wall);
            connect_plain(world, animal, next_id, &animal->touch[k].plant);
            connect_plain(world, animal, next_id, &animal->touch[k].animal);
        }
        for (int j = 0; j < animal->num_vision; ++j) connect_plain(world, animal, next_id, &animal->vision[j].plant);
    }

    for (std::uint32_t layer = 1; layer < count; ++layer) {
        for (std::uint32_t n = 0; n < width; ++n, ++next_id) {
            add_plain_neuron(world, animal, next_id);
            for (std::uint32_t b = 0; b < animal_wired_inputs(next_id, width); ++b)
                connect_plain(world, animal, next_id, out_of(animal, (layer - 1) * width + b));
        }
    }

    const std::uint32_t left = next_id;
    const std::uint32_t right = next_id + 1;
    animal->left_output_id = left;
    animal->right_output_id = right;
    add_plain_neuron(world, animal, left);
    add_plain_neuron(world, animal, right);
    const std::uint32_t last_layer = count > 0 ? count - 1 : 0;
    for (std::uint32_t i = 0; i < animal_wired_inputs(left, width); ++i) {
        double* source = out_of(animal, last_layer * width + i);
        connect_plain(world, animal, left, source);
        connect_plain(world, animal, right, source);
    }

    for (std::uint32_t b = 0; b < width; ++b) {
        connect_plain(world, animal, b, out_of(animal, left));
        connect_plain(world, animal, b, out_of(animal, right));
    }
    animal->num_neurons = width * count + 2;
}
