#include "neuron/pack.h"

#include <cmath>

namespace {

void pack_group(neuron_pack_type& pack, neuron_type* const* run, std::uint32_t count)
{
    const std::uint32_t inputs = run[0]->input_count;
    pack.groups.push_back(neuron_pack_group_type{count, inputs, pack.neurons.size(), pack.inputs.size()});
    for (std::uint32_t k = 0; k < count; ++k)
        pack.neurons.push_back(neuron_pack_neuron_type{run[k], run[k]->sum_weight, run[k]->bias});
    for (std::uint32_t i = 0; i < inputs; ++i)
        for (std::uint32_t k = 0; k < count; ++k)
            pack.inputs.push_back(neuron_pack_input_type{run[k]->source[i], run[k]->scaler[i]});
}

// Network k's neurons: [*first, *last).
void network_neurons(const neuron_pack_type& pack, std::size_t network, const neuron_pack_neuron_type** first,
                     const neuron_pack_neuron_type** last)
{
    const std::size_t begin = pack.first_group[network], end = pack.first_group[network + 1];
    *first = *last = pack.neurons.data();
    if (begin == end) return;
    *first += pack.groups[begin].first_neuron;
    *last += pack.groups[end - 1].first_neuron + pack.groups[end - 1].neurons;
}

}  // namespace

void neuron_pack_clear(neuron_pack_type& pack)
{
    pack.neurons.clear();
    pack.inputs.clear();
    pack.groups.clear();
    pack.first_group.assign(1, 0);
    pack.heads.clear();
    pack.edits = *neuron_edits;
}

void neuron_pack_add(neuron_pack_type& pack, neuron_type* list)
{
    if (pack.first_group.empty()) pack.first_group.push_back(0);
    neuron_for_each_group(list, [&pack](neuron_type* const* run, std::uint32_t count) { pack_group(pack, run, count); });
    pack.first_group.push_back(pack.groups.size());
    pack.heads.push_back(list);
}

bool neuron_pack_holds(const neuron_pack_type& pack, std::size_t network, const neuron_type* list)
{
    return pack.edits == *neuron_edits && network < pack.heads.size() && pack.heads[network] == list;
}

void neuron_pack_process(const neuron_pack_type& pack, std::size_t network)
{
    const neuron_pack_group_type* const first = pack.groups.data() + pack.first_group[network];
    const neuron_pack_group_type* const end = pack.groups.data() + pack.first_group[network + 1];
    for (const neuron_pack_group_type* group = first; group != end; ++group) {
        const neuron_pack_input_type* input = pack.inputs.data() + group->first_input;
        const neuron_pack_neuron_type* neuron = pack.neurons.data() + group->first_neuron;
        neuron_for_group_size(group->neurons, [input, neuron, group](auto size) {
            constexpr std::uint32_t count = decltype(size)::value;
            neuron_evaluate_group<count>(
                group->input_count, input, count,
                [](const neuron_pack_input_type* row, std::uint32_t k) { return *row[k].source * row[k].scaler; },
                [neuron](std::uint32_t k, double sum) { neuron[k].neuron->next_out = std::tanh(sum * neuron[k].sum_weight + neuron[k].bias); });
        });
    }
    const neuron_pack_neuron_type *neuron, *last;
    network_neurons(pack, network, &neuron, &last);
    for (; neuron != last; ++neuron) neuron->neuron->out = neuron->neuron->next_out;
}

void neuron_pack_prefetch(const neuron_pack_type& pack, std::size_t network)
{
    if (network + 1 >= pack.first_group.size()) return;
    const neuron_pack_neuron_type *neuron, *last;
    network_neurons(pack, network, &neuron, &last);
    for (; neuron != last; ++neuron) {
        __builtin_prefetch(&neuron->neuron->next_out, 1);
        __builtin_prefetch(&neuron->neuron->out, 1);
    }
}
