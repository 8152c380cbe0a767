#include "render/chart.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QColor rgb(std::uint32_t colour) { return QColor(QRgb(0xFF000000u | colour)); }

QString number_text(double value, double step)
{
    const int decimals = step >= 1 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(step))));
    return QString::number(value, 'f', decimals);
}

// One pixel column's share of a series: the lowest and highest of the line
// and its band over the generations that fall in it.
struct column_type {
    double line_low, line_high, band_low, band_high;
};

std::vector<column_type> columns_of(const chart_series_type& series, int width)
{
    const std::size_t n = series.values.size();
    const std::size_t columns = std::min<std::size_t>(n, static_cast<std::size_t>(std::max(width, 1)));
    std::vector<column_type> out(columns, column_type{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                                      std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
    for (std::size_t i = 0; i < n; ++i) {
        column_type& c = out[i * columns / n];
        c.line_low = std::min(c.line_low, series.values[i]);
        c.line_high = std::max(c.line_high, series.values[i]);
        const bool band = series.low.size() == n && series.high.size() == n;
        c.band_low = std::min(c.band_low, band ? series.low[i] : series.values[i]);
        c.band_high = std::max(c.band_high, band ? series.high[i] : series.values[i]);
    }
    return out;
}

}  // namespace

std::vector<double> chart_ticks(double low, double high, int count)
{
    if (!(high > low)) high = low + 1.0;
    const double raw = (high - low) / std::max(count, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= raw) break;
    }
    std::vector<double> ticks;
    for (double tick = std::ceil(low / step) * step; tick <= high + step * 1e-9; tick += step)
        ticks.push_back(std::abs(tick) < step * 1e-9 ? 0.0 : tick);
    return ticks;
}

namespace {

// Where a chart's plot lies in its area, and the generation at its right end.
struct chart_frame_type {
    QRect plot;
    double last = 1.0;         // the generation at the plot's right edge
    double per_value = 1.0;    // generations a value stands for
    std::size_t values = 0;    // of the chart's own lines
    std::vector<QPoint> legend;   // where each series' legend entry starts; y counts rows above the plot
};

// A legend entry's text: the series' name and its latest value.
QString legend_text(const chart_series_type& s)
{
    const std::optional<double> latest = s.latest ? s.latest : s.values.empty() ? std::nullopt : std::optional<double>(s.values.back());
    return QString::fromStdString(s.name) + (latest ? QStringLiteral(": ") + QString::number(*latest, 'f', 3) : QString());
}

constexpr int swatch = 16;        // a legend entry's coloured line, then its text
constexpr int swatch_gap = 4;
constexpr int entry_gap = 16;     // between two entries of a row

// Where each legend entry starts: left to right from the plot's left edge,
// a new row where the next would pass its right edge; y counts rows.
std::vector<QPoint> legend_places(const chart_type& chart, int left, int right, const QFontMetrics& metrics)
{
    std::vector<QPoint> places;
    int x = left, row = 0;
    for (const chart_series_type& s : chart.series) {
        const int width = swatch + swatch_gap + metrics.horizontalAdvance(legend_text(s));
        if (x > left && x + width > right) {
            x = left;
            ++row;
        }
        places.emplace_back(x, row);
        x += width + entry_gap;
    }
    return places;
}

chart_frame_type chart_frame(const QRect& area, const chart_type& chart, const QFontMetrics& metrics)
{
    const int line = metrics.height();
    chart_frame_type frame;
    frame.plot = area.adjusted(metrics.horizontalAdvance("00000000") + line, 2 * line, -line, -3 * line);
    // The legend's rows sit between the title and the plot, so no curve runs under them.
    frame.legend = legend_places(chart, frame.plot.left(), frame.plot.right(), metrics);
    if (!frame.legend.empty()) frame.plot.setTop(frame.plot.top() + (frame.legend.back().y() + 1) * line);
    std::size_t& n = frame.values;
    for (const chart_series_type& s : chart.series)
        if (!s.from) n = std::max(n, s.values.size());
    // Values may stand for more generations than there are of them (a long
    // history folded into its lowest and highest values).
    frame.per_value = chart.generations > n && n > 0 ? static_cast<double>(chart.generations) / n : 1.0;
    std::size_t extent = std::max(chart.generations, n);
    for (const chart_series_type& s : chart.series)
        if (s.from) extent = std::max(extent, *s.from + s.values.size());
    frame.last = std::max<double>(static_cast<double>(extent) - 1.0, 1.0);
    return frame;
}

}  // namespace

