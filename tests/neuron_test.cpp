#include "neuron/neuron.h"
#include "neuron/pack.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

std::uint64_t edits = 0;   // changes to the tests' networks, as a world counts its own

struct network {
    neuron_type* head = nullptr;
    ~network() { free_neuron_list(edits, head); }
    neuron_type* add(std::uint32_t id, double bias = 0.0, double sum_weight = 1.0)
    {
        add_neuron(edits, &head, id, bias, sum_weight, 0.0, 0.0, 0.0, 0.0);
        return get_neuron(head, id);
    }
};

}  // namespace

TEST(Neuron, AddConnectAndFind)
{
    network net;
    add_neuron(edits, &net.head, 4, 0.5, 2.0, 3.0, 4.0, 5.0, 6.0);
    net.add(9);
    ASSERT_EQ(net.head->id, 9u);
    const neuron_type* first = net.head->next;
    // The doubles land in their fields in the order bias, sum, prod, spare 2, 1, 3.
    const neuron_extras_type& extras = neuron_extras(first);
    EXPECT_EQ(first->bias + 10 * first->sum_weight + 100 * extras.prod_weight + 1e3 * extras.spare_weight_2 +
                  1e4 * extras.spare_weight_1 + 1e5 * extras.spare_weight_3,
              0.5 + 20 + 300 + 4e3 + 5e4 + 6e5);
    EXPECT_EQ(extras.last_weight + first->out + first->input_count, 0.0);
    EXPECT_EQ(net.head->extras, nullptr);  // all at their defaults: no room taken

    console_capture console;
    neuron_type* before = net.head;
    net.add(4, 9.0);
    EXPECT_EQ(console.text(), "Neuron ID in use\n");
    EXPECT_EQ(net.head, before);
    EXPECT_EQ(get_neuron(net.head, 4)->bias, 0.5);

    double value = 0.25;
    neuron_connect(edits, net.head, 4, nullptr, 0.0, 1.0, 1);
    neuron_connect(edits, net.head, 77, &value, 0.0, 1.0, 1);
    EXPECT_EQ(get_neuron(net.head, 4)->input_count + get_neuron(net.head, 9)->input_count, 0u);
    // Plain inputs first, then some with a bias and a power, as the room grows.
    for (int i = 0; i < 101; ++i) neuron_connect(edits, net.head, 9, &value, i % 7 == 5 ? 0.5 : 0.0, i, i >= 30 && i % 2 ? 3 : 1);
    EXPECT_EQ(net.head->input_count, 100u);
    EXPECT_EQ(net.head->scaler[99], 99.0);
    for (std::uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(neuron_input_bias(net.head, i), i % 7 == 5 ? 0.5 : 0.0) << i;
        EXPECT_EQ(neuron_input_power(net.head, i), i >= 30 && i % 2 ? 3 : 1) << i;
    }
    EXPECT_EQ(net.head->source[42], &value);
    EXPECT_EQ(get_neuron(net.head, 77), nullptr);
}

TEST(Neuron, EvaluatesInTwoPhasesWhateverTheListOrder)
{
    for (bool b_first : {false, true}) {
        network net;
        double sensor = 0.5;
        neuron_type* a = nullptr;
        neuron_type* b = nullptr;
        if (b_first) {
            a = net.add(10, -0.2, 2.0);
            b = net.add(20, 0.3);
        } else {
            b = net.add(20, 0.3);
            a = net.add(10, -0.2, 2.0);
        }
        neuron_connect(edits, net.head, 10, &sensor, 123.0, 1.5, 7);  // input bias and power take no part
        neuron_connect(edits, net.head, 20, &a->out, 0.0, 1.0, 1);
        neuron_type* bare = net.add(30, 0.7);  // no inputs: tanh of its bias
        process_neurons(net.head, math_system);
        EXPECT_NEAR(a->out, 0.8617231593, 1e-10);
        EXPECT_DOUBLE_EQ(b->out, std::tanh(0.3));  // A's output from before the call
        EXPECT_DOUBLE_EQ(bare->out, std::tanh(0.7));
        process_neurons(net.head, math_system);
        EXPECT_DOUBLE_EQ(b->out, std::tanh(a->out + 0.3));
    }
    // Groups of four neurons of one input count are summed side by side: same results.
    network wide;
    const double sum_weight = 1.5;
    double inputs[7] = {0.1, -0.2, 0.3, 0.4, -0.5, 0.6, 0.7};
    for (std::uint32_t id = 0; id < 7; ++id) {
        wide.add(id, 0.01 * id, sum_weight);
        for (int i = 0; i < 7; ++i) neuron_connect(edits, wide.head, id, &inputs[i], 0.0, 0.1 * (i + id), 1);
    }
    process_neurons(wide.head, math_system);
    for (std::uint32_t id = 0; id < 7; ++id) {
        double sum = 0.0;
        for (int i = 0; i < 7; ++i) sum += inputs[i] * (0.1 * (i + id));
        EXPECT_EQ(get_neuron(wide.head, id)->out, std::tanh(sum * sum_weight + 0.01 * id)) << id;
    }
}

