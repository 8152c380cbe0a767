#include "world/checkpoint.h"

#include "animal/animal.h"
#include "base/console.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/grid.h"
#include "world/world.h"
#include "world/world_file.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A member may not be larger than a world file, nor the archive's members
// together larger than this, so a damaged or hostile archive cannot ask for
// absurd amounts of memory.
constexpr std::uint64_t max_member_bytes = world_file_max_bytes;
constexpr std::uint64_t max_archive_bytes = 4 * world_file_max_bytes;

struct checkpoint_error {
    std::string reason;
};

[[noreturn]] void fail(const std::string& reason) { throw checkpoint_error{reason}; }

// NumPy's type names of the values we store.
template <class T> const char* descr_of();
template <> const char* descr_of<double>() { return "<f8"; }
template <> const char* descr_of<std::int32_t>() { return "<i4"; }
template <> const char* descr_of<std::uint32_t>() { return "<u4"; }
template <> const char* descr_of<std::uint64_t>() { return "<u8"; }
template <> const char* descr_of<bool>() { return "|b1"; }

// Values go to and come from the file little-endian, whatever the machine's order.
template <class T>
void put_value(unsigned char* out, T value)
{
    if constexpr (std::is_same_v<T, bool>) {
        *out = value ? 1 : 0;
    } else {
        std::memcpy(out, &value, sizeof value);
        if constexpr (std::endian::native == std::endian::big) std::reverse(out, out + sizeof value);
    }
}

template <class T>
T get_value(const unsigned char* in)
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

std::uint64_t element_count(const std::vector<std::uint64_t>& shape)
{
    std::uint64_t count = 1;
    for (std::uint64_t side : shape) count = side == 0 || count <= UINT64_MAX / side ? count * side : UINT64_MAX;
    return count;
}

std::size_t item_size(const std::string& descr)
{
    if (descr == "<f8" || descr == "<u8") return 8;
    if (descr == "<i4" || descr == "<u4") return 4;
    if (descr == "|b1") return 1;
    if (descr.size() > 2 && descr.compare(0, 2, "|S") == 0) return std::strtoul(descr.c_str() + 2, nullptr, 10);
    return 0;
}

// Fills arrays member by member as the world is walked, in the room of an
// earlier capture where there is one, so that capturing again and again (the
// window's autosave) neither allocates nor touches new memory.
class capture_type {
public:
    explicit capture_type(checkpoint_type& out) : out_(out) {}
    ~capture_type() { out_.arrays.resize(next_); }

    template <class T>
    void add(const char* name, std::vector<std::uint64_t> shape)
    {
        if (next_ == out_.arrays.size()) out_.arrays.emplace_back();
        checkpoint_array_type& array = out_.arrays[next_++];
        array.name = name;
        array.descr = descr_of<T>();
        array.shape = std::move(shape);
        array.data.resize(element_count(array.shape) * (std::is_same_v<T, bool> ? 1 : sizeof(T)));
        data_ = array.data.data();
    }

    // The last array added, filled value by value.
    template <class T>
    void set(std::size_t index, T value)
    {
        put_value(data_ + index * (std::is_same_v<T, bool> ? 1 : sizeof(T)), value);
    }

    template <class T>
    void single(const char* name, T value)
    {
        add<T>(name, {});
        set(0, value);
    }

    void text(const char* name, const std::string& value)
    {
        if (next_ == out_.arrays.size()) out_.arrays.emplace_back();
        checkpoint_array_type& array = out_.arrays[next_++];
        array.name = name;
        array.descr = "|S" + std::to_string(std::max<std::size_t>(value.size(), 1));
        array.shape.clear();
        array.data.assign(value.begin(), value.end());
        array.data.resize(std::max<std::size_t>(value.size(), 1), 0);
    }

    // One value per element of a list, from a field reader.
    template <class T, class Record, class Field>
    void column(const char* name, const std::vector<Record*>& records, Field field)
    {
        add<T>(name, {records.size()});
        for (std::size_t i = 0; i < records.size(); ++i) set<T>(i, field(*records[i]));
    }

private:
    checkpoint_type& out_;
    std::size_t next_ = 0;             // arrays filled so far
    unsigned char* data_ = nullptr;    // the last one's values
};

