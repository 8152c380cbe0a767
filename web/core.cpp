// The core as the web page's worker calls it: one watched run (a world and
// its session) and what the page shows of it. Files pass through the
// module's memory file system: the page writes what the user picks there
// and reads back what is saved. Texts go out as JSON.
#include "animal/animal.h"
#include "base/exact_math.h"
#include "base/file.h"
#include "base/utility.h"
#include "cli/headless.h"
#include "cli/run_file.h"
#include "cli/session.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/checkpoint.h"
#include "world/edit.h"
#include "world/environment.h"
#include "world/settings.h"
#include "world/timeline.h"
#include "world/world.h"
#include "world/world_file.h"

#include <emscripten/bind.h>
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const out_folder = "/out";
const char* const log_path = "/out/log.txt";
const char* const lineage_path = "/out/lineage.csv";

// A text as a JSON string.
std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            format_c(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A number as JSON has them: a finite one in full, else null.
std::string number(double value)
{
    if (!std::isfinite(value)) return "null";
    char text[32];
    format_c(text, sizeof text, "%.17g", value);
    return text;
}

// Key-value lines, "name = value", as the page writes a form.
std::vector<std::pair<std::string, std::string>> lines_of(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const auto trim = [](std::string part) {
            const std::size_t first = part.find_first_not_of(" \t"), last = part.find_last_not_of(" \t\r");
            return first == std::string::npos ? std::string() : part.substr(first, last - first + 1);
        };
        out.emplace_back(trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
    }
    return out;
}

// Settings from the page's lines, checked row by row: the first problem, or an empty text.
std::string settings_of_lines(const std::string& text, world_settings_type& settings)
{
    for (const auto& [name, value] : lines_of(text)) {
        const setting_row_type* row = setting_find(name);
        if (row == nullptr) return "There is no setting " + name;
        double parsed = 0.0;
        if (const std::string problem = setting_parse(*row, value, parsed); !problem.empty()) return std::string(row->label) + ": " + problem;
        settings[row->id] = parsed;
    }
    return settings_problem(settings, [](const setting_row_type& row) { return std::string(row.label); });
}

// A schedule from lines "generation setting value", one change each.
std::string schedule_of_lines(const std::string& text, std::vector<run_event_type>& schedule)
{
    std::istringstream in(text);
    int line_number = 0;
    for (std::string line; std::getline(in, line);) {
        ++line_number;
        std::istringstream fields(line);
        long long generation = 0;
        std::string name, value;
        if (!(fields >> generation)) continue;
        if (!(fields >> name >> value) || generation < 0 || generation > 4294967295LL)
            return "Scheduled change " + std::to_string(line_number) + ": give a generation, a setting and its value";
        const setting_row_type* row = setting_find(name);
        if (row == nullptr || !row->changes) return "Scheduled change " + std::to_string(line_number) + ": " + name + " cannot change during a run";
        double parsed = 0.0;
        if (const std::string problem = setting_parse(*row, value, parsed); !problem.empty())
            return "Scheduled change " + std::to_string(line_number) + ": " + problem;
        schedule.push_back(run_setting_event(static_cast<std::uint32_t>(generation), 0, row->id, parsed));
    }
    return {};
}

}  // namespace

struct web_session_type {
    world_type world;
    session_type session;
    std::vector<double> frame;    // what the view draws, refilled by each web_frame
    std::vector<double> plants;   // the same for plants
    double began = emscripten_get_now();   // ms, when the run began: the CSV's seconds
    std::vector<double> seconds;           // per generation of the history
    std::vector<double> map_shade;         // the food map's weights, for its picture

    web_session_type()
    {
        world.options.console = false;
        world.options.console_scores = false;
        world.options.threads = 1;
        world.options.log_path = log_path;
        world.options.lineage_path = lineage_path;
        world_start(world, 1);
        session_begin(session, world, false);
    }
    ~web_session_type() { world_destroy(world); }
};

