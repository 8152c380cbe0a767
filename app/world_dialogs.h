// The Open and Save As commands: a file dialog, then the world file.
#pragma once

#include <QFileDialog>

#include <memory>
#include <string>

// The open or the save dialog for world files, set up but not shown.
std::unique_ptr<QFileDialog> world_file_dialog(bool saving);

// Shows the open or save dialog and returns the chosen path, empty when
// cancelled; tests put their own answer here.
extern std::string (*file_dialog)(bool saving);

void world_save();   // nothing at all when the dialog is cancelled
void world_load();
