// The velmora program without a window (built where there is no Qt, as for
// Windows and the browser): headless runs, run files, checkpoints, the CSV,
// the family tree and the summary of runs.
#include "cli/headless.h"
#include "cli/options.h"
#include "cli/summary.h"
#include "world/world.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
#if defined(SIGPIPE)
    // A closed standard output must not end a run, nor a file grown past the size limit.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    options_type options;
    const std::string error = options_parse(argc, argv, options);
    if (!error.empty()) {
        std::fprintf(stderr, "velmora: %s\n%s", error.c_str(), options_usage);
        return 2;
    }
    if (options.help) {
        std::fputs(options.help_text.c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("velmora %s\n", VELMORA_VERSION);
        return 0;
    }
    const auto refuse = [](const char* what) {
        std::fprintf(stderr, "velmora: this velmora has no window, so it %s\n%s", what, options_usage);
        return 2;
    };
    if (options.summarize) {
        if (!options.summary_plot.empty() || !options.summary_muller.empty()) return refuse("draws no pictures");
        summary_type summary;
        return summary_write(options, summary);
    }
    if (!options.headless) return refuse("runs only with --headless");
    if (!options.record_path.empty()) return refuse("records no video");
    world_type world;
    if (options.threads != 0) world.options.threads = options.threads;
    return headless_run(world, options);
}
