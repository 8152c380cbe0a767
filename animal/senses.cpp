#include "animal/animal.h"

#include "base/utility.h"
#include "plant/plant.h"
#include "world/grid.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double ray_length = 0.55;

// Tolerances of the fast tests. Each only decides when a cheap test may stand
// in for the exact one; anything closer than it takes the exact path.
// Positions carry rounding of about 1e-16 of the world's size on the way to a tip.
constexpr double position_tolerance = 1e-9;
// A reach computed in doubles may fall short of the true reach by a few ulps.
constexpr double reach_tolerance = 1e-9;
// An animal's own tips lie 5/16 of its size sum away against a radius of 4/16;
// only at coordinates this many tip lengths large could rounding blur that.
constexpr double self_blur_scale = 1e12;
// Directions closer than about 1e-9 rad to a sector boundary take atan2, whose
// error is far smaller, so only it may place them.
constexpr double boundary_tolerance = 1e-18;
// A plant more than about half a degree outside the cone cannot be in a sector.
constexpr double cone_tolerance = 1e-4;
// A block of cells is placed as a whole only when every point of it lies
// farther from each ray than 1e-9 of its distance, as a single plant must,
// with room for the rounding of the block's own corners.
constexpr double block_tolerance = 4e-9;
// Up to this many plants, testing each is cheaper than testing blocks.
constexpr std::size_t few_plants = 64;

// A body covers the points closer to its centre than the mean of its half
// extents; size_sum is its size_x + size_y.
inline bool body_contains(double tip_x, double tip_y, double x, double y, double size_sum)
{
    const double dx = tip_x - x;
    const double dy = tip_y - y;
    return size_sum * size_sum * 0.0625 > dx * dx + dy * dy;
}

inline bool tip_outside_world(double tip_x, double tip_y)
{
    return tip_x < 0 || tip_x > world.width || tip_y < 0 || tip_y > world.height;
}

inline double rounding_margin() { return position_tolerance * (world.width + world.height + 1.0); }

// A body can hold a whisker tip only if its centre lies within the whisker
// length plus its radius of the animal's centre.
inline double body_reach(double reach, double size_sum) { return (reach + size_sum * 0.25) * (1.0 + reach_tolerance); }

inline bool body_in_reach(double x, double y, double reach, double bx, double by, double size_sum)
{
    const double limit = body_reach(reach, size_sum);
    const double dx = bx - x;
    const double dy = by - y;
    return dx * dx + dy * dy <= limit * limit;
}

// The six whisker tips, computed only when some body or wall may be touched.
struct whisker_tips_type {
    double x[animal_touch_count];  // tip positions, world units
    double y[animal_touch_count];
    bool ready;                    // computed yet
};

void compute_tips(const animal_type* animal, double length, whisker_tips_type& tips)
{
    double offset = -third_pi;
    for (int k = 0; k < animal_touch_count; ++k) {
        const double angle = animal->heading + offset;
        tips.x[k] = animal->x + length * std::cos(angle);
        tips.y[k] = animal->y + length * std::sin(angle);
        offset += third_pi;
    }
    tips.ready = true;
}

// One kind of body against the six tips: sets field of each whisker whose tip
// lies in a body filed near the animal.
void touch_bodies(animal_type* animal, const grid_bodies_type& bodies, double length, double reach, bool skip_self,
                  whisker_tips_type& tips, double sensor_type::*field)
{
    const double x = animal->x;
    const double y = animal->y;
    int missing = animal_touch_count;
    grid_visit_within(bodies, x, y, body_reach(reach, bodies.max_size_sum) * (1.0 + reach_tolerance), [&](std::int32_t slot) {
        if ((skip_self && bodies.record[slot] == animal) ||
            !body_in_reach(x, y, reach, bodies.x[slot], bodies.y[slot], bodies.size_sum[slot]))
            return true;
        if (!tips.ready) compute_tips(animal, length, tips);
        for (int k = 0; k < animal_touch_count; ++k) {
            if (animal->touch[k].*field == -0.5 &&
                body_contains(tips.x[k], tips.y[k], bodies.x[slot], bodies.y[slot], bodies.size_sum[slot])) {
                animal->touch[k].*field = 0.5;
                --missing;
            }
        }
        return missing > 0;
    });
}