// The history's columns, as the CSV names them.
template <class F>
void for_each_history_column(F f)
{
    f("history_generation", &generation_record_type::generation);
    f("history_food", &generation_record_type::food);
    f("history_wall", &generation_record_type::wall);
    f("history_food_per_animal", &generation_record_type::food_per_animal);
    f("history_best_food", &generation_record_type::best_food);
    f("history_ave_food", &generation_record_type::ave_food);
    f("history_animals", &generation_record_type::animals);
    f("history_plants", &generation_record_type::plants);
    f("history_gene_spread", &generation_record_type::gene_spread);
    f("history_lineages", &generation_record_type::lineages);
}

// The world's parameters and counters that are single numbers, by name.
template <class F>
void for_each_world_number(world_type& w, F f)
{
    f("width", w.width);
    f("height", w.height);
    f("mutate_rate", w.mutate_rate);
    f("mutate_amount", w.mutate_amount);
    f("animal_size", w.animal_size);
    f("plant_size", w.plant_size);
    f("ave_food", w.ave_food);
    f("food_sum", w.food_sum);
    f("generation_length", w.generation_length);
    f("start_plants", w.start_plants);
    f("start_animals", w.start_animals);
    f("layer_width", w.layer_width);
    f("layer_count", w.layer_count);
    f("update_count", w.update_count);
    f("updates_per_tick", w.updates_per_tick);
    f("generation", w.generation);
    f("random_state", w.random.state);
    f("last_id", w.last_id);
    f("wrap_edges", w.wrap_edges);
    f("draw_enabled", w.draw_enabled);
    f("running", w.running);
    f("mode_manual", w.mode_manual);
}

// The animals' single numbers, by name.
template <class F>
void for_each_animal_number(F f)
{
    f("animal_x", &animal_type::x);
    f("animal_y", &animal_type::y);
    f("animal_size_x", &animal_type::size_x);
    f("animal_size_y", &animal_type::size_y);
    f("animal_vel_x", &animal_type::vel_x);
    f("animal_vel_y", &animal_type::vel_y);
    f("animal_heading", &animal_type::heading);
    f("animal_turn", &animal_type::turn);
    f("animal_speed", &animal_type::speed);
    f("animal_fitness", &animal_type::fitness);
    f("animal_left_motor", &animal_type::left_motor);
    f("animal_right_motor", &animal_type::right_motor);
    f("animal_food", &animal_type::food);
    f("animal_wall_hits", &animal_type::wall_hits);
    f("animal_id", &animal_type::id);
    f("animal_parent_a", &animal_type::parent_a);
    f("animal_parent_b", &animal_type::parent_b);
    f("animal_founder", &animal_type::founder);
    f("animal_born", &animal_type::born);
}

std::uint32_t genes_per_animal(std::int32_t layer_width, std::int32_t layer_count)
{
    const std::uint32_t neurons = static_cast<std::uint32_t>(layer_width) * static_cast<std::uint32_t>(layer_count) + 2;
    std::uint32_t genes = 0;
    for (std::uint32_t id = 0; id < neurons; ++id) genes += animal_wired_inputs(id, static_cast<std::uint32_t>(layer_width)) + 1;
    return genes;
}

constexpr int rays = 2 * animal_vision_count;  // ray ends kept per animal

// ---- Reading: the members by name, each checked as it is asked for.

class archive_view {
public:
    explicit archive_view(const checkpoint_type& checkpoint)
    {
        for (const checkpoint_array_type& array : checkpoint.arrays) members_[array.name] = &array;
    }

    template <class T>
    const checkpoint_array_type& need(const std::string& name, const std::vector<std::uint64_t>& shape) const
    {
        const auto found = members_.find(name);
        if (found == members_.end()) fail("it has no " + name);
        const checkpoint_array_type& array = *found->second;
        if (array.descr != descr_of<T>())
            fail(name + " holds " + array.descr + " values, expected " + descr_of<T>());
        if (array.shape != shape) fail(name + " has the shape " + shape_text(array.shape) + ", expected " + shape_text(shape));
        return array;
    }

    template <class T>
    T single(const std::string& name) const
    {
        return get_value<T>(need<T>(name, {}).data.data());
    }

    template <class T>
    std::vector<T> values(const std::string& name, const std::vector<std::uint64_t>& shape) const
    {
        const checkpoint_array_type& array = need<T>(name, shape);
        std::vector<T> out(element_count(shape));
        const std::size_t size = std::is_same_v<T, bool> ? 1 : sizeof(T);
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = get_value<T>(array.data.data() + i * size);
        if constexpr (std::is_same_v<T, double>)
            for (std::size_t i = 0; i < out.size(); ++i)
                if (!std::isfinite(out[i])) fail(name + " holds a value that is not a finite number");
        return out;
    }

