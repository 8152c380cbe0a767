#include "cli/run_file.h"

#include "base/utility.h"
#include "world/checkpoint.h"
#include "world/edit.h"
#include "world/world.h"
#include "world/world_file.h"

#include <openssl/evp.h>

#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The settings of a run file, by their --config names, in the order a run file lists them.
const char* const setting_names[] = {"animals",     "plants",     "width",         "height",         "layer-count",
                                     "layer-width", "generation-length", "mutate-amount", "animal-size", "plant-size",
                                     "wrap",        "line-horizon"};

struct refused {
    std::string reason;
};

// A TOML basic string of a path.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
}

std::string dashed(std::string name)
{
    for (char& c : name) c = c == '_' ? '-' : c;
    return name;
}

std::string underscored(std::string name)
{
    for (char& c : name) c = c == '-' ? '_' : c;
    return name;
}

class reader_type {
public:
    explicit reader_type(const std::string& path) : path_(path) {}

    [[noreturn]] void fail(const toml::node& at, const std::string& reason) const
    {
        throw refused{path_ + ":" + std::to_string(at.source().begin.line) + ": " + reason};
    }

    void only(const toml::table& table, std::initializer_list<const char*> known, const std::string& where) const
    {
        for (const auto& [key, node] : table) {
            bool found = false;
            for (const char* name : known) found = found || key.str() == name;
            if (!found) fail(node, "unknown key '" + std::string(key.str()) + "'" + where);
        }
    }

