// World files: the world's parameters and every animal's genes as plain text.
//
// A file is read and checked whole before the world is touched, so a refused
// file leaves the running world exactly as it was. A save goes to a temporary
// file that replaces the target only once every byte is written.
#pragma once

#include "base/refusal.h"
#include "world/settings.h"

#include <cstdint>
#include <string>

struct world_type;

// Limits of a world file, so a damaged or hostile file cannot ask for absurd
// amounts of memory or time.
// Saving refuses a world beyond them, so every saved file loads again.
inline constexpr std::int32_t world_file_max_animals = 50000;
inline constexpr std::int32_t world_file_max_plants = 1000000;
inline constexpr std::int32_t world_file_max_layer_width = 1000;
inline constexpr std::int32_t world_file_max_layer_count = 1000;
// All animals' networks together, set by memory: a neuron takes about 200
// bytes and an input about 44 (in its record and in the pack), so a world at
// both limits takes about 1.5 GB. 50,000 animals of the default shape hold
// 900,000 neurons and 14,000,000 inputs.
inline constexpr std::int64_t world_file_max_neurons = 1000000;
inline constexpr std::int64_t world_file_max_inputs = 30000000;
inline constexpr std::int64_t world_file_max_bytes = 256LL << 20;
inline constexpr double world_file_min_size = 0.000001;          // smallest width, height or size ("%f" keeps 6 decimals)

// What is beyond the limits above in these parameters and counts; an empty text when nothing is.
std::string world_file_limits_problem(double width, double height, double plant_size, double animal_size,
                                      std::int32_t generation_length, std::int32_t plants, std::int32_t animals,
                                      std::int32_t layer_width, std::int32_t layer_count);

// What is beyond the networks' limits for this many animals of this shape; empty when nothing is.
std::string world_file_network_problem(std::int64_t animals, std::int32_t layer_width, std::int32_t layer_count);

// Both write their console lines ("Saved to", "Adding ... Loaded from", or one
// "Unable to ..." line naming the file and the reason) and return that
// refusal's line, or an empty text when they succeeded.
refusal_type world_save_file(world_type& world, const std::string& path);
// Settings given with a load stand in for the file's own parameters (those
// the file holds: setting_file_type::held), and those a file does not hold
// are set after it; the networks' shape is the file's. A larger animal count
// than the file holds leaves the extra animals with random genes; a smaller
// one reads only the first blocks.
refusal_type world_load_file(world_type& world, const std::string& path, const world_settings_type& settings = {});

// The file text of the current world, exactly as world_save_file writes it.
std::string world_file_text(const world_type& world);
struct animal_type;
std::string world_file_block(const animal_type* animal);   // one animal's block of it
