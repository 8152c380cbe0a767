#include "app/runs.h"

#include "app/chart_window.h"
#include "app/frame_loop.h"
#include "app/window_state.h"
#include "base/utility.h"
#include "cli/run_file.h"
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
    const refusal_type problem = move(progress);
    state.replaying = false;
    if (state.replay_progress) state.replay_progress(-1.0);
    select_again(state, id);
    view_changed(state);
    if (state.chart_window != nullptr) state.chart_window->follow_world();
    if (!problem.empty() && problem.kind != refusal_kind_type::cancelled) state.show_problem("Unable to go there: " + problem);
    return problem.empty();
}

}  // namespace

void runs_begin(window_state_type& state, bool from_reset)
{
    state.start_capture = checkpoint_capture(state.world);
    state.start_from_reset = from_reset;
    state.run_start.events.clear();
    state.run_start.earlier_events = state.world.run.next;
    state.undo_steps.clear();
    state.redo_branches.clear();
    state.timeline.restart = [&state](world_type& world) {
        checkpoint_apply(world, state.start_capture);
        return refusal_type();
    };
    timeline_begin(state.timeline, state.world);
}

bool runs_go(window_state_type& state, std::uint32_t generation)
{
    return travel(state, [&](const std::function<bool(double)>& progress) {
        return timeline_go(state.timeline, state.world, run_point_type{generation, 0}, progress);
    });
}

bool runs_step(window_state_type& state, int generations)
{
    const world_type& world = state.world;
    // Back from within a generation goes to its start first.
    if (generations < 0 && world.update_count > 0) return runs_go(state, world.generation);
    const std::int64_t target = static_cast<std::int64_t>(world.generation) + generations;
    if (target < static_cast<std::int64_t>(state.timeline.start.generation)) return false;
    return runs_go(state, static_cast<std::uint32_t>(target));
}

bool runs_go_before_change(window_state_type& state, std::size_t change)
{
    return travel(state, [&](const std::function<bool(double)>& progress) {
        return timeline_go_before_change(state.timeline, state.world, change, progress);
    });
}

bool runs_switch(window_state_type& state, std::size_t branch)
{
    return travel(state, [&](const std::function<bool(double)>& progress) {
        return timeline_switch(state.timeline, state.world, branch, progress);
    });
}

void runs_delete(window_state_type& state, std::size_t branch) { timeline_delete(state.timeline, branch); }

std::string runs_save(window_state_type& state, std::size_t branch, const std::string& path)
{
    timeline_note(state.timeline, state.world);
    if (branch >= state.timeline.branches.size()) return "Unable to save " + path + ": there is no such branch";
    run_file_type run = state.run_start;
    const std::vector<run_event_type>& events = state.timeline.branches[branch].events;
    run.events.assign(events.begin() + static_cast<std::ptrdiff_t>(std::min(state.run_start.earlier_events, events.size())),
                      events.end());
    if (state.start_from_reset) {
        // No seed makes a reset's first population: the run file takes it along.
        std::filesystem::path start = path;
        start.replace_extension(".start.npz");
        if (std::string reason = checkpoint_write(state.start_capture, start.string()); !reason.empty())
            return "Unable to save " + start.string() + ": " + reason;
        run.start_opened = start.string();
        // The checkpoint holds the settings and the environment.
        run.settings = world_settings_type{};
        run.environment = environment_type{};
        run.food_map_file.clear();
        if (std::string reason = file_sha256(run.start_opened, run.start_sha256); !reason.empty())
            return "Unable to save " + start.string() + ": " + reason;
    }
    if (std::string reason = run_file_write(path, run); !reason.empty()) return "Unable to save " + path + ": " + reason;
    return {};
}

bool runs_open(window_state_type& state, const std::string& path)
{
    run_file_type run;
    if (std::string problem = run_file_read(path, run); !problem.empty()) {
        state.show_problem("Unable to run " + problem);
        return false;
    }
    const std::string start = run_file_start(path, run);
    {
        // Tried on a world of its own first, so that a refused start leaves the window's as it was.
        world_type trial;
        trial.options.console = false;
        trial.options.log_path.clear();
        if (std::string problem = run_file_begin(trial, run, start); !problem.empty()) {
            state.show_problem(problem);
            return false;
        }
    }
    run_file_begin(state.world, run, start);
    run.start_opened = start;
    state.run_start = run;
    runs_begin(state, false);
    view_changed(state);
    return true;
}

std::string runs_branch_text(const window_state_type& state, std::size_t branch)
{
    const timeline_type& timeline = state.timeline;
    const timeline_branch_type& b = timeline.branches[branch];
    const std::size_t changes = b.events.size() - std::min(b.events.size(), state.run_start.earlier_events);
    char text[200];
    if (b.parent == 0) {
        format_c(text, sizeof text, "Branch %u, the first: %zu change%s, to generation %u", b.number, changes, changes == 1 ? "" : "s",
                 b.reach.generation);
    } else {
        format_c(text, sizeof text, "Branch %u from %u at generation %u, update %d: %zu change%s, to generation %u", b.number, b.parent,
                 b.from.generation, b.from.update, changes, changes == 1 ? "" : "s", b.reach.generation);
    }
    std::string shown = text;
    if (branch == timeline.current) shown += " (shown)";
    return shown;
}

std::string runs_memory_text(const window_state_type& state)
{
    char text[120];
    format_c(text, sizeof text, "Keyframes: %.1f MB of %.0f MB in %zu", static_cast<double>(state.timeline.bytes) / 1048576.0,
             static_cast<double>(state.timeline.budget) / 1048576.0, state.timeline.keyframes.size());
    return text;
}
