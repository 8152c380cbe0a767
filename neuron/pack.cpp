#include "neuron/pack.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Numbers the distinct sources of one network in the order first read.
struct source_numbers_type {
    std::vector<const double*> keys;      // open addressing; null for a free slot
    std::vector<std::uint32_t> numbers;
    std::vector<std::size_t> used;        // slots taken, so that clearing costs what was used
    std::uint32_t count = 0;
    std::size_t mask = 0;

    void clear(std::size_t inputs)
    {
        std::size_t size = 64;
        while (size < 2 * inputs) size *= 2;
        if (keys.size() < size) {
            keys.assign(size, nullptr);
            numbers.resize(size);
        } else {
            for (const std::size_t slot : used) keys[slot] = nullptr;
        }
        used.clear();
        mask = keys.size() - 1;
        count = 0;
    }

    // The source's number, and whether it is new.
    std::uint32_t number(const double* source, bool& added)
    {
        std::size_t slot = (reinterpret_cast<std::uintptr_t>(source) >> 3) * 0x9E3779B97F4A7C15ull & mask;
        while (keys[slot] != nullptr && keys[slot] != source) slot = (slot + 1) & mask;
        added = keys[slot] == nullptr;
        if (added) {
            keys[slot] = source;
            numbers[slot] = count++;
            used.push_back(slot);
        }
        return numbers[slot];
    }
};

