// The velmora program without a window: evolve a number of generations and stop.
#pragma once

#include "base/refusal.h"

#include <functional>
#include <string>

struct generation_record_type;
struct options_type;
struct run_file_type;
struct world_type;

// The CSV of --csv: its header, and one generation's row with the seconds since the run began.
inline constexpr const char* headless_csv_header =
    "generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds,gene_spread,lineages\n";
std::string headless_csv_row(const generation_record_type& record, double seconds);

// Seeds the current world and sets it up from the options: the checkpoint to
// resume, the world file to load, or the settings. Returns why a file was
// refused (the console says it too); empty when the world is ready.
refusal_type headless_start(world_type& world, const options_type& options);
// The same, replaying --run's file or else noting in run how this run starts,
// so that its run file can be written when it ends.
refusal_type headless_start(world_type& world, const options_type& options, run_file_type& run);

// Seeds, sets the world up and runs world updates until the asked number of
// generations has ended. Returns the process exit status. after_update, when
// given, runs after every world update (a video being recorded) and returns
// false once its output failed: the run goes on, and ends with status 1.
int headless_run(world_type& world, const options_type& options, const std::function<bool()>& after_update = {});
