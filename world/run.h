// A run's course: the changes made to a world during it, each at the
// generation and update it was made, so that replaying them from the same
// start gives the same run, bit for bit. A run file (cli/run_file.h) holds
// them with the seed, the settings and the file a run started from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct world_type;

// A change of a setting that can change during a run, or an action of the
// window's that changes the world.
struct run_event_type {
    run_event_type() = default;
    run_event_type(std::uint32_t at_generation, std::int32_t at_update, std::string name, double first = 0.0, double second = 0.0,
                   std::vector<double> values = {})
        : generation(at_generation), update(at_update), setting(std::move(name)), value(first), value2(second), data(std::move(values))
    {
    }

    std::uint32_t generation = 0;   // the world's generation when it was made
    std::int32_t update = 0;        // its update_count then: the change comes before that update
    std::string setting;            // one of run_settings or run_actions
    double value = 0.0;             // the new value (wrap and manual: 1 on, 0 off); steer: the left motor
    double value2 = 0.0;            // steer: the right motor; 0 for the others
    std::vector<double> data;       // an edit by hand's values (world/edit.h): ids, places, genes; empty for the others

    bool operator==(const run_event_type&) const = default;
};

struct run_type {
    std::vector<run_event_type> events;   // in order of generation, then update
    std::size_t next = 0;                 // the first event not yet applied
    std::uint64_t changes = 0;            // changes made in this world so far, so that a timeline sees a new one cheaply
};

// The settings a run may change, by their command-line names: the plants in
// the world (those above a lowered count go, newest first; below a raised
// one they grow in), the mutation amount, the generation length (a
// generation already as long as a shortened length ends at once) and whether
// the edges wrap.
inline constexpr const char* run_settings[] = {"plants", "mutate_amount", "generation_length", "wrap"};
bool run_setting_changes(const std::string& name);
// What is wrong with this value for that setting; empty when nothing is.
std::string run_setting_problem(const std::string& name, double value);

// The window's actions that change the world, as events: a plant at a random
// place, every plant gone, an animal added, every animal gone, manual
// steering on or off, and the motor values the steering keys give the head
// animal (left, right; each within [-1, 1]).
inline constexpr const char* run_actions[] = {"add_plant", "remove_plants", "add_animal", "remove_animals", "manual", "steer"};
bool run_action_is(const std::string& name);   // the window's actions and the edits by hand (world/edit.h)
// What is wrong with the event's name or values; empty when nothing is.
std::string run_event_problem(const run_event_type& event);

// Makes the change now and records it in the world's run, at its generation
// and update. Returns what is wrong with it instead, and changes nothing.
std::string world_change_setting(world_type& world, const std::string& name, double value);
// The same for an action; steering is recorded only while manual steering is
// on and the motors differ from what the keys gave last, since only then does
// it change the run.
std::string world_act(world_type& world, const std::string& action, double value = 0.0, double value2 = 0.0);
// Records a checked event at the world's generation and update, in place of
// the course the run had from here on, and makes it.
std::string world_record(world_type& world, const run_event_type& event);
// Applies the run's events that are due at the world's generation and update,
// and at a generation's start the plant count of its season.
void world_apply_events(world_type& world);

// Makes the changes due at the world's generation and update until limit of
// the run's changes are made.
void world_apply_events_until(world_type& world, std::size_t limit);

// Seasons: the plants in the world follow a cycle of period generations
// between low and high, set at the start of every generation. A sine starts
// each cycle half-way, rising; a square is high for the first half of each
// cycle (the first floor(period / 2) generations) and low for the rest.
inline constexpr const char* run_season_shapes[] = {"sine", "square"};
// What is wrong with these seasons; empty when nothing is.
std::string run_seasons_problem(std::int64_t period, std::int64_t low, std::int64_t high);
std::int32_t run_season_plants(std::int32_t period, std::int32_t low, std::int32_t high, bool square, std::uint32_t generation);
// The changes of settings to come, in order, in place of those the run had
// (its actions to come stay): each a setting a run may change, none before
// the world's generation and update. Returns what is wrong instead, and
// changes nothing.
std::string world_schedule(world_type& world, const std::vector<run_event_type>& changes);
// The changes of settings the run has still to make.
std::vector<run_event_type> world_scheduled(const world_type& world);

// Sets the world's seasons (period 0: none), checked first; returns the problem, or "".
std::string world_set_seasons(world_type& world, std::int32_t period, std::int32_t low, std::int32_t high, bool square);
