// File, Open, Save As and Save Snapshot As: a file dialog, then the world
// file or the checkpoint.
#pragma once

#include "app/window_state.h"
#include "world/world_file.h"

#include <QFileDialog>

#include <memory>
#include <string>

// The dialog for that kind of file, set up but not shown.
std::unique_ptr<QFileDialog> world_file_dialog(file_kind_type kind);

void world_save(window_state_type& state);       // nothing at all when the dialog is cancelled; a failure also shown
void world_snapshot(window_state_type& state);   // the same, with a checkpoint
void world_load(window_state_type& state);
// Opens a world file, or a checkpoint (told by its first bytes), or shows why not.
bool world_open(window_state_type& state, const std::string& path, const world_file_overrides_type& overrides = {});
