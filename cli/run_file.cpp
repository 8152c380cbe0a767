#include "cli/run_file.h"

#include "base/file.h"
#include "base/sha256.h"
#include "base/system.h"
#include "base/utility.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <fcntl.h>

namespace {

// A TOML basic string of a path.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
}

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string real_text(double value)
{
    char number[64];
    format_c(number, sizeof number, "%.17g", value);
    std::string shown = number;
    // TOML tells a float by its point or exponent.
    if (shown.find_first_of(".en") == std::string::npos) shown += ".0";
    return shown;
}

class reader_type {
public:
    explicit reader_type(const std::string& path) : path_(path) {}

    [[noreturn]] void fail(const toml::node& at, const std::string& reason) const
    {
        throw refusal_error{refusal_type(path_ + ":" + std::to_string(at.source().begin.line) + ": " + reason)};
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

    // A setting's value, checked by its row: a flag is true or false, a whole number has no point.
    double setting(const toml::node& node, const setting_row_type& row) const
    {
        double value = 0.0;
        std::string shown;
        if (row.kind == setting_kind_type::flag) {
            const std::optional<bool> on = node.value_exact<bool>();
            if (!on) fail(node, std::string(row.name) + " " + setting_rule(row));
            value = *on ? 1.0 : 0.0;
        } else if (row.kind == setting_kind_type::choice) {
            const std::optional<std::string> name = node.value_exact<std::string>();
            if (!name || !setting_parse(row, *name, value).empty()) fail(node, std::string(row.name) + " " + setting_rule(row));
        } else if (const std::optional<std::int64_t> whole = node.value_exact<std::int64_t>()) {
            value = static_cast<double>(*whole);
            shown = std::to_string(*whole);
        } else if (const std::optional<double> real = node.value_exact<double>(); real && row.kind == setting_kind_type::real) {
            value = *real;
            shown = real_text(*real);
        } else {
            fail(node, std::string(row.name) + ": " + setting_rule(row));
        }
        if (const std::string rule = setting_value_problem(row, value); !rule.empty())
            fail(node, std::string(row.name) + " " + shown + ": " + rule);
        return value;
    }

private:
    std::string path_;
};

world_settings_type read_settings(const reader_type& reader, const toml::table& table)
{
    world_settings_type settings;
    for (const auto& [key, node] : table) {
        const setting_row_type* row = setting_find(key.str());
        if (row == nullptr || key.str() != row->name) reader.fail(node, "unknown key '" + std::string(key.str()) + "' in [settings]");
        settings[row->id] = reader.setting(node, *row);
    }
    if (const std::string problem = settings_problem(settings); !problem.empty()) reader.fail(table, problem);
    return settings;
}

// A [[change]] of an action: its fields by the keys of its row of the events' table.
run_event_type read_action(const reader_type& reader, const toml::table& change, std::uint32_t generation, std::int32_t update)
{
    const toml::node& node = *change.get("action");
    const std::optional<std::string> name = node.value_exact<std::string>();
    const run_event_kind_type kind = name ? run_event_kind_named(*name) : event_kind_count;
    if (kind == event_kind_count || kind == event_setting) {
        std::string known;
        for (const run_event_row_type& row : run_event_table())
            if (row.kind != event_setting) known += std::string(known.empty() ? "" : ", ") + row.name;
        reader.fail(node, "action must be one of " + known);
    }
    const run_event_row_type& row = run_event_row(kind);
    run_event_type event = run_event_of(kind, generation, update);
    const std::string where = " in the " + *name + " [[change]]";
    for (const auto& [key, value] : change) {
        bool found = key.str() == "generation" || key.str() == "update" || key.str() == "action";
        for (const run_event_field_type& field : row.fields) found = found || key.str() == field.key;
        if (!found) reader.fail(value, "unknown key '" + std::string(key.str()) + "'" + where);
    }
    for (const run_event_field_type& field : row.fields) {
        const toml::node* value = change.get(field.key);
        if (value == nullptr) {
            if (field.optional) continue;
            reader.fail(change, "the " + *name + " [[change]] needs " + field.key);
        }
        if (field.list != nullptr) {
            const toml::array* list = value->as_array();
            if (list == nullptr) reader.fail(*value, std::string(field.key) + " must be a list of numbers");
            for (const toml::node& item : *list) {
                const std::optional<double> number = item.value<double>();
                if (!number) reader.fail(item, std::string(field.key) + " must be a list of numbers");
                (event.*field.list).push_back(*number);
            }
        } else if (field.flag != nullptr) {
            const std::optional<bool> on = value->value_exact<bool>();
            if (!on) reader.fail(*value, "a " + *name + " [[change]] needs " + field.key + " = true or false");
            event.*field.flag = *on;
        } else if (field.whole != nullptr) {
            const std::optional<std::int64_t> whole = value->value_exact<std::int64_t>();
            if (!whole || *whole < 0) reader.fail(*value, std::string(field.key) + " must be a whole number of at least 0");
            event.*field.whole = static_cast<std::uint64_t>(*whole);
        } else {
            const std::optional<double> number = value->value<double>();
            if (!number) reader.fail(*value, std::string(field.key) + " must be a number");
            event.*field.number = *number;
        }
    }
    if (const std::string problem = run_event_problem(event); !problem.empty()) reader.fail(change, problem);
    return event;
}

void read_changes(const reader_type& reader, const toml::array& changes, const seasons_type& seasons, run_file_type& run)
{
    std::vector<run_event_type>& events = run.events;
    for (const toml::node& node : changes) {
        const toml::table* change = node.as_table();
        if (change == nullptr) reader.fail(node, "a [[change]] must be a table");
        const auto line = static_cast<std::uint32_t>(change->source().begin.line);
        const auto generation = static_cast<std::uint32_t>(reader.whole(*change, "generation", 0, 4294967295));
        // Without an update, at the start of the generation.
        const auto update = change->get("update") != nullptr ? static_cast<std::int32_t>(reader.whole(*change, "update", 0, 2147483646)) : 0;
        if (!events.empty() && (generation < events.back().generation ||
                                (generation == events.back().generation && update < events.back().update)))
            reader.fail(*change, "a change at generation " + std::to_string(generation) + ", update " +
                                     std::to_string(update) + " comes before the one above it");
        if (change->get("action") != nullptr) {
            events.push_back(read_action(reader, *change, generation, update));
            run.event_lines.push_back(line);
            continue;
        }
        for (const auto& [key, value] : *change) {
            if (key.str() == "generation" || key.str() == "update") continue;
            const setting_row_type* row = setting_find(key.str());
            if (row == nullptr || key.str() != row->name) reader.fail(value, "unknown key '" + std::string(key.str()) + "' in a [[change]]");
            if (!row->changes) reader.fail(value, std::string(row->name) + " cannot change during a run");
        }
        // Settings in one [[change]] are made in the order of the table.
        std::size_t made = 0;
        for (const setting_row_type& row : settings_table()) {
            const toml::node* value = change->get(row.name);
            if (value == nullptr) continue;
            const run_event_type event = run_setting_event(generation, update, row.id, reader.setting(*value, row));
            if (!seasons_problem_with(seasons, event).empty())
                reader.fail(*value, "plants follow the [seasons] in this run: a change cannot set them");
            events.push_back(event);
            run.event_lines.push_back(line);
            ++made;
        }
        if (made == 0) reader.fail(*change, "a [[change]] changes nothing");
    }
}

}  // namespace

