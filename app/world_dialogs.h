// The Open and Save As commands: a file dialog, then the world file.
#pragma once

#include "world/world_file.h"

#include <QFileDialog>

#include <memory>
#include <string>

// The open or the save dialog for world files, set up but not shown.
std::unique_ptr<QFileDialog> world_file_dialog(bool saving);

// Shows the open or save dialog and returns the chosen path, empty when
// cancelled; tests put their own answer here.
extern std::string (*file_dialog)(bool saving);

// Shows a failure to the user; tests put their own here.
extern void (*show_problem)(const std::string& text);

void world_save();   // nothing at all when the dialog is cancelled; a failure also in a message box
void world_load();
bool world_open(const std::string& path, const world_file_overrides_type& overrides = {});  // load, or show why not
