// The window's edits by hand, on the selected animal and the plants, each a
// change of the run (world/edit.h), and their undo and redo through the
// timeline: an undo goes back to just before a step (a whole drag, a whole
// brush stroke, one command) as a branch, the run with the step staying as a
// branch of its own that redo goes back to.
#pragma once

#include <string>

struct window_state_type;

// A step begins: what undo goes back to before. Keeps a keyframe here.
void edits_begin_step(window_state_type& state);
bool edits_undo(window_state_type& state);
bool edits_redo(window_state_type& state);
// What Undo and Redo would do, as Edit names it ("Drag", "Clone"); empty when there is nothing.
std::string edits_undo_name(const window_state_type& state);
std::string edits_redo_name(const window_state_type& state);

// Each tells the user (one line) why it could not, and then changes nothing.
void edits_remove_selected(window_state_type& state);
void edits_clone_selected(window_state_type& state);
void edits_paste_genes(window_state_type& state, const std::string& text);   // the text Copy Genes writes
void edits_move_selected(window_state_type& state, double x, double y);      // within a drag's step
void edits_brush(window_state_type& state, double x, double y, bool remove); // within a stroke's step
void edits_save_animal(window_state_type& state, const std::string& path);
void edits_add_animal_file(window_state_type& state, const std::string& path);   // at the centre of the view
