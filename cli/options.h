// Command-line options of the velmora program.
#pragma once

#include <cstdint>
#include <string>

struct options_type {
    bool help;                  // --help: print the usage and stop
    bool version;               // --version: print the version and stop
    bool headless;              // --headless: run without a window
    bool seed_given;            // --seed was given
    std::uint32_t seed;         // random seed; the time of day in seconds when not given
    bool generations_given;     // --generations was given
    std::uint32_t generations;  // generations a headless run evolves
    std::string load_path;      // --load: world file read before the run; empty for none
    std::string save_path;      // --save: world file written after the run; empty for none
};

// Fills options from argv; returns an empty text on success, else a one-line reason.
std::string options_parse(int argc, const char* const* argv, options_type& options);

extern const char* const options_usage;  // several lines, ending in a line end
