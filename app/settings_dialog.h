// World, Settings...: every world setting of the command line in one dialog,
// with the limits of the world files as the ranges of its boxes.
#pragma once

#include "cli/options.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

class settings_dialog : public QDialog {
public:
    settings_dialog(const world_settings_type& shown, int autosave_minutes, QWidget* parent = nullptr);
    world_settings_type settings() const;  // as the boxes stand

    QSpinBox* animals;
    QSpinBox* plants;
    QDoubleSpinBox* width;
    QDoubleSpinBox* height;
    QSpinBox* layer_count;
    QSpinBox* layer_width;
    QSpinBox* generation_length;
    QDoubleSpinBox* mutate_amount;
    QDoubleSpinBox* animal_size;
    QDoubleSpinBox* plant_size;
    QCheckBox* wrap;
    QSpinBox* autosave;   // minutes between autosaves; not a world setting
};

struct window_state_type;
struct world_type;

world_settings_type settings_of_world(const world_type& world);   // the world's parameters, every one set

// Checks the settings, asks "Reset the world with these settings?" and resets
// on yes. Returns an empty text, or what is wrong with them.
std::string settings_confirm(window_state_type& state, const world_settings_type& settings, bool& reset);

// The dialog's result for "Apply From Now On".
inline constexpr int settings_apply_now = 2;
// Makes the settings that can change during a run the world's from now on,
// as changes of its run; returns what is wrong instead, when another differs.
std::string settings_change_now(window_state_type& state, const world_settings_type& settings);

// Shows the dialog until its settings are sound or it is cancelled: "Reset
// With These" resets with them, "Apply From Now On" changes the run.
void settings_edit(window_state_type& state);
