// Speed of drawing one frame of the world view. Run with `make bench`.
#include "bench_main.h"
#include "base/utility.h"
#include "render/surface.h"
#include "render/world_view.h"
#include "world/world.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>


namespace {

void bench_world_draw(benchmark::State& state)
{
    world_start(1);
    for (int i = 0; i < 100; ++i) world_update();
    show_vision = state.range(0) != 0;
    display_x = 640;
    display_y = 480;
    QImage image(display_x, display_y, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        surface_type surface = surface_open(painter);
        world_draw(surface);
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(bench_world_draw)->Name("world_draw/default/640x480")->Arg(0);
BENCHMARK(bench_world_draw)->Name("world_draw/default/640x480/vision")->Arg(1);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    return run_benchmarks(argc, argv);
}
