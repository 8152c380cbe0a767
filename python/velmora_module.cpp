// The velmora Python module: worlds run from scripts, exactly as the command
// line runs them, with their animals, plants and history as numpy arrays.
#include "animal/animal.h"
#include "base/console.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "cli/run_file.h"
#include "world/edit.h"
#include "world/timeline.h"
#include "plant/plant.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

[[noreturn]] void raise_os_error(const std::string& text)
{
    PyErr_SetString(PyExc_OSError, text.c_str());
    throw py::error_already_set();
}

// The settings a World takes, by their command-line names with underscores.
const char* const setting_names[] = {"seed",          "animals",     "plants",     "width",     "height", "layer_count",
                                     "layer_width",   "generation_length", "mutate_amount", "animal_size", "plant_size",
                                     "threads",       "line_horizon"};

// One world of the script. Its calls take the world's lock without the
// interpreter's, so that Python threads run different worlds side by side.
struct script_world_type {
    world_type world;
    std::mutex lock;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::vector<double> seconds;   // per generation of the history: since the world was made, as --csv writes them
    run_file_type run;             // how its run started, for save_run; the changes are the world's
    timeline_type timeline;        // its keyframes and branches, for rewind

    script_world_type() = default;
    script_world_type(const script_world_type&) = delete;
    script_world_type& operator=(const script_world_type&) = delete;
    ~script_world_type() { world_destroy(world); }
};

// Holds the script's world for the scope of a call.
struct world_scope_type {
    std::unique_lock<std::mutex> held;
    world_type& world;

    explicit world_scope_type(script_world_type& script) : held(script.lock), world(script.world) {}
};