    std::string text(const std::string& name) const
    {
        const auto found = members_.find(name);
        if (found == members_.end() || found->second->descr.compare(0, 2, "|S") != 0) return {};
        const std::vector<unsigned char>& data = found->second->data;
        return std::string(data.begin(), std::find(data.begin(), data.end(), 0));
    }

    bool has(const std::string& name) const { return members_.count(name) != 0; }

    // The length of a one-dimensional member; 0 for none or another shape.
    std::uint64_t length(const std::string& name) const
    {
        const auto found = members_.find(name);
        return found != members_.end() && found->second->shape.size() == 1 ? found->second->shape[0] : 0;
    }

    static std::string shape_text(const std::vector<std::uint64_t>& shape)
    {
        std::string text = "(";
        for (std::size_t i = 0; i < shape.size(); ++i) text += (i > 0 ? ", " : "") + std::to_string(shape[i]);
        return text + (shape.size() == 1 ? ",)" : ")");
    }

private:
    std::map<std::string, const checkpoint_array_type*> members_;
};

// Everything of an archive that the world takes, checked.
struct loaded_type {
    world_type numbers{};                      // the single numbers, in their world fields
    std::uint64_t animals = 0;
    std::uint64_t plants = 0;
    std::uint32_t neurons = 0;                 // per animal
    std::uint32_t genes = 0;                   // per animal
    std::map<std::string, std::vector<double>> animal_doubles;
    std::map<std::string, std::vector<std::int64_t>> animal_wholes;   // whole numbers of every width, by name
    std::vector<double> touch, vision, ray_x, ray_y, outs, animal_genes;
    std::vector<double> plant_x, plant_y, plant_size_x, plant_size_y;
    std::vector<generation_record_type> history;
};

loaded_type check_archive(const checkpoint_type& checkpoint)
{
    const archive_view view(checkpoint);
    if (!view.has("format")) fail("it is not a Velmora checkpoint (it has no format)");
    const std::int32_t format = view.single<std::int32_t>("format");
    if (format != checkpoint_format)
        fail("its format " + std::to_string(format) + " is not " + std::to_string(checkpoint_format) +
             " (written by velmora " + view.text("version") + ")");

    loaded_type loaded;
    world_type& w = loaded.numbers;
    for_each_world_number(w, [&view](const char* name, auto& field) {
        field = view.single<std::remove_reference_t<decltype(field)>>(name);
    });
    for (const auto& [name, value] : {std::pair<const char*, double>{"width", w.width}, {"height", w.height},
                                      {"mutate_rate", w.mutate_rate}, {"mutate_amount", w.mutate_amount},
                                      {"animal_size", w.animal_size}, {"plant_size", w.plant_size},
                                      {"ave_food", w.ave_food}, {"food_sum", w.food_sum}})
        if (!std::isfinite(value)) fail(std::string(name) + " is not a finite number");

    loaded.animals = view.need<double>("animal_x", {view.length("animal_x")}).shape[0];
    loaded.plants = view.need<double>("plant_x", {view.length("plant_x")}).shape[0];
    if (loaded.animals > static_cast<std::uint64_t>(world_file_max_animals))
        fail("it holds " + std::to_string(loaded.animals) + " animals, more than " + std::to_string(world_file_max_animals));
    if (loaded.plants > static_cast<std::uint64_t>(world_file_max_plants))
        fail("it holds " + std::to_string(loaded.plants) + " plants, more than " + std::to_string(world_file_max_plants));
    const std::string limits = world_file_limits_problem(w.width, w.height, w.plant_size, w.animal_size, w.generation_length,
                                                         static_cast<std::int32_t>(loaded.plants), static_cast<std::int32_t>(loaded.animals),
                                                         w.layer_width, w.layer_count);
    if (!limits.empty()) fail(limits);
    if (w.update_count < 0 || w.update_count >= w.generation_length)
        fail("update_count must be 0 to " + std::to_string(w.generation_length - 1) + ", found " + std::to_string(w.update_count));
    if (w.start_animals > world_file_max_animals || w.start_plants > world_file_max_plants)
        fail("the counts a reset makes are beyond a world file's limits");
    if (w.updates_per_tick < 1) fail("updates_per_tick must be at least 1");

    const std::uint64_t n = loaded.animals;
    loaded.neurons = static_cast<std::uint32_t>(w.layer_width) * static_cast<std::uint32_t>(w.layer_count) + 2;
    loaded.genes = genes_per_animal(w.layer_width, w.layer_count);
    for_each_animal_number([&](const char* name, auto field) {
        using value_type = std::remove_reference_t<decltype(std::declval<animal_type&>().*field)>;
        if constexpr (std::is_same_v<value_type, double>) {
            loaded.animal_doubles[name] = view.values<double>(name, {n});
        } else {
            const std::vector<value_type> values = view.values<value_type>(name, {n});
            loaded.animal_wholes[name].assign(values.begin(), values.end());
        }
    });
    for (const char* name : {"animal_size_x", "animal_size_y"})
        for (const double size : loaded.animal_doubles[name])
            if (!(size >= world_file_min_size)) fail(std::string(name) + " holds a size below 0.000001");
    loaded.touch = view.values<double>("animal_touch", {n, animal_touch_count, 3});
    loaded.vision = view.values<double>("animal_vision", {n, animal_vision_count});
    loaded.ray_x = view.values<double>("animal_ray_x", {n, rays});
    loaded.ray_y = view.values<double>("animal_ray_y", {n, rays});
    loaded.outs = view.values<double>("neuron_out", {n, loaded.neurons});
    loaded.animal_genes = view.values<double>("animal_genes", {n, loaded.genes});

    const std::uint64_t m = loaded.plants;
    loaded.plant_x = view.values<double>("plant_x", {m});
    loaded.plant_y = view.values<double>("plant_y", {m});
    loaded.plant_size_x = view.values<double>("plant_size_x", {m});
    loaded.plant_size_y = view.values<double>("plant_size_y", {m});

    const std::uint64_t generations = view.length("history_generation");
    loaded.history.resize(generations);
    for_each_history_column([&](const char* name, auto field) {
        using value_type = std::remove_reference_t<decltype(std::declval<generation_record_type&>().*field)>;
        const std::vector<value_type> column = view.values<value_type>(name, {generations});
        for (std::uint64_t g = 0; g < generations; ++g) loaded.history[g].*field = column[g];
    });
    const std::vector<std::uint64_t> founders = view.values<std::uint64_t>("history_line_founders", {generations, 8});
    const std::vector<std::uint32_t> animals = view.values<std::uint32_t>("history_line_animals", {generations, 8});
    for (std::uint64_t g = 0; g < generations; ++g)
        for (std::size_t k = 0; k < 8; ++k) {
            loaded.history[g].line_founders[k] = founders[g * 8 + k];
            loaded.history[g].line_animals[k] = animals[g * 8 + k];
        }
    return loaded;
}


