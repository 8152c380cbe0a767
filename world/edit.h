// Edits by hand: an animal moved, cloned, removed or given other genes, an
// animal added from elsewhere, plants added or cleared. Each is a change of
// the world's run, with all it needs (ids, positions, genes), so that a run
// file replays it exactly; each is made between updates. What would not fit
// (an animal that is gone, a place outside the world, genes of another
// length or not finite) is refused with its reason, and nothing changes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct animal_type;
struct run_event_type;
struct world_type;

// The edits, as run_event_type::setting names them; their data:
//   move:             id, x, y
//   clone:            id (the clone goes beside it, its first parent the original)
//   remove:           id
//   genes:            id, then the genes
//   add_founder:      x, y, heading, the id it had where it came from (0 for none), then the genes
//   add_plant_at:     x, y
//   remove_plants_in: x0, y0, x1, y1 (plants whose centres lie within)
inline constexpr const char* edit_names[] = {"move", "clone", "remove", "genes", "add_founder", "add_plant_at", "remove_plants_in"};
bool edit_is(const std::string& name);
// What is wrong with an edit's data, whatever the world; empty when nothing is.
std::string edit_data_problem(const run_event_type& edit);
// Makes an edit recorded earlier (a replay): one that no longer fits the world changes nothing.
void edit_apply(world_type& world, const run_event_type& edit);

animal_type* world_find_animal(const world_type& world, std::uint64_t id);   // null when none has it

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
