#include "app/chart_window.h"

#include "app/window_state.h"
#include "base/utility.h"
#include "cli/summary.h"
#include "render/surface.h"
#include "world/timeline.h"
#include "world/world.h"

#include <QFile>
#include <QFileDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

chart_window_widget::chart_window_widget(window_state_type& state)
    : QWidget(nullptr, Qt::Window), state_(state), pages_(new QTabBar(this))
{
    setWindowTitle("Chart");
    setAttribute(Qt::WA_OpaquePaintEvent);
    pages_->addTab("Evolution");
    pages_->addTab("Lineages");
    connect(pages_, &QTabBar::currentChanged, this, [this] { redraw(); });
    setMouseTracking(true);   // a dashed line names itself under the pointer
    // Beside the main window and below the Neuron window, on a 1280 x 800 screen.
    move(780, 300);
    resize(480, 320);
    setMinimumSize(320, 240);   // room for the axes and the legend, docked or not
}

void chart_window_widget::show_page(int page) { pages_->setCurrentIndex(page); }

void chart_window_widget::follow_world()
{
    const world_type& world = state_.world;
    if (!isVisible() || (world.history.size() == drawn_generations_ && world.resets == drawn_resets_)) return;
    redraw();
}

void chart_window_widget::redraw()
{
    const world_type& world = state_.world;
    drawn_generations_ = world.history.size();
    drawn_resets_ = world.resets;
    const int below = pages_->sizeHint().height();
    pages_->setGeometry(0, 0, width(), below);
    const int w = std::max(width(), 1), h = std::max(height() - below, 1);
    std::vector<world_mark_type> told;   // in the order of the picture's marks
    std::vector<double> pixels;
    if (pages_->currentIndex() == 1) {
        const muller_type muller = world_muller(world);
        told = world_marks_told(world, world.history.size());
        picture_ = muller_image(muller, w, h);
        pixels = muller_mark_pixels(muller, w, h, font());
    } else {
        const chart_type chart = window_chart(state_);
        picture_ = chart_image(chart, w, h);
        pixels = chart_mark_pixels(QRect(0, 0, w, h), chart, font());
        told = world_marks_told(world, std::max(chart.generations, world.history.size()) + 1);
    }
    mark_spots_.clear();
    for (std::size_t k = 0; k < pixels.size() && k < told.size(); ++k)
        if (!std::isnan(pixels[k])) mark_spots_.emplace_back(pixels[k], told[k].text);
    update();
}

void chart_window_widget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, pages_->height(), picture_);
}

std::string chart_window_widget::mark_at(int x) const
{
    std::string found;
    double nearest = 4.0;   // pixels: a dashed line is hard to hit exactly
    for (const auto& [at, text] : mark_spots_)
        if (std::fabs(at - x) <= nearest) {
            nearest = std::fabs(at - x);
            found = text;
        }
    return found;
}

void chart_window_widget::mouseMoveEvent(QMouseEvent* event)
{
    const std::string text = mark_at(event->position().toPoint().x());
    if (text.empty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPosition().toPoint(), QString::fromStdString(text), this);
    }
}

void chart_window_widget::resizeEvent(QResizeEvent*)
{
    if (isVisible()) redraw();
}

chart_type world_chart(const world_type& world, chart_buckets_type& folding)
{
    constexpr std::size_t series = chart_buckets_type::series, most_buckets = chart_buckets_type::most_buckets;
    using bucket_type = chart_buckets_type::bucket_type;
    std::vector<bucket_type>& buckets = folding.buckets;
    std::size_t& bucket_size = folding.bucket_size;
    std::size_t& folded = folding.folded;
    if (folding.resets != world.resets || folded > world.history.size()) {
        buckets.clear();
        bucket_size = 1;
        folded = 0;
        folding.resets = world.resets;
    }
    for (; folded < world.history.size(); ++folded) {
        const generation_record_type& r = world.history[folded];
        const double values[series] = {r.food_per_animal, r.ave_food, static_cast<double>(r.best_food)};
        if (folded % bucket_size == 0) buckets.push_back(bucket_type{});
        bucket_type& b = buckets.back();
        for (std::size_t s = 0; s < series; ++s) {
            b.low[s] = folded % bucket_size == 0 ? values[s] : std::min(b.low[s], values[s]);
            b.high[s] = folded % bucket_size == 0 ? values[s] : std::max(b.high[s], values[s]);
        }
        if (buckets.size() > most_buckets && (folded + 1) % (2 * bucket_size) == 0) {
            for (std::size_t i = 0; i < buckets.size() / 2; ++i)
                for (std::size_t s = 0; s < series; ++s) {
                    buckets[i].low[s] = std::min(buckets[2 * i].low[s], buckets[2 * i + 1].low[s]);
                    buckets[i].high[s] = std::max(buckets[2 * i].high[s], buckets[2 * i + 1].high[s]);
                }
            buckets.resize(buckets.size() / 2);
            bucket_size *= 2;
        }
    }
    chart_type chart{"Evolution since the last reset", "generation", "food (plants eaten)", {}, world.history.size(), {}};
    chart.series = {chart_series_type{"food per animal", 0x1F77B4, {}, {}, {}, {}, {}},
                    chart_series_type{"running mean", 0xD62728, {}, {}, {}, {}, {}},
                    chart_series_type{"best animal", 0x2CA02C, {}, {}, {}, {}, {}}};
    for (std::size_t s = 0; s < series; ++s) {
        chart_series_type& line = chart.series[s];
        for (const bucket_type& b : buckets) {
            line.values.push_back(b.low[s]);
            if (bucket_size > 1) line.values.push_back(b.high[s]);  // both ends of the bucket's range
        }
    }
    if (!world.history.empty()) {
        const generation_record_type& last = world.history.back();
        chart.series[0].latest = last.food_per_animal;
        chart.series[1].latest = last.ave_food;
        chart.series[2].latest = last.best_food;
    }
    return chart;
}

