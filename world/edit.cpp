#include "world/edit.h"

#include "animal/animal.h"
#include "world/run.h"
#include "world/world.h"

#include <cmath>

namespace {

std::string place_problem(const world_type& world, double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y) || x < 0.0 || y < 0.0 || x > world.width || y > world.height)
        return "the place (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the world";
    return {};
}

std::string genes_problem(const world_type& world, const std::vector<double>& genes)
{
    const std::size_t wanted = animal_genes_for_shape(world.layer_count, world.layer_width);
    if (genes.size() != wanted)
        return std::to_string(genes.size()) + " genes do not fit this world's networks, which take " + std::to_string(wanted);
    for (std::size_t k = 0; k < genes.size(); ++k)
        if (!std::isfinite(genes[k])) return "gene " + std::to_string(k) + " is not a finite number";
    return {};
}

std::string animal_problem(const world_type& world, std::uint64_t id)
{
    return world_find_animal(world, id) == nullptr ? "no animal has id " + std::to_string(id) : std::string();
}

// An edit of the animal of that id.
run_event_type of_animal(run_event_kind_type kind, std::uint64_t id)
{
    run_event_type edit = run_event_of(kind);
    edit.id = id;
    return edit;
}

}  // namespace

std::string world_move_animal(world_type& world, std::uint64_t id, double x, double y)
{
    if (std::string problem = animal_problem(world, id); !problem.empty()) return problem;
    if (std::string problem = place_problem(world, x, y); !problem.empty()) return problem;
    run_event_type edit = of_animal(event_move, id);
    edit.x = x;
    edit.y = y;
    return world_record(world, std::move(edit));
}

std::string world_clone_animal(world_type& world, std::uint64_t id, std::uint64_t* made)
{
    if (std::string problem = animal_problem(world, id); !problem.empty()) return problem;
    std::string problem = world_record(world, of_animal(event_clone, id));
    if (problem.empty() && made != nullptr) *made = world.animals->id;
    return problem;
}

std::string world_remove_animal(world_type& world, std::uint64_t id)
{
    if (std::string problem = animal_problem(world, id); !problem.empty()) return problem;
    return world_record(world, of_animal(event_remove, id));
}

std::string world_set_genes(world_type& world, std::uint64_t id, const std::vector<double>& genes)
{
    if (std::string problem = animal_problem(world, id); !problem.empty()) return problem;
    if (std::string problem = genes_problem(world, genes); !problem.empty()) return problem;
    run_event_type edit = of_animal(event_genes, id);
    edit.genes = genes;
    return world_record(world, std::move(edit));
}

std::string world_add_founder(world_type& world, double x, double y, double heading, const std::vector<double>& genes,
                              std::uint64_t came_from, std::uint64_t* made)
{
    if (std::string problem = place_problem(world, x, y); !problem.empty()) return problem;
    if (!std::isfinite(heading)) return "the heading is not a finite number";
    if (std::string problem = genes_problem(world, genes); !problem.empty()) return problem;
    run_event_type edit = of_animal(event_add_founder, came_from);
    edit.x = x;
    edit.y = y;
    edit.heading = heading;
    edit.genes = genes;
    std::string problem = world_record(world, std::move(edit));
    if (problem.empty() && made != nullptr) *made = world.animals->id;
    return problem;
}

std::string world_add_plant_at(world_type& world, double x, double y)
{
    if (std::string problem = place_problem(world, x, y); !problem.empty()) return problem;
    run_event_type edit = run_event_of(event_add_plant_at);
    edit.x = x;
    edit.y = y;
    return world_record(world, std::move(edit));
}

std::string world_remove_plants_in(world_type& world, double x0, double y0, double x1, double y1)
{
    for (const double v : {x0, y0, x1, y1})
        if (!std::isfinite(v)) return "the corners must be finite numbers";
    run_event_type edit = run_event_of(event_remove_plants_in);
    edit.x = x0;
    edit.y = y0;
    edit.x1 = x1;
    edit.y1 = y1;
    return world_record(world, std::move(edit));
}
