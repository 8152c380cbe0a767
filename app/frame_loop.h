// The frame loop: start-up, the off-screen surface, the update and statistics
// ticks, the paint that shows the surface with the rate line, and shut-down.
#pragma once

#include <QImage>

#include <cstdint>
#include <string>

class main_window_widget;

extern int timer_val;             // update timer period, ms; changed by the arrow keys
extern int tick_updates_done;     // world updates of the current batch run by earlier ticks
extern int frames;                // update ticks since the last statistics tick
extern int frames_per_second;     // frames at the last statistics tick
extern int updates;               // world updates since the last statistics tick
extern int updates_per_second;    // world updates at the last statistics tick
extern QImage memdc;              // the off-screen surface, display_x x display_y

inline constexpr int update_timer_id = 101;
inline constexpr int stats_timer_id = 102;

struct world_settings_type;
// Seeds, sets the world up (with the settings, as a Reset after the default
// set-up would), runs one update, draws and starts the timers.
void system_startup(main_window_widget* window, std::uint32_t seed, const world_settings_type* settings = nullptr);
void memdc_setup(main_window_widget* window);
void window_paint(main_window_widget* window);     // only from the world view's paint event
void timer_message(main_window_widget* window, int id);
void tick_world_update();          // world_update, counted for the rate line
void run_tick_updates();           // the tick's world updates, for at most 40 ms; the rest carry over
void clear_vector_state();
void system_shutdown();
std::string rate_line();                           // "Frame rate: ..." as the paint writes it
std::string status_line();                         // pause, manual, edges, drawing, timer, speed, generation
void draw_world_into_memdc(bool always = false);
void view_changed(main_window_widget* window);    // the picture, the status bar and the Neuron window anew   // world_draw on the off-screen surface; world_paint when always