    std::int64_t whole(const toml::table& table, const char* key, std::int64_t low, std::int64_t high) const
    {
        const toml::node* node = table.get(key);
        if (node == nullptr) fail(table, std::string("no ") + key);
        const std::optional<std::int64_t> value = node->value_exact<std::int64_t>();
        if (!value || *value < low || *value > high)
            fail(*node, std::string(key) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
        return *value;
    }

    // A setting's value as the command line would take it.
    std::string setting_text(const toml::node& node, const std::string& name) const
    {
        if (name == "wrap") {
            const std::optional<bool> on = node.value_exact<bool>();
            if (!on) fail(node, "wrap must be true or false");
            return *on ? "1" : "0";
        }
        if (const std::optional<std::int64_t> whole = node.value_exact<std::int64_t>()) return std::to_string(*whole);
        if (const std::optional<double> real = node.value_exact<double>()) {
            char text[64];
            format_c(text, sizeof text, "%.17g", *real);
            return text;
        }
        fail(node, name + " must be a number");
    }

private:
    std::string path_;
};

world_settings_type read_settings(const reader_type& reader, const toml::table& table)
{
    std::vector<std::string> arguments{"velmora", "--headless", "--generations", "0"};
    bool wrap = false;
    for (const auto& [key, node] : table) {
        const std::string name(key.str());
        bool known = false;
        for (const char* setting : setting_names) known = known || name == setting;
        if (!known) reader.fail(node, "unknown key '" + name + "' in [settings]");
        const std::string value = reader.setting_text(node, name);
        if (name == "wrap") {
            wrap = value == "1";
            continue;
        }
        arguments.insert(arguments.end(), {"--" + name, value});
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    options_type options;
    if (const std::string problem = options_parse(static_cast<int>(argv.size()), argv.data(), options); !problem.empty())
        reader.fail(table, problem);
    options.settings.wrap = wrap;
    return options.settings;
}

// The keys of an edit's [[change]], in the order of its data; "genes" is a list and comes last.
struct edit_keys_type {
    const char* name;
    std::vector<const char*> keys;
};
const edit_keys_type edit_keys[] = {
    {"move", {"id", "x", "y"}},
    {"clone", {"id"}},
    {"remove", {"id"}},
    {"genes", {"id", "genes"}},
    {"add_founder", {"x", "y", "heading", "came_from", "genes"}},
    {"add_plant_at", {"x", "y"}},
    {"remove_plants_in", {"x0", "y0", "x1", "y1"}},
};

const edit_keys_type* keys_of(const std::string& name)
{
    for (const edit_keys_type& edit : edit_keys)
        if (name == edit.name) return &edit;
    return nullptr;
}

// An action's [[change]]: its name and the values it takes.
run_event_type read_action(const reader_type& reader, const toml::table& change, std::uint32_t generation, std::int32_t update)
{
    const toml::node& node = *change.get("action");
    const std::optional<std::string> name = node.value_exact<std::string>();
    if (!name || !run_action_is(*name)) {
        std::string known;
        for (const char* action : run_actions) known += std::string(known.empty() ? "" : ", ") + action;
        for (const char* action : edit_names) known += std::string(", ") + action;
        reader.fail(node, "action must be one of " + known);
    }
    run_event_type event{generation, update, *name, 0.0, 0.0};
    if (const edit_keys_type* edit = keys_of(*name)) {
        std::vector<const char*> known{"generation", "update", "action"};
        known.insert(known.end(), edit->keys.begin(), edit->keys.end());
        for (const auto& [key, value] : change) {
            bool found = false;
            for (const char* k : known) found = found || key.str() == k;
            if (!found) reader.fail(value, "unknown key '" + std::string(key.str()) + "' in the " + *name + " [[change]]");
        }
        for (const char* key : edit->keys) {
            const toml::node* value = change.get(key);
            if (value == nullptr) {
                if (std::string(key) == "came_from") {
                    event.data.push_back(0.0);
                    continue;
                }
                reader.fail(change, "the " + *name + " [[change]] needs " + key);
            }
            if (std::string(key) == "genes") {
                const toml::array* genes = value->as_array();
                if (genes == nullptr) reader.fail(*value, "genes must be a list of numbers");
                for (const toml::node& gene : *genes) {
                    const std::optional<double> number = gene.value<double>();
                    if (!number) reader.fail(gene, "genes must be a list of numbers");
                    event.data.push_back(*number);
                }
                continue;
            }
            const std::optional<double> number = value->value<double>();
            if (!number) reader.fail(*value, std::string(key) + " must be a number");
            event.data.push_back(*number);
        }
        if (const std::string problem = run_event_problem(event); !problem.empty()) reader.fail(change, problem);
        return event;
    }
    if (*name == "manual") {
        reader.only(change, {"generation", "update", "action", "on"}, " in the manual [[change]]");
        const toml::node* on = change.get("on");
        if (on == nullptr || !on->value_exact<bool>()) reader.fail(on != nullptr ? *on : change, "a manual [[change]] needs on = true or false");
        event.value = *on->value_exact<bool>() ? 1.0 : 0.0;
    } else if (*name == "steer") {
        reader.only(change, {"generation", "update", "action", "left", "right"}, " in the steer [[change]]");
        for (const char* side : {"left", "right"}) {
            const toml::node* motor = change.get(side);
            if (motor == nullptr) reader.fail(change, std::string("a steer [[change]] needs ") + side);
            const std::optional<double> value = motor->value<double>();
            if (!value) reader.fail(*motor, std::string(side) + " must be a number");
            (std::string(side) == "left" ? event.value : event.value2) = *value;
        }
    } else {
        reader.only(change, {"generation", "update", "action"}, " in the " + *name + " [[change]]");
    }
    if (const std::string problem = run_event_problem(event); !problem.empty()) reader.fail(change, problem);
    return event;
}

std::vector<run_event_type> read_changes(const reader_type& reader, const toml::array& changes, bool seasons)
{
    std::vector<run_event_type> events;
    for (const toml::node& node : changes) {
        const toml::table* change = node.as_table();
        if (change == nullptr) reader.fail(node, "a [[change]] must be a table");
        const auto generation = static_cast<std::uint32_t>(reader.whole(*change, "generation", 0, 4294967295));
        // Without an update, at the start of the generation.
        const auto update = change->get("update") != nullptr ? static_cast<std::int32_t>(reader.whole(*change, "update", 0, 2147483646)) : 0;
        if (!events.empty() && (generation < events.back().generation ||
                                (generation == events.back().generation && update < events.back().update)))
            reader.fail(*change, "a change at generation " + std::to_string(generation) + ", update " +
                                     std::to_string(update) + " comes before the one above it");
        if (change->get("action") != nullptr) {
            events.push_back(read_action(reader, *change, generation, update));
            continue;
        }
        // Settings in one [[change]] are made in the order run_settings lists them.
        std::size_t settings = 0;
        for (const char* setting : run_settings) {
            const toml::node* value = change->get(dashed(setting));
            if (value == nullptr) continue;
            if (seasons && std::string(setting) == "plants") reader.fail(*value, "plants follow the [seasons] in this run: a change cannot set them");
            const double number = std::stod(reader.setting_text(*value, dashed(setting)));
            if (const std::string problem = run_setting_problem(setting, number); !problem.empty())
                reader.fail(*value, dashed(problem));
            events.push_back(run_event_type{generation, update, setting, number, 0.0});
            ++settings;
        }
        for (const auto& [key, value] : *change) {
            const std::string name(key.str());
            if (name == "generation" || name == "update" || run_setting_changes(underscored(name))) continue;
            bool fixed = false;
            for (const char* setting : setting_names) fixed = fixed || name == setting;
            reader.fail(value, fixed ? name + " cannot change during a run" : "unknown key '" + name + "' in a [[change]]");
        }
        if (settings == 0) reader.fail(*change, "a [[change]] changes nothing");
    }
    return events;
}

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string file_sha256(const std::string& path, std::string& digest)
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return std::strerror(errno);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    std::string reason = ok ? "" : "no SHA-256 to be had";
    unsigned char buffer[65536];
    while (ok) {
        const ssize_t got = read(file, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) reason = std::strerror(errno);
        if (got <= 0) break;
        ok = EVP_DigestUpdate(context, buffer, static_cast<std::size_t>(got)) == 1;
    }
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok = ok && reason.empty() && EVP_DigestFinal_ex(context, hash, &length) == 1;
    EVP_MD_CTX_free(context);
    close(file);
    if (!ok) return reason.empty() ? "no SHA-256 to be had" : reason;
    digest.clear();
    char hex[3];
    for (unsigned int i = 0; i < length; ++i) {
        format_c(hex, sizeof hex, "%02x", hash[i]);
        digest += hex;
    }
    return {};
}

std::string run_file_start(const std::string& run_path, const run_file_type& run)
{
    if (run.start_path.empty() || run.start_path.front() == '/') return run.start_path;
    return folder_of(run_path) + run.start_path;
}

std::string run_file_read(const std::string& path, run_file_type& run)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return path + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return path + ": not a regular file";
    if (info.st_size > world_file_max_bytes) return path + ": larger than " + std::to_string(world_file_max_bytes >> 20) + " MiB";
    toml::table root;
    try {
        root = toml::parse_file(path);
    } catch (const toml::parse_error& error) {
        return path + ":" + std::to_string(error.source().begin.line) + ": " + std::string(error.description());
    }
    const reader_type reader(path);
    run_file_type read;
    try {
        reader.only(root, {"format", "seed", "settings", "start", "food-map", "seasons", "change"}, "");
        const std::int64_t format = reader.whole(root, "format", 1, 1000000);
        if (format != run_file_format)
            reader.fail(*root.get("format"), "its format " + std::to_string(format) + " is not " + std::to_string(run_file_format));
        read.seed = static_cast<std::uint32_t>(reader.whole(root, "seed", 0, 4294967295));
        if (const toml::node* settings = root.get("settings")) {
            if (!settings->is_table()) reader.fail(*settings, "settings must be a table");
            read.settings = read_settings(reader, *settings->as_table());
        }
        // A file the run needs, by its path (from the run file's folder) and SHA-256: as the program opens it.
        const auto needed_file = [&](const char* key, const char* what, std::string& file_path, std::string& sha256) -> std::string {
            const toml::node* node = root.get(key);
            if (node == nullptr) return {};
            const toml::table* table = node->as_table();
            const std::string section = std::string("[") + key + "]";
            if (table == nullptr) reader.fail(*node, std::string(key) + " must be a table");
            reader.only(*table, {"file", "sha256"}, " in " + section);
            const std::optional<std::string> file = table->get("file") ? table->get("file")->value_exact<std::string>() : std::nullopt;
            const std::optional<std::string> sha = table->get("sha256") ? table->get("sha256")->value_exact<std::string>() : std::nullopt;
            if (!file || file->empty()) reader.fail(*table, section + " needs the file's name");
            if (!sha || sha->size() != 64) reader.fail(*table, section + " needs the file's sha256, 64 hexadecimal digits");
            file_path = *file;
            sha256 = *sha;
            const std::string opened = run_file_beside(path, *file);
            std::string digest;
            if (const std::string problem = file_sha256(opened, digest); !problem.empty())
                reader.fail(*table, std::string("cannot read the ") + what + " " + opened + ": " + problem);
            if (digest != sha256)
                reader.fail(*table, std::string("the ") + what + " " + opened + " is not the one the run " +
                                        (std::string(key) == "start" ? "started from" : "used") + " (its SHA-256 differs)");
            return opened;
        };
        read.start_opened = needed_file("start", "starting file", read.start_path, read.start_sha256);
        const bool from_checkpoint = !read.start_opened.empty() && checkpoint_is_archive(read.start_opened);
        if (from_checkpoint && (read.settings.any() || read.settings.wrap))
            reader.fail(*root.get("start"), "a run that starts from a checkpoint takes no [settings]: the checkpoint holds them");
        read.food_map_opened = needed_file("food-map", "food map", read.food_map_path, read.food_map_sha256);
        if (!read.food_map_opened.empty()) {
            if (from_checkpoint) reader.fail(*root.get("food-map"), "a run that starts from a checkpoint takes no [food-map]: the checkpoint holds it");
            food_map_type map;
            if (const std::string problem = run_file_food_map(map, read.food_map_opened); !problem.empty())
                reader.fail(*root.get("food-map"), problem);
        }
        if (const toml::node* seasons = root.get("seasons")) {
            const toml::table* table = seasons->as_table();
            if (table == nullptr) reader.fail(*seasons, "seasons must be a table");
            if (from_checkpoint) reader.fail(*seasons, "a run that starts from a checkpoint takes no [seasons]: the checkpoint holds them");
            reader.only(*table, {"period", "low", "high", "shape"}, " in [seasons]");
            const std::int64_t period = reader.whole(*table, "period", 2, 1000000);
            const std::int64_t low = reader.whole(*table, "low", 0, world_file_max_plants);
            const std::int64_t high = reader.whole(*table, "high", 0, world_file_max_plants);
            if (const std::string problem = run_seasons_problem(period, low, high); !problem.empty()) reader.fail(*table, problem);
            const toml::node* shape = table->get("shape");
            const std::optional<std::string> name = shape != nullptr ? shape->value_exact<std::string>() : std::string("sine");
            if (!name || (*name != "sine" && *name != "square")) reader.fail(shape != nullptr ? *shape : *table, "shape must be \"sine\" or \"square\"");
            read.season_period = static_cast<std::int32_t>(period);
            read.season_low = static_cast<std::int32_t>(low);
            read.season_high = static_cast<std::int32_t>(high);
            read.season_square = *name == "square";
        }
        if (const toml::node* changes = root.get("change")) {
            if (!changes->is_array()) reader.fail(*changes, "change must be a list of [[change]] tables");
            read.events = read_changes(reader, *changes->as_array(), read.season_period > 0);
        }
    } catch (const refused& refusal) {
        return refusal.reason;
    }
    run = std::move(read);
    return {};
}

