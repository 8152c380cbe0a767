#include "animal/vision.h"

#include "base/utility.h"

#include <cmath>

// The sector a direction falls in, found from its side of each boundary ray
// instead of its angle: the index j with the direction strictly between rays
// j and j + 1, count when it is in none, or -1 when it lies so near a ray
// that only the exact angle may decide.
static int sector_by_sides(const vision_frame_type& frame, double dx, double dy)
{
    double previous = 0.0;
    int found = frame.count;
    for (int j = 0; j <= frame.count; ++j) {
        const double side = line_side(frame, j, dx, dy);
        if (near_line(side, dx, dy)) return -1;
        if (j > 0 && previous > 0 && side < 0) found = j - 1;
        previous = side;
    }
    return found;
}

void vision_see_plant(vision_frame_type& frame, double plant_x, double plant_y, int weight)
{
    const double dx = plant_x - frame.x;
    const double dy = plant_y - frame.y;
    // A plant clearly outside the cone, behind the animal or beside it, lies in no sector.
    const double after_first = line_side(frame, 0, dx, dy);
    const double before_last = dx * frame.sin_boundary[frame.count] - dy * frame.cos_boundary[frame.count];
    const double slack = cone_tolerance * (dx * dx + dy * dy);
    if ((after_first < 0 && after_first * after_first > slack) || (before_last < 0 && before_last * before_last > slack))
        return;
    const int sector = sector_by_sides(frame, dx, dy);
    if (sector >= 0) {
        if (sector < frame.count && frame.counts[sector]) frame.hits[sector] += weight;
        return;
    }
    const double bearing = angle_wrap(math_atan2(frame.math, dy, dx));
    for (int j = 0; j < frame.count; ++j)
        if (frame.boundary[j] < bearing && bearing < frame.boundary[j + 1]) frame.hits[j] += weight;
}

void vision_see_each(vision_frame_type& frame, const double* xs, const double* ys, const long long* weights, std::size_t n)
{
    if (frame.count == vision_usual_sectors) {
        vision_see_lanes(frame, xs, ys, weights, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) vision_see_plant(frame, xs[i], ys[i], weights != nullptr ? static_cast<int>(weights[i]) : 1);
    }
}
