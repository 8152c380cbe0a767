// The velmora Python module: worlds run from scripts, exactly as the command
// line runs them, with their animals, plants and history as numpy arrays.
#include "animal/animal.h"
#include "base/console.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "cli/run_file.h"
#include "world/edit.h"
#include "world/timeline.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include "base/file.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <filesystem>
#include <fstream>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <mutex>
#include <optional>
#include <csignal>
#include <random>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// OSError(errno, text, filename), which Python makes a FileNotFoundError,
// a PermissionError and so on by the errno.
[[noreturn]] void raise_os_error(int error, const std::string& text, const std::string& path)
{
    PyObject* arguments = Py_BuildValue("(iss)", error, text.c_str(), path.c_str());
    PyErr_SetObject(PyExc_OSError, arguments);
    Py_XDECREF(arguments);
    throw py::error_already_set();
}

// OSError for a file the world writes as it runs; what names it ("the log ...").
[[noreturn]] void raise_cannot_write(int error, const std::string& what, const std::string& path)
{
    raise_os_error(error, "cannot write " + what + ": " + std::strerror(error), path);
}

// A refusal as the exception its kind asks for: the system's refusal of a
// file as OSError, anything else as ValueError.
[[noreturn]] void raise_refusal(const refusal_type& refusal)
{
    if (refusal.kind == refusal_kind_type::io) raise_os_error(refusal.error, refusal, refusal.path);
    throw py::value_error(refusal);
}

// One world of the script. Its calls take the world's lock without the
// interpreter's, so that Python threads run different worlds side by side.
struct script_world_type {
    world_type world;
    std::mutex lock;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::vector<double> seconds;   // per generation of the history: since the world was made, as --csv writes them
    run_file_type run;             // how its run started, for save_run; the changes are the world's
    timeline_type timeline;        // its keyframes and branches, for rewind
    // Set for a world unpickled: its run begins at the state it was pickled in, which rewinds rebuild from.
    std::optional<checkpoint_type> start_capture;

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

// What a World is made from: the command line's options and what a script gives besides.
struct world_arguments_type {
    options_type options;
    bool quiet = true;
    std::size_t keyframes = std::size_t{64} << 20;   // bytes of keyframes for rewind
    environment_type environment;                    // seasons and a food map given as weights, and the schedule
};

std::string type_name(const py::handle value) { return py::str(py::type::handle_of(value).attr("__name__")); }

// A whole number of Python's, not a bool.
long long whole_of(const py::handle value, const std::string& name)
{
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value))
        throw py::type_error(name + " must be an int, not " + type_name(value));
    return value.cast<long long>();
}

// An animal's id: a whole number; one that no animal has is the edit's KeyError.
std::uint64_t id_of(const py::handle value)
{
    const long long id = whole_of(value, "id");
    return id > 0 ? static_cast<std::uint64_t>(id) : 0;
}

// Genes as a 1-D sequence of numbers.
std::vector<double> genes_of(const py::handle value)
{
    if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) || !py::hasattr(value, "__len__"))
        throw py::type_error("genes must be a sequence of numbers, not " + type_name(value));
    py::array_t<double, py::array::c_style | py::array::forcecast> array;
    try {
        array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
    } catch (const py::error_already_set&) {
    }
    if (!array || array.ndim() != 1) throw py::type_error("genes must be a one-dimensional sequence of numbers");
    return std::vector<double>(array.data(), array.data() + array.size());
}

// A number of Python's (int or float, not a bool).
double number_of(const py::handle value, const std::string& name)
{
    if (py::isinstance<py::bool_>(value) || !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)))
        throw py::type_error(name + " must be a number, not " + type_name(value));
    return value.cast<double>();
}

// A setting's value from a script, checked by its row of the table.
double setting_of(const setting_row_type& row, const py::handle value, const std::string& name)
{
    double number = 0.0;
    if (row.kind == setting_kind_type::flag) {
        if (!py::isinstance<py::bool_>(value)) throw py::type_error(name + " must be True or False, not " + type_name(value));
        number = value.cast<bool>() ? 1.0 : 0.0;
    } else if (row.kind == setting_kind_type::choice) {
        if (!py::isinstance<py::str>(value)) throw py::type_error(name + " must be a str, not " + type_name(value));
        if (const std::string rule = setting_parse(row, value.cast<std::string>(), number); !rule.empty())
            throw py::value_error(name + "=" + std::string(py::repr(value)) + ": " + rule);
        return number;
    } else if (row.kind == setting_kind_type::whole) {
        number = static_cast<double>(whole_of(value, name));
    } else {
        number = number_of(value, name);
    }
    if (const std::string rule = setting_value_problem(row, number); !rule.empty())
        throw py::value_error(name + "=" + std::string(py::repr(value)) + ": " + rule);
    return number;
}

// The row of a keyword as Python spells it; null for none.
const setting_row_type* keyword_row(const std::string& name)
{
    const setting_row_type* row = setting_find(name);
    return row != nullptr && setting_keyword(*row) == name ? row : nullptr;
}

std::string path_of(const py::handle value, const std::string& name)
{
    if (!py::isinstance<py::str>(value) && !py::hasattr(value, "__fspath__"))
        throw py::type_error(name + " must be a path (str or os.PathLike), not " + type_name(value));
    return py::str(py::module_::import("os").attr("fspath")(value));
}

std::vector<run_event_type> schedule_of(const py::handle value)
{
    if (py::isinstance<py::dict>(value) || py::isinstance<py::str>(value) || !py::hasattr(value, "__iter__"))
        throw py::type_error("schedule must be a list of dicts, not " + type_name(value));
    std::vector<run_event_type> schedule;
    std::size_t k = 0;
    for (const py::handle item : value) {
        const std::string where = "schedule[" + std::to_string(k++) + "]";
        if (!py::isinstance<py::dict>(item)) throw py::type_error(where + " must be a dict, not " + type_name(item));
        const py::dict change = py::reinterpret_borrow<py::dict>(item);
        if (!change.contains("generation")) throw py::value_error(where + " needs its generation");
        const long long generation = whole_of(change["generation"], where + "['generation']");
        const long long update = change.contains("update") ? whole_of(change["update"], where + "['update']") : 0;
        if (generation < 0 || generation > 4294967295LL || update < 0 || update > 2147483646LL)
            throw py::value_error(where + ": its generation and update must be whole numbers of at least 0");
        for (const auto& [key, unused] : change) {
            const std::string name = py::str(key);
            if (name == "generation" || name == "update") continue;
            const setting_row_type* row = keyword_row(name);
            if (row == nullptr) throw py::value_error(where + ": " + name + " is not a setting");
            if (!row->changes) throw py::value_error(where + ": " + name + " cannot change during a run");
        }
        std::size_t made = 0;
        for (const setting_row_type& row : settings_table()) {
            const std::string name = setting_keyword(row);
            if (!change.contains(name)) continue;
            schedule.push_back(run_setting_event(static_cast<std::uint32_t>(generation), static_cast<std::int32_t>(update), row.id,
                                                 setting_of(row, change[name.c_str()], where + "['" + name + "']")));
            ++made;
        }
        if (made == 0) throw py::value_error(where + " changes nothing");
    }
    return schedule;
}

