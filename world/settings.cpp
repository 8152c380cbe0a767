#include "world/settings.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "world/world.h"
#include "world/world_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr double none_below = -std::numeric_limits<double>::infinity();
constexpr double none_above = std::numeric_limits<double>::infinity();

template <class T> struct member_of;
template <class Value> struct member_of<Value world_type::*> {
    using value_type = Value;
};

// The plain field of the world a setting is.
template <auto Member> double get_field(const world_type& world) { return static_cast<double>(world.*Member); }
template <auto Member> void set_field(world_type& world, double value)
{
    using value_type = typename member_of<decltype(Member)>::value_type;
    if constexpr (std::is_same_v<value_type, bool>) {
        world.*Member = value != 0.0;
    } else if constexpr (std::is_enum_v<value_type>) {
        world.*Member = static_cast<value_type>(static_cast<int>(value));
    } else {
        world.*Member = static_cast<value_type>(value);
    }
}

// Plants above a lowered count go, newest first; below a raised one they grow in.
void plants_changed(world_type& world) { world_set_plants(world, world.start_plants); }

// A generation already as long as a shortened length ends here.
void length_changed(world_type& world)
{
    if (world.update_count >= world.generation_length) world_compute_generation(world);
}

// A rate given is the world's from then on; a reset keeps it.
void set_mutate_rate(world_type& world, double value)
{
    world.mutate_rate = value;
    world.mutate_rate_set = true;
}

// A run's functions (base/exact_math.h), by math_type.
constexpr const char* math_names[] = {"system", "exact"};

using kind = setting_kind_type;
using file = setting_file_type;

// The order is that of setting_id_type.
constexpr setting_row_type table[] = {
    {setting_animals, "animals", kind::whole, "animals", 20, nullptr, 0, world_file_max_animals, false, true, file::held,
     "Animals", "Animals a reset makes", get_field<&world_type::start_animals>, set_field<&world_type::start_animals>, nullptr},
    {setting_plants, "plants", kind::whole, "plants", 10, nullptr, 0, world_file_max_plants, true, true, file::held, "Plants",
     "Plants a reset makes; during a run, the plants in the world", get_field<&world_type::start_plants>,
     set_field<&world_type::start_plants>, plants_changed},
    {setting_width, "width", kind::real, "world units", 10, nullptr, world_file_min_size, none_above, false, true, file::held,
     "World width", "World width", get_field<&world_type::width>, set_field<&world_type::width>, nullptr},
    {setting_height, "height", kind::real, "world units", 10, nullptr, world_file_min_size, none_above, false, true, file::held,
     "World height", "World height", get_field<&world_type::height>, set_field<&world_type::height>, nullptr},
    {setting_layer_count, "layer-count", kind::whole, "layers", 2, nullptr, 1, world_file_max_layer_count, false, true, file::shape,
     "Neuron layers", "Neuron layers before the two motor neurons", get_field<&world_type::layer_count>,
     set_field<&world_type::layer_count>, nullptr},
    {setting_layer_width, "layer-width", kind::whole, "neurons", 8, nullptr, 0, world_file_max_layer_width, false, true, file::shape,
     "Neurons per layer", "Neurons per layer", get_field<&world_type::layer_width>, set_field<&world_type::layer_width>, nullptr},
    {setting_mutate_amount, "mutate-amount", kind::real, "", 5, nullptr, none_below, none_above, true, true, file::held,
     "Mutation amount", "Half-width of the uniform noise a mutation adds to a gene", get_field<&world_type::mutate_amount>,
     set_field<&world_type::mutate_amount>, nullptr},
    {setting_mutate_rate, "mutate-rate", kind::real, "", 0, "1 / the network's gene count", 0, 1, true, false, file::none,
     "Mutation rate", "Chance that one gene mutates when a child is bred", get_field<&world_type::mutate_rate>, set_mutate_rate,
     nullptr, [](const world_type& world) { return world.mutate_rate_set; }},
    {setting_generation_length, "generation-length", kind::whole, "updates", 500, nullptr, 1, 2147483647, true, true, file::held,
     "Generation length", "World updates per generation", get_field<&world_type::generation_length>,
     set_field<&world_type::generation_length>, length_changed},
    {setting_animal_size, "animal-size", kind::real, "world units", 0.5, nullptr, world_file_min_size, none_above, false, true,
     file::held, "Animal size", "Animal diameter, at most the world's width and height", get_field<&world_type::animal_size>,
     set_field<&world_type::animal_size>, nullptr},
    {setting_plant_size, "plant-size", kind::real, "world units", 0.25, nullptr, world_file_min_size, none_above, false, true,
     file::held, "Plant size", "Plant diameter, at most the world's width and height", get_field<&world_type::plant_size>,
     set_field<&world_type::plant_size>, nullptr},
    {setting_wrap, "wrap", kind::flag, "", 0, nullptr, 0, 1, true, false, file::none, "Edges wrap around",
     "Edges wrap around instead of blocking", get_field<&world_type::wrap_edges>, set_field<&world_type::wrap_edges>, nullptr},
    {setting_line_horizon, "line-horizon", kind::whole, "generations", 50, nullptr, 0, 1000000, false, false, file::none,
     "Line horizon",
     "Generations between counts of lines for the Lineages page: at each count every animal alive begins a line of its own; "
     "0 keeps the founders' lines. Changes nothing of the run",
     get_field<&world_type::line_horizon>, set_field<&world_type::line_horizon>, nullptr},
    {setting_math, "math", kind::choice, "", math_exact, nullptr, 0, 1, false, false, file::none, "Math",
     "The elementary functions a run computes with: exact, the program's own, the same run on every machine; system, the C "
     "library's, as runs made before there was a choice, the same only on one machine",
     get_field<&world_type::math>, set_field<&world_type::math>, nullptr, nullptr, math_names, 2},
};

