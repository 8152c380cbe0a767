// The world: one global record holding the palette, the animal and plant
// lists, the generation counters and statistics, the run flags and the
// parameters every new animal and plant is made from.
#pragma once

#include "neuron/pack.h"

#include <cstdint>
#include <string>
#include <vector>

struct animal_type;
struct plant_type;

// The palette is kept as plain values; the drawing layer maps them to its own
// brushes and pens. Colours are 0x00BBGGRR; all zero before setup and after destroy.
struct brush_type {
    std::uint32_t colour;  // fill colour
};

struct pen_type {
    std::uint32_t colour;  // line colour
    int width;             // line width in pixels
};

inline constexpr std::uint32_t colour_white = 0xFFFFFF;
inline constexpr std::uint32_t colour_black = 0x000000;
inline constexpr std::uint32_t colour_green = 0x00FF00;
inline constexpr std::uint32_t colour_blue = 0xFF0000;
inline constexpr std::uint32_t colour_red = 0x0000FF;

struct world_type {
    brush_type brush_white;           // world background, animal bodies, neuron window background
    brush_type brush_black;           // made with the others; nothing draws with it
    brush_type brush_green;           // plants and the head animal's body
    brush_type brush_blue;            // positive neuron outputs
    brush_type brush_red;             // negative neuron outputs
    pen_type pen_white;               // outline of the background, width 1
    pen_type pen_black;               // outline of the animals, width 1
    pen_type pen_green;               // outline of the plants, width 2
    animal_type* animals;             // head of the animal list; best first after a generation
    plant_type* plants;               // head of the plant list, newest first
    std::int32_t num_plants;          // always the plant list's length
    std::uint32_t num_animals;        // always the animal list's length
    std::int32_t update_count;        // world updates done in the current generation
    std::uint32_t generation;         // current generation, counted from 0
    double ave_food;                  // mean food per animal over the generations since the reset
    double food_sum;                  // sum of the per-generation food per animal since the reset
    bool wrap_edges;                  // edges wrap instead of blocking
    bool draw_enabled;                // the world view is drawn only while set
    bool running;                     // clear: paused, world_update does nothing
    std::int32_t updates_per_tick;    // world updates per update-timer tick
    double width;                     // world units; x runs from 0 to width
    double height;                    // world units; y runs from 0 to height
    double mutate_rate;               // chance of one gene to mutate when bred
    double mutate_amount;             // half-width of the uniform noise of a mutation
    std::int32_t generation_length;   // world updates per generation
    std::int32_t start_plants;        // plants made by a reset
    std::int32_t start_animals;       // animals made by a reset
    std::int32_t layer_width;         // neurons per layer of a new animal
    std::int32_t layer_count;         // layers of a new animal before its motor neurons
    double animal_size;               // diameter of a new animal, world units
    double plant_size;                // diameter of a new plant and placement margin, world units
};

extern world_type world;

// Lifecycle (world.cpp).
void world_setup();          // defaults, palette, first population
// Throws away any world, seeds the random source and sets up the default
// world: the start of every run, and of every test and benchmark.
void world_start(std::uint32_t seed);
void world_reset();          // frees both lists and builds a new population
void world_add_animal();     // one new animal at the head of the list
void world_free_animals();
void world_free_plants();
void world_destroy();        // frees both lists and the palette

// One finished generation, as the generation cycle scored it.
struct generation_record_type {
    std::uint32_t generation;   // counted from 0 since the last reset
    std::int32_t food;          // plants eaten by all animals
    std::int32_t wall;          // wall hits of all animals
    double food_per_animal;     // food / animals of this generation
    std::int32_t best_food;     // plants eaten by the best animal
    double ave_food;            // running mean of food_per_animal since the reset, as the log line prints it
    std::uint32_t animals;
    std::int32_t plants;
};

// Every generation since the last reset, oldest first; written by the cycle,
// cleared by the reset. Its growth is the only memory a generation may take.
extern std::vector<generation_record_type> world_history;
extern std::uint32_t world_resets;   // resets since the start, so that views can tell a new history from a grown one

// Where the generation lines go (generation.cpp).
extern std::string world_log_path;   // appended to; empty for no log file; "log.txt" unless changed
extern bool world_console_scores;    // generation lines on the console too; true unless changed
extern int world_log_error;          // errno of the first failed log write since the start; 0 while none

// Threads world_update may use, 1 or 2: the second takes the plant half of
// every animal's step in a world of a few hundred animals or more. The runs
// are the same either way. 2 where the program may run on two processors.
extern int world_threads;

// The animals' networks, packed in list order for world_update.
extern neuron_pack_type world_networks;

// Tick and generation cycle (generation.cpp).
void world_update();
void world_pack_networks();   // packs the networks again when the pack no longer holds them
void world_debug_update();
void world_compute_generation();
int animal_compare(const void* a, const void* b);
void mate(animal_type* child, animal_type* parent_a, animal_type* parent_b, double rate, double amount);
void world_show_scores(int food, int wall);
void world_reserve_ranking(std::uint32_t count);  // room for ranking count animals, so the cycle never allocates
void world_release_ranking();
