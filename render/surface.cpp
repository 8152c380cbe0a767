#include "render/surface.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QBrush>
#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

namespace {

// 0x00BBGGRR to a Qt colour.
QColor surface_colour(std::uint32_t colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

// Brushes and pens are made once per colour and width and then only selected:
// a frame selects thousands of them, and making one costs more than drawing.
const QBrush& cached_brush(std::uint32_t colour)
{
    static std::vector<std::pair<std::uint32_t, QBrush>> brushes;
    for (const auto& [key, brush] : brushes)
        if (key == colour) return brush;
    brushes.emplace_back(colour, QBrush(surface_colour(colour)));
    return brushes.back().second;
}

void apply_pen(surface_type& surface)
{
    static std::vector<std::pair<pen_type, QPen>> pens;
    for (const auto& [key, pen] : pens) {
        if (key.colour == surface.pen.colour && key.width == surface.pen.width) {
            surface.painter->setPen(pen);
            return;
        }
    }
    QPen pen(surface_colour(surface.pen.colour));
    pen.setWidth(surface.pen.width);
    pen.setJoinStyle(Qt::MiterJoin);
    pens.emplace_back(surface.pen, pen);
    surface.painter->setPen(pen);
}

// A shape's box covers left .. right - 1 and top .. bottom - 1; Qt's outline
// reaches one pixel past its rectangle's width, so that rectangle is one smaller.
QRect outline_box(int left, int top, int right, int bottom)
{
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    return QRect(left, top, std::max(right - left - 1, 0), std::max(bottom - top - 1, 0));
}

}  // namespace

surface_type surface_open(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    surface_type surface{&painter, brush_type{colour_white}, pen_type{colour_black, 1}, 0, 0};
    painter.setBrush(cached_brush(colour_white));
    apply_pen(surface);
    return surface;
}

brush_type surface_select_brush(surface_type& surface, brush_type brush)
{
    const brush_type previous = surface.brush;
    surface.brush = brush;
    surface.painter->setBrush(cached_brush(brush.colour));
    return previous;
}

pen_type surface_select_pen(surface_type& surface, pen_type pen)
{
    const pen_type previous = surface.pen;
    surface.pen = pen;
    apply_pen(surface);
    return previous;
}

void surface_rectangle(surface_type& surface, int left, int top, int right, int bottom)
{
    surface.painter->drawRect(outline_box(left, top, right, bottom));
}

void surface_ellipse(surface_type& surface, int left, int top, int right, int bottom)
{
    surface.painter->drawEllipse(outline_box(left, top, right, bottom));
}

void surface_move_to(surface_type& surface, int x, int y)
{
    surface.current_x = x;
    surface.current_y = y;
}

void surface_line_to(surface_type& surface, int x, int y)
{
    surface.painter->drawLine(surface.current_x, surface.current_y, x, y);
    surface_move_to(surface, x, y);
}

int surface_text_out(surface_type& surface, int x, int y, const char* text, int clear_width)
{
    QPainter& painter = *surface.painter;
    const QString line = QString::fromLatin1(text);
    const QFontMetrics metrics(painter.font());
    const QRect box(x, y, metrics.horizontalAdvance(line), metrics.height());
    painter.fillRect(QRect(x, y, std::max(box.width(), clear_width), box.height()), Qt::white);
    painter.save();
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, line);
    painter.restore();
    return box.width();
}
