#include "neuron/neuron.h"

#include "base/console.h"

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

namespace {

void evaluate_one(neuron_type* neuron)
{
    double sum = 0.0;
    for (std::uint32_t i = 0; i < neuron->input_count; ++i) sum += *neuron->source[i] * neuron->scaler[i];
    neuron->next_out = std::tanh(sum * neuron->sum_weight + neuron->bias);
}

// Four neurons of the same input count, summed side by side. Each sum keeps
// its own order of additions, so the results are those of evaluate_one; the
// four independent chains just keep the processor busy.
void evaluate_four(neuron_type* a, neuron_type* b, neuron_type* c, neuron_type* d)
{
    double sa = 0.0, sb = 0.0, sc = 0.0, sd = 0.0;
    for (std::uint32_t i = 0; i < a->input_count; ++i) {
        sa += *a->source[i] * a->scaler[i];
        sb += *b->source[i] * b->scaler[i];
        sc += *c->source[i] * c->scaler[i];
        sd += *d->source[i] * d->scaler[i];
    }
    a->next_out = std::tanh(sa * a->sum_weight + a->bias);
    b->next_out = std::tanh(sb * b->sum_weight + b->bias);
    c->next_out = std::tanh(sc * c->sum_weight + c->bias);
    d->next_out = std::tanh(sd * d->sum_weight + d->bias);
}

}  // namespace

void process_neurons(neuron_type* list)
{
    neuron_type* neuron = list;
    while (neuron != nullptr) {
        neuron_type* b = neuron->next;
        neuron_type* c = b != nullptr ? b->next : nullptr;
        neuron_type* d = c != nullptr ? c->next : nullptr;
        const std::uint32_t count = neuron->input_count;
        if (d != nullptr && b->input_count == count && c->input_count == count && d->input_count == count) {
            evaluate_four(neuron, b, c, d);
            neuron = d->next;
        } else {
            evaluate_one(neuron);
            neuron = b;
        }
    }
    for (neuron = list; neuron != nullptr; neuron = neuron->next) neuron->out = neuron->next_out;
}

void free_neuron_list(neuron_type* list)
{
    while (list != nullptr) {
        neuron_type* next = list->next;
        delete list;
        list = next;
    }
}
