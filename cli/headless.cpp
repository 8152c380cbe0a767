#include "cli/headless.h"

#include "cli/options.h"
#include "world/world.h"
#include "world/world_file.h"

#include <cstdio>
#include <ctime>

int headless_run(const options_type& options)
{
    world_start(options.seed_given ? options.seed : static_cast<std::uint32_t>(std::time(nullptr)));
    int status = 0;
    if (!options.load_path.empty() && !world_load_file(options.load_path)) {
        status = 1;  // the console says why
    } else if (options.generations > 0 && world.num_animals == 0) {
        std::fprintf(stderr, "velmora: the world has no animals, so no generation can end\n");
        status = 1;
    } else {
        // The count wraps like the generation counter itself.
        const std::uint32_t last = world.generation + options.generations;
        while (world.generation != last) world_update();
        if (!options.save_path.empty() && !world_save_file(options.save_path)) status = 1;
    }
    world_destroy();
    return status;
}
