// The world view: background, plants and animals with their heading arrows,
// touch sensors and vision rays, drawn onto a surface of display_x x display_y pixels.
#pragma once

#include <QImage>

#include <cstdint>

struct animal_type;
struct sensor_type;
struct surface_type;
struct rect_type;
struct world_type;

// An animal a view holds on to: gone once the world's animals were freed since it was taken.
struct held_animal_type {
    animal_type* animal = nullptr;   // null for none
    std::uint32_t frees = 0;         // the world's animal_frees when it was taken
};

// The food map as a faint picture, made again only when the map changes.
struct food_map_shade_type {
    QImage picture;                  // a cell a pixel, green as bright as the cell's weight, mostly transparent
    const double* weights = nullptr; // the map it was made of: its weights' storage, size and sum
    std::size_t cells = 0;
    double total = 0.0;
};

// How a world is shown: what part of it, in a picture of what size, with
// which animal picked. All of the world at zoom 1; zoomed in, a rectangle
// zoom times smaller from (left, top), drawn smooth. Stretched, the picture
// is the whole world's at zoom 1, pixel for pixel, each axis scaled on its
// own; keeping proportions, a world unit is as many pixels across as up and
// the world sits centred, with a margin of a little more than half an animal
// around it, and more where it does not fill the picture.
// Each window (and a headless recording) has its own.
struct view_type {
    double zoom = 1.0;           // 1 to view_max_zoom
    double left = 0.0;           // world units
    double top = 0.0;            // world units
    bool follow = false;         // keeps the selected animal in the middle
    int display_x = 0;           // width of the picture, pixels
    int display_y = 0;           // height of the picture, pixels
    bool show_vision = false;    // draw the rays of the vision sectors that see a plant
    bool keep_proportions = false;   // one scale for both axes, the world centred
    held_animal_type selected;   // view_selected's animal
    mutable food_map_shade_type shade;   // kept between paints
};
inline constexpr double view_max_zoom = 256.0;

void view_zoom_at(const world_type& world, view_type& view, double zoom, int pixel_x, int pixel_y);   // keeps the world point under that pixel where it is
void view_whole_world(const world_type& world, view_type& view);
void view_clamp(const world_type& world, view_type& view);   // inside the world again after its or the picture's size changed
void view_pan(const world_type& world, view_type& view, int pixels_x, int pixels_y);                  // the picture moves by this many pixels
void view_follow(const world_type& world, view_type& view);                                         // centres on the selected animal when following
// The world units the picture spans across and up; left and top may be
// below 0 (a margin) where the world is narrower than the picture.
double view_span_x(const world_type& world, const view_type& view);
double view_span_y(const world_type& world, const view_type& view);
double view_world_x(const world_type& world, const view_type& view, int pixel_x);                           // the world point under a pixel
double view_world_y(const world_type& world, const view_type& view, int pixel_y);

animal_type* held_animal(const world_type& world, const held_animal_type& held);   // the animal, or null once gone
void hold_animal(const world_type& world, held_animal_type& held, animal_type* animal);

// The animal a user picked: the one drawn with a ring, shown in the Neuron and
// Animal windows. It stays selected through generations (breeding gives its
// record a new id); null when none is, or once the world's animals were freed.
animal_type* view_selected(const world_type& world, const view_type& view);
void view_select(const world_type& world, view_type& view, animal_type* animal);
animal_type* view_animal_at(const world_type& world, const view_type& view, int pixel_x, int pixel_y);      // the animal under a pixel, nearest first; null for none

void world_draw(surface_type& surface, const world_type& world, const view_type& view);   // nothing while the world's draw_enabled is clear
void world_paint(surface_type& surface, const world_type& world, const view_type& view);  // the picture, whether drawing is on or off
void draw_plants(surface_type& surface, const world_type& world, const view_type& view);
void draw_food_map(surface_type& surface, const world_type& world, const view_type& view);   // faintly, under the plants
void animal_draw(surface_type& surface, const world_type& world, const view_type& view, animal_type* animal);
void draw_arrow(surface_type& surface, const world_type& world, const view_type& view, double x, double y, double angle, double length);
void draw_sensor(surface_type& surface, const world_type& world, const view_type& view, double x, double y, double angle, double distance, double size,
                 std::uint32_t colour);
std::uint32_t get_sensor_color(const sensor_type& sensor);
int get_screen_x(const world_type& world, const view_type& view, double x);   // truncated towards zero, no clipping
int get_screen_y(const world_type& world, const view_type& view, double y);
void get_bounding_rect(const world_type& world, const view_type& view, double x, double y, double w, double h, rect_type& rectangle);
