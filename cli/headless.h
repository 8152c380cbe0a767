// The velmora program without a window: evolve a number of generations and stop.
#pragma once

struct options_type;

// Seeds, sets the world up and runs world updates until the asked number of
// generations has ended. Returns the process exit status.
int headless_run(const options_type& options);