std::vector<double> chart_mark_pixels(const QRect& area, const chart_type& chart, const QFont& font)
{
    const chart_frame_type frame = chart_frame(area, chart, QFontMetrics(font));
    std::vector<double> pixels;
    for (const double mark : chart.marks)
        pixels.push_back(mark >= 0.0 && mark <= frame.last ? frame.plot.left() + mark / frame.last * frame.plot.width()
                                                           : std::numeric_limits<double>::quiet_NaN());
    return pixels;
}

void chart_draw(QPainter& painter, const QRect& area, const chart_type& chart)
{
    painter.save();
    painter.fillRect(area, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QFontMetrics metrics(painter.font());
    const int line = metrics.height();
    const chart_frame_type frame = chart_frame(area, chart, metrics);
    const QRect plot = frame.plot;
    double low = 0.0, high = 0.0;
    for (const chart_series_type& s : chart.series)
        for (const auto* values : {&s.values, &s.low, &s.high})
            for (double v : *values) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
    std::vector<double> y_ticks = chart_ticks(low, high, 6);
    // The axis ends on a round value at or above the highest one.
    if (y_ticks.size() > 1 && y_ticks.back() < high) y_ticks.push_back(y_ticks.back() + (y_ticks[1] - y_ticks[0]));
    low = std::min(low, y_ticks.front());
    high = std::max({high, y_ticks.back(), low + 1e-9});
    const double per_value = frame.per_value, last = frame.last;
    const auto x_of = [&](double index) { return plot.left() + index * per_value / last * plot.width(); };
    const auto x_of_generation = [&](double generation) { return plot.left() + generation / last * plot.width(); };
    const auto y_of = [&](double value) { return plot.bottom() - (value - low) / (high - low) * plot.height(); };

    painter.setPen(QColor(225, 225, 225));
    const double y_step = y_ticks.size() > 1 ? y_ticks[1] - y_ticks[0] : 1.0;
    for (double tick : y_ticks) {
        painter.drawLine(QPointF(plot.left(), y_of(tick)), QPointF(plot.right(), y_of(tick)));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), y_of(tick) - line / 2.0, plot.left() - area.left() - 4, line),
                         Qt::AlignRight | Qt::AlignVCenter, number_text(tick, y_step));
        painter.setPen(QColor(225, 225, 225));
    }
    const std::vector<double> x_ticks = chart_ticks(0.0, last, 8);
    for (double tick : x_ticks) {
        if (tick != std::floor(tick)) continue;  // generations are whole
        painter.drawLine(QPointF(x_of_generation(tick), plot.top()), QPointF(x_of_generation(tick), plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x_of_generation(tick) - 40, plot.bottom() + 2, 80, line), Qt::AlignHCenter | Qt::AlignTop,
                         QString::number(static_cast<long long>(tick)));
        painter.setPen(QColor(225, 225, 225));
    }
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    painter.setPen(QPen(QColor(90, 90, 160), 1, Qt::DashLine));
    for (const double mark : chart.marks)
        if (mark >= 0.0 && mark <= last) painter.drawLine(QPointF(x_of_generation(mark), plot.top()), QPointF(x_of_generation(mark), plot.bottom()));
    painter.setPen(Qt::black);
    painter.drawText(QRect(plot.left(), plot.bottom() + line + 2, plot.width(), line), Qt::AlignHCenter,
                     QString::fromStdString(chart.x_label));
    painter.drawText(QRect(area.left(), area.top(), area.width(), line), Qt::AlignHCenter | Qt::AlignTop,
                     QString::fromStdString(chart.title));
    painter.save();
    painter.translate(area.left() + 2, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-plot.height() / 2, 0, plot.height(), line), Qt::AlignHCenter | Qt::AlignTop,
                     QString::fromStdString(chart.y_label));
    painter.restore();

    // Bands first, then lines, each one segment per pixel column when there are more generations than columns.
    painter.setClipRect(plot.adjusted(0, -1, 1, 1));
    for (int pass = 0; pass < 2; ++pass) {
        for (const chart_series_type& s : chart.series) {
            if (s.values.empty()) continue;
            const bool banded = s.low.size() == s.values.size() && s.high.size() == s.values.size();
            if (pass == 0 && !banded) continue;
            QColor colour = rgb(s.colour);
            if (pass == 0) colour.setAlpha(60);
            painter.setPen(QPen(colour, pass == 0 || s.from ? 1 : 2));
            if (s.from) {
                for (std::size_t i = 1; i < s.values.size(); ++i)
                    painter.drawLine(QPointF(x_of_generation(static_cast<double>(*s.from + i - 1)), y_of(s.values[i - 1])),
                                     QPointF(x_of_generation(static_cast<double>(*s.from + i)), y_of(s.values[i])));
                continue;
            }
            const std::vector<column_type> columns = columns_of(s, plot.width());
            if (columns.size() < s.values.size()) {
                for (std::size_t c = 0; c < columns.size(); ++c) {
                    const double x = plot.left() + static_cast<double>(c);
                    const double from = pass == 0 ? columns[c].band_low : columns[c].line_low;
                    const double to = pass == 0 ? columns[c].band_high : columns[c].line_high;
                    painter.drawLine(QPointF(x, y_of(from)), QPointF(x, y_of(to)));
                }
                continue;
            }
            if (pass == 0) {
                QPainterPath band;
                band.moveTo(x_of(0), y_of(s.high[0]));
                for (std::size_t i = 1; i < s.values.size(); ++i) band.lineTo(x_of(static_cast<double>(i)), y_of(s.high[i]));
                for (std::size_t i = s.values.size(); i-- > 0;) band.lineTo(x_of(static_cast<double>(i)), y_of(s.low[i]));
                band.closeSubpath();
                painter.fillPath(band, colour);
                continue;
            }
            for (std::size_t i = 1; i < s.values.size(); ++i)
                painter.drawLine(QPointF(x_of(static_cast<double>(i - 1)), y_of(s.values[i - 1])),
                                 QPointF(x_of(static_cast<double>(i)), y_of(s.values[i])));
            if (s.values.size() == 1) painter.drawPoint(QPointF(x_of(0), y_of(s.values[0])));
        }
    }
    painter.setClipping(false);
    // The legend, in rows above the plot.
    for (std::size_t k = 0; k < frame.legend.size(); ++k) {
        const int x = frame.legend[k].x(), y = area.top() + line + line / 2 + frame.legend[k].y() * line;
        painter.fillRect(QRect(x, y + line / 2 - 2, swatch, 4), rgb(chart.series[k].colour));
        painter.setPen(Qt::black);
        painter.drawText(QRect(x + swatch + swatch_gap, y, plot.right() - x, line), Qt::AlignLeft | Qt::AlignVCenter,
                         legend_text(chart.series[k]));
    }
    painter.restore();
}

