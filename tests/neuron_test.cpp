#include "neuron/neuron.h"

#include "app/console.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct network {
    neuron_type* head = nullptr;
    ~network() { free_neuron_list(head); }
    void add(std::uint32_t id, double bias = 0.0, double sum_weight = 1.0)
    {
        add_neuron(&head, id, bias, sum_weight, 0.0, 0.0, 0.0, 0.0);
    }
};

}  // namespace

TEST(Neuron, AddsClearedRecordsNewestFirstAndRefusesDuplicates)
{
    network net;
    add_neuron(&net.head, 4, 0.5, 2.0, 3.0, 4.0, 5.0, 6.0);
    net.add(9);
    ASSERT_NE(net.head, nullptr);
    EXPECT_EQ(net.head->id, 9u);
    const neuron_type* first = net.head->next;
    EXPECT_EQ(first->id, 4u);
    // The doubles land in their fields in the argument order bias, sum, prod, spare 2, 1, 3.
    EXPECT_EQ(first->bias + 10 * first->sum_weight + 100 * first->prod_weight + 1e3 * first->spare_weight_2 +
                  1e4 * first->spare_weight_1 + 1e5 * first->spare_weight_3,
              0.5 + 20 + 300 + 4e3 + 5e4 + 6e5);
    EXPECT_EQ(first->last_weight + first->out + first->input_count, 0.0);

    console_capture console;
    neuron_type* before = net.head;
    net.add(4, 9.0);
    EXPECT_EQ(console.text(), "Neuron ID in use\n");
    EXPECT_EQ(net.head, before);
    EXPECT_EQ(get_neuron(net.head, 4)->bias, 0.5);
}

TEST(Neuron, ConnectIgnoresNullSourcesUnknownIdsAndTheHundredAndFirstInput)
{
    network net;
    net.add(1);
    double value = 0.25;
    neuron_connect(net.head, 1, nullptr, 0.0, 1.0, 1);
    neuron_connect(net.head, 2, &value, 0.0, 1.0, 1);
    EXPECT_EQ(net.head->input_count, 0u);
    for (int i = 0; i < 101; ++i) neuron_connect(net.head, 1, &value, 0.5, i, 3);
    EXPECT_EQ(net.head->input_count, 100u);
    EXPECT_EQ(net.head->scaler[99], 99.0);
    EXPECT_EQ(net.head->input_bias[0], 0.5);
    EXPECT_EQ(net.head->power[0], 3);
    EXPECT_EQ(net.head->source[42], &value);

    EXPECT_EQ(get_neuron(net.head, 77), nullptr);
    EXPECT_EQ(get_neuron(nullptr, 1), nullptr);
    process_neurons(nullptr);
    free_neuron_list(nullptr);
}

TEST(Neuron, EvaluatesInTwoPhasesWithTanh)
{
    network net;
    double input = 0.5;
    net.add(0, -0.2, 2.0);
    neuron_connect(net.head, 0, &input, 123.0, 1.5, 7);  // input bias and power take no part
    net.head->prod_weight = 42.0;
    net.add(1, 0.3);  // no inputs: tanh of its bias
    process_neurons(net.head);
    EXPECT_NEAR(get_neuron(net.head, 0)->out, 0.8617231593, 1e-10);
    EXPECT_EQ(get_neuron(net.head, 0)->out, std::tanh(1.3));
    EXPECT_EQ(get_neuron(net.head, 1)->out, std::tanh(0.3));

    // A -> B: B sees A's output from before the evaluation, whatever the list order.
    for (bool b_first : {false, true}) {
        network chain;
        double sensor = 2.0;
        const std::uint32_t a_id = 10, b_id = 20;
        if (b_first) {
            chain.add(a_id);
            chain.add(b_id);
        } else {
            chain.add(b_id);
            chain.add(a_id);
        }
        neuron_type* a = get_neuron(chain.head, a_id);
        neuron_type* b = get_neuron(chain.head, b_id);
        neuron_connect(chain.head, a_id, &sensor, 0.0, 1.0, 1);
        neuron_connect(chain.head, b_id, &a->out, 0.0, 1.0, 1);
        process_neurons(chain.head);
        EXPECT_EQ(a->out, std::tanh(2.0));
        EXPECT_EQ(b->out, 0.0);
        process_neurons(chain.head);
        EXPECT_EQ(b->out, std::tanh(std::tanh(2.0)));
    }

    // Outputs stay in [-1, 1] however large the sums grow.
    network big;
    double huge = 1e300;
    big.add(0, 0.0, 1e10);
    for (int i = 0; i < 100; ++i) neuron_connect(big.head, 0, &huge, 0.0, 1e10, 1);
    process_neurons(big.head);
    EXPECT_LE(big.head->out, 1.0);
    EXPECT_GE(big.head->out, -1.0);
}

TEST(NeuronReport, PrintsEveryPieceInItsFormat)
{
    network net;
    double source = 0.5;
    net.add(3, -0.5);
    neuron_connect(net.head, 3, &source, 0.0, 1.25, 1);
    neuron_connect(net.head, 3, &source, -12.0, 123.456789, 10);
    net.head->out = 0.25;
    net.add(8, 1.0);
    console_capture console;
    show_neuron(net.head, 99);  // absent: nothing
    EXPECT_EQ(console.text(), "");
    source = 0.75;  // the report shows the value now, not a copy
    show_neuron(net.head, 3);
    show_neuron(net.head, 8);
    EXPECT_EQ(console.text(),
              " Neuron ID: 3\n"
              " Source  0.75000   Bias:  0.00000  Scaler:  1.25000  Power:   1\n"
              " Source  0.75000   Bias: -12.00000  Scaler: 123.45679  Power:  10\n"
              "  Sum weight:     1.00000\n"
              "  Prod weight:    0.00000\n"
              "  Last weight:    0.00000\n"
              "  Bias:          -0.50000\n"
              "  Out:            0.25000\n\n"
              " Neuron ID: 8\n"
              "  Sum weight:     1.00000\n"
              "  Prod weight:    0.00000\n"
              "  Last weight:    0.00000\n"
              "  Bias:           1.00000\n"
              "  Out:            0.00000\n\n");

    // The widest value a double prints is written whole.
    get_neuron(net.head, 8)->bias = -1.7976931348623157e308;
    const std::size_t start = console.text().size();
    show_neuron(net.head, 8);
    const std::string text = console.text().substr(start);
    const std::size_t bias_at = text.find("  Bias:          -17976931348623157");
    ASSERT_NE(bias_at, std::string::npos);
    EXPECT_EQ(text.find('\n', bias_at) - bias_at, std::string("  Bias:          ").size() + 1 + 309 + 6);
}

TEST(NeuronDeathTest, ExhaustedHeapStopsTheProgramWithItsLine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto add_without_memory = [] {
        h_console = 2;  // the death test reads standard error
        simulate_heap_exhaustion();
        neuron_type* head = nullptr;
        add_neuron(&head, 1, 0, 1, 0, 0, 0, 0);
    };
    EXPECT_EXIT(add_without_memory(), testing::ExitedWithCode(1), "^Unable to get neuron memory \n$");
}