seasons_type seasons_of(const py::handle value)
{
    if (!py::isinstance<py::dict>(value)) throw py::type_error("seasons must be a dict, not " + type_name(value));
    const py::dict seasons = py::reinterpret_borrow<py::dict>(value);
    for (const auto& [key, unused] : seasons) {
        const std::string name = py::str(key);
        if (name != "period" && name != "low" && name != "high" && name != "shape")
            throw py::value_error("seasons take period, low, high and shape, not " + name);
    }
    const auto whole = [&seasons](const char* name) -> long long {
        if (!seasons.contains(name)) throw py::value_error(std::string("seasons need ") + name);
        return whole_of(seasons[name], std::string("seasons['") + name + "']");
    };
    const long long period = whole("period"), low = whole("low"), high = whole("high");
    if (const std::string problem = seasons_problem(period, low, high); !problem.empty()) throw py::value_error(problem);
    const std::string shape = seasons.contains("shape") ? std::string(py::str(seasons["shape"])) : std::string(seasons_shapes[0]);
    if (shape != seasons_shapes[0] && shape != seasons_shapes[1]) throw py::value_error("a season's shape is \"sine\" or \"square\"");
    return seasons_type{static_cast<std::int32_t>(period), static_cast<std::int32_t>(low), static_cast<std::int32_t>(high),
                        shape == seasons_shapes[1]};
}

// The keyword arguments of World, World.load, World.resume and World.run_file.
world_arguments_type arguments_of(const py::kwargs& kwargs, const char* call)
{
    world_arguments_type made;
    options_type& options = made.options;
    options.headless = true;
    options.no_log = true;
    for (const auto& [key, value] : kwargs) {
        const std::string name = py::str(key);
        if (value.is_none()) continue;
        if (name == "seed") {
            const long long seed = whole_of(value, name);
            if (seed < 0 || seed > 4294967295LL) throw py::value_error("seed=" + std::to_string(seed) + ": must be a whole number from 0 to 4294967295");
            options.seed = static_cast<std::uint32_t>(seed);
            options.seed_given = true;
        } else if (name == "threads") {
            const long long threads = whole_of(value, name);
            if (threads < 1 || threads > world_max_threads)
                throw py::value_error("threads=" + std::to_string(threads) + ": must be a whole number from 1 to " + std::to_string(world_max_threads));
            options.threads = static_cast<int>(threads);
        } else if (name == "log") {
            options.log_path = path_of(value, name);
            options.no_log = false;
        } else if (name == "lineage") {
            options.lineage_path = path_of(value, name);
            if (options.lineage_path.empty()) throw py::value_error("lineage must name a file");
        } else if (name == "quiet") {
            if (!py::isinstance<py::bool_>(value)) throw py::type_error("quiet must be True or False, not " + type_name(value));
            made.quiet = value.cast<bool>();
        } else if (name == "keyframes") {
            if (py::isinstance<py::bool_>(value) || !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)))
                throw py::type_error("keyframes must be a number of MB, not " + type_name(value));
            const double megabytes = value.cast<double>();
            if (!(megabytes >= 0.0 && megabytes <= 1048576.0)) throw py::value_error("keyframes must be from 0 to 1048576 MB");
            made.keyframes = static_cast<std::size_t>(megabytes * 1048576.0);
        } else if (name == "food_map") {
            const auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
            if (!array || array.ndim() != 2) throw py::value_error("food_map must be a two-dimensional array of weights, row 0 at the top");
            const std::vector<double> weights(array.data(), array.data() + array.size());
            if (const std::string problem = food_map_set(made.environment.food_map, static_cast<std::uint32_t>(array.shape(1)),
                                                         static_cast<std::uint32_t>(array.shape(0)), weights);
                !problem.empty())
                throw py::value_error("food_map: " + problem);
        } else if (name == "seasons") {
            made.environment.seasons = seasons_of(value);
        } else if (name == "schedule") {
            made.environment.schedule = schedule_of(value);
        } else if (const setting_row_type* row = keyword_row(name)) {
            options.settings[row->id] = setting_of(*row, value, name);
        } else {
            throw py::type_error(std::string(call) + "() got an unexpected keyword argument '" + name + "'");
        }
    }
    if (made.environment.seasons.period > 0)
        for (const run_event_type& change : made.environment.schedule)
            if (const std::string problem = seasons_problem_with(made.environment.seasons, change); !problem.empty())
                throw py::value_error("schedule: " + problem);
    return made;
}

// The console's lines, kept as the worlds write them (perhaps without the
// interpreter's lock, holding a world's) and handed to sys.stdout once the
// call that wrote them holds the interpreter again and no world.
std::mutex console_lock;
std::string console_pending;

void console_keep(const char* text)
{
    const std::lock_guard<std::mutex> held(console_lock);
    console_pending += text;
}

// Notices, kept as the console's lines are, and raised as warnings once the interpreter is held again.
std::vector<std::string> notices_pending;

void notice_keep(const char* text)
{
    const std::lock_guard<std::mutex> held(console_lock);
    std::string notice = text;
    while (!notice.empty() && notice.back() == '\n') notice.pop_back();
    notices_pending.push_back(std::move(notice));
}

void notices_flush()
{
    std::vector<std::string> notices;
    {
        const std::lock_guard<std::mutex> held(console_lock);
        notices.swap(notices_pending);
    }
    for (const std::string& notice : notices)
        if (PyErr_WarnEx(PyExc_UserWarning, notice.c_str(), 1) != 0) throw py::error_already_set();  // warnings as errors
}

// With the interpreter's lock: the kept lines to sys.stdout, or away (a quiet world's refusal is its exception alone).
void console_flush(bool shown = true)
{
    std::string text;
    {
        const std::lock_guard<std::mutex> held(console_lock);
        text.swap(console_pending);
    }
    if (shown && !text.empty()) {
        py::object out = py::module_::import("sys").attr("stdout");
        if (!out.is_none()) {
            out.attr("write")(text);
            out.attr("flush")();
        }
    }
    notices_flush();
}

// Ctrl+C seen while a call runs without the interpreter's lock, where
// Python's own flag cannot be read: a handler of ours notes it and passes it
// on to the interpreter's, for as long as such a call runs.
std::atomic<bool> interrupt_seen{false};
std::mutex interrupt_lock;
int interrupt_watchers = 0;
struct sigaction interpreter_handler {};

void note_interrupt(int signal)
{
    interrupt_seen = true;
    if (interpreter_handler.sa_handler != SIG_DFL && interpreter_handler.sa_handler != SIG_IGN) interpreter_handler.sa_handler(signal);
}

