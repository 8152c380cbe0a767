// The world's spatial index. Every plant and animal is filed in a uniform grid
// of cells over the world rectangle, with its centre and size copied into
// packed arrays, so that touch and eating look only at the cells within reach
// and vision counts whole runs of cells that lie inside one sector, instead
// of every step walking both lists through nodes scattered in memory.
//
// Plants and animals have cells of their own size: plant cells hold about two
// plants, so that vision places few plants one by one. For vision the plants
// are also copied out in cell order (grid_plant_cells_type), so that a run of
// cells is one range of two arrays: counted at once, or read front to back.
// Between world updates the slots are renumbered in cell order once enough
// has moved, so that neighbouring cells sit in neighbouring memory.
//
// The lists stay the truth. The index only says where to look: each test is
// the one the list walk makes, on the same doubles, and the one decision that
// depends on list order (an animal touching the head plant eats only it) asks
// the list. Bodies outside the rectangle go to an overflow cell that every
// query visits.
#pragma once

#include <cstdint>
#include <vector>

struct animal_type;
struct plant_type;
struct world_type;

inline constexpr std::int32_t grid_none = -1;

// One kind of body, packed: slot s holds one plant or animal. Each kind has
// its own cells: plants are filed finely, so that vision places few of them
// one by one; animals coarsely, as only touch looks them up.
struct grid_bodies_type {
    double width = 0.0;                  // the rectangle the cells cover, world units: the grid's, copied when laid out
    double height = 0.0;
    double cell_width = 1.0;             // world units
    double cell_height = 1.0;
    double per_cell_width = 1.0;         // 1 / cell_width: cells are found by multiplying
    double per_cell_height = 1.0;
    std::int32_t columns = 0;            // cells along x; 0 before the first reset
    std::int32_t rows = 0;
    std::vector<double> x;               // centre, world units; a copy of the record's
    std::vector<double> y;
    std::vector<double> size_sum;        // size_x + size_y of the record
    std::vector<void*> record;           // the plant_type or animal_type itself
    std::vector<void*> before;           // plants: the plant before it in the world's list, null for the head
    std::vector<std::int32_t> cell;      // cell of the slot; grid_overflow_cell() when outside
    std::vector<std::int32_t> next;      // next slot in the same cell, grid_none at the end
    std::vector<std::int32_t> prev;      // previous slot in the same cell, grid_none at the start
    std::vector<std::int32_t> cell_head; // per cell and the overflow cell: first slot, grid_none if empty
    std::vector<std::int32_t> cell_count;   // bodies per cell and in the overflow cell
    double max_size_sum = 0.0;           // largest size_sum filed since the last clear
    std::int64_t changes = 0;            // bodies filed, moved or taken out since the slots were last put in cell order
    std::uint64_t edits = 0;             // bodies filed, moved or taken out, or cells laid out, ever
    std::vector<std::int32_t> order;     // scratch of grid_tidy, kept for reuse
    std::vector<double> spare_numbers;
    std::vector<void*> spare_pointers;
    std::vector<std::int32_t> spare_cells;
};

// The plants in cell order, the overflow cell last: the plants of cells a ..
// b - 1 are entries start[a] .. start[b] - 1 of x and y, which go on for
// grid_plant_padding entries more, so that vision may read a few lanes past
// the end. A copy, made by grid_sort_plants; vision reads it from several
// threads at once.
inline constexpr int grid_plant_padding = 8;

// Rounded copies serve only where every value involved is at most
// grid_rounded_limit in size; beyond it they are clamped, which keeps the
// conversion defined.
inline constexpr double grid_rounded_limit = 1e30;
inline float grid_rounded(double value)
{
    return static_cast<float>(value < -grid_rounded_limit ? -grid_rounded_limit
                              : value > grid_rounded_limit ? grid_rounded_limit : value);
}

struct grid_plant_cells_type {
    double cell_width = 1.0;              // world units; cells of their own, shaped for vision
    double cell_height = 1.0;
    double per_cell_width = 1.0;
    double per_cell_height = 1.0;
    std::int32_t columns = 0;             // cells along x; 0 before the first sort
    std::int32_t rows = 0;
    std::vector<double> x;                // centres, world units
    std::vector<double> y;
    std::vector<float> x_rounded;         // the same rounded to float: twice the lanes for tests whose
    std::vector<float> y_rounded;         // margin dwarfs the rounding
    std::vector<std::int32_t> start;      // per cell, row by row, and the overflow cell; then the end
    std::vector<std::int32_t> scratch;
    std::uint64_t edits = ~std::uint64_t{0};  // the plants' edits when made
};

