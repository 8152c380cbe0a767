// Checkpoints: a world's whole state in one file, so that a run stopped at
// any update, by a crash, a signal or a cluster's time limit, goes on exactly
// as if it had never stopped.
//
// A checkpoint is a NumPy .npz archive, a zip of .npy arrays, one per field,
// so that researchers open it with numpy.load and nothing else. Members are
// stored uncompressed: genes do not shrink much, and a large world must save
// within a frame or two. The layout is told in the README; checkpoint_format
// counts its versions.
//
// As with world files, a file is read and checked whole before the world is
// touched, and a save goes to a temporary file, flushed to disk, that replaces
// the target only once it is whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::int32_t checkpoint_format = 1;

// One member: an array in NumPy's terms, its values little-endian in C order.
struct checkpoint_array_type {
    std::string name;                    // the member is name + ".npy"
    std::string descr;                   // "<f8", "<i4", "<u4", "<u8", "|b1", or "|S" and a length
    std::vector<std::uint64_t> shape;    // empty for a single value
    std::vector<unsigned char> data;     // the values' bytes
};

// A world captured into arrays: quick to take, and written or read apart from
// the world, so that a window can save one on another thread.
struct checkpoint_type {
    std::vector<checkpoint_array_type> arrays;
};

// The current world's whole state; into an earlier capture's room, without new memory.
checkpoint_type checkpoint_capture();
void checkpoint_capture_into(checkpoint_type& checkpoint);

// Writes an archive; on failure says why in reason and leaves any old file as it was.
bool checkpoint_write(const checkpoint_type& checkpoint, const std::string& path, std::string& reason);
// Reads an archive and checks every member's CRC and header; its values are not checked yet.
bool checkpoint_read(const std::string& path, checkpoint_type& checkpoint, std::string& reason);

// Both write one console line ("Checkpoint saved to PATH", "Resumed from PATH
// at generation G, update U", or "Unable to ..." naming the file and the
// reason) and return true on success. A refused file changes nothing.
bool checkpoint_save(const std::string& path);
bool checkpoint_load(const std::string& path);

// What checkpoint_load would refuse the archive for; empty when it would load.
std::string checkpoint_problem(const checkpoint_type& checkpoint);
// Makes the world the archive's; only for one that checkpoint_problem passes.
void checkpoint_apply(const checkpoint_type& checkpoint);

// The console line of the last refused save or load, without its line end.
const std::string& checkpoint_refusal();

// Whether the file begins as a zip archive does: how File, Open tells a
// checkpoint from a world file.
bool checkpoint_is_archive(const std::string& path);

// A single whole number of the archive (such as "generation"), or -1 when it has none.
std::int64_t checkpoint_number(const checkpoint_type& checkpoint, const std::string& name);
