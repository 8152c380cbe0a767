// The kinds of change a run is made of, one row each: a setting changed
// during the run, the window's actions, and the edits by hand. A row names
// the kind as run files and checkpoints spell it, lists its typed fields
// (with the key a run file gives each and where a checkpoint keeps it),
// checks an event's values and makes the change. Run files, checkpoints,
// the timeline, the window and Python all walk these rows, so a new kind is
// a row and its apply.
#pragma once

#include "world/settings.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct world_type;

enum run_event_kind_type : std::uint8_t {
    event_setting,           // a setting that may change during a run: setting, value
    event_add_plant,         // a plant at a random place
    event_remove_plants,     // every plant gone
    event_add_animal,        // an animal with random genes at the list's head
    event_remove_animals,    // every animal gone
    event_manual,            // manual steering of the head animal: on
    event_steer,             // the motor values the steering keys give the head animal: left, right, each in [-1, 1]
    event_move,              // the animal id to (x, y)
    event_clone,             // a copy of the animal id beside it, its first parent the original
    event_remove,            // the animal id gone
    event_genes,             // the animal id given genes
    event_add_founder,       // a founder with genes at (x, y) and heading; id: the id it had where it came from (0: none)
    event_add_plant_at,      // a plant at (x, y)
    event_remove_plants_in,  // the plants whose centres lie in the rectangle of (x, y) and (x1, y1)
    event_kind_count
};

// One change of a run, at the generation and update it was made.
struct run_event_type {
    std::uint32_t generation = 0;   // the world's generation when it was made
    std::int32_t update = 0;        // its update_count then: the change comes before that update
    run_event_kind_type kind = event_setting;
    setting_id_type setting = setting_plants;   // event_setting: which
    double value = 0.0;             // event_setting: the new value (a flag: 1 on, 0 off)
    bool on = false;                // event_manual
    double left = 0.0;              // event_steer
    double right = 0.0;
    std::uint64_t id = 0;           // the animal of move, clone, remove and genes; add_founder: where it came from
    double x = 0.0;                 // the place of move, add_founder and add_plant_at; a corner of remove_plants_in
    double y = 0.0;
    double x1 = 0.0;                // remove_plants_in: the other corner
    double y1 = 0.0;
    double heading = 0.0;           // add_founder, radians
    std::vector<double> genes;      // genes and add_founder: per neuron in list order its input weights, then its bias

    bool operator==(const run_event_type&) const = default;
};

// Where a checkpoint keeps a field: the change's value, its second value, or
// its list of data (the fields in the row's order, a list last).
enum class event_slot_type : std::uint8_t { value, value2, data };

struct run_event_field_type {
    const char* key;                                // in a run file's [[change]]
    double run_event_type::*number = nullptr;       // one of these four is set
    std::uint64_t run_event_type::*whole = nullptr;
    bool run_event_type::*flag = nullptr;
    std::vector<double> run_event_type::*list = nullptr;
    event_slot_type slot = event_slot_type::data;
    bool optional = false;                          // a run file may leave it out (it is then 0)
};

struct run_event_row_type {
    run_event_kind_type kind;
    const char* name;       // action = "..." in run files; checkpoints' event_setting (a setting: its keyword)
    std::span<const run_event_field_type> fields;
    // What is wrong with the values beyond their types (a steering value
    // out of range); empty when nothing is. Null for nothing to check.
    std::string (*check)(const run_event_type& event);
    void (*apply)(world_type& world, const run_event_type& event);
    bool edit;              // an edit by hand (it names an animal or a place), not one of the window's keys
};

std::span<const run_event_row_type> run_event_table();
const run_event_row_type& run_event_row(run_event_kind_type kind);
// The kind a run file's action or a checkpoint's event_setting names;
// event_kind_count for none. A setting that may change names event_setting.
run_event_kind_type run_event_kind_named(std::string_view name, setting_id_type* setting = nullptr);
std::string run_event_name(const run_event_type& event);   // as checkpoints store it

// What is wrong with the event's values, whatever the world; empty when nothing is.
std::string run_event_problem(const run_event_type& event);
// Makes the change; one that no longer fits the world (an animal that is gone) changes nothing.
void run_event_apply(world_type& world, const run_event_type& event);

// An event as a checkpoint keeps it, and back.
void run_event_pack(const run_event_type& event, double& value, double& value2, std::vector<double>& data);
// Returns what is wrong, or an empty text; the fields are set when the slots fit.
std::string run_event_unpack(run_event_type& event, double value, double value2, const std::vector<double>& data);

// A change of a setting, at a point.
run_event_type run_setting_event(std::uint32_t generation, std::int32_t update, setting_id_type setting, double value);
// An event of another kind, its fields to be filled.
run_event_type run_event_of(run_event_kind_type kind, std::uint32_t generation = 0, std::int32_t update = 0);
// The window's actions, their point to be set when recorded.
run_event_type run_manual(bool on);
run_event_type run_steer(double left, double right);
