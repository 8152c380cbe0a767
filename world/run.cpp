#include "world/run.h"

#include "animal/animal.h"
#include "plant/plant.h"
#include "world/world.h"
#include "world/edit.h"
#include "world/world_file.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

void apply(world_type& world, const run_event_type& event)
{
    const std::string& name = event.setting;
    const double value = event.value;
    if (name == "plants") {
        world.start_plants = static_cast<std::int32_t>(value);
        world_set_plants(world, world.start_plants);
    } else if (name == "mutate_amount") {
        world.mutate_amount = value;
    } else if (name == "generation_length") {
        world.generation_length = static_cast<std::int32_t>(value);
        // A generation already as long as the new length ends here.
        if (world.update_count >= world.generation_length) world_compute_generation(world);
    } else if (name == "wrap") {
        world.wrap_edges = value != 0.0;
    } else if (name == "add_plant") {
        add_random_plant(world);
    } else if (name == "remove_plants") {
        world_free_plants(world);
    } else if (name == "add_animal") {
        world_add_animal(world);
    } else if (name == "remove_animals") {
        world_free_animals(world);
    } else if (name == "manual") {
        world.mode_manual = value != 0.0;
    } else if (name == "steer") {
        animal_motion(world, value, event.value2);
    } else if (edit_is(name)) {
        edit_apply(world, event);
    }
}

void record(world_type& world, const run_event_type& event)
{
    run_type& run = world.run;
    // A change made here replaces the course the run had from here on.
    run.events.resize(run.next);
    run.events.push_back(event);
    run.next = run.events.size();
    run.changes += 1;
    apply(world, event);
}

}  // namespace

bool run_setting_changes(const std::string& name)
{
    for (const char* setting : run_settings)
        if (name == setting) return true;
    return false;
}

std::string run_setting_problem(const std::string& name, double value)
{
    if (!run_setting_changes(name)) return name + " cannot change during a run";
    const auto whole = [&](double low, double high) -> std::string {
        if (value >= low && value <= high && value == std::floor(value)) return {};
        return name + " must be a whole number from " + std::to_string(static_cast<long long>(low)) + " to " +
               std::to_string(static_cast<long long>(high));
    };
    if (name == "plants") return whole(0, world_file_max_plants);
    if (name == "generation_length") return whole(1, 2147483647);
    if (name == "wrap") return value == 0.0 || value == 1.0 ? std::string() : "wrap must be true or false";
    return std::isfinite(value) ? std::string() : name + " must be a finite number";
}

bool run_action_is(const std::string& name)
{
    for (const char* action : run_actions)
        if (name == action) return true;
    return edit_is(name);
}

std::string run_event_problem(const run_event_type& event)
{
    const std::string& name = event.setting;
    if (edit_is(name)) return edit_data_problem(event);
    if (!event.data.empty()) return name + " takes no data";
    if (!run_action_is(name)) {
        if (event.value2 != 0.0) return name + " takes one value";
        return run_setting_problem(name, event.value);
    }
    if (name == "steer") {
        const auto motor = [](double v) { return v >= -1.0 && v <= 1.0; };
        return motor(event.value) && motor(event.value2) ? std::string() : "steer's left and right must be from -1 to 1";
    }
    if (event.value2 != 0.0) return name + " takes one value";
    if (name == "manual") return event.value == 0.0 || event.value == 1.0 ? std::string() : "manual must be true or false";
    return event.value == 0.0 ? std::string() : name + " takes no value";
}

std::string world_record(world_type& world, const run_event_type& event)
{
    record(world, event);
    return {};
}

std::string world_change_setting(world_type& world, const std::string& name, double value)
{
    if (std::string problem = run_setting_problem(name, value); !problem.empty()) return problem;
    if (name == "plants" && world.season_period > 0) return "plants follow the seasons in this run";
    record(world, run_event_type{world.generation, world.update_count, name, value, 0.0});
    return {};
}

std::string world_act(world_type& world, const std::string& action, double value, double value2)
{
    const run_event_type event{world.generation, world.update_count, action, value, value2};
    if (!run_action_is(action)) return action + " is not an action";
    if (std::string problem = run_event_problem(event); !problem.empty()) return problem;
    if (action == "steer" &&
        (!world.mode_manual || world.animals == nullptr || (world.animals->left_motor == value && world.animals->right_motor == value2)))
        return {};
    record(world, event);
    return {};
}

