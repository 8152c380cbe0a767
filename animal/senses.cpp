#include "animal/animal.h"

#include "base/utility.h"
#include "plant/plant.h"
#include "world/world.h"

#include <cmath>

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

// A body covers the points closer to its centre than the mean of its half extents.
inline bool body_contains(double tip_x, double tip_y, double x, double y, double size_x, double size_y)
{
    const double s = size_x + size_y;
    const double dx = tip_x - x;
    const double dy = tip_y - y;
    return s * s * 0.0625 > dx * dx + dy * dy;
}

inline bool tip_outside_world(double tip_x, double tip_y)
{
    return tip_x < 0 || tip_x > world.width || tip_y < 0 || tip_y > world.height;
}

// Positions are rounded on the way to a tip, so every "provably out of
// reach" test below keeps a margin that scales with the world's size.
inline double rounding_margin() { return position_tolerance * (world.width + world.height + 1.0); }

// A body can hold a whisker tip only if its centre lies within the whisker
// length plus its radius of the animal's centre.
inline bool body_in_reach(double x, double y, double reach, double bx, double by, double size_x, double size_y)
{
    const double limit = (reach + (size_x + size_y) * 0.25) * (1.0 + reach_tolerance);
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

// The sector a direction falls in, found from its side of each boundary ray
// instead of its angle: the index j with the direction strictly between rays
// j and j + 1, count when it is in none, or -1 when it lies so near a ray
// (within about 1e-9 rad) that only the exact angle may decide. A sector whose
// wrapped start exceeds its end (it contains direction 0) still counts
// nothing; the caller tests that, as the angle test would.
int sector_by_sides(int count, const double* cos_boundary, const double* sin_boundary, double dx, double dy)
{
    const double slack = boundary_tolerance * (dx * dx + dy * dy);
    double previous = 0.0;
    int found = count;
    for (int j = 0; j <= count; ++j) {
        const double side = cos_boundary[j] * dy - sin_boundary[j] * dx;  // > 0: counter-clockwise of ray j
        if (side * side <= slack) return -1;
        if (j > 0 && previous > 0 && side < 0) found = j - 1;
        previous = side;
    }
    return found;
}

}  // namespace

void check_sensor(double x, double y, double angle, double length, sensor_type& sensor)
{
    const double tip_x = x + length * std::cos(angle);
    const double tip_y = y + length * std::sin(angle);
    sensor.wall = tip_outside_world(tip_x, tip_y) ? 0.5 : -0.5;
    sensor.animal = -0.5;
    for (const animal_type* a = world.animals; a != nullptr && sensor.animal == -0.5; a = a->next)
        if (body_contains(tip_x, tip_y, a->x, a->y, a->size_x, a->size_y)) sensor.animal = 0.5;
    sensor.plant = -0.5;
    for (const plant_type* p = world.plants; p != nullptr && sensor.plant == -0.5; p = p->next)
        if (body_contains(tip_x, tip_y, p->x, p->y, p->size_x, p->size_y)) sensor.plant = 0.5;
}

// The six whiskers of check_sensor in one walk over the bodies. A body out of
// reach of every tip is skipped with one distance test instead of six, and
// when no wall and no other body is within reach, every whisker feels nothing
// and the tips (six cos/sin pairs) are not computed at all. Whether some body
// holds a tip does not depend on the order of the walk, so the values are
// those of six check_sensor calls, bit for bit.
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

    // An animal never holds its own tips (5/16 of its size away against a
    // radius of 4/16), unless rounding at huge coordinates blurs the tip.
    const bool skip_self = std::fabs(x) + std::fabs(y) < self_blur_scale * length;
    int missing = animal_touch_count;
    for (const animal_type* a = world.animals; a != nullptr && missing > 0; a = a->next) {
        if ((a == animal && skip_self) || !body_in_reach(x, y, reach, a->x, a->y, a->size_x, a->size_y)) continue;
        if (!tips.ready) compute_tips(animal, length, tips);
        for (int k = 0; k < animal_touch_count; ++k) {
            if (animal->touch[k].animal == -0.5 && body_contains(tips.x[k], tips.y[k], a->x, a->y, a->size_x, a->size_y)) {
                animal->touch[k].animal = 0.5;
                --missing;
            }
        }
    }
    missing = animal_touch_count;
    for (const plant_type* p = world.plants; p != nullptr && missing > 0; p = p->next) {
        if (!body_in_reach(x, y, reach, p->x, p->y, p->size_x, p->size_y)) continue;
        if (!tips.ready) compute_tips(animal, length, tips);
        for (int k = 0; k < animal_touch_count; ++k) {
            if (animal->touch[k].plant == -0.5 && body_contains(tips.x[k], tips.y[k], p->x, p->y, p->size_x, p->size_y)) {
                animal->touch[k].plant = 0.5;
                --missing;
            }
        }
    }
}

void check_vision(double x, double y, double heading, int count, sensor_type* sensors,
                  double* ray_x, double* ray_y)
{
    if (count <= 0) return;
    if (count > animal_vision_capacity) count = animal_vision_capacity;
    const double step = half_pi / count;

    // The end of sector j is the start of sector j + 1 (the same sum), so
    // count + 1 wrapped boundaries describe all sectors and their rays.
    double boundary[animal_vision_capacity + 1];
    double a = heading - quarter_pi;
    boundary[0] = angle_wrap(a);
    for (int j = 0; j < count; ++j) {
        boundary[j + 1] = angle_wrap(a + step);
        a = a + step;
    }
    double cos_boundary[animal_vision_capacity + 1];
    double sin_boundary[animal_vision_capacity + 1];
    for (int j = 0; j <= count; ++j) {
        cos_boundary[j] = std::cos(boundary[j]);
        sin_boundary[j] = std::sin(boundary[j]);
    }
    int hits[animal_vision_capacity] = {};
    for (int j = 0; j < count; ++j) {
        ray_x[2 * j] = ray_length * cos_boundary[j];
        ray_y[2 * j] = ray_length * sin_boundary[j];
        ray_x[2 * j + 1] = ray_length * cos_boundary[j + 1];
        ray_y[2 * j + 1] = ray_length * sin_boundary[j + 1];
    }

    // The sectors span the cone from the first boundary to the last, a
    // quarter turn. A plant clearly outside it, behind the animal or beside
    // it, lies in no sector, so its atan2 is skipped.
    const double first_x = cos_boundary[0], first_y = sin_boundary[0];
    const double last_x = cos_boundary[count], last_y = sin_boundary[count];
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) {
        const double dx = p->x - x;
        const double dy = p->y - y;
        const double after_first = first_x * dy - first_y * dx;
        const double before_last = dx * last_y - dy * last_x;
        const double slack = cone_tolerance * (dx * dx + dy * dy);
        if ((after_first < 0 && after_first * after_first > slack) ||
            (before_last < 0 && before_last * before_last > slack))
            continue;
        const int sector = sector_by_sides(count, cos_boundary, sin_boundary, dx, dy);
        if (sector >= 0) {
            // Off every boundary: the plant lies in this sector, or in none.
            if (sector < count && boundary[sector] < boundary[sector + 1]) hits[sector] += 1;
            continue;
        }
        const double bearing = angle_wrap(std::atan2(dy, dx));
        for (int j = 0; j < count; ++j)
            if (boundary[j] < bearing && bearing < boundary[j + 1]) hits[j] += 1;
    }
    for (int j = 0; j < count; ++j) sensors[j].plant = hits[j] > 0 ? hits[j] * 0.1 : -0.5;
}
