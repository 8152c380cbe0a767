// The window's run through time: where it began, going back to the start of
// an earlier generation and forward again, its branches, and its run files.
// Every step is a free function over the window's state, so the tests drive
// them without the widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct window_state_type;
struct timeline_branch_type;

// A new run begins from the world as it is now: at start-up, after a reset
// or an open. from_reset: no seed or file makes this start, so a run file
// saved of it takes a checkpoint of it along.
void runs_begin(window_state_type& state, bool from_reset);
// The start of that generation of the current branch; the selected animal
// stays selected where it exists. False when it could not (the user is told
// why) or was cancelled.
bool runs_go(window_state_type& state, std::uint32_t generation);
bool runs_step(window_state_type& state, int generations);   // one generation back (-1) or forward (1)
bool runs_switch(window_state_type& state, std::size_t branch);
// Just before a change of the shown branch, by its place in the branch's list.
bool runs_go_before_change(window_state_type& state, std::size_t change);
void runs_delete(window_state_type& state, std::size_t branch);
// Writes a branch's run file; returns the refusal's line, or an empty text.
std::string runs_save(window_state_type& state, std::size_t branch, const std::string& path);
// Opens a run file: its start, with its changes to come. Told and false when refused; the world stays as it was.
bool runs_open(window_state_type& state, const std::string& path);
// A branch as the Runs window lists it: "Branch 2 from 1 at generation 40, update 0: 3 changes, to generation 55".
std::string runs_branch_text(const window_state_type& state, std::size_t branch);
// The keyframes' memory, "12.3 MB of 256 MB in 40 keyframes".
std::string runs_memory_text(const window_state_type& state);
