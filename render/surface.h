// A drawing surface with a current brush, pen and position, in the manner the
// views are written for: select a brush and a pen, then fill and outline
// shapes given by integer pixel boxes, or draw lines from the current position.
#pragma once

#include "world/world.h"

#include <string>

class QPainter;

struct rect_type {
    int left;    // pixels, inclusive
    int top;     // pixels, inclusive
    int right;   // pixels, exclusive
    int bottom;  // pixels, exclusive
};

struct surface_type {
    QPainter* painter;  // paints an image or a window; not owned, never null
    brush_type brush;   // current fill
    pen_type pen;       // current outline and line pen
    int current_x;      // current position, pixels
    int current_y;
    // When the painter paints a 32-bit image as it is (no transform, no clip),
    // its pixels, so that small ellipses are set directly: null otherwise.
    std::uint32_t* pixels;
    int pixels_per_line;
    int width;          // of the image, pixels
    int height;
    bool painter_current;  // the painter holds this brush and pen; they are handed over when it next paints
};

// Starts painting on a painter with the defaults: white fill, black pen of width 1, no antialiasing.
surface_type surface_open(QPainter& painter);

brush_type surface_select_brush(surface_type& surface, brush_type brush);  // returns the previous brush
pen_type surface_select_pen(surface_type& surface, pen_type pen);          // returns the previous pen
void surface_rectangle(surface_type& surface, int left, int top, int right, int bottom);
void surface_ellipse(surface_type& surface, int left, int top, int right, int bottom);
// From now on antialiased and always through the painter: for a zoomed view.
void surface_smooth(surface_type& surface);
// An outline only, in this colour and width, around the box; the brush and pen stay as they were.
void surface_ring(surface_type& surface, int left, int top, int right, int bottom, std::uint32_t colour, int width);
void surface_move_to(surface_type& surface, int x, int y);
void surface_line_to(surface_type& surface, int x, int y);
// Black on white, top-left at (x, y), over a white box at least clear_width
// wide, so that a shorter line leaves nothing of a longer one. Returns the text's width.
int surface_text_out(surface_type& surface, int x, int y, const char* text, int clear_width = 0);

class QImage;
// A picture written whole as a PNG (base/file.h); returns why it could not, or an empty text.
std::string surface_save_png(const QImage& image, const std::string& path);
