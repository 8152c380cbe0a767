// Networks packed for evaluation. A world of many animals evaluates every
// network at every update, and following each input's source pointer through
// scattered records makes an update wait on memory. A pack holds the wiring
// only: each network's groups of neurons and, per input, which source it
// reads, as a 16-bit number into the network's list of distinct sources, in
// the order of the world's list, which an update then reads front to back.
// The genes (scalers, bias, sum weight) stay in the records alone: copying
// them cost as much memory again as the records' inputs, for fifty thousand
// animals more than the update gained. The arithmetic and its order are those
// of process_neurons, so the outs are the same bit for bit. A pack is stale
// once any network has changed after it was made.
#pragma once

#include "neuron/neuron.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct neuron_pack_neuron_type {
    neuron_type* neuron;     // the record: its genes are read, its next_out and out written
    const double* scaler;    // the record's, so that it is fetched ahead without reading the record
};

// Neighbours in a list with equal input counts, summed side by side. Their
// reads lie interleaved, input i of each neuron in turn, so that the group
// reads one run of memory.
struct neuron_pack_group_type {
    std::uint32_t neurons;      // 1 .. neuron_group_widest
    std::uint32_t input_count;  // of each
    std::size_t first_neuron;   // neurons[first_neuron] onwards
    std::size_t first_input;    // input i of its neuron k: reads[first_input + i * neurons + k]
};

// Sources one network may read and still be packed; one reading more is evaluated from its records.
inline constexpr std::size_t neuron_pack_most_sources = 65536;

struct neuron_pack_type {
    std::vector<neuron_pack_neuron_type> neurons;  // every network's neurons in list order, network after network
    std::vector<std::uint16_t> reads;              // per input, its source: sources[first_source[k] + reads[i]]
    std::vector<const double*> sources;            // every network's distinct sources, network after network
    std::vector<std::size_t> first_source;         // network k: sources[first_source[k]] .. [first_source[k + 1]]
    std::vector<neuron_pack_group_type> groups;    // every network's groups, in the same order
    std::vector<std::size_t> first_group;          // network k: groups[first_group[k]] .. [first_group[k + 1]]
    std::vector<const neuron_type*> heads;         // network k's list head when packed; null when it is not
    std::uint64_t edits;                           // the owner's count of network changes when packed
};

// Empties the pack, keeping its room, so that packing the same networks again
// takes no heap memory.
void neuron_pack_clear(neuron_pack_type& pack, std::uint64_t edits);   // edits: the networks' count of changes now
void neuron_pack_add(neuron_pack_type& pack, neuron_type* list);   // appends one network
// Whether network k is the list at this head, packed after the last change to
// any network (edits: their count of changes now).
bool neuron_pack_holds(const neuron_pack_type& pack, std::uint64_t edits, std::size_t network, const neuron_type* list);
// Whether network k of the pack reads what the list's records read, neuron
// for neuron and input for input (a network left to its records, when its
// head is null in both); the invariant checks hold packs against their records.
bool neuron_pack_matches(const neuron_pack_type& pack, std::size_t network, const neuron_type* list);
// process_neurons on network k, from the pack.
void neuron_pack_process(const neuron_pack_type& pack, std::size_t network, math_type math);
// Asks for the records network k writes, ahead of its turn.
void neuron_pack_prefetch(const neuron_pack_type& pack, std::size_t network);
