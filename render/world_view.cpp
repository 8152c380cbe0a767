#include "render/world_view.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "plant/plant.h"
#include "render/surface.h"
#include "world/grid.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool show_vision = false;
int display_x = 0;
int display_y = 0;
view_type view;

namespace {

// Truncation towards zero; values beyond int (far outside the surface) are held at its ends.
int to_pixel(double value)
{
    if (!(value > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (!(value < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

void line(surface_type& surface, double x0, double y0, double x1, double y1)
{
    surface_move_to(surface, get_screen_x(x0), get_screen_y(y0));
    surface_line_to(surface, get_screen_x(x1), get_screen_y(y1));
}

}  // namespace

// At zoom 1 these are x / width * display_x exactly, so the whole world's picture never changes.
int get_screen_x(double x) { return to_pixel(((x - view.left) / (world->width / view.zoom)) * display_x); }

int get_screen_y(double y) { return to_pixel(((y - view.top) / (world->height / view.zoom)) * display_y); }

double view_world_x(int pixel_x) { return view.left + (pixel_x + 0.5) / display_x * (world->width / view.zoom); }

double view_world_y(int pixel_y) { return view.top + (pixel_y + 0.5) / display_y * (world->height / view.zoom); }

namespace {

held_animal_type selected;   // view_selected's animal

// Keeps the shown rectangle inside the world.
void clamp_view()
{
    view.zoom = std::min(std::max(view.zoom, 1.0), view_max_zoom);
    view.left = std::min(std::max(view.left, 0.0), world->width - world->width / view.zoom);
    view.top = std::min(std::max(view.top, 0.0), world->height - world->height / view.zoom);
    if (view.zoom == 1.0) view.left = view.top = 0.0;
}

// Whether a body reaching this far from (x, y) shows in the view.
bool visible(double x, double y, double reach)
{
    return x + reach >= view.left && x - reach <= view.left + world->width / view.zoom && y + reach >= view.top &&
           y - reach <= view.top + world->height / view.zoom;
}

// Calls draw(record) for every body of one kind filed in a cell the view
// shows (widened by margin world units), and for those outside the world:
// zoomed in on a large world, this looks at a few cells instead of every body.
template <class Draw>
void for_each_shown(const grid_bodies_type& bodies, double margin, Draw draw)
{
    const double right = view.left + world->width / view.zoom, bottom = view.top + world->height / view.zoom;
    const grid_range_type range = grid_cells_within(bodies, view.left - margin, right + margin, view.top - margin, bottom + margin);
    const auto visit_cell = [&](std::int32_t cell) {
        for (std::int32_t slot = bodies.cell_head[cell]; slot != grid_none; slot = bodies.next[slot]) draw(bodies.record[slot]);
    };
    for (std::int32_t row = range.first_row; row <= range.last_row; ++row)
        for (std::int32_t column = range.first_column; column <= range.last_column; ++column) visit_cell(row * bodies.columns + column);
    visit_cell(grid_overflow_cell(bodies));
}

}  // namespace

void view_zoom_at(double zoom, int pixel_x, int pixel_y)
{
    const double x = view_world_x(pixel_x), y = view_world_y(pixel_y);
    view.zoom = std::min(std::max(zoom, 1.0), view_max_zoom);
    view.left = x - (pixel_x + 0.5) / display_x * (world->width / view.zoom);
    view.top = y - (pixel_y + 0.5) / display_y * (world->height / view.zoom);
    clamp_view();
}

void view_whole_world()
{
    view.zoom = 1.0;
    view.follow = false;
    clamp_view();
}

void view_pan(int pixels_x, int pixels_y)
{
    view.left -= pixels_x * (world->width / view.zoom) / display_x;
    view.top -= pixels_y * (world->height / view.zoom) / display_y;
    clamp_view();
}

void view_follow()
{
    const animal_type* animal = view_selected();
    if (!view.follow || animal == nullptr) return;
    view.left = animal->x - 0.5 * world->width / view.zoom;
    view.top = animal->y - 0.5 * world->height / view.zoom;
    clamp_view();
}

animal_type* held_animal(held_animal_type& held)
{
    if (world == nullptr || world->animal_frees != held.frees) held.animal = nullptr;
    return held.animal;
}

void hold_animal(held_animal_type& held, animal_type* animal)
{
    held.animal = animal;
    held.frees = world->animal_frees;
}

animal_type* view_selected() { return held_animal(selected); }

void view_select(animal_type* animal) { hold_animal(selected, animal); }

animal_type* view_animal_at(int pixel_x, int pixel_y)
{
    const double x = view_world_x(pixel_x), y = view_world_y(pixel_y);
    // Within its body, or within three pixels of it for a speck of an animal.
    const double slack = 3.0 * world->width / view.zoom / display_x;
    animal_type* nearest = nullptr;
    double nearest_distance = 0.0;
    for (animal_type* animal = world->animals; animal != nullptr; animal = animal->next) {
        const double distance = std::hypot(animal->x - x, animal->y - y);
        if (distance <= 0.25 * (animal->size_x + animal->size_y) + slack && (nearest == nullptr || distance < nearest_distance)) {
            nearest = animal;
            nearest_distance = distance;
        }
    }
    return nearest;
}

void get_bounding_rect(double x, double y, double w, double h, rect_type& rectangle)
{
    rectangle.left = get_screen_x(x - w * 0.5);
    rectangle.top = get_screen_y(y - h * 0.5);
    rectangle.right = get_screen_x(x + w * 0.5);
    rectangle.bottom = get_screen_y(y + h * 0.5);
}

void world_draw(surface_type& surface)
{
    if (world->draw_enabled) world_paint(surface);
}

void world_paint(surface_type& surface)
{
    const bool zoomed = view.zoom > 1.0;
    if (zoomed) surface_smooth(surface);
    surface_select_pen(surface, world->pen_white);
    surface_select_brush(surface, world->brush_white);
    surface_rectangle(surface, 0, 0, display_x, display_y);
    draw_plants(surface);
    surface_select_pen(surface, world->pen_black);
    surface_select_brush(surface, world->brush_white);
    if (zoomed) {
        // Only what shows is drawn: whiskers and rays reach past the body.
        const double reach = (show_vision ? 0.55 : 0.0) + 2.0 * world->grid.animals.max_size_sum;
        for_each_shown(world->grid.animals, reach, [&surface](void* record) {
            animal_type* animal = static_cast<animal_type*>(record);
            if (visible(animal->x, animal->y, (show_vision ? 0.55 : 0.0) + animal->size_x + animal->size_y))
                animal_draw(surface, animal);
        });
    } else {
        for (animal_type* animal = world->animals; animal != nullptr; animal = animal->next) animal_draw(surface, animal);
    }
    if (const animal_type* animal = view_selected()) {
        const double ring = 0.6 * (animal->size_x + animal->size_y);
        rect_type box{};
        get_bounding_rect(animal->x, animal->y, ring, ring, box);
        surface_ring(surface, box.left - 2, box.top - 2, box.right + 2, box.bottom + 2, colour_blue, 2);
    }
}

void draw_plants(surface_type& surface)
{
    surface_select_brush(surface, world->brush_green);
    surface_select_pen(surface, world->pen_green);
    rect_type box{};
    const auto draw = [&surface, &box](const plant_type* plant) {
        get_bounding_rect(plant->x, plant->y, plant->size_x, plant->size_y, box);
        surface_ellipse(surface, box.left, box.top, box.right, box.bottom);
    };
    if (view.zoom > 1.0) {
        for_each_shown(world->grid.plants, world->grid.plants.max_size_sum, [&draw](void* record) {
            const plant_type* plant = static_cast<const plant_type*>(record);
            if (visible(plant->x, plant->y, plant->size_x + plant->size_y)) draw(plant);
        });
    } else {
        for (const plant_type* plant = world->plants; plant != nullptr; plant = plant->next) draw(plant);
    }
}

void animal_draw(surface_type& surface, animal_type* animal)
{
    if (animal == nullptr) return;
    rect_type box{};
    get_bounding_rect(animal->x, animal->y, animal->size_x, animal->size_y, box);
    // A speck of a few pixels has no room for its arrow and whiskers: they
    // would only blot it, at most of the frame's time in a large world. It
    // is drawn as a dot of its outline, big enough to be seen.
    constexpr int speck_pixels = 3;
    const bool speck = box.right - box.left < speck_pixels && box.bottom - box.top < speck_pixels && !show_vision;
    if (speck) {
        box.right = std::max(box.right, box.left + speck_pixels - 1);
        box.bottom = std::max(box.bottom, box.top + speck_pixels - 1);
    }
    if (animal == world->animals) surface_select_brush(surface, world->brush_green);
    surface_ellipse(surface, box.left, box.top, box.right, box.bottom);
    surface_select_brush(surface, world->brush_white);
    if (speck) return;
    draw_arrow(surface, animal->x, animal->y, animal->heading, animal->sensor_size);

    double offset = -third_pi;
    for (int k = 0; k < animal_touch_count; ++k) {
        draw_sensor(surface, animal->x, animal->y, animal->heading + offset, animal->sensor_distance,
                    animal->sensor_size, get_sensor_color(animal->touch[k]));
        offset += third_pi;
    }

    if (!show_vision) return;
    for (int i = 0; i < 2 * animal->num_vision && i < 2 * animal_vision_capacity; ++i)
        if (animal->vision[i / 2].plant > 0)
            line(surface, animal->x, animal->y, animal->x + animal->ray_x[i], animal->y + animal->ray_y[i]);
}

void draw_arrow(surface_type& surface, double x, double y, double angle, double length)
{
    const double tip_x = x + length * std::cos(angle);
    const double tip_y = y + length * std::sin(angle);
    line(surface, x - length * std::cos(angle), y - length * std::sin(angle), tip_x, tip_y);
    const double barb = 0.75 * length;
    surface_move_to(surface, get_screen_x(x + barb * std::cos(angle - quarter_pi)),
                    get_screen_y(y + barb * std::sin(angle - quarter_pi)));
    surface_line_to(surface, get_screen_x(tip_x), get_screen_y(tip_y));
    surface_line_to(surface, get_screen_x(x + barb * std::cos(angle + quarter_pi)),
                    get_screen_y(y + barb * std::sin(angle + quarter_pi)));
}

void draw_sensor(surface_type& surface, double x, double y, double angle, double distance, double size,
                 std::uint32_t colour)
{
    const double cx = x + distance * std::cos(angle);
    const double cy = y + distance * std::sin(angle);
    const double r = size * 0.5;
    const brush_type previous = surface_select_brush(surface, brush_type{colour});
    surface_ellipse(surface, get_screen_x(cx - r), get_screen_y(cy - r), get_screen_x(cx + r), get_screen_y(cy + r));
    surface_select_brush(surface, previous);
}

std::uint32_t get_sensor_color(const sensor_type& sensor)
{
    if (sensor.wall > 0) return colour_red;
    if (sensor.plant > 0) return colour_green;
    if (sensor.animal > 0) return colour_blue;
    return colour_white;
}
