// Animal files: one animal carried between worlds, as small TOML text: its
// genes, its network's shape, and its id and ancestors in the world it came
// from.
//
//   # A Velmora animal: Animals, Add Animal From File... brings it into a world.
//   format = 1
//   id = 14051
//   parent-a = 14003
//   parent-b = 13990
//   founder = 7
//   born = 930
//   layer-count = 2
//   layer-width = 8
//   genes = [0.25, -1.5, ...]
//
// A file is read and checked whole: a damaged or foreign file, or genes that
// are not the shape's, is refused with its reason.
#pragma once

#include "base/refusal.h"

#include <cstdint>
#include <string>
#include <vector>

struct animal_type;
struct world_type;

struct animal_file_type {
    std::uint64_t id = 0;           // in the world it came from
    std::uint64_t parent_a = 0;     // 0 for a founder there
    std::uint64_t parent_b = 0;
    std::uint64_t founder = 0;
    std::uint32_t born = 0;         // the generation it was born in there
    std::int32_t layer_count = 0;
    std::int32_t layer_width = 0;
    std::vector<double> genes;      // per neuron in list order its input weights, then its bias
};

animal_file_type animal_file_of(const world_type& world, animal_type* animal);
std::string animal_file_text(const animal_file_type& animal);
// Reads and checks a file; returns "FILE: reason" (or "FILE:LINE: reason"), or an empty text.
refusal_type animal_file_read(const std::string& path, animal_file_type& animal);
refusal_type animal_file_parse(const std::string& text, const std::string& name, animal_file_type& animal);
// Writes through a temporary file; returns why it could not, or an empty text.
refusal_type animal_file_write(const std::string& path, const animal_file_type& animal);
// Why these genes do not fit the world's networks; empty when they do.
std::string animal_file_fit_problem(const world_type& world, const animal_file_type& animal);