// ---- The .npy form of one member.

std::vector<unsigned char> npy_bytes(const checkpoint_array_type& array)
{
    std::string header = "{'descr': '" + array.descr + "', 'fortran_order': False, 'shape': " +
                         archive_view::shape_text(array.shape) + ", }";
    // Magic, version 1.0, the header's length, then the header padded so the
    // values start on a multiple of 64 bytes.
    const std::size_t fixed = 10;
    header.append(63 - (fixed + header.size()) % 64, ' ');
    header += '\n';
    std::vector<unsigned char> bytes = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0,
                                        static_cast<unsigned char>(header.size() & 0xFF),
                                        static_cast<unsigned char>(header.size() >> 8)};
    bytes.reserve(fixed + header.size() + array.data.size());
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), array.data.begin(), array.data.end());
    return bytes;
}

// Parses a member; the reason names it when it is not a .npy array we can read.
checkpoint_array_type parse_npy(const std::string& name, const std::vector<unsigned char>& bytes)
{
    const auto bad = [&name](const std::string& what) { return "member " + name + ".npy " + what; };
    static const unsigned char magic[] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
    if (bytes.size() < 10 || !std::equal(magic, magic + 6, bytes.begin())) fail(bad("is not a NumPy array"));
    const unsigned major = bytes[6];
    std::size_t start = 10;
    std::size_t length = bytes[8] | (std::size_t{bytes[9]} << 8);
    if (major == 2 || major == 3) {
        if (bytes.size() < 12) fail(bad("is cut short"));
        length = get_value<std::uint32_t>(bytes.data() + 8);
        start = 12;
    } else if (major != 1) {
        fail(bad("has an unknown NumPy version " + std::to_string(major)));
    }
    if (length > bytes.size() - start) fail(bad("is cut short"));
    const std::string header(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                             bytes.begin() + static_cast<std::ptrdiff_t>(start + length));

    const auto value_after = [&](const char* key) -> std::size_t {
        for (const char quote : {'\'', '"'}) {
            const std::size_t at = header.find(std::string(1, quote) + key + quote);
            if (at == std::string::npos) continue;
            std::size_t colon = header.find(':', at);
            if (colon == std::string::npos) break;
            ++colon;
            while (colon < header.size() && header[colon] == ' ') ++colon;
            return colon;
        }
        fail(bad(std::string("has no ") + key + " in its header"));
    };
    checkpoint_array_type array;
    array.name = name;
    std::size_t at = value_after("descr");
    if (at >= header.size() || (header[at] != '\'' && header[at] != '"')) fail(bad("has a bad descr"));
    const std::size_t close = header.find(header[at], at + 1);
    if (close == std::string::npos) fail(bad("has a bad descr"));
    array.descr = header.substr(at + 1, close - at - 1);
    at = value_after("fortran_order");
    if (header.compare(at, 5, "False") != 0) fail(bad("is not in C order"));
    at = value_after("shape");
    if (at >= header.size() || header[at] != '(') fail(bad("has a bad shape"));
    const std::size_t end = header.find(')', at);
    if (end == std::string::npos) fail(bad("has a bad shape"));
    for (std::size_t p = at + 1; p < end;) {
        while (p < end && (header[p] == ' ' || header[p] == ',')) ++p;
        if (p == end) break;
        if (header[p] < '0' || header[p] > '9') fail(bad("has a bad shape"));
        std::uint64_t side = 0;
        for (; p < end && header[p] >= '0' && header[p] <= '9'; ++p) {
            if (side > (UINT64_MAX - 9) / 10) fail(bad("has a bad shape"));
            side = side * 10 + static_cast<std::uint64_t>(header[p] - '0');
        }
        array.shape.push_back(side);
        if (array.shape.size() > 8) fail(bad("has too many dimensions"));
    }
    const std::size_t size = item_size(array.descr);
    if (size == 0) fail(bad("holds values of an unknown type " + array.descr));
    const std::uint64_t count = element_count(array.shape);
    const std::uint64_t data = bytes.size() - start - length;
    if (count > data / size || count * size != data)
        fail(bad("holds " + std::to_string(data) + " bytes of values, its shape asks for " +
            (count > data / size ? std::string("more") : std::to_string(count * size))));
    array.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start + length), bytes.end());
    return array;
}

