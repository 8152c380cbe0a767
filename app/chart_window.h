// The "Chart" window: how the population did per generation since the last
// Reset or Open. It redraws its picture only when a generation has ended or
// its size changed, and costs the simulation nothing while hidden.
#pragma once

#include "render/chart.h"

#include <QTabBar>
#include <QWidget>

#include <cstdint>
#include <string>

class chart_window_widget : public QWidget {
public:
    chart_window_widget();

    void follow_world();        // redraws if generations ended or the world was reset since the last picture
    void redraw();
    const QImage& picture() const { return picture_; }
    void show_page(int page);   // 0: evolution, 1: lineages

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTabBar* pages_;                      // "Evolution" and "Lineages"
    QImage picture_;
    std::size_t drawn_generations_ = 0;   // world->history size of the picture
    std::uint32_t drawn_resets_ = 0;      // world->resets of the picture
};

extern chart_window_widget* chart_window;   // made once at start-up; null before

// The history since the last reset as a chart. Generations are folded into at
// most 1024 buckets per series, each holding the lowest and highest value of
// the generations it covers, and only new generations are folded in, so that
// a redraw costs the same however long the run.
chart_type world_chart();
// Each founder line's share of the population since the last reset, its largest lines coloured.
muller_type world_muller();
void chart_toggle();        // the C key and the two menu items' common ground: shown becomes hidden and back
void chart_show(bool shown);
bool chart_save(const std::string& path);   // the chart as a PNG; false when it cannot be written

// Asks where to save the chart; empty when cancelled. Tests put their own answer here.
extern std::string (*chart_file_dialog)();
