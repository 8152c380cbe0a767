// The world view: background, plants and animals with their heading arrows,
// touch sensors and vision rays, drawn onto a surface of display_x x display_y pixels.
#pragma once

#include <cstdint>

struct animal_type;
struct sensor_type;
struct surface_type;
struct rect_type;

extern bool show_vision;   // draw the rays of the vision sectors that see a plant
extern int display_x;      // width of the main window's client area and of the off-screen surface, pixels
extern int display_y;      // height of both, pixels

// What part of the world the view shows: all of it at zoom 1, where the
// picture is the whole world's, pixel for pixel; zoomed in, a rectangle of
// width / zoom by height / zoom world units from (left, top), drawn smooth.
struct view_type {
    double zoom = 1.0;     // 1 to view_max_zoom
    double left = 0.0;     // world units
    double top = 0.0;      // world units
    bool follow = false;   // keeps the selected animal in the middle
};
inline constexpr double view_max_zoom = 256.0;
extern view_type view;

void view_zoom_at(double zoom, int pixel_x, int pixel_y);   // keeps the world point under that pixel where it is
void view_whole_world();
void view_pan(int pixels_x, int pixels_y);                  // the picture moves by this many pixels
void view_follow();                                         // centres on the selected animal when following
double view_world_x(int pixel_x);                           // the world point under a pixel
double view_world_y(int pixel_y);

// An animal a view holds on to: gone once the world's animals were freed since it was taken.
struct held_animal_type {
    animal_type* animal = nullptr;   // null for none
    std::uint32_t frees = 0;         // the world's animal_frees when it was taken
};
animal_type* held_animal(held_animal_type& held);   // the animal, or null once gone
void hold_animal(held_animal_type& held, animal_type* animal);

// The animal a user picked: the one drawn with a ring, shown in the Neuron and
// Animal windows. It stays selected through generations (breeding gives its
// record a new id); null when none is, or once the world's animals were freed.
animal_type* view_selected();
void view_select(animal_type* animal);
animal_type* view_animal_at(int pixel_x, int pixel_y);      // the animal under a pixel, nearest first; null for none

void world_draw(surface_type& surface);   // nothing while the world's draw_enabled is clear
void world_paint(surface_type& surface);  // the picture, whether drawing is on or off
void draw_plants(surface_type& surface);
void animal_draw(surface_type& surface, animal_type* animal);
void draw_arrow(surface_type& surface, double x, double y, double angle, double length);
void draw_sensor(surface_type& surface, double x, double y, double angle, double distance, double size,
                 std::uint32_t colour);
std::uint32_t get_sensor_color(const sensor_type& sensor);
int get_screen_x(double x);   // truncated towards zero, no clipping
int get_screen_y(double y);
void get_bounding_rect(double x, double y, double w, double h, rect_type& rectangle);
