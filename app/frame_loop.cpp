#include "app/frame_loop.h"

#include "app/chart_window.h"
#include "app/inspector.h"
#include "app/recorder.h"
#include "app/runs.h"
#include "app/runs_window.h"
#include "app/window_state.h"
#include "cli/options.h"
#include "base/utility.h"
#include "render/neuron_view.h"
#include "render/surface.h"
#include "render/world_view.h"
#include "animal/animal.h"
#include "world/world.h"

#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

// A tick runs its world updates for at most this long; the rest of them wait
// for the next tick, so keys, menus and closing are answered at any size.
constexpr auto tick_budget = std::chrono::milliseconds(40);

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) void clear_upper_vector_state() { __builtin_ia32_vzeroupper(); }
#endif

}  // namespace

void system_startup(window_state_type& state, int width, int height, std::uint32_t seed, const world_settings_type* settings,
                    const std::string& food_map_path)
{
    memdc_setup(state, width, height);
    state.session.run_start = run_file_type{};
    state.session.run_start.seed = seed;
    if (settings != nullptr) state.session.run_start.settings = *settings;
    // The start a run file replays: a map that cannot be read is told, and the world grows without one.
    environment_type& environment = state.session.run_start.environment;
    if (!food_map_path.empty()) {
        if (std::string problem = run_file_food_map(environment.food_map, food_map_path); !problem.empty()) {
            state.show_problem(problem);
        } else {
            environment.food_map_path = food_map_path;
            file_sha256(food_map_path, state.session.run_start.food_map_sha256);
        }
    }
    run_file_begin(state.world, state.session.run_start, "");
    runs_begin(state, false);
    tick_world_update(state);
    draw_world_into_memdc(state);
    state.set_timer(update_timer_id, state.timer_val);
    state.set_timer(stats_timer_id, 1000);
    state.refresh_status();
}

void check_outputs(window_state_type& state)
{
    world_options_type& out = state.world.options;
    for (const auto& [path, error] : {std::pair{&out.log_path, &out.log_error}, std::pair{&out.lineage_path, &out.lineage_error}})
        if (*error != 0) {
            state.show_problem("Unable to write " + *path + ": " + std::strerror(*error) + "; the run goes on without it");
            path->clear();
            *error = 0;
        }
}

void tick_world_update(window_state_type& state)
{
    if (state.world.running) state.updates += 1;
    world_update(state.world);
    check_outputs(state);
    timeline_note(state.session.timeline, state.world);
    if (state.world.running) recorder_after_update(state.recorder, state.world, state.view);
}

void memdc_setup(window_state_type& state, int width, int height)
{
    state.view.display_x = width;
    state.view.display_y = height;
    state.memdc = QImage();
    if (width > 0 && height > 0) {
        state.memdc = QImage(width, height, QImage::Format_RGB32);
        state.memdc.fill(Qt::white);
        // Drawn once at the new size even while drawing is off, which would leave it blank.
        if (state.world.width > 0 && state.world.height > 0) draw_world_into_memdc(state, true);
    }
}

void view_changed(window_state_type& state)
{
    draw_world_into_memdc(state, true);
    state.repaint();
    state.refresh_status();
    if (state.neuron_window != nullptr) state.neuron_window->update();
}

void draw_world_into_memdc(window_state_type& state, bool always)
{
    if (state.memdc.isNull()) return;  // minimised: no surface
    view_clamp(state.world, state.view);
    QPainter painter(&state.memdc);
    surface_type surface = surface_open(painter);
    if (always) {
        world_paint(surface, state.world, state.view);
    } else {
        world_draw(surface, state.world, state.view);
    }
}

std::vector<std::string> status_sections(const window_state_type& state)
{
    const world_type& world = state.world;
    const view_type& view = state.view;
    std::vector<std::string> sections(6);
    sections[0] = world.running ? "Running" : "Paused";
    if (world.mode_manual) sections[0] += "   Manual steering";
    sections[1] = world.wrap_edges ? "Edges wrap" : "Edges block";
    if (!world.draw_enabled) sections[1] += "   Drawing off";
    if (state.plant_brush) sections[1] += "   Plant brush";
    char numbers[128];
    format_c(numbers, sizeof numbers, "Timer %d ms", state.timer_val);
    sections[2] = numbers;
    format_c(numbers, sizeof numbers, "%d update%s per tick", world.updates_per_tick, world.updates_per_tick == 1 ? "" : "s");
    sections[3] = numbers;
    format_c(numbers, sizeof numbers, "Generation %u", world.generation);
    sections[4] = numbers;
    if (view.zoom > 1.0) {
        format_c(numbers, sizeof numbers, "   Zoom %gx%s", view.zoom, view.follow ? " following" : "");
        sections[4] += numbers;
    }
    if (recorder_on(state.recorder)) {
        format_c(numbers, sizeof numbers, "   Recording %llu frames", static_cast<unsigned long long>(state.recorder.video.frames));
        sections[4] += numbers;
    }
    if (const animal_type* animal = view_selected(state.world, view)) {
        format_c(numbers, sizeof numbers, "Animal %llu: food %d, born %u", static_cast<unsigned long long>(animal->id), animal->food,
                 animal->born);
        sections[5] = numbers;
    }
    return sections;
}