// One animal's vision sectors: their wrapped boundaries, each boundary ray's
// direction, and the plants counted so far.
struct vision_frame_type {
    double x;                                             // the animal's centre
    double y;
    int count;                                            // sectors, 1 .. 30
    double boundary[animal_vision_capacity + 1];          // wrapped angles; sector j runs from j to j + 1
    double cos_boundary[animal_vision_capacity + 1];
    double sin_boundary[animal_vision_capacity + 1];
    bool counts[animal_vision_capacity];                  // false for a sector whose wrapped start exceeds its end
    int hits[animal_vision_capacity];
};

// The sector a direction falls in, found from its side of each boundary ray
// instead of its angle: the index j with the direction strictly between rays
// j and j + 1, count when it is in none, or -1 when it lies so near a ray
// that only the exact angle may decide.
int sector_by_sides(const vision_frame_type& frame, double dx, double dy)
{
    const double slack = boundary_tolerance * (dx * dx + dy * dy);
    double previous = 0.0;
    int found = frame.count;
    for (int j = 0; j <= frame.count; ++j) {
        const double side = frame.cos_boundary[j] * dy - frame.sin_boundary[j] * dx;  // > 0: counter-clockwise of ray j
        if (side * side <= slack) return -1;
        if (j > 0 && previous > 0 && side < 0) found = j - 1;
        previous = side;
    }
    return found;
}

// Counts one plant in the sector its bearing falls in, as the plain walk
// with one atan2 per plant would.
inline void see_plant(vision_frame_type& frame, double plant_x, double plant_y)
{
    const double dx = plant_x - frame.x;
    const double dy = plant_y - frame.y;
    // A plant clearly outside the cone, behind the animal or beside it, lies in no sector.
    const double after_first = frame.cos_boundary[0] * dy - frame.sin_boundary[0] * dx;
    const double before_last = dx * frame.sin_boundary[frame.count] - dy * frame.cos_boundary[frame.count];
    const double slack = cone_tolerance * (dx * dx + dy * dy);
    if ((after_first < 0 && after_first * after_first > slack) || (before_last < 0 && before_last * before_last > slack))
        return;
    const int sector = sector_by_sides(frame, dx, dy);
    if (sector >= 0) {
        if (sector < frame.count && frame.counts[sector]) frame.hits[sector] += 1;
        return;
    }
    const double bearing = angle_wrap(std::atan2(dy, dx));
    for (int j = 0; j < frame.count; ++j)
        if (frame.boundary[j] < bearing && bearing < frame.boundary[j + 1]) frame.hits[j] += 1;
}

// Which side of each boundary ray the points of one cell lie on: +1
// counter-clockwise, -1 clockwise, 0 for a ray that runs across the cell.
struct cell_sides_type {
    int side[animal_vision_capacity + 1];
};

// The sector of points with these sides, or count for none (outside the cone).
int sector_of_sides(const vision_frame_type& frame, const int* side)
{
    if (side[0] < 0 || side[frame.count] > 0) return frame.count;
    int sector = 0;
    for (int j = 1; j < frame.count; ++j) sector += side[j] > 0;
    return sector;
}

// One plant of a cell that a ray runs across: only those rays are asked, and
// a plant too near one of them takes the exact path.
void see_plant_in(vision_frame_type& frame, const cell_sides_type& sides, double plant_x, double plant_y)
{
    const double dx = plant_x - frame.x;
    const double dy = plant_y - frame.y;
    const double slack = boundary_tolerance * (dx * dx + dy * dy);
    int side[animal_vision_capacity + 1];
    for (int j = 0; j <= frame.count; ++j) {
        side[j] = sides.side[j];
        if (side[j] != 0) continue;
        const double value = frame.cos_boundary[j] * dy - frame.sin_boundary[j] * dx;
        if (value * value <= slack) {
            see_plant(frame, plant_x, plant_y);
            return;
        }
        side[j] = value > 0 ? 1 : -1;
    }
    const int sector = sector_of_sides(frame, side);
    if (sector < frame.count && frame.counts[sector]) frame.hits[sector] += 1;
}

