// Vision's entry: an animal's sectors, then its plants counted one way or
// another (vision_plants.cpp, vision_lanes.cpp, vision_rows.cpp), every way
// giving the counts of the plain walk.
#include "animal/animal.h"

#include "animal/vision.h"
#include "base/utility.h"
#include "world/grid.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double ray_length = 0.55;

// The sectors of an animal at (x, y) with this heading, counted as the world
// chooses; the rays' offsets go to ray_x and ray_y.
void set_up_frame(const world_type& world, vision_frame_type& frame, double x, double y, double heading, int count,
                  double* ray_x, double* ray_y)
{
    frame.lanes = world.options.vision_lanes;
    frame.few_plants = world.options.vision_few_plants;
    const double step = half_pi / count;
    // The end of sector j is the start of sector j + 1 (the same sum), so
    // count + 1 wrapped boundaries describe all sectors and their rays.
    frame.x = x;
    frame.y = y;
    frame.count = count;
    double a = heading - quarter_pi;
    frame.boundary[0] = angle_wrap(a);
    for (int j = 0; j < count; ++j) {
        frame.boundary[j + 1] = angle_wrap(a + step);
        a = a + step;
    }
    frame.math = world.math;
    for (int j = 0; j <= count; ++j) math_sincos(world.math, frame.boundary[j], frame.sin_boundary[j], frame.cos_boundary[j]);
    for (int j = 0; j < count; ++j) {
        ray_x[2 * j] = ray_length * frame.cos_boundary[j];
        ray_y[2 * j] = ray_length * frame.sin_boundary[j];
        ray_x[2 * j + 1] = ray_length * frame.cos_boundary[j + 1];
        ray_y[2 * j + 1] = ray_length * frame.sin_boundary[j + 1];
        frame.counts[j] = frame.boundary[j] < frame.boundary[j + 1];
    }
    std::fill(frame.hits, frame.hits + count + 1, 0);
}

// Counts the plants of cells, which are the world's plants in cell order.
void see_cells(const world_type& world, vision_frame_type& frame, const grid_plant_cells_type& cells)
{
    const std::size_t count = static_cast<std::size_t>(cells.start.back());
    const double scale = vision_rows_scale(frame, world.grid.width, world.grid.height, count);
    if (scale > 0) {
        vision_see_rows(frame, cells, scale);
    } else {
        vision_see_each(frame, cells.x.data(), cells.y.data(), nullptr, count);
    }
}

void write_sensors(const vision_frame_type& frame, sensor_type* sensors)
{
    for (int j = 0; j < frame.count; ++j) sensors[j].plant = frame.hits[j] > 0 ? frame.hits[j] * 0.1 : -0.5;
}

}  // namespace

void check_vision(world_type& world, double x, double y, double heading, int count, sensor_type* sensors,
                  double* ray_x, double* ray_y)
{
    if (count <= 0) return;
    if (count > animal_vision_capacity) count = animal_vision_capacity;
    vision_frame_type frame;
    set_up_frame(world, frame, x, y, heading, count, ray_x, ray_y);
    const grid_bodies_type& plants = world.grid.plants;
    if (vision_rows_scale(frame, world.grid.width, world.grid.height, plants.x.size()) > 0) {
        grid_sort_plants(world);
        see_cells(world, frame, world.grid.plant_cells);
    } else {
        vision_see_each(frame, plants.x.data(), plants.y.data(), nullptr, plants.x.size());  // as filed: no copy to make
    }
    write_sensors(frame, sensors);
}

void animal_see(const world_type& world, animal_type* animal, const grid_plant_cells_type& cells, const grid_plant_changes_type& changes,
                std::size_t from, std::size_t to)
{
    int count = animal->num_vision;
    if (count <= 0) return;
    if (count > animal_vision_capacity) count = animal_vision_capacity;
    vision_frame_type frame;
    set_up_frame(world, frame, animal->x, animal->y, animal->heading, count, animal->ray_x, animal->ray_y);
    see_cells(world, frame, cells);
    // Each plant counts in its own sector alone, so a change is taken back by
    // counting its plant once more the other way.
    if (from < to) vision_see_each(frame, changes.x.data() + from, changes.y.data() + from, changes.undo.data() + from, to - from);
    write_sensors(frame, animal->vision);
}
