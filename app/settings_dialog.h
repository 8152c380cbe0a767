// World, Settings...: every world setting of the command line in one dialog,
// with the limits of the world files as the ranges of its boxes.
#pragma once

#include "cli/options.h"
#include "plant/food_map.h"
#include "world/run.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QTabWidget;
class QTableWidget;
struct window_state_type;

// The Environment page's content: seasons, a food map and the changes to come.
struct environment_type {
    std::int32_t season_period = 0;          // 0: no seasons
    std::int32_t season_low = 0;
    std::int32_t season_high = 0;
    bool season_square = false;
    food_map_type food_map;                  // none: plants grow anywhere
    std::string food_map_path;               // the PNG it was read from; empty for none
    std::vector<run_event_type> schedule;    // changes of settings to come, in order
};
environment_type environment_of_world(const window_state_type& state);

class settings_dialog : public QDialog {
public:
    settings_dialog(const world_settings_type& shown, int autosave_minutes, QWidget* parent = nullptr,
                    const environment_type& environment = {});
    world_settings_type settings() const;  // as the boxes stand
    // The Environment page as it stands, or what is wrong with it.
    std::string environment(environment_type& out) const;
    void add_change_row(std::uint32_t generation, const std::string& setting, double value);

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
    QTabWidget* pages;    // "World" and "Environment"
    QCheckBox* seasons;
    QSpinBox* season_period;
    QSpinBox* season_low;
    QSpinBox* season_high;
    QComboBox* season_shape;
    QLabel* map_preview;
    QTableWidget* schedule;
    food_map_type chosen_map;
    std::string chosen_map_path;

private:
    void build_environment_page(const environment_type& environment);
    void show_map();
};

struct world_type;

world_settings_type settings_of_world(const world_type& world);   // the world's parameters, every one set

// Checks the settings, asks "Reset the world with these settings?" and resets
// on yes, with the environment: a new run. Returns an empty text, or what is
// wrong with them.
std::string settings_confirm(window_state_type& state, const world_settings_type& settings, bool& reset,
                             const environment_type& environment = {});

// The dialog's result for "Apply From Now On".
inline constexpr int settings_apply_now = 2;
// Makes the settings that can change during a run the world's from now on,
// as changes of its run; returns what is wrong instead, when another differs.
// The environment's schedule becomes the run's changes to come; its seasons
// and map must be the run's own, which only a reset changes.
std::string settings_change_now(window_state_type& state, const world_settings_type& settings,
                                const environment_type* environment = nullptr);

// Shows the dialog until its settings are sound or it is cancelled: "Reset
// With These" resets with them, "Apply From Now On" changes the run.
void settings_edit(window_state_type& state);
