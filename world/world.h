// The world: one record holding the palette, the animal and plant
// lists, the generation counters and statistics, the run flags and the
// parameters every new animal and plant is made from.
#pragma once

#include "animal/animal.h"
#include "base/refusal.h"
#include "base/utility.h"
#include "neuron/pack.h"
#include "world/grid.h"
#include "plant/food_map.h"
#include "world/environment.h"
#include "world/run.h"

#include <cstdint>
#include <memory>
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
    double gene_spread;         // root-mean-square distance of the genomes from their mean
    std::uint32_t lineages;     // founders with descendants along first-parent lines
    // The largest lines (animal_type::line), largest first, for pictures of
    // lineages: the animal each began with and its animals; 0 past the last.
    std::uint64_t line_founders[8];
    std::uint32_t line_animals[8];
};

inline constexpr int world_max_threads = 64;
int world_default_threads();   // the processors the program may run on, at most world_max_threads

// How a world is run rather than what it is: where its generation lines go and
// how many threads update it. world_start keeps them.
struct world_options_type {
    std::string log_path = "log.txt";  // appended to; empty for no log file
    bool console_scores = true;        // generation lines on the console too
    int log_error = 0;                 // errno of the first failed log write; 0 while none
    std::string lineage_path;          // the family tree, appended to as animals are replaced; empty for none
    int lineage_error = 0;             // errno of the first failed write of it; 0 while none
    // Threads world_update may use, 1 .. world_max_threads: the others share
    // the vision of a world of a few hundred animals or more. The runs are the
    // same however many. As many as the program may run on.
    int threads = world_default_threads();
    bool console = true;               // progress and refusal lines on the console; off for a quiet script's world
    // How vision counts, chosen for speed: every choice gives the same counts.
    // Up to vision_few_plants plants in the world it tests each one; beyond,
    // it counts by rows of cells. vision_lanes plants are tested at once:
    // animal_vision_widest_lanes() or any narrower width this machine has.
    std::size_t vision_few_plants = 1000;
    int vision_lanes = animal_vision_widest_lanes();
};

// The moments of an animal's step within world_update, for a watcher that
// checks each step (world_type::step_watch).
enum class world_step_type {
    eating,   // before it eats: the plants as its turn finds them
    eaten,    // after it ate and felt plants: the plants its vision counts
    acting,   // before its animal half: the animals before it have moved
    acted,    // after it moved
};

struct world_helper_type;  // the other threads of a large world's update (generation.cpp)
struct world_helper_stop {
    void operator()(world_helper_type* helper) const;  // ends the threads and frees it
};

// A world is one value that frees what it owns when it ends; it is neither
// copied nor moved, as its records point at one another and at it.
struct world_type {
    world_type() = default;
    world_type(const world_type&) = delete;
    world_type& operator=(const world_type&) = delete;
    ~world_type();

    brush_type brush_white{};           // world background, animal bodies, neuron window background
    brush_type brush_black{};           // made with the others; nothing draws with it
    brush_type brush_green{};           // plants and the head animal's body
    brush_type brush_blue{};            // positive neuron outputs
    brush_type brush_red{};             // negative neuron outputs
    pen_type pen_white{};               // outline of the background, width 1
    pen_type pen_black{};               // outline of the animals, width 1
    pen_type pen_green{};               // outline of the plants, width 2
    animal_type* animals{};             // head of the animal list; best first after a generation
    plant_type* plants{};               // head of the plant list, newest first
    std::int32_t num_plants{};          // always the plant list's length
    std::uint32_t num_animals{};        // always the animal list's length
    std::int32_t update_count{};        // world updates done in the current generation
    std::uint32_t generation{};         // current generation, counted from 0
    double ave_food{};                  // mean food per animal over the generations since the reset
    double food_sum{};                  // sum of the per-generation food per animal since the reset
    bool wrap_edges{};                  // edges wrap instead of blocking
    bool draw_enabled{};                // the world view is drawn only while set
    bool running{};                     // clear: paused, world_update does nothing
    std::int32_t updates_per_tick{};    // world updates per update-timer tick
    double width{};                     // world units; x runs from 0 to width
    double height{};                    // world units; y runs from 0 to height
    double mutate_rate{};               // chance of one gene to mutate when bred, 0 .. 1
    bool mutate_rate_set{};             // the rate was given: a reset keeps it; else a reset makes it 1 / the genes of a network
    double mutate_amount{};             // half-width of the uniform noise of a mutation
    std::int32_t generation_length{};   // world updates per generation
    std::int32_t start_plants{};        // plants made by a reset
    std::int32_t start_animals{};       // animals made by a reset
    std::int32_t layer_width{};         // neurons per layer of a new animal
    std::int32_t layer_count{};         // layers of a new animal before its motor neurons
    double animal_size{};               // diameter of a new animal, world units
    double plant_size{};                // diameter of a new plant and placement margin, world units