// The options the command line would hold for these arguments, or ValueError
// with its message.
options_type parse_arguments(const std::vector<std::string>& arguments)
{
    std::vector<const char*> argv{"velmora"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    options_type options;
    const std::string problem = options_parse(static_cast<int>(argv.size()), argv.data(), options);
    if (!problem.empty()) throw py::value_error(problem);
    return options;
}

std::vector<std::string> setting_arguments(const py::kwargs& settings)
{
    std::vector<std::string> arguments{"--headless", "--generations", "0"};
    for (const auto& [key, value] : settings) {
        const std::string name = py::str(key);
        if (name == "log" || name == "quiet" || name == "keyframes" || name == "food_map" || name == "schedule" || name == "seasons") continue;
        if (name == "wrap") {
            if (!value.cast<bool>()) continue;
            arguments.push_back("--wrap");
            continue;
        }
        bool known = false;
        for (const char* setting : setting_names) known = known || name == setting;
        if (!known) throw py::type_error("World got an unexpected setting '" + name + "'");
        if (value.is_none()) continue;
        if (py::isinstance<py::bool_>(value)) throw py::value_error(name + " must be a number, not " + std::string(py::str(value)));
        std::string option = "--" + name;
        for (char& c : option) c = c == '_' ? '-' : c;
        arguments.push_back(option);
        arguments.push_back(py::str(value));
    }
    if (settings.contains("log") && !settings["log"].is_none()) {
        arguments.push_back("--log");
        arguments.push_back(py::str(settings["log"]));
    } else {
        arguments.push_back("--no-log");
    }
    return arguments;
}

bool quiet_of(const py::kwargs& settings) { return !settings.contains("quiet") || settings["quiet"].cast<bool>(); }

// The keyframe budget in bytes from keyframes= in MB: 64 unless given.
std::size_t keyframes_of(const py::kwargs& settings)
{
    if (!settings.contains("keyframes") || settings["keyframes"].is_none()) return std::size_t{64} << 20;
    const py::handle value = settings["keyframes"];
    if (py::isinstance<py::bool_>(value)) throw py::value_error("keyframes must be a number of MB, not a bool");
    const double megabytes = value.cast<double>();
    if (!(megabytes >= 0.0 && megabytes <= 1048576.0)) throw py::value_error("keyframes must be from 0 to 1048576 MB");
    return static_cast<std::size_t>(megabytes * 1048576.0);
}

// The timeline of a script's world, from its state now; a rewind to before
// any keyframe rebuilds the run's start from its seed or file.
void timeline_start(script_world_type& script, std::size_t budget)
{
    script.timeline.budget = budget;
    script.timeline.restart = [&script](world_type& world) {
        const std::string start = script.run.start_opened;
        if (!start.empty()) {
            std::string digest;
            if (std::string problem = file_sha256(start, digest); !problem.empty()) return "cannot read " + start + ": " + problem;
            if (digest != script.run.start_sha256) return start + " has changed since the run started from it";
        }
        return run_file_begin(world, script.run, start);
    };
    timeline_begin(script.timeline, script.world);
    script.timeline.start_events = script.run.earlier_events;
}

// What a script gives besides the command line's settings: the food map's
// weights, seasons, and changes scheduled ahead.
struct environment_type {
    food_map_type food_map;
    std::int32_t season_period = 0, season_low = 0, season_high = 0;
    bool season_square = false;
    std::vector<run_event_type> schedule;
};

environment_type environment_of(const py::kwargs& settings)
{
    environment_type environment;
    if (settings.contains("food_map") && !settings["food_map"].is_none()) {
        const auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(settings["food_map"]);
        if (!array || array.ndim() != 2) throw py::value_error("food_map must be a two-dimensional array of weights, row 0 at the top");
        const std::vector<double> weights(array.data(), array.data() + array.size());
        if (const std::string problem = food_map_set(environment.food_map, static_cast<std::uint32_t>(array.shape(1)),
                                                     static_cast<std::uint32_t>(array.shape(0)), weights);
            !problem.empty())
            throw py::value_error("food_map: " + problem);
    }
    if (settings.contains("seasons") && !settings["seasons"].is_none()) {
        const py::dict seasons = settings["seasons"].cast<py::dict>();
        for (const auto& [key, value] : seasons) {
            const std::string name = py::str(key);
            if (name != "period" && name != "low" && name != "high" && name != "shape")
                throw py::value_error("seasons take period, low, high and shape, not " + name);
        }
        const auto whole = [&seasons](const char* name) -> std::int64_t {
            if (!seasons.contains(name)) throw py::value_error(std::string("seasons need ") + name);
            return seasons[name].cast<std::int64_t>();
        };
        const std::int64_t period = whole("period"), low = whole("low"), high = whole("high");
        if (const std::string problem = run_seasons_problem(period, low, high); !problem.empty()) throw py::value_error(problem);
        const std::string shape = seasons.contains("shape") ? seasons["shape"].cast<std::string>() : "sine";
        if (shape != "sine" && shape != "square") throw py::value_error("a season's shape is \"sine\" or \"square\"");
        environment.season_period = static_cast<std::int32_t>(period);
        environment.season_low = static_cast<std::int32_t>(low);
        environment.season_high = static_cast<std::int32_t>(high);
        environment.season_square = shape == "square";
    }
    if (settings.contains("schedule") && !settings["schedule"].is_none()) {
        for (const py::handle item : settings["schedule"]) {
            const py::dict change = item.cast<py::dict>();
            if (!change.contains("generation")) throw py::value_error("a scheduled change needs its generation");
            const long long generation = change["generation"].cast<long long>();
            const long long update = change.contains("update") ? change["update"].cast<long long>() : 0;
            if (generation < 0 || generation > 4294967295LL || update < 0 || update > 2147483646LL)
                throw py::value_error("a scheduled change's generation and update must be whole numbers of at least 0");
            std::size_t made = 0;
            for (const char* setting : run_settings) {
                if (!change.contains(setting)) continue;
                const py::handle value = change[setting];
                const double number = std::string(setting) == "wrap" ? (value.cast<bool>() ? 1.0 : 0.0) : value.cast<double>();
                if (const std::string problem = run_setting_problem(setting, number); !problem.empty()) throw py::value_error(problem);
                if (std::string(setting) == "plants" && environment.season_period > 0)
                    throw py::value_error("plants follow the seasons in this run: a scheduled change cannot set them");
                environment.schedule.push_back(run_event_type{static_cast<std::uint32_t>(generation), static_cast<std::int32_t>(update),
                                                              setting, number, 0.0});
                ++made;
            }
            for (const auto& [key, value] : change) {
                const std::string name = py::str(key);
                if (name != "generation" && name != "update" && !run_setting_changes(name))
                    throw py::value_error(name + " cannot change during a run (plants, mutate_amount, generation_length and wrap can)");
            }
            if (made == 0) throw py::value_error("a scheduled change changes nothing");
        }
        const auto point = [](const run_event_type& e) { return std::pair{e.generation, e.update}; };
        for (std::size_t k = 1; k < environment.schedule.size(); ++k)
            if (point(environment.schedule[k]) < point(environment.schedule[k - 1]))
                throw py::value_error("the scheduled changes must come in order of generation and update");
    }
    return environment;
}

std::unique_ptr<script_world_type> make_world(const options_type& options, bool quiet, std::size_t keyframes,
                                              const environment_type& environment = {})
{
    auto script = std::make_unique<script_world_type>();
    world_scope_type scope(*script);
    world_type& world = scope.world;
    world.options.console = !quiet;
    run_file_type& run = script->run;
    if (environment.season_period > 0 || food_map_on(environment.food_map)) {
        if (!options.resume_path.empty() || !options.run_path.empty())
            throw py::value_error("a checkpoint or run file holds its own seasons and food map");
        run.food_map_given = environment.food_map;
        run.season_period = environment.season_period;
        run.season_low = environment.season_low;
        run.season_high = environment.season_high;
        run.season_square = environment.season_square;
    }
    const std::string refusal = headless_start(world, options, run);
    if (run.setting_refused) throw py::value_error(refusal.substr(refusal.find(' ') + 1));
    if (!refusal.empty()) raise_os_error(refusal);
    if (run.start_opened.empty() && !options.run_path.empty()) run.start_opened = run_file_start(options.run_path, run);
    if (!environment.schedule.empty()) {
        const run_event_type& first = environment.schedule.front();
        if (std::pair{first.generation, first.update} < std::pair{world.generation, world.update_count})
            throw py::value_error("a scheduled change comes before the world's generation " + std::to_string(world.generation));
        world.run.events.resize(world.run.next);
        world.run.events.insert(world.run.events.end(), environment.schedule.begin(), environment.schedule.end());
    }
    script->seconds.assign(world.history.size(), 0.0);
    timeline_start(*script, keyframes);
    return script;
}

// A world from a file: the option that names it goes to the command line's
// parser with the settings, which refuses an empty name and, with --load, a
// change of the networks' shape.
std::unique_ptr<script_world_type> world_from_file(const char* option, const std::string& path, const py::kwargs& settings)
{
    std::vector<std::string> arguments = setting_arguments(settings);
    arguments.insert(arguments.end(), {option, path});
    return make_world(parse_arguments(arguments), quiet_of(settings), keyframes_of(settings), environment_of(settings));
}

// Runs updates until done(updates so far) holds, without the interpreter's
// lock; Ctrl-C in the script stops between updates, with the world whole.
template <class Done>
void run_updates(script_world_type& script, Done done)
{
    std::uint64_t updates = 0;
    for (;;) {
        bool finished = false;
        {
            py::gil_scoped_release free_interpreter;
            world_scope_type scope(script);
            world_type& world = scope.world;
            const auto slice_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            while (!(finished = done(updates)) && std::chrono::steady_clock::now() < slice_end) {
                world_update(world);
                timeline_note(script.timeline, world);
                ++updates;
                while (script.seconds.size() < world.history.size())
                    script.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - script.start).count());
                if (world.options.log_error != 0) break;
            }
            if (world.options.log_error != 0)
                raise_os_error("cannot write " + world.options.log_path + ": " + std::strerror(world.options.log_error));
        }
        if (finished) return;
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}

