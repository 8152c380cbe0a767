#include "test_support.h"

#include "animal/animal.h"
#include "app/console.h"
#include "app/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
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
bool refuse_nothrow_allocations = false;

void add_hex(std::string& out, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%a ", value);
    out += text;
}

void add_int(std::string& out, long long value) { out += std::to_string(value) + " "; }

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
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

long heap_allocations() { return allocations.load(); }

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

void start_world(std::uint32_t seed)
{
    world_destroy();
    world = world_type{};
    random_seed(seed);
    console_capture quiet;
    world_setup();
}

std::string world_fingerprint()
{
    std::string out;
    add_int(out, random_get_state());
    add_int(out, world.num_animals);
    add_int(out, world.num_plants);
    add_int(out, world.update_count);
    add_int(out, world.generation);
    add_hex(out, world.ave_food);
    add_hex(out, world.food_sum);
    add_int(out, world.wrap_edges);
    add_int(out, world.draw_enabled);
    add_int(out, world.running);
    add_int(out, world.updates_per_tick);
    for (double value : {world.width, world.height, world.mutate_rate, world.mutate_amount, world.animal_size,
                         world.plant_size})
        add_hex(out, value);
    for (int value : {world.generation_length, world.start_plants, world.start_animals, world.layer_width,
                      world.layer_count})
        add_int(out, value);
    out += "\n";
    for (const animal_type* a = world.animals; a != nullptr; a = a->next) {
        out += "animal ";
        for (double value : {a->size_x, a->size_y, a->x, a->y, a->vel_x, a->vel_y, a->heading, a->turn, a->speed,
                             a->sensor_distance, a->sensor_size, a->left_motor, a->right_motor})
            add_hex(out, value);
        for (long long value : {(long long)a->food, (long long)a->wall_hits, (long long)a->num_touch,
                                (long long)a->num_vision, (long long)a->layer_width, (long long)a->layer_count,
                                (long long)a->num_neurons, (long long)a->left_output_id,
                                (long long)a->right_output_id})
            add_int(out, value);
        for (const sensor_type& s : a->touch) {
            add_hex(out, s.wall);
            add_hex(out, s.plant);
            add_hex(out, s.animal);
        }
        for (int j = 0; j < a->num_vision; ++j) add_hex(out, a->vision[j].plant);
        for (int i = 0; i < 2 * a->num_vision; ++i) {
            add_hex(out, a->ray_x[i]);
            add_hex(out, a->ray_y[i]);
        }
        out += "\n";
        for (const neuron_type* n = a->neurons; n != nullptr; n = n->next) {
            out += " neuron ";
            add_int(out, n->id);
            add_int(out, n->input_count);
            add_hex(out, n->bias);
            add_hex(out, n->out);
            add_hex(out, n->sum_weight);
            for (std::uint32_t i = 0; i < n->input_count; ++i) add_hex(out, n->scaler[i]);
            out += "\n";
        }
    }
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) {
        out += "plant ";
        for (double value : {p->x, p->y, p->size_x, p->size_y}) add_hex(out, value);
        out += "\n";
    }
    return out;
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

animal_type* animal_at(unsigned index)
{
    animal_type* a = world.animals;
    while (a != nullptr && index-- > 0) a = a->next;
    return a;
}

unsigned animal_list_length()
{
    unsigned n = 0;
    for (const animal_type* a = world.animals; a != nullptr; a = a->next) ++n;
    return n;
}

unsigned plant_list_length()
{
    unsigned n = 0;
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) ++n;
    return n;
}
