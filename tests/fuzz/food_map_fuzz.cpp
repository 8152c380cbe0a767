// libFuzzer target: arbitrary bytes as a food map's PNG, read as --food-map
// reads one. A refused picture must leave the map as it was; an accepted one
// must be a sound map whose every drawn place lies in a cell with weight.
#include "base/png.h"
#include "base/utility.h"
#include "plant/food_map.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    png_brightness_type picture;
    picture.width = 7;
    if (!png_read_brightness(data, size, food_map_max_side, picture).empty()) {
        if (picture.width != 7 || !picture.values.empty()) std::abort();   // refused: untouched
        return 0;
    }
    if (picture.values.size() != static_cast<std::size_t>(picture.width) * picture.height) std::abort();
    for (const double value : picture.values)
        if (!(value >= 0.0 && value <= 1.0)) std::abort();
    food_map_type map;
    if (!food_map_set(map, picture.width, picture.height, picture.values).empty()) return 0;   // all black
    random_type random{12345};
    for (int i = 0; i < 16; ++i) {
        double x = 0, y = 0;
        food_map_place(map, random, 10.0, 10.0, 0.25, x, y);
        const auto cx = static_cast<std::size_t>(x / 10.0 * map.width), cy = static_cast<std::size_t>(y / 10.0 * map.height);
        if (cx >= map.width || cy >= map.height) std::abort();
        // A place on a cell's edge may read as the next cell: only a place well inside a black cell is wrong.
        const double fx = x / 10.0 * map.width - cx, fy = y / 10.0 * map.height - cy;
        if (map.weights[cy * map.width + cx] == 0.0 && fx > 1e-6 && fx < 1 - 1e-6 && fy > 1e-6 && fy < 1 - 1e-6 &&
            10.0 / map.width > 0.5 && 10.0 / map.height > 0.5)
            std::abort();
    }
    return 0;
}
