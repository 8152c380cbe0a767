// A food map: where plants grow. A picture stretched over the world as the
// window shows it (row 0 at the top, y growing downwards), its brightness
// per cell the weight of that place; black means never. Without a map,
// plants grow anywhere, drawn exactly as they always were.
#pragma once

#include "base/refusal.h"

#include <cstdint>
#include <string>
#include <vector>

struct random_type;

inline constexpr std::uint32_t food_map_max_side = 4096;   // cells a side

struct food_map_type {
    std::uint32_t width = 0;          // cells across; 0 for no map
    std::uint32_t height = 0;         // cells down
    std::vector<double> weights;      // per cell, row by row from the top; each >= 0, some > 0
    std::vector<double> cumulative;   // running sums of weights, so that a cell is drawn in O(log cells)
};

// What is wrong with these weights for a map; empty when nothing is.
std::string food_map_problem(std::uint32_t width, std::uint32_t height, const std::vector<double>& weights);
// Makes the map these weights (checked first; a refused map changes nothing). Returns the problem, or "".
std::string food_map_set(food_map_type& map, std::uint32_t width, std::uint32_t height, std::vector<double> weights);
// The brightness of a PNG as a map; the reason ("Unable to load FILE: reason") when it cannot be one.
refusal_type food_map_read(food_map_type& map, const std::string& path);
void food_map_clear(food_map_type& map);
bool food_map_on(const food_map_type& map);

// A plant's place on a map over a world of that size: a cell drawn by its
// weight, then a point in it, kept margin from the world's edges.
void food_map_place(const food_map_type& map, random_type& random, double world_width, double world_height, double margin,
                    double& x, double& y);
