#include "world/world.h"

#include "base/system.h"

#include "animal/animal.h"
#include "base/console.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "world/grid.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

void append_to_log(world_type& world, const char* line, std::size_t length)
{
    if (world.options.log_path.empty()) return;
    // Plain descriptors: appending a line allocates nothing and is one write.
    const int file = system_open(world.options.log_path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    bool ok = file >= 0 && system_write_all(file, line, length) == 0;
    if (file >= 0 && system_close(file) != 0) ok = false;
    // The line is on the console already; whoever runs the world may act on the failure.
    if (!ok && world.options.log_error == 0) world.options.log_error = errno != 0 ? errno : EIO;
}

// The lower half gets new genes. Child n/2 + j takes whole neurons from rank
// j + 1 and from the best animal (rank 0); once the first quarter and one more
// are bred, from rank 1 instead of the best. The last child's first parent is
// the first child, already bred in this cycle.
void breed(world_type& world, animal_type** ranked, std::uint32_t n)
{
    const std::uint32_t children = n / 2;
    const std::uint32_t quarter = children / 2;
    std::uint32_t second_parent = 0;
    for (std::uint32_t j = 0; j < children; ++j) {
        animal_type* child = ranked[children + j];
        animal_type* first_parent = ranked[j + 1];
        // The child takes the record of the animal it replaces, which ends here.
        world_lineage_record(world, child);
        const std::uint64_t a = first_parent->id, b = ranked[second_parent]->id, founder = first_parent->founder, line = first_parent->line;
        mate(world, child, first_parent, ranked[second_parent], world.mutate_rate, world.mutate_amount);
        child->id = ++world.last_id;
        child->parent_a = a;
        child->parent_b = b;
        child->founder = founder;
        child->line = line;
        child->born = world.generation + 1;
        child->came_from = 0;
        if (j >= quarter) second_parent = 1;
    }
}

// From this many animals on, an update is long enough to share its vision
// between threads. Below, handing over costs more than it gains.
constexpr std::uint32_t large_world_animals = 200;
// Animals a thread sees at a time: few enough that the updating thread soon
// finds the next ones seen, many enough that claiming them costs little.
constexpr std::size_t vision_chunk = 32;
constexpr std::size_t no_chunk = std::numeric_limits<std::size_t>::max() / 2;

// Sorts by animal_compare, keeping the list order of equal animals, so that
// a run is the same whatever sort a C library has. A merge sort from runs of
// one upwards, through scratch room of n more, takes no heap memory.
void rank_stably(animal_type** ranked, animal_type** scratch, std::uint32_t n)
{
    animal_type** from = ranked;
    animal_type** to = scratch;
    for (std::uint32_t width = 1; width < n; width *= 2) {
        for (std::uint32_t left = 0; left < n; left += 2 * width) {
            const std::uint32_t middle = std::min(left + width, n), end = std::min(left + 2 * width, n);
            std::uint32_t i = left, j = middle, k = left;
            while (i < middle && j < end) to[k++] = animal_compare(&from[j], &from[i]) < 0 ? from[j++] : from[i++];
            while (i < middle) to[k++] = from[i++];
            while (j < end) to[k++] = from[j++];
        }
        std::swap(from, to);
    }
    if (from != ranked) std::copy(from, from + n, ranked);
}

}  // namespace

// How an update is shared between threads. An animal's step has a plant half
// (eating, the whiskers' plants, vision) and an animal half (the walls' and
// animals' touch, the network, the move). No plant half depends on an animal
// half of the same update, so the update runs in three phases:
//
// 1. The updating thread eats and feels plants for every animal in list
//    order, logging each plant filed or taken out and by which animal.
// 2. Vision, on every thread: each animal counts the plants there are now,
//    then takes back the changes logged after its own turn. A count is a sum
//    over plants of each plant's own test, so the result is the count on the
//    plants the animal would have seen in its turn, bit for bit, whichever
//    thread made it and in whatever order.
// 3. The updating thread takes the animal halves in list order, each as soon
//    as its animal is seen, seeing animals itself while it waits.
//
// Phase 2 is all reading and scales with threads; phases 1 and 3 are one
// chain each (an animal eats what the ones before left; it feels the animals
// before it where they moved to), so they stay on one thread. On N threads
// an update takes about phase 1 + max(phase 2 / N, phase 3). With vision a
// few times the rest, that stops gaining beyond some four threads; to go on,
// the networks of phase 3 (which depend only on each animal's own senses
// once touch is known) would have to move to the helpers, with touch made
// from the positions before the update and checked afterwards.
struct world_helper_type {
    world_type* owner = nullptr;                  // the world whose vision the threads share
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable wake;
    std::uint64_t updates = 0;                    // handed over so far; under mutex
    bool quit = false;                            // under mutex
    // The update's work, written before next is reset and read after claiming.
    animal_type* const* animals = nullptr;
    std::size_t count = 0;
    std::atomic<std::size_t> chunks{0};
    // The first chunk no thread has claimed; between updates far past any
    // chunk, so that a helper late from the last update claims none.
    std::atomic<std::size_t> next{no_chunk};
    std::unique_ptr<std::atomic<bool>[]> seen;    // per chunk: its animals are seen
    std::size_t seen_room = 0;
};

