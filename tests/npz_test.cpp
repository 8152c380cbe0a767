// NumPy members: every header form NumPy writes is read, and every damaged
// or foreign one is refused with its reason.
#include "base/npz.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A .npy member of this version, header text and value bytes.
std::vector<unsigned char> npy(int major, const std::string& header, std::size_t values)
{
    std::vector<unsigned char> bytes = {0x93, 'N', 'U', 'M', 'P', 'Y', static_cast<unsigned char>(major), 0};
    const std::size_t length = header.size();
    bytes.push_back(static_cast<unsigned char>(length & 0xFF));
    bytes.push_back(static_cast<unsigned char>(length >> 8));
    if (major >= 2) bytes.insert(bytes.end(), {0, 0});
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), values, 0x40);
    return bytes;
}

}  // namespace

TEST(Npz, HeadersAreReadOrRefusedWithTheirReason)
{
    const std::string good = "{'descr': '<f8', 'fortran_order': False, 'shape': (2, 3), }";
    const struct { std::vector<unsigned char> bytes; const char* reason; std::vector<std::uint64_t> shape; } rows[] = {
        {npy(1, good, 48), "", {2, 3}},
        {npy(2, good, 48), "", {2, 3}},
        {npy(3, "{\"descr\": \"<i4\", \"fortran_order\": False, \"shape\": (5,)}", 20), "", {5}},
        {npy(1, "{'descr': '|b1', 'fortran_order': False, 'shape': ()}", 1), "", {}},
        {npy(1, "{'descr': '<u8', 'fortran_order': False, 'shape': (0,)}", 0), "", {0}},
        {npy(1, good, 47), "holds 47 bytes of values, its shape asks for more", {}},
        {npy(1, good, 56), "holds 56 bytes of values, its shape asks for 48", {}},
        {npy(4, good, 48), "unknown NumPy version 4", {}},
        {npy(1, "{'descr': '<f4', 'fortran_order': False, 'shape': (2,)}", 8), "unknown type <f4", {}},
        {npy(1, "{'descr': '<f8', 'fortran_order': True, 'shape': (2,)}", 16), "not in C order", {}},
        {npy(1, "{'fortran_order': False, 'shape': (2,)}", 16), "has no descr", {}},
        {npy(1, "{'descr': '<f8', 'shape': (2,)}", 16), "has no fortran_order", {}},
        {npy(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (2, x)}", 16), "has a bad shape", {}},
        {npy(1, "{'descr': '<f8', 'fortran_order': False, 'shape': 2}", 16), "has a bad shape", {}},
        {npy(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (99999999999999999999,)}", 16), "has a bad shape", {}},
        {npy(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (1,1,1,1,1,1,1,1,1)}", 8), "too many dimensions", {}},
        {npy(1, "{'descr': <f8, 'fortran_order': False, 'shape': (2,)}", 16), "has a bad descr", {}},
        {{0x93, 'N', 'U', 'M', 'P', 'X', 1, 0, 0, 0}, "is not a NumPy array", {}},
        {{0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0, 200, 0, '{'}, "is cut short", {}},
        {{0x93, 'N', 'U', 'M', 'P', 'Y', 2, 0, 0, 0}, "is cut short", {}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        std::string reason;
        npz_array_type array;
        try {
            array = npz_parse_npy("m", rows[i].bytes);
        } catch (const refusal_error& error) {
            reason = error.refusal;
        }
        if (std::string(rows[i].reason).empty()) {
            EXPECT_EQ(reason, "") << "row " << i;
            EXPECT_EQ(array.shape, rows[i].shape) << "row " << i;
        } else {
            EXPECT_EQ(reason.rfind("member m.npy ", 0), 0u) << "row " << i << ": " << reason;
            EXPECT_NE(reason.find(rows[i].reason), std::string::npos) << "row " << i << ": " << reason;
        }
    }
    // What it writes it reads back, for every type it writes.
    for (const char* descr : {"<f8", "<i4", "<u4", "<u8", "|b1", "|S7"}) {
        npz_array_type array{"a", descr, {3}, std::vector<unsigned char>(3 * npz_descr_size(descr), 0x21)};
        const npz_array_type back = npz_parse_npy("a", npz_npy_bytes(array));
        EXPECT_TRUE(back.descr == array.descr && back.shape == array.shape && back.data == array.data) << descr;
        EXPECT_EQ(npz_npy_bytes(array).size() % 64, array.data.size() % 64) << descr << ": values start on a multiple of 64";
    }
}

// The same archive makes the same file, byte for byte, whenever and wherever
// it is written: zip members carry local times, so two zones would differ.
TEST(Npz, TheSameArchiveIsTheSameFileInEveryTimeZone)
{
    const scratch_folder folder;
    const npz_archive_type archive{{{"values", "<u4", {2}, {1, 0, 0, 0, 2, 0, 0, 0}}}};
    std::vector<std::string> files;
    for (const char* zone : {"UTC0", "PST8PDT", "JST-9"}) {
        setenv("TZ", zone, 1);
        tzset();
        const std::string path = std::string("zone-") + zone + ".npz";
        ASSERT_EQ(npz_write(archive, path), "");
        std::ifstream in(path, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    unsetenv("TZ");
    tzset();
    EXPECT_EQ(files[0], files[1]);
    EXPECT_EQ(files[0], files[2]);
}
