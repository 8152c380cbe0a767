#include "app/runs.h"

#include "app/chart_window.h"
#include "app/frame_loop.h"
#include "app/window_state.h"
#include "base/utility.h"
#include "cli/session.h"
#include "world/checkpoint.h"
#include "world/timeline.h"

#include <chrono>
#include <filesystem>

namespace {

std::uint64_t selected_id(window_state_type& state)
{
    const animal_type* animal = view_selected(state.world, state.view);
    return animal != nullptr ? animal->id : 0;
}

void select_again(window_state_type& state, std::uint64_t id)
{
    animal_type* found = nullptr;
    for (animal_type* animal = state.world.animals; animal != nullptr && id != 0; animal = animal->next)
        if (animal->id == id) found = animal;
    view_select(state.world, state.view, found);
}

// Runs a move through the timeline with the timers held, a progress dialog
// once it runs long, and the selection kept; tells what went wrong.
bool travel(window_state_type& state, const std::function<refusal_type(const std::function<bool(double)>&)>& move)
{
    if (state.replaying) return false;   // asked from another window while one replays
    const std::uint64_t id = selected_id(state);
    const auto began = std::chrono::steady_clock::now();
    const auto progress = [&state, began](double share) {
        if (!state.replay_progress || std::chrono::steady_clock::now() - began < std::chrono::seconds(1)) return true;
        return state.replay_progress(share);
    };
    state.replaying = true;
    state.replay_share = 0.0;
    const refusal_type problem = move(progress);
    state.replaying = false;
    state.replay_target = 0;
    if (state.replay_progress) state.replay_progress(-1.0);
    select_again(state, id);
    view_changed(state);
    if (state.chart_window != nullptr) state.chart_window->follow_world();
    if (!problem.empty() && problem.kind != refusal_kind_type::cancelled) state.show_problem("Unable to go there: " + problem);
    return problem.empty();
}

}  // namespace

void runs_begin(window_state_type& state, bool from_reset) { session_begin(state.session, state.world, from_reset); }

bool runs_go(window_state_type& state, std::uint32_t generation)
{
    state.replay_target = generation;
    return travel(state, [&](const std::function<bool(double)>& progress) {
        return timeline_go(state.session.timeline, state.world, run_point_type{generation, 0}, progress);
    });
}

bool runs_step(window_state_type& state, int generations)
{
    const world_type& world = state.world;
    // Back from within a generation goes to its start first.
    if (generations < 0 && world.update_count > 0) return runs_go(state, world.generation);
    const std::int64_t target = static_cast<std::int64_t>(world.generation) + generations;
    if (target < static_cast<std::int64_t>(state.session.timeline.start.generation)) return false;
    return runs_go(state, static_cast<std::uint32_t>(target));
}

bool runs_go_before_change(window_state_type& state, std::size_t change)
{
    return travel(state, [&](const std::function<bool(double)>& progress) {
        return timeline_go_before_change(state.session.timeline, state.world, change, progress);
    });
}

bool runs_switch(window_state_type& state, std::size_t branch)
{
    return travel(state, [&](const std::function<bool(double)>& progress) {
        return timeline_switch(state.session.timeline, state.world, branch, progress);
    });
}

void runs_delete(window_state_type& state, std::size_t branch) { timeline_delete(state.session.timeline, branch); }

std::string runs_save(window_state_type& state, std::size_t branch, const std::string& path)
{
    return session_save_run(state.session, state.world, branch, path);
}

bool runs_open(window_state_type& state, const std::string& path)
{
    if (std::string problem = session_open_run(state.session, state.world, path); !problem.empty()) {
        state.show_problem(problem);
        return false;
    }
    view_changed(state);
    return true;
}

std::string runs_branch_text(const window_state_type& state, std::size_t branch) { return session_branch_text(state.session, branch); }

std::string runs_memory_text(const window_state_type& state) { return session_memory_text(state.session); }