std::string zip_reason(zip_t* archive)
{
    return zip_error_strerror(zip_get_error(archive));
}

bool sync_path(const std::string& path, int flags)
{
    const int file = open(path.c_str(), flags | O_CLOEXEC);
    if (file < 0) return false;
    const bool ok = fsync(file) == 0;
    return close(file) == 0 && ok;
}

thread_local std::string last_refusal;  // written by refuse only; each thread its own, as each has its world

void refuse(const char* verb, const std::string& path, const std::string& reason)
{
    last_refusal = "Unable to " + std::string(verb) + " " + path + ": " + reason;
    write_console((last_refusal + "\n").c_str());
}

}  // namespace

checkpoint_type checkpoint_capture()
{
    checkpoint_type checkpoint;
    checkpoint_capture_into(checkpoint);
    return checkpoint;
}

void checkpoint_capture_into(checkpoint_type& checkpoint)
{
    capture_type out(checkpoint);
    out.single<std::int32_t>("format", checkpoint_format);
    out.text("version", VELMORA_VERSION);
    for_each_world_number(*world, [&out](const char* name, auto& field) { out.single(name, field); });

    std::vector<animal_type*> animals;
    animals.reserve(world->num_animals);
    for (animal_type* animal = world->animals; animal != nullptr; animal = animal->next) animals.push_back(animal);
    const std::uint64_t n = animals.size();
    for_each_animal_number([&](const char* name, auto field) {
        using value_type = std::remove_reference_t<decltype(std::declval<animal_type&>().*field)>;
        out.column<value_type>(name, animals, [field](const animal_type& a) { return a.*field; });
    });
    out.add<double>("animal_touch", {n, animal_touch_count, 3});
    for (std::size_t i = 0; i < n; ++i)
        for (int k = 0; k < animal_touch_count; ++k) {
            const sensor_type& s = animals[i]->touch[k];
            const std::size_t at = (i * animal_touch_count + static_cast<std::size_t>(k)) * 3;
            out.set(at, s.wall);
            out.set(at + 1, s.plant);
            out.set(at + 2, s.animal);
        }
    out.add<double>("animal_vision", {n, animal_vision_count});
    for (std::size_t i = 0; i < n; ++i)
        for (int j = 0; j < animal_vision_count; ++j) out.set(i * animal_vision_count + static_cast<std::size_t>(j), animals[i]->vision[j].plant);
    out.add<double>("animal_ray_x", {n, rays});
    for (std::size_t i = 0; i < n; ++i)
        for (int r = 0; r < rays; ++r) out.set(i * rays + static_cast<std::size_t>(r), animals[i]->ray_x[r]);
    out.add<double>("animal_ray_y", {n, rays});
    for (std::size_t i = 0; i < n; ++i)
        for (int r = 0; r < rays; ++r) out.set(i * rays + static_cast<std::size_t>(r), animals[i]->ray_y[r]);
    const std::uint32_t neurons = static_cast<std::uint32_t>(world->layer_width) * static_cast<std::uint32_t>(world->layer_count) + 2;
    out.add<double>("neuron_out", {n, neurons});
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t k = 0;
        for (const neuron_type* neuron = animals[i]->neurons; neuron != nullptr && k < neurons; neuron = neuron->next, ++k)
            out.set(i * neurons + k, neuron->out);
    }
    const std::uint32_t genes = genes_per_animal(world->layer_width, world->layer_count);
    out.add<double>("animal_genes", {n, genes});
    std::vector<double> chromosome;
    for (std::size_t i = 0; i < n; ++i) {
        chromosome.assign(animal_get_chromosome_size(animals[i]), 0.0);
        animal_export_chromosome(animals[i], chromosome.data());
        for (std::size_t g = 0; g < genes && g < chromosome.size(); ++g) out.set(i * genes + g, chromosome[g]);
    }

    std::vector<plant_type*> plants;
    plants.reserve(static_cast<std::size_t>(std::max(world->num_plants, 0)));
    for (plant_type* plant = world->plants; plant != nullptr; plant = plant->next) plants.push_back(plant);
    out.column<double>("plant_x", plants, [](const plant_type& p) { return p.x; });
    out.column<double>("plant_y", plants, [](const plant_type& p) { return p.y; });
    out.column<double>("plant_size_x", plants, [](const plant_type& p) { return p.size_x; });
    out.column<double>("plant_size_y", plants, [](const plant_type& p) { return p.size_y; });

    std::vector<generation_record_type*> history;
    for (generation_record_type& record : world->history) history.push_back(&record);
    for_each_history_column([&](const char* name, auto field) {
        using value_type = std::remove_reference_t<decltype(std::declval<generation_record_type&>().*field)>;
        out.column<value_type>(name, history, [field](const generation_record_type& r) { return r.*field; });
    });
    out.add<std::uint64_t>("history_line_founders", {history.size(), 8});
    for (std::size_t g = 0; g < history.size(); ++g)
        for (std::size_t k = 0; k < 8; ++k) out.set(g * 8 + k, history[g]->line_founders[k]);
    out.add<std::uint32_t>("history_line_animals", {history.size(), 8});
    for (std::size_t g = 0; g < history.size(); ++g)
        for (std::size_t k = 0; k < 8; ++k) out.set(g * 8 + k, history[g]->line_animals[k]);
}

