#include "neuron/neuron.h"

#include "base/console.h"

#include <cmath>
#include <cstdlib>
#include <new>

namespace {
std::uint64_t edits_outside_worlds = 0;  // networks that belong to no world
}

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
    if (neuron == nullptr) {
        // A network without this neuron cannot be completed; stop here.
        write_console("Unable to get neuron memory \n");
        std::exit(EXIT_FAILURE);
    }
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
    neuron->source[k] = source;
    neuron->input_bias[k] = input_bias;
    neuron->scaler[k] = scaler;
    neuron->power[k] = power;
    neuron->input_count = k + 1;
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
                group[0]->input_count, [group](std::uint32_t i, std::uint32_t k) { return *group[k]->source[i] * group[k]->scaler[i]; },
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
        delete list;
        list = next;
    }
}
