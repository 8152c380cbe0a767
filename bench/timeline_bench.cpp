// Speed and memory of going back in a run: rewinds through the keyframes,
// and what keeping them costs a run. Run with `make bench`.
#include "world/timeline.h"
#include "world/world.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr std::size_t window_budget = std::size_t{256} << 20;

void make_world(world_type& world, int animals, int plants, double side, int generation_length)
{
    world_start(world, 1);
    world.options.log_path.clear();
    world.options.console_scores = false;
    world.width = world.height = side;
    world.start_animals = animals;
    world.start_plants = plants;
    world.generation_length = generation_length;
    world_reset(world);
}

void run_generations(timeline_type& timeline, world_type& world, std::uint32_t generations)
{
    const std::uint32_t end = world.generation + generations;
    while (world.generation < end) {
        world_update(world);
        timeline_note(timeline, world);
    }
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Rewinds of a long run to generations spread over all of it; worst_s is the slowest.
void rewind_bench(benchmark::State& state, int animals, double side, int generation_length, std::uint32_t generations,
                  std::uint32_t span)
{
    world_type world;
    make_world(world, animals, animals, side, generation_length);
    timeline_type timeline;
    timeline.budget = window_budget;
    timeline_begin(timeline, world);
    run_generations(timeline, world, generations);
    double worst = 0.0;
    std::size_t most_bytes = timeline.bytes;
    std::uint32_t k = 0;
    for (auto _ : state) {
        const std::uint32_t target = generations - 1 - (k++ * 7919u) % span;
        const auto start = std::chrono::steady_clock::now();
        if (!timeline_go(timeline, world, run_point_type{target, 0}).empty()) state.SkipWithError("the rewind failed");
        worst = std::max(worst, seconds_since(start));
        most_bytes = std::max(most_bytes, timeline.bytes);
    }
    state.counters["worst_s"] = worst;
    state.counters["keyframes"] = static_cast<double>(timeline.keyframes.size());
    state.counters["most_MB"] = static_cast<double>(most_bytes) / 1048576.0;
    state.counters["budget_MB"] = static_cast<double>(timeline.budget) / 1048576.0;
}

// The default world (20 animals, 10 x 10) after 10,000 generations of 100
// updates, back to any earlier generation.
void bench_rewind_default(benchmark::State& state) { rewind_bench(state, 20, 10.0, 100, 10000, 10000); }
BENCHMARK(bench_rewind_default)->Name("rewind/default/after_10000_generations")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(200);

// The 10,000 + 10,000 world after 12 generations of 10 updates, back to the start of any of the last 10.
void bench_rewind_large(benchmark::State& state) { rewind_bench(state, 10000, 224.0, 10, 12, 10); }
BENCHMARK(bench_rewind_large)->Name("rewind/10000+10000/last_10_generations")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// A run's time with keyframes kept against without, the two in turn.
void keyframe_cost(benchmark::State& state, int animals, double side, int generation_length, std::uint32_t generations)
{
    world_type with, without;
    make_world(with, animals, animals, side, generation_length);
    make_world(without, animals, animals, side, generation_length);
    timeline_type timeline;
    timeline.budget = window_budget;
    timeline_begin(timeline, with);
    double kept = 0.0, plain = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        run_generations(timeline, with, generations);
        kept += seconds_since(start);
        start = std::chrono::steady_clock::now();
        const std::uint32_t end = without.generation + generations;
        while (without.generation < end) world_update(without);
        plain += seconds_since(start);
    }
    state.counters["overhead_%"] = 100.0 * (kept - plain) / plain;
    state.counters["MB"] = static_cast<double>(timeline.bytes) / 1048576.0;
    state.counters["within_budget"] = timeline.bytes <= timeline.budget ? 1.0 : 0.0;
}

void bench_keyframes_default(benchmark::State& state) { keyframe_cost(state, 20, 10.0, 500, 200); }
BENCHMARK(bench_keyframes_default)->Name("keyframes_cost/default")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// At the default generation length, and at a fifth of it, where a keyframe comes five times as often.
void bench_keyframes_large(benchmark::State& state) { keyframe_cost(state, 10000, 224.0, static_cast<int>(state.range(0)), 1); }
BENCHMARK(bench_keyframes_large)->Name("keyframes_cost/10000+10000/generations_of_500")->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(bench_keyframes_large)->Name("keyframes_cost/10000+10000/generations_of_100")->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

}  // namespace