namespace {

void note_seconds(web_session_type& web)
{
    const std::size_t rows = web.world.history.size();
    if (web.seconds.size() > rows) web.seconds.resize(rows);
    while (web.seconds.size() < rows) web.seconds.push_back((emscripten_get_now() - web.began) / 1000.0);
}

// A new run in the page: the log, the family tree and the clock start again.
void run_began(web_session_type& web)
{
    file_replace(log_path, "");
    world_lineage_restart(web.world);
    web.world.lineage_rows.clear();
    web.began = emscripten_get_now();
    web.seconds.clear();
    note_seconds(web);
}

}  // namespace

// The table of settings, walked by the page's form.
std::string web_settings_table()
{
    std::string out = "[";
    for (const setting_row_type& row : settings_table()) {
        if (out.size() > 1) out += ",";
        static const char* const kinds[] = {"whole", "real", "flag", "choice"};
        std::string choices = "[";
        for (int k = 0; k < row.choice_count; ++k) choices += std::string(k ? "," : "") + quoted(row.choices[k]);
        choices += "]";
        out += "{\"name\":" + quoted(row.name) + ",\"label\":" + quoted(row.label) + ",\"kind\":" +
               quoted(kinds[static_cast<int>(row.kind)]) + ",\"unit\":" + quoted(row.unit) + ",\"fallback\":" +
               number(row.fallback) + ",\"automatic\":" + (row.fallback_text != nullptr ? "true" : "false") + ",\"low\":" +
               number(row.low) + ",\"high\":" + number(row.high) + ",\"changes\":" + (row.changes ? "true" : "false") +
               ",\"resets\":" + (row.resets ? "true" : "false") + ",\"default\":" + quoted(setting_default_text(row)) +
               ",\"range\":" + quoted(setting_range_text(row)) + ",\"help\":" + quoted(setting_help(row)) + ",\"choices\":" + choices + "}";
    }
    return out + "]";
}

// A new run from a seed: settings as "name = value" lines, seasons as
// "period low high shape" (empty for none), a food map's file in the
// module's files (empty for none) and a schedule. The world stays as it
// was when anything is refused; returns the problem, or an empty text.
std::string web_start(web_session_type& web, double seed, const std::string& settings_text, const std::string& seasons_text,
                      const std::string& map_path, const std::string& schedule_text)
{
    if (!(seed >= 0 && seed <= 4294967295.0 && seed == std::floor(seed))) return "The seed must be a whole number from 0 to 4294967295";
    run_file_type run;
    run.seed = static_cast<std::uint32_t>(seed);
    if (std::string problem = settings_of_lines(settings_text, run.settings); !problem.empty()) return problem;
    // A run names its functions, as the command line's does (a run file naming none means the C library's).
    if (!run.settings[setting_math]) run.settings[setting_math] = setting_row(setting_math).fallback;
    if (!seasons_text.empty()) {
        std::istringstream in(seasons_text);
        std::string shape;
        if (!(in >> run.environment.seasons.period >> run.environment.seasons.low >> run.environment.seasons.high >> shape) ||
            (shape != seasons_shapes[0] && shape != seasons_shapes[1]))
            return "Seasons need a period, the fewest and the most plants, and a shape (sine or square)";
        run.environment.seasons.square = shape == seasons_shapes[1];
        const seasons_type& s = run.environment.seasons;
        if (std::string problem = seasons_problem(s.period, s.low, s.high); !problem.empty()) return "Seasons: " + problem;
    }
    if (!map_path.empty()) {
        if (std::string problem = run_file_food_map(run.environment.food_map, map_path); !problem.empty()) return problem;
        run.environment.food_map_path = map_path;
        if (std::string problem = file_sha256(map_path, run.food_map_sha256); !problem.empty()) return problem;
        run.food_map_file = map_path;
    }
    std::vector<run_event_type> schedule;
    if (std::string problem = schedule_of_lines(schedule_text, schedule); !problem.empty()) return problem;
    {
        std::size_t at = 0;
        const std::int32_t length = static_cast<std::int32_t>(settings_value(run.settings, setting_generation_length));
        if (std::string problem = course_problem(schedule, run.environment.seasons, length, 0, 0, true, at); !problem.empty())
            return "Scheduled change " + std::to_string(at + 1) + ": " + problem;
    }
    world_type trial;
    trial.options.console = false;
    trial.options.log_path.clear();
    if (std::string problem = run_file_begin(trial, run, ""); !problem.empty()) return problem;
    run_file_begin(web.world, run, "");
    world_schedule(web.world, schedule);
    web.session.run_start = run;
    session_begin(web.session, web.world, false);
    run_began(web);
    return {};
}

