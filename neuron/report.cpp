#include "base/console.h"
#include "base/utility.h"
#include "neuron/neuron.h"

#include <cfloat>

namespace {

// "%8.5f" of the largest double prints DBL_MAX_10_EXP + 1 digits before the
// point, plus sign, point, five decimals and the label around it.
constexpr int report_line_size = DBL_MAX_10_EXP + 64;

}  // namespace

void show_neuron(neuron_type* list, std::uint32_t id)
{
    const neuron_type* neuron = get_neuron(list, id);
    if (neuron == nullptr) return;
    char line[report_line_size];
    format_c(line, sizeof line, " Neuron ID: %d\n", static_cast<int>(neuron->id));
    write_console(line);
    for (std::uint32_t i = 0; i < neuron->input_count; ++i) {
        format_c(line, sizeof line, " Source %8.5f", *neuron->source[i]);
        write_console(line);
        format_c(line, sizeof line, "   Bias: %8.5f", neuron_input_bias(neuron, i));
        write_console(line);
        format_c(line, sizeof line, "  Scaler: %8.5f", neuron->scaler[i]);
        write_console(line);
        format_c(line, sizeof line, "  Power:  %2d\n", neuron_input_power(neuron, i));
        write_console(line);
    }
    format_c(line, sizeof line, "  Sum weight:    %8.5f\n", neuron->sum_weight);
    write_console(line);
    format_c(line, sizeof line, "  Prod weight:   %8.5f\n", neuron_extras(neuron).prod_weight);
    write_console(line);
    format_c(line, sizeof line, "  Last weight:   %8.5f\n", neuron_extras(neuron).last_weight);
    write_console(line);
    format_c(line, sizeof line, "  Bias:          %8.5f\n", neuron->bias);
    write_console(line);
    format_c(line, sizeof line, "  Out:           %8.5f\n\n", neuron->out);
    write_console(line);
}
