#include "world/run.h"

#include "plant/plant.h"
#include "world/world.h"
#include "world/world_file.h"

#include <cmath>

namespace {

void apply(world_type& world, const std::string& name, double value)
{
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
    }
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

std::string world_change_setting(world_type& world, const std::string& name, double value)
{
    if (std::string problem = run_setting_problem(name, value); !problem.empty()) return problem;
    run_type& run = world.run;
    // A change made here replaces the course the run had from here on.
    run.events.resize(run.next);
    run.events.push_back(run_event_type{world.generation, world.update_count, name, value});
    run.next = run.events.size();
    apply(world, name, value);
    return {};
}

void world_apply_events(world_type& world)
{
    run_type& run = world.run;
    while (run.next < run.events.size() && run.events[run.next].generation == world.generation &&
           run.events[run.next].update == world.update_count) {
        const run_event_type& event = run.events[run.next++];
        apply(world, event.setting, event.value);
    }
}
