#include "neuron/neuron.h"

#include "base/console.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {


[[noreturn]] void out_of_memory()
{
    // A network without this neuron or input cannot be completed; stop here.
    write_console("Unable to get neuron memory \n");
    std::exit(EXIT_FAILURE);
}

const neuron_extras_type no_extras{};

// An array of count values moved to one with room for room of them, the
// new ones set to fill.
template <class T>
T* moved_to_room(T* old, std::uint32_t count, std::uint32_t room, T fill)
{
    T* array = static_cast<T*>(std::malloc(room * sizeof(T)));
    if (array == nullptr) out_of_memory();
    if (count > 0) std::memcpy(array, old, count * sizeof(T));
    std::fill(array + count, array + room, fill);
    std::free(old);
    return array;
}

// The neuron's input block, moved to one with room for this many inputs.
void set_input_room(neuron_type* neuron, std::uint32_t room)
{
    const std::size_t pointers = room * sizeof(double*);
    unsigned char* block = static_cast<unsigned char*>(std::malloc(pointers + room * sizeof(double)));
    if (block == nullptr) out_of_memory();
    double** source = reinterpret_cast<double**>(block);
    double* scaler = reinterpret_cast<double*>(block + pointers);
    const std::uint32_t n = neuron->input_count;
    if (n > 0) {
        std::memcpy(source, neuron->source, n * sizeof(double*));
        std::memcpy(scaler, neuron->scaler, n * sizeof(double));
    }
    std::free(neuron->source);  // the block starts with it
    neuron->source = source;
    neuron->scaler = scaler;
    if (neuron_extras_type* extras = neuron->extras) {
        if (extras->input_bias != nullptr) extras->input_bias = moved_to_room(extras->input_bias, n, room, 0.0);
        if (extras->power != nullptr) extras->power = moved_to_room(extras->power, n, room, std::int32_t{1});
    }
    neuron->input_room = room;
}

// The neuron's extras, made now if it has none.
neuron_extras_type& extras_made(neuron_type* neuron)
{
    if (neuron->extras == nullptr) {
        neuron->extras = new (std::nothrow) neuron_extras_type{};
        if (neuron->extras == nullptr) out_of_memory();
    }
    return *neuron->extras;
}

void free_extras(neuron_type* neuron)
{
    if (neuron->extras == nullptr) return;
    std::free(neuron->extras->input_bias);
    std::free(neuron->extras->power);
    delete neuron->extras;
    neuron->extras = nullptr;
}

}  // namespace

void add_neuron(std::uint64_t& edits, neuron_type** list, std::uint32_t id, double bias, double sum_weight,
                double prod_weight, double spare_weight_2, double spare_weight_1,
                double spare_weight_3)
{
    if (get_neuron(*list, id) != nullptr) {
        write_console("Neuron ID in use\n");
        return;
    }
    neuron_type* neuron = new (std::nothrow) neuron_type{};
    if (neuron == nullptr) out_of_memory();
    edits += 1;
    neuron->id = id;
    neuron->bias = bias;
    neuron->sum_weight = sum_weight;
    if (prod_weight != 0.0 || spare_weight_1 != 0.0 || spare_weight_2 != 0.0 || spare_weight_3 != 0.0) {
        neuron_extras_type& extras = extras_made(neuron);
        extras.prod_weight = prod_weight;
        extras.spare_weight_2 = spare_weight_2;
        extras.spare_weight_1 = spare_weight_1;
        extras.spare_weight_3 = spare_weight_3;
    }
    neuron->next = *list;
    *list = neuron;
}

void neuron_connect(std::uint64_t& edits, neuron_type* list, std::uint32_t id, double* source, double input_bias,
                    double scaler, int power)
{
    if (source == nullptr) return;
    neuron_type* neuron = get_neuron(list, id);
    if (neuron == nullptr || neuron->input_count >= neuron_max_inputs) return;
    edits += 1;
    const std::uint32_t k = neuron->input_count;
    if (k == neuron->input_room) set_input_room(neuron, std::min(std::max(2 * k, 4u), neuron_max_inputs));
    neuron->source[k] = source;
    neuron->scaler[k] = scaler;
    if (input_bias != 0.0 || power != 1 || neuron->extras != nullptr) {
        neuron_extras_type& extras = extras_made(neuron);
        if (input_bias != 0.0 && extras.input_bias == nullptr)
            extras.input_bias = moved_to_room<double>(nullptr, 0, neuron->input_room, 0.0);
        if (power != 1 && extras.power == nullptr)
            extras.power = moved_to_room<std::int32_t>(nullptr, 0, neuron->input_room, 1);
        if (extras.input_bias != nullptr) extras.input_bias[k] = input_bias;
        if (extras.power != nullptr) extras.power[k] = power;
    }
    neuron->input_count = k + 1;
}

void neuron_reserve_inputs(neuron_type* list, std::uint32_t id, std::uint32_t inputs)
{
    neuron_type* neuron = get_neuron(list, id);
    inputs = std::min(inputs, neuron_max_inputs);
    if (neuron != nullptr && inputs > neuron->input_room) set_input_room(neuron, inputs);
}

const neuron_extras_type& neuron_extras(const neuron_type* neuron)
{
    return neuron->extras != nullptr ? *neuron->extras : no_extras;
}

double neuron_input_bias(const neuron_type* neuron, std::uint32_t input)
{
    const double* bias = neuron_extras(neuron).input_bias;
    return bias != nullptr ? bias[input] : 0.0;
}

int neuron_input_power(const neuron_type* neuron, std::uint32_t input)
{
    const std::int32_t* power = neuron_extras(neuron).power;
    return power != nullptr ? power[input] : 1;
}

neuron_type* get_neuron(neuron_type* list, std::uint32_t id)
{
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next)
        if (neuron->id == id) return neuron;
    return nullptr;
}

void process_neurons(neuron_type* list, math_type math)
{
    neuron_for_each_group(list, [math](neuron_type* const* group, std::uint32_t count) {
        neuron_for_group_size(count, [group, math](auto size) {
            constexpr std::uint32_t lanes = decltype(size)::value;
            double in[lanes], out[lanes];
            neuron_evaluate_group<lanes>(
                group[0]->input_count, std::uint32_t{0}, 1,
                [group](std::uint32_t i, std::uint32_t k) { return *group[k]->source[i] * group[k]->scaler[i]; },
                [group, &in](std::uint32_t k, double sum) { in[k] = sum * group[k]->sum_weight + group[k]->bias; });
            math_tanh_lanes(math, in, out, lanes);
            for (std::uint32_t k = 0; k < lanes; ++k) group[k]->next_out = out[k];
        });
    });
    for (neuron_type* neuron = list; neuron != nullptr; neuron = neuron->next) neuron->out = neuron->next_out;
}

void free_neuron_list(std::uint64_t& edits, neuron_type* list)
{
    edits += 1;
    while (list != nullptr) {
        neuron_type* next = list->next;
        std::free(list->source);
        free_extras(list);
        delete list;
        list = next;
    }
}
