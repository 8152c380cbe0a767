// A long run that uses the simulation the way a user can: evolving, adding and
// removing animals and plants, resets, wrapping, steering by hand, saving and
// loading, and loading damaged files. Every invariant is checked after every
// step. Usage: velmora_soak [GENERATIONS [SEED]]
#include "animal/animal.h"
#include "base/console.h"
#include "base/shell_state.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/world.h"
#include "world/world_file.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The soak's own choices come from a generator apart from the world's random
// source, so choosing an operation does not change the simulation's draws.
std::mt19937 chooser;

int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(chooser); }
double pick_real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(chooser); }

long failures = 0;

void check(bool condition, const char* what, const std::string& step)
{
    if (condition) return;
    ++failures;
    if (failures <= 20) std::fprintf(stderr, "FAILED after %s: %s\n", step.c_str(), what);
}

std::string network_shape(const animal_type* animal)
{
    std::string shape;
    for (const neuron_type* n = animal->neurons; n != nullptr; n = n->next)
        shape += std::to_string(n->id) + ":" + std::to_string(n->input_count) + " ";
    return shape;
}

void check_invariants(const std::string& step)
{
    check(world.num_animals == animal_list_length(), "num_animals is the list length", step);
    check(world.num_plants >= 0 && static_cast<unsigned>(world.num_plants) == plant_list_length(),
          "num_plants is the list length", step);
    const std::string shape = world.animals != nullptr ? network_shape(world.animals) : "";
    for (const animal_type* a = world.animals; a != nullptr; a = a->next) {
        check(network_shape(a) == shape, "every animal has the network shape of the others", step);
        check(a->x >= 0 && a->x <= world.width && a->y >= 0 && a->y <= world.height, "animal inside the world", step);
        for (const neuron_type* n = a->neurons; n != nullptr; n = n->next)
            check(n->out >= -1.0 && n->out <= 1.0, "every out lies in [-1, 1]", step);
    }
    for (const plant_type* p = world.plants; p != nullptr; p = p->next)
        check(p->x >= 0 && p->x <= world.width && p->y >= 0 && p->y <= world.height, "plant inside the world", step);
}

long count_lines(const std::string& path)
{
    long lines = 0;
    for (char c : read_file(path)) lines += c == '\n';
    return lines;
}

std::string damage(std::string text)
{
    if (text.empty()) return "x";
    switch (pick(0, 4)) {
    case 0: return text.substr(0, static_cast<std::size_t>(pick(0, static_cast<int>(text.size()) - 1)));
    case 1: text[static_cast<std::size_t>(pick(0, static_cast<int>(text.size()) - 1))] = static_cast<char>(pick(0, 255)); return text;
    case 2: return text + "garbage\n";
    case 3: text.insert(static_cast<std::size_t>(pick(0, static_cast<int>(text.size()))), " 101 "); return text;
    default: text.erase(static_cast<std::size_t>(pick(0, static_cast<int>(text.size()) - 1)), 1); return text;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const long generations = argc > 1 ? std::atol(argv[1]) : 1000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1;
    scratch_folder folder;
    h_console = open("/dev/null", O_WRONLY | O_CLOEXEC);
    chooser.seed(seed);
    random_seed(seed);
    world_setup();

    long logged = 0;
    long operations = 0, loads = 0, refused = 0, damaged_accepted = 0, resets = 0;
    long generations_run = 0;
    while (generations_run < generations && failures == 0) {
        const int choice = pick(0, 99);
        std::string step;
        const unsigned generation_before = world.generation;
        const std::string log_name = "log.txt";
        bool updates_ran = false;
        if (choice < 55) {
            const int count = pick(1, 700);
            step = "running " + std::to_string(count) + " updates";
            for (int i = 0; i < count; ++i) world_update();
            updates_ran = true;
        } else if (choice < 62) {
            step = "adding animals";
            for (int i = pick(1, 5); i > 0; --i) world_add_animal();
        } else if (choice < 65) {
            step = "removing all animals";
            world_free_animals();
            for (int i = 0; i < 600; ++i) world_update();
            updates_ran = true;
            for (int i = pick(1, 25); i > 0; --i) world_add_animal();
        } else if (choice < 70) {
            step = "adding plants";
            for (int i = pick(1, 10); i > 0; --i) add_random_plant();
        } else if (choice < 73) {
            step = "removing all plants";
            world_free_plants();
        } else if (choice < 76) {
            step = "resetting";
            world.start_animals = pick(0, 30);
            world.start_plants = pick(0, 20);
            world_reset();
            ++resets;
        } else if (choice < 80) {
            step = "toggling wrapping";
            world.wrap_edges = !world.wrap_edges;
        } else if (choice < 86) {
            step = "steering by hand";
            mode_manual = pick(0, 3) != 0;
            for (int i = pick(1, 200); i > 0; --i) {
                animal_motion(pick_real(-1, 1), pick_real(-1, 1));
                world_update();
            }
            mode_manual = false;
            updates_ran = true;
        } else if (choice < 93) {
            step = "saving and loading";
            const bool saved = world_save_file("soak.dat");
            check(saved, "the world saves", step);
            const std::string text = read_file("soak.dat");
            check(saved && world_load_file("soak.dat"), "a saved file loads", step);
            check(world_file_text() == text, "a loaded world saves as the same file", step);
            ++loads;
        } else {
            step = "loading a damaged file";
            world_save_file("soak.dat");
            write_file("damaged.dat", damage(read_file("soak.dat")));
            const std::uint64_t before = world_fingerprint();
            if (world_load_file("damaged.dat")) {
                ++damaged_accepted;
            } else {
                check(world_fingerprint() == before, "a refused file leaves the world unchanged", step);
                ++refused;
            }
        }
        ++operations;
        check_invariants(step);
        if (updates_ran) {
            const long ended = static_cast<long>(world.generation) - static_cast<long>(generation_before);
            check(ended >= 0, "generations only advance while running", step);
            generations_run += ended;
            logged += ended;
            check(count_lines(log_name) == logged, "log.txt gains one line per generation", step);
        } else {
            check(world.generation == generation_before || world.generation == 0, "no generation ends without updates",
                  step);
        }
    }
    world_destroy();
    std::printf("soak: %ld generations, %ld operations, %ld save-load round trips, %ld damaged files refused, "
                "%ld damaged files still valid, %ld resets\n",
                generations_run, operations, loads, refused, damaged_accepted, resets);
    std::printf("%ld passed, %ld failed\n", failures == 0 ? 1L : 0L, failures == 0 ? 0L : 1L);
    return failures == 0 ? 0 : 1;
}
