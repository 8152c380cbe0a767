#include "world/run.h"

#include "animal/animal.h"
#include "world/environment.h"
#include "world/world.h"

std::string world_record(world_type& world, run_event_type event)
{
    event.generation = world.generation;
    event.update = world.update_count;
    if (std::string problem = run_event_problem(event); !problem.empty()) return problem;
    if (std::string problem = seasons_problem_with(world.seasons, event); !problem.empty()) return problem;
    run_type& run = world.run;
    // A change made here replaces the course the run had from here on.
    run.events.resize(run.next);
    run.events.push_back(std::move(event));
    run.next = run.events.size();
    run.changes += 1;
    run_event_apply(world, run.events.back());
    return {};
}

std::string world_change_setting(world_type& world, setting_id_type setting, double value)
{
    return world_record(world, run_setting_event(world.generation, world.update_count, setting, value));
}

const setting_row_type* world_change_settings(world_type& world, const world_settings_type& settings)
{
    const auto differs = [&](const setting_row_type& row) { return settings[row.id] && *settings[row.id] != row.get(world); };
    for (const setting_row_type& row : settings_table())
        if (!row.changes && differs(row)) return &row;
    for (const setting_row_type& row : settings_table())
        if (differs(row)) world_change_setting(world, row.id, *settings[row.id]);
    return nullptr;
}

std::string world_act(world_type& world, run_event_type action)
{
    if (action.kind == event_setting || run_event_row(action.kind).edit) return "not one of the window's actions";
    if (action.kind == event_steer &&
        (!world.mode_manual || world.animals == nullptr ||
         (world.animals->left_motor == action.left && world.animals->right_motor == action.right)) &&
        run_event_problem(action).empty())
        return {};
    return world_record(world, std::move(action));
}

void world_apply_events(world_type& world)
{
    if (world.seasons.period > 0 && world.update_count == 0) world_set_plants(world, seasons_plants(world.seasons, world.generation, world.math));
    world_apply_events_until(world, world.run.events.size());
}

void world_apply_events_until(world_type& world, std::size_t limit)
{
    run_type& run = world.run;
    while (run.next < limit && run.next < run.events.size() && run.events[run.next].generation == world.generation &&
           run.events[run.next].update == world.update_count)
        run_event_apply(world, run.events[run.next++]);
}
