// The world's settings: one row each, and every use walks the rows. The
// command line and its help, config files, run files and their changes,
// world-file overrides, checkpoints' changes, the window's dialog and
// Python's keywords are all views of this one list, so a new setting is a
// row here and the code that uses its value.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct world_type;

// The settings, in the order of the table: of --help, of a run file's
// [settings], and in which the settings of one [[change]] are made (a
// generation made shorter than it has run ends at once, so its length comes
// after the others that a change may make with it).
enum setting_id_type : std::uint8_t {
    setting_animals,
    setting_plants,
    setting_width,
    setting_height,
    setting_layer_count,
    setting_layer_width,
    setting_mutate_amount,
    setting_mutate_rate,
    setting_generation_length,
    setting_animal_size,
    setting_plant_size,
    setting_wrap,
    setting_line_horizon,
    setting_math,
    setting_count
};

enum class setting_kind_type : std::uint8_t {
    whole,   // a whole number within the range
    real,    // a finite number within the range
    flag,    // on or off: 1 or 0
    choice,  // one of the row's names: its place among them
};

// How world files treat a setting.
enum class setting_file_type : std::uint8_t {
    none,      // a world file does not hold it
    held,      // a world file holds it, and a setting given with the load stands in for the file's
    shape,     // a world file holds it and the networks' shape follows it: a load may not change it
};

struct setting_row_type {
    setting_id_type id;
    const char* name;         // as the command line (without "--"), config files and run files spell it
    setting_kind_type kind;
    const char* unit;         // of its value, for help texts; "" for none
    double fallback;          // the default world's value
    const char* fallback_text;   // the default in words where it is derived; null: the number
    double low;               // the least value; -infinity for none
    double high;              // the greatest; +infinity for none
    bool changes;             // may change during a run, as a change of the run
    bool resets;              // takes effect through a reset at the start (it makes the population)
    setting_file_type file;
    const char* label;        // the window's name for it
    const char* help;         // what it does, for --help, tooltips and docstrings
    double (*get)(const world_type& world);
    void (*set)(world_type& world, double value);   // the field alone
    // What else a change during a run does, after set; null for nothing.
    void (*changed)(world_type& world);
    // Whether the world's value was given rather than derived; null: always given.
    bool (*given)(const world_type& world) = nullptr;
    const char* const* choices = nullptr;   // a choice's names, by value
    int choice_count = 0;
};

std::span<const setting_row_type> settings_table();
const setting_row_type& setting_row(setting_id_type id);
// The row of a name as the command line spells it, or as Python does
// (underscores for dashes); null for none.
const setting_row_type* setting_find(std::string_view name);
std::string setting_keyword(const setting_row_type& row);   // Python's spelling: mutate_amount

// What a value must be, "must be a whole number from 0 to 50000", when it is
// not that; empty when it is. Every reader says it after the name and value
// as its user spelled them.
std::string setting_value_problem(const setting_row_type& row, double value);
std::string setting_rule(const setting_row_type& row);        // "must be ..." whatever the value
std::string setting_range_text(const setting_row_type& row);  // "0 to 50,000", "at least 0.000001", "any finite number"
std::string setting_default_text(const setting_row_type& row);   // "20", "0.25", "off", or the row's words
// A value from its text as a user writes it: a decimal number ('.' whatever
// the locale) or, for a flag, true/false/1/0/on/off. Returns the problem, with the rule.
std::string setting_parse(const setting_row_type& row, std::string_view text, double& value);
std::string setting_value_text(const setting_row_type& row, double value);   // as run files write it
// What it does, its unit, range and default, in one line for --help, tooltips and docstrings.
std::string setting_help(const setting_row_type& row);

// Settings given, by row; unset ones keep the default world's values (or, for
// those a world file holds, the file's).
struct world_settings_type {
    std::array<std::optional<double>, setting_count> values;

    std::optional<double>& operator[](setting_id_type id) { return values[id]; }
    const std::optional<double>& operator[](setting_id_type id) const { return values[id]; }
    bool any() const;           // some setting is set
    bool any_resetting() const; // some setting that takes effect through a reset is set
    bool operator==(const world_settings_type&) const = default;
};

// Every setting as the world has it; one whose value the world derives
// (the mutation rate from its networks) unset unless it was given.
world_settings_type settings_of_world(const world_type& world);
// The default world's values, with the given ones over them.
double settings_value(const world_settings_type& settings, setting_id_type id);

// The rules that join settings (a body larger than the world, too many
// neurons), on the values a reset would use; empty when nothing is wrong.
// name says how a setting is spelled in the message ("--animal-size",
// "animal_size").
std::string settings_problem(const world_settings_type& settings,
                             std::string (*name)(const setting_row_type& row) = nullptr);

// Makes the default world from the settings, as the user would after the
// default set-up: those that take effect through a reset are set and the
// world reset when any of them is given; then the others.
void settings_apply(world_type& world, const world_settings_type& settings);
// After a world file loaded: the settings it does not hold.
void settings_apply_unfiled(world_type& world, const world_settings_type& settings);
