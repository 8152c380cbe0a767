#include "world/world.h"

#include "animal/animal.h"
#include "base/check.h"
#include "base/console.h"
#include "base/system.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/grid.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <thread>

world_type::~world_type() { world_destroy(*this); }

void world_say(const world_type& world, const char* text)
{
    if (world.options.console) write_console(text);
}

void world_say(const world_type& world, const std::string& text) { world_say(world, text.c_str()); }

void world_notice(const world_type& world, const std::string& text)
{
    if (notice_sink != nullptr) {
        notice_sink(text.c_str());
        return;
    }
    world_say(world, text);
}

refusal_type world_refuse(const world_type& world, const char* verb, const std::string& path, const refusal_type& reason)
{
    refusal_type line = reason.said_as("Unable to " + std::string(verb) + " " + path + ": ");
    if (line.path.empty() && line.kind == refusal_kind_type::io) line.path = path;
    world_say(world, line + "\n");
    return line;
}

// A cluster's job, or a process pinned with taskset, may have fewer
// processors than the machine: count those it may run on.
int world_default_threads() { return std::clamp(system_processors(), 1, world_max_threads); }

void world_setup(world_type& world)
{
    // The defaults are the settings' own; a derived one (the mutation rate) comes with the reset.
    for (const setting_row_type& row : settings_table())
        if (row.fallback_text == nullptr) row.set(world, row.fallback);
    world.mutate_rate_set = false;
    world_say(world, "world_setup\n");

    world.brush_white = brush_type{colour_white};
    world.brush_black = brush_type{colour_black};
    world.brush_green = brush_type{colour_green};
    world.brush_blue = brush_type{colour_blue};
    world.brush_red = brush_type{colour_red};
    world.pen_white = pen_type{colour_white, 1};
    world.pen_black = pen_type{colour_black, 1};
    world.pen_green = pen_type{colour_green, 2};

    world_reset(world);
}

void world_start(world_type& world, std::uint32_t seed)
{
    world_destroy(world);
    // Views tell a new world from an old one by these two counts, so they only grow.
    const std::uint32_t resets = world.resets, animal_frees = world.animal_frees;
    world_options_type options = std::move(world.options);
    // A fresh value in the same place, so that every field starts as a new world's.
    world.~world_type();
    new (&world) world_type{};
    world.options = std::move(options);
    world.resets = resets;
    world.animal_frees = animal_frees;
    random_seed(world.random, seed);
    world.seed = seed;
    world_setup(world);
}

void world_add_animal(world_type& world)
{
    animal_type* animal = new (std::nothrow) animal_type{};
    if (animal == nullptr) {
        write_console("Unable to get animal memory\n");
        std::exit(EXIT_FAILURE);
    }
    animal->neurons = nullptr;
    animal->size_x = world.animal_size;
    animal->size_y = world.animal_size;
    animal->next = world.animals;
    world.animals = animal;
    animal_init(world, animal);
    animal->id = animal->founder = animal->line = ++world.last_id;
    animal->parent_a = animal->parent_b = 0;
    animal->came_from = 0;
    animal->born = world.generation;
    grid_add_animal(world, animal);
    // The pack is stale from now until world_update packs every network
    // again; adding this one here grows its room with the animals, so that
    // the packing takes no heap memory.
    neuron_pack_add(world.networks, animal->neurons);
    world.num_animals += 1;
    world_reserve_ranking(world, world.num_animals);
}

void world_free_animals(world_type& world)
{
    world.animal_frees += 1;  // views that hold an animal must drop it
    for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next) world_lineage_record(world, animal);
    world_lineage_flush(world);
    while (world.animals != nullptr) {
        animal_type* next = world.animals->next;
        free_neuron_list(world.network_edits, world.animals->neurons);
        delete world.animals;
        world.animals = next;
    }
    world.num_animals = 0;
    grid_clear_animals(world);
    neuron_pack_clear(world.networks, world.network_edits);  // keeps its room for the networks to come
}

void world_free_plants(world_type& world)
{
    while (world.plants != nullptr) {
        plant_type* next = world.plants->next;
        delete world.plants;
        world.plants = next;
    }
    world.num_plants = 0;
    grid_clear_plants(world);
}

void world_set_plants(world_type& world, std::int32_t count)
{
    while (world.num_plants > count && world.plants != nullptr) {
        plant_type* gone = world.plants;
        world.plants = gone->next;
        grid_remove_plant(world, gone);
        delete gone;
        world.num_plants -= 1;
    }
    while (world.num_plants < count) add_random_plant(world);
}

void world_reset(world_type& world)
{
    world_free_animals(world);
    world_free_plants(world);
    grid_reset(world, world.width, world.height, world.start_animals, world.start_plants);
    world.history.clear();
    world.resets += 1;
    // A new population: ids count from 1 again, and its family tree starts anew.
    world.last_id = 0;
    world_lineage_restart(world);
    world.history.reserve(256);  // a long run grows it now and then; short ones never
    world.ave_food = 0.0;
    world.food_sum = 0.0;
    world.update_count = 0;
    world.generation = 0;
    world.wrap_edges = false;
    world.draw_enabled = true;
    world.running = true;
    world.updates_per_tick = 1;
    for (std::int32_t i = 0; i < world.start_animals; ++i) world_add_animal(world);
    for (std::int32_t i = 0; i < world.start_plants; ++i) add_random_plant(world);
    // An empty population has no network to size the rate from; keep the old one.
    if (world.animals != nullptr && !world.mutate_rate_set)
        world.mutate_rate = 1.0 / static_cast<double>(animal_get_chromosome_size(world.animals));
}

void world_destroy(world_type& world)
{
    world.helper.reset();
    // Tearing the world down ends no animal's life in it.
    const std::string lineage_path = std::move(world.options.lineage_path);
    world.options.lineage_path.clear();
    world_free_animals(world);
    world_free_plants(world);
    grid_release(world);
    std::vector<animal_type*>().swap(world.ranking);
    world.networks = neuron_pack_type{};
    std::vector<generation_record_type>().swap(world.history);
    world.brush_white = world.brush_black = world.brush_green = brush_type{};
    world.brush_blue = world.brush_red = brush_type{};
    world.pen_white = world.pen_black = world.pen_green = pen_type{};
    world.options.lineage_path = lineage_path;
}

animal_type* world_find_animal(const world_type& world, std::uint64_t id)
{
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next)
        if (animal->id == id) return animal;
    return nullptr;
}

void world_check(const world_type& world)
{
    if constexpr (checks_on) {
        std::uint32_t animals = 0;
        for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next) ++animals;
        VELMORA_CHECK(animals == world.num_animals, "num_animals is the animal list's length");
        std::int64_t plants = 0;
        for (const plant_type* plant = world.plants; plant != nullptr; plant = plant->next) ++plants;
        VELMORA_CHECK(plants == world.num_plants, "num_plants is the plant list's length");
        const char* problem = grid_problem(world);
        VELMORA_CHECK(problem == nullptr, problem);
    }
}

void world_check_networks(world_type& world)
{
    if constexpr (checks_on) {
        world_pack_networks(world);
        std::size_t k = 0;
        for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next, ++k) {
            const neuron_type* packed = world.networks.heads[k];
            VELMORA_CHECK(packed == nullptr || neuron_pack_matches(world.networks, k, animal->neurons),
                          "a packed network reads what its records read");
        }
        VELMORA_CHECK(k == world.networks.heads.size(), "the pack holds one network per animal");
    }
}