struct interrupt_watch_type {
    interrupt_watch_type()
    {
        const std::lock_guard<std::mutex> held(interrupt_lock);
        if (interrupt_watchers++ > 0) return;
        interrupt_seen = false;
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        // A script that ignores Ctrl+C, or leaves it to end the process, keeps that.
        if ((now.sa_flags & SA_SIGINFO) != 0 || now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN) {
            interpreter_handler = {};
            return;
        }
        interpreter_handler = now;
        struct sigaction ours = now;
        ours.sa_handler = note_interrupt;
        sigaction(SIGINT, &ours, nullptr);
    }
    ~interrupt_watch_type()
    {
        const std::lock_guard<std::mutex> held(interrupt_lock);
        if (--interrupt_watchers > 0) return;
        if (interpreter_handler.sa_handler != SIG_DFL) sigaction(SIGINT, &interpreter_handler, nullptr);
        interpreter_handler = {};
    }
    interrupt_watch_type(const interrupt_watch_type&) = delete;
    interrupt_watch_type& operator=(const interrupt_watch_type&) = delete;
};

// A world's whole state as a checkpoint's bytes and back, through a
// temporary file of this process's own (the checkpoint's reader checks it).
std::filesystem::path pickle_file()
{
    static std::atomic<unsigned> made{0};
    return std::filesystem::temp_directory_path() /
           ("velmora-pickle-" + std::to_string(getpid()) + "-" + std::to_string(made++) + ".npz");
}

std::string checkpoint_bytes(const checkpoint_type& checkpoint)
{
    const std::filesystem::path path = pickle_file();
    const refusal_type problem = checkpoint_write(checkpoint, path.string());
    std::string bytes;
    if (problem.empty()) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    if (!problem.empty()) raise_refusal(problem.said_as("cannot pickle the world: "));
    return bytes;
}

refusal_type checkpoint_of_bytes(const std::string& bytes, checkpoint_type& checkpoint)
{
    const std::filesystem::path path = pickle_file();
    if (const refusal_type problem = file_replace(path.string(), bytes); !problem.empty()) return problem;
    const refusal_type problem = checkpoint_read(path.string(), checkpoint);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return problem;
}

// Worlds made one after another are replicates, not copies: without a seed
// each draws its own from the system's entropy (the command line's clock
// would give worlds made in the same second the same run).
void fresh_seed(options_type& options)
{
    if (options.seed_given) return;
    std::random_device entropy;
    options.seed = static_cast<std::uint32_t>(entropy());
    options.seed_given = true;
}

// A script's world that cannot write its log would fail at its first generation's end: it fails when made.
void check_log(const options_type& options)
{
    if (options.no_log || options.log_path.empty()) return;
    const int file = open(options.log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) {
        const int error = errno;
        raise_cannot_write(error, "the log " + options.log_path, options.log_path);
    }
    close(file);
}

// The timeline of a script's world, from its state now; a rewind to before
// any keyframe rebuilds the run's start from its seed or file.
void timeline_start(script_world_type& script, std::size_t budget)
{
    script.timeline.budget = budget;
    script.timeline.restart = [&script](world_type& world) -> refusal_type {
        if (script.start_capture) {
            checkpoint_apply(world, *script.start_capture);
            return {};
        }
        const std::string start = script.run.start_opened;
        if (!start.empty()) {
            std::string digest;
            if (refusal_type problem = file_sha256(start, digest); !problem.empty()) return problem.said_as("cannot read " + start + ": ");
            if (digest != script.run.start_sha256) return start + " has changed since the run started from it";
        }
        return run_file_begin(world, script.run, start);
    };
    timeline_begin(script.timeline, script.world);
    script.timeline.start_events = script.run.earlier_events;
}

std::unique_ptr<script_world_type> make_world_unflushed(const world_arguments_type& arguments);

std::unique_ptr<script_world_type> make_world(const world_arguments_type& arguments)
{
    try {
        auto script = make_world_unflushed(arguments);
        console_flush(!arguments.quiet);
        return script;
    } catch (...) {
        console_flush(false);
        throw;
    }
}

std::unique_ptr<script_world_type> make_world_unflushed(const world_arguments_type& arguments)
{
    const options_type& options = arguments.options;
    check_log(options);
    auto script = std::make_unique<script_world_type>();
    world_scope_type scope(*script);
    world_type& world = scope.world;
    world.options.console = !arguments.quiet;
    run_file_type& run = script->run;
    const environment_type& environment = arguments.environment;
    if (environment.seasons.period > 0 || food_map_on(environment.food_map)) {
        if (!options.resume_path.empty() || !options.run_path.empty())
            throw py::value_error("a checkpoint or run file holds its own seasons and food map");
        run.environment.seasons = environment.seasons;
        run.environment.food_map = environment.food_map;
    }
    const refusal_type refusal = headless_start(world, options, run);
    if (!refusal.empty()) {
        if (run.setting_refused) throw py::value_error(refusal.substr(refusal.find(' ') + 1));
        raise_refusal(refusal);
    }
    if (run.start_opened.empty() && !options.run_path.empty()) run.start_opened = run_file_start(options.run_path, run);
    if (!environment.schedule.empty()) {
        if (!options.run_path.empty()) throw py::value_error("a run file holds its own changes: give no schedule with it");
        if (const std::string problem = world_schedule(world, environment.schedule); !problem.empty())
            throw py::value_error("schedule: " + problem);
    }
    if (!options.lineage_path.empty()) {
        // The family tree of this World's run from here, in a file of its own.
        world.options.lineage_path = options.lineage_path;
        world_lineage_restart(world);
        if (const int error = world.options.lineage_error; error != 0)
            raise_cannot_write(error, "the lineage " + options.lineage_path, options.lineage_path);
    }
    script->seconds.assign(world.history.size(), 0.0);
    timeline_start(*script, arguments.keyframes);
    return script;
}

// A world from a file, the option that names it set as the command line would.
std::unique_ptr<script_world_type> world_from_file(std::string options_type::*which, const char* call, const py::handle path,
                                                   const py::kwargs& kwargs)
{
    world_arguments_type arguments = arguments_of(kwargs, call);
    arguments.options.*which = path_of(path, "path");
    const std::string& opened = arguments.options.*which;
    if (opened.empty()) throw py::value_error("path must name a file");
    // A file of the other kind is named for what opens it (one that cannot be read raises its OSError as it is read).
    std::error_code unreadable;
    if (which != &options_type::run_path && std::filesystem::is_regular_file(opened, unreadable)) {
        const bool archive = checkpoint_is_archive(opened);
        if (which == &options_type::resume_path && !archive)
            throw py::value_error(opened + " is not a checkpoint (.npz archive): a world file opens with World.load");
        if (which == &options_type::load_path && archive)
            throw py::value_error(opened + " is a checkpoint, not a world file: World.resume opens it");
    }
    const world_settings_type& settings = arguments.options.settings;
    if (which == &options_type::load_path) {
        for (const setting_row_type& row : settings_table())
            if (row.file == setting_file_type::shape && settings[row.id])
                throw py::value_error(setting_keyword(row) + " would change the shape of the loaded networks");
    } else if (arguments.options.seed_given) {
        throw py::value_error(std::string("a ") + (which == &options_type::run_path ? "run file" : "checkpoint") +
                              " holds the seed's course: seed cannot be given with " + call);
    }
    if (which == &options_type::run_path && settings.any())
        throw py::value_error("a run file holds its own settings: give none with run_file");
    if (which == &options_type::load_path) fresh_seed(arguments.options);
    return make_world(arguments);
}

