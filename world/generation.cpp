#include "world/world.h"

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
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <sched.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

void append_to_log(const char* line, std::size_t length)
{
    if (world->options.log_path.empty()) return;
    // Plain descriptors: appending a line allocates nothing and is one write.
    const int file = open(world->options.log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    ssize_t written = -1;
    if (file >= 0) {
        written = write(file, line, length);
        if (close(file) != 0 && written >= 0) written = -1;
    }
    // The line is on the console already; whoever runs the world may act on the failure.
    if (written != static_cast<ssize_t>(length) && world->options.log_error == 0) world->options.log_error = errno != 0 ? errno : EIO;
}

// The lower half gets new genes. Child n/2 + j takes whole neurons from rank
// j + 1 and from the best animal (rank 0); once the first quarter and one more
// are bred, from rank 1 instead of the best. The last child's first parent is
// the first child, already bred in this cycle.
void breed(animal_type** ranked, std::uint32_t n)
{
    const std::uint32_t children = n / 2;
    const std::uint32_t quarter = children / 2;
    std::uint32_t second_parent = 0;
    for (std::uint32_t j = 0; j < children; ++j) {
        animal_type* child = ranked[children + j];
        animal_type* first_parent = ranked[j + 1];
        // The child takes the record of the animal it replaces, which ends here.
        world_lineage_record(child);
        const std::uint64_t a = first_parent->id, b = ranked[second_parent]->id, founder = first_parent->founder;
        mate(child, first_parent, ranked[second_parent], world->mutate_rate, world->mutate_amount);
        child->id = ++world->last_id;
        child->parent_a = a;
        child->parent_b = b;
        child->founder = founder;
        child->born = world->generation + 1;
        if (j >= quarter) second_parent = 1;
    }
}

// Large worlds update on two threads. An animal's step has two halves:
// eating, the whiskers' plants and vision read and change only the plants
// and the random source; the walls' and animals' touch, the network and the
// move read and change only the animals. No plant half of an update depends
// on an animal half of it, so a helper thread runs the plant halves of the
// whole list in order, and the updating thread follows with the animal
// halves, each once the helper is past its animal. Each kind of state sees
// the same operations in the same order as on one thread.
//
// From this many animals on, the networks no longer stay in the caches from
// one update to the next, and an update is long enough to be worth sharing
// between two threads. Below, asking for memory ahead or handing over costs
// more than it gains.
constexpr std::uint32_t large_world_animals = 200;

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

struct world_helper_type {
    world_type* owner = nullptr;            // the world whose plant halves it runs
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    std::uint64_t updates = 0;              // handed over so far; under mutex
    bool quit = false;                      // under mutex
    std::atomic<std::size_t> sensed{0};     // animals of this update whose plant half is done
};

void world_helper_stop::operator()(world_helper_type* helper) const
{
    if (helper->thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(helper->mutex);
            helper->quit = true;
        }
        helper->wake.notify_one();
        if (helper->thread.get_id() == std::this_thread::get_id()) {
            helper->thread.detach();  // the helper itself ended the process
        } else {
            helper->thread.join();
        }
    }
    delete helper;
}

namespace {

void helper_run(world_helper_type* helper)
{
    // Its draws (the eaten plants' replacements) come from its world's source.
    world_use(helper->owner);
    std::uint64_t done = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(helper->mutex);
            helper->wake.wait(lock, [&] { return helper->quit || helper->updates != done; });
            if (helper->quit) return;
            done = helper->updates;
        }
        // Nothing of an animal is read once it is handed over: the updating
        // thread may change the list as soon as the last one is.
        std::size_t sensed = 0;
        for (animal_type* animal = world->animals; animal != nullptr;) {
            animal_type* const next = animal->next;
            animal_sense_plants(animal);
            helper->sensed.store(++sensed, std::memory_order_release);
            animal = next;
        }
    }
}

// Waits, briefly busy and then giving the processor away, until the helper
// has sensed more than this many animals.
void wait_for_helper(const world_helper_type& helper, std::size_t animals)
{
    int busy = 4096;
    while (helper.sensed.load(std::memory_order_acquire) <= animals) {
        if (busy > 0) {
            busy -= 1;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        } else {
            std::this_thread::yield();
        }
    }
}

// The world's helper, started now if need be; null when no thread can be had.
world_helper_type* helper_started()
{
    if (world->helper != nullptr) return world->helper.get();
    std::unique_ptr<world_helper_type, world_helper_stop> helper(new world_helper_type);
    helper->owner = world;
    try {
        helper->thread = std::thread(helper_run, helper.get());
    } catch (const std::system_error&) {
        return nullptr;  // no thread to be had: one does it all
    }
    world->helper = std::move(helper);
    return world->helper.get();
}