// An edit by hand on the script's world: KeyError for an animal that is not
// there, ValueError for anything else that does not fit; nothing changes then.
void edit_world(script_world_type& script, std::uint64_t id, const std::function<std::string(world_type&)>& make)
{
    world_scope_type scope(script);
    if (id != 0 && world_find_animal(scope.world, id) == nullptr) throw py::key_error("no animal has id " + std::to_string(id));
    if (const std::string problem = make(scope.world); !problem.empty()) throw py::value_error(problem);
}

template <class Read>
auto with_world(script_world_type& script, Read read)
{
    world_scope_type scope(script);
    return read(scope.world);
}

template <class T, class Field>
py::array_t<T> column(const world_type& world, std::size_t count, Field field)
{
    py::array_t<T> array(static_cast<py::ssize_t>(count));
    auto out = array.template mutable_unchecked<1>();
    std::size_t k = 0;
    for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next) out(k++) = field(*animal);
    return array;
}

animal_type* animal_at(const world_type& world, py::ssize_t index)
{
    const auto count = static_cast<py::ssize_t>(world.num_animals);
    if (index < 0) index += count;
    if (index < 0 || index >= count) throw py::index_error("animal " + std::to_string(index) + " of " + std::to_string(count));
    animal_type* animal = world.animals;
    for (py::ssize_t k = 0; k < index; ++k) animal = animal->next;
    return animal;
}

}  // namespace