// Networks with runs of equal input counts longer, shorter and broken off,
// neurons without inputs, and inputs from the other neurons' outs.
void grow_network(network& net, std::mt19937& choose, double* sensors)
{
    const int neurons = std::uniform_int_distribution<int>(1, 30)(choose);
    std::uniform_real_distribution<double> weight(-2.0, 2.0);
    for (int id = 0; id < neurons; ++id) net.add(static_cast<std::uint32_t>(id), weight(choose), weight(choose));
    std::uint32_t inputs = 0;
    for (int id = 0; id < neurons; ++id) {
        if (std::uniform_int_distribution<int>(0, 3)(choose) == 0) inputs = std::uniform_int_distribution<std::uint32_t>(0, 12)(choose);
        for (std::uint32_t i = 0; i < inputs; ++i) {
            const int from = std::uniform_int_distribution<int>(-8, neurons - 1)(choose);
            double* source = from < 0 ? &sensors[-from - 1] : &get_neuron(net.head, static_cast<std::uint32_t>(from))->out;
            neuron_connect(edits, net.head, static_cast<std::uint32_t>(id), source, 0.0, weight(choose), 1);
        }
    }
}

TEST(NeuronPack, EvaluatesAsTheRecords)
{
    double sensors[8] = {};
    std::mt19937 choose_packed(5), choose_plain(5);
    network packed[6], plain[6];
    neuron_pack_type pack{};
    for (int k = 0; k < 6; ++k) {
        grow_network(packed[k], choose_packed, sensors);
        grow_network(plain[k], choose_plain, sensors);
    }
    neuron_pack_clear(pack, edits);
    for (network& net : packed) neuron_pack_add(pack, net.head);
    std::mt19937 choose(9);
    for (int round = 0; round < 6; ++round) {
        // Either way of computing tanh, the pack and the records agree; the program's own takes a lane at once.
        const math_type math = round % 2 == 0 ? math_exact : math_system;
        for (double& s : sensors) s = std::uniform_real_distribution<double>(-1.0, 1.0)(choose);
        for (int k = 0; k < 6; ++k) {
            ASSERT_TRUE(neuron_pack_holds(pack, edits, k, packed[k].head)) << k;
            neuron_pack_process(pack, k, math);
            process_neurons(plain[k].head, math);
            for (const neuron_type *a = packed[k].head, *b = plain[k].head; a != nullptr; a = a->next, b = b->next) {
                ASSERT_EQ(a->out, b->out) << "round " << round << " network " << k << " neuron " << a->id;
                ASSERT_EQ(a->next_out, b->next_out) << "round " << round << " network " << k << " neuron " << a->id;
            }
        }
    }
    EXPECT_FALSE(neuron_pack_holds(pack, edits, 1, packed[0].head));
    EXPECT_FALSE(neuron_pack_holds(pack, edits, 6, packed[0].head));

    // Networks reading more sources than fit on the stack, and more than 16
    // bits can number: the last is left to its records, the one after packed.
    std::vector<double> values(70100);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::sin(0.001 * static_cast<double>(i));
    network wide[3], twin[3];
    for (const int sources : {300, 70100, 7}) {
        const int k = sources == 300 ? 0 : sources == 7 ? 2 : 1;
        for (network* net : {&wide[k], &twin[k]}) {
            for (int id = 0; id * 100 < sources; ++id) {
                net->add(static_cast<std::uint32_t>(id), 0.01 * id, 1.0);
                for (int i = id * 100; i < std::min(sources, id * 100 + 100); ++i)
                    neuron_connect(edits, net->head, static_cast<std::uint32_t>(id), &values[static_cast<std::size_t>(i)], 0.0,
                                   0.001 * (i % 97), 1);
            }
        }
    }
    neuron_pack_clear(pack, edits);
    for (network& net : wide) neuron_pack_add(pack, net.head);
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(neuron_pack_holds(pack, edits, k, wide[k].head), k != 1) << k;
        if (k != 1) neuron_pack_process(pack, k, math_exact);
        process_neurons(twin[k].head, math_exact);
        for (const neuron_type *a = wide[k].head, *b = twin[k].head; k != 1 && a != nullptr; a = a->next, b = b->next)
            ASSERT_EQ(a->out, b->out) << "network " << k << " neuron " << a->id;
    }
}

TEST(NeuronReport, PrintsEveryPieceInItsFormat)
{
    network net;
    double source = 0.5;
    neuron_type* three = net.add(3, -0.5);
    neuron_connect(edits, net.head, 3, &source, 0.0, 1.25, 1);
    neuron_connect(edits, net.head, 3, &source, -12.0, 123.456789, 10);
    three->out = 0.25;
    net.add(8, -1.7976931348623157e308);  // the widest value a double prints
    console_capture console;
    show_neuron(net.head, 99);
    source = 0.75;  // the report shows the value now, not a copy
    show_neuron(net.head, 3);
    EXPECT_EQ(console.text(),
              " Neuron ID: 3\n"
              " Source  0.75000   Bias:  0.00000  Scaler:  1.25000  Power:   1\n"
              " Source  0.75000   Bias: -12.00000  Scaler: 123.45679  Power:  10\n"
              "  Sum weight:     1.00000\n"
              "  Prod weight:    0.00000\n"
              "  Last weight:    0.00000\n"
              "  Bias:          -0.50000\n"
              "  Out:            0.25000\n\n");
    show_neuron(net.head, 8);
    const std::string text = console.text();
    const std::size_t bias_at = text.find("  Bias:          -17976931348623157");
    ASSERT_NE(bias_at, std::string::npos);
    EXPECT_EQ(text.find('\n', bias_at) - bias_at, std::string("  Bias:          ").size() + 1 + 309 + 6);
    EXPECT_TRUE(text.ends_with("\n  Out:            0.00000\n\n"));
}
