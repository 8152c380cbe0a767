#include "neuron/neuron.h"

#include "base/console.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::uint64_t edits_outside_worlds = 0;  // networks that belong to no world

[[noreturn]] void out_of_memory()
{
    // A network without this neuron or input cannot be completed; stop here.
    write_console("Unable to get neuron memory \n");
    std::exit(EXIT_FAILURE);
}

// The neuron's input block, moved to one with room for this many inputs.
void set_input_room(neuron_type* neuron, std::uint32_t room)
{
    const std::size_t pointers = room * sizeof(double*), doubles = room * sizeof(double);
    unsigned char* block = static_cast<unsigned char*>(std::malloc(pointers + 2 * doubles + room * sizeof(std::int32_t)));
    if (block == nullptr) out_of_memory();
    double** source = reinterpret_cast<double**>(block);
    double* input_bias = reinterpret_cast<double*>(block + pointers);
    double* scaler = reinterpret_cast<double*>(block + pointers + doubles);
    std::int32_t* power = reinterpret_cast<std::int32_t*>(block + pointers + 2 * doubles);
    const std::uint32_t n = neuron->input_count;
    if (n > 0) {
        std::memcpy(source, neuron->source, n * sizeof(double*));
        std::memcpy(input_bias, neuron->input_bias, n * sizeof(double));
        std::memcpy(scaler, neuron->scaler, n * sizeof(double));
        std::memcpy(power, neuron->power, n * sizeof(std::int32_t));
    }
    std::free(neuron->source);  // the block starts with it
    neuron->source = source;
    neuron->input_bias = input_bias;
    neuron->scaler = scaler;
    neuron->power = power;
    neuron->input_room = room;
}

}  // namespace

thread_local constinit std::uint64_t* neuron_edits = &edits_outside_worlds;

void neuron_edits_use(std::uint64_t* count) { neuron_edits = count != nullptr ? count : &edits_outside_worlds; }

void neuron_mark_changed() { *neuron_edits += 1; }

void add_neuron(neuron_type** list, std::uint32_t id, double bias, double sum_weight,
                double prod_weight, double spare_weight_2, double spare_weight_1,
                double spare_weight_3)
{
    if (get_neuron(*list, id) != nullptr) {
        write_console("Neuron ID in use\n");
        return;
    }
    neuron_type* neuron = new (std::nothrow) neuron_type{};
    if (neuron == nullptr) out_of_memory();
    neuron_mark_changed();
    neuron->id = id;
    neuron->bias = bias;
    neuron->sum_weight = sum_weight;
    neuron->prod_weight = prod_weight;
    neuron->spare_weight_2 = spare_weight_2;
    neuron->spare_weight_1 = spare_weight_1;
    neuron->spare_weight_3 = spare_weight_3;
    neuron->next = *list;
    *list = neuron;
}

void neuron_connect(neuron_type* list, std::uint32_t id, double* source, double input_bias,
                    double scaler, int power)
{
    if (source == nullptr) return;
    neuron_type* neuron = get_neuron(list, id);
    if (neuron == nullptr || neuron->input_count >= neuron_max_inputs) return;
    neuron_mark_changed();
    const std::uint32_t k = neuron->input_count;
    if (k == neuron->input_room) set_input_room(neuron, std::min(std::max(2 * k, 4u), neuron_max_inputs));
    neuron->source[k] = source;
    neuron->input_bias[k] = input_bias;
    neuron->scaler[k] = scaler;
    neuron->power[k] = power;
    neuron->input_count = k + 1;
}

void neuron_reserve_inputs(neuron_type* list, std::uint32_t id, std::uint32_t inputs)
{
    neuron_type* neuron = get_neuron(list, id);
    inputs = std::min(inputs, neuron_max_inputs);
    if (neuron != nullptr && inputs > neuron->input_room) set_input_room(neuron, inputs);
}

neuron_type* get_neuron(neuron_type* list, std::uint32_t id)
{
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next)
        if (neuron->id == id) return neuron;
    return nullptr;
}

void process_neurons(neuron_type* list)
{
    neuron_for_each_group(list, [](neuron_type* const* group, std::uint32_t count) {
        neuron_for_group_size(count, [group](auto size) {
            neuron_evaluate_group<decltype(size)::value>(
                group[0]->input_count, std::uint32_t{0}, 1,
                [group](std::uint32_t i, std::uint32_t k) { return *group[k]->source[i] * group[k]->scaler[i]; },
                [group](std::uint32_t k, double sum) { group[k]->next_out = std::tanh(sum * group[k]->sum_weight + group[k]->bias); });
        });
    });
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) neuron->out = neuron->next_out;
}

void free_neuron_list(neuron_type* list)
{
    neuron_mark_changed();
    while (list != nullptr) {
        neuron_type* next = list->next;
        std::free(list->source);
        delete list;
        list = next;
    }
}
