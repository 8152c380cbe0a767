// Helpers shared by the tests: a fresh world, console capture, a scratch
// folder, a fingerprint of the whole simulation state and a heap counter.
#pragma once

#include <cstdint>
#include <string>

struct animal_type;

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

// Makes a scratch folder the working directory for the life of the object, so
// that log.txt and world files stay out of the source tree.
class scratch_folder {
public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Throws away any world and sets up the default one from this seed, quietly.
void start_world(std::uint32_t seed);

// A hash of the whole simulation state: the world record, every animal with
// its network, every plant, and the random state.
std::uint64_t world_fingerprint();

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);

animal_type* animal_at(unsigned index);   // the animal at this place of the world list
unsigned animal_list_length();
unsigned plant_list_length();

// Heap allocations through operator new since the start of the program.
long heap_allocations();

// From now on every allocation that may fail (new (std::nothrow)) does.
void simulate_heap_exhaustion();
