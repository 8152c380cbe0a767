// libFuzzer target: arbitrary bytes as a checkpoint, read through the same
// path as --resume and File, Open. A refused file must leave the world
// exactly as it was; an accepted one must save as a file that loads again
// into the same state.
#include "base/console.h"
#include "scratch.h"
#include "world/checkpoint.h"
#include "world/world.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// The world every input is read into, as the window reads files into its one world.
world_type& fuzz_world()
{
    static world_type world;
    return world;
}

std::string input_path, saved_path;

// The whole state as a checkpoint holds it, but the version, which a save writes anew.
std::string state()
{
    std::string bytes;
    for (const checkpoint_array_type& array : checkpoint_capture(fuzz_world()).arrays)
        bytes.append(array.name).append(array.descr).append(array.data.begin(), array.data.end());
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    h_console = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const std::string folder = fuzz_scratch_folder();
    input_path = folder + "/input.npz";
    saved_path = folder + "/saved.npz";
    world_start(fuzz_world(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int file = open(input_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0 || write(file, data, size) != static_cast<ssize_t>(size)) std::abort();
    close(file);
    const std::string before = state();
    world_type& world = fuzz_world();
    if (!checkpoint_load(world, input_path).empty()) {
        if (state() != before) std::abort();  // a refused file changed the world
        return 0;
    }
    const std::string loaded = state();
    if (!checkpoint_save(world, saved_path).empty() || !checkpoint_load(world, saved_path).empty() || state() != loaded) std::abort();
    return 0;
}
