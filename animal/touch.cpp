#include "animal/animal.h"

#include "animal/vision.h"
#include "plant/plant.h"
#include "world/grid.h"
#include "world/world.h"

#include <cmath>

namespace {

// A reach computed in doubles may fall short of the true reach by a few ulps.
constexpr double reach_tolerance = 1e-9;
// An animal's own tips lie 5/16 of its size sum away against a radius of 4/16;
// only at coordinates this many tip lengths large could rounding blur that.
constexpr double self_blur_scale = 1e12;

// A body covers the points closer to its centre than the mean of its half
// extents; size_sum is its size_x + size_y.
inline bool body_contains(double tip_x, double tip_y, double x, double y, double size_sum)
{
    const double dx = tip_x - x;
    const double dy = tip_y - y;
    return size_sum * size_sum * 0.0625 > dx * dx + dy * dy;
}

inline bool tip_outside_world(const world_type& world, double tip_x, double tip_y)
{
    return tip_x < 0 || tip_x > world.width || tip_y < 0 || tip_y > world.height;
}

inline double rounding_margin(const world_type& world) { return position_tolerance * (world.width + world.height + 1.0); }

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

void compute_tips(const animal_type* animal, double length, math_type math, whisker_tips_type& tips)
{
    double offset = -third_pi;
    for (int k = 0; k < animal_touch_count; ++k) {
        const double angle = animal->heading + offset;
        double sine, cosine;
        math_sincos(math, angle, sine, cosine);
        tips.x[k] = animal->x + length * cosine;
        tips.y[k] = animal->y + length * sine;
        offset += third_pi;
    }
    tips.ready = true;
}

// One kind of body against the six tips: sets field of each whisker whose tip
// lies in a body filed near the animal.
void touch_bodies(animal_type* animal, const grid_bodies_type& bodies, double length, double reach, bool skip_self, math_type math,
                  whisker_tips_type& tips, double sensor_type::*field)
{
    const double x = animal->x;
    const double y = animal->y;
    int missing = animal_touch_count;
    grid_visit_within(bodies, x, y, body_reach(reach, bodies.max_size_sum) * (1.0 + reach_tolerance), [&](std::int32_t slot) {
        if ((skip_self && bodies.record[slot] == animal) ||
            !body_in_reach(x, y, reach, bodies.x[slot], bodies.y[slot], bodies.size_sum[slot]))
            return true;
        if (!tips.ready) compute_tips(animal, length, math, tips);
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

}  // namespace

void check_sensor(const world_type& world, double x, double y, double angle, double length, sensor_type& sensor)
{
    double sine, cosine;
    math_sincos(world.math, angle, sine, cosine);
    const double tip_x = x + length * cosine;
    const double tip_y = y + length * sine;
    sensor.wall = tip_outside_world(world, tip_x, tip_y) ? 0.5 : -0.5;
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
void animal_sense_touch_others(const world_type& world, animal_type* animal)
{
    whisker_tips_type tips{};
    const double length = animal->sensor_distance + 0.5 * animal->sensor_size;
    const double reach = length + rounding_margin(world);
    for (sensor_type& sensor : animal->touch) sensor.wall = sensor.animal = -0.5;

    const double x = animal->x;
    const double y = animal->y;
    const double wall_reach = reach * (1.0 + reach_tolerance);
    if (!(x - wall_reach > 0 && x + wall_reach < world.width && y - wall_reach > 0 && y + wall_reach < world.height)) {
        compute_tips(animal, length, world.math, tips);
        for (int k = 0; k < animal_touch_count; ++k)
            animal->touch[k].wall = tip_outside_world(world, tips.x[k], tips.y[k]) ? 0.5 : -0.5;
    }
    const bool skip_self = std::fabs(x) + std::fabs(y) < self_blur_scale * length;
    touch_bodies(animal, world.grid.animals, length, reach, skip_self, world.math, tips, &sensor_type::animal);
}

void animal_sense_touch_plants(const world_type& world, animal_type* animal)
{
    whisker_tips_type tips{};
    const double length = animal->sensor_distance + 0.5 * animal->sensor_size;
    for (sensor_type& sensor : animal->touch) sensor.plant = -0.5;
    touch_bodies(animal, world.grid.plants, length, length + rounding_margin(world), false, world.math, tips, &sensor_type::plant);
}