void world_apply_events(world_type& world)
{
    if (world.season_period > 0 && world.update_count == 0)
        world_set_plants(world, run_season_plants(world.season_period, world.season_low, world.season_high, world.season_square,
                                                  world.generation));
    run_type& run = world.run;
    while (run.next < run.events.size() && run.events[run.next].generation == world.generation &&
           run.events[run.next].update == world.update_count) {
        const run_event_type& event = run.events[run.next++];
        apply(world, event);
    }
}

std::string run_seasons_problem(std::int64_t period, std::int64_t low, std::int64_t high)
{
    if (period < 2 || period > 1000000) return "a season's period must be a whole number of generations from 2 to 1000000";
    if (low < 0 || high > world_file_max_plants || low > high)
        return "a season's low and high must be plant counts with 0 <= low <= high <= " + std::to_string(world_file_max_plants);
    return {};
}

std::int32_t run_season_plants(std::int32_t period, std::int32_t low, std::int32_t high, bool square, std::uint32_t generation)
{
    const std::uint32_t phase = generation % static_cast<std::uint32_t>(period);
    if (square) return phase < static_cast<std::uint32_t>(period / 2) ? high : low;
    const double angle = 2.0 * 3.14159265358979323846 * phase / period;
    return static_cast<std::int32_t>(std::lround(low + (high - low) * (1.0 + std::sin(angle)) / 2.0));
}

std::string world_set_seasons(world_type& world, std::int32_t period, std::int32_t low, std::int32_t high, bool square)
{
    if (period != 0)
        if (std::string problem = run_seasons_problem(period, low, high); !problem.empty()) return problem;
    world.season_period = period;
    world.season_low = period != 0 ? low : 0;
    world.season_high = period != 0 ? high : 0;
    world.season_square = period != 0 && square;
    return {};
}

std::string world_schedule(world_type& world, const std::vector<run_event_type>& changes)
{
    const auto point = [](const run_event_type& e) { return std::pair{e.generation, e.update}; };
    const std::pair now{world.generation, world.update_count};
    for (std::size_t k = 0; k < changes.size(); ++k) {
        const run_event_type& change = changes[k];
        const std::string where = "the change at generation " + std::to_string(change.generation);
        if (!run_setting_changes(change.setting)) return change.setting + " cannot change during a run";
        if (std::string problem = run_event_problem(change); !problem.empty()) return where + ": " + problem;
        if (change.setting == "plants" && world.season_period > 0) return where + ": plants follow the seasons in this run";
        if (point(change) < now) return where + " comes before generation " + std::to_string(world.generation) + ", update " +
                                        std::to_string(world.update_count);
        if (k > 0 && point(change) < point(changes[k - 1])) return where + " comes before the one above it";
    }
    run_type& run = world.run;
    std::vector<run_event_type> course(run.events.begin(), run.events.begin() + static_cast<std::ptrdiff_t>(run.next));
    std::vector<run_event_type> actions;
    for (std::size_t k = run.next; k < run.events.size(); ++k)
        if (run_action_is(run.events[k].setting)) actions.push_back(run.events[k]);
    std::merge(actions.begin(), actions.end(), changes.begin(), changes.end(), std::back_inserter(course),
               [&point](const run_event_type& a, const run_event_type& b) { return point(a) < point(b); });
    if (course != run.events) {
        run.events = std::move(course);
        run.changes += 1;
    }
    return {};
}

std::vector<run_event_type> world_scheduled(const world_type& world)
{
    std::vector<run_event_type> changes;
    for (std::size_t k = world.run.next; k < world.run.events.size(); ++k)
        if (run_setting_changes(world.run.events[k].setting)) changes.push_back(world.run.events[k]);
    return changes;
}

void world_apply_events_until(world_type& world, std::size_t limit)
{
    run_type& run = world.run;
    while (run.next < limit && run.next < run.events.size() && run.events[run.next].generation == world.generation &&
           run.events[run.next].update == world.update_count)
        apply(world, run.events[run.next++]);
}
