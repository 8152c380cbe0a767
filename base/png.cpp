#include "base/png.h"

#include "base/file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// What the plain reader works with: only plain data, so that a jump out of libpng frees nothing twice.
struct png_reading_type {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
    std::uint32_t max_side;
    char problem[160];
    std::jmp_buf escape;
    std::uint32_t width, height, bytes_per_value;
    unsigned char* pixels;   // malloc'd: height rows of width values
    unsigned char** rows;    // malloc'd: where each row goes
};

void on_error(png_structp png, png_const_charp message)
{
    auto* reading = static_cast<png_reading_type*>(png_get_error_ptr(png));
    std::snprintf(reading->problem, sizeof reading->problem, "it is not a readable PNG (%s)", message);
    std::longjmp(reading->escape, 1);
}

void on_warning(png_structp, png_const_charp) {}

void on_read(png_structp png, png_bytep out, png_size_t length)
{
    auto* reading = static_cast<png_reading_type*>(png_get_io_ptr(png));
    if (length > reading->size - reading->at) png_error(png, "the file ends early");
    std::memcpy(out, reading->data + reading->at, length);
    reading->at += length;
}

// Fills reading's pixels with one grey value per pixel, 1 or 2 bytes (big-endian) each; false with its problem set.
bool read_grey(png_reading_type& reading)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, on_error, on_warning);
    if (png == nullptr) {
        std::snprintf(reading.problem, sizeof reading.problem, "no memory to read it");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (setjmp(reading.escape) != 0) {
        std::free(reading.rows);
        reading.rows = nullptr;
        std::free(reading.pixels);
        reading.pixels = nullptr;
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    if (info == nullptr) png_error(png, "no memory");
    if (reading.size < 8 || png_sig_cmp(reading.data, 0, 8) != 0) {
        std::snprintf(reading.problem, sizeof reading.problem, "it is not a PNG");
        std::longjmp(reading.escape, 1);
    }
    png_set_read_fn(png, &reading, on_read);
    // Only the pixels matter: skip every ancillary chunk, since a compressed
    // text or colour profile can inflate to megabytes before the first row.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_chunk_malloc_max(png, 1 << 20);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (width > reading.max_side || height > reading.max_side) {
        std::snprintf(reading.problem, sizeof reading.problem, "it is %u x %u pixels, larger than %u a side", width, height,
                      reading.max_side);
        std::longjmp(reading.escape, 1);
    }
    const int colour = png_get_color_type(png, info);
    png_set_expand(png);   // palettes to colour, fewer than 8 bits to 8
    png_set_strip_alpha(png);
    if ((colour & PNG_COLOR_MASK_COLOR) != 0) png_set_rgb_to_gray_fixed(png, 1, 29900, 58700);
    png_read_update_info(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (png_get_channels(png, info) != 1 || (depth != 8 && depth != 16)) png_error(png, "an unexpected layout");
    reading.width = width;
    reading.height = height;
    reading.bytes_per_value = static_cast<std::uint32_t>(depth / 8);
    const std::size_t row_bytes = png_get_rowbytes(png, info);
    reading.pixels = static_cast<unsigned char*>(std::malloc(row_bytes * height + 1));
    reading.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height + 1));
    if (reading.pixels == nullptr || reading.rows == nullptr) png_error(png, "no memory");
    for (png_uint_32 y = 0; y < height; ++y) reading.rows[y] = reading.pixels + y * row_bytes;
    png_read_image(png, reading.rows);
    png_read_end(png, nullptr);
    std::free(reading.rows);
    reading.rows = nullptr;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

std::string png_read_brightness(const unsigned char* data, std::size_t size, std::uint32_t max_side, png_brightness_type& picture)
{
    png_reading_type reading{};
    reading.data = data;
    reading.size = size;
    reading.max_side = max_side;
    if (!read_grey(reading)) return reading.problem;
    png_brightness_type read;
    read.width = reading.width;
    read.height = reading.height;
    read.values.resize(static_cast<std::size_t>(reading.width) * reading.height);
    const double top = reading.bytes_per_value == 2 ? 65535.0 : 255.0;
    for (std::size_t k = 0; k < read.values.size(); ++k) {
        const unsigned char* at = reading.pixels + k * reading.bytes_per_value;
        read.values[k] = (reading.bytes_per_value == 2 ? (at[0] << 8 | at[1]) : at[0]) / top;
    }
    std::free(reading.pixels);
    picture = std::move(read);
    return {};
}

refusal_type png_read_brightness_file(const std::string& path, std::uint32_t max_side, png_brightness_type& picture)
{
    std::string bytes;
    if (refusal_type refused = file_read(path, bytes, std::int64_t{256} << 20); !refused.empty()) return refused;
    // A file that is not a picture of ours is of another kind, not a bad value.
    const std::string problem =
        png_read_brightness(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), max_side, picture);
    return problem.empty() ? refusal_type() : refusal_type(problem, refusal_kind_type::format);
}
