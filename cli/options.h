// The velmora command line: the window program, headless runs and the
// summary of many runs.
#pragma once

#include "world/settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct options_type {
    bool help = false;                 // --help: print help_text and stop
    std::string help_text;             // every option with its unit, default and range
    bool version = false;              // --version
    bool headless = false;             // --headless: run without a window
    bool seed_given = false;
    std::uint32_t seed = 0;            // random seed; the time of day in seconds when not given
    bool generations_given = false;
    std::uint32_t generations = 0;     // generations a headless run evolves
    std::string load_path;             // --load: world file read before a headless run; empty for none
    std::string save_path;             // --save: world file written after a headless run; empty for none
    std::string world_path;            // FILE.dat: world the window program opens at start; empty for none
    world_settings_type settings;
    std::string log_path = "log.txt";  // --log; appended to
    bool no_log = false;               // --no-log: no log file at all
    std::string csv_path;              // --csv: one row per generation; empty for none
    std::string lineage_path;          // --lineage: the family tree; empty for none
    std::string checkpoint_path;       // --checkpoint: the whole state, now and then and at the end; empty for none
    std::uint32_t checkpoint_every = 10;   // --checkpoint-every: generations between checkpoints, at least 1
    std::string resume_path;           // --resume: a checkpoint a headless run goes on from; empty for none
    std::string run_path;              // --run: a run file a headless run replays; empty for none
    std::string save_run_path;         // --save-run: the run file a headless run writes as it ends; empty for none
    std::string food_map_path;         // --food-map: where plants grow, a PNG or a .npy of weights; empty for anywhere
    bool no_autosave = false;          // --no-autosave: the window keeps no autosave
    bool quiet = false;                // --quiet: no generation lines on standard output
    std::string record_path;           // --record: a video of the world view (.mp4, .webm, .gif); empty for none
    std::uint32_t record_every = 0;    // --record-every: world updates between frames; 0: each frame the window draws
    int record_width = 640;            // --record-size WxH, pixels
    int record_height = 480;
    int record_fps = 30;               // --record-fps: frames per second of playback
    int threads = 0;                   // --threads: 1 .. 64 for world updates; 0 when not given
    bool summarize = false;            // the summarize command
    std::vector<std::string> summary_inputs;  // its run CSVs
    std::string summary_out;           // --out: the summary CSV; empty for standard output
    std::string summary_plot;          // --plot: a PNG chart; empty for none
    std::string summary_muller;        // --muller: a lineage file whose lines --plot draws; empty for none
    std::uint32_t summary_line_horizon = 50;   // summarize --line-horizon: generations between counts of lines
};

// Fills options from argv; returns an empty text on success, else a one-line
// reason naming the option, the value and what it must be.
std::string options_parse(int argc, const char* const* argv, options_type& options);

extern const char* const options_usage;  // short usage lines, ending in a line end

// The program's start, with or without a window: signals that must not end
// a run ignored, the command line read, and --help, --version or a bad
// option answered. Returns the exit status when that ended the program, or
// -1 for it to go on with the options.
int options_begin(int argc, char** argv, options_type& options);

// A setting as the command line spells it: "--mutate-amount".
std::string option_name(const setting_row_type& row);
