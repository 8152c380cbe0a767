// Neurons and networks: a network is a singly linked list of neurons, newest
// first, whose inputs are addresses of doubles living elsewhere (sensor values
// in the animal record, or the out of another neuron of the same list).
#pragma once

#include "base/exact_math.h"

#include <cstdint>
#include <type_traits>

inline constexpr std::uint32_t neuron_max_inputs = 100;  // most inputs a neuron takes

// What only the report shows, and the wiring always leaves at its defaults:
// kept out of the record, in a block made only once some value differs.
struct neuron_extras_type {
    double prod_weight = 0.0;                      // stored and shown only
    double spare_weight_1 = 0.0;                   // never read
    double spare_weight_2 = 0.0;                   // never read
    double spare_weight_3 = 0.0;                   // never read
    double last_weight = 0.0;                      // shown only
    double* input_bias = nullptr;                  // per input, room for input_room; null: each 0
    std::int32_t* power = nullptr;                 // per input, room for input_room; null: each 1
};

// A neuron's inputs take the room their count needs, in one block of its
// own, and what evaluation never reads lives apart (neuron_extras_type):
// a network of the default shape takes some 6 KB (its animal in all, with
// its share of the world's pack and index, some 7.5 KB), so that worlds of tens of
// thousands of animals fit in memory and are made and freed quickly. The
// wiring reserves the room it will use, so that connecting does not allocate.
struct neuron_type {
    double** source;                               // input i reads *source[i]; not owned; room for input_room
    double* scaler;                                // per-input weight; a gene
    neuron_extras_type* extras;                    // owned; null while all of it is at its defaults
    double next_out;                               // result of phase 1 of process_neurons
    double sum_weight;                             // factor on the weighted input sum
    double bias;                                   // added before the activation; a gene
    double out;                                    // current output in [-1, 1]; 0 at creation
    std::uint32_t input_count;                     // connected inputs, 0 .. 100
    std::uint32_t input_room;                      // inputs the block holds, input_count .. 100; 0 with no block
    std::uint32_t id;                              // unique within its list
    neuron_type* next;                             // next neuron of the list; null at the end
};

// The neuron's extras, or the defaults when it has none.
const neuron_extras_type& neuron_extras(const neuron_type* neuron);
double neuron_input_bias(const neuron_type* neuron, std::uint32_t input);   // per-input bias, shown by the report
int neuron_input_power(const neuron_type* neuron, std::uint32_t input);     // per-input power, shown by the report

// Changes to networks so far are counted by their owner (a world's
// network_edits): neurons added or freed, inputs connected, genes rewritten.
// A pack of networks (neuron/pack.h) made before a change is stale, so only
// the functions below write those fields, and each counts its change in edits.

// The one way to change genes: write(neuron) for every neuron of the list, in
// list order, after counting the change.
template <class Write>
void neuron_rewrite(std::uint64_t& edits, neuron_type* list, Write write)
{
    edits += 1;
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) write(*neuron);
}

// Pushes a new cleared neuron at the head of *list; refuses a duplicate id
// with a console line. Ends the process when no memory is left.
void add_neuron(std::uint64_t& edits, neuron_type** list, std::uint32_t id, double bias, double sum_weight,
                double prod_weight, double spare_weight_2, double spare_weight_1,
                double spare_weight_3);

// Makes room for this many inputs (at most 100) in the neuron with this id,
// so that connecting them takes no more memory. Ends the process when no
// memory is left.
void neuron_reserve_inputs(neuron_type* list, std::uint32_t id, std::uint32_t inputs);

// Appends an input to the neuron with this id, growing its room if need be; a
// null source, an unknown id or a 101st input is ignored.
void neuron_connect(std::uint64_t& edits, neuron_type* list, std::uint32_t id, double* source, double input_bias,
                    double scaler, int power);

neuron_type* get_neuron(neuron_type* list, std::uint32_t id);  // first match from the head, or null

// Two-phase evaluation: every neuron sees its sources' outputs from before the call.
void process_neurons(neuron_type* list, math_type math);

// Up to this many neighbours of a list with equal input counts are summed
// side by side. Each sum keeps its own order of additions, so every result is
// what summing that neuron alone gives; the side-by-side chains just keep the
// processor busy instead of waiting on one chain of additions.
inline constexpr std::uint32_t neuron_group_widest = 8;

// Calls group(neurons, count) for each such run of neighbours, in list order.
template <class Group>
void neuron_for_each_group(neuron_type* list, Group group)
{
    neuron_type* run[neuron_group_widest];
    std::uint32_t count = 0;
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) {
        if (count == neuron_group_widest || (count > 0 && neuron->input_count != run[0]->input_count)) {
            group(static_cast<neuron_type* const*>(run), count);
            count = 0;
        }
        run[count++] = neuron;
    }
    if (count > 0) group(static_cast<neuron_type* const*>(run), count);
}

// Evaluates Count neurons side by side, each sum in its own order: the cursor
// walks the inputs, step at a time, term(cursor, k) is the current input of
// neuron k times its scaler, and finish(k, sum) takes neuron k's weighted sum.
// Records and packs alike evaluate through this one loop.
template <std::uint32_t Count, class Cursor, class Term, class Finish>
inline void neuron_evaluate_group(std::uint32_t input_count, Cursor cursor, std::uint32_t step, Term term, Finish finish)
{
    double sum[Count] = {};
    for (std::uint32_t i = 0; i < input_count; ++i, cursor += step)
        for (std::uint32_t k = 0; k < Count; ++k) sum[k] += term(cursor, k);
    for (std::uint32_t k = 0; k < Count; ++k) finish(k, sum[k]);
}

// Calls evaluate with std::integral_constant<std::uint32_t, count>, so that
// each group size has a loop of its own.
template <class Evaluate>
inline void neuron_for_group_size(std::uint32_t count, Evaluate evaluate)
{
    switch (count) {
    case 8: evaluate(std::integral_constant<std::uint32_t, 8>{}); break;
    case 7: evaluate(std::integral_constant<std::uint32_t, 7>{}); break;
    case 6: evaluate(std::integral_constant<std::uint32_t, 6>{}); break;
    case 5: evaluate(std::integral_constant<std::uint32_t, 5>{}); break;
    case 4: evaluate(std::integral_constant<std::uint32_t, 4>{}); break;
    case 3: evaluate(std::integral_constant<std::uint32_t, 3>{}); break;
    case 2: evaluate(std::integral_constant<std::uint32_t, 2>{}); break;
    default: evaluate(std::integral_constant<std::uint32_t, 1>{}); break;
    }
}

void free_neuron_list(std::uint64_t& edits, neuron_type* list);  // the caller drops its head pointer

// Console report of one neuron (nothing when the id is absent).
void show_neuron(neuron_type* list, std::uint32_t id);
