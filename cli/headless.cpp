#include "cli/headless.h"

#include "base/utility.h"
#include "cli/options.h"
#include "cli/run_file.h"
#include "base/console.h"
#include "base/file.h"
#include "base/system.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

volatile std::sig_atomic_t stop_signal = 0;        // the signal that asked the run to stop; 0 while none
volatile std::sig_atomic_t checkpoint_asked = 0;   // SIGUSR1 came since the last checkpoint

// The first Ctrl-C or SIGTERM ends the run at the end of the current world
// update; the handler then gives way, so a second one ends the program at once.
void ask_to_stop(int signal_number) { stop_signal = signal_number; }
void ask_for_checkpoint(int) { checkpoint_asked = 1; }

#if defined(_WIN32)
// Windows has no SIGUSR1: Ctrl+Break asks for the checkpoint, Ctrl+C and a
// closed console window for the stop (the first only; a second Ctrl+C ends
// the program at once).
BOOL WINAPI console_event(DWORD event)
{
    if (event == CTRL_BREAK_EVENT) {
        checkpoint_asked = 1;
        return TRUE;
    }
    if (stop_signal != 0) return FALSE;
    stop_signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    return TRUE;
}

void catch_signals(bool catching)
{
    stop_signal = 0;
    SetConsoleCtrlHandler(console_event, catching ? TRUE : FALSE);
}
#else
void catch_signals(bool catching)
{
    struct sigaction action {};
    action.sa_handler = catching ? ask_to_stop : SIG_DFL;
    action.sa_flags = catching ? SA_RESETHAND : 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = catching ? ask_for_checkpoint : SIG_DFL;
    action.sa_flags = catching ? SA_RESTART : 0;
    sigaction(SIGUSR1, &action, nullptr);
}
#endif

// Where SIGUSR1 writes a checkpoint when the run names none.
const char* const default_checkpoint = "velmora-checkpoint.npz";

// A file written a line at a time, each line whole and at once, so that a
// run that is killed keeps every finished line.
struct line_file_type {
    int descriptor = -1;
    std::string path;
    int error = 0;  // errno of the first failed write

    bool open_new(const std::string& name)
    {
        path = name;
        descriptor = system_open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (descriptor < 0) error = errno;
        return descriptor >= 0;
    }

    // Opens the file to go on with it: the first line and the lines that keep()
    // keeps stay, in order, up to the first that it drops; the rest goes.
    template <class Keep>
    bool open_kept(const std::string& name, const std::string& first_line, Keep keep)
    {
        std::string text, kept = first_line;
        file_read(name, text, std::numeric_limits<std::int64_t>::max());   // none yet is an empty one
        std::size_t start = text.compare(0, first_line.size(), first_line) == 0 ? first_line.size() : text.size();
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            if (end == std::string::npos || !keep(text.substr(start, end - start))) break;
            kept.append(text, start, end + 1 - start);
            start = end + 1;
        }
        if (!open_new(name)) return false;
        write_line(kept);
        return error == 0;
    }

    void write_line(const std::string& line)
    {
        if (error == 0 && system_write_all(descriptor, line.data(), line.size()) != 0) error = errno != 0 ? errno : EIO;
    }

    ~line_file_type()
    {
        if (descriptor >= 0) system_close(descriptor);
    }
};

const char* const lineage_header = "id,ancestor_list,origin_time,destruction_time\n";
}  // namespace

std::string headless_csv_row(const generation_record_type& record, double seconds)
{
    char row[320];
    format_c(row, sizeof row, "%u,%d,%d,%.6f,%d,%.6f,%u,%d,%.3f,%.6f,%u\n", record.generation, record.food, record.wall,
             record.food_per_animal, record.best_food, record.ave_food, record.animals, record.plants, seconds,
             record.gene_spread, record.lineages);
    return row;
}

namespace {

// One line on a terminal's standard error, redrawn in place.
struct progress_type {
    bool shown = false;  // standard error is a terminal
    std::uint32_t total = 0;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point last_drawn;

    void draw(std::uint32_t done)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!shown || (done < total && now - last_drawn < std::chrono::milliseconds(100))) return;
        last_drawn = now;
        const double seconds = std::chrono::duration<double>(now - start).count();
        const double rate = seconds > 0 ? done / seconds : 0.0;
        char line[160];
        const int length = format_c(line, sizeof line, "\r\033[KGeneration %u / %u  %3.0f%%  %.1f generations/s  %.0f s left",
                                    done, total, total > 0 ? 100.0 * done / total : 100.0, rate,
                                    rate > 0 ? (total - done) / rate : 0.0);
        if (system_write_all(2, line, static_cast<std::size_t>(length)) != 0) shown = false;
    }

    void clear()
    {
        if (shown && system_write_all(2, "\r\033[K", 4) != 0) shown = false;
    }
};

}  // namespace

