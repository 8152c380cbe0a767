#include "world/world.h"

#include "base/system.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "neuron/neuron.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>

namespace {

// The generation an animal's life ends with: the next, once it has lived in the current one.
std::uint32_t ending_generation(const world_type& world) { return world.generation + (world.update_count > 0 ? 1 : 0); }

void add_row(world_type& world, const animal_type* animal, bool living)
{
    char row[160];
    if (animal->parent_a == 0 && animal->came_from != 0) {
        // A founder from an animal file: its id in the world it came from.
        format_c(row, sizeof row, "%llu,[IMPORTED %llu],%u,", static_cast<unsigned long long>(animal->id),
                 static_cast<unsigned long long>(animal->came_from), animal->born);
    } else if (animal->parent_a == 0) {
        format_c(row, sizeof row, "%llu,[NONE],%u,", static_cast<unsigned long long>(animal->id), animal->born);
    } else {
        // The list holds a comma, so it is quoted as CSV quotes a field.
        format_c(row, sizeof row, "%llu,\"[%llu,%llu]\",%u,", static_cast<unsigned long long>(animal->id),
                 static_cast<unsigned long long>(animal->parent_a), static_cast<unsigned long long>(animal->parent_b),
                 animal->born);
    }
    world.lineage_rows += row;
    if (!living) world.lineage_rows += std::to_string(ending_generation(world));
    world.lineage_rows += '\n';
}

}  // namespace

void world_lineage_record(world_type& world, const animal_type* animal)
{
    if (!world.options.lineage_path.empty()) add_row(world, animal, false);
}

void world_lineage_flush(world_type& world)
{
    std::string& rows = world.lineage_rows;
    if (rows.empty() || world.options.lineage_path.empty()) return;
    const int file = system_open(world.options.lineage_path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    bool ok = file >= 0;
    // A new file starts with its header.
    if (ok && system_seek_end(file) == 0) rows.insert(0, "id,ancestor_list,origin_time,destruction_time\n");
    ok = ok && system_write_all(file, rows.data(), rows.size()) == 0;
    if (file >= 0 && system_close(file) != 0) ok = false;
    if (!ok && world.options.lineage_error == 0) world.options.lineage_error = errno != 0 ? errno : EIO;
    rows.clear();  // keeps its room
}

void world_lineage_restart(world_type& world)
{
    if (world.options.lineage_path.empty()) return;
    const int file = system_open(world.options.lineage_path, O_WRONLY | O_TRUNC | O_CREAT, 0644);
    if (file < 0 || system_close(file) != 0) world.options.lineage_error = errno;
}

void world_lineage_finish(world_type& world)
{
    if (world.options.lineage_path.empty()) return;
    for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next) add_row(world, animal, true);
    world_lineage_flush(world);
}

// The genomes' root-mean-square distance from their mean, through room kept
// by world_reserve_ranking, so that the generation cycle takes no memory.
double world_gene_spread(world_type& world)
{
    if (world.animals == nullptr) return 0.0;
    const std::size_t genes = animal_get_chromosome_size(world.animals);
    if (world.gene_room.size() < genes) return 0.0;
    double* mean = world.gene_room.data();
    std::fill(mean, mean + genes, 0.0);
    const auto each_gene = [](const animal_type* animal, auto use) {
        std::size_t k = 0;
        for (const neuron_type* neuron = animal->neurons; neuron != nullptr; neuron = neuron->next) {
            for (std::uint32_t i = 0; i < neuron->input_count; ++i) use(k++, neuron->scaler[i]);
            use(k++, neuron->bias);
        }
    };
    const double n = static_cast<double>(world.num_animals);
    for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next)
        each_gene(animal, [mean](std::size_t k, double gene) { mean[k] += gene; });
    for (std::size_t k = 0; k < genes; ++k) mean[k] /= n;
    double squares = 0.0;
    for (const animal_type* animal = world.animals; animal != nullptr; animal = animal->next)
        each_gene(animal, [mean, &squares](std::size_t k, double gene) { squares += (gene - mean[k]) * (gene - mean[k]); });
    return std::sqrt(squares / n);
}

std::uint32_t world_lineages(world_type& world, generation_record_type* record)
{
    std::uint64_t* founders = world.founder_room.data();
    std::size_t n = 0;
    for (const animal_type* animal = world.animals; animal != nullptr && n < world.founder_room.size(); animal = animal->next)
        founders[n++] = animal->founder;
    std::sort(founders, founders + n);
    std::uint32_t lines = 0;
    for (std::size_t start = 0; start < n; ++lines)
        while (++start < n && founders[start] == founders[start - 1]) {}
    if (record == nullptr) return lines;
    // The largest lines as counted since the last count (animal_type::line).
    std::fill(std::begin(record->line_founders), std::end(record->line_founders), 0);
    std::fill(std::begin(record->line_animals), std::end(record->line_animals), 0);
    n = 0;
    for (const animal_type* animal = world.animals; animal != nullptr && n < world.founder_room.size(); animal = animal->next)
        founders[n++] = animal->line;
    std::sort(founders, founders + n);
    for (std::size_t start = 0; start < n;) {
        std::size_t end = start;
        while (end < n && founders[end] == founders[start]) ++end;
        // Kept largest first; among equals, the older line first.
        const std::uint32_t count = static_cast<std::uint32_t>(end - start);
        if (count > record->line_animals[7]) {
            int at = 7;
            while (at > 0 && count > record->line_animals[at - 1]) {
                record->line_animals[at] = record->line_animals[at - 1];
                record->line_founders[at] = record->line_founders[at - 1];
                --at;
            }
            record->line_animals[at] = count;
            record->line_founders[at] = founders[start];
        }
        start = end;
    }
    return lines;
}