// Settings that may change during a run, and a schedule of changes to come,
// made from now on as changes of the run.
std::string web_apply_now(web_session_type& web, const std::string& settings_text, const std::string& schedule_text)
{
    world_settings_type settings;
    if (std::string problem = settings_of_lines(settings_text, settings); !problem.empty()) return problem;
    std::vector<run_event_type> schedule;
    if (std::string problem = schedule_of_lines(schedule_text, schedule); !problem.empty()) return problem;
    for (run_event_type& change : schedule)
        if (change.generation == web.world.generation && web.world.update_count > 0) change.update = web.world.update_count;
    for (const setting_row_type& row : settings_table())
        if (settings[row.id] && !row.changes && *settings[row.id] != settings_value(settings_of_world(web.world), row.id))
            return std::string(row.label) + " cannot change during a run: it needs a new run";
    if (std::string problem = world_schedule(web.world, schedule); !problem.empty()) return problem;
    world_change_settings(web.world, settings);
    timeline_note(web.session.timeline, web.world);
    return {};
}

// Runs up to updates world updates, stopping early after budget_ms; returns those done.
int web_step(web_session_type& web, int updates, double budget_ms)
{
    const double until = emscripten_get_now() + budget_ms;
    int done = 0;
    world_type& world = web.world;
    world.running = true;
    while (done < updates) {
        world_update(world);
        ++done;
        timeline_note(web.session.timeline, world);
        if (world.update_count == 0) {
            note_seconds(web);
            world_lineage_flush(world);
        }
        if ((done & 15) == 0 && emscripten_get_now() > until) break;
    }
    return done;
}

// The animals as the view draws them, stride 15 (or 35 with the vision
// rays): x, y, heading, size_x, size_y, sensor_size, sensor_distance, id,
// the whiskers' colours (0 white, 1 red, 2 green, 3 blue) and, with rays,
// the five sectors' rays' ends (x, y of start and end) and whether each sees a plant.
emscripten::val web_frame(web_session_type& web, bool rays)
{
    std::vector<double>& out = web.frame;
    out.clear();
    for (const animal_type* a = web.world.animals; a != nullptr; a = a->next) {
        out.insert(out.end(), {a->x, a->y, a->heading, a->size_x, a->size_y, a->sensor_size, a->sensor_distance, static_cast<double>(a->id)});
        for (const sensor_type& touch : a->touch) out.push_back(touch.wall > 0 ? 1 : touch.plant > 0 ? 2 : touch.animal > 0 ? 3 : 0);
        if (rays) {
            for (int i = 0; i < 2 * animal_vision_capacity; ++i) out.push_back(a->ray_x[i]);
            for (int i = 0; i < animal_vision_capacity; ++i) out.push_back(i < a->num_vision && a->vision[i].plant > 0 ? 1.0 : 0.0);
            for (int i = 0; i < 2 * animal_vision_capacity; ++i) out.push_back(a->ray_y[i]);
        }
    }
    return emscripten::val(emscripten::typed_memory_view(out.size(), out.data()));
}

// The plants: x, y, size_x, size_y each.
emscripten::val web_plants(web_session_type& web)
{
    std::vector<double>& out = web.plants;
    out.clear();
    for (const plant_type* p = web.world.plants; p != nullptr; p = p->next) out.insert(out.end(), {p->x, p->y, p->size_x, p->size_y});
    return emscripten::val(emscripten::typed_memory_view(out.size(), out.data()));
}

// The food map's weights, row by row from the top; empty for none.
emscripten::val web_food_map(web_session_type& web)
{
    const food_map_type& map = web.world.food_map;
    web.map_shade = food_map_on(map) ? map.weights : std::vector<double>{};
    return emscripten::val(emscripten::typed_memory_view(web.map_shade.size(), web.map_shade.data()));
}