void world_helper_stop::operator()(world_helper_type* helper) const
{
    {
        std::lock_guard<std::mutex> lock(helper->mutex);
        helper->quit = true;
    }
    helper->wake.notify_all();
    for (std::thread& thread : helper->threads) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // a helper itself ended the process
        } else if (thread.joinable()) {
            thread.join();
        }
    }
    delete helper;
}

namespace {

void act(world_type& world, animal_type* animal, std::size_t k)
{
    world_watch(world, animal, world_step_type::acting);
    animal_act(world, animal, &world.networks, k);
    world_watch(world, animal, world_step_type::acted);
}

// Animal k of the update sees the first snapshot of the plants taken after
// its turn, with the changes logged after its turn up to the snapshot taken
// back: the log runs in list order.
void see(const world_type& world, animal_type* animal, std::size_t k)
{
    const grid_type& grid = world.grid;
    const grid_plant_changes_type& changes = grid.plant_changes;
    const std::size_t s = static_cast<std::size_t>(
        std::lower_bound(grid.snapshot_after.begin(), grid.snapshot_after.end(), k) - grid.snapshot_after.begin());
    const grid_plant_cells_type& cells = s < grid.snapshot_after.size() ? grid.plant_snapshots[s] : grid.plant_cells;
    const auto from = std::upper_bound(changes.animal.begin(), changes.animal.end(), k);
    const auto to = s < grid.snapshot_after.size()
                        ? std::upper_bound(from, changes.animal.end(), grid.snapshot_after[s])
                        : changes.animal.end();
    animal_see(world, animal, cells, changes, static_cast<std::size_t>(from - changes.animal.begin()),
               static_cast<std::size_t>(to - changes.animal.begin()));
}

// Changes between snapshots of the plants. Vision takes back half of them on
// average, at a few nanoseconds each, for every animal; a snapshot costs a
// few per plant. sqrt(4 changes plants / animals) balances the two; at most
// max_snapshots keep the memory bounded.
std::size_t changes_per_snapshot(std::size_t changes, std::size_t plants, std::size_t animals)
{
    constexpr std::size_t max_snapshots = grid_max_plant_snapshots;
    const double balanced = std::sqrt(4.0 * static_cast<double>(changes) * static_cast<double>(plants) /
                                      static_cast<double>(std::max<std::size_t>(animals, 1)));
    return std::max({std::size_t{32}, static_cast<std::size_t>(balanced), changes / max_snapshots + 1});
}

void see_chunk(const world_helper_type& helper, std::size_t chunk)
{
    const std::size_t last = std::min(helper.count, (chunk + 1) * vision_chunk);
    for (std::size_t k = chunk * vision_chunk; k < last; ++k) see(*helper.owner, helper.animals[k], k);
}

// Claims and sees one chunk; false when none is left.
bool see_next_chunk(world_helper_type& helper)
{
    const std::size_t chunk = helper.next.fetch_add(1, std::memory_order_acq_rel);
    if (chunk >= helper.chunks.load(std::memory_order_relaxed)) return false;
    see_chunk(helper, chunk);
    helper.seen[chunk].store(true, std::memory_order_release);
    return true;
}

void helper_run(world_helper_type* helper)
{
    std::uint64_t done = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(helper->mutex);
            helper->wake.wait(lock, [&] { return helper->quit || helper->updates != done; });
            if (helper->quit) return;
            done = helper->updates;
        }
        while (see_next_chunk(*helper)) {
        }
    }
}

// The world's helpers for this many threads in all, started now if need be;
// null when no thread can be had.
world_helper_type* helper_started(world_type& world, int threads)
{
    const std::size_t wanted = static_cast<std::size_t>(threads - 1);
    if (world.helper != nullptr && world.helper->threads.size() == wanted) return world.helper.get();
    world.helper.reset();
    std::unique_ptr<world_helper_type, world_helper_stop> helper(new world_helper_type);
    helper->owner = &world;
    try {
        while (helper->threads.size() < wanted) helper->threads.emplace_back(helper_run, helper.get());
    } catch (const std::system_error&) {
        if (helper->threads.empty()) return nullptr;  // no thread to be had: one does it all
    }
    world.helper = std::move(helper);
    return world.helper.get();
}

