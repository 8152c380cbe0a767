#include "world/grid.h"

#include "animal/animal.h"
#include "plant/plant.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr std::int32_t max_cells_per_axis = 2048;
// Bodies per cell when laid out. Vision places the plants of the cells its
// rays run across one by one, so plant cells hold few; touch visits the
// cells within a whisker's reach, so animal cells may hold more.
constexpr double plants_per_cell = 2.0;
constexpr double animals_per_cell = 4.0;

// The cell of a point, or the overflow cell outside the rectangle (NaN included).
std::int32_t cell_of(const grid_bodies_type& bodies, double x, double y)
{
    if (!(x >= 0.0 && x <= bodies.width && y >= 0.0 && y <= bodies.height)) return grid_overflow_cell(bodies);
    const std::int32_t column = std::min(static_cast<std::int32_t>(x * bodies.per_cell_width), bodies.columns - 1);
    const std::int32_t row = std::min(static_cast<std::int32_t>(y * bodies.per_cell_height), bodies.rows - 1);
    return row * bodies.columns + column;
}

// Calls f on every per-slot column, for what is done to all of them alike.
template <class F>
void each_column(grid_bodies_type& bodies, F f)
{
    f(bodies.x);
    f(bodies.y);
    f(bodies.size_sum);
    f(bodies.record);
    f(bodies.before);
    f(bodies.cell);
    f(bodies.next);
    f(bodies.prev);
}

// One more or one fewer body in this cell, in the counts.
void count(grid_bodies_type& bodies, std::int32_t cell, std::int32_t change)
{
    bodies.cell_count[cell] += change;
    bodies.edits += 1;
}

void log_plant_change(grid_type& g, double x, double y, long long undo)
{
    if (!g.logs_plant_changes) return;
    g.plant_changes.x.push_back(x);
    g.plant_changes.y.push_back(y);
    g.plant_changes.undo.push_back(undo);
    g.plant_changes.animal.push_back(g.eating_animal);
}

// Puts the slot at the head of its cell's list; counts stay as they are.
void push_front(grid_bodies_type& bodies, std::int32_t slot, std::int32_t cell)
{
    bodies.cell[slot] = cell;
    bodies.prev[slot] = grid_none;
    bodies.next[slot] = bodies.cell_head[cell];
    if (bodies.next[slot] != grid_none) bodies.prev[bodies.next[slot]] = slot;
    bodies.cell_head[cell] = slot;
}

void link(grid_bodies_type& bodies, std::int32_t slot, std::int32_t cell)
{
    bodies.changes += 1;
    push_front(bodies, slot, cell);
    count(bodies, cell, 1);
}

void unlink(grid_bodies_type& bodies, std::int32_t slot)
{
    const std::int32_t cell = bodies.cell[slot];
    if (bodies.prev[slot] != grid_none) {
        bodies.next[bodies.prev[slot]] = bodies.next[slot];
    } else {
        bodies.cell_head[cell] = bodies.next[slot];
    }
    if (bodies.next[slot] != grid_none) bodies.prev[bodies.next[slot]] = bodies.prev[slot];
    count(bodies, cell, -1);
}

void set_slot_of(void* record, bool plant, std::int32_t slot)
{
    if (plant) {
        static_cast<plant_type*>(record)->grid_slot = slot;
    } else {
        static_cast<animal_type*>(record)->grid_slot = slot;
    }
}

std::int32_t add_body(grid_bodies_type& bodies, void* record, double x, double y, double size_sum)
{
    const std::int32_t slot = static_cast<std::int32_t>(bodies.x.size());
    bodies.x.push_back(x);
    bodies.y.push_back(y);
    bodies.size_sum.push_back(size_sum);
    bodies.record.push_back(record);
    bodies.before.push_back(nullptr);
    bodies.cell.push_back(grid_none);
    bodies.next.push_back(grid_none);
    bodies.prev.push_back(grid_none);
    bodies.max_size_sum = std::max(bodies.max_size_sum, size_sum);
    link(bodies, slot, cell_of(bodies, x, y));
    return slot;
}

