#include "app/recorder.h"
#include "app/summarize.h"
#include "app/window.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "world/world.h"

int main(int argc, char** argv)
{
    options_type options;
    if (const int ended = options_begin(argc, argv, options); ended >= 0) return ended;
    if (options.summarize) return summarize_main(argc, argv, options);
    if (options.headless) {
        world_type world;
        if (options.threads != 0) world.options.threads = options.threads;
        return options.record_path.empty() ? headless_run(world, options) : recorder_headless_run(world, options);
    }
    return window_main(argc, argv, options);
}