// Phase 2 handed to the helpers, and phase 3 on this thread.
void see_and_act_shared(world_type& world, world_helper_type& helper, std::vector<animal_type*>& animals)
{
    helper.animals = animals.data();
    helper.count = animals.size();
    const std::size_t chunks = (animals.size() + vision_chunk - 1) / vision_chunk;
    helper.chunks.store(chunks, std::memory_order_relaxed);
    if (helper.seen_room < chunks) {
        helper.seen = std::make_unique<std::atomic<bool>[]>(chunks);
        helper.seen_room = chunks;
    }
    for (std::size_t c = 0; c < chunks; ++c) helper.seen[c].store(false, std::memory_order_relaxed);
    helper.next.store(0, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(helper.mutex);
        helper.updates += 1;
    }
    helper.wake.notify_all();
    for (std::size_t k = 0; k < animals.size(); ++k) {
        const std::size_t chunk = k / vision_chunk;
        int busy = 4096;
        while (!helper.seen[chunk].load(std::memory_order_acquire)) {
            if (see_next_chunk(helper)) continue;
            if (busy > 0) {
                busy -= 1;
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            } else {
                std::this_thread::yield();
            }
        }
        neuron_pack_prefetch(world.networks, k + 1);
        act(world, animals[k], k);
    }
    // Every chunk is seen, so no helper reads the update's work any more.
    helper.next.store(no_chunk, std::memory_order_relaxed);
}

// The update of a large world, in the three phases above.
void update_in_phases(world_type& world)
{
    std::vector<animal_type*>& animals = world.update_order;
    animals.clear();
    if (animals.capacity() < world.num_animals) world_reserve_ranking(world, world.num_animals);
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next) animals.push_back(animal);

    // Phase 1: the plants' side of every step, logged for vision.
    grid_type& grid = world.grid;
    const std::size_t interval = changes_per_snapshot(grid.plant_changes.x.size(), grid.plants.x.size(), animals.size());
    std::size_t snapshots = 0, last_snapshot = 0;
    grid.snapshot_after.clear();
    grid.plant_changes.x.clear();
    grid.plant_changes.y.clear();
    grid.plant_changes.undo.clear();
    grid.plant_changes.animal.clear();
    grid.logs_plant_changes = true;
    for (std::size_t k = 0; k < animals.size(); ++k) {
        grid.eating_animal = static_cast<std::uint32_t>(k);
        world_watch(world, animals[k], world_step_type::eating);
        animal_check_plants(world, animals[k]);
        animal_sense_touch_plants(world, animals[k]);
        world_watch(world, animals[k], world_step_type::eaten);
        const std::size_t logged = grid.plant_changes.x.size();
        // An update that logs far more than the last (the first of a
        // generation) spreads its snapshots by what it is on course to log.
        const std::size_t on_course = logged * animals.size() / (k + 1) / grid_max_plant_snapshots + 1;
        if (logged - last_snapshot >= std::max(interval, on_course) && k + 1 < animals.size() &&
            snapshots < grid_max_plant_snapshots) {
            if (grid.plant_snapshots.size() == snapshots) grid.plant_snapshots.emplace_back();  // after a change of the grid
            grid_sort_plants_into(world, grid.plant_snapshots[snapshots++]);
            grid.snapshot_after.push_back(static_cast<std::uint32_t>(k));
            last_snapshot = logged;
        }
    }
    grid.logs_plant_changes = false;
    grid_sort_plants(world);

    // Phases 2 and 3.
    world_helper_type* helper = world.options.threads > 1 ? helper_started(world, world.options.threads) : nullptr;
    if (helper != nullptr) {
        see_and_act_shared(world, *helper, animals);
    } else {
        for (std::size_t k = 0; k < animals.size(); ++k) see(world, animals[k], k);
        for (std::size_t k = 0; k < animals.size(); ++k) {
            neuron_pack_prefetch(world.networks, k + 1);
            act(world, animals[k], k);
        }
    }
}

}  // namespace

void world_reserve_ranking(world_type& world, std::uint32_t count)
{
    // The ranking and the merge's scratch, side by side.
    const auto grow = [](auto& room, std::size_t needed) {
        if (room.size() < needed) room.resize(needed > 2 * room.size() ? needed : 2 * room.size());
    };
    grow(world.ranking, 2 * std::size_t{count});
    grow(world.founder_room, count);
    grow(world.update_order, count);
    if (world.ranked_last.capacity() < count) world.ranked_last.reserve(std::max<std::size_t>(count, 2 * world.ranked_last.capacity()));
    if (world.animals != nullptr) grow(world.gene_room, animal_get_chromosome_size(world.animals));
}

void world_pack_networks(world_type& world)
{
    if (world.animals != nullptr && neuron_pack_holds(world.networks, world.network_edits, 0, world.animals->neurons) &&
        world.networks.heads.size() == world.num_animals) return;
    neuron_pack_clear(world.networks, world.network_edits);
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next)
        neuron_pack_add(world.networks, animal->neurons);
}

