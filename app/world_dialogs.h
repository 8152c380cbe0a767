// File, Open, Save As and Save Snapshot As: a file dialog, then the world
// file or the checkpoint.
#pragma once

#include "app/window_state.h"
#include "cli/options.h"

#include <QFileDialog>

#include <memory>
#include <string>

// The dialog for that kind of file, set up but not shown.
std::unique_ptr<QFileDialog> world_file_dialog(file_kind_type kind);

void world_save(window_state_type& state);       // nothing at all when the dialog is cancelled; a failure also shown
void world_snapshot(window_state_type& state);   // the same, with a checkpoint
void world_load(window_state_type& state);
// Opens a world file (the settings given stand in for its own), a checkpoint
// (told by its first bytes) or a run file (FILE.toml), or shows why not. Each
// begins a new run.
bool world_open(window_state_type& state, const std::string& path, const world_settings_type& settings = {});
void run_save(window_state_type& state);         // File, Save Run As...: the shown branch's run file