constexpr bool table_in_order()
{
    for (std::size_t k = 0; k < std::size(table); ++k)
        if (table[k].id != k) return false;
    return std::size(table) == setting_count;
}
static_assert(table_in_order(), "the settings' rows come in the order of setting_id_type");

// A number as a person writes it: no exponent, no trailing zeros.
std::string plain(double value)
{
    if (value == std::floor(value) && std::fabs(value) < 1e15) return std::to_string(static_cast<long long>(value));
    char text[64];
    format_c(text, sizeof text, "%.6f", value);
    std::string shown = text;
    while (shown.back() == '0') shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
    return shown;
}

}  // namespace

std::span<const setting_row_type> settings_table() { return table; }

const setting_row_type& setting_row(setting_id_type id) { return table[id]; }

const setting_row_type* setting_find(std::string_view name)
{
    for (const setting_row_type& row : table) {
        const std::string_view own = row.name;
        if (own.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < own.size() && same; ++k) same = own[k] == name[k] || (own[k] == '-' && name[k] == '_');
        if (same) return &row;
    }
    return nullptr;
}

std::string setting_keyword(const setting_row_type& row)
{
    std::string name = row.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

std::string choice_names(const setting_row_type& row)
{
    std::string names;
    for (int k = 0; k < row.choice_count; ++k) names += (k == 0 ? "" : k + 1 == row.choice_count ? " or " : ", ") + std::string(row.choices[k]);
    return names;
}

std::string setting_range_text(const setting_row_type& row)
{
    if (row.kind == setting_kind_type::flag) return "true or false";
    if (row.kind == setting_kind_type::choice) return choice_names(row);
    const bool low = std::isfinite(row.low), high = std::isfinite(row.high);
    if (low && high) return plain(row.low) + " to " + plain(row.high);
    if (low) return "at least " + plain(row.low);
    return "any finite number";
}

std::string setting_rule(const setting_row_type& row)
{
    switch (row.kind) {
    case setting_kind_type::flag: return "must be true or false";
    case setting_kind_type::choice: return "must be " + choice_names(row);
    case setting_kind_type::whole: return "must be a whole number from " + plain(row.low) + " to " + plain(row.high);
    case setting_kind_type::real: break;
    }
    if (std::isfinite(row.low) && std::isfinite(row.high)) return "must be a finite number from " + plain(row.low) + " to " + plain(row.high);
    if (std::isfinite(row.low)) return "must be a finite number of at least " + plain(row.low);
    return "must be a finite number";
}

std::string setting_value_problem(const setting_row_type& row, double value)
{
    const bool whole = value == std::floor(value);
    const bool sound = row.kind == setting_kind_type::flag    ? value == 0.0 || value == 1.0
                       : row.kind == setting_kind_type::choice ? whole && value >= 0.0 && value < row.choice_count
                       : row.kind == setting_kind_type::whole ? std::isfinite(value) && whole && value >= row.low && value <= row.high
                                                              : std::isfinite(value) && value >= row.low && value <= row.high;
    return sound ? std::string() : setting_rule(row);
}

std::string setting_default_text(const setting_row_type& row)
{
    if (row.fallback_text != nullptr) return row.fallback_text;
    if (row.kind == setting_kind_type::flag) return row.fallback != 0.0 ? "on" : "off";
    if (row.kind == setting_kind_type::choice) return row.choices[static_cast<int>(row.fallback)];
    return plain(row.fallback);
}

std::string setting_parse(const setting_row_type& row, std::string_view text, double& value)
{
    if (row.kind == setting_kind_type::flag) {
        for (const auto& [word, on] : {std::pair{"true", 1.0}, {"false", 0.0}, {"1", 1.0}, {"0", 0.0}, {"on", 1.0}, {"off", 0.0}})
            if (text == word) {
                value = on;
                return {};
            }
        return setting_rule(row);
    }
    if (row.kind == setting_kind_type::choice) {
        for (int k = 0; k < row.choice_count; ++k)
            if (text == row.choices[k]) {
                value = k;
                return {};
            }
        return setting_rule(row);
    }
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double read = 0.0;
    const char* end = digits.data() + digits.size();
    bool sound = false;
    if (row.kind == setting_kind_type::whole) {
        long long whole = 0;
        const auto [stop, error] = std::from_chars(digits.data(), end, whole);
        read = static_cast<double>(whole);
        sound = !digits.empty() && error == std::errc{} && stop == end;
    } else {
        sound = parse_double(digits, read);
    }
    if (!sound) return setting_rule(row);
    if (std::string problem = setting_value_problem(row, read); !problem.empty()) return problem;
    value = read;
    return {};
}

std::string setting_value_text(const setting_row_type& row, double value)
{
    if (row.kind == setting_kind_type::flag) return value != 0.0 ? "true" : "false";
    if (row.kind == setting_kind_type::choice) return std::string("\"") + row.choices[static_cast<int>(value)] + "\"";
    if (row.kind == setting_kind_type::whole) return std::to_string(static_cast<long long>(value));
    char number[64];
    format_c(number, sizeof number, "%.17g", value);
    std::string shown = number;
    // TOML tells a float by its point or exponent.
    if (shown.find_first_of(".en") == std::string::npos) shown += ".0";
    return shown;
}

std::string setting_help(const setting_row_type& row)
{
    std::string text = row.help;
    if (row.kind == setting_kind_type::real && row.unit[0] != '\0') text += std::string(", in ") + row.unit;
    if (row.kind != setting_kind_type::flag) text += ": " + setting_range_text(row);
    text += " (default " + setting_default_text(row) + ")";
    if (row.changes) text += "; may change during a run";
    return text;
}

bool world_settings_type::any() const
{
    return std::any_of(values.begin(), values.end(), [](const std::optional<double>& value) { return value.has_value(); });
}

bool world_settings_type::any_resetting() const
{
    for (const setting_row_type& row : table)
        if (row.resets && values[row.id]) return true;
    return false;
}

world_settings_type settings_of_world(const world_type& world)
{
    world_settings_type settings;
    for (const setting_row_type& row : table)
        if (row.given == nullptr || row.given(world)) settings[row.id] = row.get(world);
    return settings;
}

double settings_value(const world_settings_type& settings, setting_id_type id)
{
    return settings[id].value_or(table[id].fallback);
}

std::string settings_problem(const world_settings_type& s, std::string (*name)(const setting_row_type& row))
{
    const auto named = [name](setting_id_type id) { return name != nullptr ? name(table[id]) : std::string(table[id].name); };
    const double room = std::min(settings_value(s, setting_width), settings_value(s, setting_height));
    for (const setting_id_type size : {setting_animal_size, setting_plant_size})
        if (settings_value(s, size) > room)
            return named(size) + " " + plain(settings_value(s, size)) + ": must not exceed the world's width and height";
    const auto animals = static_cast<std::int64_t>(settings_value(s, setting_animals));
    const std::string networks =
        world_file_network_problem(animals, static_cast<std::int32_t>(settings_value(s, setting_layer_width)),
                                   static_cast<std::int32_t>(settings_value(s, setting_layer_count)));
    if (!networks.empty()) return named(setting_animals) + " " + std::to_string(animals) + ": " + networks;
    return {};
}

void settings_apply(world_type& world, const world_settings_type& settings)
{
    if (settings.any_resetting()) {
        for (const setting_row_type& row : table)
            if (row.resets && settings[row.id]) row.set(world, *settings[row.id]);
        world_reset(world);
    }
    for (const setting_row_type& row : table)
        if (!row.resets && settings[row.id]) row.set(world, *settings[row.id]);
}

void settings_apply_unfiled(world_type& world, const world_settings_type& settings)
{
    for (const setting_row_type& row : table)
        if (row.file == setting_file_type::none && settings[row.id]) row.set(world, *settings[row.id]);
}