std::string run_file_begin(world_type& world, const run_file_type& run, const std::string& start_path)
{
    world_start(world, run.seed);
    if (!start_path.empty() && checkpoint_is_archive(start_path)) {
        // The checkpoint holds the settings, the environment and the seed's whole course.
        return checkpoint_load(world, start_path);
    }
    world_set_seasons(world, run.season_period, run.season_low, run.season_high, run.season_square);
    if (!run.food_map_opened.empty()) {
        if (std::string problem = run_file_food_map(world.food_map, run.food_map_opened); !problem.empty()) {
            world_say(world, problem + "\n");
            return problem;
        }
    } else if (food_map_on(run.food_map_given)) {
        world.food_map = run.food_map_given;
    }
    if (!start_path.empty()) {
        if (std::string problem = world_load_file(world, start_path, settings_overrides(run.settings)); !problem.empty())
            return problem;
        if (run.settings.wrap) world.wrap_edges = true;
        if (run.settings.line_horizon) world.line_horizon = *run.settings.line_horizon;
        return {};
    }
    settings_apply(world, run.settings);
    // The first population's plants grow by the map too.
    if (food_map_on(world.food_map) && !run.settings.any()) world_reset(world);
    return {};
}

std::string run_file_food_map(food_map_type& map, const std::string& path)
{
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".npy") != 0) return food_map_read(map, path);
    // A map of weights as NumPy writes a two-dimensional float64 array.
    std::ifstream file(path, std::ios::binary);
    if (!file) return "Unable to load " + path + ": " + std::strerror(errno != 0 ? errno : ENOENT);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    npz_array_type array;
    std::string problem;
    try {
        array = npz_parse_npy(path, bytes);
    } catch (const npz_error& refused) {
        problem = refused.reason;
    }
    if (problem.empty() && (array.descr != "<f8" || array.shape.size() != 2)) problem = "it is not a two-dimensional float64 array";
    if (problem.empty() && (array.shape[0] > food_map_max_side || array.shape[1] > food_map_max_side))
        problem = "it is larger than " + std::to_string(food_map_max_side) + " a side";
    if (!problem.empty()) return "Unable to load " + path + ": " + problem;
    std::vector<double> weights(array.data.size() / 8);
    for (std::size_t k = 0; k < weights.size(); ++k) weights[k] = npz_get_value<double>(array.data.data() + 8 * k);
    problem = food_map_set(map, static_cast<std::uint32_t>(array.shape[1]), static_cast<std::uint32_t>(array.shape[0]), std::move(weights));
    return problem.empty() ? problem : "Unable to load " + path + ": " + problem;
}

