// PNG pictures as brightness per pixel, for maps drawn in any paint program.
// libpng's errors jump out of its calls, so the reading is kept in one plain
// function that holds no object with a destructor across them.
#pragma once

#include "base/refusal.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct png_brightness_type {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<double> values;   // per pixel, row 0 at the top, 0 (black) to 1 (white)
};

// Grey pictures of 8 or 16 bits (and fewer) as they are; colour ones by
// their brightness (0.299 red, 0.587 green, 0.114 blue); transparency is
// ignored. Refuses pictures wider or higher than max_side. Returns why it
// could not, or an empty text.
std::string png_read_brightness(const unsigned char* data, std::size_t size, std::uint32_t max_side, png_brightness_type& picture);
refusal_type png_read_brightness_file(const std::string& path, std::uint32_t max_side, png_brightness_type& picture);
