#include "animal/vision.h"

namespace {

// Every plant of the arrays, for Count sectors, Lanes at a time. A plant clear
// of every boundary line is in the cone when it is counter-clockwise of line 0
// and clockwise of the last; inside it, the lines it is counter-clockwise of
// are 0 .. k for sector k, so counting the plants in the cone past each line
// gives every sector's count. A plant near a line takes see_plant. No branch
// but that rare one, so the loop runs at the speed of its arithmetic. With
// weights, plant i counts weights[i] times (-1: taken back).
template <int Count, typename Lanes, typename Masks>
__attribute__((always_inline)) inline void see_all_lanes(vision_frame_type& frame, const double* xs, const double* ys,
                                                         const long long* weights, std::size_t n)
{
    constexpr int width = sizeof(Lanes) / sizeof(double);
    Lanes cs[Count + 1], sn[Count + 1];
    for (int j = 0; j <= Count; ++j) {
        cs[j] = Lanes{} + frame.cos_boundary[j];
        sn[j] = Lanes{} + frame.sin_boundary[j];
    }
    const Lanes fx = Lanes{} + frame.x, fy = Lanes{} + frame.y;
    const Lanes zero{};
    // The plants from i on: their sides of every line, and which are near one.
    struct lanes_seen_type {
        Lanes side[Count + 1];
        Masks near;
        Masks weight;
    };
    const auto look = [&](std::size_t i) __attribute__((always_inline)) {
        lanes_seen_type seen;
        Lanes px, py;
        Masks valid = ~Masks{};
        seen.weight = Masks{} + 1;
        if (i + width <= n) {
            __builtin_memcpy(&px, xs + i, sizeof px);
            __builtin_memcpy(&py, ys + i, sizeof py);
            if (weights != nullptr) __builtin_memcpy(&seen.weight, weights + i, sizeof seen.weight);
        } else {
            // The last few, with lanes to spare at the animal itself: on
            // every line, so in no sector, and kept from see_plant.
            for (int k = 0; k < width; ++k) {
                const bool plant = i + k < n;
                px[k] = plant ? xs[i + k] : frame.x;
                py[k] = plant ? ys[i + k] : frame.y;
                valid[k] = plant ? -1 : 0;
                if (weights != nullptr) seen.weight[k] = plant ? weights[i + k] : 0;
            }
        }
        const Lanes dx = px - fx;
        const Lanes dy = py - fy;
        for (int j = 0; j <= Count; ++j) seen.side[j] = cs[j] * dy - sn[j] * dx;
        // The line nearest the plant decides whether any is near: squares
        // of magnitudes keep their order.
        Lanes nearest = seen.side[0] < zero ? -seen.side[0] : seen.side[0];
        for (int j = 1; j <= Count; ++j) {
            const Lanes magnitude = seen.side[j] < zero ? -seen.side[j] : seen.side[j];
            nearest = magnitude < nearest ? magnitude : nearest;
        }
        seen.near = (nearest * nearest <= boundary_tolerance * (dx * dx + dy * dy)) & valid;
        return seen;
    };
    Masks past[Count + 1] = {};  // minus the plants in the cone counter-clockwise of line j (0: all in it)
    Masks any_near{};
    for (std::size_t i = 0; i < n; i += width) {
        const lanes_seen_type seen = look(i);
        const Masks inside = (seen.side[0] > zero) & (seen.side[Count] < zero) & ~seen.near;
        if (weights == nullptr) {
            past[0] += inside;
            for (int j = 1; j < Count; ++j) past[j] += inside & (seen.side[j] > zero);
        } else {
            past[0] -= inside & seen.weight;
            for (int j = 1; j < Count; ++j) past[j] -= inside & (seen.side[j] > zero) & seen.weight;
        }
        any_near |= seen.near;
    }
    long long total[Count + 1] = {};
    for (int j = 0; j < Count; ++j)
        for (int k = 0; k < width; ++k) total[j] -= past[j][k];
    for (int j = 0; j < Count; ++j)
        if (frame.counts[j]) frame.hits[j] += static_cast<int>(total[j] - total[j + 1]);
    // The rare plants near a line, found again by the same arithmetic.
    if (!any_lane(any_near)) return;
    for (std::size_t i = 0; i < n; i += width) {
        const lanes_seen_type seen = look(i);
        for (int k = 0; k < width; ++k)
            if (seen.near[k]) vision_see_plant(frame, xs[i + k], ys[i + k], static_cast<int>(seen.weight[k]));
    }
}


template <int Count>
void see_all_2(vision_frame_type& frame, const double* xs, const double* ys, const long long* weights, std::size_t n)
{
    see_all_lanes<Count, lanes_2_type, masks_2_type>(frame, xs, ys, weights, n);
}

#if defined(__x86_64__)

template <int Count>
__attribute__((target("avx2"))) void see_all_4(vision_frame_type& frame, const double* xs, const double* ys,
                                               const long long* weights, std::size_t n)
{
    see_all_lanes<Count, lanes_4_type, masks_4_type>(frame, xs, ys, weights, n);
}

bool avx2_here()
{
    __builtin_cpu_init();  // this may run before the library's own start-up has
    return __builtin_cpu_supports("avx2") != 0;
}

template <int Count>
void see_all(vision_frame_type& frame, const double* xs, const double* ys, const long long* weights, std::size_t n)
{
    if (frame.lanes == 4) {
        see_all_4<Count>(frame, xs, ys, weights, n);
    } else {
        see_all_2<Count>(frame, xs, ys, weights, n);
    }
}
#else
bool avx2_here() { return false; }

template <int Count>
void see_all(vision_frame_type& frame, const double* xs, const double* ys, const long long* weights, std::size_t n)
{
    see_all_2<Count>(frame, xs, ys, weights, n);
}
#endif

}  // namespace

// Four lanes where the processor has AVX2; the counts are the same either
// way, as every lane makes the same comparisons of the same products.
int animal_vision_widest_lanes() { return avx2_here() ? 4 : 2; }

void vision_see_lanes(vision_frame_type& frame, const double* xs, const double* ys, const long long* weights, std::size_t n)
{
    see_all<vision_usual_sectors>(frame, xs, ys, weights, n);
}
