#include "app/inspector.h"

#include "animal/animal.h"
#include "app/window_state.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "render/world_view.h"
#include "world/world.h"
#include "world/world_file.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int margin = 10;
constexpr int line_height = 16;
constexpr int bar_height = 11;
constexpr int bar_width = 120;   // pixels for a value of 1 either way

QColor gene_colour(double value, double largest)
{
    const int shade = static_cast<int>(255.0 * (1.0 - std::min(std::fabs(value) / largest, 1.0)));
    return value >= 0 ? QColor(shade, shade, 255) : QColor(255, shade, shade);
}

}  // namespace

inspector_widget::inspector_widget(window_state_type& state) : QWidget(nullptr, Qt::Window), state_(state)
{
    setWindowTitle("Animal");
    // Beside the main window, over the Chart window: it is shown only when asked for.
    move(780, 40);
    resize(460, 700);
    setMinimumSize(2 * margin + 90 + 2 * bar_width + 60, 400);   // room for the bars and their values, docked or not
    auto* copy = new QPushButton("Copy Genes", this);
    copy_ = copy;
    copy_->move(width() - 120, margin);
    connect(copy, &QPushButton::clicked, [this] { inspector_copy_genes(state_); });
}

animal_type* inspector_animal(const world_type& world, const view_type& view)
{
    animal_type* selected = view_selected(world, view);
    return selected != nullptr ? selected : world.animals;
}

std::vector<std::string> inspector_lines(const world_type& world, const animal_type* animal)
{
    char line[160];
    std::vector<std::string> lines;
    format_c(line, sizeof line, "Animal %llu", static_cast<unsigned long long>(animal->id));
    lines.emplace_back(line);
    if (animal->parent_a == 0) {
        lines.emplace_back("A founder");
    } else {
        format_c(line, sizeof line, "Parents %llu and %llu", static_cast<unsigned long long>(animal->parent_a),
                 static_cast<unsigned long long>(animal->parent_b));
        lines.emplace_back(line);
    }
    format_c(line, sizeof line, "Born in generation %u, survived %u generations", animal->born,
             world.generation >= animal->born ? world.generation - animal->born : 0u);
    lines.emplace_back(line);
    format_c(line, sizeof line, "Food %d, wall hits %d this generation", animal->food, animal->wall_hits);
    lines.emplace_back(line);
    return lines;
}

std::vector<inspector_bar_type> inspector_bars(const animal_type* animal)
{
    std::vector<inspector_bar_type> bars;
    char label[32];
    for (int k = 0; k < animal_touch_count; ++k) {
        const sensor_type& s = animal->touch[k];
        for (const auto& [what, value] : {std::pair{"wall", s.wall}, {"plant", s.plant}, {"animal", s.animal}}) {
            format_c(label, sizeof label, "%s %d", what, k + 1);
            bars.push_back({label, value});
        }
    }
    for (int j = 0; j < animal_vision_count; ++j) {
        format_c(label, sizeof label, "vision %d", j + 1);
        bars.push_back({label, animal->vision[j].plant});
    }
    bars.push_back({"left motor", animal->left_motor});
    bars.push_back({"right motor", animal->right_motor});
    return bars;
}

void inspector_widget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const animal_type* animal = inspector_animal(state_.world, state_.view);
    if (animal == nullptr) {
        painter.drawText(margin, margin + line_height, "No animal");
        return;
    }
    int y = margin + line_height;
    for (const std::string& line : inspector_lines(state_.world, animal)) {
        painter.drawText(margin, y, QString::fromStdString(line));
        y += line_height;
    }
    // Senses and motors: a bar either way from the middle, its value beside it.
    const int middle = margin + 90 + bar_width;
    for (const inspector_bar_type& bar : inspector_bars(animal)) {
        painter.setPen(Qt::black);
        painter.drawText(margin, y + bar_height - 2, QString::fromStdString(bar.label));
        const int length = static_cast<int>(std::clamp(bar.value, -1.0, 1.0) * bar_width);
        painter.fillRect(length >= 0 ? middle : middle + length, y, std::abs(length), bar_height - 2,
                         bar.value >= 0 ? QColor(0, 0, 255) : QColor(255, 0, 0));
        painter.drawLine(middle, y - 1, middle, y + bar_height - 1);
        painter.drawText(middle + bar_width + 6, y + bar_height - 2, QString::number(bar.value, 'f', 3));
        y += bar_height;
    }
    // Genes: one block per layer, a row per neuron, a column per input and its bias last.
    double largest = 1e-9;
    for (const neuron_type* n = animal->neurons; n != nullptr; n = n->next) {
        largest = std::max(largest, std::fabs(n->bias));
        for (std::uint32_t i = 0; i < n->input_count; ++i) largest = std::max(largest, std::fabs(n->scaler[i]));
    }
    y += line_height;
    painter.drawText(margin, y, QString("Genes (blue positive, red negative; full colour at %1)").arg(largest, 0, 'g', 3));
    y += 4;
    const int width = static_cast<int>(animal->layer_width);
    const int layers = static_cast<int>(animal->layer_count) + 1;
    const int cell = std::max(2, std::min(12, (this->width() - 2 * margin) / (static_cast<int>(neuron_max_inputs) / 4 + 1)));
    for (int layer = 0; layer < layers; ++layer) {
        const std::uint32_t first = static_cast<std::uint32_t>(layer * width);
        const std::uint32_t count = layer + 1 == layers ? 2u : static_cast<std::uint32_t>(width);
        for (std::uint32_t row = 0; row < count; ++row) {
            const neuron_type* n = get_neuron(const_cast<neuron_type*>(animal->neurons), first + row);
            if (n == nullptr) continue;
            for (std::uint32_t i = 0; i <= n->input_count; ++i)
                painter.fillRect(margin + static_cast<int>(i) * cell, y + static_cast<int>(row) * cell, cell, cell,
                                 gene_colour(i < n->input_count ? n->scaler[i] : n->bias, largest));
        }
        y += static_cast<int>(count) * cell + 4;
    }
    // The scale: from the most negative gene to the most positive.
    for (int x = 0; x < 200; ++x) painter.fillRect(margin + x, y, 1, 8, gene_colour((x - 100) / 100.0 * largest, largest));
}

void inspector_show(window_state_type& state)
{
    if (state.inspector == nullptr) state.inspector = new inspector_widget(state);
    window_panel_show(state.inspector, true);
}

void inspector_copy_genes(const window_state_type& state)
{
    if (const animal_type* animal = inspector_animal(state.world, state.view))
        QApplication::clipboard()->setText(QString::fromStdString(world_file_block(animal)));
}

void inspector_widget::resizeEvent(QResizeEvent*) { copy_->move(width() - 120, margin); }

void inspector_follow(inspector_widget& inspector)
{
    if (inspector.isVisible()) inspector.update();
}