std::string web_status(web_session_type& web)
{
    const world_type& w = web.world;
    const timeline_type& t = web.session.timeline;
    const timeline_branch_type& branch = t.branches[t.current];
    std::string out = "{\"generation\":" + std::to_string(w.generation) + ",\"update\":" + std::to_string(w.update_count) +
                      ",\"generation_length\":" + std::to_string(w.generation_length) + ",\"animals\":" + std::to_string(w.num_animals) +
                      ",\"plants\":" + std::to_string(w.num_plants) + ",\"ave_food\":" + number(w.ave_food) +
                      ",\"seed\":" + std::to_string(web.session.run_start.seed) + ",\"width\":" + number(w.width) +
                      ",\"height\":" + number(w.height) + ",\"wrap\":" + (w.wrap_edges ? "true" : "false") +
                      ",\"manual\":" + (w.mode_manual ? "true" : "false") + ",\"start\":" + std::to_string(t.start.generation) +
                      ",\"reach\":" + std::to_string(branch.reach.generation) + ",\"branch\":" + std::to_string(t.current) +
                      ",\"history\":" + std::to_string(w.history.size()) + ",\"map\":" + (food_map_on(w.food_map) ? "[" +
                      std::to_string(w.food_map.width) + "," + std::to_string(w.food_map.height) + "]" : "null") +
                      ",\"can_undo\":" + (web.session.undo_steps.empty() ? "false" : "true") +
                      ",\"can_redo\":" + (web.session.redo_branches.empty() ? "false" : "true") + ",\"settings\":{";
    const world_settings_type settings = settings_of_world(w);
    bool first = true;
    for (const setting_row_type& row : settings_table()) {
        // A derived value (the automatic mutation rate) shows as none given.
        const bool given = row.given == nullptr || row.given(w);
        out += std::string(first ? "" : ",") + quoted(row.name) + ":" + quoted(given ? setting_value_text(row, settings_value(settings, row.id)) : "");
        first = false;
    }
    return out + "}}";
}

// Generations from the history's row from on: the chart's and the lineages' rows.
std::string web_history(web_session_type& web, int from)
{
    const std::vector<generation_record_type>& history = web.world.history;
    std::string out = "[";
    for (std::size_t k = static_cast<std::size_t>(std::max(from, 0)); k < history.size(); ++k) {
        const generation_record_type& r = history[k];
        if (out.size() > 1) out += ",";
        out += "[" + std::to_string(r.generation) + "," + std::to_string(r.food) + "," + std::to_string(r.wall) + "," +
               number(r.food_per_animal) + "," + std::to_string(r.best_food) + "," + number(r.ave_food) + "," +
               std::to_string(r.animals) + "," + std::to_string(r.plants) + "," + number(r.gene_spread) + "," +
               std::to_string(r.lineages) + ",[";
        for (int i = 0; i < 8; ++i) out += std::string(i ? "," : "") + std::to_string(r.line_founders[i]);
        out += "],[";
        for (int i = 0; i < 8; ++i) out += std::string(i ? "," : "") + std::to_string(r.line_animals[i]);
        out += "]]";
    }
    return out + "]";
}

// The animal nearest (x, y) whose body (and slack world units) holds it; 0 for none.
double web_animal_at(web_session_type& web, double x, double y, double slack)
{
    const animal_type* nearest = nullptr;
    double best = 0.0;
    for (const animal_type* a = web.world.animals; a != nullptr; a = a->next) {
        const double distance = std::hypot(a->x - x, a->y - y);
        if (distance <= 0.25 * (a->size_x + a->size_y) + slack && (nearest == nullptr || distance < best)) {
            nearest = a;
            best = distance;
        }
    }
    return nearest != nullptr ? static_cast<double>(nearest->id) : 0.0;
}

