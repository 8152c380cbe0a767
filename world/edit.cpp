#include "world/edit.h"

#include "animal/animal.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/grid.h"
#include "world/run.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>

namespace {

std::size_t genes_per_animal(const world_type& world) { return animal_genes_for_shape(world.layer_count, world.layer_width); }

std::uint64_t id_of(double value) { return static_cast<std::uint64_t>(value); }

// Inside the world, a body's half-size from its edges where the world is that large.
double inside(double value, double side, double margin)
{
    if (side <= 2.0 * margin) return side / 2.0;
    return std::clamp(value, margin, side - margin);
}

std::string place_problem(const world_type& world, double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y) || x < 0.0 || y < 0.0 || x > world.width || y > world.height)
        return "the place (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the world";
    return {};
}

std::string genes_problem(const world_type& world, const std::vector<double>& genes, std::size_t from)
{
    const std::size_t count = genes.size() - std::min(from, genes.size());
    if (count != genes_per_animal(world))
        return std::to_string(count) + " genes do not fit this world's networks, which take " + std::to_string(genes_per_animal(world));
    for (std::size_t k = from; k < genes.size(); ++k)
        if (!std::isfinite(genes[k])) return "gene " + std::to_string(k - from) + " is not a finite number";
    return {};
}

void set_genes(world_type& world, animal_type* animal, const std::vector<double>& data, std::size_t from)
{
    std::vector<double> genes(data.begin() + static_cast<std::ptrdiff_t>(from), data.end());
    animal_inport_chromosome(world, animal, genes.data());
}

// The animals filed in the index again, as after a removal.
void refile_animals(world_type& world)
{
    grid_clear_animals(world);
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next) grid_add_animal(world, animal);
}

std::string record(world_type& world, const std::string& name, std::vector<double> data)
{
    run_event_type edit{world.generation, world.update_count, name, 0.0, 0.0, std::move(data)};
    if (std::string problem = edit_data_problem(edit); !problem.empty()) return problem;
    return world_record(world, edit);
}

}  // namespace

bool edit_is(const std::string& name)
{
    for (const char* edit : edit_names)
        if (name == edit) return true;
    return false;
}

std::string edit_data_problem(const run_event_type& edit)
{
    const std::string& name = edit.setting;
    const std::vector<double>& d = edit.data;
    if (edit.value != 0.0 || edit.value2 != 0.0) return name + " takes its values as data";
    for (const double value : d)
        if (!std::isfinite(value)) return name + ": a value that is not a finite number";
    const auto whole_id = [](double v) { return v >= 1.0 && v <= 9007199254740992.0 && v == std::floor(v); };
    const std::size_t fixed = name == "move" ? 3 : name == "clone" || name == "remove" ? 1 : name == "add_plant_at" ? 2
                              : name == "remove_plants_in" ? 4 : name == "genes" ? 1 : 4;
    if (name == "genes" || name == "add_founder") {
        if (d.size() <= fixed) return name + " needs its genes";
    } else if (d.size() != fixed) {
        return name + " takes " + std::to_string(fixed) + " value" + (fixed == 1 ? "" : "s") + ", not " + std::to_string(d.size());
    }
    if ((name == "move" || name == "clone" || name == "remove" || name == "genes") && !whole_id(d[0])) return name + ": no animal has id " + std::to_string(d[0]);
    if (name == "add_founder" && d[3] != 0.0 && !whole_id(d[3])) return "add_founder: the id it came with must be a whole number";
    return {};
}

animal_type* world_find_animal(const world_type& world, std::uint64_t id)
{
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next)
        if (animal->id == id) return animal;
    return nullptr;
}