refusal_type file_sha256(const std::string& path, std::string& digest)
{
    const int file = system_open(path, O_RDONLY);
    if (file < 0) return refusal_of_errno(errno, path);
    sha256_type hash;
    sha256_start(hash);
    refusal_type refused;
    unsigned char buffer[65536];
    for (;;) {
        const long long got = system_read(file, buffer, sizeof buffer);
        if (got < 0) refused = refusal_of_errno(errno, path);
        if (got <= 0) break;
        sha256_add(hash, buffer, static_cast<std::size_t>(got));
    }
    system_close(file);
    if (!refused.empty()) return refused;
    digest = sha256_hex(hash);
    return {};
}

std::string run_file_start(const std::string& run_path, const run_file_type& run)
{
    if (run.start_path.empty() || run.start_path.front() == '/') return run.start_path;
    return folder_of(run_path) + run.start_path;
}

refusal_type run_file_read(const std::string& path, run_file_type& run)
{
    std::string text;
    if (const refusal_type refused = file_read(path, text, world_file_max_bytes); !refused.empty()) return refused.said_as(path + ": ");
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& error) {
        return refusal_type(path + ":" + std::to_string(error.source().begin.line) + ": " + std::string(error.description()),
                            refusal_kind_type::format);
    }
    const reader_type reader(path);
    run_file_type read;
    read.read_from = path;
    try {
        reader.only(root, {"format", "seed", "math-hash", "settings", "start", "food-map", "seasons", "change"}, "");
        // A file written by hand may leave the format out: it is the first.
        const std::int64_t format = root.get("format") != nullptr ? reader.whole(root, "format", 1, 1000000) : 1;
        if (format > run_file_format)
            throw refusal_error{refusal_type(path + ":" + std::to_string(root.get("format")->source().begin.line) + ": its format " +
                                                 std::to_string(format) + " is newer than " + std::to_string(run_file_format) +
                                                 ", the newest this velmora reads",
                                             refusal_kind_type::format)};
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
            if (const refusal_type problem = file_sha256(opened, digest); !problem.empty())
                throw refusal_error{problem.said_as(path + ":" + std::to_string(table->source().begin.line) + ": cannot read the " + what +
                                                    " " + opened + ": ")};
            if (digest != sha256)
                reader.fail(*table, std::string("the ") + what + " " + opened + " is not the one the run " +
                                        (std::string(key) == "start" ? "started from" : "used") + " (its SHA-256 differs)");
            return opened;
        };
        read.start_opened = needed_file("start", "starting file", read.start_path, read.start_sha256);
        const bool from_checkpoint = !read.start_opened.empty() && checkpoint_is_archive(read.start_opened);
        if (from_checkpoint && read.settings.any())
            reader.fail(*root.get("start"), "a run that starts from a checkpoint takes no [settings]: the checkpoint holds them");
        // A run file that names no functions was made before there was a choice: with the C library's.
        if (!from_checkpoint && !read.settings[setting_math]) read.settings[setting_math] = math_system;
        if (const toml::node* hash = root.get("math-hash")) {
            const std::optional<std::string> text = hash->value_exact<std::string>();
            char own[32];
            format_c(own, sizeof own, "%016llx", static_cast<unsigned long long>(exact_math_hash));
            if (!text || text->size() != 16) reader.fail(*hash, "math-hash must be 16 hexadecimal digits");
            if (*text != own && settings_value(read.settings, setting_math) == static_cast<double>(math_exact))
                reader.fail(*hash, "it was made with other exact functions (hash " + *text + ", this velmora's " + own +
                                       "): it would run differently here");
        }
        environment_type& environment = read.environment;
        environment.food_map_path = needed_file("food-map", "food map", read.food_map_file, read.food_map_sha256);
        if (!environment.food_map_path.empty()) {
            if (from_checkpoint) reader.fail(*root.get("food-map"), "a run that starts from a checkpoint takes no [food-map]: the checkpoint holds it");
            if (const refusal_type problem = run_file_food_map(environment.food_map, environment.food_map_path); !problem.empty())
                throw refusal_error{problem.said_as(path + ":" + std::to_string(root.get("food-map")->source().begin.line) + ": ")};
        }
        if (const toml::node* seasons = root.get("seasons")) {
            const toml::table* table = seasons->as_table();
            if (table == nullptr) reader.fail(*seasons, "seasons must be a table");
            if (from_checkpoint) reader.fail(*seasons, "a run that starts from a checkpoint takes no [seasons]: the checkpoint holds them");
            reader.only(*table, {"period", "low", "high", "shape"}, " in [seasons]");
            const std::int64_t period = reader.whole(*table, "period", 2, 1000000);
            const std::int64_t low = reader.whole(*table, "low", 0, world_file_max_plants);
            const std::int64_t high = reader.whole(*table, "high", 0, world_file_max_plants);
            if (const std::string problem = seasons_problem(period, low, high); !problem.empty()) reader.fail(*table, problem);
            const toml::node* shape = table->get("shape");
            const std::optional<std::string> name = shape != nullptr ? shape->value_exact<std::string>() : std::string("sine");
            if (!name || (*name != seasons_shapes[0] && *name != seasons_shapes[1]))
                reader.fail(shape != nullptr ? *shape : *table, "shape must be \"sine\" or \"square\"");
            environment.seasons = seasons_type{static_cast<std::int32_t>(period), static_cast<std::int32_t>(low),
                                               static_cast<std::int32_t>(high), *name == seasons_shapes[1]};
        }
        if (const toml::node* changes = root.get("change")) {
            if (!changes->is_array()) reader.fail(*changes, "change must be a list of [[change]] tables");
            read_changes(reader, *changes->as_array(), environment.seasons, read);
        }
        // A run from the seed's first population has its generations' length now; one from a file, when it is loaded.
        std::size_t at = 0;
        if (read.start_opened.empty())
            if (const std::string problem =
                    course_problem(read.events, environment.seasons,
                                   static_cast<std::int32_t>(settings_value(read.settings, setting_generation_length)), 0, 0, false, at);
                !problem.empty())
                throw refusal_error{refusal_type(path + ":" + std::to_string(read.event_lines[at]) + ": " + problem)};
    } catch (const refusal_error& error) {
        return error.refusal;
    }
    run = std::move(read);
    return {};
}