bool checkpoint_write(const checkpoint_type& checkpoint, const std::string& path, std::string& reason)
{
    std::string temporary = path + ".XXXXXX";
    const int file = mkstemp(temporary.data());
    if (file < 0) {
        reason = std::strerror(errno);
        return false;
    }
    close(file);
    const auto give_up = [&](const std::string& why) {
        unlink(temporary.c_str());
        reason = why;
        return false;
    };

    int error = 0;
    zip_t* archive = zip_open(temporary.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        const std::string why = zip_error_strerror(&details);
        zip_error_fini(&details);
        return give_up(why);
    }
    // The members' bytes must live until the archive is closed.
    std::vector<std::vector<unsigned char>> members;
    members.reserve(checkpoint.arrays.size());
    for (const checkpoint_array_type& array : checkpoint.arrays) {
        members.push_back(npy_bytes(array));
        zip_source_t* source = zip_source_buffer(archive, members.back().data(), members.back().size(), 0);
        const zip_int64_t index =
            source == nullptr ? -1 : zip_file_add(archive, (array.name + ".npy").c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            if (source != nullptr) zip_source_free(source);
            const std::string why = zip_reason(archive);
            zip_discard(archive);
            return give_up(why);
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) {
        const std::string why = zip_reason(archive);
        zip_discard(archive);
        return give_up(why);
    }
    if (chmod(temporary.c_str(), world_file_mode_for(path)) != 0 || !sync_path(temporary, O_RDONLY))
        return give_up(std::strerror(errno));
    if (rename(temporary.c_str(), path.c_str()) != 0) return give_up(std::strerror(errno));
    // The rename itself reaches the disk with the folder.
    std::string folder = path;
    sync_path(dirname(folder.data()), O_RDONLY | O_DIRECTORY);
    return true;
}

bool checkpoint_read(const std::string& path, checkpoint_type& checkpoint, std::string& reason)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (archive == nullptr) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        reason = error == ZIP_ER_NOZIP ? "not a checkpoint (not a zip archive)" : zip_error_strerror(&details);
        zip_error_fini(&details);
        return false;
    }
    checkpoint.arrays.clear();
    std::uint64_t total = 0;
    try {
        const zip_int64_t entries = zip_get_num_entries(archive, 0);
        std::vector<unsigned char> bytes;
        for (zip_int64_t i = 0; i < entries; ++i) {
            zip_stat_t stat;
            if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) fail(zip_reason(archive));
            const std::string member = (stat.valid & ZIP_STAT_NAME) != 0 && stat.name != nullptr ? stat.name : "";
            if (member.size() < 5 || member.compare(member.size() - 4, 4, ".npy") != 0)
                fail("member " + member + " is not a .npy array");
            zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
            if (file == nullptr) fail("member " + member + ": " + zip_reason(archive));
            bytes.clear();
            unsigned char chunk[65536];
            zip_int64_t got = 0;
            uLong crc = crc32(0L, Z_NULL, 0);
            while ((got = zip_fread(file, chunk, sizeof chunk)) > 0) {
                bytes.insert(bytes.end(), chunk, chunk + got);
                crc = crc32(crc, chunk, static_cast<uInt>(got));
                total += static_cast<std::uint64_t>(got);
                if (bytes.size() > max_member_bytes || total > max_archive_bytes) break;
            }
            const std::string read_problem = got < 0 ? zip_file_strerror(file) : "";
            zip_fclose(file);
            if (!read_problem.empty()) fail("member " + member + ": " + read_problem);
            if (bytes.size() > max_member_bytes || total > max_archive_bytes) fail("member " + member + " is too large");
            if ((stat.valid & ZIP_STAT_CRC) == 0 || crc != stat.crc) fail("member " + member + " is damaged (its CRC does not match)");
            if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size != bytes.size()) fail("member " + member + " is cut short");
            const std::string name = member.substr(0, member.size() - 4);
            for (const checkpoint_array_type& earlier : checkpoint.arrays)
                if (earlier.name == name) fail("member " + member + " stands twice");
            checkpoint.arrays.push_back(parse_npy(name, bytes));
        }
    } catch (const checkpoint_error& refused) {
        zip_discard(archive);
        checkpoint.arrays.clear();
        reason = refused.reason;
        return false;
    }
    zip_discard(archive);
    return true;
}

