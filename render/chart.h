// Line charts of values per generation: the evolution chart of the window
// and the summary plots of many runs. Drawing time is bounded by the chart's
// width, however many generations it shows.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QPainter;

struct chart_series_type {
    std::string name;            // legend text
    std::uint32_t colour;        // 0xRRGGBB
    std::vector<double> values;  // one per generation, the first for generation 0
    std::vector<double> low;     // band below and above the line, one per value; empty for none
    std::vector<double> high;
    std::optional<double> latest;  // shown in the legend; the last value when unset
    // Set: a line of its own that starts later, values[i] at generation
    // *from + i (another branch of the run from where it left); unset: one of
    // the chart's lines, all of one length.
    std::optional<std::size_t> from;
};

struct chart_type {
    std::string title;
    std::string x_label;
    std::string y_label;
    std::vector<chart_series_type> series;  // all of the same length
    std::size_t generations = 0;  // the x axis runs to this; 0: one generation per value
    std::vector<double> marks;    // generations marked by a dashed line: changes of the run, turns of its seasons
};

// Round tick values for the range [low, high]: about count of them, spaced
// 1, 2 or 5 times a power of ten.
std::vector<double> chart_ticks(double low, double high, int count);

void chart_draw(QPainter& painter, const QRect& area, const chart_type& chart);
// Where each mark's dashed line is drawn, in pixels across; NaN for one not drawn.
std::vector<double> chart_mark_pixels(const QRect& area, const chart_type& chart, const QFont& font);
QImage chart_image(const chart_type& chart, int width, int height);

// A Muller plot: over the generations, each line's share of the population
// as stacked bands, the largest lines coloured from the bottom up and all
// the others together in grey on top.
struct muller_type {
    std::string title;
    std::vector<std::string> lines;            // the coloured lines' legends, largest first; at most muller_colours
    std::vector<std::vector<double>> shares;   // per line, per generation: its share of the population, 0 to 1
    std::vector<double> marks;                 // generations marked by a dashed line, as a chart's
};
inline constexpr std::size_t muller_colours = 8;
QImage muller_image(const muller_type& muller, int width, int height);
std::vector<double> muller_mark_pixels(const muller_type& muller, int width, int height, const QFont& font);

// The largest lines of counts[line][generation] out of population[generation],
// as a Muller plot of them.
muller_type muller_of(const std::string& title, const std::vector<std::string>& lines,
                      const std::vector<std::vector<double>>& counts, const std::vector<double>& population);