PYBIND11_MODULE(velmora, module)
{
    module.doc() = "Velmora worlds from Python: animals with neural networks evolve in a world of plants.\n\n"
                   "A World runs exactly as the velmora command line does: the same seed and settings give the same\n"
                   "run, byte for byte. Several worlds may live in one process; their updates release the\n"
                   "interpreter's lock, so Python threads can run them side by side.";
    module.attr("__version__") = VELMORA_VERSION;

    py::class_<script_world_type>(module, "World", "One world: its animals, plants, settings and history.")
        .def(py::init([](const py::kwargs& settings) {
                 return make_world(parse_arguments(setting_arguments(settings)), quiet_of(settings), keyframes_of(settings),
                                   environment_of(settings));
             }),
             "World(*, seed=None, animals=20, plants=10, width=10.0, height=10.0, layer_count=2, layer_width=8,\n"
             "      generation_length=500, mutate_amount=5.0, animal_size=0.5, plant_size=0.25, wrap=False,\n"
             "      threads=None, log=None, quiet=True, keyframes=64, food_map=None, seasons=None, schedule=None)\n\n"
             "A new world with the command line's settings (seed=None: the time of day). log names a file that\n"
             "each generation's line is appended to (None: no log); quiet=False prints the lines as the command\n"
             "line does. keyframes is the memory in MB that states kept for rewind may take (0: none; a rewind then\n"
             "replays from the start). food_map is a 2-D array of weights over the world, row 0 at the top: plants\n"
             "grow by them, never where 0. seasons is a dict of period, low, high and shape (\"sine\" or \"square\"): the\n"
             "plant count's cycle. schedule is a list of dicts, each a generation (and update) and the settings that\n"
             "change then. Bad settings raise ValueError with the command line's message.")
        .def_static(
            "load",
            [](const std::string& path, const py::kwargs& settings) { return world_from_file("--load", path, settings); },
            py::arg("path"),
            "World.load(path, **settings): the world file at path; the settings given stand in for the file's.\n"
            "A refused file raises OSError naming it.")
        .def_static(
            "resume",
            [](const std::string& path, const py::kwargs& settings) {
                if (settings.contains("seed")) throw py::value_error("a checkpoint holds the seed's course: seed cannot be given with resume");
                return world_from_file("--resume", path, settings);
            },
            py::arg("path"),
            "World.resume(path, **settings): the checkpoint at path, to go on exactly as the run that wrote it\n"
            "would have. A setting equal to the checkpoint's changes nothing; plants, mutate_amount,\n"
            "generation_length and wrap, when they differ, change the run from there on (a branch); any other\n"
            "that differs raises ValueError. A refused file raises OSError naming it.")
        .def_static(
            "run_file",
            [](const std::string& path, const py::kwargs& settings) { return world_from_file("--run", path, settings); },
            py::arg("path"),
            "World.run_file(path, threads=None, log=None, quiet=True): the run file at path, from its start, its changes\n"
            "to be made as the world reaches them (as velmora --run replays it). A refused file raises OSError naming\n"
            "it and its line. World.load_run is the same.")
        .def(
            "copy",
            [](script_world_type& script) {
                auto copy = std::make_unique<script_world_type>();
                world_scope_type scope(script);
                // A copy writes no log: two worlds appending to one file would mix their lines.
                copy->world.options = script.world.options;
                copy->world.options.log_path.clear();
                copy->world.options.log_error = 0;
                checkpoint_apply(copy->world, checkpoint_capture(script.world));
                copy->seconds = script.seconds;
                copy->start = script.start;
                copy->run = script.run;
                // Its own timeline, of the same run from the same start.
                timeline_start(*copy, script.timeline.budget);
                copy->timeline.start = script.timeline.start;
                copy->timeline.branches[0].from = script.timeline.start;
                return copy;
            },
            "An independent world in the same state, its run's changes included, for branching from a script:\n"
            "updated alike, the two stay the same. It writes no log.")
        .def(
            "set",
            [](script_world_type& script, const py::kwargs& settings) {
                world_scope_type scope(script);
                std::vector<std::pair<std::string, double>> changes;
                for (const auto& [key, value] : settings) {
                    const std::string name = py::str(key);
                    if (!run_setting_changes(name))
                        throw py::value_error(name + " cannot change during a run (plants, mutate_amount, generation_length and wrap can)");
                    if (py::isinstance<py::bool_>(value) != (name == "wrap"))
                        throw py::value_error(name + (name == "wrap" ? " must be True or False" : " must be a number"));
                    const double number = name == "wrap" ? (value.cast<bool>() ? 1.0 : 0.0) : value.cast<double>();
                    if (const std::string problem = run_setting_problem(name, number); !problem.empty()) throw py::value_error(problem);
                    changes.emplace_back(name, number);
                }
                for (const auto& [name, number] : changes) world_change_setting(scope.world, name, number);
            },
            "World.set(plants=None, mutate_amount=None, generation_length=None, wrap=None): changes these settings now,\n"
            "between updates, as a change of the world's run (save_run keeps it). Others raise ValueError.")
        .def(
            "save_run",
            [](script_world_type& script, const std::string& path) {
                world_scope_type scope(script);
                run_file_type run = script.run;
                if (run.food_map_opened.empty() && food_map_on(run.food_map_given)) {
                    // A map given as weights goes beside the run file, as NumPy would save it.
                    const food_map_type& map = run.food_map_given;
                    npz_array_type array{"food_map", "<f8", {map.height, map.width}, std::vector<unsigned char>(map.weights.size() * 8)};
                    for (std::size_t k = 0; k < map.weights.size(); ++k) npz_put_value(array.data.data() + 8 * k, map.weights[k]);
                    std::filesystem::path beside = path;
                    beside.replace_extension(".food-map.npy");
                    const std::vector<unsigned char> bytes = npz_npy_bytes(array);
                    std::ofstream out(beside, std::ios::binary);
                    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
                    out.close();
                    if (!out) raise_os_error("cannot write the food map " + beside.string());
                    run.food_map_opened = beside.string();
                    if (const std::string problem = file_sha256(run.food_map_opened, run.food_map_sha256); !problem.empty())
                        raise_os_error("cannot read the food map " + beside.string() + ": " + problem);
                }
                const std::vector<run_event_type>& events = scope.world.run.events;
                run.events.assign(events.begin() + static_cast<std::ptrdiff_t>(std::min(run.earlier_events, events.size())), events.end());
                if (const std::string problem = run_file_write(path, run); !problem.empty())
                    raise_os_error("cannot write the run file " + path + ": " + problem);
            },
            py::arg("path"), "Writes the world's run file: its seed, settings, starting file and changes, to replay with\n"
                             "World.run_file or velmora --headless --run.")
        .def(
            "rewind",
            [](script_world_type& script, long long generation) {
                std::string problem;
                {
                    py::gil_scoped_release free_interpreter;
                    world_scope_type scope(script);
                    const run_point_type start = script.timeline.start;
                    if (generation < static_cast<long long>(start.generation) || generation > 4294967295LL) {
                        problem = "generation " + std::to_string(generation) + " is before this run's start at generation " +
                                  std::to_string(start.generation);
                    } else {
                        // The start of the run's first generation is its start, which may be within it.
                        run_point_type point{static_cast<std::uint32_t>(generation), 0};
                        problem = timeline_go(script.timeline, scope.world, std::max(point, start));
                    }
                    script.seconds.resize(std::min(script.seconds.size(), scope.world.history.size()));
                }
                if (!problem.empty()) throw py::value_error(problem);
            },
            py::arg("generation"),
            "Goes back (or forward) to the start of that generation of this world's run, as it ran: updated\n"
            "again, it runs the same. A change made there starts a branch. ValueError before the run's start.")
        .def(
            "move",
            [](script_world_type& script, std::uint64_t id, double x, double y) {
                edit_world(script, id, [&](world_type& w) { return world_move_animal(w, id, x, y); });
            },
            py::arg("id"), py::arg("x"), py::arg("y"), "Moves the animal of that id to (x, y), as a change of the world's run.")
        .def(
            "clone",
            [](script_world_type& script, std::uint64_t id) {
                std::uint64_t made = 0;
                edit_world(script, id, [&](world_type& w) { return world_clone_animal(w, id, &made); });
                return made;
            },
            py::arg("id"), "A new animal with the genes of the animal of that id, its parent, beside it; returns the new id.")
        .def(
            "remove",
            [](script_world_type& script, std::uint64_t id) {
                edit_world(script, id, [&](world_type& w) { return world_remove_animal(w, id); });
            },
            py::arg("id"), "Removes the animal of that id; the lineage file gets its destruction time.")
        .def(
            "set_genes",
            [](script_world_type& script, std::uint64_t id, const std::vector<double>& genes) {
                edit_world(script, id, [&](world_type& w) { return world_set_genes(w, id, genes); });
            },
            py::arg("id"), py::arg("genes"), "Gives the animal of that id these genes (as genes(i) gives them).")
        .def(
            "add_animal",
            [](script_world_type& script, const std::vector<double>& genes, double x, double y, double heading) {
                std::uint64_t made = 0;
                edit_world(script, 0, [&](world_type& w) { return world_add_founder(w, x, y, heading, genes, 0, &made); });
                return made;
            },
            py::arg("genes"), py::arg("x"), py::arg("y"), py::arg("heading") = 0.0,
            "A founder with these genes at (x, y), heading in radians; returns its id.")
        .def(
            "add_plant",
            [](script_world_type& script, double x, double y) {
                edit_world(script, 0, [&](world_type& w) { return world_add_plant_at(w, x, y); });
            },
            py::arg("x"), py::arg("y"), "A plant at (x, y).")
        .def(
            "remove_plants",
            [](script_world_type& script, double x0, double y0, double x1, double y1) {
                edit_world(script, 0, [&](world_type& w) { return world_remove_plants_in(w, x0, y0, x1, y1); });
            },
            py::arg("x0"), py::arg("y0"), py::arg("x1"), py::arg("y1"), "Removes the plants whose centres lie in that rectangle.")
        .def(
            "update",
            [](script_world_type& script, long long n) {
                if (n < 0) throw py::value_error("n " + std::to_string(n) + ": must be a whole number of at least 0");
                run_updates(script, [n](std::uint64_t updates) { return updates >= static_cast<std::uint64_t>(n); });
            },
            py::arg("n") = 1, "Runs n world updates.")
        .def(
            "run",
            [](script_world_type& script, long long generations) {
                if (generations < 0)
                    throw py::value_error("generations " + std::to_string(generations) + ": must be a whole number of at least 0");
                std::uint32_t target = 0;
                {
                    world_scope_type scope(script);
                    const world_type& world = scope.world;
                    if (generations > 0 && world.num_animals == 0)
                        throw py::value_error("the world has no animals, so no generation can end");
                    target = world.generation + static_cast<std::uint32_t>(generations);
                }
                run_updates(script, [target, &script](std::uint64_t) { return script.world.generation >= target; });
            },
            py::arg("generations"), "Runs until this many more generations have ended.")
        .def(
            "animals",
            [](script_world_type& script) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                const std::size_t n = world.num_animals;
                py::dict out;
                out["x"] = column<double>(world, n, [](const animal_type& a) { return a.x; });
                out["y"] = column<double>(world, n, [](const animal_type& a) { return a.y; });
                out["heading"] = column<double>(world, n, [](const animal_type& a) { return a.heading; });
                out["speed"] = column<double>(world, n, [](const animal_type& a) { return a.speed; });
                out["food"] = column<std::int32_t>(world, n, [](const animal_type& a) { return a.food; });
                out["wall_hits"] = column<std::int32_t>(world, n, [](const animal_type& a) { return a.wall_hits; });
                out["fitness"] = column<double>(world, n, [](const animal_type& a) { return a.fitness; });
                out["left_motor"] = column<double>(world, n, [](const animal_type& a) { return a.left_motor; });
                out["right_motor"] = column<double>(world, n, [](const animal_type& a) { return a.right_motor; });
                out["id"] = column<std::uint64_t>(world, n, [](const animal_type& a) { return a.id; });
                out["parent_a"] = column<std::uint64_t>(world, n, [](const animal_type& a) { return a.parent_a; });
                out["parent_b"] = column<std::uint64_t>(world, n, [](const animal_type& a) { return a.parent_b; });
                out["founder"] = column<std::uint64_t>(world, n, [](const animal_type& a) { return a.founder; });
                out["born"] = column<std::uint32_t>(world, n, [](const animal_type& a) { return a.born; });
                py::array_t<double> touch({static_cast<py::ssize_t>(n), py::ssize_t{animal_touch_count}, py::ssize_t{3}});
                py::array_t<double> vision({static_cast<py::ssize_t>(n), py::ssize_t{animal_vision_count}});
                auto t = touch.mutable_unchecked<3>();
                auto v = vision.mutable_unchecked<2>();
                py::ssize_t k = 0;
                for (const animal_type* a = world.animals; a != nullptr; a = a->next, ++k) {
                    for (int s = 0; s < animal_touch_count; ++s) {
                        t(k, s, 0) = a->touch[s].wall;
                        t(k, s, 1) = a->touch[s].plant;
                        t(k, s, 2) = a->touch[s].animal;
                    }
                    for (int s = 0; s < animal_vision_count; ++s) v(k, s) = a->vision[s].plant;
                }
                out["touch"] = touch;
                out["vision"] = vision;
                return out;
            },
            "The animals in list order, as a dict of numpy arrays: x, y, heading, speed, food, wall_hits, fitness,\n"
            "left_motor, right_motor, id, parent_a, parent_b, founder, born; touch (animals x 6 whiskers x\n"
            "wall, plant, animal) and vision (animals x 5 sectors).")
        .def(
            "plants",
            [](script_world_type& script) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                const auto n = static_cast<py::ssize_t>(world.num_plants);
                py::array_t<double> x(n), y(n), size_x(n), size_y(n);
                py::ssize_t k = 0;
                for (const plant_type* p = world.plants; p != nullptr; p = p->next, ++k) {
                    x.mutable_at(k) = p->x;
                    y.mutable_at(k) = p->y;
                    size_x.mutable_at(k) = p->size_x;
                    size_y.mutable_at(k) = p->size_y;
                }
                py::dict out;
                out["x"] = x;
                out["y"] = y;
                out["size_x"] = size_x;
                out["size_y"] = size_y;
                return out;
            },
            "The plants in list order: a dict of numpy arrays x, y, size_x, size_y.")
        .def(
            "genes",
            [](script_world_type& script, py::ssize_t index) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                animal_type* animal = animal_at(world, index);
                py::array_t<double> genes(static_cast<py::ssize_t>(animal_get_chromosome_size(animal)));
                animal_export_chromosome(animal, genes.mutable_data());
                return genes;
            },
            py::arg("i"), "Animal i's genes (in list order, as animals() gives them): per neuron its input weights, then its bias.")
        .def(
            "history",
            [](script_world_type& script) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                const std::vector<generation_record_type>& rows = world.history;
                const auto n = static_cast<py::ssize_t>(rows.size());
                const auto field = [&rows, n](auto get) {
                    py::array_t<decltype(get(rows.front()))> array(n);
                    for (py::ssize_t k = 0; k < n; ++k) array.mutable_at(k) = get(rows[static_cast<std::size_t>(k)]);
                    return array;
                };
                py::dict out;
                out["generation"] = field([](const generation_record_type& r) { return r.generation; });
                out["food"] = field([](const generation_record_type& r) { return r.food; });
                out["wall"] = field([](const generation_record_type& r) { return r.wall; });
                out["food_per_animal"] = field([](const generation_record_type& r) { return r.food_per_animal; });
                out["best_food"] = field([](const generation_record_type& r) { return r.best_food; });
                out["ave_food"] = field([](const generation_record_type& r) { return r.ave_food; });
                out["animals"] = field([](const generation_record_type& r) { return r.animals; });
                out["plants"] = field([](const generation_record_type& r) { return r.plants; });
                py::array_t<double> seconds(n);
                for (py::ssize_t k = 0; k < n; ++k) seconds.mutable_at(k) = script.seconds[static_cast<std::size_t>(k)];
                out["seconds"] = seconds;
                out["gene_spread"] = field([](const generation_record_type& r) { return r.gene_spread; });
                out["lineages"] = field([](const generation_record_type& r) { return r.lineages; });
                return out;
            },
            "Per generation since the reset, a dict of numpy arrays keyed by the --csv columns (generation, food,\n"
            "wall, food_per_animal, best_food, ave_food, animals, plants, seconds, gene_spread, lineages):\n"
            "pandas.DataFrame(world.history()) is the CSV. seconds counts from the making of this World object.")
        .def(
            "save",
            [](script_world_type& script, const std::string& path) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                if (const std::string problem = world_save_file(world, path); !problem.empty()) raise_os_error(problem);
            },
            py::arg("path"), "Writes the world file (networks and settings) to path; OSError when it cannot.")
        .def(
            "checkpoint",
            [](script_world_type& script, const std::string& path) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                if (const std::string problem = checkpoint_save(world, path); !problem.empty()) raise_os_error(problem);
            },
            py::arg("path"), "Writes the whole state to a checkpoint (.npz) that World.resume goes on from exactly.")
        .def_property_readonly(
            "generation", [](script_world_type& script) { return with_world(script, [](const world_type& w) { return w.generation; }); },
            "Generations ended since the reset.")
        .def_property_readonly(
            "update_count", [](script_world_type& script) { return with_world(script, [](const world_type& w) { return w.update_count; }); },
            "World updates of the current generation so far.")
        .def_property_readonly(
            "generation_length", [](script_world_type& script) { return with_world(script, [](const world_type& w) { return w.generation_length; }); },
            "World updates per generation.")
        .def_property_readonly(
            "size", [](script_world_type& script) { return with_world(script, [](const world_type& w) { return py::make_tuple(w.width, w.height); }); },
            "(width, height) in world units.")
        .def("__len__", [](script_world_type& script) { return with_world(script, [](const world_type& w) { return w.num_animals; }); },
             "The number of animals.")
        .def("__repr__", [](script_world_type& script) {
            world_scope_type scope(script);
            const world_type& world = scope.world;
            return "<velmora.World " + std::to_string(world.num_animals) + " animals, " + std::to_string(world.num_plants) +
                   " plants, generation " + std::to_string(world.generation) + ", update " + std::to_string(world.update_count) + ">";
        });
    // The same call under the name a script that saves runs may look for first.
    module.attr("World").attr("load_run") = module.attr("World").attr("run_file");
}