void update_on_two_threads(world_helper_type& helper)
{
    helper.sensed.store(0, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(helper.mutex);
        helper.updates += 1;
    }
    helper.wake.notify_one();
    std::size_t network = 0;
    for (animal_type* animal = world->animals; animal != nullptr; animal = animal->next, ++network) {
        wait_for_helper(helper, network);
        neuron_pack_prefetch(world->networks, network + 1);
        animal_act(animal, &world->networks, network);
    }
}

}  // namespace

void world_reserve_ranking(std::uint32_t count)
{
    // The ranking and the merge's scratch, side by side.
    const auto grow = [](auto& room, std::size_t needed) {
        if (room.size() < needed) room.resize(needed > 2 * room.size() ? needed : 2 * room.size());
    };
    grow(world->ranking, 2 * std::size_t{count});
    grow(world->founder_room, count);
    if (world->animals != nullptr) grow(world->gene_room, animal_get_chromosome_size(world->animals));
}

void world_pack_networks()
{
    if (world->animals != nullptr && neuron_pack_holds(world->networks, 0, world->animals->neurons) &&
        world->networks.heads.size() == world->num_animals) return;
    neuron_pack_clear(world->networks);
    for (animal_type* animal = world->animals; animal != nullptr; animal = animal->next)
        neuron_pack_add(world->networks, animal->neurons);
}

void world_update()
{
    if (!world->running) return;
    grid_tidy();
    world_pack_networks();
    const bool large = world->num_animals >= large_world_animals;
    world_helper_type* helper = large && world->options.threads > 1 ? helper_started() : nullptr;
    if (helper != nullptr) {
        update_on_two_threads(*helper);
    } else {
        std::size_t network = 0;
        for (animal_type* animal = world->animals; animal != nullptr; animal = animal->next, ++network) {
            if (large) neuron_pack_prefetch(world->networks, network + 1);
            animal_update(animal, &world->networks, network);
        }
    }
    world->update_count += 1;
    if (world->update_count == world->generation_length) world_compute_generation();
}

void world_debug_update() {}

// Rank, relink best first, log, breed the lower half, reset, advance.
void world_compute_generation()
{
    if (world->animals == nullptr) {
        // Restart the count, so that generations end again once animals are added.
        world->update_count = 0;
        return;
    }
    const std::uint32_t n = world->num_animals;
    world_reserve_ranking(n);
    animal_type** ranked = world->ranking.data();

    int best = 0;
    animal_type* animal = world->animals;
    for (std::uint32_t i = 0; i < n; ++i, animal = animal->next) {
        ranked[i] = animal;
        if (animal->food > best) best = animal->food;
    }
    for (std::uint32_t i = 0; i < n; ++i)
        ranked[i]->fitness = static_cast<double>(ranked[i]->food) / static_cast<double>(best);
    rank_stably(ranked, ranked + n, n);

    world->animals = ranked[0];
    for (std::uint32_t i = 0; i + 1 < n; ++i) ranked[i]->next = ranked[i + 1];
    ranked[n - 1]->next = nullptr;

    int food = 0;
    int wall = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        food += ranked[i]->food;
        wall += ranked[i]->wall_hits;
    }
    world_show_scores(food, wall);
    generation_record_type record{world->generation, food, wall, static_cast<double>(food) / static_cast<double>(n), best,
                                  world->ave_food, n, world->num_plants, world_gene_spread(), 0, {}, {}};
    record.lineages = world_lineages(&record);
    world->history.push_back(record);

    breed(ranked, n);
    world_lineage_flush();
    world->update_count = 0;
    for (animal = world->animals; animal != nullptr; animal = animal->next) animal_reset(animal);
    world->generation += 1;
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
void mate(animal_type* child, animal_type* parent_a, animal_type* parent_b, double rate, double amount)
{
    const neuron_type* a = parent_a->neurons;
    const neuron_type* b = parent_b->neurons;
    neuron_rewrite(child->neurons, [&](neuron_type& to) {
        if (a == nullptr || b == nullptr) return;
        const neuron_type* from = (random_int() & 1) ? a : b;
        to.bias = mutate_gene(from->bias, rate, amount);
        for (std::uint32_t i = 0; i < from->input_count; ++i) to.scaler[i] = mutate_gene(from->scaler[i], rate, amount);
        a = a->next;
        b = b->next;
    });
}

void world_show_scores(int food, int wall)
{
    world->food_sum = world->food_sum + static_cast<double>(food) / static_cast<double>(world->num_animals);
    world->ave_food = world->food_sum / (static_cast<double>(world->generation) + 1.0);
    char line[160];
    const int length = format_c(line, sizeof line,
                                "Gen: %4d   Total Food: %5d  Total Wall: %6d   Ave food/animal: %5.3f\n",
                                static_cast<int>(world->generation), food, wall, world->ave_food);
    if (world->options.console_scores) write_console(line);
    append_to_log(line, static_cast<std::size_t>(length));
}
