#include "cli/session.h"

#include "base/utility.h"
#include "world/world_file.h"

#include <algorithm>
#include <filesystem>

void session_begin(session_type& session, world_type& world, bool from_reset)
{
    session.start_capture = checkpoint_capture(world);
    session.start_from_reset = from_reset;
    session.run_start.events.clear();
    session.run_start.earlier_events = world.run.next;
    session.undo_steps.clear();
    session.redo_branches.clear();
    session.branch_names.clear();
    session.timeline.restart = [&session](world_type& rebuilt) {
        checkpoint_apply(rebuilt, session.start_capture);
        return refusal_type();
    };
    timeline_begin(session.timeline, world);
}

std::string session_open_run(session_type& session, world_type& world, const std::string& path)
{
    run_file_type run;
    if (std::string problem = run_file_read(path, run); !problem.empty()) return "Unable to run " + problem;
    const std::string start = run_file_start(path, run);
    {
        world_type trial;
        trial.options.console = false;
        trial.options.log_path.clear();
        if (std::string problem = run_file_begin(trial, run, start); !problem.empty()) return problem;
    }
    run_file_begin(world, run, start);
    run.start_opened = start;
    session.run_start = run;
    session_begin(session, world, false);
    return {};
}

std::string session_open(session_type& session, world_type& world, const std::string& path, const world_settings_type& settings)
{
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".toml") == 0) return session_open_run(session, world, path);
    // A checkpoint is the whole world as it was; the settings do not stand in for any of it.
    const bool archive = checkpoint_is_archive(path);
    const std::string problem = archive ? checkpoint_load(world, path) : world_load_file(world, path, settings);
    if (!problem.empty()) return problem;
    // A new run, from this file as it is now.
    run_file_type start;
    start.seed = session.run_start.seed;
    start.settings = archive ? world_settings_type{} : settings;
    start.start_opened = path;
    const bool hashed = file_sha256(path, start.start_sha256).empty();
    session.run_start = start;
    session_begin(session, world, !hashed);
    return {};
}

std::string session_save_run(session_type& session, world_type& world, std::size_t branch, const std::string& path)
{
    timeline_note(session.timeline, world);
    if (branch >= session.timeline.branches.size()) return "Unable to save " + path + ": there is no such branch";
    run_file_type run = session.run_start;
    const std::vector<run_event_type>& events = session.timeline.branches[branch].events;
    run.events.assign(events.begin() + static_cast<std::ptrdiff_t>(std::min(session.run_start.earlier_events, events.size())),
                      events.end());
    if (session.start_from_reset) {
        // No seed makes a reset's first population: the run file takes it along.
        std::filesystem::path start = path;
        start.replace_extension(".start.npz");
        if (std::string reason = checkpoint_write(session.start_capture, start.string()); !reason.empty())
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

void session_begin_edit(session_type& session, world_type& world)
{
    timeline_keep(session.timeline, world);
    session.undo_steps.push_back(world.run.next);
    session.redo_branches.clear();
    session.branch_names.clear();
}

bool session_undo(session_type& session, world_type& world, const std::function<bool(std::size_t change)>& go_before)
{
    timeline_note(session.timeline, world);
    const timeline_branch_type& branch = session.timeline.branches[session.timeline.current];
    // Steps whose changes this branch no longer has are gone with them.
    while (!session.undo_steps.empty() && session.undo_steps.back() >= std::min(branch.events.size(), world.run.next))
        session.undo_steps.pop_back();
    if (session.undo_steps.empty()) return false;
    const std::size_t step = session.undo_steps.back();
    const std::uint32_t left = branch.number;
    const std::size_t before = session.undo_steps.size();
    if (!go_before(step)) return false;
    session.undo_steps.resize(before - 1);
    // The run goes on without the step: a branch of its own, the old course another.
    world.run.events.resize(world.run.next);
    world.run.changes += 1;
    timeline_note(session.timeline, world);
    session.redo_branches.push_back(std::pair{left, step});
    return true;
}

bool session_redo(session_type& session, const std::function<bool(std::size_t branch)>& switch_to)
{
    if (session.redo_branches.empty()) return false;
    const auto [number, step] = session.redo_branches.back();
    for (std::size_t b = 0; b < session.timeline.branches.size(); ++b)
        if (session.timeline.branches[b].number == number) {
            if (!switch_to(b)) return false;
            session.redo_branches.pop_back();
            session.undo_steps.push_back(step);
            return true;
        }
    session.redo_branches.pop_back();   // deleted meanwhile
    return false;
}

const run_event_type* session_undo_event(const session_type& session, const world_type& world)
{
    const std::size_t made = std::min(world.run.events.size(), world.run.next);
    for (auto step = session.undo_steps.rbegin(); step != session.undo_steps.rend(); ++step)
        if (*step < made) return &world.run.events[*step];
    return nullptr;
}

const run_event_type* session_redo_event(const session_type& session)
{
    if (session.redo_branches.empty()) return nullptr;
    const auto [number, step] = session.redo_branches.back();
    for (const timeline_branch_type& branch : session.timeline.branches)
        if (branch.number == number) return step < branch.events.size() ? &branch.events[step] : nullptr;
    return nullptr;
}

std::string session_branch_text(const session_type& session, std::size_t branch)
{
    const timeline_type& timeline = session.timeline;
    const timeline_branch_type& b = timeline.branches[branch];
    const std::size_t changes = b.events.size() - std::min(b.events.size(), session.run_start.earlier_events);
    std::string shown = "Branch " + std::to_string(b.number);
    if (const auto named = session.branch_names.find(b.number); named != session.branch_names.end() && !named->second.empty())
        shown += " \"" + named->second + "\"";
    char text[200];
    if (b.parent == 0) {
        format_c(text, sizeof text, ", the first: %zu change%s, to generation %u", changes, changes == 1 ? "" : "s", b.reach.generation);
    } else {
        const bool parent_kept = std::any_of(timeline.branches.begin(), timeline.branches.end(),
                                             [&b](const timeline_branch_type& other) { return other.number == b.parent; });
        format_c(text, sizeof text, " from %s%u at generation %u, update %d: %zu change%s, to generation %u", parent_kept ? "" : "deleted ",
                 b.parent, b.from.generation, b.from.update, changes, changes == 1 ? "" : "s", b.reach.generation);
    }
    shown += text;
    if (branch == timeline.current) shown += " (shown)";
    return shown;
}

std::string session_memory_text(const session_type& session)
{
    char text[120];
    format_c(text, sizeof text, "Keyframes: %.1f MB of %.0f MB in %zu", static_cast<double>(session.timeline.bytes) / 1048576.0,
             static_cast<double>(session.timeline.budget) / 1048576.0, session.timeline.keyframes.size());
    return text;
}
