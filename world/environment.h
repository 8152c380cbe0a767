// A run's environment: seasons of the plant count, a food map of where plants
// grow, and the changes of settings scheduled ahead. One record for the
// world, run files, the window and Python; a run begins with one.
#pragma once

#include "base/exact_math.h"
#include "base/refusal.h"
#include "plant/food_map.h"
#include "world/event.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct world_type;

// Seasons: the plants in the world follow a cycle of period generations
// between low and high, set at the start of every generation. A sine starts
// each cycle half-way, rising; a square is high for the first half of each
// cycle (the first floor(period / 2) generations) and low for the rest.
struct seasons_type {
    std::int32_t period = 0;   // generations per cycle, 2 .. 1000000; 0: no seasons
    std::int32_t low = 0;      // plants at a cycle's lowest
    std::int32_t high = 0;     // plants at a cycle's highest
    bool square = false;       // high for a cycle's first half, low for its second; else a sine

    bool operator==(const seasons_type&) const = default;
};
inline constexpr const char* seasons_shapes[] = {"sine", "square"};

// What is wrong with these seasons; empty when nothing is.
std::string seasons_problem(std::int64_t period, std::int64_t low, std::int64_t high);
// The plants of a generation; only for seasons that are on.
std::int32_t seasons_plants(const seasons_type& seasons, std::uint32_t generation, math_type math);
// What a change does not do while the seasons are on: set the plants. Empty when it may be made.
std::string seasons_problem_with(const seasons_type& seasons, const run_event_type& change);

struct environment_type {
    seasons_type seasons;
    food_map_type food_map;                  // none: plants grow anywhere
    std::string food_map_path;               // the file it was read from, as the program opens it; empty for none or weights given
    std::vector<run_event_type> schedule;    // changes of settings to come, in order of generation and update
};

// What is wrong with a run's changes from (generation, update) on, in a run
// with these seasons and generation length; at names the change it finds
// wrong. Each must be sound, in order, none before the start, and its update
// within its generation (as long as the changes before it make that
// generation): one past the end would never come, and hold back every one
// after it. A schedule holds only changes of settings.
std::string course_problem(const std::vector<run_event_type>& changes, const seasons_type& seasons, std::int32_t generation_length,
                           std::uint32_t generation, std::int32_t update, bool schedule, std::size_t& at);

// The world's seasons and food map, and its changes of settings still to come.
environment_type world_environment(const world_type& world);
// Sets the seasons (period 0: none), checked first; returns the problem, or "".
std::string world_set_seasons(world_type& world, const seasons_type& seasons);
// The changes of settings to come, in order, in place of those the run had
// (its actions to come stay), none before the world's generation and update.
// Returns what is wrong instead, naming the change, and changes nothing.
std::string world_schedule(world_type& world, const std::vector<run_event_type>& schedule);
// The run's changes to come, all of them, in place of those it had; checked
// as course_problem does from the world's generation and update.
std::string world_set_course(world_type& world, const std::vector<run_event_type>& changes, std::size_t& at);
// The changes of settings the run has still to make.
std::vector<run_event_type> world_scheduled(const world_type& world);
// A run's start in this environment: the seasons and the food map first, so
// that the first population's plants grow by the map; then populate makes
// the population (from settings or a file); then the schedule. Returns what
// is wrong; seasons and a map that are wrong change nothing.
refusal_type world_begin(world_type& world, const environment_type& environment,
                        const std::function<refusal_type(world_type&)>& populate);