std::string checkpoint_problem(const checkpoint_type& checkpoint)
{
    try {
        check_archive(checkpoint);
    } catch (const checkpoint_error& refused) {
        return refused.reason;
    }
    return {};
}

namespace {

void apply_loaded(const loaded_type& loaded)
{
    const world_type& numbers = loaded.numbers;
    world->width = numbers.width;
    world->height = numbers.height;
    world->mutate_amount = numbers.mutate_amount;
    world->animal_size = numbers.animal_size;
    world->plant_size = numbers.plant_size;
    world->generation_length = numbers.generation_length;
    world->layer_width = numbers.layer_width;
    world->layer_count = numbers.layer_count;
    // A reset with the archive's counts makes the records and sizes the index
    // for them; then every field is written over.
    world->start_animals = static_cast<std::int32_t>(loaded.animals);
    world->start_plants = static_cast<std::int32_t>(loaded.plants);
    world_reset();
    world->start_animals = numbers.start_animals;
    world->start_plants = numbers.start_plants;

    std::size_t i = 0;
    for (animal_type* animal = world->animals; animal != nullptr; animal = animal->next, ++i) {
        for_each_animal_number([&](const char* name, auto field) {
            using value_type = std::remove_reference_t<decltype(animal->*field)>;
            if constexpr (std::is_same_v<value_type, double>) {
                animal->*field = loaded.animal_doubles.at(name)[i];
            } else {
                animal->*field = static_cast<value_type>(loaded.animal_wholes.at(name)[i]);
            }
        });
        const double s = animal->size_y + animal->size_x;
        animal->sensor_distance = s * 0.25;
        animal->sensor_size = s * 0.125;
        for (int k = 0; k < animal_touch_count; ++k) {
            const std::size_t at = (i * animal_touch_count + static_cast<std::size_t>(k)) * 3;
            animal->touch[k] = sensor_type{loaded.touch[at], loaded.touch[at + 1], loaded.touch[at + 2]};
        }
        for (int j = 0; j < animal_vision_count; ++j) animal->vision[j].plant = loaded.vision[i * animal_vision_count + static_cast<std::size_t>(j)];
        for (int r = 0; r < rays; ++r) {
            animal->ray_x[r] = loaded.ray_x[i * rays + static_cast<std::size_t>(r)];
            animal->ray_y[r] = loaded.ray_y[i * rays + static_cast<std::size_t>(r)];
        }
        animal_inport_chromosome(animal, const_cast<double*>(loaded.animal_genes.data() + i * loaded.genes));
        const double* out = loaded.outs.data() + i * loaded.neurons;
        for (neuron_type* neuron = animal->neurons; neuron != nullptr; neuron = neuron->next) neuron->out = *out++;
        grid_move_animal(animal);
    }
    world_free_plants();
    for (std::size_t p = loaded.plants; p-- > 0;)
        add_plant(loaded.plant_x[p], loaded.plant_y[p], loaded.plant_size_x[p], loaded.plant_size_y[p]);

    world->mutate_rate = numbers.mutate_rate;
    world->ave_food = numbers.ave_food;
    world->food_sum = numbers.food_sum;
    world->update_count = numbers.update_count;
    world->updates_per_tick = numbers.updates_per_tick;
    world->generation = numbers.generation;
    world->wrap_edges = numbers.wrap_edges;
    world->draw_enabled = numbers.draw_enabled;
    world->running = numbers.running;
    world->mode_manual = numbers.mode_manual;
    world->random.state = numbers.random.state;
    world->last_id = numbers.last_id;
    world->history = loaded.history;
}

}  // namespace

