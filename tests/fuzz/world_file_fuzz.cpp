// libFuzzer target: arbitrary bytes as a world file, read through the same
// path as the Open command. A refused file must leave the world exactly as it
// was; an accepted one must save as a file that loads again.
#include "base/console.h"
#include "scratch.h"
#include "base/utility.h"
#include "world/world.h"
#include "world/world_file.h"

#include <cstdint>
#include <cstdio>
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

std::string scratch_path;

void write_bytes(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) std::abort();
    while (size > 0) {
        const ssize_t written = write(file, data, size);
        if (written <= 0) std::abort();
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    close(file);
}

// What a refused file must leave alone, cheap enough to take for every input:
// the lists, counts, parameters, counters and the random state.
std::string world_summary()
{
    const world_type& world = fuzz_world();
    char text[512];
    std::snprintf(text, sizeof text, "%p %p %u %d %a %a %a %a %a %d %d %d %d %d %u %d %u",
                  static_cast<void*>(world.animals), static_cast<void*>(world.plants), world.num_animals,
                  world.num_plants, world.width, world.height, world.mutate_amount, world.animal_size,
                  world.plant_size, world.generation_length, world.start_animals, world.start_plants,
                  world.layer_width, world.layer_count, world.generation, world.update_count, world.random.state);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    h_console = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const std::string folder = fuzz_scratch_folder();
    scratch_path = folder + "/input.dat";
    world_start(fuzz_world(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    write_bytes(scratch_path, data, size);
    const std::string before = world_summary();
    world_type& world = fuzz_world();
    if (!world_load_file(world, scratch_path).empty()) {
        if (world_summary() != before) std::abort();  // a refused file changed the world
        return 0;
    }
    const std::string saved = world_file_text(world);
    write_bytes(scratch_path, reinterpret_cast<const std::uint8_t*>(saved.data()), saved.size());
    if (!world_load_file(world, scratch_path).empty() || world_file_text(world) != saved) std::abort();  // save must load again
    return 0;
}
