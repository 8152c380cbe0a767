// What the ways of counting plants in vision share: an animal's sectors, the
// exact test of one plant, and the lanes that test several at once. Only the
// senses' own files include it.
#pragma once

#include "animal/animal.h"

#include <cstddef>
#include <cstdint>

struct grid_plant_cells_type;

// Tolerances of the fast tests. Each only decides when a cheap test may stand
// in for the exact one; anything closer than it takes the exact path.
// Positions carry rounding of about 1e-16 of the world's size on the way to a tip.
inline constexpr double position_tolerance = 1e-9;
// Directions closer than about 1e-9 rad to a sector boundary take atan2, whose
// error is far smaller, so only it may place them.
inline constexpr double boundary_tolerance = 1e-18;
// A plant more than about half a degree outside the cone cannot be in a sector.
inline constexpr double cone_tolerance = 1e-4;
// The default animal's sectors, for which the plant-by-plant loop is unrolled.
inline constexpr int vision_usual_sectors = 5;

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
    int hits[animal_vision_capacity + 1];               // entry count: plants in no sector, so that counting needs no branch
    int lanes;                                          // plants tested at once: the world's vision_lanes
    math_type math;                                     // the run's functions, for a plant's bearing near a ray
    std::size_t few_plants;                             // the world's vision_few_plants
};

// Which side of boundary line j the direction (dx, dy) lies on: > 0
// counter-clockwise, < 0 clockwise.
inline double line_side(const vision_frame_type& frame, int j, double dx, double dy)
{
    return frame.cos_boundary[j] * dy - frame.sin_boundary[j] * dx;
}

// Whether a direction lies so near a line (about 1e-9 rad) that only atan2
// may place it.
inline bool near_line(double side, double dx, double dy) { return side * side <= boundary_tolerance * (dx * dx + dy * dy); }

// Counts one plant (weight -1 takes one back) in the sector its bearing
// falls in, as the plain walk with one atan2 per plant would.
void vision_see_plant(vision_frame_type& frame, double plant_x, double plant_y, int weight = 1);
// Every plant of the arrays, plant i weights[i] times (null: once each).
void vision_see_each(vision_frame_type& frame, const double* xs, const double* ys, const long long* weights, std::size_t n);
// The same for vision_usual_sectors, frame.lanes plants at a time.
void vision_see_lanes(vision_frame_type& frame, const double* xs, const double* ys, const long long* weights, std::size_t n);

// The scale of the world (of this width and height) as seen from the frame's
// animal when vision counts this many plants by rows of cells, or 0 when it
// tests each one: few plants, an animal far out of the world, or rays that
// are not numbers.
double vision_rows_scale(const vision_frame_type& frame, double width, double height, std::size_t count);
// Counts the plants of cells by rows and bands, for a scale vision_rows_scale gave.
void vision_see_rows(vision_frame_type& frame, const grid_plant_cells_type& cells, double scale);

// Whether any lane of a mask is set.
template <typename Masks>
__attribute__((always_inline)) inline bool any_lane(const Masks& mask)
{
    long long any = 0;
    for (std::size_t k = 0; k < sizeof(Masks) / sizeof(mask[0]); ++k) any |= mask[k];
    return any != 0;
}

typedef double lanes_2_type __attribute__((vector_size(16)));
typedef long long masks_2_type __attribute__((vector_size(16)));
typedef float rounded_lanes_2_type __attribute__((vector_size(16)));  // the same width in floats
typedef int rounded_masks_2_type __attribute__((vector_size(16)));

#if defined(__x86_64__)
typedef double lanes_4_type __attribute__((vector_size(32)));
typedef long long masks_4_type __attribute__((vector_size(32)));
typedef float rounded_lanes_4_type __attribute__((vector_size(32)));
typedef int rounded_masks_4_type __attribute__((vector_size(32)));
#endif