// Moves the last slot into the freed one, so the arrays stay packed.
void remove_body(grid_bodies_type& bodies, std::int32_t slot, bool plant)
{
    unlink(bodies, slot);
    const std::int32_t last = static_cast<std::int32_t>(bodies.x.size()) - 1;
    if (slot != last) {
        // The last body takes the freed slot in its own cell's list: its cell and the counts stay.
        const std::int32_t cell = bodies.cell[last];
        const std::int32_t before = bodies.prev[last], after = bodies.next[last];
        if (before != grid_none) {
            bodies.next[before] = slot;
        } else {
            bodies.cell_head[cell] = slot;
        }
        if (after != grid_none) bodies.prev[after] = slot;
        bodies.prev[slot] = before;
        bodies.next[slot] = after;
        bodies.cell[slot] = cell;
        bodies.x[slot] = bodies.x[last];
        bodies.y[slot] = bodies.y[last];
        bodies.size_sum[slot] = bodies.size_sum[last];
        bodies.record[slot] = bodies.record[last];
        bodies.before[slot] = bodies.before[last];
        bodies.changes += 1;
        set_slot_of(bodies.record[slot], plant, slot);
    }
    each_column(bodies, [](auto& column) { column.pop_back(); });
}

// Empty cells, and counts of nothing.
void clear_cells(grid_bodies_type& bodies)
{
    bodies.cell_head.assign(static_cast<std::size_t>(grid_cell_count(bodies)) + 1, grid_none);
    bodies.cell_count.assign(static_cast<std::size_t>(grid_cell_count(bodies)) + 1, 0);
    bodies.edits += 1;
}

void clear_bodies(grid_bodies_type& bodies)
{
    each_column(bodies, [](auto& column) { column.clear(); });
    clear_cells(bodies);
    bodies.max_size_sum = 0.0;
}

// Room for the bodies a world of this size holds and then some, so that
// eating (a replacement goes in before the eaten plant goes out) and adding
// a few animals never allocate.
void reserve_bodies(grid_bodies_type& bodies, std::int64_t count)
{
    const std::size_t room = static_cast<std::size_t>(std::max<std::int64_t>(count, 0)) * 9 / 8 + 16;
    each_column(bodies, [room](auto& column) { column.reserve(room); });
    bodies.order.reserve(room);
    bodies.spare_numbers.reserve(room);
    bodies.spare_pointers.reserve(room);
    bodies.spare_cells.reserve(room);
}

// Column c becomes what it held at slot order[c]; scratch is of the same type.
template <class T>
void permute(std::vector<T>& column, const std::vector<std::int32_t>& order, std::vector<T>& scratch)
{
    scratch.resize(column.size());
    for (std::size_t i = 0; i < column.size(); ++i) scratch[i] = column[order[i]];
    column.swap(scratch);
}

// Slots renumbered cell by cell, each cell's bodies in their list order.
void sort_by_cell(grid_bodies_type& bodies, bool plant)
{
    bodies.changes = 0;
    const std::int32_t count = static_cast<std::int32_t>(bodies.x.size());
    if (count < 2) return;
    bodies.order.clear();
    for (std::int32_t cell = 0; cell <= grid_overflow_cell(bodies); ++cell)
        for (std::int32_t slot = bodies.cell_head[cell]; slot != grid_none; slot = bodies.next[slot])
            bodies.order.push_back(slot);
    permute(bodies.x, bodies.order, bodies.spare_numbers);
    permute(bodies.y, bodies.order, bodies.spare_numbers);
    permute(bodies.size_sum, bodies.order, bodies.spare_numbers);
    permute(bodies.record, bodies.order, bodies.spare_pointers);
    permute(bodies.before, bodies.order, bodies.spare_pointers);
    permute(bodies.cell, bodies.order, bodies.spare_cells);
    // Each cell's list rebuilt from its last slot down, so that it runs in slot order.
    std::fill(bodies.cell_head.begin(), bodies.cell_head.end(), grid_none);
    for (std::int32_t slot = count - 1; slot >= 0; --slot) {
        push_front(bodies, slot, bodies.cell[slot]);
        set_slot_of(bodies.record[slot], plant, slot);
    }
}

// Square cells over the rectangle, about per_cell bodies each for this many.
struct cell_shape_type {
    std::int32_t columns;
    std::int32_t rows;
};
cell_shape_type cell_shape(const grid_type& g, std::int64_t count, double per_cell)
{
    const double cells_wanted = std::max(static_cast<double>(std::max<std::int64_t>(count, 1)) / per_cell, 1.0);
    const double side = std::sqrt(g.width * g.height / cells_wanted);
    const auto along = [side](double extent) {
        const double cells = std::ceil(extent / side);
        return static_cast<std::int32_t>(std::clamp(std::isfinite(cells) ? cells : 1.0, 1.0, double{max_cells_per_axis}));
    };
    return {along(g.width), along(g.height)};
}

void lay_out(const grid_type& g, grid_bodies_type& bodies, std::int64_t count, double per_cell)
{
    const cell_shape_type shape = cell_shape(g, count, per_cell);
    bodies.width = g.width;
    bodies.height = g.height;
    bodies.columns = shape.columns;
    bodies.rows = shape.rows;
    bodies.cell_width = g.width / bodies.columns;
    bodies.cell_height = g.height / bodies.rows;
    bodies.per_cell_width = 1.0 / bodies.cell_width;
    bodies.per_cell_height = 1.0 / bodies.cell_height;
}