// The floor of a value already clamped to the range of an int.
inline std::int32_t floor_int(double value)
{
    const std::int32_t whole = static_cast<std::int32_t>(value);
    return whole > value ? whole - 1 : whole;
}

// Narrows [first, last] to the columns of a row whose value a + b * column
// may lie within [low, high]; inverse_b is 1 / b.
void columns_where(double a, double b, double inverse_b, double low, double high, std::int32_t& first,
                   std::int32_t& last)
{
    if (b == 0) {
        if (!(a >= low && a <= high)) first = last + 1;
        return;
    }
    double from = (low - a) * inverse_b, to = (high - a) * inverse_b;
    if (b < 0) std::swap(from, to);
    // Clamped in doubles first, so that no far value overflows an int.
    const double lowest = first - 1.0, highest = last + 1.0;
    first = std::max(first, -floor_int(-std::clamp(from, lowest, highest)));  // the ceiling
    last = std::min(last, floor_int(std::clamp(to, lowest, highest)));
}

// Vision over the cells, one row at a time. Along a row the side of each ray
// changes sign once, so the row splits into the few cells each ray may run
// across, where sides are worked out cell by cell and plants placed one by
// one where a ray does run across, and runs of cells between them that lie
// wholly in one sector or outside the cone, counted at once. A side counts
// for a whole cell only when all of it lies farther from the ray than a
// single plant must, with room for the rounding of the cell's own corners.
void see_cells(vision_frame_type& frame, const grid_bodies_type& plants)
{
    const grid_type& g = world_grid;
    const int rays = frame.count + 1;
    const int cone_end = frame.count;
    const double inflate = position_tolerance * (g.width + g.height + 1.0);
    const double hx = g.cell_width * 0.5 + inflate, hy = g.cell_height * 0.5 + inflate;
    const double first_cx = g.cell_width * 0.5 - frame.x;
    const double widest_cx = std::max(std::fabs(first_cx), std::fabs((g.columns - 0.5) * g.cell_width - frame.x));
    // Per ray: its side at a cell centre is a + b * column along a row, and
    // within extent of that over the cell.
    double extent[animal_vision_capacity + 1], b[animal_vision_capacity + 1], inverse_b[animal_vision_capacity + 1];
    for (int j = 0; j < rays; ++j) {
        extent[j] = std::fabs(frame.cos_boundary[j]) * hy + std::fabs(frame.sin_boundary[j]) * hx;
        b[j] = -frame.sin_boundary[j] * g.cell_width;
        inverse_b[j] = b[j] != 0 ? 1.0 / b[j] : 0.0;
    }
    double a[animal_vision_capacity + 1];
    struct span_type {
        std::int32_t first, last;  // columns
        unsigned long long rays;   // bit j: ray j may run across them
    };
    span_type spans[animal_vision_capacity + 1];
    cell_sides_type sides;
    for (std::int32_t row = 0; row < g.rows; ++row) {
        const double cy = (row + 0.5) * g.cell_height - frame.y;
        // Wider than any cell's own margin, and than the rounding of a + b * column.
        const double margin = 2.0 * block_tolerance * (widest_cx + hx + std::fabs(cy) + hy) +
                              1e-9 * (widest_cx + std::fabs(cy));
        a[0] = frame.cos_boundary[0] * cy - frame.sin_boundary[0] * first_cx;
        a[cone_end] = frame.cos_boundary[cone_end] * cy - frame.sin_boundary[cone_end] * first_cx;
        // The cells not clearly outside the cone.
        std::int32_t first = 0, last = g.columns - 1;
        columns_where(a[0], b[0], inverse_b[0], -(extent[0] + margin), 1e300, first, last);
        columns_where(a[cone_end], b[cone_end], inverse_b[cone_end], -1e300, extent[cone_end] + margin, first, last);
        if (first > last) continue;
        // The cells each ray may run across, merged where they overlap, in order along the row.
        int span_count = 0;
        for (int j = 0; j < rays; ++j) {
            if (j > 0 && j < cone_end) a[j] = frame.cos_boundary[j] * cy - frame.sin_boundary[j] * first_cx;
            std::int32_t from = first, to = last;
            columns_where(a[j], b[j], inverse_b[j], -(extent[j] + margin), extent[j] + margin, from, to);
            if (from > to) continue;
            int k = span_count++;
            for (; k > 0 && spans[k - 1].first > from; --k) spans[k] = spans[k - 1];
            spans[k] = span_type{from, to, 1ull << j};
        }
        int merged = 0;
        for (int k = 0; k < span_count; ++k) {
            if (merged > 0 && spans[k].first <= spans[merged - 1].last + 1) {
                spans[merged - 1].last = std::max(spans[merged - 1].last, spans[k].last);
                spans[merged - 1].rays |= spans[k].rays;
            } else {
                spans[merged++] = spans[k];
            }
        }
        const std::int32_t* prefix = &plants.row_prefix[static_cast<std::size_t>(row) * (g.columns + 1)];
        const std::int32_t row_cell = row * g.columns;
        std::int32_t column = first;
        for (int k = 0; k <= merged; ++k) {
            const std::int32_t run_end = k < merged ? spans[k].first - 1 : last;
            if (column <= run_end && prefix[run_end + 1] > prefix[column]) {
                // A run no ray runs across: one sector, or none, for all of it.
                for (int j = 0; j < rays; ++j) sides.side[j] = a[j] + b[j] * column > 0 ? 1 : -1;
                const int sector = sector_of_sides(frame, sides.side);
                if (sector < frame.count && frame.counts[sector]) frame.hits[sector] += prefix[run_end + 1] - prefix[column];
            }
            if (k == merged) break;
            // Across the span, the rays that do not run across it keep one side.
            const span_type& span = spans[k];
            for (int j = 0; j < rays; ++j)
                if (!(span.rays >> j & 1)) sides.side[j] = a[j] + b[j] * span.first > 0 ? 1 : -1;
            for (column = span.first; column <= span.last; ++column) {
                const std::int32_t cell = row_cell + column;
                if (plants.cell_count[cell] == 0) continue;
                const double cx = first_cx + column * g.cell_width;
                const double cell_margin = block_tolerance * (std::fabs(cx) + hx + std::fabs(cy) + hy);
                bool across = false;
                for (int j = 0; j < rays; ++j) {
                    if (!(span.rays >> j & 1)) continue;
                    const double centre = frame.cos_boundary[j] * cy - frame.sin_boundary[j] * cx;
                    sides.side[j] = centre - extent[j] > cell_margin ? 1 : centre + extent[j] < -cell_margin ? -1 : 0;
                    across = across || sides.side[j] == 0;
                }
                const int sector = sector_of_sides(frame, sides.side);
                if (!across || sector == frame.count) {
                    if (sector < frame.count && frame.counts[sector]) frame.hits[sector] += plants.cell_count[cell];
                } else {
                    for (std::int32_t slot = plants.cell_head[cell]; slot != grid_none; slot = plants.next[slot])
                        see_plant_in(frame, sides, plants.x[slot], plants.y[slot]);
                }
            }
        }
    }
    for (std::int32_t slot = plants.cell_head[grid_overflow_cell()]; slot != grid_none; slot = plants.next[slot])
        see_plant(frame, plants.x[slot], plants.y[slot]);
}

}  // namespace

