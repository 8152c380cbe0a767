// Edits by hand: an animal moved, cloned, removed or given other genes, an
// animal added from elsewhere, plants added or cleared. Each is a change of
// the world's run (world/event.h), with all it needs (ids, places, genes), so
// that a run file replays it exactly; each is made between updates. What
// would not fit the world as it is (an animal that is gone, a place outside
// the world, genes of another length or not finite) is refused with its
// reason, and nothing changes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct world_type;

// Each checks, records the edit at the world's generation and update and
// makes it, returning an empty text; or returns why not.
std::string world_move_animal(world_type& world, std::uint64_t id, double x, double y);
std::string world_clone_animal(world_type& world, std::uint64_t id, std::uint64_t* made = nullptr);
std::string world_remove_animal(world_type& world, std::uint64_t id);
std::string world_set_genes(world_type& world, std::uint64_t id, const std::vector<double>& genes);
std::string world_add_founder(world_type& world, double x, double y, double heading, const std::vector<double>& genes,
                              std::uint64_t came_from = 0, std::uint64_t* made = nullptr);
std::string world_add_plant_at(world_type& world, double x, double y);
std::string world_remove_plants_in(world_type& world, double x0, double y0, double x1, double y1);
