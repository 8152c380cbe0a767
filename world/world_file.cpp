#include "world/world_file.h"

#include "animal/animal.h"
#include "base/console.h"
#include "base/file.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "world/world.h"

#include <cerrno>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The header's numbers in the file's order, with the names its refusals give them.
struct header_field_type {
    setting_id_type setting;
    const char* name;
};
constexpr header_field_type header_fields[] = {
    {setting_width, "width"},
    {setting_height, "height"},
    {setting_mutate_amount, "mutate_amount"},
    {setting_generation_length, "generation_length"},
    {setting_plants, "the plant count"},          // becomes start_plants
    {setting_plant_size, "plant_size"},
    {setting_animals, "the animal count"},        // becomes start_animals
    {setting_animal_size, "animal_size"},
    {setting_layer_width, "layer_width"},
    {setting_layer_count, "layer_count"},
};

// Everything a file holds, read and checked before the world changes.
struct world_file_type {
    world_settings_type header;      // every one of header_fields, the overrides over the file's own
    std::vector<double> genes;       // per animal, per neuron in list order: bias, then scalers

    std::int32_t whole(setting_id_type id) const { return static_cast<std::int32_t>(*header[id]); }
    double real(setting_id_type id) const { return *header[id]; }
};

// Reads white-space separated numbers the way the file is written, with a '.'
// decimal point whatever the locale, and says where a bad one stands.
class number_reader {
public:
    explicit number_reader(const std::string& text) : text_(text) {}

    void set_place(std::string place) { place_ = std::move(place); }

    std::int32_t read_int(const char* what)
    {
        const std::string_view token = next_token(what);
        std::string_view digits = token;
        if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
        std::int32_t value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        const bool whole = !digits.empty() && end == digits.data() + digits.size();
        if (whole && error == std::errc::result_out_of_range)
            fail(std::string(what) + " is out of range: '" + std::string(token) + "'");
        if (!whole || error != std::errc{})
            fail("expected a whole number for " + std::string(what) + ", found '" + std::string(token) + "'");
        return value;
    }

    double read_double(const char* what)
    {
        const std::string_view token = next_token(what);
        std::string_view digits = token;
        if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
        double value = 0.0;
        if (!parse_double(digits, value))
            fail("expected a number for " + std::string(what) + ", found '" + std::string(token) + "'");
        if (!std::isfinite(value)) fail(std::string(what) + " is not a finite number: '" + std::string(token) + "'");
        return value;
    }

    [[noreturn]] void fail(const std::string& reason) const
    {
        throw refusal_error{refusal_type(place_.empty() ? reason : place_ + ": " + reason)};
    }

private:
    static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

    static std::string shorten(std::string_view text)
    {
        std::string out;
        for (char c : text) {
            if (is_space(c)) break;
            out += (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) ? '?' : c;
        }
        return out;
    }

    void skip_space()
    {
        while (position_ < text_.size() && is_space(text_[position_])) ++position_;
    }

    std::string_view next_token(const char* what)
    {
        skip_space();
        if (position_ >= text_.size()) fail("the file ends before " + std::string(what));
        const std::size_t start = position_;
        while (position_ < text_.size() && !is_space(text_[position_])) ++position_;
        const std::string_view token(text_.data() + start, position_ - start);
        if (token.size() > 400) fail("expected a number for " + std::string(what) + ", found '" + shorten(token.substr(0, 20)) + "...'");
        if (token.find('\0') != std::string_view::npos) fail("expected a number for " + std::string(what) + ", found a NUL byte");
        return token;
    }

    const std::string& text_;
    std::size_t position_ = 0;
    std::string place_;
};

void require(bool condition, const number_reader& reader, const std::string& reason)
{
    if (!condition) reader.fail(reason);
}

std::string number_text(double value)
{
    char text[64];
    format_c(text, sizeof text, "%g", value);
    return text;
}

// The header's own rules and the limits; an empty text when the header is sound.
std::string header_problem(const world_file_type& file)
{
    return world_file_limits_problem(file.real(setting_width), file.real(setting_height), file.real(setting_plant_size),
                                     file.real(setting_animal_size), file.whole(setting_generation_length),
                                     file.whole(setting_plants), file.whole(setting_animals), file.whole(setting_layer_width),
                                     file.whole(setting_layer_count));
}

