// Helpers shared by the tests: a quiet fresh world, console capture, a
// scratch folder, the whole state of a world and a heap counter.
#pragma once

#include "base/refusal.h"

#include <cstdint>
#include <ostream>
#include <string>

struct animal_type;
struct setting_row_type;
struct world_type;

// Sends the console to a temporary file for the life of the object.
class console_capture {
public:
    console_capture();
    ~console_capture();
    console_capture(const console_capture&) = delete;
    console_capture& operator=(const console_capture&) = delete;
    std::string text() const;  // everything written so far

private:
    int file_;
    int saved_;
};

// A scratch folder as the working directory for the life of the object, so
// that log.txt and world files stay out of the source tree.
class scratch_folder {
public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;

private:
    std::string path_;
    std::string previous_;
};

void start_world(world_type& world, std::uint32_t seed);   // world_start without the console line
// The same, writing no log and no generation lines, with generations of this many updates.
void quiet_world(world_type& world, std::uint32_t seed, std::int32_t generation_length);
std::string world_state(const world_type& world);         // the whole state, as a checkpoint holds it
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
animal_type* animal_at(const world_type& world, unsigned index);   // the animal at this place of the list
unsigned animal_list_length(const world_type& world);
unsigned plant_list_length(const world_type& world);
// A value of the setting that is not its default, within its range, for tests that set every row.
double setting_test_value(const setting_row_type& row);
long heap_allocations();                    // operator new calls since the start
long heap_blocks_alive();                   // operator new calls not yet deleted
void simulate_heap_exhaustion();            // every new (std::nothrow) fails from now on

// A refusal prints as its text in test failures.
inline void PrintTo(const refusal_type& refusal, std::ostream* out) { *out << '"' << static_cast<const std::string&>(refusal) << '"'; }
