#include "render/world_view.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "plant/plant.h"
#include "render/surface.h"
#include "world/grid.h"
#include "world/world.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>


namespace {

// Truncation towards zero; values beyond int (far outside the surface) are held at its ends.
int to_pixel(double value)
{
    if (!(value > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (!(value < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

void line(surface_type& surface, const world_type& world, const view_type& view, double x0, double y0, double x1, double y1)
{
    surface_move_to(surface, get_screen_x(world, view, x0), get_screen_y(world, view, y0));
    surface_line_to(surface, get_screen_x(world, view, x1), get_screen_y(world, view, y1));
}

}  // namespace

namespace {

// Room kept around the world when proportions are kept, so a body on its
// edge is drawn whole: a little more than half an animal.
double edge_margin(const world_type& world) { return 0.6 * world.animal_size; }

// World units per pixel on both axes when proportions are kept: the whole world and its margin fit at zoom 1.
double kept_unit(const world_type& world, const view_type& view)
{
    const double margin = 2.0 * edge_margin(world);
    return std::max((world.width + margin) / std::max(view.display_x, 1), (world.height + margin) / std::max(view.display_y, 1)) /
           view.zoom;
}

}  // namespace

double view_span_x(const world_type& world, const view_type& view)
{
    return view.keep_proportions ? kept_unit(world, view) * view.display_x : world.width / view.zoom;
}

double view_span_y(const world_type& world, const view_type& view)
{
    return view.keep_proportions ? kept_unit(world, view) * view.display_y : world.height / view.zoom;
}

// Stretched at zoom 1 these are x / width * view.display_x exactly, so the whole world's picture never changes.
int get_screen_x(const world_type& world, const view_type& view, double x) { return to_pixel(((x - view.left) / view_span_x(world, view)) * view.display_x); }

int get_screen_y(const world_type& world, const view_type& view, double y) { return to_pixel(((y - view.top) / view_span_y(world, view)) * view.display_y); }

double view_world_x(const world_type& world, const view_type& view, int pixel_x) { return view.left + (pixel_x + 0.5) / view.display_x * view_span_x(world, view); }

double view_world_y(const world_type& world, const view_type& view, int pixel_y) { return view.top + (pixel_y + 0.5) / view.display_y * view_span_y(world, view); }

namespace {

// Keeps the shown rectangle inside the world and its margin on an axis it
// does not span, and the world centred on one it does.
double clamp_axis(double start, double span, double extent, double margin)
{
    if (span >= extent + 2.0 * margin) return 0.5 * (extent - span);
    return std::min(std::max(start, -margin), extent + margin - span);
}

void clamp_view(const world_type& world, view_type& view)
{
    view.zoom = std::min(std::max(view.zoom, 1.0), view_max_zoom);
    if (!view.keep_proportions && view.zoom == 1.0) {
        view.left = view.top = 0.0;
        return;
    }
    const double margin = view.keep_proportions ? edge_margin(world) : 0.0;
    view.left = clamp_axis(view.left, view_span_x(world, view), world.width, margin);
    view.top = clamp_axis(view.top, view_span_y(world, view), world.height, margin);
}

// Whether a body reaching this far from (x, y) shows in the view.
bool visible(const world_type& world, const view_type& view, double x, double y, double reach)
{
    return x + reach >= view.left && x - reach <= view.left + view_span_x(world, view) && y + reach >= view.top &&
           y - reach <= view.top + view_span_y(world, view);
}

// Calls draw(record) for every body of one kind filed in a cell the view
// shows (widened by margin world units), and for those outside the world:
// zoomed in on a large world, this looks at a few cells instead of every body.
template <class Draw>
void for_each_shown(const world_type& world, const view_type& view, const grid_bodies_type& bodies, double margin, Draw draw)
{
    const double right = view.left + view_span_x(world, view), bottom = view.top + view_span_y(world, view);
    const grid_range_type range = grid_cells_within(bodies, view.left - margin, right + margin, view.top - margin, bottom + margin);
    const auto visit_cell = [&](std::int32_t cell) {
        for (std::int32_t slot = bodies.cell_head[cell]; slot != grid_none; slot = bodies.next[slot]) draw(bodies.record[slot]);
    };
    for (std::int32_t row = range.first_row; row <= range.last_row; ++row)
        for (std::int32_t column = range.first_column; column <= range.last_column; ++column) visit_cell(row * bodies.columns + column);
    visit_cell(grid_overflow_cell(bodies));
}

}  // namespace

void view_zoom_at(const world_type& world, view_type& view, double zoom, int pixel_x, int pixel_y)
{
    const double x = view_world_x(world, view, pixel_x), y = view_world_y(world, view, pixel_y);
    view.zoom = std::min(std::max(zoom, 1.0), view_max_zoom);
    view.left = x - (pixel_x + 0.5) / view.display_x * view_span_x(world, view);
    view.top = y - (pixel_y + 0.5) / view.display_y * view_span_y(world, view);
    clamp_view(world, view);
}

void view_clamp(const world_type& world, view_type& view) { clamp_view(world, view); }

void view_whole_world(const world_type& world, view_type& view)
{
    view.zoom = 1.0;
    view.follow = false;
    clamp_view(world, view);
}

void view_pan(const world_type& world, view_type& view, int pixels_x, int pixels_y)
{
    view.left -= pixels_x * view_span_x(world, view) / view.display_x;
    view.top -= pixels_y * view_span_y(world, view) / view.display_y;
    clamp_view(world, view);
}

void view_follow(const world_type& world, view_type& view)
{
    const animal_type* animal = view_selected(world, view);
    if (!view.follow || animal == nullptr) return;
    view.left = animal->x - 0.5 * view_span_x(world, view);
    view.top = animal->y - 0.5 * view_span_y(world, view);
    clamp_view(world, view);
}

animal_type* held_animal(const world_type& world, const held_animal_type& held)
{
    return world.animal_frees == held.frees ? held.animal : nullptr;
}

void hold_animal(const world_type& world, held_animal_type& held, animal_type* animal)
{
    held.animal = animal;
    held.frees = world.animal_frees;
}

animal_type* view_selected(const world_type& world, const view_type& view) { return held_animal(world, view.selected); }

void view_select(const world_type& world, view_type& view, animal_type* animal) { hold_animal(world, view.selected, animal); }

animal_type* view_animal_at(const world_type& world, const view_type& view, int pixel_x, int pixel_y)
{
    const double x = view_world_x(world, view, pixel_x), y = view_world_y(world, view, pixel_y);
    // Within its body, or within three pixels of it for a speck of an animal.
    const double slack = 3.0 * view_span_x(world, view) / view.display_x;
    animal_type* nearest = nullptr;
    double nearest_distance = 0.0;
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next) {
        const double distance = std::hypot(animal->x - x, animal->y - y);
        if (distance <= 0.25 * (animal->size_x + animal->size_y) + slack && (nearest == nullptr || distance < nearest_distance)) {
            nearest = animal;
            nearest_distance = distance;
        }
    }
    return nearest;
}

void get_bounding_rect(const world_type& world, const view_type& view, double x, double y, double w, double h, rect_type& rectangle)
{
    rectangle.left = get_screen_x(world, view, x - w * 0.5);
    rectangle.top = get_screen_y(world, view, y - h * 0.5);
    rectangle.right = get_screen_x(world, view, x + w * 0.5);
    rectangle.bottom = get_screen_y(world, view, y + h * 0.5);
}

void world_draw(surface_type& surface, const world_type& world, const view_type& view)
{
    if (world.draw_enabled) world_paint(surface, world, view);
}

void world_paint(surface_type& surface, const world_type& world, const view_type& view)
{
    const bool zoomed = view.zoom > 1.0;
    if (zoomed) surface_smooth(surface);
    surface_select_pen(surface, world.pen_white);
    surface_select_brush(surface, world.brush_white);
    if (view.keep_proportions) {
        // The margin outside the world a light grey, the world itself white.
        surface.painter->fillRect(0, 0, view.display_x, view.display_y, QColor(210, 210, 210));
        surface_rectangle(surface, get_screen_x(world, view, 0.0), get_screen_y(world, view, 0.0), get_screen_x(world, view, world.width),
                          get_screen_y(world, view, world.height));
    } else {
        surface_rectangle(surface, 0, 0, view.display_x, view.display_y);
    }
    draw_food_map(surface, world, view);
    draw_plants(surface, world, view);
    surface_select_pen(surface, world.pen_black);
    surface_select_brush(surface, world.brush_white);
    if (zoomed) {
        // Only what shows is drawn: whiskers and rays reach past the body.
        const double reach = (view.show_vision ? 0.55 : 0.0) + 2.0 * world.grid.animals.max_size_sum;
        for_each_shown(world, view, world.grid.animals, reach, [&surface, &world, &view](void* record) {
            animal_type* animal = static_cast<animal_type*>(record);
            if (visible(world, view, animal->x, animal->y, (view.show_vision ? 0.55 : 0.0) + animal->size_x + animal->size_y))
                animal_draw(surface, world, view, animal);
        });
    } else {
        for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next) animal_draw(surface, world, view, animal);
    }
    if (const animal_type* animal = view_selected(world, view)) {
        const double ring = 0.6 * (animal->size_x + animal->size_y);
        rect_type box{};
        get_bounding_rect(world, view, animal->x, animal->y, ring, ring, box);
        surface_ring(surface, box.left - 2, box.top - 2, box.right + 2, box.bottom + 2, colour_blue, 2);
    }
}

void draw_food_map(surface_type& surface, const world_type& world, const view_type& view)
{
    const food_map_type& map = world.food_map;
    if (!food_map_on(map) || map.cumulative.empty()) return;
    food_map_shade_type& shade = view.shade;
    if (shade.weights != map.weights.data() || shade.cells != map.weights.size() || shade.total != map.cumulative.back()) {
        double most = 0.0;
        for (const double weight : map.weights) most = std::max(most, weight);
        shade.picture = QImage(static_cast<int>(map.width), static_cast<int>(map.height), QImage::Format_ARGB32_Premultiplied);
        for (std::uint32_t y = 0; y < map.height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(shade.picture.scanLine(static_cast<int>(y)));
            for (std::uint32_t x = 0; x < map.width; ++x) {
                // Faint: at its brightest a light green the plants stand out on.
                const int alpha = static_cast<int>(std::lround(70.0 * map.weights[y * map.width + x] / most));
                line[x] = qPremultiply(qRgba(40, 170, 40, alpha));
            }
        }
        shade.weights = map.weights.data();
        shade.cells = map.weights.size();
        shade.total = map.cumulative.back();
    }
    const double left = get_screen_x(world, view, 0.0), top = get_screen_y(world, view, 0.0);
    const double right = get_screen_x(world, view, world.width), bottom = get_screen_y(world, view, world.height);
    surface.painter->drawImage(QRectF(left, top, right - left, bottom - top), shade.picture);
}

void draw_plants(surface_type& surface, const world_type& world, const view_type& view)
{
    surface_select_brush(surface, world.brush_green);
    surface_select_pen(surface, world.pen_green);
    rect_type box{};
    const auto draw = [&surface, &box, &world, &view](const plant_type* plant) {
        get_bounding_rect(world, view, plant->x, plant->y, plant->size_x, plant->size_y, box);
        surface_ellipse(surface, box.left, box.top, box.right, box.bottom);
    };
    if (view.zoom > 1.0) {
        for_each_shown(world, view, world.grid.plants, world.grid.plants.max_size_sum, [&draw, &world, &view](void* record) {
            const plant_type* plant = static_cast<const plant_type*>(record);
            if (visible(world, view, plant->x, plant->y, plant->size_x + plant->size_y)) draw(plant);
        });
    } else {
        for (const plant_type* plant = world.plants; plant != nullptr; plant = plant->next) draw(plant);
    }
}

void animal_draw(surface_type& surface, const world_type& world, const view_type& view, animal_type* animal)
{
    if (animal == nullptr) return;
    rect_type box{};
    get_bounding_rect(world, view, animal->x, animal->y, animal->size_x, animal->size_y, box);
    // A speck of a few pixels has no room for its arrow and whiskers: they
    // would only blot it, at most of the frame's time in a large world. It
    // is drawn as a dot of its outline, big enough to be seen.
    constexpr int speck_pixels = 3;
    const bool speck = box.right - box.left < speck_pixels && box.bottom - box.top < speck_pixels && !view.show_vision;
    if (speck) {
        box.right = std::max(box.right, box.left + speck_pixels - 1);
        box.bottom = std::max(box.bottom, box.top + speck_pixels - 1);
    }
    if (animal == world.animals) surface_select_brush(surface, world.brush_green);
    surface_ellipse(surface, box.left, box.top, box.right, box.bottom);
    surface_select_brush(surface, world.brush_white);
    if (speck) return;
    draw_arrow(surface, world, view, animal->x, animal->y, animal->heading, animal->sensor_size);

    double offset = -third_pi;
    for (int k = 0; k < animal_touch_count; ++k) {
        draw_sensor(surface, world, view, animal->x, animal->y, animal->heading + offset, animal->sensor_distance,
                    animal->sensor_size, get_sensor_color(animal->touch[k]));
        offset += third_pi;
    }

    if (!view.show_vision) return;
    for (int i = 0; i < 2 * animal->num_vision && i < 2 * animal_vision_capacity; ++i)
        if (animal->vision[i / 2].plant > 0)
            line(surface, world, view, animal->x, animal->y, animal->x + animal->ray_x[i], animal->y + animal->ray_y[i]);
}

void draw_arrow(surface_type& surface, const world_type& world, const view_type& view, double x, double y, double angle, double length)
{
    const double tip_x = x + length * std::cos(angle);
    const double tip_y = y + length * std::sin(angle);
    line(surface, world, view, x - length * std::cos(angle), y - length * std::sin(angle), tip_x, tip_y);
    const double barb = 0.75 * length;
    surface_move_to(surface, get_screen_x(world, view, x + barb * std::cos(angle - quarter_pi)),
                    get_screen_y(world, view, y + barb * std::sin(angle - quarter_pi)));
    surface_line_to(surface, get_screen_x(world, view, tip_x), get_screen_y(world, view, tip_y));
    surface_line_to(surface, get_screen_x(world, view, x + barb * std::cos(angle + quarter_pi)),
                    get_screen_y(world, view, y + barb * std::sin(angle + quarter_pi)));
}

void draw_sensor(surface_type& surface, const world_type& world, const view_type& view, double x, double y, double angle, double distance, double size,
                 std::uint32_t colour)
{
    const double cx = x + distance * std::cos(angle);
    const double cy = y + distance * std::sin(angle);
    const double r = size * 0.5;
    const brush_type previous = surface_select_brush(surface, brush_type{colour});
    surface_ellipse(surface, get_screen_x(world, view, cx - r), get_screen_y(world, view, cy - r), get_screen_x(world, view, cx + r), get_screen_y(world, view, cy + r));
    surface_select_brush(surface, previous);
}

std::uint32_t get_sensor_color(const sensor_type& sensor)
{
    if (sensor.wall > 0) return colour_red;
    if (sensor.plant > 0) return colour_green;
    if (sensor.animal > 0) return colour_blue;
    return colour_white;
}