// Lays the cells out again for the bodies there are now and files them anew.
void lay_out_again(const grid_type& g, grid_bodies_type& bodies, double per_cell)
{
    lay_out(g, bodies, static_cast<std::int64_t>(bodies.x.size()), per_cell);
    clear_cells(bodies);
    for (std::int32_t slot = 0; slot < static_cast<std::int32_t>(bodies.x.size()); ++slot)
        link(bodies, slot, cell_of(bodies, bodies.x[slot], bodies.y[slot]));
}

// Cells far too small for their bodies are laid out again when one is added,
// never during a world update's eating, which keeps the plant count. Only a
// layout with more cells is worth it: in a world far longer than wide the
// cells along it reach their limit while the count grows on, and laying the
// same cells out at every addition made filling it take quadratic time.
void grow_if_crowded(world_type& world, grid_bodies_type& bodies, double per_cell)
{
    if (bodies.columns == 0) {
        grid_reset(world, world.width, world.height, 0, 0);
        return;
    }
    const double count = static_cast<double>(bodies.x.size());
    if (count <= 8.0 * per_cell * grid_cell_count(bodies) + 64) return;
    const cell_shape_type shape = cell_shape(world.grid, static_cast<std::int64_t>(bodies.x.size()), per_cell);
    if (static_cast<std::int64_t>(shape.columns) * shape.rows > static_cast<std::int64_t>(bodies.columns) * bodies.rows)
        lay_out_again(world.grid, bodies, per_cell);
}

// Vision's cells: rows of height sqrt(vision_plants_per_square / density),
// split into vision_columns_per_row_height columns per row height. A row
// costs vision a few steps per boundary line crossing it, and the plants of
// the cells a line crosses are tested eight at a time: taller rows mean fewer
// rows but more plants tested, narrow columns fewer plants at a few more steps.
// Measured at 10,000 and 50,000 animals; between 12 and 48 plants per square
// the difference was within this machine's noise, 30 the best of the runs.
constexpr double vision_plants_per_square = 30.0;
constexpr double vision_columns_per_row_height = 3.0;

void lay_out_vision_cells(grid_plant_cells_type& cells, double width, double height, std::int64_t count)
{
    const double density = static_cast<double>(std::max<std::int64_t>(count, 1)) / (width * height);
    const double side = std::sqrt(vision_plants_per_square / density);
    const auto along = [](double cells_wanted) {
        const double cells = std::ceil(cells_wanted);
        return static_cast<std::int32_t>(std::clamp(std::isfinite(cells) ? cells : 1.0, 1.0, double{max_cells_per_axis}));
    };
    const std::int32_t columns = along(width / side * vision_columns_per_row_height), rows = along(height / side);
    if (columns == cells.columns && rows == cells.rows && cells.cell_width == width / columns &&
        cells.cell_height == height / rows) return;
    cells.columns = columns;
    cells.rows = rows;
    cells.cell_width = width / columns;
    cells.cell_height = height / rows;
    cells.per_cell_width = 1.0 / cells.cell_width;
    cells.per_cell_height = 1.0 / cells.cell_height;
}

bool filed(const grid_bodies_type& bodies, const void* record, std::int32_t slot)
{
    return slot >= 0 && slot < static_cast<std::int32_t>(bodies.x.size()) && bodies.record[slot] == record;
}

}  // namespace

void grid_reset(world_type& world, double width, double height, std::int64_t animals, std::int64_t plants)
{
    grid_type& g = world.grid;
    g.width = std::isfinite(width) && width > 0 ? width : 1.0;
    g.height = std::isfinite(height) && height > 0 ? height : 1.0;
    lay_out(g, g.plants, plants, plants_per_cell);
    lay_out(g, g.animals, animals, animals_per_cell);
    clear_bodies(world.grid.plants);
    clear_bodies(world.grid.animals);
    reserve_bodies(world.grid.plants, plants);
    reserve_bodies(world.grid.animals, animals);
    // Room for an update's changes and snapshots, so that updates do not allocate.
    const std::size_t changes = static_cast<std::size_t>(std::max<std::int64_t>(plants + animals, 0)) * 2 + 64;
    g.plant_changes.x.reserve(changes);
    g.plant_changes.y.reserve(changes);
    g.plant_changes.undo.reserve(changes);
    g.plant_changes.animal.reserve(changes);
    g.snapshot_after.reserve(grid_max_plant_snapshots);
    g.plant_snapshots.resize(grid_max_plant_snapshots);
    const std::size_t room = static_cast<std::size_t>(std::max<std::int64_t>(plants, 0)) * 9 / 8 + 16 + grid_plant_padding;
    const auto reserve = [&](grid_plant_cells_type& cells) {
        lay_out_vision_cells(cells, g.width, g.height, plants);
        cells.x.reserve(room);
        cells.y.reserve(room);
        cells.x_rounded.reserve(room);
        cells.y_rounded.reserve(room);
        cells.scratch.reserve(room);
        cells.start.reserve(static_cast<std::size_t>(cells.columns) * cells.rows + 2);
    };
    reserve(g.plant_cells);
    for (grid_plant_cells_type& cells : g.plant_snapshots) reserve(cells);
}