std::string run_file_beside(const std::string& run_path, const std::string& file)
{
    if (file.empty() || file.front() == '/') return file;
    return folder_of(run_path) + file;
}

std::string run_file_text(const run_file_type& run)
{
    std::string text = "# A Velmora run: velmora --headless --run FILE --generations N replays it.\n";
    text += "format = " + std::to_string(run_file_format) + "\nseed = " + std::to_string(run.seed) + "\n";
    const world_settings_type& s = run.settings;
    char number[64];
    const auto real = [&number](double value) {
        format_c(number, sizeof number, "%.17g", value);
        std::string shown = number;
        // TOML tells a float by its point or exponent.
        if (shown.find_first_of(".en") == std::string::npos) shown += ".0";
        return shown;
    };
    std::string settings;
    const auto whole_line = [&settings](const char* name, const std::optional<std::int32_t>& value) {
        if (value) settings += std::string(name) + " = " + std::to_string(*value) + "\n";
    };
    const auto real_line = [&settings, &real](const char* name, const std::optional<double>& value) {
        if (value) settings += std::string(name) + " = " + real(*value) + "\n";
    };
    whole_line("animals", s.animals);
    whole_line("plants", s.plants);
    real_line("width", s.width);
    real_line("height", s.height);
    whole_line("layer-count", s.layer_count);
    whole_line("layer-width", s.layer_width);
    whole_line("generation-length", s.generation_length);
    real_line("mutate-amount", s.mutate_amount);
    real_line("animal-size", s.animal_size);
    real_line("plant-size", s.plant_size);
    if (s.wrap) settings += "wrap = true\n";
    whole_line("line-horizon", s.line_horizon);
    if (!settings.empty()) text += "\n[settings]\n" + settings;
    if (!run.start_path.empty()) {
        text += "\n[start]\nfile = " + quoted(run.start_path) + "\nsha256 = \"" + run.start_sha256 + "\"\n";
    }
    const auto setting_rank = [](const std::string& name) {
        std::size_t rank = 0;
        while (rank < std::size(run_settings) && name != run_settings[rank]) ++rank;
        return rank;
    };
    if (!run.food_map_path.empty()) {
        text += "\n[food-map]\nfile = " + quoted(run.food_map_path) + "\nsha256 = \"" + run.food_map_sha256 + "\"\n";
    }
    if (run.season_period > 0)
        text += "\n[seasons]\nperiod = " + std::to_string(run.season_period) + "\nlow = " + std::to_string(run.season_low) +
                "\nhigh = " + std::to_string(run.season_high) + "\nshape = \"" + (run.season_square ? "square" : "sine") + "\"\n";
    for (std::size_t i = 0; i < run.events.size(); ++i) {
        const run_event_type& event = run.events[i];
        const run_event_type* before = i > 0 ? &run.events[i - 1] : nullptr;
        // Settings changed at one generation and update share one [[change]]
        // while they come in the order a [[change]] makes them.
        const bool shared = before != nullptr && !run_action_is(event.setting) && !run_action_is(before->setting) &&
                            event.generation == before->generation && event.update == before->update &&
                            setting_rank(event.setting) > setting_rank(before->setting);
        if (!shared)
            text += "\n[[change]]\ngeneration = " + std::to_string(event.generation) + "\nupdate = " + std::to_string(event.update) + "\n";
        if (const edit_keys_type* edit = keys_of(event.setting)) {
            text += "action = \"" + event.setting + "\"\n";
            std::size_t at = 0;
            for (const char* key : edit->keys) {
                if (std::string(key) == "genes") {
                    text += "genes = [";
                    for (; at < event.data.size(); ++at) text += (text.back() == '[' ? "" : ", ") + real(event.data[at]);
                    text += "]\n";
                } else if (at < event.data.size()) {
                    const bool whole = std::string(key) == "id" || std::string(key) == "came_from";
                    text += std::string(key) + " = " +
                            (whole ? std::to_string(static_cast<unsigned long long>(event.data[at])) : real(event.data[at])) + "\n";
                    ++at;
                }
            }
            continue;
        }
        if (run_action_is(event.setting)) {
            text += "action = \"" + event.setting + "\"\n";
            if (event.setting == "manual") text += event.value != 0.0 ? "on = true\n" : "on = false\n";
            if (event.setting == "steer") text += "left = " + real(event.value) + "\nright = " + real(event.value2) + "\n";
            continue;
        }
        text += dashed(event.setting) + " = ";
        if (event.setting == "wrap") {
            text += event.value != 0.0 ? "true" : "false";
        } else if (event.setting == "mutate_amount") {
            text += real(event.value);
        } else {
            text += std::to_string(static_cast<long long>(event.value));
        }
        text += "\n";
    }
    return text;
}

std::string run_file_write(const std::string& path, const run_file_type& run)
{
    run_file_type named = run;
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    if (!run.start_opened.empty()) named.start_path = std::filesystem::absolute(run.start_opened).lexically_relative(folder).string();
    if (!run.food_map_opened.empty())
        named.food_map_path = std::filesystem::absolute(run.food_map_opened).lexically_relative(folder).string();
    const std::string text = run_file_text(named);
    std::string temporary = path + ".XXXXXX";
    const int file = mkstemp(temporary.data());
    if (file < 0) return std::strerror(errno);
    std::size_t done = 0;
    std::string reason;
    while (done < text.size() && reason.empty()) {
        const ssize_t written = write(file, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) reason = written < 0 ? std::strerror(errno) : "nothing could be written";
        if (written > 0) done += static_cast<std::size_t>(written);
    }
    if (reason.empty() && fchmod(file, world_file_mode_for(path)) != 0) reason = std::strerror(errno);
    if (close(file) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty() && rename(temporary.c_str(), path.c_str()) != 0) reason = std::strerror(errno);
    if (!reason.empty()) unlink(temporary.c_str());
    return reason;
}