void check_sensor(double x, double y, double angle, double length, sensor_type& sensor)
{
    const double tip_x = x + length * std::cos(angle);
    const double tip_y = y + length * std::sin(angle);
    sensor.wall = tip_outside_world(tip_x, tip_y) ? 0.5 : -0.5;
    sensor.animal = -0.5;
    for (const animal_type* a = world.animals; a != nullptr && sensor.animal == -0.5; a = a->next)
        if (body_contains(tip_x, tip_y, a->x, a->y, a->size_x + a->size_y)) sensor.animal = 0.5;
    sensor.plant = -0.5;
    for (const plant_type* p = world.plants; p != nullptr && sensor.plant == -0.5; p = p->next)
        if (body_contains(tip_x, tip_y, p->x, p->y, p->size_x + p->size_y)) sensor.plant = 0.5;
}

// The six whiskers of check_sensor at once, from the bodies filed near the
// animal. A body out of reach of every tip is skipped with one distance test
// instead of six, and when no wall and no other body is within reach the
// tips (six cos/sin pairs) are not computed at all. Whether some body holds
// a tip does not depend on the order of the visit, so the values are those
// of six check_sensor calls, bit for bit.
void animal_sense_touch(animal_type* animal)
{
    const double length = animal->sensor_distance + 0.5 * animal->sensor_size;
    const double reach = length + rounding_margin();
    whisker_tips_type tips{};
    for (sensor_type& sensor : animal->touch) sensor = sensor_type{-0.5, -0.5, -0.5};

    const double x = animal->x;
    const double y = animal->y;
    const double wall_reach = reach * (1.0 + reach_tolerance);
    if (!(x - wall_reach > 0 && x + wall_reach < world.width && y - wall_reach > 0 && y + wall_reach < world.height)) {
        compute_tips(animal, length, tips);
        for (int k = 0; k < animal_touch_count; ++k)
            animal->touch[k].wall = tip_outside_world(tips.x[k], tips.y[k]) ? 0.5 : -0.5;
    }
    const bool skip_self = std::fabs(x) + std::fabs(y) < self_blur_scale * length;
    touch_bodies(animal, world_grid.animals, length, reach, skip_self, tips, &sensor_type::animal);
    touch_bodies(animal, world_grid.plants, length, reach, false, tips, &sensor_type::plant);
}