// An animal as the inspector shows it; null when it is gone.
std::string web_inspect(web_session_type& web, double id)
{
    animal_type* a = world_find_animal(web.world, static_cast<std::uint64_t>(id));
    if (a == nullptr) return "null";
    std::string out = "{\"id\":" + std::to_string(a->id) + ",\"parent_a\":" + std::to_string(a->parent_a) + ",\"parent_b\":" +
                      std::to_string(a->parent_b) + ",\"founder\":" + std::to_string(a->founder) + ",\"born\":" + std::to_string(a->born) +
                      ",\"food\":" + std::to_string(a->food) + ",\"wall_hits\":" + std::to_string(a->wall_hits) + ",\"fitness\":" +
                      number(a->fitness) + ",\"x\":" + number(a->x) + ",\"y\":" + number(a->y) + ",\"heading\":" + number(a->heading) +
                      ",\"speed\":" + number(a->speed) + ",\"left_motor\":" + number(a->left_motor) + ",\"right_motor\":" +
                      number(a->right_motor) + ",\"first\":" + (a == web.world.animals ? "true" : "false") + ",\"touch\":[";
    for (int k = 0; k < animal_touch_count; ++k)
        out += std::string(k ? "," : "") + "[" + number(a->touch[k].wall) + "," + number(a->touch[k].plant) + "," + number(a->touch[k].animal) + "]";
    out += "],\"vision\":[";
    for (int k = 0; k < a->num_vision; ++k) out += std::string(k ? "," : "") + number(a->vision[k].plant);
    out += "],\"layer_width\":" + std::to_string(a->layer_width) + ",\"layer_count\":" + std::to_string(a->layer_count) + ",\"outputs\":[";
    for (std::uint32_t n = 0;; ++n) {
        const neuron_type* neuron = get_neuron(a->neurons, n);
        if (neuron == nullptr) break;
        out += std::string(n ? "," : "") + number(neuron->out);
    }
    std::vector<double> genes(animal_get_chromosome_size(a));
    animal_export_chromosome(a, genes.data());
    out += "],\"genes\":[";
    for (std::size_t k = 0; k < genes.size(); ++k) out += std::string(k ? "," : "") + number(genes[k]);
    return out + "]}";
}

// ---- the timeline

std::string web_go(web_session_type& web, int generation)
{
    if (generation < 0) return "No generation before 0";
    return timeline_go(web.session.timeline, web.world, run_point_type{static_cast<std::uint32_t>(generation), 0});
}

std::string web_branches(web_session_type& web)
{
    std::string out = "[";
    const timeline_type& t = web.session.timeline;
    for (std::size_t b = 0; b < t.branches.size(); ++b)
        out += std::string(b ? "," : "") + "{\"text\":" + quoted(session_branch_text(web.session, b)) + ",\"number\":" +
               std::to_string(t.branches[b].number) + ",\"reach\":" + std::to_string(t.branches[b].reach.generation) + "}";
    return out + "]";
}

std::string web_switch(web_session_type& web, int branch)
{
    if (branch < 0 || static_cast<std::size_t>(branch) >= web.session.timeline.branches.size()) return "There is no such branch";
    return timeline_switch(web.session.timeline, web.world, static_cast<std::size_t>(branch));
}

// ---- edits by hand, each an undo step

namespace {

std::string edited(web_session_type& web, const std::function<std::string(world_type&)>& edit)
{
    session_begin_edit(web.session, web.world);
    std::string problem = edit(web.world);
    if (!problem.empty()) web.session.undo_steps.pop_back();   // nothing changed: no step to undo
    timeline_note(web.session.timeline, web.world);
    return problem;
}

std::uint64_t id_of(double id) { return id >= 0 && id < 1.8e19 ? static_cast<std::uint64_t>(id) : 0; }

}  // namespace

std::string web_move(web_session_type& web, double id, double x, double y)
{
    return edited(web, [&](world_type& w) { return world_move_animal(w, id_of(id), x, y); });
}

std::string web_clone(web_session_type& web, double id)
{
    return edited(web, [&](world_type& w) { return world_clone_animal(w, id_of(id)); });
}

std::string web_remove(web_session_type& web, double id)
{
    return edited(web, [&](world_type& w) { return world_remove_animal(w, id_of(id)); });
}

std::string web_plant_at(web_session_type& web, double x, double y)
{
    return edited(web, [&](world_type& w) { return world_add_plant_at(w, x, y); });
}

std::string web_remove_plants_in(web_session_type& web, double x0, double y0, double x1, double y1)
{
    return edited(web, [&](world_type& w) { return world_remove_plants_in(w, x0, y0, x1, y1); });
}

