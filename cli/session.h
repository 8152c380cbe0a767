// A run that is watched and steered as it goes, by the window or the web
// page: where it began, its keyframes and branches (world/timeline.h), its
// run files, and the steps that undo and redo edits by hand. The world is
// the caller's; every function takes it.
#pragma once

#include "cli/run_file.h"
#include "world/checkpoint.h"
#include "world/timeline.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct session_type {
    timeline_type timeline;             // keyframes and branches
    run_file_type run_start;            // the seed, settings and starting file it began from; no changes
    checkpoint_type start_capture;      // the run's start, rebuilt from here when no keyframe lies before a point
    bool start_from_reset = false;      // no seed or file makes the start: a run file takes a checkpoint of it along
    // Edits by hand: where each undo step began (the run's changes made then)
    // and the branches undo left, with their steps, for redo.
    std::vector<std::size_t> undo_steps;
    std::vector<std::pair<std::uint32_t, std::size_t>> redo_branches;
    std::map<std::uint32_t, std::string> branch_names;   // names the user gave, by branch number
};

// A new run begins from the world as it is now: at start-up, after a reset
// or an open. from_reset: no seed or file makes this start, so a run file
// saved of it takes a checkpoint of it along.
void session_begin(session_type& session, world_type& world, bool from_reset);

// Opens a run file: its start, with its changes to come, tried on a world of
// its own first so that a refusal leaves the world as it was. Returns the
// refusal's line ("Unable to run FILE:LINE: reason"), or an empty text.
std::string session_open_run(session_type& session, world_type& world, const std::string& path);

// Opens a run file (*.toml, as session_open_run), a checkpoint or a world
// file (with settings standing in for its own), and a new run begins from
// it. Returns the refusal's line, or an empty text; the world stays as it was.
std::string session_open(session_type& session, world_type& world, const std::string& path, const world_settings_type& settings);

// Writes a branch's run file (and, for a start no seed makes, the checkpoint
// beside it, PATH.start.npz); returns the refusal's line, or an empty text.
std::string session_save_run(session_type& session, world_type& world, std::size_t branch, const std::string& path);

// Before an edit by hand: a keyframe of the world as it is, and an undo step.
void session_begin_edit(session_type& session, world_type& world);
// Undoes the last edit: goes to just before it (through go_before, given the
// change's place in the branch, so that the caller may show progress), and
// the run goes on without it, a branch of its own. False when there is none
// or it could not.
bool session_undo(session_type& session, world_type& world, const std::function<bool(std::size_t change)>& go_before);
// Goes back to the branch the last undo left (through switch_to, given its place).
bool session_redo(session_type& session, const std::function<bool(std::size_t branch)>& switch_to);
// The first change of the step an undo would take back, and of the one a
// redo would bring back; null when there is none.
const run_event_type* session_undo_event(const session_type& session, const world_type& world);
const run_event_type* session_redo_event(const session_type& session);

// A branch as lists show it: "Branch 2 from 1 at generation 40, update 0: 3 changes, to generation 55";
// with a name, "Branch 2 \"calm\" from 1 ..."; a parent deleted since, "from deleted 1".
std::string session_branch_text(const session_type& session, std::size_t branch);
// The keyframes' memory, "Keyframes: 12.3 MB of 256 MB in 40".
std::string session_memory_text(const session_type& session);
