// World, Settings...: every world setting of the table in one dialog, with
// the table's ranges as the ranges of its boxes, and the run's environment.
#pragma once

#include "world/environment.h"
#include "world/settings.h"

#include <QDialog>

#include <functional>

#include <array>
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

// The Environment page's content as the window's run has it: the map's path is the file it was read from.
environment_type environment_of_world(const window_state_type& state);

class settings_dialog : public QDialog {
public:
    settings_dialog(const world_settings_type& shown, int autosave_minutes, QWidget* parent = nullptr,
                    const environment_type& environment = {});
    // As the boxes stand; a box left as it was shown gives what it was shown
    // (so a derived value stays derived, and no digit is lost to the box).
    world_settings_type settings() const;
    // The Environment page as it stands, or what is wrong with it.
    std::string environment(environment_type& out) const;
    void add_change_row(std::uint32_t generation, setting_id_type setting, double value);
    // Asked before Reset With These or Apply From Now On closes the dialog:
    // false (the user told why) keeps it open, as it was.
    std::function<bool(int result)> check;

    // A setting's box: a QSpinBox for a whole number, a QDoubleSpinBox for a
    // real one, a QCheckBox for a flag.
    QWidget* box(setting_id_type id) const { return boxes[id]; }
    QSpinBox* whole_box(setting_id_type id) const;
    QDoubleSpinBox* real_box(setting_id_type id) const;
    QCheckBox* flag_box(setting_id_type id) const;

    QSpinBox* autosave;   // minutes between autosaves; not a world setting
    QTabWidget* pages;    // "World" and "Environment"
    QCheckBox* seasons;
    QSpinBox* season_period;
    QSpinBox* season_low;
    QSpinBox* season_high;
    QComboBox* season_shape;
    QLabel* map_preview;
    QLabel* map_name;     // the chosen map's file name
    QTableWidget* schedule;
    food_map_type chosen_map;
    std::string chosen_map_path;

    void done(int result) override;

private:
    void build_environment_page(const environment_type& environment);
    void show_map();
    double box_value(setting_id_type id) const;

    world_settings_type shown_;
    std::array<QWidget*, setting_count> boxes{};
    std::array<double, setting_count> first_values{};   // each box's value as shown
};

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
