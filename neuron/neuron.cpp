#include "neuron/neuron.h"

#include "app/console.h"

#include <cmath>
#include <cstdlib>
#include <new>

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
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) {
        double sum = 0.0;
        for (std::uint32_t i = 0; i < neuron->input_count; ++i)
            sum += *neuron->source[i] * neuron->scaler[i];
        neuron->next_out = std::tanh(sum * neuron->sum_weight + neuron->bias);
    }
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next)
        neuron->out = neuron->next_out;
}

void free_neuron_list(neuron_type* list)
{
    while (list != nullptr) {
        neuron_type* next = list->next;
        delete list;
        list = next;
    }
}
