// A run's timeline: states kept in memory as it runs (keyframes), so that it
// can go back to the start of any earlier generation and forward again, and
// the branches that changes made after going back start.
//
// Runs are exact, so any point is rebuilt by loading the nearest earlier
// keyframe that the branch's changes agree with and replaying from there.
// Keyframes are checkpoint captures; the genes of an animal that did not
// change since the keyframe before, the history's full chunks and the food
// map are shared between keyframes, and counted once against the budget. Recent generations
// keep one each; older ones thin out, further apart the older they are.
#pragma once

#include "world/checkpoint.h"
#include "world/run.h"
#include "world/world.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A point of a run: before that update of that generation.
struct run_point_type {
    std::uint32_t generation = 0;
    std::int32_t update = 0;   // 0 .. generation_length - 1

    auto operator<=>(const run_point_type&) const = default;
};
run_point_type world_point(const world_type& world);

using timeline_genes_type = std::shared_ptr<const std::vector<unsigned char>>;   // one animal's genes, as the capture holds them
using timeline_chunk_type = std::shared_ptr<const std::vector<generation_record_type>>;   // timeline_chunk_rows generations

inline constexpr std::size_t timeline_chunk_rows = 256;

struct timeline_keyframe_type {
    run_point_type point;
    std::vector<run_event_type> applied;      // the run's changes made before it
    checkpoint_type state;                    // the capture, with no genes and no history rows
    std::vector<std::uint64_t> ids;           // its animals' ids, in list order
    std::vector<timeline_genes_type> genes;   // its animals' genes, in list order
    std::vector<timeline_chunk_type> history; // its history, whole chunks and then the rest
    timeline_genes_type food_map;             // the food map's member, shared while it does not change
    std::size_t own_bytes = 0;                // what it alone holds: the capture and its changes
};

struct timeline_branch_type {
    std::uint32_t number = 1;                     // its name in lists: "Branch 2"; the first run is 1
    std::uint32_t parent = 0;                     // the number of the branch it left; 0 for the first
    run_point_type from;                          // where it left its parent (the first: the run's start)
    run_point_type reach;                         // how far it has run
    std::size_t reach_changes = 0;                // its changes made there, those at the reach included
    std::vector<run_event_type> events;           // its whole course, changes to come included
    std::vector<generation_record_type> history;  // its generations as far as it ran, kept while another is shown
};

struct timeline_type {
    std::size_t budget = 64u << 20;                    // bytes the keyframes may hold
    std::size_t bytes = 0;                             // bytes they hold now, shared ones once
    std::vector<timeline_keyframe_type> keyframes;     // in order of point
    std::vector<timeline_branch_type> branches;        // in order made; never empty once begun
    std::size_t current = 0;                           // the branch the world is on
    run_point_type start;                              // where the run started
    std::size_t start_events = 0;                      // changes of the world's from before its start
    std::uint64_t changes_seen = 0;                    // the world's run.changes when it was last noted
    checkpoint_type scratch;                           // the room of the last capture, taken again for the next
    // Rebuilds the run's start in the world (a seed's first population, or the
    // file it was opened from); returns why it could not, or an empty text.
    // Used when no keyframe lies before a point.
    std::function<refusal_type(world_type&)> restart;
};

// A new run starts at the world's state now: the keyframes and branches go.
void timeline_begin(timeline_type& timeline, world_type& world);
// After world updates and changes: notes the run's reach and any change
// (one made behind the reach starts a branch), and keeps a keyframe at the
// start of a generation.
void timeline_note(timeline_type& timeline, world_type& world);
// Goes to that point of the current branch (before its changes there are
// made). progress, when given, is told the share done now and then during
// a replay and cancels it by returning false; the world is then as before
// and the refusal's kind is cancelled.
// Keeps the world's running, drawing and speed as they were. Returns why it
// could not, or an empty text.
refusal_type timeline_go(timeline_type& timeline, world_type& world, run_point_type point,
                        const std::function<bool(double)>& progress = {});
// Goes to just before a change of the current branch (by its place in the
// branch's list), the changes before it made: how an edit is undone.
refusal_type timeline_go_before_change(timeline_type& timeline, world_type& world, std::size_t change,
                                      const std::function<bool(double)>& progress = {});
// Keeps a keyframe of the world as it is now, as before an edit, so that undoing it is quick.
void timeline_keep(timeline_type& timeline, world_type& world);
// Goes to the reach of another branch.
refusal_type timeline_switch(timeline_type& timeline, world_type& world, std::size_t branch,
                            const std::function<bool(double)>& progress = {});
// Forgets a branch other than the current one, and the keyframes only it used.
void timeline_delete(timeline_type& timeline, std::size_t branch);
// A smaller budget thins the keyframes at once.
void timeline_set_budget(timeline_type& timeline, std::size_t bytes);
// The generations of a branch: the world's for the current one.
const std::vector<generation_record_type>& timeline_history(const timeline_type& timeline, const world_type& world, std::size_t branch);