void grid_release(world_type& world)
{
    world.grid = grid_type{};
}

void grid_add_plant(world_type& world, plant_type* plant)
{
    grow_if_crowded(world, world.grid.plants, plants_per_cell);
    grid_bodies_type& plants = world.grid.plants;
    plant->grid_slot = add_body(plants, plant, plant->x, plant->y, plant->size_x + plant->size_y);
    log_plant_change(world.grid, plant->x, plant->y, -1);
    if (plant->next != nullptr && filed(plants, plant->next, plant->next->grid_slot))
        plants.before[plant->next->grid_slot] = plant;
}

plant_type** grid_plant_link(world_type& world, const plant_type* plant)
{
    const grid_bodies_type& plants = world.grid.plants;
    if (!filed(plants, plant, plant->grid_slot)) return nullptr;
    plant_type* before = static_cast<plant_type*>(plants.before[plant->grid_slot]);
    return before != nullptr ? &before->next : &world.plants;
}

void grid_remove_plant(world_type& world, plant_type* plant)
{
    grid_bodies_type& plants = world.grid.plants;
    if (!filed(plants, plant, plant->grid_slot)) return;
    plant_type* next = plant->next;  // now follows the plant before it
    if (next != nullptr && filed(plants, next, next->grid_slot)) plants.before[next->grid_slot] = plants.before[plant->grid_slot];
    log_plant_change(world.grid, plants.x[plant->grid_slot], plants.y[plant->grid_slot], 1);
    remove_body(plants, plant->grid_slot, true);
    plant->grid_slot = grid_none;
}

void grid_clear_plants(world_type& world)
{
    if (world.grid.plants.columns > 0) clear_bodies(world.grid.plants);
}

void grid_add_animal(world_type& world, animal_type* animal)
{
    grow_if_crowded(world, world.grid.animals, animals_per_cell);
    animal->grid_slot = add_body(world.grid.animals, animal, animal->x, animal->y, animal->size_x + animal->size_y);
}

void grid_move_animal(world_type& world, animal_type* animal)
{
    grid_bodies_type& bodies = world.grid.animals;
    const std::int32_t slot = animal->grid_slot;
    if (!filed(bodies, animal, slot)) return;
    bodies.x[slot] = animal->x;
    bodies.y[slot] = animal->y;
    bodies.size_sum[slot] = animal->size_x + animal->size_y;
    bodies.max_size_sum = std::max(bodies.max_size_sum, bodies.size_sum[slot]);
    const std::int32_t cell = cell_of(bodies, animal->x, animal->y);
    if (cell == bodies.cell[slot]) return;
    unlink(bodies, slot);
    link(bodies, slot, cell);
}

void grid_tidy(world_type& world)
{
    // A few dozen changes per thousand bodies leave most neighbours together.
    for (auto [bodies, plant] : {std::pair{&world.grid.plants, true}, std::pair{&world.grid.animals, false}})
        if (bodies->changes * 32 > static_cast<std::int64_t>(bodies->x.size()) + 64) sort_by_cell(*bodies, plant);
}

void grid_sort_plants(world_type& world)
{
    if (world.grid.plant_cells.edits != world.grid.plants.edits) grid_sort_plants_into(world, world.grid.plant_cells);
}

