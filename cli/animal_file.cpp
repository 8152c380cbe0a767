#include "cli/animal_file.h"

#include "base/file.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "world/world.h"
#include "world/world_file.h"

#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {



}  // namespace

animal_file_type animal_file_of(const world_type& world, animal_type* animal)
{
    animal_file_type file;
    file.id = animal->id;
    file.parent_a = animal->parent_a;
    file.parent_b = animal->parent_b;
    file.founder = animal->founder;
    file.born = animal->born;
    file.layer_count = world.layer_count;
    file.layer_width = world.layer_width;
    file.genes.resize(animal_get_chromosome_size(animal));
    animal_export_chromosome(animal, file.genes.data());
    return file;
}

std::string animal_file_text(const animal_file_type& animal)
{
    std::string text = "# A Velmora animal: Animals, Add Animal From File... brings it into a world.\nformat = 1\n";
    text += "id = " + std::to_string(animal.id) + "\nparent-a = " + std::to_string(animal.parent_a) + "\nparent-b = " +
            std::to_string(animal.parent_b) + "\nfounder = " + std::to_string(animal.founder) + "\nborn = " + std::to_string(animal.born) +
            "\nlayer-count = " + std::to_string(animal.layer_count) + "\nlayer-width = " + std::to_string(animal.layer_width) + "\ngenes = [";
    char number[40];
    for (std::size_t k = 0; k < animal.genes.size(); ++k) {
        format_c(number, sizeof number, "%.17g", animal.genes[k]);
        std::string shown = number;
        if (shown.find_first_of(".en") == std::string::npos) shown += ".0";
        text += (k == 0 ? "" : k % 8 == 0 ? ",\n    " : ", ") + shown;
    }
    return text + "]\n";
}

refusal_type animal_file_parse(const std::string& text, const std::string& name, animal_file_type& animal)
{
    toml::table root;
    try {
        root = toml::parse(text, name);
    } catch (const toml::parse_error& error) {
        return name + ":" + std::to_string(error.source().begin.line) + ": " + std::string(error.description());
    }
    animal_file_type read;
    try {
        const auto fail = [&name](const toml::node& at, const std::string& reason) {
            throw refusal_error{refusal_type(name + ":" + std::to_string(at.source().begin.line) + ": " + reason)};
        };
        const char* const keys[] = {"format", "id", "parent-a", "parent-b", "founder", "born", "layer-count", "layer-width", "genes"};
        for (const auto& [key, node] : root) {
            bool known = false;
            for (const char* k : keys) known = known || key.str() == k;
            if (!known) fail(node, "unknown key '" + std::string(key.str()) + "'");
        }
        const auto whole = [&](const char* key, std::int64_t low, std::int64_t high) -> std::int64_t {
            const toml::node* node = root.get(key);
            if (node == nullptr) throw refusal_error{refusal_type(name + ": it is not a Velmora animal (it has no " + key + ")", refusal_kind_type::format)};
            const std::optional<std::int64_t> value = node->value_exact<std::int64_t>();
            if (!value || *value < low || *value > high)
                fail(*node, std::string(key) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
            return *value;
        };
        if (whole("format", 0, 1000000) != 1) fail(*root.get("format"), "its format is not 1");
        const std::int64_t ids = std::numeric_limits<std::int64_t>::max();
        read.id = static_cast<std::uint64_t>(whole("id", 1, ids));
        read.parent_a = static_cast<std::uint64_t>(whole("parent-a", 0, ids));
        read.parent_b = static_cast<std::uint64_t>(whole("parent-b", 0, ids));
        read.founder = static_cast<std::uint64_t>(whole("founder", 0, ids));
        read.born = static_cast<std::uint32_t>(whole("born", 0, 4294967295));
        read.layer_count = static_cast<std::int32_t>(whole("layer-count", 1, world_file_max_layer_count));
        read.layer_width = static_cast<std::int32_t>(whole("layer-width", 0, world_file_max_layer_width));
        const toml::node* genes = root.get("genes");
        if (genes == nullptr || !genes->is_array()) throw refusal_error{refusal_type(name + ": it has no list of genes")};
        const std::uint64_t expected = animal_genes_for_shape(read.layer_count, read.layer_width);
        if (genes->as_array()->size() != expected)
            fail(*genes, std::to_string(genes->as_array()->size()) + " genes, but a network of " + std::to_string(read.layer_count) +
                             " layers of " + std::to_string(read.layer_width) + " takes " + std::to_string(expected));
        for (const toml::node& gene : *genes->as_array()) {
            const std::optional<double> value = gene.value<double>();
            if (!value || !std::isfinite(*value)) fail(gene, "a gene that is not a finite number");
            read.genes.push_back(*value);
        }
    } catch (const refusal_error& error) {
        return error.refusal;
    }
    animal = std::move(read);
    return {};
}

refusal_type animal_file_read(const std::string& path, animal_file_type& animal)
{
    std::string text;
    if (const refusal_type refused = file_read(path, text, std::int64_t{16} << 20); !refused.empty())
        return refused.kind == refusal_kind_type::io ? refused.said_as(path + ": ")
                                                     : refusal_type(path + ": " + refused + ", not an animal", refusal_kind_type::format);
    return animal_file_parse(text, path, animal);
}

refusal_type animal_file_write(const std::string& path, const animal_file_type& animal)
{
    return file_replace(path, animal_file_text(animal));
}

std::string animal_file_fit_problem(const world_type& world, const animal_file_type& animal)
{
    if (animal.layer_count != world.layer_count || animal.layer_width != world.layer_width)
        return "its network has " + std::to_string(animal.layer_count) + " layers of " + std::to_string(animal.layer_width) +
               " neurons; this world's animals have " + std::to_string(world.layer_count) + " of " + std::to_string(world.layer_width);
    return {};
}
