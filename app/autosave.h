// The window's autosave: the world's whole state as a checkpoint every few
// minutes and whenever the program ends, Escape included, so that a long run
// is never lost; on a plain start the user may continue it.
#pragma once

#include <cstdint>
#include <string>

struct options_type;
struct window_state_type;

// $XDG_STATE_HOME/velmora/autosave.npz, ~/.local/state/velmora/autosave.npz without it.
std::string autosave_path();

// Captures the world at once and writes it on a thread of its own, so that
// the window goes on; with wait, writes it before returning. A failure is one
// console line. Nothing while autosaving is off.
void autosave_now(window_state_type& state, bool wait);
void autosave_wait(window_state_type& state);   // until a write under way has ended

// A plain start (no world file, seed or settings) with an autosave offers to
// continue it; yes makes the world the autosaved one. Returns whether it did.
bool autosave_offer(window_state_type& state, const options_type& options);