// A checkpoint of the world as it stands; a failure is said on standard
// error and ends nothing: the run and its other outputs go on.
bool write_checkpoint(world_type& world, const std::string& path, bool quiet)
{
    const checkpoint_type checkpoint = checkpoint_capture(world);
    if (const std::string reason = checkpoint_write(checkpoint, path); !reason.empty()) {
        std::fprintf(stderr, "velmora: cannot write the checkpoint %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    if (!quiet) {
        char line[96];
        format_c(line, sizeof line, " at generation %u, update %d\n", world.generation, world.update_count);
        world_say(world, "Checkpoint saved to " + path + line);
    }
    return true;
}

namespace {

// Settings given with --resume: one equal to the checkpoint's is no change; one
// that may change during a run and differs branches the run here, recorded as
// its change; one fixed for the run that differs is refused.
refusal_type resume_with_settings(world_type& world, const world_settings_type& s, run_file_type& run)
{
    if (const setting_row_type* fixed = world_change_settings(world, s); fixed != nullptr) {
        run.setting_refused = true;
        return "velmora: " + option_name(*fixed) + " differs from the checkpoint's and cannot change during a run";
    }
    return {};
}

}  // namespace

refusal_type headless_start(world_type& world, const options_type& options)
{
    run_file_type run;
    return headless_start(world, options, run);
}

refusal_type headless_start(world_type& world, const options_type& options, run_file_type& run)
{
    std::string start_path;   // the world file or checkpoint the run starts from, as the program opens it
    // Said as a world file's refusal is said, on the console.
    const auto refuse = [](const refusal_type& line) {
        write_console((line + "\n").c_str());
        return line;
    };
    if (!options.run_path.empty()) {
        if (refusal_type problem = run_file_read(options.run_path, run); !problem.empty()) return refuse(problem.said_as("Unable to run "));
        start_path = run_file_start(options.run_path, run);
    } else {
        run.seed = options.seed_given ? options.seed : static_cast<std::uint32_t>(std::time(nullptr));
        run.settings = options.settings;
        start_path = !options.resume_path.empty() ? options.resume_path : options.load_path;
        run.start_opened = start_path;
        if (!options.food_map_path.empty() && checkpoint_is_archive(start_path)) {
            run.setting_refused = true;
            return "velmora: a checkpoint holds its own food map: give no --food-map with it";
        }
        if (!options.food_map_path.empty()) {
            run.environment.food_map_path = options.food_map_path;
            if (refusal_type problem = run_file_food_map(run.environment.food_map, options.food_map_path); !problem.empty())
                return refuse(problem);
        }
    }
    world.options.log_path = options.no_log ? std::string() : options.log_path;
    world.options.console_scores = !options.quiet;
    world.options.log_error = 0;
    if (options.threads != 0) world.options.threads = options.threads;
    if (refusal_type problem = run_file_begin(world, run, start_path); !problem.empty()) return problem;
    // A checkpoint holds its run's seed: that one, not the clock's, is the run's.
    if (!options.resume_path.empty() && !options.seed_given) run.seed = world.seed;
    // The file it started from, as a replay will find it again; read after it loaded, as loading says what is wrong with it.
    if (options.run_path.empty() && !start_path.empty())
        if (const refusal_type problem = file_sha256(start_path, run.start_sha256); !problem.empty())
            return refuse(problem.said_as("Unable to load " + start_path + ": "));
    if (options.run_path.empty() && !run.environment.food_map_path.empty())
        if (const refusal_type problem = file_sha256(run.environment.food_map_path, run.food_map_sha256); !problem.empty())
            return refuse(problem.said_as("Unable to load " + run.environment.food_map_path + ": "));
    // A checkpoint's changes made so far are the run's past. Those it still
    // has to come stay for --resume; a run file's replaced them.
    run.earlier_events = world.run.next;
    if (!options.resume_path.empty()) {
        // The checkpoint holds the settings: those given are changes, or nothing.
        run.settings = world_settings_type{};
        return resume_with_settings(world, options.settings, run);
    }
    return {};
}

int headless_run(world_type& world, const options_type& options, const std::function<bool()>& after_update)
{
    // A quiet run writes nothing on standard output; what it refuses goes to standard error.
    if (options.quiet) h_console = system_null_output();
    const auto refused = [&options](const std::string& line) {
        if (options.quiet) std::fprintf(stderr, "%s\n", line.c_str());
    };
    run_file_type run;
    if (const std::string refusal = headless_start(world, options, run); !refusal.empty()) {
        // A setting the checkpoint fixes otherwise is a bad command line, said on standard error.
        if (run.setting_refused) {
            std::fprintf(stderr, "%s\n", refusal.c_str());
        } else {
            refused(refusal);
        }
        world_destroy(world);
        return run.setting_refused ? 2 : 1;
    }
    if (options.generations > 0 && world.num_animals == 0) {
        std::fprintf(stderr, "velmora: the world has no animals, so no generation can end\n");
        world_destroy(world);
        return 1;
    }
    line_file_type csv;
    if (!options.csv_path.empty()) {
        if (options.resume_path.empty()) {
            if (csv.open_new(options.csv_path)) csv.write_line(headless_csv_header);
        } else {
            // Rows written after the checkpoint are written again as the run goes on.
            const std::uint32_t resumed_at = world.generation;
            csv.open_kept(options.csv_path, headless_csv_header, [resumed_at](const std::string& row) {
                return std::strtoul(row.c_str(), nullptr, 10) < resumed_at && !row.empty() && row[0] >= '0' && row[0] <= '9';
            });
        }
    }

    if (!options.lineage_path.empty()) {
        world.options.lineage_path = options.lineage_path;
        line_file_type lineage;
        if (options.resume_path.empty()) {
            lineage.open_new(options.lineage_path);
        } else {
            // Lives that ended after the checkpoint, and the living of an earlier end, are written again.
            const std::uint32_t resumed_at = world.generation;
            lineage.open_kept(options.lineage_path, lineage_header, [resumed_at](const std::string& row) {
                const std::string ended = row.substr(row.rfind(',') + 1);
                return !ended.empty() && std::strtoul(ended.c_str(), nullptr, 10) <= resumed_at;
            });
        }
    }

    const auto start = std::chrono::steady_clock::now();
    progress_type progress{system_is_terminal(2), options.generations, start, start};
    stop_signal = 0;
    checkpoint_asked = 0;
    catch_signals(true);
    std::size_t written = world.history.size();  // history rows in the CSV
    int status = 0;
    bool after_update_failed = false;
    while (world.generation < options.generations && stop_signal == 0 && world.options.log_error == 0 && csv.error == 0 &&
           world.options.lineage_error == 0) {
        world_update(world);
        if (after_update && !after_update_failed) after_update_failed = !after_update();
        for (; written < world.history.size(); ++written)
            if (csv.descriptor >= 0)
                csv.write_line(headless_csv_row(world.history[written],
                                       std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()));
        const bool generation_ended = world.update_count == 0 && world.num_animals > 0;
        if (checkpoint_asked != 0) {
            checkpoint_asked = 0;
            write_checkpoint(world, options.checkpoint_path.empty() ? default_checkpoint : options.checkpoint_path, options.quiet);
        } else if (!options.checkpoint_path.empty() && generation_ended && world.generation % options.checkpoint_every == 0 &&
                   world.generation < options.generations) {
            write_checkpoint(world, options.checkpoint_path, options.quiet);
        }
        progress.draw(world.generation);
    }
    progress.clear();
    catch_signals(false);
    if (!options.checkpoint_path.empty() && !write_checkpoint(world, options.checkpoint_path, options.quiet)) status = 1;
    world_lineage_finish(world);
    const world_options_type& out = world.options;
    if (out.log_error != 0 || csv.error != 0 || out.lineage_error != 0) {
        const auto [path, error] = out.log_error != 0 ? std::pair(out.log_path, out.log_error)
                                   : csv.error != 0   ? std::pair(csv.path, csv.error)
                                                      : std::pair(out.lineage_path, out.lineage_error);
        std::fprintf(stderr, "velmora: cannot write %s: %s\n", path.c_str(), std::strerror(error));
        status = 1;
    } else if (stop_signal != 0) {
        status = 128 + stop_signal;
        std::fprintf(stderr, "velmora: stopped by %s at generation %u, update %d of %d\n",
                     stop_signal == SIGINT ? "an interrupt" : "SIGTERM", world.generation, world.update_count,
                     world.generation_length);
    }
    if (after_update_failed && status == 0) status = 1;
    if (!options.save_run_path.empty()) {
        run.events.assign(world.run.events.begin() + static_cast<std::ptrdiff_t>(run.earlier_events), world.run.events.end());
        if (const std::string problem = run_file_write(options.save_run_path, run); !problem.empty()) {
            std::fprintf(stderr, "velmora: cannot write the run file %s: %s\n", options.save_run_path.c_str(), problem.c_str());
            status = status != 0 ? status : 1;
        }
    }
    if (const std::string problem = options.save_path.empty() ? std::string() : world_save_file(world, options.save_path);
        !problem.empty()) {
        refused(problem);
        status = status != 0 ? status : 1;
    }
    world_destroy(world);
    return status;
}
