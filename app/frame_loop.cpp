#include "app/frame_loop.h"

#include "app/chart_window.h"
#include "app/commands.h"
#include "app/inspector.h"
#include "app/main_window.h"
#include "app/recorder.h"
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

namespace {

// A tick runs its world updates for at most this long; the rest of them wait
// for the next tick, so keys, menus and closing are answered at any size.
constexpr auto tick_budget = std::chrono::milliseconds(40);

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) void clear_upper_vector_state() { __builtin_ia32_vzeroupper(); }
#endif

}  // namespace

int timer_val = 40;
int tick_updates_done = 0;
int frames = 0;
int frames_per_second = 0;
int updates = 0;
int updates_per_second = 0;
QImage memdc;

void system_startup(main_window_widget* window, std::uint32_t seed, const world_settings_type* settings)
{
    memdc_setup(window);
    world_start(seed);
    if (settings != nullptr) settings_apply(*settings);
    tick_world_update();
    draw_world_into_memdc();
    window->set_timer(update_timer_id, timer_val);
    window->set_timer(stats_timer_id, 1000);
    window->refresh_status();
}

void tick_world_update()
{
    if (world->running) updates += 1;
    world_update();
    if (world->running) recorder_after_update(window_recorder);
}

void memdc_setup(main_window_widget* window)
{
    display_x = window->view()->width();
    display_y = window->view()->height();
    memdc = QImage();
    if (display_x > 0 && display_y > 0) {
        memdc = QImage(display_x, display_y, QImage::Format_RGB32);
        memdc.fill(Qt::white);
        // Drawn once at the new size even while drawing is off, which would leave it blank.
        if (world != nullptr && world->width > 0 && world->height > 0) draw_world_into_memdc(true);
    }
}

void view_changed(main_window_widget* window)
{
    draw_world_into_memdc(true);
    window->view()->update();
    window->refresh_status();
    if (neuron_window != nullptr) neuron_window->update();
}

void draw_world_into_memdc(bool always)
{
    if (memdc.isNull()) return;  // minimised: no surface
    QPainter painter(&memdc);
    surface_type surface = surface_open(painter);
    if (always) {
        world_paint(surface);
    } else {
        world_draw(surface);
    }
}

std::string status_line()
{
    std::string line = world->running ? "Running" : "Paused";
    if (world->mode_manual) line += "   Manual steering";
    line += world->wrap_edges ? "   Edges wrap" : "   Edges block";
    if (!world->draw_enabled) line += "   Drawing off";
    char numbers[128];
    format_c(numbers, sizeof numbers, "   Timer %d ms   %d update%s per tick   Generation %u", timer_val,
             world->updates_per_tick, world->updates_per_tick == 1 ? "" : "s", world->generation);
    line += numbers;
    if (view.zoom > 1.0) {
        format_c(numbers, sizeof numbers, "   Zoom %gx%s", view.zoom, view.follow ? " following" : "");
        line += numbers;
    }
    if (recorder_on(window_recorder)) {
        format_c(numbers, sizeof numbers, "   Recording %llu frames", static_cast<unsigned long long>(window_recorder.video.frames));
        line += numbers;
    }
    if (const animal_type* animal = view_selected()) {
        format_c(numbers, sizeof numbers, "   Animal %llu: food %d, born %u",
                 static_cast<unsigned long long>(animal->id), animal->food, animal->born);
        line += numbers;
    }
    return line;
}

std::string rate_line()
{
    char line[96];
    format_c(line, sizeof line, "Frame rate: %3d Update Rate  %d ", frames_per_second, updates_per_second);
    return line;
}

void window_paint(main_window_widget* window)
{
    if (!memdc.isNull()) {
        {
            QPainter painter(&memdc);
            surface_type surface = surface_open(painter);
            static int widest_rate_line = 0;  // pixels; the box cleared under the line
            widest_rate_line = std::max(widest_rate_line, surface_text_out(surface, 1, 1, rate_line().c_str(), widest_rate_line));
        }
        QPainter painter(window->view());
        painter.drawImage(0, 0, memdc);
    }
    if (neuron_window != nullptr) {
        // After a reset, an open or the removal of the animals it showed, the window follows the new first animal.
        if (neuron_window->isVisible() && neuron_view_animal() == nullptr) neuron_view_show(world->animals);
        neuron_window->update();
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

void run_tick_updates()
{
    const auto start = std::chrono::steady_clock::now();
    // The count is read again before each update, as keys may change it meanwhile.
    while (tick_updates_done < world->updates_per_tick) {
        tick_world_update();
        ++tick_updates_done;
        if (std::chrono::steady_clock::now() - start >= tick_budget) break;
    }
    if (tick_updates_done >= world->updates_per_tick) tick_updates_done = 0;
}

void timer_message(main_window_widget* window, int id)
{
    if (id == update_timer_id) {
        check_keys();
        clear_vector_state();
        run_tick_updates();
        view_follow();
        draw_world_into_memdc();
        if (window_recorder.every == 0 && world->draw_enabled) recorder_add_image(window_recorder, memdc);
        if (chart_window != nullptr) chart_window->follow_world();
        inspector_follow();
        frames += 1;
        window->view()->update();
    } else if (id == stats_timer_id) {
        window->refresh_status();
        updates_per_second = updates;
        updates = 0;
        frames_per_second = frames;
        frames = 0;
        world_debug_update();
    }
}

void system_shutdown()
{
    world_destroy();
    memdc = QImage();
}
