#include "render/surface.h"

#include "base/file.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <QBrush>
#include <QBuffer>
#include <QColor>
#include <QFontMetrics>
#include <QImage>
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

void apply_pen(const surface_type& surface)
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

// 0x00BBGGRR to a pixel of a 32-bit image.
std::uint32_t surface_pixel(std::uint32_t colour)
{
    return 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

// The ellipse of the pixel box left .. right - 1, top .. bottom - 1, set
// pixel by pixel as the painter would draw it: an outline of the pen's width
// centred on the ellipse through the box's outer pixel centres, and the
// brush's colour inside that. A pixel takes the colour of the region its
// centre lies in. Painting thousands of small ellipses through the general
// path costs microseconds each; this costs about one write per pixel.
void raster_ellipse(const surface_type& surface, int left, int top, int right, int bottom)
{
    // The painter sets odd-width outlines on pixel centres and even-width ones
    // on pixel corners, half a pixel up and to the left.
    const double shift = surface.pen.width > 1 && surface.pen.width % 2 == 0 ? 0.5 : 0.0;
    const double cx = 0.5 * (left + right) - shift, cy = 0.5 * (top + bottom) - shift;
    const double half_pen = 0.5 * std::max(surface.pen.width, 1);
    const double path_rx = 0.5 * (right - left - 1), path_ry = 0.5 * (bottom - top - 1);
    const double rx = path_rx + half_pen, ry = path_ry + half_pen;
    const double inner_rx = path_rx - half_pen, inner_ry = path_ry - half_pen;
    const std::uint32_t edge = surface_pixel(surface.pen.colour), fill = surface_pixel(surface.brush.colour);
    const int first_row = std::max(static_cast<int>(std::floor(cy - ry)), 0);
    const int last_row = std::min(static_cast<int>(std::ceil(cy + ry)), surface.height - 1);
    for (int row = first_row; row <= last_row; ++row) {
        const double dy = row + 0.5 - cy;
        const double outer_share = 1.0 - (dy * dy) / (ry * ry);
        if (outer_share < 0) continue;
        const double outer = rx * std::sqrt(outer_share);
        // Pixels whose centres lie within [cx - half, cx + half].
        const auto span = [cx](double half, int& from, int& to) {
            from = static_cast<int>(std::ceil(cx - half - 0.5));
            to = static_cast<int>(std::floor(cx + half - 0.5));
        };
        int from = 0, to = -1;
        span(outer, from, to);
        int inner_from = 0, inner_to = -1;
        if (inner_rx > 0 && inner_ry > 0) {
            const double inner_share = 1.0 - (dy * dy) / (inner_ry * inner_ry);
            if (inner_share >= 0) span(inner_rx * std::sqrt(inner_share), inner_from, inner_to);
        }
        std::uint32_t* line = surface.pixels + static_cast<std::ptrdiff_t>(row) * surface.pixels_per_line;
        const auto paint = [line, &surface](int a, int b, std::uint32_t pixel) {
            a = std::max(a, 0);
            b = std::min(b, surface.width - 1);
            if (a <= b) std::fill(line + a, line + b + 1, pixel);
        };
        // The row's edge, then its inside (within the edge's span) over it.
        paint(from, to, edge);
        paint(inner_from, inner_to, fill);
    }
}

// Hands the current brush and pen to the painter before it paints: selecting
// is frequent (each sensor circle has its own brush) and mostly ends in
// shapes the painter never sees.
void make_painter_current(surface_type& surface)
{
    if (surface.painter_current) return;
    surface.painter->setBrush(cached_brush(surface.brush.colour));
    apply_pen(surface);
    surface.painter_current = true;
}

// Boxes this size and up, within this reach of the image, are set directly;
// others (degenerate, or far off the image) take the painter.
constexpr int raster_smallest = 2;
constexpr int raster_largest = 4096;

}  // namespace

surface_type surface_open(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    surface_type surface{&painter, brush_type{colour_white}, pen_type{colour_black, 1}, 0, 0, nullptr, 0, 0, 0, false};
    QPaintDevice* device = painter.device();
    if (device != nullptr && device->devType() == QInternal::Image && painter.transform().isIdentity() &&
        !painter.hasClipping()) {
        QImage* image = static_cast<QImage*>(device);
        const QImage::Format format = image->format();
        if ((format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
             format == QImage::Format_ARGB32_Premultiplied) && image->devicePixelRatio() == 1.0) {
            surface.pixels = reinterpret_cast<std::uint32_t*>(image->bits());
            surface.pixels_per_line = static_cast<int>(image->bytesPerLine() / 4);
            surface.width = image->width();
            surface.height = image->height();
        }
    }
    make_painter_current(surface);
    return surface;
}

brush_type surface_select_brush(surface_type& surface, brush_type brush)
{
    const brush_type previous = surface.brush;
    if (brush.colour != previous.colour) surface.painter_current = false;
    surface.brush = brush;
    return previous;
}

pen_type surface_select_pen(surface_type& surface, pen_type pen)
{
    const pen_type previous = surface.pen;
    if (pen.colour != previous.colour || pen.width != previous.width) surface.painter_current = false;
    surface.pen = pen;
    return previous;
}

void surface_rectangle(surface_type& surface, int left, int top, int right, int bottom)
{
    make_painter_current(surface);
    surface.painter->drawRect(outline_box(left, top, right, bottom));
}

void surface_ellipse(surface_type& surface, int left, int top, int right, int bottom)
{
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const long long box_width = static_cast<long long>(right) - left, box_height = static_cast<long long>(bottom) - top;
    if (surface.pixels != nullptr && box_width >= raster_smallest && box_height >= raster_smallest &&
        box_width <= raster_largest && box_height <= raster_largest && left > -raster_largest &&
        top > -raster_largest && right < surface.width + raster_largest && bottom < surface.height + raster_largest) {
        raster_ellipse(surface, left, top, right, bottom);
        return;
    }
    make_painter_current(surface);
    surface.painter->drawEllipse(outline_box(left, top, right, bottom));
}

void surface_smooth(surface_type& surface)
{
    surface.painter->setRenderHint(QPainter::Antialiasing, true);
    surface.pixels = nullptr;
}

void surface_ring(surface_type& surface, int left, int top, int right, int bottom, std::uint32_t colour, int width)
{
    QPainter& painter = *surface.painter;
    painter.setPen(QPen(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF), width));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(outline_box(left, top, right, bottom));
    surface.painter_current = false;  // the brush and pen are handed over again when next needed
}

void surface_move_to(surface_type& surface, int x, int y)
{
    surface.current_x = x;
    surface.current_y = y;
}

void surface_line_to(surface_type& surface, int x, int y)
{
    make_painter_current(surface);
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

std::string surface_save_png(const QImage& image, const std::string& path)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return "the picture could not be made";
    return file_replace(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}