world_file_type parse_world_file(const std::string& text, const world_settings_type& settings)
{
    world_file_type file{};
    number_reader reader(text);
    reader.set_place("header");
    for (const header_field_type& field : header_fields)
        file.header[field.setting] = setting_row(field.setting).kind == setting_kind_type::whole ? reader.read_int(field.name)
                                                                                                : reader.read_double(field.name);
    const std::int32_t blocks_in_file = file.whole(setting_animals);
    for (const header_field_type& field : header_fields)
        if (setting_row(field.setting).file == setting_file_type::held && settings[field.setting])
            file.header[field.setting] = settings[field.setting];

    const std::string problem = header_problem(file);
    require(problem.empty(), reader, problem);

    const std::int32_t layer_width = file.whole(setting_layer_width), layer_count = file.whole(setting_layer_count);
    const std::int32_t animals = file.whole(setting_animals);
    const std::uint32_t width = static_cast<std::uint32_t>(layer_width);
    const std::int64_t neurons = std::int64_t{layer_width} * layer_count + 2;
    const std::uint64_t genes_per_animal = animal_genes_for_shape(layer_count, layer_width);
    // The header alone must not make us take memory: a gene takes at least
    // two bytes of the file, so no more can follow than the text can hold.
    file.genes.reserve(std::min<std::uint64_t>(genes_per_animal * static_cast<std::uint64_t>(std::max(std::min(blocks_in_file, animals), 0)),
                                               text.size() / 2 + 1));

    const std::int32_t blocks = std::min(std::max(blocks_in_file, 0), std::max(animals, 0));
    for (std::int32_t a = 1; a <= blocks; ++a) {
        reader.set_place("animal " + std::to_string(a));
        const std::int32_t found = reader.read_int("the neuron count");
        require(found == neurons, reader,
                "expected " + std::to_string(neurons) + " neurons, found " + std::to_string(found));
        for (std::int64_t k = neurons - 1; k >= 0; --k) {
            const std::uint32_t id = static_cast<std::uint32_t>(k);
            const std::uint32_t inputs = animal_wired_inputs(id, width);
            reader.set_place("animal " + std::to_string(a) + ", neuron " + std::to_string(id));
            const std::int32_t file_id = reader.read_int("the neuron id");
            require(file_id == k, reader, "expected id " + std::to_string(id) + ", found " + std::to_string(file_id));
            file.genes.push_back(reader.read_double("the bias"));
            const std::int32_t file_inputs = reader.read_int("the input count");
            require(file_inputs >= 0 && static_cast<std::uint32_t>(file_inputs) == inputs, reader,
                    "expected " + std::to_string(inputs) + " inputs, found " + std::to_string(file_inputs));
            for (std::uint32_t i = 0; i < inputs; ++i) file.genes.push_back(reader.read_double("an input weight"));
        }
    }
    // Whatever follows the announced blocks is not read: a user may keep the
    // best animals of a file (stored best first) by lowering its count.
    return file;
}

// Pours the checked file into the world: parameters, reset, then the genes.
void apply_world_file(world_type& world, const world_file_type& file)
{
    for (const header_field_type& field : header_fields) setting_row(field.setting).set(world, *file.header[field.setting]);

    char line[128];
    format_c(line, sizeof line, "Adding %d animals and %d plants\n", world.start_animals, world.start_plants);
    world_reset(world);
    world_say(world, line);

    const double* gene = file.genes.data();
    const double* end = gene + file.genes.size();
    for (animal_type* animal = world.animals; animal != nullptr && gene != end; animal = animal->next) {
        neuron_rewrite(world.network_edits, animal->neurons, [&gene](neuron_type& neuron) {
            neuron.bias = *gene++;
            for (std::uint32_t i = 0; i < neuron.input_count; ++i) neuron.scaler[i] = *gene++;
        });
    }
}


}  // namespace

std::string world_file_limits_problem(double width, double height, double plant_size, double animal_size,
                                      std::int32_t generation_length, std::int32_t plants, std::int32_t animals,
                                      std::int32_t layer_width, std::int32_t layer_count)
{
    const auto size_problem = [](const char* name, double value) -> std::string {
        if (value >= world_file_min_size) return {};
        return std::string(name) + " must be at least 0.000001, found " + number_text(value);
    };
    for (const std::string& problem :
         {size_problem("width", width), size_problem("height", height),
          size_problem("plant_size", plant_size), size_problem("animal_size", animal_size)})
        if (!problem.empty()) return problem;
    // A body larger than the world would be pushed outside it at the edges.
    const double room = std::min(width, height);
    if (animal_size > room) return "animal_size must not exceed width and height, found " + number_text(animal_size);
    if (plant_size > room) return "plant_size must not exceed width and height, found " + number_text(plant_size);
    if (generation_length < 1)
        return "generation_length must be at least 1, found " + std::to_string(generation_length);
    const auto range_problem = [](const char* name, std::int32_t value, std::int32_t low,
                                  std::int32_t high) -> std::string {
        if (value >= low && value <= high) return {};
        return std::string(name) + " must be " + std::to_string(low) + " to " + std::to_string(high) + ", found " +
               std::to_string(value);
    };
    for (const std::string& problem :
         {range_problem("layer_width", layer_width, 0, world_file_max_layer_width),
          range_problem("layer_count", layer_count, 1, world_file_max_layer_count)})
        if (!problem.empty()) return problem;
    // A count of 0 or less makes none, of plants as of animals.
    if (plants > world_file_max_plants)
        return "the plant count must be at most " + std::to_string(world_file_max_plants) + ", found " +
               std::to_string(plants);
    if (animals > world_file_max_animals)
        return "the animal count must be at most " + std::to_string(world_file_max_animals) + ", found " +
               std::to_string(animals);
    return world_file_network_problem(animals, layer_width, layer_count);
}

