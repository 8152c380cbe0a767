#include "test_support.h"

#include "world/settings.h"

#include "animal/animal.h"
#include "base/console.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/checkpoint.h"
#include "world/world.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <unistd.h>

namespace {

std::atomic<long> allocations{0};
std::atomic<long> releases{0};
bool refuse_nothrow_allocations = false;

}  // namespace

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (refuse_nothrow_allocations) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept
{
    if (block != nullptr) releases.fetch_add(1, std::memory_order_relaxed);
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete(block); }

long heap_allocations() { return allocations.load(); }
long heap_blocks_alive() { return allocations.load() - releases.load(); }

void simulate_heap_exhaustion() { refuse_nothrow_allocations = true; }

console_capture::console_capture() : file_(-1), saved_(h_console)
{
    char name[] = "/tmp/velmora_console_XXXXXX";
    file_ = mkstemp(name);
    unlink(name);
    h_console = file_;
}

console_capture::~console_capture()
{
    h_console = saved_;
    close(file_);
}

std::string console_capture::text() const
{
    std::string out;
    char buffer[4096];
    off_t offset = 0;
    ssize_t got = 0;
    while ((got = pread(file_, buffer, sizeof buffer, offset)) > 0) {
        out.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
    return out;
}

scratch_folder::scratch_folder()
{
    previous_ = std::filesystem::current_path().string();
    char name[] = "/tmp/velmora_test_XXXXXX";
    path_ = mkdtemp(name);
    std::filesystem::current_path(path_);
}

scratch_folder::~scratch_folder()
{
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void start_world(world_type& world, std::uint32_t seed)
{
    console_capture quiet;
    world_start(world, seed);
}

void quiet_world(world_type& world, std::uint32_t seed, std::int32_t generation_length)
{
    start_world(world, seed);
    world.options.log_path.clear();
    world.options.console_scores = false;
    world.generation_length = generation_length;
}

std::string world_state(const world_type& world)
{
    std::string bytes;
    for (const checkpoint_array_type& array : checkpoint_capture(world).arrays) {
        bytes += array.name + array.descr + std::to_string(array.shape.size());
        for (std::uint64_t side : array.shape) bytes.append(1, ':').append(std::to_string(side));
        bytes.append(array.data.begin(), array.data.end());
    }
    return bytes;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

animal_type* animal_at(const world_type& world, unsigned index)
{
    animal_type* a = world.animals;
    while (a != nullptr && index-- > 0) a = a->next;
    return a;
}

unsigned animal_list_length(const world_type& world)
{
    unsigned n = 0;
    for (const animal_type* a = world.animals; a != nullptr; a = a->next) ++n;
    return n;
}

unsigned plant_list_length(const world_type& world)
{
    unsigned n = 0;
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) ++n;
    return n;
}

double setting_test_value(const setting_row_type& row)
{
    switch (row.kind) {
    case setting_kind_type::flag: return row.fallback != 0.0 ? 0.0 : 1.0;
    case setting_kind_type::choice: return row.fallback + 1.0 < row.choice_count ? row.fallback + 1.0 : 0.0;
    case setting_kind_type::whole: return row.fallback + 3.0 <= row.high ? row.fallback + 3.0 : row.fallback - 1.0;
    case setting_kind_type::real: break;
    }
    return row.fallback != 0.0 ? row.fallback * 1.5 : (row.low + row.high) / 4.0;
}
