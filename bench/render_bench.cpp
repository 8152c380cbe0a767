// Speed of drawing one frame of the world view, and of the world updates the
// window runs. Run with `make bench`.
#include "app/chart_window.h"
#include "app/frame_loop.h"
#include "app/main_window.h"
#include "app/window_state.h"
#include "bench_main.h"
#include "render/surface.h"
#include "render/world_view.h"
#include "world/world.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

namespace {

// Frames of the world at 640 x 480, at Whole World.
void draw_frames(benchmark::State& state, const world_type& world, bool show_vision)
{
    view_type view;
    view.display_x = 640;
    view.display_y = 480;
    view.show_vision = show_vision;
    QImage image(view.display_x, view.display_y, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        surface_type surface = surface_open(painter);
        world_draw(surface, world, view);
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void bench_world_draw(benchmark::State& state)
{
    world_type world;
    world_start(world, 1);
    world.start_animals = static_cast<int>(state.range(1));
    world.start_plants = static_cast<int>(state.range(1));
    world_reset(world);
    for (int i = 0; i < 100; ++i) world_update(world);
    draw_frames(state, world, state.range(0) != 0);
}
BENCHMARK(bench_world_draw)->Name("world_draw/default/640x480")->Args({0, 20});
BENCHMARK(bench_world_draw)->Name("world_draw/default/640x480/vision")->Args({1, 20});
BENCHMARK(bench_world_draw)->Name("world_draw/2000+2000/640x480")->Args({0, 2000})->Unit(benchmark::kMillisecond);

// A frame of the largest world a file holds, 50,000 + 50,000, at Whole World.
void bench_world_draw_largest(benchmark::State& state)
{
    world_type world;
    world_start(world, 1);
    world.width = world.height = 500;
    world.start_animals = world.start_plants = 50000;
    world_reset(world);
    world_update(world);
    draw_frames(state, world, false);
}
BENCHMARK(bench_world_draw_largest)->Name("world_draw/50000+50000/640x480")->Unit(benchmark::kMillisecond)->Iterations(20);

// A frame of the 10,000 + 10,000 world zoomed to a window 20 units wide, with
// an animal selected: only what shows is drawn, smoothly.
void bench_world_draw_zoomed(benchmark::State& state)
{
    world_type world;
    world_start(world, 1);
    world.width = world.height = 224;
    world.start_animals = world.start_plants = 10000;
    world_reset(world);
    for (int i = 0; i < 2; ++i) world_update(world);
    view_type view;
    view.display_x = 640;
    view.display_y = 480;
    view_zoom_at(world, view, 224.0 / 20.0, view.display_x / 2, view.display_y / 2);
    view_select(world, view, world.animals);
    QImage image(view.display_x, view.display_y, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        surface_type surface = surface_open(painter);
        world_draw(surface, world, view);
    }
}
BENCHMARK(bench_world_draw_zoomed)->Name("world_draw/10000+10000/zoomed_to_20_units")->Unit(benchmark::kMillisecond);

// Redrawing the Chart window's picture as a generation ends, at its start
// size, after this many generations: it costs the same however long the run.
void bench_chart_redraw(benchmark::State& state)
{
    world_type world;
    world_start(world, 1);
    const auto record = [](std::size_t g) {
        return generation_record_type{static_cast<std::uint32_t>(g), 100, 20, 5.0 + g % 7, 12, 5.5, 20, 10, 0.0, 0, {}, {}};
    };
    for (std::int64_t g = 0; g < state.range(0); ++g) world.history.push_back(record(world.history.size()));
    chart_buckets_type buckets;
    world_chart(world, buckets);  // the history so far, folded once
    for (auto _ : state) {
        world.history.push_back(record(world.history.size()));
        benchmark::DoNotOptimize(chart_image(world_chart(world, buckets), 480, 320));
    }
}
BENCHMARK(bench_chart_redraw)->Name("chart_redraw/500_generations")->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(bench_chart_redraw)->Name("chart_redraw/200000_generations")->Arg(200000)->Unit(benchmark::kMillisecond);

// World updates as the window runs them: through the update tick, in a
// process whose QApplication has shown and painted the main window. Compare
// with world_update/default of the core benchmarks.
void bench_window_tick(benchmark::State& state)
{
    main_window_widget window;
    window_state_type& ticks = window.state;
    system_startup(ticks, window.view()->width(), window.view()->height(), 1);
    window.show();
    for (int i = 0; i < 20; ++i) {
        timer_message(ticks, update_timer_id);
        window.view()->repaint();
        QCoreApplication::processEvents();
    }
    ticks.world.draw_enabled = false;
    ticks.world.updates_per_tick = 100;
    for (auto _ : state) timer_message(ticks, update_timer_id);
    state.counters["updates/s"] = benchmark::Counter(100.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    system_shutdown(ticks);
}
BENCHMARK(bench_window_tick)->Name("window_tick/default/100_updates");

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return run_benchmarks(argc, argv);
}