QImage chart_image(const chart_type& chart, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    chart_draw(painter, image.rect(), chart);
    return image;
}

namespace {

constexpr std::uint32_t line_colours[muller_colours] = {0x1F77B4, 0xFF7F0E, 0x2CA02C, 0xD62728,
                                                          0x9467BD, 0x8C564B, 0xE377C2, 0x17BECF};

}  // namespace

muller_type muller_of(const std::string& title, const std::vector<std::string>& lines,
                      const std::vector<std::vector<double>>& counts, const std::vector<double>& population)
{
    std::vector<std::size_t> order(lines.size());
    std::vector<double> totals(lines.size(), 0.0);
    for (std::size_t f = 0; f < lines.size(); ++f) {
        order[f] = f;
        for (double count : counts[f]) totals[f] += count;
    }
    std::stable_sort(order.begin(), order.end(), [&totals](std::size_t a, std::size_t b) { return totals[a] > totals[b]; });
    muller_type muller{title, {}, {}, {}};
    for (std::size_t k = 0; k < order.size() && k < muller_colours; ++k) {
        muller.lines.push_back(lines[order[k]]);
        std::vector<double>& shares = muller.shares.emplace_back(population.size(), 0.0);
        for (std::size_t g = 0; g < population.size() && g < counts[order[k]].size(); ++g)
            shares[g] = population[g] > 0 ? counts[order[k]][g] / population[g] : 0.0;
    }
    return muller;
}