void chart_show(window_state_type& state, bool shown)
{
    if (state.chart_window == nullptr) return;
    window_panel_show(state.chart_window, shown);
    if (shown) state.chart_window->redraw();
}

void chart_toggle(window_state_type& state)
{
    if (state.chart_window != nullptr) chart_show(state, !window_panel_shown(state.chart_window));
}

std::vector<world_mark_type> world_marks_told(const world_type& world, std::size_t generations)
{
    std::vector<world_mark_type> marks;
    // The changes of settings; the window's actions (steering above all) are too many to mark.
    for (const run_event_type& event : world.run.events)
        if (event.kind == event_setting && event.generation < generations) {
            char value[64];
            format_c(value, sizeof value, "%g", event.value);
            const std::string change = std::string(setting_row(event.setting).name) + " " + value;
            if (!marks.empty() && marks.back().generation == event.generation) {
                marks.back().text += ", " + change;
            } else {
                marks.push_back({static_cast<double>(event.generation), "Generation " + std::to_string(event.generation) + ": " + change});
            }
        }
    // A season turns where its plant count stops rising or falling.
    const seasons_type& seasons = world.seasons;
    const std::uint32_t period = static_cast<std::uint32_t>(seasons.period);
    if (period > 0 && seasons.low != seasons.high)
        for (std::uint32_t start = 0; start < generations; start += period) {
            const std::uint32_t turns[2] = {seasons.square ? 0 : period / 4, seasons.square ? period / 2 : 3 * period / 4};
            for (const std::uint32_t turn : turns)
                if (start + turn < generations && start + turn > 0)
                    marks.push_back({static_cast<double>(start + turn), "Generation " + std::to_string(start + turn) + ": the season turns"});
        }
    std::stable_sort(marks.begin(), marks.end(), [](const world_mark_type& a, const world_mark_type& b) { return a.generation < b.generation; });
    return marks;
}

std::vector<double> world_marks(const world_type& world, std::size_t generations)
{
    std::vector<double> marks;
    for (const world_mark_type& mark : world_marks_told(world, generations)) marks.push_back(mark.generation);
    return marks;
}

chart_type window_chart(window_state_type& state)
{
    chart_type chart = world_chart(state.world, state.chart_buckets);
    chart.marks = world_marks(state.world, std::max(chart.generations, state.world.history.size()) + 1);
    // Each other branch's food per animal, from where it parts from the shown one.
    const timeline_type& timeline = state.session.timeline;
    static const std::uint32_t colours[] = {0x9467BD, 0x8C564B, 0xE377C2, 0x7F7F7F, 0xBCBD22, 0x17BECF};
    std::size_t shown = 0;
    for (std::size_t b = 0; b < timeline.branches.size(); ++b) {
        if (b == timeline.current) continue;
        const timeline_branch_type& branch = timeline.branches[b];
        const std::vector<generation_record_type>& history = timeline_history(timeline, state.world, b);
        // Drawn from where its course and the shown branch's part.
        const std::vector<run_event_type>& mine = timeline.branches[timeline.current].events;
        std::size_t same = 0;
        while (same < mine.size() && same < branch.events.size() && mine[same] == branch.events[same]) ++same;
        std::uint32_t parted = branch.reach.generation;
        if (same < mine.size()) parted = std::min(parted, mine[same].generation);
        if (same < branch.events.size()) parted = std::min(parted, branch.events[same].generation);
        const std::size_t from = std::min<std::size_t>(parted, history.size());
        if (from >= history.size()) continue;
        chart_series_type line{"branch " + std::to_string(branch.number), colours[shown++ % std::size(colours)], {}, {}, {}, {}, from};
        for (std::size_t g = from; g < history.size(); ++g) line.values.push_back(history[g].food_per_animal);
        chart.series.push_back(std::move(line));
    }
    return chart;
}

std::string chart_save(window_state_type& state, const std::string& path)
{
    return surface_save_png(chart_image(window_chart(state), 960, 600), path);
}

muller_type world_muller(const world_type& world)
{
    // Each generation's largest lines, as its record keeps them.
    std::vector<std::vector<std::pair<std::uint64_t, double>>> lines_at(world.history.size());
    std::vector<double> population;
    for (std::size_t g = 0; g < world.history.size(); ++g) {
        const generation_record_type& record = world.history[g];
        population.push_back(record.animals);
        for (std::size_t k = 0; k < 8 && record.line_animals[k] > 0; ++k) lines_at[g].emplace_back(record.line_founders[k], record.line_animals[k]);
    }
    const std::uint32_t horizon = static_cast<std::uint32_t>(std::max(world.line_horizon, 0));
    const line_bands_type bands = line_bands(lines_at, std::move(population), horizon, muller_colours);
    muller_type muller = muller_of(line_bands_title(horizon), bands.labels, bands.counts, bands.population);
    muller.marks = world_marks(world, world.history.size());
    return muller;
}