std::string world_file_network_problem(std::int64_t animals, std::int32_t layer_width, std::int32_t layer_count)
{
    if (animals <= 0 || layer_width < 0 || layer_count < 1) return {};
    const std::int64_t neurons = std::int64_t{layer_width} * layer_count + 2;
    if (neurons * animals > world_file_max_neurons)
        return std::to_string(animals) + " animals of " + std::to_string(neurons) + " neurons exceed the limit of " +
               std::to_string(world_file_max_neurons) + " neurons";
    std::int64_t inputs = 0;
    for (std::int64_t id = 0; id < neurons; ++id)
        inputs += animal_wired_inputs(static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(layer_width));
    if (inputs * animals > world_file_max_inputs)
        return std::to_string(animals) + " animals of " + std::to_string(inputs) + " inputs exceed the limit of " +
               std::to_string(world_file_max_inputs) + " inputs";
    return {};
}

std::string world_file_text(const world_type& world)
{
    std::string text;
    char piece[2048];  // room for the widest doubles "%f" prints
    format_c(piece, sizeof piece, "%f %f %f %d %d %f %d %f %d %d\n", world.width, world.height, world.mutate_amount,
             world.generation_length, world.num_plants, world.plant_size, static_cast<int>(world.num_animals),
             world.animal_size, world.layer_width, world.layer_count);
    text += piece;
    for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next) text += world_file_block(animal);
    return text;
}

std::string world_file_block(const animal_type* animal)
{
    std::string text;
    char piece[2048];  // room for the widest doubles "%f" prints
    format_c(piece, sizeof piece, "%d\n", static_cast<int>(animal->num_neurons));
    text += piece;
    for (const neuron_type* neuron = animal->neurons; neuron != nullptr; neuron = neuron->next) {
        format_c(piece, sizeof piece, "%d  %f ", static_cast<int>(neuron->id), neuron->bias);
        text += piece;
        format_c(piece, sizeof piece, "%d ", static_cast<int>(neuron->input_count));
        text += piece;
        for (std::uint32_t i = 0; i < neuron->input_count; ++i) {
            format_c(piece, sizeof piece, "%f ", neuron->scaler[i]);
            text += piece;
        }
        text += "\n";
    }
    return text;
}

refusal_type world_save_file(world_type& world, const std::string& path)
{
    world_file_type header{};
    for (const header_field_type& field : header_fields) header.header[field.setting] = setting_row(field.setting).get(world);
    // The file holds the lists as they are, not the counts a reset makes.
    header.header[setting_plants] = world.num_plants;
    header.header[setting_animals] = world.num_animals > static_cast<std::uint32_t>(world_file_max_animals)
                                         ? world_file_max_animals + 1
                                         : static_cast<double>(world.num_animals);
    if (const std::string problem = header_problem(header); !problem.empty()) {
        return world_refuse(world, "save", path, "the world is beyond what a world file holds: " + problem);
    }
    const std::string text = world_file_text(world);
    if (static_cast<std::int64_t>(text.size()) > world_file_max_bytes) {
        return world_refuse(world, "save", path, "the world is beyond what a world file holds: larger than " +
                                 std::to_string(world_file_max_bytes >> 20) + " MiB");
    }
    if (const refusal_type refused = file_replace(path, text); !refused.empty()) return world_refuse(world, "save", path, refused);
    world_say(world, "Saved to " + path + "\n");
    if (world.seasons.period > 0 || food_map_on(world.food_map) || world.run.next < world.run.events.size())
        world_notice(world, "A world file keeps no seasons, food map or changes to come: " + path + " holds the world without them\n");
    return {};
}

refusal_type world_load_file(world_type& world, const std::string& path, const world_settings_type& settings)
{
    std::string text;
    if (refusal_type refused = file_read(path, text, world_file_max_bytes); !refused.empty()) return world_refuse(world, "load", path, refused);
    world_file_type file;
    try {
        file = parse_world_file(text, settings);
    } catch (const refusal_error& error) {
        return world_refuse(world, "load", path, error.refusal);
    }
    apply_world_file(world, file);
    settings_apply_unfiled(world, settings);
    world_check(world);
    world_check_networks(world);
    world_say(world, "Loaded from " + path + "\n");
    return {};
}
