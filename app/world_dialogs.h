// File, Open, Save As and Save Snapshot As: a file dialog, then the world
// file or the checkpoint.
#pragma once

#include "world/world_file.h"

#include <QFileDialog>

#include <memory>
#include <string>

enum file_kind_type {
    file_open,            // a world file or a checkpoint to open
    file_save_world,      // a world file to save
    file_save_snapshot,   // a checkpoint to save
    file_save_video,      // a video to record
};

// The dialog for that kind of file, set up but not shown.
std::unique_ptr<QFileDialog> world_file_dialog(file_kind_type kind);

// Shows the dialog and returns the chosen path, empty when cancelled; tests
// put their own answer here.
extern std::string (*file_dialog)(file_kind_type kind);

// Shows a failure to the user; tests put their own here.
extern void (*show_problem)(const std::string& text);

void world_save();      // nothing at all when the dialog is cancelled; a failure also in a message box
void world_snapshot();  // the same, with a checkpoint
void world_load();
// Opens a world file, or a checkpoint (told by its first bytes), or shows why not.
bool world_open(const std::string& path, const world_file_overrides_type& overrides = {});