// Runs updates until done(updates so far) holds, without the interpreter's
// lock; Ctrl-C in the script stops between updates, with the world whole.
template <class Done>
void run_updates(script_world_type& script, Done done)
{
    std::uint64_t updates = 0;
    for (;;) {
        bool finished = false;
        int failed_error = 0;
        std::string failed_path;
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
                if (world.options.log_error != 0 || world.options.lineage_error != 0) break;
            }
            if (world.options.log_error != 0) {
                failed_error = world.options.log_error;
                failed_path = world.options.log_path;
            } else if (world.options.lineage_error != 0) {
                failed_error = world.options.lineage_error;
                failed_path = world.options.lineage_path;
            }
        }
        // Raised with the interpreter's lock held again.
        console_flush();
        if (failed_error != 0) raise_cannot_write(failed_error, failed_path, failed_path);
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

// A setting's Python type and default, for the signature and the docstring.
std::string keyword_type(const setting_row_type& row)
{
    switch (row.kind) {
    case setting_kind_type::flag: return "bool";
    case setting_kind_type::choice: return "str";
    case setting_kind_type::whole: return "int";
    case setting_kind_type::real: break;
    }
    return "float";
}

std::string keyword_default(const setting_row_type& row)
{
    if (row.fallback_text != nullptr) return "None";
    if (row.kind == setting_kind_type::flag) return row.fallback != 0.0 ? "True" : "False";
    if (row.kind == setting_kind_type::choice) return "'" + setting_default_text(row) + "'";
    if (row.kind == setting_kind_type::real) return setting_value_text(row, row.fallback);
    return setting_default_text(row);
}

// World's docstring: the signature Python's inspect reads (its keywords and
// defaults from the settings' table), then the parameters in numpy's form.
const std::string& world_doc()
{
    static const std::string doc = [] {
        std::string signature = "__init__(self, /, *, seed=None";
        std::string settings;
        for (const setting_row_type& row : settings_table()) {
            const std::string name = setting_keyword(row);
            signature += ", " + name + "=" + keyword_default(row);
            settings += name + " : " + keyword_type(row) + (row.fallback_text != nullptr ? ", optional" : "") + "\n    " +
                        setting_help(row) + ".\n";
        }
        signature += ", threads=None, log=None, lineage=None, quiet=True, keyframes=64, food_map=None, seasons=None, schedule=None)";
        return signature + "\n--\n\n"
               "A new world with these settings, its population made from its seed.\n\n"
               "Parameters\n----------\n"
               "seed : int, optional\n"
               "    0 to 4294967295. None: one drawn from the system's entropy (World.seed reads it back).\n" +
               settings +
               "threads : int, optional\n"
               "    Threads for the updates (None: the processors this process may use). The run is the same for any.\n"
               "log : str or os.PathLike, optional\n"
               "    A file each generation's line is appended to. None: no log.\n"
               "lineage : str or os.PathLike, optional\n"
               "    A family-tree file written from the start: a row per animal whose life ended, and the living\n"
               "    at close(). velmora.read_lineage reads it. None: none.\n"
               "quiet : bool\n"
               "    False prints the generations' lines to sys.stdout, as the command line prints them.\n"
               "keyframes : float\n"
               "    MB of memory that states kept for rewind may take (0: none; a rewind then replays from the start).\n"
               "food_map : array_like, optional\n"
               "    A 2-D array of weights over the world, row 0 at the top: plants grow by them, never where 0.\n"
               "seasons : dict, optional\n"
               "    period, low, high (whole numbers) and shape ('sine' or 'square'): the plant count's cycle.\n"
               "schedule : list of dict, optional\n"
               "    Changes to come, each a dict of generation (and update) and the settings that change then.\n\n"
               "Raises\n------\n"
               "TypeError\n    A keyword that is not one of these, or a value of the wrong type.\n"
               "ValueError\n    A value out of its range, or settings that do not fit together.\n"
               "OSError\n    The log or lineage file cannot be written.\n";
    }();
    return doc;
}

// One row of the history from its end as the key the CSV's columns give, or the whole history.
py::dict history_columns(const script_world_type& script, std::size_t first)
{
    const std::vector<generation_record_type>& rows = script.world.history;
    first = std::min(first, rows.size());
    const auto n = static_cast<py::ssize_t>(rows.size() - first);
    const auto field = [&rows, n, first](auto get) {
        py::array_t<decltype(get(rows.front()))> array(n);
        for (py::ssize_t k = 0; k < n; ++k) array.mutable_at(k) = get(rows[first + static_cast<std::size_t>(k)]);
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
    for (py::ssize_t k = 0; k < n; ++k) seconds.mutable_at(k) = script.seconds[first + static_cast<std::size_t>(k)];
    out["seconds"] = seconds;
    out["gene_spread"] = field([](const generation_record_type& r) { return r.gene_spread; });
    out["lineages"] = field([](const generation_record_type& r) { return r.lineages; });
    return out;
}

}  // namespace

