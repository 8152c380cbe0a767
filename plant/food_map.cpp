#include "plant/food_map.h"

#include "base/png.h"
#include "base/utility.h"

#include <algorithm>
#include <cmath>

std::string food_map_problem(std::uint32_t width, std::uint32_t height, const std::vector<double>& weights)
{
    if (width == 0 || height == 0) return "it has no cells";
    if (width > food_map_max_side || height > food_map_max_side)
        return "it is " + std::to_string(width) + " x " + std::to_string(height) + ", larger than " +
               std::to_string(food_map_max_side) + " a side";
    if (weights.size() != static_cast<std::size_t>(width) * height) return "its weights do not fill its cells";
    bool some = false;
    for (const double weight : weights) {
        if (!std::isfinite(weight) || weight < 0.0) return "its weights must be finite and not negative";
        some = some || weight > 0.0;
    }
    if (!some) return "it is all black: no plant could grow anywhere";
    return {};
}

std::string food_map_set(food_map_type& map, std::uint32_t width, std::uint32_t height, std::vector<double> weights)
{
    if (std::string problem = food_map_problem(width, height, weights); !problem.empty()) return problem;
    map.width = width;
    map.height = height;
    map.weights = std::move(weights);
    map.cumulative.resize(map.weights.size());
    double sum = 0.0;
    for (std::size_t k = 0; k < map.weights.size(); ++k) map.cumulative[k] = sum += map.weights[k];
    return {};
}

refusal_type food_map_read(food_map_type& map, const std::string& path)
{
    png_brightness_type picture;
    refusal_type problem = png_read_brightness_file(path, food_map_max_side, picture);
    if (problem.empty()) problem = food_map_set(map, picture.width, picture.height, std::move(picture.values));
    return problem.empty() ? problem : problem.said_as("Unable to load " + path + ": ");
}

void food_map_clear(food_map_type& map) { map = food_map_type{}; }

bool food_map_on(const food_map_type& map) { return map.width > 0; }

void food_map_place(const food_map_type& map, random_type& random, double world_width, double world_height, double margin,
                    double& x, double& y)
{
    // One draw picks the cell: the first whose running sum passes it, so a cell of weight 0 is never picked.
    const double total = map.cumulative.back();
    const double u = f_rand(random, 0.0, total);
    std::size_t cell = static_cast<std::size_t>(std::upper_bound(map.cumulative.begin(), map.cumulative.end(), u) - map.cumulative.begin());
    cell = std::min(cell, map.cumulative.size() - 1);
    while (map.weights[cell] <= 0.0) --cell;   // u == total exactly: the last cell that has weight
    const double cell_w = world_width / map.width, cell_h = world_height / map.height;
    const double left = static_cast<double>(cell % map.width) * cell_w, top = static_cast<double>(cell / map.width) * cell_h;
    // Within the cell, and margin from the world's edges where the cell allows it.
    const auto span = [margin](double from, double to, double side) {
        const double low = std::max(from, margin), high = std::min(to, side - margin);
        return low <= high ? std::pair{low, high} : std::pair{from, to};
    };
    const auto [x0, x1] = span(left, left + cell_w, world_width);
    const auto [y0, y1] = span(top, top + cell_h, world_height);
    x = f_rand(random, x0, x1);
    y = f_rand(random, y0, y1);
}
