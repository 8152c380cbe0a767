// Run files: everything that makes a run, as small TOML text readable and
// editable by hand: the seed, the world settings under the --config names,
// the world file or checkpoint the run started from (by path, relative to the
// run file's folder, and SHA-256), and the changes made during the run, each
// at a generation and an update. The same file replays the same run.
//
//   format = 1
//   seed = 7
//   [settings]
//   animals = 40
//   mutate-amount = 2.5
//   [start]
//   file = "start.npz"
//   sha256 = "9f86d0..."
//   [food-map]
//   file = "valley.png"
//   sha256 = "3a7bd3..."
//   [seasons]
//   period = 40
//   low = 5
//   high = 20
//   shape = "sine"
//   [[change]]
//   generation = 300
//   update = 0
//   mutate-amount = 1.5
//   [[change]]
//   generation = 301
//   update = 12
//   action = "add_plant"
//
// A file is read and checked whole before anything runs: an unknown key, a
// change out of order or of a setting that cannot change during a run, or a
// starting file that is missing or not the one the run started from is
// refused with one line naming the file, the line and the reason.
#pragma once

#include "cli/options.h"
#include "world/environment.h"
#include "world/run.h"

#include <cstdint>
#include <string>
#include <vector>

// The newest format this build reads and writes; a file that names none is of format 1.
inline constexpr std::int64_t run_file_format = 1;

struct run_file_type {
    std::uint32_t seed = 0;
    world_settings_type settings;       // the settings given; unset ones are the defaults
    std::string start_path;             // the world file or checkpoint it started from, as the file names it; empty for none
    std::string start_sha256;           // its SHA-256, 64 lower-case hexadecimal digits
    std::string start_opened;           // not in the file: its path as the program opens it; written relative to the run file
    // [seasons] and [food-map]; the map's path is as the program opens it,
    // and a script may give its weights with no file. No schedule: the
    // changes below are the run's whole course.
    environment_type environment;
    std::string food_map_file;          // the food map (a PNG or a .npy of weights), as the file names it; empty for none
    std::string food_map_sha256;        // its SHA-256
    std::vector<run_event_type> events; // in order of generation, then update
    // Not in the file: where it was read, and the line of each change's
    // [[change]], for a refusal that only the world can find.
    std::string read_from;
    std::vector<std::uint32_t> event_lines;
    // Not in the file: the world's own changes from before its start (a
    // checkpoint's), which its run's list begins with.
    std::size_t earlier_events = 0;
    bool setting_refused = false;       // --resume was given a setting the checkpoint fixes otherwise
};

// Reads and checks a run file; the starting file is found beside it and its
// SHA-256 checked, and the food map read. Returns "FILE:LINE: reason" (or
// "FILE: reason"), or an empty text when the file is sound.
refusal_type run_file_read(const std::string& path, run_file_type& run);
// The starting file's path as the program opens it: relative to the run file's folder.
std::string run_file_start(const std::string& run_path, const run_file_type& run);

// Makes the world the run's start, then its course: the seed's first
// population with the settings, or the starting file (opened at start_path)
// with them, in the run's environment; then the run's changes to come.
// Returns the refusal's line, or an empty text.
refusal_type run_file_begin(world_type& world, const run_file_type& run, const std::string& start_path);

// A food map from a PNG (its brightness) or a .npy file (a float64 array of
// weights, row 0 at the top); the refusal's line, "Unable to load FILE: reason".
refusal_type run_file_food_map(food_map_type& map, const std::string& path);
// A file named from a run file, as the program opens it: relative to the run file's folder.
std::string run_file_beside(const std::string& run_path, const std::string& file);

std::string run_file_text(const run_file_type& run);
// Writes the run file whole (base/file.h), naming the starting file from
// the run file's folder; returns why it could not, or an empty text.
refusal_type run_file_write(const std::string& path, const run_file_type& run);

// The file's SHA-256 as 64 hexadecimal digits into digest; returns why it could not be read, or an empty text.
refusal_type file_sha256(const std::string& path, std::string& digest);
