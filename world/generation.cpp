#include "world/world.h"

#include "animal/animal.h"
#include "base/console.h"
#include "base/shell_state.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "world/grid.h"

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

// Room for the ranking, grown when animals are made, so that the generation
// cycle itself takes no heap memory.
std::vector<animal_type*> ranking;

void append_to_log(const char* line, std::size_t length)
{
    if (world_log_path.empty()) return;
    // Plain descriptors: appending a line allocates nothing and is one write.
    const int file = open(world_log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    ssize_t written = -1;
    if (file >= 0) {
        written = write(file, line, length);
        if (close(file) != 0 && written >= 0) written = -1;
    }
    // The line is on the console already; whoever runs the world may act on the failure.
    if (written != static_cast<ssize_t>(length) && world_log_error == 0) world_log_error = errno != 0 ? errno : EIO;
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
        mate(child, first_parent, ranked[second_parent], world.mutate_rate, world.mutate_amount);
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

struct helper_type {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    std::uint64_t updates = 0;              // handed over so far; under mutex
    bool quit = false;                      // under mutex
    std::atomic<std::size_t> sensed{0};     // animals of this update whose plant half is done

    ~helper_type()
    {
        if (!thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            quit = true;
        }
        wake.notify_one();
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // the helper itself ended the process
        } else {
            thread.join();
        }
    }
};

helper_type helper;

void helper_run()
{
    std::uint64_t done = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(helper.mutex);
            helper.wake.wait(lock, [&] { return helper.quit || helper.updates != done; });
            if (helper.quit) return;
            done = helper.updates;
        }
        // Nothing of an animal is read once it is handed over: the updating
        // thread may change the list as soon as the last one is.
        std::size_t sensed = 0;
        for (animal_type* animal = world.animals; animal != nullptr;) {
            animal_type* const next = animal->next;
            animal_sense_plants(animal);
            helper.sensed.store(++sensed, std::memory_order_release);
            animal = next;
        }
    }
}

// Waits, briefly busy and then giving the processor away, until the helper
// has sensed more than this many animals.
void wait_for_helper(std::size_t animals)
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

// Whether the helper runs, started now if need be.
bool helper_started()
{
    if (helper.thread.joinable()) return true;
    try {
        helper.thread = std::thread(helper_run);
    } catch (const std::system_error&) {
        return false;  // no thread to be had: one does it all
    }
    return true;
}

void update_on_two_threads()
{
    helper.sensed.store(0, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(helper.mutex);
        helper.updates += 1;
    }
    helper.wake.notify_one();
    std::size_t network = 0;
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next, ++network) {
        wait_for_helper(network);
        neuron_pack_prefetch(world_networks, network + 1);
        animal_act(animal, &world_networks, network);
    }
}

}  // namespace

// A cluster's job, or a process pinned with taskset, may have fewer
// processors than the machine: count those it may run on.
int world_threads = [] {
    cpu_set_t set;
    const int processors = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set)
                                                                        : static_cast<int>(std::thread::hardware_concurrency());
    return processors > 1 ? 2 : 1;
}();

std::vector<generation_record_type> world_history;
std::uint32_t world_resets = 0;
std::string world_log_path = "log.txt";
bool world_console_scores = true;
int world_log_error = 0;

void world_reserve_ranking(std::uint32_t count)
{
    if (ranking.size() < count) ranking.resize(count > 2 * ranking.size() ? count : 2 * ranking.size());
}

void world_release_ranking() { std::vector<animal_type*>().swap(ranking); }

neuron_pack_type world_networks{};

void world_pack_networks()
{
    if (world.animals != nullptr && neuron_pack_holds(world_networks, 0, world.animals->neurons) &&
        world_networks.heads.size() == world.num_animals) return;
    neuron_pack_clear(world_networks);
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next)
        neuron_pack_add(world_networks, animal->neurons);
}

void world_update()
{
    if (!world.running) return;
    grid_tidy();
    world_pack_networks();
    const bool large = world.num_animals >= large_world_animals;
    if (large && world_threads > 1 && helper_started()) {
        update_on_two_threads();
    } else {
        std::size_t network = 0;
        for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next, ++network) {
            if (large) neuron_pack_prefetch(world_networks, network + 1);
            animal_update(animal, &world_networks, network);
        }
    }
    world.update_count += 1;
    if (world.update_count == world.generation_length) world_compute_generation();
    updates += 1;
}

void world_debug_update() {}

// Rank, relink best first, log, breed the lower half, reset, advance.
void world_compute_generation()
{
    if (world.animals == nullptr) {
        // Restart the count, so that generations end again once animals are added.
        world.update_count = 0;
        return;
    }
    const std::uint32_t n = world.num_animals;
    world_reserve_ranking(n);
    animal_type** ranked = ranking.data();

    int best = 0;
    animal_type* animal = world.animals;
    for (std::uint32_t i = 0; i < n; ++i, animal = animal->next) {
        ranked[i] = animal;
        if (animal->food > best) best = animal->food;
    }
    for (std::uint32_t i = 0; i < n; ++i)
        ranked[i]->fitness = static_cast<double>(ranked[i]->food) / static_cast<double>(best);
    std::qsort(ranked, n, sizeof(animal_type*), animal_compare);

    world.animals = ranked[0];
    for (std::uint32_t i = 0; i + 1 < n; ++i) ranked[i]->next = ranked[i + 1];
    ranked[n - 1]->next = nullptr;

    int food = 0;
    int wall = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        food += ranked[i]->food;
        wall += ranked[i]->wall_hits;
    }
    world_show_scores(food, wall);
    world_history.push_back(generation_record_type{world.generation, food, wall,
                                                   static_cast<double>(food) / static_cast<double>(n), best,
                                                   world.ave_food, n, world.num_plants});

    breed(ranked, n);
    world.update_count = 0;
    for (animal = world.animals; animal != nullptr; animal = animal->next) animal_reset(animal);
    world.generation += 1;
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
    neuron_edits += 1;
    neuron_type* to = child->neurons;
    const neuron_type* a = parent_a->neurons;
    const neuron_type* b = parent_b->neurons;
    while (a != nullptr && b != nullptr && to != nullptr) {
        const neuron_type* from = (random_int() & 1) ? a : b;
        to->bias = mutate_gene(from->bias, rate, amount);
        for (std::uint32_t i = 0; i < from->input_count; ++i)
            to->scaler[i] = mutate_gene(from->scaler[i], rate, amount);
        to = to->next;
        a = a->next;
        b = b->next;
    }
}

void world_show_scores(int food, int wall)
{
    world.food_sum = world.food_sum + static_cast<double>(food) / static_cast<double>(world.num_animals);
    world.ave_food = world.food_sum / (static_cast<double>(world.generation) + 1.0);
    char line[160];
    const int length = format_c(line, sizeof line,
                                "Gen: %4d   Total Food: %5d  Total Wall: %6d   Ave food/animal: %5.3f\n",
                                static_cast<int>(world.generation), food, wall, world.ave_food);
    if (world_console_scores) write_console(line);
    append_to_log(line, static_cast<std::size_t>(length));
}
