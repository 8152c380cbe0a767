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
