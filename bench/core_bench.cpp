// Speed of the simulation core. Run with `make bench`.
#include "animal/animal.h"
#include "bench_main.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "world/checkpoint.h"
#include "world/world.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <malloc.h>

namespace {

void make_world(world_type& world, int animals, int plants, double side = 10.0)
{
    world_start(world, 1);
    world.width = side;
    world.height = side;
    world.start_animals = animals;
    world.start_plants = plants;
    world_reset(world);
    for (int i = 0; i < 100; ++i) world_update(world);  // past the start, animals moving
}

void bench_world_update(benchmark::State& state)
{
    world_type world;
    make_world(world, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<double>(state.range(2)));
    for (auto _ : state) world_update(world);
    state.counters["updates/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(bench_world_update)->Name("world_update/default")->Args({20, 10, 10})->UseRealTime();
BENCHMARK(bench_world_update)->Name("world_update/100+100")->Args({100, 100, 10})->UseRealTime();
BENCHMARK(bench_world_update)->Name("world_update/500+500")->Args({500, 500, 10})->UseRealTime();
BENCHMARK(bench_world_update)->Name("world_update/2000+2000/crowded")->Args({2000, 2000, 10})->UseRealTime()->Unit(benchmark::kMillisecond);
// The default world's density, 224 x 224.
BENCHMARK(bench_world_update)->Name("world_update/10000+10000/224x224")->Args({10000, 10000, 224})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bench_world_update)->Name("world_update/50000+50000/500x500")->Args({50000, 50000, 500})->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void bench_process_neurons(benchmark::State& state)
{
    world_type world;
    make_world(world, 20, 10);
    for (auto _ : state) {
        process_neurons(world.animals->neurons, world.math);
        benchmark::DoNotOptimize(world.animals->neurons->out);
    }
}
BENCHMARK(bench_process_neurons)->Name("process_neurons/default");

void bench_compute_generation(benchmark::State& state)
{
    const int animals = static_cast<int>(state.range(0));
    world_type world;
    make_world(world, animals, animals, animals >= 50000 ? 500.0 : animals > 20 ? 224.0 : 10.0);
    for (auto _ : state) world_compute_generation(world);
}
BENCHMARK(bench_compute_generation)->Name("world_compute_generation/default")->Arg(20);
// Ranking, breeding, ids and diversity of a large world: a small part of its generation of 500 updates.
BENCHMARK(bench_compute_generation)->Name("world_compute_generation/10000+10000")->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(bench_compute_generation)->Name("world_compute_generation/50000+50000")->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);

// A checkpoint of the large world, written and read again.
void bench_checkpoint(benchmark::State& state)
{
    world_type world;
    make_world(world, 10000, 10000, 224.0);
    const bool writing = state.range(0) == 0;
    checkpoint_save(world, "bench.npz");
    for (auto _ : state) {
        if (writing) {
            checkpoint_save(world, "bench.npz");
        } else {
            checkpoint_load(world, "bench.npz");
        }
    }
}
BENCHMARK(bench_checkpoint)->Name("checkpoint_save/10000+10000")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(bench_checkpoint)->Name("checkpoint_load/10000+10000")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// What an autosave takes from the window's tick: the capture, into the room of the last one.
// A run's time on a 1024 x 1024 food map against the same world without one,
// the two in turn: a map of even weights (what drawing a place by the map
// costs), and one bright in a ring and black elsewhere (the plants then
// crowd, which changes the animals' work too).
void bench_food_map_cost(benchmark::State& state)
{
    world_type with, without;
    make_world(with, 10000, 10000, 224.0);
    make_world(without, 10000, 10000, 224.0);
    std::vector<double> weights(1024 * 1024);
    for (std::size_t k = 0; k < weights.size(); ++k) {
        const double dx = static_cast<double>(k % 1024) - 511.5, dy = static_cast<double>(k / 1024) - 511.5;
        const double r = std::sqrt(dx * dx + dy * dy);
        weights[k] = state.range(0) == 0 ? 1.0 : r > 200 && r < 450 ? 0.25 + static_cast<double>(k % 7) / 8.0 : 0.0;
    }
    if (!food_map_set(with.food_map, 1024, 1024, weights).empty()) state.SkipWithError("the map was refused");
    double mapped = 0.0, plain = 0.0;
    for (auto _ : state) {
        for (world_type* world : {&with, &without}) {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < 20; ++i) world_update(*world);
            (world == &with ? mapped : plain) += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    state.counters["overhead_%"] = 100.0 * (mapped - plain) / plain;
}
BENCHMARK(bench_food_map_cost)->Name("food_map_cost/10000+10000/1024x1024/even")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(bench_food_map_cost)->Name("food_map_cost/10000+10000/1024x1024/ring")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void bench_autosave_capture(benchmark::State& state)
{
    world_type world;
    make_world(world, 10000, 10000, 224.0);
    checkpoint_type captured;
    checkpoint_capture_into(world, captured);
    for (auto _ : state) checkpoint_capture_into(world, captured);
}
BENCHMARK(bench_autosave_capture)->Name("autosave_capture/10000+10000")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Heap an animal of the default shape takes in all: record, network, its
// share of the packed networks and of the index, in a world of 10,000.
void bench_animal_memory(benchmark::State& state)
{
    world_type world;
    world_start(world, 1);
    world.width = world.height = 224.0;
    world.start_animals = 1;
    world.start_plants = 0;
    world_reset(world);
    world_update(world);
    const std::size_t before = mallinfo2().uordblks;
    world.start_animals = 10001;
    world_reset(world);
    world_update(world);
    const double bytes = static_cast<double>(mallinfo2().uordblks - before) / 10000.0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes);
    state.counters["bytes/animal"] = bytes;
}
BENCHMARK(bench_animal_memory)->Name("animal_memory/default")->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    // Generations append to log.txt: keep it out of the way.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velmora_bench";
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    return run_benchmarks(argc, argv);
}