std::string status_line(const window_state_type& state)
{
    std::string line;
    for (const std::string& section : status_sections(state))
        if (!section.empty()) line += (line.empty() ? "" : "   ") + section;
    return line;
}

std::string rate_line(const window_state_type& state)
{
    char line[96];
    format_c(line, sizeof line, "Frame rate: %3d Update Rate  %d ", state.frames_per_second, state.updates_per_second);
    return line;
}

void window_paint(window_state_type& state, QPaintDevice& device)
{
    if (!state.memdc.isNull()) {
        {
            QPainter painter(&state.memdc);
            surface_type surface = surface_open(painter);
            state.widest_rate_line =
                std::max(state.widest_rate_line, surface_text_out(surface, 1, 1, rate_line(state).c_str(), state.widest_rate_line));
        }
        QPainter painter(&device);
        painter.drawImage(0, 0, state.memdc);
        // Where a dragged animal would be dropped: a dashed ring, over the picture only.
        const animal_type* dragged = view_selected(state.world, state.view);
        if (state.drag_shown && dragged != nullptr) {
            const double reach = 0.3 * (dragged->size_x + dragged->size_y);
            const int x0 = get_screen_x(state.world, state.view, state.drag_x - reach), y0 = get_screen_y(state.world, state.view, state.drag_y - reach);
            const int x1 = get_screen_x(state.world, state.view, state.drag_x + reach), y1 = get_screen_y(state.world, state.view, state.drag_y + reach);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(0, 0, 255), 2, Qt::DashLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QRect(QPoint(x0, y0), QPoint(std::max(x1, x0 + 6), std::max(y1, y0 + 6))));
        }
    }
    if (neuron_window_widget* neurons = state.neuron_window) {
        // After a reset, an open or the removal of the animals it showed, the window follows the new first animal.
        if (neurons->isVisible() && neuron_view_animal(*neurons) == nullptr) neuron_view_show(*neurons, state.world.animals);
        neurons->update();
    }
}

// Qt's drawing may leave the upper halves of the vector registers in use; on
// processors that then slow every legacy SSE instruction (the math library's
// tanh among them) the window simulated several times slower than headless.
// Clearing them once per tick costs nothing and changes no result.
void clear_vector_state()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool has_avx = __builtin_cpu_supports("avx");
    if (has_avx) clear_upper_vector_state();
#endif
}

void run_tick_updates(window_state_type& state)
{
    const auto start = std::chrono::steady_clock::now();
    // The count is read again before each update, as keys may change it meanwhile.
    while (state.tick_updates_done < state.world.updates_per_tick) {
        tick_world_update(state);
        ++state.tick_updates_done;
        if (std::chrono::steady_clock::now() - start >= tick_budget) break;
    }
    if (state.tick_updates_done >= state.world.updates_per_tick) state.tick_updates_done = 0;
}

void check_keys(window_state_type& state)
{
    const auto held = [&state](unsigned key) { return state.keys[key & 0xFF] != 0; };
    double left = 0.0;
    double right = 0.0;
    if (held('W')) {
        left = held('A') ? 0.015 : 0.03;
        right = held('A') ? 0.03 : held('D') ? 0.015 : 0.03;
    } else if (held('S')) {
        left = held('A') ? -0.015 : -0.03;
        right = held('A') ? -0.03 : held('D') ? -0.015 : -0.03;
    } else if (held('A')) {
        left = -0.03;
        right = 0.03;
    } else if (held('D')) {
        left = 0.03;
        right = -0.03;
    }
    world_act(state.world, run_steer(left, right));
}

void timer_message(window_state_type& state, int id)
{
    if (state.replaying) return;   // the world is being rebuilt under a progress dialog
    if (id == update_timer_id) {
        check_keys(state);
        clear_vector_state();
        run_tick_updates(state);
        view_follow(state.world, state.view);
        draw_world_into_memdc(state);
        if (state.recorder.every == 0 && state.world.draw_enabled) recorder_add_image(state.recorder, state.memdc, state.view.keep_proportions);
        if (state.chart_window != nullptr) state.chart_window->follow_world();
        if (state.inspector != nullptr) inspector_follow(*state.inspector);
        if (state.world.generation != state.shown_generation) {
            state.shown_generation = state.world.generation;
            state.refresh_status();   // the status bar and the timeline strip show the same generation
        }
        state.frames += 1;
        state.repaint();
    } else if (id == stats_timer_id) {
        state.refresh_status();
        state.updates_per_second = state.updates;
        state.updates = 0;
        state.frames_per_second = state.frames;
        state.frames = 0;
        if (state.runs_window != nullptr && state.runs_window->isVisible()) state.runs_window->refresh();
        world_debug_update(state.world);
    }
}

void system_shutdown(window_state_type& state)
{
    world_destroy(state.world);
    state.memdc = QImage();
}