// One of the window's actions by its run-file name (add_plant, remove_plants, add_animal, remove_animals, manual, steer).
std::string web_act(web_session_type& web, const std::string& name, double a, double b)
{
    const run_event_kind_type kind = run_event_kind_named(name);
    if (kind == event_kind_count || kind == event_setting || run_event_row(kind).edit) return "There is no action " + name;
    run_event_type action = kind == event_manual ? run_manual(a != 0) : kind == event_steer ? run_steer(a, b) : run_event_of(kind);
    std::string problem = world_act(web.world, action);
    timeline_note(web.session.timeline, web.world);
    return problem;
}

bool web_undo(web_session_type& web)
{
    return session_undo(web.session, web.world, [&web](std::size_t change) {
        return timeline_go_before_change(web.session.timeline, web.world, change).empty();
    });
}

bool web_redo(web_session_type& web)
{
    return session_redo(web.session, [&web](std::size_t branch) { return timeline_switch(web.session.timeline, web.world, branch).empty(); });
}

// ---- files

// Opens a run file (*.toml), a checkpoint or a world file from the module's
// files; a refusal leaves the world as it was and is returned.
std::string web_open(web_session_type& web, const std::string& path)
{
    std::string problem = session_open(web.session, web.world, path, world_settings_type{});
    if (problem.empty()) run_began(web);
    return problem;
}

// Writes the world file, the checkpoint or the shown branch's run file; returns the problem, or an empty text.
std::string web_save(web_session_type& web, const std::string& kind, const std::string& path)
{
    if (kind == "world") return world_save_file(web.world, path);
    if (kind == "checkpoint") return checkpoint_save(web.world, path);
    if (kind == "run") return session_save_run(web.session, web.world, web.session.timeline.current, path);
    return "Nothing is saved as " + kind;
}

// The run's outputs as text: "csv" (as --csv writes it), "log" or "lineage".
std::string web_output(web_session_type& web, const std::string& kind)
{
    world_type& w = web.world;
    if (kind == "csv") {
        note_seconds(web);
        std::string out = headless_csv_header;
        for (std::size_t k = 0; k < w.history.size(); ++k) out += headless_csv_row(w.history[k], web.seconds[k]);
        return out;
    }
    if (kind == "log") {
        // The shown branch's generations, as the log's lines have them.
        std::string out;
        char line[world_score_line_size];
        for (const generation_record_type& r : w.history) out.append(line, static_cast<std::size_t>(world_score_line(line, r.generation, r.food, r.wall, r.ave_food)));
        return out;
    }
    if (kind == "lineage") {
        world_lineage_flush(w);
        std::string out;
        file_read(lineage_path, out, std::int64_t{1} << 30);
        if (out.empty()) out = "id,ancestor_list,origin_time,destruction_time\n";
        // The living, with no end yet, as a finished run adds them.
        std::string living;
        w.options.lineage_path = "/out/living.csv";
        world_lineage_restart(w);
        world_lineage_finish(w);
        file_read(w.options.lineage_path, living, std::int64_t{1} << 30);
        w.options.lineage_path = lineage_path;
        const std::size_t header = living.find('\n');
        return out + (header == std::string::npos ? std::string() : living.substr(header + 1));
    }
    return {};
}

std::string web_version() { return VELMORA_VERSION; }

EMSCRIPTEN_BINDINGS(velmora)
{
    using namespace emscripten;
    class_<web_session_type>("Session")
        .constructor<>()
        .function("start", &web_start)
        .function("applyNow", &web_apply_now)
        .function("step", &web_step)
        .function("frame", &web_frame)
        .function("plants", &web_plants)
        .function("foodMap", &web_food_map)
        .function("status", &web_status)
        .function("history", &web_history)
        .function("animalAt", &web_animal_at)
        .function("inspect", &web_inspect)
        .function("go", &web_go)
        .function("branches", &web_branches)
        .function("switchBranch", &web_switch)
        .function("move", &web_move)
        .function("clone", &web_clone)
        .function("remove", &web_remove)
        .function("plantAt", &web_plant_at)
        .function("removePlantsIn", &web_remove_plants_in)
        .function("act", &web_act)
        .function("undo", &web_undo)
        .function("redo", &web_redo)
        .function("open", &web_open)
        .function("save", &web_save)
        .function("output", &web_output);
    function("settingsTable", &web_settings_table);
    function("version", &web_version);
}