void edit_apply(world_type& world, const run_event_type& edit)
{
    const std::string& name = edit.setting;
    const std::vector<double>& d = edit.data;
    if (name == "add_plant_at") {
        add_plant(world, inside(d[0], world.width, 0.0), inside(d[1], world.height, 0.0), world.plant_size, world.plant_size);
        return;
    }
    if (name == "remove_plants_in") {
        for (plant_type** at = &world.plants; *at != nullptr;) {
            plant_type* plant = *at;
            if (plant->x >= std::min(d[0], d[2]) && plant->x <= std::max(d[0], d[2]) && plant->y >= std::min(d[1], d[3]) &&
                plant->y <= std::max(d[1], d[3])) {
                *at = plant->next;
                grid_remove_plant(world, plant);
                delete plant;
                world.num_plants -= 1;
            } else {
                at = &plant->next;
            }
        }
        return;
    }
    if (name == "add_founder") {
        if (d.size() - 4 != genes_per_animal(world)) return;
        world_add_animal(world);
        animal_type* animal = world.animals;
        set_genes(world, animal, d, 4);
        animal->x = inside(d[0], world.width, animal->size_x / 2);
        animal->y = inside(d[1], world.height, animal->size_y / 2);
        animal->heading = std::fmod(std::fmod(d[2], 6.283185307179586) + 6.283185307179586, 6.283185307179586);
        animal->came_from = id_of(d[3]);
        grid_move_animal(world, animal);
        return;
    }
    animal_type* animal = world_find_animal(world, id_of(d[0]));
    if (animal == nullptr) return;
    if (name == "move") {
        animal->x = inside(d[1], world.width, animal->size_x / 2);
        animal->y = inside(d[2], world.height, animal->size_y / 2);
        grid_move_animal(world, animal);
    } else if (name == "genes") {
        if (d.size() - 1 == genes_per_animal(world)) set_genes(world, animal, d, 1);
    } else if (name == "clone") {
        std::vector<double> genes(genes_per_animal(world));
        animal_export_chromosome(animal, genes.data());
        const animal_type original = *animal;
        world_add_animal(world);
        animal_type* clone = world.animals;
        animal_inport_chromosome(world, clone, genes.data());
        // Beside the original, a body's width along its heading, inside the world.
        clone->heading = original.heading;
        clone->x = inside(original.x + original.size_x * std::cos(original.heading), world.width, clone->size_x / 2);
        clone->y = inside(original.y + original.size_y * std::sin(original.heading), world.height, clone->size_y / 2);
        clone->parent_a = clone->parent_b = original.id;
        clone->founder = original.founder;
        clone->line = original.line;
        grid_move_animal(world, clone);
    } else if (name == "remove") {
        world_lineage_record(world, animal);
        world_lineage_flush(world);
        for (animal_type** at = &world.animals; *at != nullptr; at = &(*at)->next)
            if (*at == animal) {
                *at = animal->next;
                break;
            }
        free_neuron_list(world.network_edits, animal->neurons);
        delete animal;
        world.num_animals -= 1;
        world.animal_frees += 1;   // views that hold an animal must drop it
        refile_animals(world);
        neuron_pack_clear(world.networks, world.network_edits);
    }
}

std::string world_move_animal(world_type& world, std::uint64_t id, double x, double y)
{
    if (world_find_animal(world, id) == nullptr) return "no animal has id " + std::to_string(id);
    if (std::string problem = place_problem(world, x, y); !problem.empty()) return problem;
    return record(world, "move", {static_cast<double>(id), x, y});
}

std::string world_clone_animal(world_type& world, std::uint64_t id, std::uint64_t* made)
{
    if (world_find_animal(world, id) == nullptr) return "no animal has id " + std::to_string(id);
    std::string problem = record(world, "clone", {static_cast<double>(id)});
    if (problem.empty() && made != nullptr) *made = world.animals->id;
    return problem;
}

std::string world_remove_animal(world_type& world, std::uint64_t id)
{
    if (world_find_animal(world, id) == nullptr) return "no animal has id " + std::to_string(id);
    return record(world, "remove", {static_cast<double>(id)});
}

std::string world_set_genes(world_type& world, std::uint64_t id, const std::vector<double>& genes)
{
    if (world_find_animal(world, id) == nullptr) return "no animal has id " + std::to_string(id);
    if (std::string problem = genes_problem(world, genes, 0); !problem.empty()) return problem;
    std::vector<double> data{static_cast<double>(id)};
    data.insert(data.end(), genes.begin(), genes.end());
    return record(world, "genes", std::move(data));
}

std::string world_add_founder(world_type& world, double x, double y, double heading, const std::vector<double>& genes,
                              std::uint64_t came_from, std::uint64_t* made)
{
    if (std::string problem = place_problem(world, x, y); !problem.empty()) return problem;
    if (!std::isfinite(heading)) return "the heading is not a finite number";
    if (std::string problem = genes_problem(world, genes, 0); !problem.empty()) return problem;
    std::vector<double> data{x, y, heading, static_cast<double>(came_from)};
    data.insert(data.end(), genes.begin(), genes.end());
    std::string problem = record(world, "add_founder", std::move(data));
    if (problem.empty() && made != nullptr) *made = world.animals->id;
    return problem;
}

std::string world_add_plant_at(world_type& world, double x, double y)
{
    if (std::string problem = place_problem(world, x, y); !problem.empty()) return problem;
    return record(world, "add_plant_at", {x, y});
}

std::string world_remove_plants_in(world_type& world, double x0, double y0, double x1, double y1)
{
    for (const double v : {x0, y0, x1, y1})
        if (!std::isfinite(v)) return "the corners must be finite numbers";
    return record(world, "remove_plants_in", {x0, y0, x1, y1});
}