    // What the records above need to run, owned here so that a world is one value.
    bool mode_manual{};                 // the head animal moves by the motor values the keys wrote, not its network
    random_type random{};               // the random source's state; every draw of this world comes from it
    std::uint32_t seed{};               // what world_start seeded it with: the run's seed
    math_type math{};                   // the elementary functions its run computes with
    std::uint64_t network_edits{};      // changes to any of its networks so far; packs made before one are stale
    grid_type grid{};                   // the spatial index of both lists
    neuron_pack_type networks{};        // the animals' networks, packed in list order for world_update
    std::vector<animal_type*> ranking;   // room for the ranking and its merge, grown with the animals
    // The last generation's animals as it ended, best first: a report for
    // scripts, since breeding then clears the scores. Not kept in checkpoints.
    struct ranked_type {
        std::uint64_t id;
        int food;
        double fitness;
    };
    std::vector<ranked_type> ranked_last;
    std::vector<double> gene_room;       // room for the mean genome and the founders, grown with the animals
    std::vector<std::uint64_t> founder_room;   // the same, for counting founders
    std::string lineage_rows;         // family-tree rows not yet appended to the file
    std::uint64_t last_id{};            // the id of the animal made last; 0 before the first
    // Every generation since the last reset, oldest first; written by the cycle,
    // cleared by the reset. Its growth is the only memory a generation may take.
    std::vector<generation_record_type> history;
    std::uint32_t resets{};             // resets and loads so far, so that views can tell a new history from a grown one
    std::uint32_t animal_frees{};       // times the animal list was freed, so that views drop animals they hold
    world_options_type options;
    std::unique_ptr<world_helper_type, world_helper_stop> helper;   // null until a large world's update starts it
    std::vector<animal_type*> update_order;   // the list as an array, for an update's phases
    run_type run;                     // the changes of its run, made and to come
    // The environment of the run, kept by checkpoints though not by world files.
    seasons_type seasons;             // the plant count's cycle; period 0: none
    food_map_type food_map;           // where plants grow; without one, anywhere
    std::int32_t line_horizon{};      // generations between counts of lines (animal_type::line); 0: lines are founders' for ever
    // Called at each moment of each animal's step, on the updating thread; null for none.
    void (*step_watch)(animal_type* animal, world_step_type moment, void* context) = nullptr;
    void* step_watch_context = nullptr;
};

// The lifecycle (world.cpp). Every operation of the simulation takes the
// world it works on, so several may run side by side, on one thread or many.
// Writes text to the console unless the world is quiet.
void world_say(const world_type& world, const char* text);
void world_say(const world_type& world, const std::string& text);
// A notice: to the host's notices when it takes them (whether or not the world is quiet), else a line.
void world_notice(const world_type& world, const std::string& text);
// A refusal of a file, "Unable to VERB PATH: REASON", said on the console and returned, its kind kept.
refusal_type world_refuse(const world_type& world, const char* verb, const std::string& path, const refusal_type& reason);

void world_setup(world_type& world);     // defaults, palette, first population
// Throws the world's population away, seeds its random source and sets up
// the default world, keeping its options: the start of every run, and of
// every test and benchmark.
void world_start(world_type& world, std::uint32_t seed);
void world_reset(world_type& world);     // frees both lists and builds a new population
void world_add_animal(world_type& world);   // one new animal at the head of the list
void world_free_animals(world_type& world);
void world_free_plants(world_type& world);
// Plants above the count go, newest first; below it new ones grow at random places.
void world_set_plants(world_type& world, std::int32_t count);
void world_destroy(world_type& world);   // frees both lists and the palette
animal_type* world_find_animal(const world_type& world, std::uint64_t id);   // null when none has it

// The world's invariants, checked in Debug and sanitizer builds (base/check.h):
// each list's length is its count and the index holds every animal and
// plant once, in its cell (after every update); the packed networks read
// what their records read (once a generation and after every load).
void world_check(const world_type& world);
void world_check_networks(world_type& world);   // packs the networks first when the pack is stale

// Tells the world's step watcher, if it has one, that an animal's step reached this moment.
inline void world_watch(world_type& world, animal_type* animal, world_step_type moment)
{
    if (world.step_watch != nullptr) world.step_watch(animal, moment, world.step_watch_context);
}

// Tick and generation cycle (generation.cpp).
void world_update(world_type& world);
void world_pack_networks(world_type& world);   // packs the networks again when the pack no longer holds them
void world_debug_update(world_type& world);
void world_compute_generation(world_type& world);
int animal_compare(const void* a, const void* b);
void mate(world_type& world, animal_type* child, animal_type* parent_a, animal_type* parent_b, double rate, double amount);
void world_show_scores(world_type& world, int food, int wall);
// A generation's line of the console and the log, "Gen:    0   Total Food:    37  Total Wall:    112   Ave food/animal: 1.850",
// into line without taking memory; returns its length.
inline constexpr std::size_t world_score_line_size = 160;
int world_score_line(char (&line)[world_score_line_size], std::uint32_t generation, int food, int wall, double ave_food);
void world_reserve_ranking(world_type& world, std::uint32_t count);  // room for ranking count animals, so the cycle never allocates

// The family tree (lineage.cpp), in the phylogeny form of the artificial-life
// data standards: "id,ancestor_list,origin_time,destruction_time", times in
// generations. A row is written when an animal is replaced or freed, and for
// the living by world_lineage_finish.
void world_lineage_record(world_type& world, const animal_type* animal);   // it ends now, at the current generation
void world_lineage_finish(world_type& world);                             // the living, with no destruction time
void world_lineage_flush(world_type& world);                              // appends the rows recorded so far to the file
void world_lineage_restart(world_type& world);                            // empties the file, for a new population
double world_gene_spread(world_type& world);                              // of the current population
// Founders with descendants among the living; fills the record's largest lines.
std::uint32_t world_lineages(world_type& world, generation_record_type* record = nullptr);
