#include "cli/headless.h"

#include "base/utility.h"
#include "cli/options.h"
#include "world/world.h"
#include "world/world_file.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stop_signal = 0;  // the signal that asked the run to stop; 0 while none

// The first Ctrl-C or SIGTERM ends the run at the end of the current world
// update; the handler then gives way, so a second one ends the program at once.
void ask_to_stop(int signal_number) { stop_signal = signal_number; }

void catch_stop_signals(bool catching)
{
    struct sigaction action {};
    action.sa_handler = catching ? ask_to_stop : SIG_DFL;
    action.sa_flags = catching ? SA_RESETHAND : 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A file written a line at a time, each line whole and at once, so that a
// run that is killed keeps every finished line.
struct line_file_type {
    int descriptor = -1;
    std::string path;
    int error = 0;  // errno of the first failed write

    bool open_new(const std::string& name)
    {
        path = name;
        descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (descriptor < 0) error = errno;
        return descriptor >= 0;
    }

    void write_line(const std::string& line)
    {
        std::size_t done = 0;
        while (error == 0 && done < line.size()) {
            const ssize_t written = write(descriptor, line.data() + done, line.size() - done);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) error = written < 0 ? errno : EIO;
            if (written > 0) done += static_cast<std::size_t>(written);
        }
    }

    ~line_file_type()
    {
        if (descriptor >= 0) close(descriptor);
    }
};

const char* const csv_header = "generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds\n";

std::string csv_row(const generation_record_type& record, double seconds)
{
    char row[256];
    format_c(row, sizeof row, "%u,%d,%d,%.6f,%d,%.6f,%u,%d,%.3f\n", record.generation, record.food, record.wall,
             record.food_per_animal, record.best_food, record.ave_food, record.animals, record.plants, seconds);
    return row;
}

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
        if (write(STDERR_FILENO, line, static_cast<std::size_t>(length)) < 0) shown = false;
    }

    void clear()
    {
        if (shown && write(STDERR_FILENO, "\r\033[K", 4) < 0) shown = false;
    }
};

}  // namespace

int headless_run(const options_type& options)
{
    world->options.log_path = options.no_log ? std::string() : options.log_path;
    world->options.console_scores = !options.quiet;
    world->options.log_error = 0;
    world_start(options.seed_given ? options.seed : static_cast<std::uint32_t>(std::time(nullptr)));
    if (!options.load_path.empty()) {
        if (!world_load_file(options.load_path, settings_overrides(options.settings))) {
            world_destroy();
            return 1;  // the console says why
        }
        if (options.settings.wrap) world->wrap_edges = true;
    } else {
        settings_apply(options.settings);
    }
    if (options.generations > 0 && world->num_animals == 0) {
        std::fprintf(stderr, "velmora: the world has no animals, so no generation can end\n");
        world_destroy();
        return 1;
    }
    line_file_type csv;
    if (!options.csv_path.empty() && csv.open_new(options.csv_path)) csv.write_line(csv_header);

    const auto start = std::chrono::steady_clock::now();
    progress_type progress{isatty(STDERR_FILENO) == 1, options.generations, start, start};
    stop_signal = 0;
    catch_stop_signals(true);
    std::size_t written = 0;  // history rows in the CSV
    std::uint32_t done = 0;
    int status = 0;
    while (done < options.generations && stop_signal == 0 && world->options.log_error == 0 && csv.error == 0) {
        world_update();
        for (; written < world->history.size(); ++written, ++done)
            if (csv.descriptor >= 0)
                csv.write_line(csv_row(world->history[written],
                                       std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()));
        progress.draw(done);
    }
    progress.clear();
    catch_stop_signals(false);
    if (world->options.log_error != 0 || csv.error != 0) {
        const bool log_failed = world->options.log_error != 0;
        std::fprintf(stderr, "velmora: cannot write %s: %s\n", log_failed ? world->options.log_path.c_str() : csv.path.c_str(),
                     std::strerror(log_failed ? world->options.log_error : csv.error));
        status = 1;
    } else if (stop_signal != 0) {
        std::fprintf(stderr, "velmora: stopped by %s at generation %u, update %d of %d\n",
                     stop_signal == SIGINT ? "an interrupt" : "SIGTERM", world->generation, world->update_count,
                     world->generation_length);
        status = 128 + stop_signal;
    }
    if (!options.save_path.empty() && !world_save_file(options.save_path)) status = status != 0 ? status : 1;
    world_destroy();
    return status;
}