void world_update(world_type& world)
{
    if (!world.running) return;
    world_apply_events(world);
    grid_tidy(world);
    world_pack_networks(world);
    if (world.num_animals < large_world_animals) {
        // A small world steps each animal whole: too little to share, and
        // seeing the plants as they are costs less than taking changes back.
        std::size_t k = 0;
        for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next, ++k)
            animal_update(world, animal, &world.networks, k);
    } else {
        update_in_phases(world);
    }
    world.update_count += 1;
    if (world.update_count == world.generation_length) world_compute_generation(world);
    world_check(world);
}

void world_debug_update(world_type&) {}

// Rank, relink best first, log, breed the lower half, reset, advance.
void world_compute_generation(world_type& world)
{
    if (world.animals == nullptr) {
        // Restart the count, so that generations end again once animals are added.
        world.update_count = 0;
        return;
    }
    world_check_networks(world);  // the pack this generation's updates ran, in list order
    const std::uint32_t n = world.num_animals;
    world_reserve_ranking(world, n);
    animal_type** ranked = world.ranking.data();

    int best = 0;
    animal_type* animal = world.animals;
    for (std::uint32_t i = 0; i < n; ++i, animal = animal->next) {
        ranked[i] = animal;
        if (animal->food > best) best = animal->food;
    }
    for (std::uint32_t i = 0; i < n; ++i)
        ranked[i]->fitness = static_cast<double>(ranked[i]->food) / static_cast<double>(best);
    rank_stably(ranked, ranked + n, n);

    world.animals = ranked[0];
    for (std::uint32_t i = 0; i + 1 < n; ++i) ranked[i]->next = ranked[i + 1];
    ranked[n - 1]->next = nullptr;
    world.ranked_last.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) world.ranked_last[i] = {ranked[i]->id, ranked[i]->food, ranked[i]->fitness};

    int food = 0;
    int wall = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        food += ranked[i]->food;
        wall += ranked[i]->wall_hits;
    }
    world_show_scores(world, food, wall);
    generation_record_type record{world.generation, food, wall, static_cast<double>(food) / static_cast<double>(n), best,
                                  world.ave_food, n, world.num_plants, world_gene_spread(world), 0, {}, {}};
    record.lineages = world_lineages(world, &record);
    world.history.push_back(record);

    breed(world, ranked, n);
    world_lineage_flush(world);
    world.update_count = 0;
    for (animal = world.animals; animal != nullptr; animal = animal->next) animal_reset(world, animal);
    world.generation += 1;
    // Lines are counted afresh every line_horizon generations: each animal alive begins one.
    if (world.line_horizon > 0 && world.generation % static_cast<std::uint32_t>(world.line_horizon) == 0)
        for (animal = world.animals; animal != nullptr; animal = animal->next) animal->line = animal->id;
}

int animal_compare(const void* a, const void* b)
{
    const animal_type* first = *static_cast<animal_type* const*>(a);
    const animal_type* second = *static_cast<animal_type* const*>(b);
    if (second->fitness > first->fitness) return 1;
    if (first->fitness > second->fitness) return -1;
    return 0;  // equal, or a fitness that is not a number
}

// Crossover of whole neurons plus mutation of single genes. One neuron is read
// and written at a time, so a child that is its own parent_a is handled.
void mate(world_type& world, animal_type* child, animal_type* parent_a, animal_type* parent_b, double rate, double amount)
{
    const neuron_type* a = parent_a->neurons;
    const neuron_type* b = parent_b->neurons;
    neuron_rewrite(world.network_edits, child->neurons, [&](neuron_type& to) {
        if (a == nullptr || b == nullptr) return;
        const neuron_type* from = (random_int(world.random) & 1) ? a : b;
        to.bias = mutate_gene(world.random, from->bias, rate, amount);
        for (std::uint32_t i = 0; i < from->input_count; ++i) to.scaler[i] = mutate_gene(world.random, from->scaler[i], rate, amount);
        a = a->next;
        b = b->next;
    });
}

void world_show_scores(world_type& world, int food, int wall)
{
    world.food_sum = world.food_sum + static_cast<double>(food) / static_cast<double>(world.num_animals);
    world.ave_food = world.food_sum / (static_cast<double>(world.generation) + 1.0);
    char line[world_score_line_size];
    const int length = world_score_line(line, world.generation, food, wall, world.ave_food);
    if (world.options.console_scores) world_say(world, line);
    append_to_log(world, line, static_cast<std::size_t>(length));
}

int world_score_line(char (&line)[world_score_line_size], std::uint32_t generation, int food, int wall, double ave_food)
{
    return format_c(line, sizeof line, "Gen: %4d   Total Food: %5d  Total Wall: %6d   Ave food/animal: %5.3f\n", static_cast<int>(generation),
                    food, wall, ave_food);
}