void checkpoint_apply(const checkpoint_type& checkpoint) { apply_loaded(check_archive(checkpoint)); }

bool checkpoint_save(const std::string& path)
{
    // Saving refuses what loading would, so every saved checkpoint loads again.
    const checkpoint_type checkpoint = checkpoint_capture();
    std::string reason = checkpoint_problem(checkpoint);
    if (!reason.empty()) {
        refuse("save", path, "the world is beyond what a checkpoint holds: " + reason);
        return false;
    }
    if (!checkpoint_write(checkpoint, path, reason)) {
        refuse("save", path, reason);
        return false;
    }
    write_console(("Checkpoint saved to " + path + "\n").c_str());
    return true;
}

bool checkpoint_load(const std::string& path)
{
    checkpoint_type checkpoint;
    std::string reason;
    if (!checkpoint_read(path, checkpoint, reason)) {
        refuse("load", path, reason);
        return false;
    }
    loaded_type loaded;
    try {
        loaded = check_archive(checkpoint);
    } catch (const checkpoint_error& refused) {
        refuse("load", path, refused.reason);
        return false;
    }
    checkpoint.arrays.clear();  // no need for both copies at once
    apply_loaded(loaded);
    char line[96];
    format_c(line, sizeof line, " at generation %u, update %d\n", world->generation, world->update_count);
    write_console(("Resumed from " + path + line).c_str());
    return true;
}

const std::string& checkpoint_refusal() { return last_refusal; }

bool checkpoint_is_archive(const std::string& path)
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    unsigned char start[4] = {};
    const bool zip = read(file, start, sizeof start) == 4 && start[0] == 'P' && start[1] == 'K' && start[2] == 3 && start[3] == 4;
    close(file);
    return zip;
}

std::int64_t checkpoint_number(const checkpoint_type& checkpoint, const std::string& name)
{
    for (const checkpoint_array_type& array : checkpoint.arrays) {
        if (array.name != name || !array.shape.empty()) continue;
        if (array.descr == "<u4") return get_value<std::uint32_t>(array.data.data());
        if (array.descr == "<i4") return get_value<std::int32_t>(array.data.data());
    }
    return -1;
}
