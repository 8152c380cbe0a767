// Checkpoints: a world's whole state in one file, so that a run stopped at
// any update, by a crash, a signal or a cluster's time limit, goes on exactly
// as if it had never stopped.
//
// A checkpoint is a NumPy .npz archive (base/npz.h), one member per field of
// the table below, so that researchers open it with numpy.load and nothing
// else. Members are stored uncompressed: genes do not shrink much, and a large
// world must save within a frame or two. The layout is told in the README;
// checkpoint_format counts its versions.
//
// As with world files, a file is read and checked whole before the world is
// touched, and a save goes to a temporary file, flushed to disk, that replaces
// the target only once it is whole.
#pragma once

#include "base/npz.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct world_type;

// 2: the run's changes (event_* members and run_next) besides format 1's
// members; files of format 1 load as runs without changes.
// 3: event_value2, the second value of the window's steering; files of
// format 2 load with it 0.
// 4: the environment, seasons (season_*) and a food map (food_map_*);
// files of earlier formats load with neither.
// 5: the edits by hand (event_data_length, event_data) and where an added
// animal came from (animal_came_from); earlier files load without them.
// 6: whether the mutation rate was given (mutate_rate_set) and the run's
// seed (seed); earlier files load with the rate unset, as their runs had it,
// and with the seed the loading world was started with.
inline constexpr std::int32_t checkpoint_format = 6;

// A world captured into arrays: quick to take, and written or read apart from
// the world, so that a window can save one on another thread.
using checkpoint_array_type = npz_array_type;
using checkpoint_type = npz_archive_type;

// The world's whole state; into an earlier capture's room, without new memory.
checkpoint_type checkpoint_capture(const world_type& world);
void checkpoint_capture_into(const world_type& world, checkpoint_type& checkpoint);

// Writes an archive, or reads one and checks every member's CRC and header
// (its values are not checked yet). Both return why they could not, or an
// empty text; a failed write leaves any old file as it was.
refusal_type checkpoint_write(const checkpoint_type& checkpoint, const std::string& path);
refusal_type checkpoint_read(const std::string& path, checkpoint_type& checkpoint);

// Both say one line on the world's console ("Checkpoint saved to PATH",
// "Resumed from PATH at generation G, update U", or "Unable to ..." naming
// the file and the reason) and return that refusal's line, or an empty text
// when they succeeded. A refused file changes nothing.
refusal_type checkpoint_save(world_type& world, const std::string& path);
refusal_type checkpoint_load(world_type& world, const std::string& path);

// What checkpoint_load would refuse the archive for; empty when it would load.
std::string checkpoint_problem(const checkpoint_type& checkpoint);
// Makes the world the archive's; only for one that checkpoint_problem passes.
void checkpoint_apply(world_type& world, const checkpoint_type& checkpoint);

// Whether the file begins as a zip archive does: how File, Open tells a
// checkpoint from a world file.
bool checkpoint_is_archive(const std::string& path);

// A single whole number of the archive (such as "generation"), or -1 when it has none.
std::int64_t checkpoint_number(const checkpoint_type& checkpoint, const std::string& name);

// ---- The table that capture, check and apply all walk.

// Whose values a member holds: the world's own, or one row per animal (in
// list order), per plant (in list order), per generation of the history, per
// change of the run (from format 2 on) or per value of the changes' data, the
// changes' data one after another (from format 5 on).
enum class checkpoint_owner_type { world, animal, plant, history, event, event_data };

// What a timeline's keyframes share between them rather than copy.
enum class checkpoint_share_type {
    none,         // each keyframe keeps its own copy
    animal_ids,   // not shared: the ids by which per_animal rows are matched
    per_animal,   // a row per animal, shared while the animal of that id keeps it
    whole,        // the whole member, shared while it does not change
};

struct checkpoint_field_type {
    const char* name;                 // the member is name + ".npy"
    checkpoint_owner_type owner;
    const char* descr;                // NumPy's type of its values
    std::size_t item;                 // bytes per value
    // The shape of one record's values, from the world's own numbers; empty for a single value.
    std::vector<std::uint64_t> (*inner)(const world_type& numbers);
    // A record's values into bytes, and back: record is the world, an
    // animal_type, a plant_type or a generation_record_type, as owner says.
    void (*read)(const void* record, unsigned char* out);
    void (*write)(world_type& world, void* record, const unsigned char* in);
    std::int32_t since = 1;           // the format it first appeared in; earlier files lack it
    checkpoint_share_type share = checkpoint_share_type::none;
    bool nan_allowed = false;         // its doubles may be NaN (a fitness of 0 over 0); else they must be finite
};
std::span<const checkpoint_field_type> checkpoint_fields();
// A capture's member of a field of the table; its members are the format,
// the version, then one per field in the table's order.
inline constexpr std::size_t checkpoint_leading_members = 2;
checkpoint_array_type& checkpoint_member(checkpoint_type& checkpoint, const checkpoint_field_type& field);
const checkpoint_array_type& checkpoint_member(const checkpoint_type& checkpoint, const checkpoint_field_type& field);

// Every field of the records a checkpoint holds, in declaration order, with
// the member that keeps it or why none does, so that a field added to a
// record is either kept or explained: the tests check that these fields
// cover each record whole.
struct checkpoint_record_field_type {
    const char* record;   // "world_type", "animal_type", "plant_type", "generation_record_type", "run_type", "run_event_type"
    const char* field;
    std::size_t offset;   // bytes from the record's start
    std::size_t size;     // bytes
    const char* kept;     // the member of checkpoint_fields() that keeps it, or "-" and why not
};
std::vector<checkpoint_record_field_type> checkpoint_record_fields();
std::size_t checkpoint_record_size(const std::string& record);   // sizeof the record of that name