void check_vision(double x, double y, double heading, int count, sensor_type* sensors,
                  double* ray_x, double* ray_y)
{
    if (count <= 0) return;
    if (count > animal_vision_capacity) count = animal_vision_capacity;
    const double step = half_pi / count;

    // The end of sector j is the start of sector j + 1 (the same sum), so
    // count + 1 wrapped boundaries describe all sectors and their rays.
    vision_frame_type frame;
    frame.x = x;
    frame.y = y;
    frame.count = count;
    double a = heading - quarter_pi;
    frame.boundary[0] = angle_wrap(a);
    for (int j = 0; j < count; ++j) {
        frame.boundary[j + 1] = angle_wrap(a + step);
        a = a + step;
    }
    for (int j = 0; j <= count; ++j) {
        frame.cos_boundary[j] = std::cos(frame.boundary[j]);
        frame.sin_boundary[j] = std::sin(frame.boundary[j]);
    }
    for (int j = 0; j < count; ++j) {
        ray_x[2 * j] = ray_length * frame.cos_boundary[j];
        ray_y[2 * j] = ray_length * frame.sin_boundary[j];
        ray_x[2 * j + 1] = ray_length * frame.cos_boundary[j + 1];
        ray_y[2 * j + 1] = ray_length * frame.sin_boundary[j + 1];
        frame.counts[j] = frame.boundary[j] < frame.boundary[j + 1];
        frame.hits[j] = 0;
    }

    const grid_bodies_type& plants = world_grid.plants;
    if (plants.x.size() <= few_plants || plants.row_prefix.empty()) {
        for (std::size_t slot = 0; slot < plants.x.size(); ++slot) see_plant(frame, plants.x[slot], plants.y[slot]);
    } else {
        see_cells(frame, plants);
    }
    for (int j = 0; j < count; ++j) sensors[j].plant = frame.hits[j] > 0 ? frame.hits[j] * 0.1 : -0.5;
}
