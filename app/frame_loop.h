// The frame loop: start-up, the off-screen surface, the update and statistics
// ticks, the paint that shows the surface with the rate line, and shut-down.
// It reaches the main window only through the state's callbacks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QPaintDevice;
struct window_state_type;
struct world_settings_type;

inline constexpr int update_timer_id = 101;
inline constexpr int stats_timer_id = 102;

// Seeds, sets the world up (with the settings, as a Reset after the default
// set-up would, and plants by the food map, as a run file starts it), runs
// one update, draws and starts the timers. The surface takes the picture's
// size, width x height pixels.
void system_startup(window_state_type& state, int width, int height, std::uint32_t seed,
                    const world_settings_type* settings = nullptr, const std::string& food_map_path = {});
void memdc_setup(window_state_type& state, int width, int height);   // the surface at this size
void window_paint(window_state_type& state, QPaintDevice& device);    // only from the world view's paint event
void timer_message(window_state_type& state, int id);
void tick_world_update(window_state_type& state);
// A log or family tree that cannot be written is told once, and the run goes on without it.
void check_outputs(window_state_type& state);   // world_update, counted for the rate line
void run_tick_updates(window_state_type& state);    // the tick's world updates, for at most 40 ms; the rest carry over
void check_keys(window_state_type& state);          // W/A/S/D into the head animal's motors, once per update tick
void clear_vector_state();
void system_shutdown(window_state_type& state);
std::string rate_line(const window_state_type& state);     // "Frame rate: ..." as the paint writes it
std::string status_line(const window_state_type& state);   // pause, manual, edges, drawing, timer, speed, generation
// The status bar's sections: the state, the edges, the timer, updates per
// tick, the generation, and the selection (empty when none is picked).
std::vector<std::string> status_sections(const window_state_type& state);
// world_draw on the off-screen surface; world_paint when always.
void draw_world_into_memdc(window_state_type& state, bool always = false);
void view_changed(window_state_type& state);   // the picture, the status bar and the Neuron window anew