PYBIND11_MODULE(_velmora, module)
{
    // The docstrings begin with the signatures inspect reads, so pybind11 adds none of its own.
    py::options options;
    options.disable_function_signatures();
    module.doc() = "The compiled core of the velmora package: its World.";
    module.attr("__version__") = VELMORA_VERSION;
    console_sink = console_keep;
    notice_sink = notice_keep;

    py::class_<script_world_type>(module, "World",
                                  "One world: its animals, plants, settings and history.\n\n"
                                  "A World runs exactly as the velmora command line does: the same seed and settings give the same\n"
                                  "run, byte for byte. Its long calls release the interpreter's lock and stop at Ctrl+C between two\n"
                                  "updates, the world left whole.")
        .def(py::init([](const py::kwargs& kwargs) {
                 world_arguments_type arguments = arguments_of(kwargs, "World");
                 fresh_seed(arguments.options);
                 if (const std::string problem = settings_problem(arguments.options.settings, setting_keyword); !problem.empty())
                     throw py::value_error(problem);
                 return make_world(arguments);
             }),
             world_doc().c_str())
        .def_static(
            "load",
            [](const py::handle path, const py::kwargs& kwargs) { return world_from_file(&options_type::load_path, "load", path, kwargs); },
            py::arg("path"),
            "load(path, /, **settings)\n--\n\n"
            "A world from a world file: its networks and settings.\n\n"
            "Parameters\n----------\n"
            "path : str or os.PathLike\n    The world file (a checkpoint is opened by World.resume).\n"
            "**settings\n    World's keywords, standing in for the file's; those that shape the networks may not change.\n\n"
            "Returns\n-------\nWorld\n\n"
            "Raises\n------\nFileNotFoundError, PermissionError, OSError\n    The file cannot be read.\n"
            "ValueError\n    It is not a world file, or a setting does not fit it.\n")
        .def_static(
            "resume",
            [](const py::handle path, const py::kwargs& kwargs) {
                return world_from_file(&options_type::resume_path, "resume", path, kwargs);
            },
            py::arg("path"),
            "resume(path, /, **settings)\n--\n\n"
            "A world from a checkpoint, to go on exactly as the run that wrote it would have.\n\n"
            "Parameters\n----------\n"
            "path : str or os.PathLike\n    The checkpoint (.npz), as World.checkpoint and velmora --checkpoint write them.\n"
            "**settings\n    A setting equal to the checkpoint's changes nothing; plants, mutate_amount, generation_length\n"
            "    and wrap, when they differ, change the run from there on (a branch). threads, log, lineage, quiet\n"
            "    and keyframes as for World.\n\n"
            "Returns\n-------\nWorld\n\n"
            "Raises\n------\nFileNotFoundError, PermissionError, OSError\n    The file cannot be read.\n"
            "ValueError\n    It is not a checkpoint (a world file is opened by World.load), or a setting differs that may not.\n")
        .def_static(
            "run_file",
            [](const py::handle path, const py::kwargs& kwargs) { return world_from_file(&options_type::run_path, "run_file", path, kwargs); },
            py::arg("path"),
            "run_file(path, /, *, threads=None, log=None, lineage=None, quiet=True, keyframes=64)\n--\n\n"
            "A run file's world at its start, its changes made as the world reaches them (as velmora --run replays it).\n\n"
            "Parameters\n----------\n"
            "path : str or os.PathLike\n    The run file (.toml), as World.save_run and the window write them.\n"
            "threads, log, lineage, quiet, keyframes\n    As for World; the run file holds the seed and the settings.\n\n"
            "Returns\n-------\nWorld\n\n"
            "Raises\n------\nFileNotFoundError, PermissionError, OSError\n    A file of the run cannot be read.\n"
            "ValueError\n    The run file is damaged (the message names its line), or its starting file has changed.\n\n"
            "World.load_run is the same call.\n")
        .def(
            "copy",
            [](script_world_type& script) {
                auto copy = std::make_unique<script_world_type>();
                world_scope_type scope(script);
                // A copy writes no files: two worlds appending to one would mix their lines.
                copy->world.options = script.world.options;
                copy->world.options.log_path.clear();
                copy->world.options.lineage_path.clear();
                copy->world.options.log_error = 0;
                checkpoint_apply(copy->world, checkpoint_capture(script.world));
                copy->seconds = script.seconds;
                copy->start = script.start;
                copy->run = script.run;
                copy->start_capture = script.start_capture;
                // Its own timeline, of the same run from the same start.
                timeline_start(*copy, script.timeline.budget);
                copy->timeline.start = script.timeline.start;
                copy->timeline.branches[0].from = script.timeline.start;
                return copy;
            },
            "copy(self, /)\n--\n\n"
            "An independent world in the same state, its run's changes included.\n\n"
            "Updated alike, the two stay the same: a branch from a script. copy.copy and copy.deepcopy give the same.\n"
            "The copy writes no log or lineage file.\n\n"
            "Returns\n-------\nWorld\n")
        .def(
            "set",
            [](script_world_type& script, const py::kwargs& kwargs) {
                world_scope_type scope(script);
                std::vector<std::pair<setting_id_type, double>> changes;
                for (const auto& [key, value] : kwargs) {
                    const std::string name = py::str(key);
                    const setting_row_type* row = keyword_row(name);
                    if (row == nullptr) throw py::type_error("set() got an unexpected keyword argument '" + name + "'");
                    if (!row->changes) throw py::value_error(name + " cannot change during a run");
                    changes.emplace_back(row->id, setting_of(*row, value, name));
                }
                for (const auto& [setting, number] : changes)
                    if (const std::string problem = world_change_setting(scope.world, setting, number); !problem.empty())
                        throw py::value_error(problem);
            },
            "set(self, /, **settings)\n--\n\n"
            "Changes settings now, between two updates, as a change of the world's run (save_run keeps it).\n\n"
            "Parameters\n----------\n"
            "**settings\n    Those that may change during a run: plants, mutate_amount, generation_length, wrap.\n\n"
            "Raises\n------\nTypeError\n    An unknown keyword, or a value of the wrong type.\n"
            "ValueError\n    A setting that cannot change during a run, or a value out of its range.\n")
        .def_property_readonly(
            "settings",
            [](script_world_type& script) {
                world_scope_type scope(script);
                py::dict out;
                for (const setting_row_type& row : settings_table()) {
                    const double value = row.get(scope.world);
                    const std::string name = setting_keyword(row);
                    if (row.kind == setting_kind_type::flag) {
                        out[name.c_str()] = value != 0.0;
                    } else if (row.kind == setting_kind_type::choice) {
                        out[name.c_str()] = std::string(row.choices[static_cast<int>(value)]);
                    } else if (row.kind == setting_kind_type::whole) {
                        out[name.c_str()] = static_cast<long long>(value);
                    } else {
                        out[name.c_str()] = value;
                    }
                }
                return out;
            },
            "Every setting as the world has it now, by its keyword: the values World(...) takes.")
        .def_property_readonly(
            "seed", [](script_world_type& script) { return with_world(script, [](const world_type& w) { return w.seed; }); },
            "The seed the world's run began from.")
        .def(
            "save_run",
            [](script_world_type& script, const py::handle file) {
                const std::string path = path_of(file, "path");
                world_scope_type scope(script);
                run_file_type run = script.run;
                if (run.environment.food_map_path.empty() && food_map_on(run.environment.food_map)) {
                    // A map given as weights goes beside the run file, as NumPy would save it.
                    const food_map_type& map = run.environment.food_map;
                    npz_array_type array{"food_map", "<f8", {map.height, map.width}, std::vector<unsigned char>(map.weights.size() * 8)};
                    for (std::size_t k = 0; k < map.weights.size(); ++k) npz_put_value(array.data.data() + 8 * k, map.weights[k]);
                    std::filesystem::path beside = path;
                    beside.replace_extension(".food-map.npy");
                    const std::vector<unsigned char> bytes = npz_npy_bytes(array);
                    if (const refusal_type refused =
                            file_replace(beside.string(), std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
                        !refused.empty())
                        raise_refusal(refused.said_as("cannot write the food map " + beside.string() + ": "));
                    run.environment.food_map_path = beside.string();
                    if (const refusal_type problem = file_sha256(run.environment.food_map_path, run.food_map_sha256); !problem.empty())
                        raise_refusal(problem.said_as("cannot read the food map " + beside.string() + ": "));
                }
                if (script.start_capture) {
                    // A pickle's state is the run's start: the run file takes it along, as a checkpoint beside it.
                    std::filesystem::path start = path;
                    start.replace_extension(".start.npz");
                    if (const refusal_type refused = checkpoint_write(*script.start_capture, start.string()); !refused.empty())
                        raise_refusal(refused.said_as("cannot write " + start.string() + ": "));
                    run.start_opened = start.string();
                    if (const refusal_type problem = file_sha256(run.start_opened, run.start_sha256); !problem.empty())
                        raise_refusal(problem.said_as("cannot read " + start.string() + ": "));
                }
                const std::vector<run_event_type>& events = scope.world.run.events;
                run.events.assign(events.begin() + static_cast<std::ptrdiff_t>(std::min(run.earlier_events, events.size())), events.end());
                if (const refusal_type problem = run_file_write(path, run); !problem.empty())
                    raise_refusal(problem.said_as("cannot write the run file " + path + ": "));
            },
            py::arg("path"),
            "save_run(self, /, path)\n--\n\n"
            "Writes the world's run file: its seed, settings, starting file and changes.\n\n"
            "World.run_file and velmora --headless --run replay it exactly. A food map given as weights is written\n"
            "beside it (NAME.food-map.npy), and an unpickled world's start as NAME.start.npz.\n\n"
            "Parameters\n----------\npath : str or os.PathLike\n\n"
            "Raises\n------\nOSError\n    A file cannot be written.\n")
        .def(
            "rewind",
            [](script_world_type& script, const py::handle wanted) {
                const long long generation = whole_of(wanted, "generation");
                std::string problem;
                bool cancelled = false;
                {
                    py::gil_scoped_release free_interpreter;
                    world_scope_type scope(script);
                    const run_point_type start = script.timeline.start;
                    const timeline_branch_type& branch = script.timeline.branches[script.timeline.current];
                    const long long reached = std::max<long long>(scope.world.generation, branch.reach.generation);
                    if (generation < static_cast<long long>(start.generation)) {
                        problem = "generation " + std::to_string(generation) + " is before this run's start at generation " +
                                  std::to_string(start.generation);
                    } else if (generation > reached) {
                        problem = "generation " + std::to_string(generation) + " has not happened yet: this run has reached generation " +
                                  std::to_string(reached) + " (run() goes on)";
                    } else {
                        // The start of the run's first generation is its start, which may be within it.
                        run_point_type point{static_cast<std::uint32_t>(generation), 0};
                        const interrupt_watch_type watch;
                        const refusal_type refused = timeline_go(script.timeline, scope.world, std::max(point, start),
                                                                 [](double) { return !interrupt_seen.load(); });
                        cancelled = refused.kind == refusal_kind_type::cancelled;
                        problem = refused;
                    }
                    script.seconds.resize(std::min(script.seconds.size(), scope.world.history.size()));
                }
                console_flush();
                if (cancelled) {
                    // Left where it was; the interpreter's handler raises KeyboardInterrupt.
                    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
                    PyErr_SetNone(PyExc_KeyboardInterrupt);
                    throw py::error_already_set();
                }
                if (!problem.empty()) throw py::value_error(problem);
            },
            py::arg("generation"),
            "rewind(self, /, generation)\n--\n\n"
            "Goes back (or forward, as far as the run has been) to the start of a generation of this run, as it ran.\n\n"
            "Updated again from there, it runs the same; a change made there starts a branch.\n\n"
            "Parameters\n----------\ngeneration : int\n\n"
            "Raises\n------\nValueError\n    Before the run's start, or past the furthest generation it has reached.\n"
            "KeyboardInterrupt\n    Ctrl+C while it replays: the world is left as it was before the call.\n")
        .def(
            "move",
            [](script_world_type& script, const py::handle animal, const py::handle at_x, const py::handle at_y) {
                const std::uint64_t id = id_of(animal);
                const double x = number_of(at_x, "x"), y = number_of(at_y, "y");
                edit_world(script, id, [&](world_type& w) { return world_move_animal(w, id, x, y); });
            },
            py::arg("id"), py::arg("x"), py::arg("y"),
            "move(self, /, id, x, y)\n--\n\n"
            "Moves an animal to (x, y), as a change of the world's run.\n\n"
            "Parameters\n----------\nid : int\n    The animal's id (animals()['id']).\nx, y : float\n    Within the world.\n\n"
            "Raises\n------\nKeyError\n    No animal has that id.\nValueError\n    The place is outside the world.\n")
        .def(
            "clone",
            [](script_world_type& script, const py::handle animal) {
                const std::uint64_t id = id_of(animal);
                std::uint64_t made = 0;
                edit_world(script, id, [&](world_type& w) { return world_clone_animal(w, id, &made); });
                return made;
            },
            py::arg("id"),
            "clone(self, /, id)\n--\n\n"
            "A new animal with an animal's genes, beside it, that animal its parent.\n\n"
            "Parameters\n----------\nid : int\n\n"
            "Returns\n-------\nint\n    The new animal's id.\n\n"
            "Raises\n------\nKeyError\n    No animal has that id.\nValueError\n    The world is full.\n")
        .def(
            "remove",
            [](script_world_type& script, const py::handle animal) {
                const std::uint64_t id = id_of(animal);
                edit_world(script, id, [&](world_type& w) { return world_remove_animal(w, id); });
            },
            py::arg("id"),
            "remove(self, /, id)\n--\n\n"
            "Removes an animal; the lineage file gets the end of its life.\n\n"
            "Parameters\n----------\nid : int\n\n"
            "Raises\n------\nKeyError\n    No animal has that id.\n")
        .def(
            "set_genes",
            [](script_world_type& script, const py::handle animal, const py::handle given) {
                const std::uint64_t id = id_of(animal);
                const std::vector<double> genes = genes_of(given);
                edit_world(script, id, [&](world_type& w) { return world_set_genes(w, id, genes); });
            },
            py::arg("id"), py::arg("genes"),
            "set_genes(self, /, id, genes)\n--\n\n"
            "Gives an animal these genes.\n\n"
            "Parameters\n----------\nid : int\ngenes : array_like\n    As genes(id=...) gives them: per neuron its input weights, then its bias.\n\n"
            "Raises\n------\nKeyError\n    No animal has that id.\nValueError\n    Not as many genes as its network has.\n")
        .def(
            "add_animal",
            [](script_world_type& script, const py::handle given, const py::handle at_x, const py::handle at_y, const py::handle towards) {
                const std::vector<double> genes = genes_of(given);
                const double x = number_of(at_x, "x"), y = number_of(at_y, "y"), heading = number_of(towards, "heading");
                std::uint64_t made = 0;
                edit_world(script, 0, [&](world_type& w) { return world_add_founder(w, x, y, heading, genes, 0, &made); });
                return made;
            },
            py::arg("genes"), py::arg("x"), py::arg("y"), py::arg("heading") = py::float_(0.0),
            "add_animal(self, /, genes, x, y, heading=0.0)\n--\n\n"
            "A founder with these genes at (x, y).\n\n"
            "Parameters\n----------\ngenes : array_like\n    As genes(id=...) gives them.\nx, y : float\nheading : float\n    In radians.\n\n"
            "Returns\n-------\nint\n    Its id.\n\n"
            "Raises\n------\nValueError\n    Genes that do not fit the world's networks, or a place outside it.\n")
        .def(
            "add_plant",
            [](script_world_type& script, const py::handle at_x, const py::handle at_y) {
                const double x = number_of(at_x, "x"), y = number_of(at_y, "y");
                edit_world(script, 0, [&](world_type& w) { return world_add_plant_at(w, x, y); });
            },
            py::arg("x"), py::arg("y"),
            "add_plant(self, /, x, y)\n--\n\n"
            "A plant at (x, y).\n\n"
            "Parameters\n----------\nx, y : float\n\nRaises\n------\nValueError\n    A place outside the world.\n")
        .def(
            "remove_plants",
            [](script_world_type& script, const py::handle a, const py::handle b, const py::handle c, const py::handle d) {
                const double x0 = number_of(a, "x0"), y0 = number_of(b, "y0"), x1 = number_of(c, "x1"), y1 = number_of(d, "y1");
                edit_world(script, 0, [&](world_type& w) { return world_remove_plants_in(w, x0, y0, x1, y1); });
            },
            py::arg("x0"), py::arg("y0"), py::arg("x1"), py::arg("y1"),
            "remove_plants(self, /, x0, y0, x1, y1)\n--\n\n"
            "Removes the plants whose centres lie in a rectangle.\n\n"
            "Parameters\n----------\nx0, y0, x1, y1 : float\n    Two opposite corners.\n")
        .def(
            "update",
            [](script_world_type& script, const py::handle count) {
                const long long n = whole_of(count, "n");
                if (n < 0) throw py::value_error("n=" + std::to_string(n) + ": must be a whole number of at least 0");
                run_updates(script, [n](std::uint64_t updates) { return updates >= static_cast<std::uint64_t>(n); });
            },
            py::arg("n") = 1,
            "update(self, /, n=1)\n--\n\n"
            "Runs n world updates.\n\n"
            "Parameters\n----------\nn : int\n\n"
            "Raises\n------\nKeyboardInterrupt\n    Ctrl+C: it stops between two updates, the world whole.\n"
            "OSError\n    The log or lineage file cannot be written.\n")
        .def(
            "_run",
            [](script_world_type& script, const py::handle count) {
                const long long generations = whole_of(count, "generations");
                if (generations < 0)
                    throw py::value_error("generations=" + std::to_string(generations) + ": must be a whole number of at least 0");
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
            py::arg("generations"), "_run(self, /, generations)\n--\n\nRuns until this many more generations have ended.")
        .def(
            "_history_from",
            [](script_world_type& script, long long first) {
                world_scope_type scope(script);
                const auto size = static_cast<long long>(scope.world.history.size());
                return history_columns(script, static_cast<std::size_t>(std::clamp(first < 0 ? size + first : first, 0LL, size)));
            },
            py::arg("first"), "_history_from(self, /, first)\n--\n\nThe history from that row on; negative counts from the end.")
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
                return out;
            },
            "animals(self, /)\n--\n\n"
            "The animals in list order, one 1-D numpy array per column: pandas.DataFrame(world.animals()) is a table.\n\n"
            "Returns\n-------\ndict of numpy.ndarray\n"
            "    x, y, heading (radians), speed, food (plants eaten this generation), wall_hits, fitness (food\n"
            "    over the best animal's food when the last generation ended, 0 to 1), left_motor, right_motor,\n"
            "    id, parent_a, parent_b (0: a founder), founder (the line's first animal), born (its generation).\n\n"
            "See Also\n--------\nsenses, neurons, genes, ranking\n")
        .def(
            "senses",
            [](script_world_type& script) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                const std::size_t n = world.num_animals;
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
                py::dict out;
                out["id"] = column<std::uint64_t>(world, n, [](const animal_type& a) { return a.id; });
                out["touch"] = touch;
                out["vision"] = vision;
                return out;
            },
            "senses(self, /)\n--\n\n"
            "The animals' senses, rows in animals() order, each from -0.5 to 0.5.\n\n"
            "Returns\n-------\ndict of numpy.ndarray\n"
            "    id; touch, (animals, 6 whiskers, 3): wall, plant and animal; vision, (animals, 5 sectors).\n")
        .def(
            "neurons",
            [](script_world_type& script) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                const py::ssize_t count = world.animals != nullptr ? static_cast<py::ssize_t>(world.animals->num_neurons) : 0;
                py::array_t<double> outputs({static_cast<py::ssize_t>(world.num_animals), count});
                auto o = outputs.mutable_unchecked<2>();
                py::ssize_t k = 0;
                for (const animal_type* a = world.animals; a != nullptr; a = a->next, ++k) {
                    py::ssize_t j = 0;
                    for (const neuron_type* neuron = a->neurons; neuron != nullptr && j < count; neuron = neuron->next) o(k, j++) = neuron->out;
                }
                return outputs;
            },
            "neurons(self, /)\n--\n\n"
            "Every animal's neuron outputs after its last update.\n\n"
            "Returns\n-------\nnumpy.ndarray\n"
            "    (animals, neurons): rows in animals() order, columns in network order, the motor neurons last.\n")
        .def(
            "ranking",
            [](script_world_type& script) {
                world_scope_type scope(script);
                const auto& ranked = scope.world.ranked_last;
                const auto n = static_cast<py::ssize_t>(ranked.size());
                py::array_t<std::uint64_t> id(n);
                py::array_t<std::int32_t> food(n);
                py::array_t<double> fitness(n);
                for (py::ssize_t k = 0; k < n; ++k) {
                    id.mutable_at(k) = ranked[static_cast<std::size_t>(k)].id;
                    food.mutable_at(k) = ranked[static_cast<std::size_t>(k)].food;
                    fitness.mutable_at(k) = ranked[static_cast<std::size_t>(k)].fitness;
                }
                py::dict out;
                out["id"] = id;
                out["food"] = food;
                out["fitness"] = fitness;
                return out;
            },
            "ranking(self, /)\n--\n\n"
            "The last generation as it ended, best first, before breeding replaced its lower half.\n\n"
            "Returns\n-------\ndict of numpy.ndarray\n"
            "    id, food and fitness (food over the best's food) of each animal; empty until a generation\n"
            "    ends in this World.\n")
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
            "plants(self, /)\n--\n\n"
            "The plants in list order.\n\n"
            "Returns\n-------\ndict of numpy.ndarray\n    x, y, size_x, size_y.\n")
        .def(
            "genes",
            [](script_world_type& script, const py::args& args, const py::object& id) -> py::array_t<double> {
                if (!args.empty())
                    throw py::type_error("genes() takes no list index: genes() gives every animal's genes as rows in animals() order, "
                                         "genes(id=...) one animal's");
                world_scope_type scope(script);
                world_type& world = scope.world;
                if (!id.is_none()) {
                    const long long wanted = whole_of(id, "id");
                    animal_type* animal = wanted > 0 ? world_find_animal(world, static_cast<std::uint64_t>(wanted)) : nullptr;
                    if (animal == nullptr) throw py::key_error("no animal has id " + std::to_string(wanted));
                    py::array_t<double> genes(static_cast<py::ssize_t>(animal_get_chromosome_size(animal)));
                    animal_export_chromosome(animal, genes.mutable_data());
                    return genes;
                }
                const py::ssize_t size = world.animals != nullptr ? static_cast<py::ssize_t>(animal_get_chromosome_size(world.animals)) : 0;
                py::array_t<double> genes({static_cast<py::ssize_t>(world.num_animals), size});
                py::ssize_t k = 0;
                for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next, ++k) {
                    // One network shape per world; a row that would not fit is refused rather than written past.
                    if (static_cast<py::ssize_t>(animal_get_chromosome_size(animal)) != size)
                        throw py::value_error("the animals' networks differ in size: take them one at a time with genes(id=...)");
                    animal_export_chromosome(animal, genes.mutable_data(k, 0));
                }
                return genes;
            },
            py::arg("id") = py::none(),
            "genes(self, /, *, id=None)\n--\n\n"
            "The animals' genes: per neuron its input weights, then its bias.\n\n"
            "Parameters\n----------\nid : int, optional\n    One animal's id. None: every animal's.\n\n"
            "Returns\n-------\nnumpy.ndarray\n    (animals, genes), rows in animals() order; or that animal's genes.\n\n"
            "Raises\n------\nKeyError\n    No animal has that id.\nTypeError\n    A list index given instead of an id.\n")
        .def(
            "history",
            [](script_world_type& script) {
                world_scope_type scope(script);
                return history_columns(script, 0);
            },
            "history(self, /)\n--\n\n"
            "One row per generation since the reset, in the --csv file's columns.\n\n"
            "Returns\n-------\ndict of numpy.ndarray\n"
            "    generation, food, wall, food_per_animal, best_food, ave_food, animals, plants, seconds\n"
            "    (since this World object was made), gene_spread, lineages: pandas.DataFrame of it is the CSV.\n")
        .def(
            "save",
            [](script_world_type& script, const py::handle file) {
                const std::string path = path_of(file, "path");
                refusal_type problem;
                {
                    world_scope_type scope(script);
                    problem = world_save_file(scope.world, path);
                }
                console_flush();
                if (!problem.empty()) raise_refusal(problem);
            },
            py::arg("path"),
            "save(self, /, path)\n--\n\n"
            "Writes the world file (networks and settings).\n\n"
            "A world file keeps no seasons, food map or changes to come: a UserWarning says so when the world\n"
            "has them (World.checkpoint keeps everything).\n\n"
            "Parameters\n----------\npath : str or os.PathLike\n\n"
            "Raises\n------\nOSError\n    It cannot be written.\n")
        .def(
            "checkpoint",
            [](script_world_type& script, const py::handle file) {
                const std::string path = path_of(file, "path");
                refusal_type problem;
                {
                    world_scope_type scope(script);
                    problem = checkpoint_save(scope.world, path);
                }
                console_flush();
                if (!problem.empty()) raise_refusal(problem);
            },
            py::arg("path"),
            "checkpoint(self, /, path)\n--\n\n"
            "Writes the whole state to a checkpoint (.npz) that World.resume goes on from exactly.\n\n"
            "Parameters\n----------\npath : str or os.PathLike\n\n"
            "Raises\n------\nOSError\n    It cannot be written.\n")
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
        .def(py::pickle(
            [](script_world_type& script) {
                std::string bytes;
                {
                    world_scope_type scope(script);
                    bytes = checkpoint_bytes(checkpoint_capture(scope.world));
                }
                return py::make_tuple(1, py::bytes(bytes), script.seconds, script.timeline.budget, !script.world.options.console);
            },
            [](const py::tuple& state) {
                if (state.size() != 5 || state[0].cast<int>() != 1) throw py::value_error("not the state of a velmora.World of this version");
                auto script = std::make_unique<script_world_type>();
                checkpoint_type checkpoint;
                if (const refusal_type problem = checkpoint_of_bytes(state[1].cast<std::string>(), checkpoint); !problem.empty())
                    throw py::value_error("the pickled world is damaged: " + problem);
                {
                    world_scope_type scope(*script);
                    world_type& world = scope.world;
                    world.options.console = !state[4].cast<bool>();
                    checkpoint_apply(world, checkpoint);
                    script->run.seed = world.seed;
                    script->run.earlier_events = world.run.next;
                }
                script->start_capture = std::move(checkpoint);
                script->seconds = state[2].cast<std::vector<double>>();
                timeline_start(*script, state[3].cast<std::size_t>());
                return script;
            }))
        .def("__copy__", [](py::object self) { return self.attr("copy")(); }, "__copy__(self, /)\n--\n\nAs copy().")
        .def(
            "__deepcopy__", [](py::object self, const py::handle) { return self.attr("copy")(); }, py::arg("memo"),
            "__deepcopy__(self, memo, /)\n--\n\nAs copy().")
        .def(
            "close",
            [](script_world_type& script) {
                world_scope_type scope(script);
                world_type& world = scope.world;
                // The family tree gets its living, and the files are let go: the world runs on without them.
                if (!world.options.lineage_path.empty()) world_lineage_finish(world);
                const int error = world.options.lineage_error;
                const std::string lineage = world.options.lineage_path;
                world.options.lineage_path.clear();
                world.options.log_path.clear();
                if (error != 0) raise_cannot_write(error, lineage, lineage);
            },
            "close(self, /)\n--\n\n"
            "Finishes the files the world writes and writes no more of them; the world itself may still run.\n\n"
            "The lineage file gets the living animals. Closing twice does nothing more. A with block closes\n"
            "the world at its end.\n\n"
            "Raises\n------\nOSError\n    The lineage file cannot be written.\n")
        .def("__enter__", [](py::object self) { return self; }, "__enter__(self, /)\n--\n\nThe world itself.")
        .def(
            "__exit__", [](py::object self, const py::args&) { self.attr("close")(); },
            "__exit__(self, /, *exc_info)\n--\n\nCloses the world: see close().")
        .def("__len__", [](script_world_type& script) { return with_world(script, [](const world_type& w) { return w.num_animals; }); },
             "__len__(self, /)\n--\n\nThe number of animals.")
        .def(
            "__repr__",
            [](script_world_type& script) {
                world_scope_type scope(script);
                const world_type& world = scope.world;
                return "<velmora.World seed=" + std::to_string(world.seed) + ", generation " + std::to_string(world.generation) +
                       ", update " + std::to_string(world.update_count) + ", " + std::to_string(world.num_animals) + " animals, " +
                       std::to_string(world.num_plants) + " plants>";
            },
            "__repr__(self, /)\n--\n\nThe seed, generation, update and counts.");
    // The same call under the name a script that saves runs may look for first.
    module.attr("World").attr("load_run") = module.attr("World").attr("run_file");
}