void pack_group(neuron_pack_type& pack, source_numbers_type& numbers, neuron_type* const* run, std::uint32_t count)
{
    const std::uint32_t inputs = run[0]->input_count;
    pack.groups.push_back(neuron_pack_group_type{count, inputs, pack.neurons.size(), pack.reads.size()});
    for (std::uint32_t k = 0; k < count; ++k) pack.neurons.push_back(neuron_pack_neuron_type{run[k], run[k]->scaler});
    for (std::uint32_t i = 0; i < inputs; ++i) {
        for (std::uint32_t k = 0; k < count; ++k) {
            bool added = false;
            const std::uint32_t number = numbers.number(run[k]->source[i], added);
            if (added) pack.sources.push_back(run[k]->source[i]);
            pack.reads.push_back(static_cast<std::uint16_t>(number));
        }
    }
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

void neuron_pack_clear(neuron_pack_type& pack, std::uint64_t edits)
{
    pack.neurons.clear();
    pack.reads.clear();
    pack.sources.clear();
    pack.first_source.assign(1, 0);
    pack.groups.clear();
    pack.first_group.assign(1, 0);
    pack.heads.clear();
    pack.edits = edits;
}

void neuron_pack_add(neuron_pack_type& pack, neuron_type* list)
{
    if (pack.first_group.empty()) pack.first_group.push_back(0);
    if (pack.first_source.empty()) pack.first_source.push_back(0);
    std::size_t inputs = 0;
    for (const neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) inputs += neuron->input_count;
    thread_local source_numbers_type numbers;
    numbers.clear(inputs);
    const std::size_t groups = pack.groups.size(), neurons = pack.neurons.size(), reads = pack.reads.size(),
                      sources = pack.sources.size();
    neuron_for_each_group(list, [&](neuron_type* const* run, std::uint32_t count) { pack_group(pack, numbers, run, count); });
    const bool packed = numbers.count <= neuron_pack_most_sources;
    if (!packed) {  // too many sources to name in 16 bits: evaluated from its records
        pack.groups.resize(groups);
        pack.neurons.resize(neurons);
        pack.reads.resize(reads);
        pack.sources.resize(sources);
    }
    pack.first_group.push_back(pack.groups.size());
    pack.first_source.push_back(pack.sources.size());
    pack.heads.push_back(packed ? list : nullptr);
}

bool neuron_pack_holds(const neuron_pack_type& pack, std::uint64_t edits, std::size_t network, const neuron_type* list)
{
    return pack.edits == edits && network < pack.heads.size() && list != nullptr && pack.heads[network] == list;
}

void neuron_pack_process(const neuron_pack_type& pack, std::size_t network, math_type math)
{
    // Every source's value before any neuron of the network is written, as
    // each input reads the outs from before the call.
    const std::size_t first_source = pack.first_source[network], source_count = pack.first_source[network + 1] - first_source;
    constexpr std::size_t usual_sources = 256;
    double usual[usual_sources];
    thread_local std::vector<double> many;
    double* values = usual;
    if (source_count > usual_sources) {
        many.resize(source_count);
        values = many.data();
    }
    for (std::size_t s = 0; s < source_count; ++s) values[s] = *pack.sources[first_source + s];

    const neuron_pack_group_type* const first = pack.groups.data() + pack.first_group[network];
    const neuron_pack_group_type* const end = pack.groups.data() + pack.first_group[network + 1];
    const std::uint16_t* const reads = pack.reads.data();
    for (const neuron_pack_group_type* group = first; group != end; ++group) {
        const neuron_pack_neuron_type* const neuron = pack.neurons.data() + group->first_neuron;
        neuron_for_group_size(group->neurons, [=](auto size) {
            constexpr std::uint32_t count = decltype(size)::value;
            const double* scalers[count];
            for (std::uint32_t k = 0; k < count; ++k) scalers[k] = neuron[k].scaler;
            const std::uint16_t* const group_reads = reads + group->first_input;
            double in[count], out[count];
            neuron_evaluate_group<count>(
                group->input_count, std::size_t{0}, 1,
                [&](std::size_t i, std::uint32_t k) { return values[group_reads[i * count + k]] * scalers[k][i]; },
                [neuron, &in](std::uint32_t k, double sum) {
                    const neuron_type& record = *neuron[k].neuron;
                    in[k] = sum * record.sum_weight + record.bias;
                });
            // The group's activations at once: the program's own tanh takes them as a lane.
            math_tanh_lanes(math, in, out, count);
            for (std::uint32_t k = 0; k < count; ++k) neuron[k].neuron->next_out = out[k];
        });
    }
    const neuron_pack_neuron_type *neuron, *last;
    network_neurons(pack, network, &neuron, &last);
    for (; neuron != last; ++neuron) neuron->neuron->out = neuron->neuron->next_out;
}

void neuron_pack_prefetch(const neuron_pack_type& pack, std::size_t network)
{
    if (network + 1 >= pack.first_group.size()) return;
    const neuron_pack_group_type* const first = pack.groups.data() + pack.first_group[network];
    const neuron_pack_group_type* const end = pack.groups.data() + pack.first_group[network + 1];
    for (const neuron_pack_group_type* group = first; group != end; ++group) {
        const std::size_t bytes = group->input_count * sizeof(double);
        for (std::uint32_t k = 0; k < group->neurons; ++k) {
            const neuron_pack_neuron_type& neuron = pack.neurons[group->first_neuron + k];
            __builtin_prefetch(&neuron.neuron->next_out, 1);
            __builtin_prefetch(&neuron.neuron->out, 1);
            const char* const scalers = reinterpret_cast<const char*>(neuron.scaler);
            for (std::size_t byte = 0; byte < bytes; byte += 64) __builtin_prefetch(scalers + byte);
        }
    }
}

bool neuron_pack_matches(const neuron_pack_type& pack, std::size_t network, const neuron_type* list)
{
    if (network >= pack.heads.size() || pack.heads[network] != list) return false;
    if (list == nullptr) return true;  // left to its records: nothing packed to compare
    const neuron_type* neuron = list;
    for (std::size_t g = pack.first_group[network]; g < pack.first_group[network + 1]; ++g) {
        const neuron_pack_group_type& group = pack.groups[g];
        for (std::uint32_t k = 0; k < group.neurons; ++k, neuron = neuron->next) {
            const neuron_pack_neuron_type& packed = pack.neurons[group.first_neuron + k];
            if (neuron == nullptr || packed.neuron != neuron || packed.scaler != neuron->scaler ||
                neuron->input_count != group.input_count)
                return false;
            for (std::uint32_t i = 0; i < group.input_count; ++i) {
                const std::size_t read = pack.first_source[network] + pack.reads[group.first_input + i * group.neurons + k];
                if (read >= pack.first_source[network + 1] || pack.sources[read] != neuron->source[i]) return false;
            }
        }
    }
    return neuron == nullptr;
}