namespace {

// The Muller plot's rectangle, above as many rows of legend as its lines need, and where each legend entry goes.
QRect muller_plot(const muller_type& muller, int width, int height, const QFontMetrics& metrics, std::vector<QPoint>* legend = nullptr)
{
    const int row = metrics.height() + 4;
    int x = 60, rows = muller.lines.empty() ? 0 : 1;
    std::vector<QPoint> places;
    for (const std::string& line : muller.lines) {
        const int needed = 24 + metrics.horizontalAdvance(QString::fromStdString(line));
        if (x > 60 && x + needed > width - 4) {
            x = 60;
            ++rows;
        }
        places.emplace_back(x, rows - 1);
        x += needed;
    }
    const QRect plot(60, 30, std::max(width - 70, 1), std::max(height - 50 - rows * row, 1));
    if (legend != nullptr) {
        legend->clear();
        for (const QPoint& place : places) legend->emplace_back(place.x(), plot.bottom() + 24 + place.y() * row);
    }
    return plot;
}

}  // namespace

std::vector<double> muller_mark_pixels(const muller_type& muller, int width, int height, const QFont& font)
{
    const QRect plot = muller_plot(muller, width, height, QFontMetrics(font));
    const std::size_t generations = muller.shares.empty() ? 0 : muller.shares.front().size();
    std::vector<double> pixels;
    for (const double mark : muller.marks)
        pixels.push_back(generations > 0 && mark >= 0.0 && mark < static_cast<double>(generations)
                             ? plot.left() + mark * plot.width() / static_cast<double>(generations)
                             : std::numeric_limits<double>::quiet_NaN());
    return pixels;
}

QImage muller_image(const muller_type& muller, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    std::vector<QPoint> legend;
    const QRect plot = muller_plot(muller, width, height, painter.fontMetrics(), &legend);
    painter.drawText(QRect(0, 4, width, 20), Qt::AlignHCenter, QString::fromStdString(muller.title));
    const std::size_t generations = muller.shares.empty() ? 0 : muller.shares.front().size();
    painter.fillRect(plot, QColor(200, 200, 200));  // the lines not coloured
    for (int x = 0; generations > 0 && x < plot.width(); ++x) {
        // Each pixel column shows the generation under its middle.
        const std::size_t g = std::min(generations - 1, static_cast<std::size_t>((x + 0.5) * generations / plot.width()));
        double bottom = 0.0;
        for (std::size_t k = 0; k < muller.shares.size(); ++k) {
            const double top = std::min(1.0, bottom + muller.shares[k][g]);
            const int y0 = plot.bottom() - static_cast<int>(std::lround(bottom * plot.height()));
            const int y1 = plot.bottom() - static_cast<int>(std::lround(top * plot.height()));
            if (y1 < y0) painter.fillRect(plot.left() + x, y1 + 1, 1, y0 - y1, rgb(line_colours[k]));
            bottom = top;
        }
    }
    painter.setPen(QPen(QColor(40, 40, 90), 1, Qt::DashLine));
    for (const double x : muller_mark_pixels(muller, width, height, painter.font()))
        if (!std::isnan(x)) painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    painter.drawText(QRect(plot.left(), plot.bottom() + 4, plot.width(), 16), Qt::AlignLeft, "0");
    painter.drawText(QRect(plot.left(), plot.bottom() + 4, plot.width(), 16), Qt::AlignRight, QString::number(generations));
    painter.drawText(QRect(plot.left(), plot.bottom() + 4, plot.width(), 16), Qt::AlignHCenter, "generation");
    painter.drawText(QRect(0, plot.top(), 55, 16), Qt::AlignRight, "100%");
    painter.drawText(QRect(0, plot.bottom() - 14, 55, 16), Qt::AlignRight, "0%");
    painter.save();
    painter.translate(4, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-plot.height() / 2, 0, plot.height(), 16), Qt::AlignHCenter | Qt::AlignTop, "share of the animals");
    painter.restore();
    // The legend: the coloured lines, in as many rows as they need.
    for (std::size_t k = 0; k < muller.lines.size(); ++k) {
        painter.fillRect(legend[k].x(), legend[k].y() - 10, 10, 10, rgb(line_colours[k]));
        painter.drawText(legend[k].x() + 14, legend[k].y(), QString::fromStdString(muller.lines[k]));
    }
    return image;
}
