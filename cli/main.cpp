// The velmora program without a window (built where there is no Qt, as for
// Windows and the browser): headless runs, run files, checkpoints, the CSV,
// the family tree and the summary of runs.
#include "cli/headless.h"
#include "cli/options.h"
#include "cli/summary.h"
#include "world/world.h"

#include <cstdio>

int main(int argc, char** argv)
{
    options_type options;
    if (const int ended = options_begin(argc, argv, options); ended >= 0) return ended;
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
