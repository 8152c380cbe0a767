// NumPy archives (.npz): a zip of .npy arrays, one per member, so that
// researchers open what the program writes with numpy.load and nothing else.
// Members are stored uncompressed. A read checks every member's CRC and
// header; an archive that is damaged or hostile is refused with a reason and
// never asks for absurd amounts of memory. A write goes to a temporary file,
// flushed to disk, that replaces the target only once it is whole.
#pragma once

#include "base/refusal.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

// One member: an array in NumPy's terms, its values little-endian in C order.
struct npz_array_type {
    std::string name;                    // the member is name + ".npy"
    std::string descr;                   // "<f8", "<i4", "<u4", "<u8", "|b1", or "|S" and a length
    std::vector<std::uint64_t> shape;    // empty for a single value
    std::vector<unsigned char> data;     // the values' bytes
};

struct npz_archive_type {
    std::vector<npz_array_type> arrays;
};

// The most one member, and all members together, may hold when read.
inline constexpr std::uint64_t npz_max_member_bytes = 256ULL << 20;
inline constexpr std::uint64_t npz_max_archive_bytes = 4 * npz_max_member_bytes;

// Writes an archive whole (base/file.h); returns why it could not (any old
// file then stays as it was), or an empty text.
refusal_type npz_write(const npz_archive_type& archive, const std::string& path);
// Reads an archive, checking every member's CRC and .npy header; returns why
// it could not (the archive is then empty), or an empty text.
refusal_type npz_read(const std::string& path, npz_archive_type& archive);
// Whether the file begins as a zip archive does.
bool npz_is_archive(const std::string& path);

// The values of a member: NumPy's names of the types we store, and each
// value's bytes, little-endian whatever the machine's order.
template <class T> constexpr const char* npz_descr_of();
template <> constexpr const char* npz_descr_of<double>() { return "<f8"; }
template <> constexpr const char* npz_descr_of<std::int32_t>() { return "<i4"; }
template <> constexpr const char* npz_descr_of<std::uint32_t>() { return "<u4"; }
template <> constexpr const char* npz_descr_of<std::uint64_t>() { return "<u8"; }
template <> constexpr const char* npz_descr_of<bool>() { return "|b1"; }

template <class T>
inline constexpr std::size_t npz_item_size = std::is_same_v<T, bool> ? 1 : sizeof(T);

template <class T>
void npz_put_value(unsigned char* out, T value)
{
    if constexpr (std::is_same_v<T, bool>) {
        *out = value ? 1 : 0;
    } else {
        std::memcpy(out, &value, sizeof value);
        if constexpr (std::endian::native == std::endian::big) std::reverse(out, out + sizeof value);
    }
}

template <class T>
T npz_get_value(const unsigned char* in)
{
    if constexpr (std::is_same_v<T, bool>) {
        return *in != 0;
    } else {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, in, sizeof bytes);
        if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof bytes);
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
}

std::uint64_t npz_element_count(const std::vector<std::uint64_t>& shape);   // saturates at UINT64_MAX
std::size_t npz_descr_size(const std::string& descr);                         // bytes per value; 0 for a type we do not read
std::string npz_shape_text(const std::vector<std::uint64_t>& shape);         // as Python writes a tuple: "(3,)", "(2, 5)"
// The .npy bytes of one member, and a member parsed from them (throws refusal_error naming it).
std::vector<unsigned char> npz_npy_bytes(const npz_array_type& array);
npz_array_type npz_parse_npy(const std::string& name, const std::vector<unsigned char>& bytes);

