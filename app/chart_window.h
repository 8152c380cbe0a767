// The "Chart" window: how the population did per generation since the last
// Reset or Open. It redraws its picture only when a generation has ended or
// its size changed, and costs the simulation nothing while hidden.
#pragma once

#include "render/chart.h"

#include <QTabBar>
#include <QWidget>

#include <cstdint>
#include <string>

struct chart_buckets_type;
struct window_state_type;
struct world_type;

class chart_window_widget : public QWidget {
public:
    explicit chart_window_widget(window_state_type& state);

    void follow_world();        // redraws if generations ended or the world was reset since the last picture
    void redraw();
    const QImage& picture() const { return picture_; }
    void show_page(int page);   // 0: evolution, 1: lineages
    std::string mark_at(int x) const;   // what the dashed line at that pixel across marks; empty for none

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    window_state_type& state_;            // whose world and chart buckets it shows
    QTabBar* pages_;                      // "Evolution" and "Lineages"
    QImage picture_;
    std::size_t drawn_generations_ = 0;   // the world's history size in the picture
    std::uint32_t drawn_resets_ = 0;      // the world's resets in the picture
    std::vector<std::pair<double, std::string>> mark_spots_;   // the picture's dashed lines: pixel across, what they mark
};

// The history since the last reset as a chart. Generations are folded into at
// most 1024 buckets per series, each holding the lowest and highest value of
// the generations it covers, and only new generations are folded in, so that
// a redraw costs the same however long the run.
chart_type world_chart(const world_type& world, chart_buckets_type& buckets);
// Each founder line's share of the population since the last reset, its largest lines coloured.
muller_type world_muller(const world_type& world);
void chart_toggle(window_state_type& state);   // the C key and the two menu items' common ground: shown becomes hidden and back
// The generations a chart marks: each change of a setting in the world's run
// and each turn of its seasons, below generations.
std::vector<double> world_marks(const world_type& world, std::size_t generations);
// The same marks, each with its words: "Generation 4: mutate-amount 2", "Generation 3: the season turns".
struct world_mark_type {
    double generation;
    std::string text;
};
std::vector<world_mark_type> world_marks_told(const world_type& world, std::size_t generations);
// The window's chart: the world's, with the line of each other branch of its run from where that branch left.
chart_type window_chart(window_state_type& state);
void chart_show(window_state_type& state, bool shown);
std::string chart_save(window_state_type& state, const std::string& path);   // the chart as a PNG; why it could not be written, or ""
