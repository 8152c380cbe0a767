#include "neuron/neuron.h"

#include "base/console.h"

#include <cmath>
#include <cstdlib>
#include <new>

std::uint64_t neuron_edits = 0;

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
    neuron_edits += 1;
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
    neuron_edits += 1;
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

// Up to this many neurons of equal input count are summed side by side. Each
// sum keeps its own order of additions, so every result is what summing that
// neuron alone gives; the side-by-side chains just keep the processor busy
// instead of waiting on one chain of additions.
constexpr int widest_group = 8;

template <int Count>
void evaluate_group(neuron_type* const* group)
{
    double sum[Count] = {};
    const std::uint32_t inputs = group[0]->input_count;
    for (std::uint32_t i = 0; i < inputs; ++i)
        for (int k = 0; k < Count; ++k) sum[k] += *group[k]->source[i] * group[k]->scaler[i];
    for (int k = 0; k < Count; ++k) group[k]->next_out = std::tanh(sum[k] * group[k]->sum_weight + group[k]->bias);
}

void evaluate_run(neuron_type* const* run, int count)
{
    while (count > 0) {
        if (count >= 8) {
            evaluate_group<8>(run);
            run += 8, count -= 8;
        } else if (count >= 4) {
            evaluate_group<4>(run);
            run += 4, count -= 4;
        } else if (count >= 2) {
            evaluate_group<2>(run);
            run += 2, count -= 2;
        } else {
            evaluate_group<1>(run);
            run += 1, count -= 1;
        }
    }
}

}  // namespace

void process_neurons(neuron_type* list)
{
    neuron_type* run[widest_group] = {};
    int count = 0;
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) {
        if (count == widest_group || (count > 0 && neuron->input_count != run[0]->input_count)) {
            evaluate_run(run, count);
            count = 0;
        }
        run[count++] = neuron;
    }
    evaluate_run(run, count);
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) neuron->out = neuron->next_out;
}

void free_neuron_list(neuron_type* list)
{
    neuron_edits += 1;
    while (list != nullptr) {
        neuron_type* next = list->next;
        delete list;
        list = next;
    }
}