// The plants filed or taken out during a world update's eating, in order,
// each with the animal eating: vision, which counts the plants there are
// once all have eaten, takes these back for the animals before.
struct grid_plant_changes_type {
    std::vector<double> x;              // the plant's centre
    std::vector<double> y;
    std::vector<long long> undo;        // what taking it back adds to a count: -1 filed, +1 taken out
    std::vector<std::uint32_t> animal;  // place in the world's list of the animal eating
};

inline constexpr std::size_t grid_max_plant_snapshots = 16;

struct grid_type {
    double width = 0.0;             // the rectangle the cells cover, world units
    double height = 0.0;
    grid_bodies_type plants;
    grid_bodies_type animals;
    grid_plant_cells_type plant_cells;
    bool logs_plant_changes = false;             // set by the update while animals eat
    std::uint32_t eating_animal = 0;             // its place in the list, for the log
    grid_plant_changes_type plant_changes;
    // The plants as they stood after some animals ate, in list order, the
    // last one being plant_cells: vision takes back the fewer changes from
    // the nearest one after an animal's turn.
    std::vector<grid_plant_cells_type> plant_snapshots;
    std::vector<std::uint32_t> snapshot_after;   // per snapshot, the animal after whose turn it was taken
};

// Empties the index and lays out cells for a world of this size and about
// these counts. Called by the world reset; keeps its memory for reuse.
void grid_reset(world_type& world, double width, double height, std::int64_t animals, std::int64_t plants);
void grid_release(world_type& world);   // empties it and gives its memory back

void grid_add_plant(world_type& world, plant_type* plant);      // right after the plant is linked
// Right after the plant is taken out of the list (its next still set) and
// before it is freed; unfiled plants are ignored.
void grid_remove_plant(world_type& world, plant_type* plant);
// The link that points at a filed plant in the world's list (the head, or the
// next of the plant before it), so that it is unlinked without a walk; null
// for a plant the index does not hold.
plant_type** grid_plant_link(world_type& world, const plant_type* plant);
void grid_clear_plants(world_type& world);
void grid_add_animal(world_type& world, animal_type* animal);   // right after the animal is made
void grid_move_animal(world_type& world, animal_type* animal);  // after its position changes; unfiled animals are ignored
void grid_clear_animals(world_type& world);
// Renumbers the slots in cell order once enough has changed, so that a walk
// over neighbouring cells reads neighbouring memory. Between world updates
// only: slots change.
void grid_tidy(world_type& world);
// Makes grid.plant_cells hold the plants as they are now, unless it does.
void grid_sort_plants(world_type& world);
void grid_sort_plants_into(world_type& world, grid_plant_cells_type& cells);   // a copy as they are now, always

// What is wrong with the index against the world's lists, or null when nothing
// is: it holds every animal and plant once, where it stands, in the cell its
// position maps to, plants with the plant before them in the list.
const char* grid_problem(const world_type& world);

inline std::int32_t grid_cell_count(const grid_bodies_type& bodies) { return bodies.columns * bodies.rows; }
inline std::int32_t grid_overflow_cell(const grid_bodies_type& bodies) { return grid_cell_count(bodies); }

// The cells that hold the points of [x0, x1] x [y0, y1] inside the rectangle:
// columns first_column .. last_column, rows first_row .. last_row (empty when last < first).
struct grid_range_type {
    std::int32_t first_column;
    std::int32_t last_column;
    std::int32_t first_row;
    std::int32_t last_row;
};
grid_range_type grid_cells_within(const grid_bodies_type& bodies, double x0, double x1, double y0, double y1);

// Calls visit(slot) for every body filed in a cell that holds points within
// radius of (x, y) along each axis, and for every body outside the rectangle,
// until visit returns false. Bodies farther away may be visited too.
template <class Visit>
void grid_visit_within(const grid_bodies_type& bodies, double x, double y, double radius, Visit visit)
{
    // A few bodies are quicker to visit all than to look up by cell.
    constexpr std::size_t few = 48;
    if (bodies.x.size() <= few) {
        for (std::int32_t slot = 0; slot < static_cast<std::int32_t>(bodies.x.size()); ++slot)
            if (!visit(slot)) return;
        return;
    }
    const grid_range_type range = grid_cells_within(bodies, x - radius, x + radius, y - radius, y + radius);
    for (std::int32_t row = range.first_row; row <= range.last_row; ++row)
        for (std::int32_t column = range.first_column; column <= range.last_column; ++column)
            for (std::int32_t slot = bodies.cell_head[row * bodies.columns + column]; slot != grid_none;
                 slot = bodies.next[slot])
                if (!visit(slot)) return;
    for (std::int32_t slot = bodies.cell_head[grid_overflow_cell(bodies)]; slot != grid_none; slot = bodies.next[slot])
        if (!visit(slot)) return;
}