void grid_sort_plants_into(world_type& world, grid_plant_cells_type& cells)
{
    const grid_type& g = world.grid;
    const grid_bodies_type& plants = g.plants;
    const std::size_t count = plants.x.size();
    lay_out_vision_cells(cells, g.width, g.height, static_cast<std::int64_t>(count));
    const std::size_t cell_count = static_cast<std::size_t>(cells.columns) * cells.rows + 1;  // and the overflow cell
    std::vector<std::int32_t>& at = cells.scratch;
    at.resize(count);
    cells.start.assign(cell_count + 1, 0);
    for (std::size_t slot = 0; slot < count; ++slot) {
        const double x = plants.x[slot], y = plants.y[slot];
        std::size_t cell = cell_count - 1;
        if (x >= 0.0 && x <= g.width && y >= 0.0 && y <= g.height) {
            const std::int32_t column = std::min(static_cast<std::int32_t>(x * cells.per_cell_width), cells.columns - 1);
            const std::int32_t row = std::min(static_cast<std::int32_t>(y * cells.per_cell_height), cells.rows - 1);
            cell = static_cast<std::size_t>(row) * cells.columns + column;
        }
        at[slot] = static_cast<std::int32_t>(cell);
        cells.start[cell + 1] += 1;
    }
    for (std::size_t c = 0; c < cell_count; ++c) cells.start[c + 1] += cells.start[c];
    cells.x.resize(count + grid_plant_padding);
    cells.y.resize(count + grid_plant_padding);
    cells.x_rounded.resize(count + grid_plant_padding);
    cells.y_rounded.resize(count + grid_plant_padding);
    // Each cell's plants in slot order; after grid_tidy that is close to the slots' own order.
    for (std::size_t slot = 0; slot < count; ++slot) {
        std::int32_t& fill = cells.start[static_cast<std::size_t>(at[slot])];
        cells.x[static_cast<std::size_t>(fill)] = plants.x[slot];
        cells.y[static_cast<std::size_t>(fill)] = plants.y[slot];
        cells.x_rounded[static_cast<std::size_t>(fill)] = grid_rounded(plants.x[slot]);
        cells.y_rounded[static_cast<std::size_t>(fill)] = grid_rounded(plants.y[slot]);
        fill += 1;
    }
    // Each start was moved on to the next cell's: shift them back.
    for (std::size_t c = cell_count; c > 0; --c) cells.start[c] = cells.start[c - 1];
    cells.start[0] = 0;
    cells.edits = plants.edits;
}

void grid_clear_animals(world_type& world)
{
    if (world.grid.animals.columns > 0) clear_bodies(world.grid.animals);
}

grid_range_type grid_cells_within(const grid_bodies_type& bodies, double x0, double x1, double y0, double y1)
{
    // The same product as a body's own cell, clamped in doubles first so that
    // a range far outside the rectangle cannot overflow an int; truncation is
    // the floor for the values left, which are not negative.
    const auto cell = [](double value, double per_cell, std::int32_t count) {
        return static_cast<std::int32_t>(std::clamp(value * per_cell, 0.0, double(count - 1)));
    };
    if (!(x1 >= 0.0 && y1 >= 0.0 && x0 <= bodies.width && y0 <= bodies.height)) return grid_range_type{0, -1, 0, -1};
    return grid_range_type{cell(x0, bodies.per_cell_width, bodies.columns), cell(x1, bodies.per_cell_width, bodies.columns),
                           cell(y0, bodies.per_cell_height, bodies.rows), cell(y1, bodies.per_cell_height, bodies.rows)};
}

namespace {

// The slots of one kind against its list, each record once and where it stands.
template <class Record>
const char* bodies_problem(const grid_bodies_type& bodies, const Record* list, bool plants)
{
    std::size_t count = 0;
    const Record* before = nullptr;
    for (const Record* record = list; record != nullptr; before = record, record = record->next, ++count) {
        const std::int32_t slot = record->grid_slot;
        if (slot < 0 || static_cast<std::size_t>(slot) >= bodies.x.size() || bodies.record[slot] != record)
            return plants ? "a plant of the list is not in the index" : "an animal of the list is not in the index";
        if (bodies.x[slot] != record->x || bodies.y[slot] != record->y || bodies.size_sum[slot] != record->size_x + record->size_y)
            return "the index holds a body where it no longer stands";
        if (bodies.cell[slot] != cell_of(bodies, record->x, record->y)) return "the index files a body in another cell than its own";
        if (plants && bodies.before[slot] != before) return "the index holds a plant with another plant before it than the list";
    }
    // Every list element has a slot of its own, so as many slots as elements means each is held once.
    if (count != bodies.x.size()) return "the index holds more bodies than the lists";
    std::int64_t filed = 0;
    for (const std::int32_t cell_count : bodies.cell_count) filed += cell_count;
    if (filed != static_cast<std::int64_t>(count)) return "the index's cell counts do not add up to its bodies";
    return nullptr;
}

}  // namespace

const char* grid_problem(const world_type& world)
{
    if (const char* problem = bodies_problem(world.grid.animals, world.animals, false)) return problem;
    return bodies_problem(world.grid.plants, world.plants, true);
}
