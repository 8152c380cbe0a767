#include "app/recorder.h"
#include "app/summarize.h"
#include "app/window.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "world/world.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    // A closed standard output (velmora ... | head) must not end a run: the
    // console ignores failed writes, and the log still gets every line.
    std::signal(SIGPIPE, SIG_IGN);
    // A file grown past the size limit fails its write, as a full disk does,
    // and is told as one, instead of ending the run.
    std::signal(SIGXFSZ, SIG_IGN);
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
    if (options.summarize) return summarize_main(argc, argv, options);
    if (options.headless) {
        world_type world;
        if (options.threads != 0) world.options.threads = options.threads;
        return options.record_path.empty() ? headless_run(world, options) : recorder_headless_run(world, options);
    }
    return window_main(argc, argv, options);
}
