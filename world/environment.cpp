#include "world/environment.h"

#include "world/run.h"
#include "world/world.h"
#include "world/world_file.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace {

std::pair<std::uint32_t, std::int32_t> point_of(const run_event_type& event) { return {event.generation, event.update}; }

}  // namespace

std::string seasons_problem(std::int64_t period, std::int64_t low, std::int64_t high)
{
    if (period < 2 || period > 1000000) return "a season's period must be a whole number of generations from 2 to 1000000";
    if (low < 0 || high > world_file_max_plants || low > high)
        return "a season's low and high must be plant counts with 0 <= low <= high <= " + std::to_string(world_file_max_plants);
    return {};
}

std::int32_t seasons_plants(const seasons_type& seasons, std::uint32_t generation, math_type math)
{
    const std::uint32_t phase = generation % static_cast<std::uint32_t>(seasons.period);
    if (seasons.square) return phase < static_cast<std::uint32_t>(seasons.period / 2) ? seasons.high : seasons.low;
    const double angle = 2.0 * 3.14159265358979323846 * phase / seasons.period;
    double sine, cosine;
    math_sincos(math, angle, sine, cosine);
    return static_cast<std::int32_t>(std::lround(seasons.low + (seasons.high - seasons.low) * (1.0 + sine) / 2.0));
}

std::string seasons_problem_with(const seasons_type& seasons, const run_event_type& change)
{
    if (seasons.period > 0 && change.kind == event_setting && change.setting == setting_plants)
        return "plants follow the seasons in this run";
    return {};
}

std::string course_problem(const std::vector<run_event_type>& schedule, const seasons_type& seasons, std::int32_t generation_length,
                           std::uint32_t generation, std::int32_t update, bool settings_only, std::size_t& at)
{
    std::int32_t length = generation_length;
    for (at = 0; at < schedule.size(); ++at) {
        const run_event_type& change = schedule[at];
        if (settings_only && change.kind != event_setting) return "only settings are scheduled";
        if (std::string problem = run_event_problem(change); !problem.empty()) return problem;
        if (std::string problem = seasons_problem_with(seasons, change); !problem.empty()) return problem;
        if (point_of(change) < std::pair{generation, update})
            return "the change at generation " + std::to_string(change.generation) + ", update " + std::to_string(change.update) +
                   " comes before the run's generation " + std::to_string(generation) + ", update " + std::to_string(update);
        if (at > 0 && point_of(change) < point_of(schedule[at - 1]))
            return "the change at generation " + std::to_string(change.generation) + ", update " + std::to_string(change.update) +
                   " comes before the one above it";
        // A change past its generation's end would never come, and hold back every one after it.
        if (change.update >= length)
            return "the change at generation " + std::to_string(change.generation) + ", update " + std::to_string(change.update) +
                   " lies past the end of its generation, which is " + std::to_string(length) + " updates long";
        if (change.kind == event_setting && change.setting == setting_generation_length) length = static_cast<std::int32_t>(change.value);
    }
    return {};
}

environment_type world_environment(const world_type& world)
{
    environment_type environment;
    environment.seasons = world.seasons;
    environment.food_map = world.food_map;
    environment.schedule = world_scheduled(world);
    return environment;
}

std::string world_set_seasons(world_type& world, const seasons_type& seasons)
{
    if (seasons.period != 0)
        if (std::string problem = seasons_problem(seasons.period, seasons.low, seasons.high); !problem.empty()) return problem;
    world.seasons = seasons.period != 0 ? seasons : seasons_type{};
    return {};
}

std::string world_schedule(world_type& world, const std::vector<run_event_type>& schedule)
{
    std::size_t at = 0;
    if (std::string problem =
            course_problem(schedule, world.seasons, world.generation_length, world.generation, world.update_count, true, at);
        !problem.empty())
        return problem;
    run_type& run = world.run;
    std::vector<run_event_type> course(run.events.begin(), run.events.begin() + static_cast<std::ptrdiff_t>(run.next));
    std::vector<run_event_type> actions;
    for (std::size_t k = run.next; k < run.events.size(); ++k)
        if (run.events[k].kind != event_setting) actions.push_back(run.events[k]);
    std::merge(actions.begin(), actions.end(), schedule.begin(), schedule.end(), std::back_inserter(course),
               [](const run_event_type& a, const run_event_type& b) { return point_of(a) < point_of(b); });
    if (course != run.events) {
        run.events = std::move(course);
        run.changes += 1;
    }
    return {};
}

std::string world_set_course(world_type& world, const std::vector<run_event_type>& changes, std::size_t& at)
{
    if (std::string problem =
            course_problem(changes, world.seasons, world.generation_length, world.generation, world.update_count, false, at);
        !problem.empty())
        return problem;
    run_type& run = world.run;
    run.events.resize(run.next);
    run.events.insert(run.events.end(), changes.begin(), changes.end());
    run.changes += 1;
    return {};
}

std::vector<run_event_type> world_scheduled(const world_type& world)
{
    std::vector<run_event_type> changes;
    for (std::size_t k = world.run.next; k < world.run.events.size(); ++k)
        if (world.run.events[k].kind == event_setting) changes.push_back(world.run.events[k]);
    return changes;
}

refusal_type world_begin(world_type& world, const environment_type& environment,
                         const std::function<refusal_type(world_type&)>& populate)
{
    if (std::string problem = world_set_seasons(world, environment.seasons); !problem.empty()) return problem;
    world.food_map = environment.food_map;
    if (refusal_type problem = populate(world); !problem.empty()) return problem;
    return world_schedule(world, environment.schedule);
}