refusal_type run_file_begin(world_type& world, const run_file_type& run, const std::string& start_path)
{
    world_start(world, run.seed);
    refusal_type problem;
    if (!start_path.empty() && checkpoint_is_archive(start_path)) {
        // The checkpoint holds the settings, the environment and the seed's whole course.
        problem = checkpoint_load(world, start_path);
    } else {
        problem = world_begin(world, run.environment, [&](world_type& w) -> refusal_type {
            if (!start_path.empty()) return world_load_file(w, start_path, run.settings);
            settings_apply(w, run.settings);
            // The first population's plants grow by the map too.
            if (food_map_on(w.food_map) && !run.settings.any_resetting()) world_reset(w);
            return {};
        });
    }
    if (!problem.empty() || run.read_from.empty()) return problem;
    // The changes of a run file, from its start on; a checkpoint's own made so far stay.
    std::size_t at = 0;
    problem = world_set_course(world, run.events, at);
    if (!problem.empty()) {
        problem = "Unable to run " + run.read_from + ":" + std::to_string(at < run.event_lines.size() ? run.event_lines[at] : 0) +
                  ": " + problem;
        world_say(world, problem + "\n");
    }
    return problem;
}

refusal_type run_file_food_map(food_map_type& map, const std::string& path)
{
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".npy") != 0) return food_map_read(map, path);
    // A map of weights as NumPy writes a two-dimensional float64 array.
    std::string text;
    if (const refusal_type refused = file_read(path, text, std::int64_t{256} << 20); !refused.empty())
        return refused.said_as("Unable to load " + path + ": ");
    const std::vector<unsigned char> bytes(text.begin(), text.end());
    npz_array_type array;
    std::string problem;
    try {
        array = npz_parse_npy(path, bytes);
    } catch (const refusal_error& refused) {
        problem = refused.refusal;
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
    const world_settings_type& written = run.settings;
    if (written[setting_math] == static_cast<double>(math_exact)) {
        char hash[32];
        format_c(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(exact_math_hash));
        text += "math-hash = \"" + std::string(hash) + "\"   # of the program's own functions it was made with\n";
    }
    std::string settings;
    for (const setting_row_type& row : settings_table())
        if (const std::optional<double>& value = written[row.id]; value && !(row.kind == setting_kind_type::flag && *value == 0.0))
            settings += std::string(row.name) + " = " + setting_value_text(row, *value) + "\n";
    if (!settings.empty()) text += "\n[settings]\n" + settings;
    if (!run.start_path.empty()) text += "\n[start]\nfile = " + quoted(run.start_path) + "\nsha256 = \"" + run.start_sha256 + "\"\n";
    if (!run.food_map_file.empty())
        text += "\n[food-map]\nfile = " + quoted(run.food_map_file) + "\nsha256 = \"" + run.food_map_sha256 + "\"\n";
    const seasons_type& seasons = run.environment.seasons;
    if (seasons.period > 0)
        text += "\n[seasons]\nperiod = " + std::to_string(seasons.period) + "\nlow = " + std::to_string(seasons.low) +
                "\nhigh = " + std::to_string(seasons.high) + "\nshape = \"" + seasons_shapes[seasons.square ? 1 : 0] + "\"\n";
    for (std::size_t i = 0; i < run.events.size(); ++i) {
        const run_event_type& event = run.events[i];
        const run_event_type* before = i > 0 ? &run.events[i - 1] : nullptr;
        // Settings changed at one generation and update share one [[change]]
        // while they come in the order a [[change]] makes them.
        const bool shared = before != nullptr && event.kind == event_setting && before->kind == event_setting &&
                            event.generation == before->generation && event.update == before->update && event.setting > before->setting;
        if (!shared)
            text += "\n[[change]]\ngeneration = " + std::to_string(event.generation) + "\nupdate = " + std::to_string(event.update) + "\n";
        if (event.kind == event_setting) {
            const setting_row_type& row = setting_row(event.setting);
            text += std::string(row.name) + " = " + setting_value_text(row, event.value) + "\n";
            continue;
        }
        text += "action = \"" + std::string(run_event_row(event.kind).name) + "\"\n";
        for (const run_event_field_type& field : run_event_row(event.kind).fields) {
            text += std::string(field.key) + " = ";
            if (field.list != nullptr) {
                std::string list;
                for (const double value : event.*field.list) list += (list.empty() ? "" : ", ") + real_text(value);
                text += "[" + list + "]\n";
            } else if (field.flag != nullptr) {
                text += event.*field.flag ? "true\n" : "false\n";
            } else if (field.whole != nullptr) {
                text += std::to_string(event.*field.whole) + "\n";
            } else {
                text += real_text(event.*field.number) + "\n";
            }
        }
    }
    return text;
}

refusal_type run_file_write(const std::string& path, const run_file_type& run)
{
    run_file_type named = run;
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    if (!run.start_opened.empty()) named.start_path = std::filesystem::absolute(run.start_opened).lexically_relative(folder).string();
    if (!run.environment.food_map_path.empty())
        named.food_map_file = std::filesystem::absolute(run.environment.food_map_path).lexically_relative(folder).string();
    // A run names its functions, as a reader takes a file that names none for one of the C library's;
    // one from a checkpoint has them from it.
    const std::string start = run.start_opened.empty() ? run_file_beside(path, run.start_path) : run.start_opened;
    if (!(!start.empty() && checkpoint_is_archive(start)) && !named.settings[setting_math])
        named.settings[setting_math] = setting_row(setting_math).fallback;
    return file_replace(path, run_file_text(named));
}
