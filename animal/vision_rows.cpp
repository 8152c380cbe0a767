#include "animal/vision.h"

#include "world/grid.h"

#include <algorithm>
#include <cmath>

namespace {

// Columns are counted as a whole only when every point of them lies farther
// from each boundary line than this share of the world's scale, well beyond
// the 1e-9 of its distance within which a single plant takes atan2.
constexpr double line_tolerance = 4e-9;
// Worked out in floats, a plant's side of a line is off by at most about
// 5 * 2^-24 of the world's scale as seen from the animal (two positions, their
// differences, two products and their difference, each rounded once). A plant
// farther from the line than this share of the scale lies on the same side in
// doubles, and farther than see_plant's own tolerance.
constexpr double rounded_tolerance = 2e-6;
// Beyond this share of the world's scale from the world, an animal's vision
// walks every plant.
constexpr double far_scale = 1e6;

// The sector of points on these sides of the boundary lines (+1
// counter-clockwise, -1 clockwise), or count for none: outside the cone, or
// in a sector that counts nothing.
int sector_of_sides(const vision_frame_type& frame, const int* side)
{
    if (side[0] < 0 || side[frame.count] > 0) return frame.count;
    int sector = 0;
    for (int j = 1; j < frame.count; ++j) sector += side[j] > 0;
    return frame.counts[sector] ? sector : frame.count;
}

// How the boundary lines cross the rows that lie wholly on one side of the
// animal (above it, or below). All the lines pass through the animal, so they
// cross every such row in the same order, and between two neighbouring
// crossings every point has the same sides, hence the same sector. A line
// with no sector that counts on either side of it is left out: its two
// gaps are one.
struct row_order_type {
    int crossing;                                   // lines kept that cross these rows
    int line[animal_vision_capacity + 1];           // those lines, left to right
    int gap_sector[animal_vision_capacity + 2];     // sector left of crossing g (g = crossing: right of all)
    int counting_before[animal_vision_capacity + 3];  // gaps 0 .. g - 1 whose sector counts
    // Band of crossing g in row r, in columns: from low_start[g] + r * step[g]
    // to high_start[g] + r * step[g].
    double low_start[animal_vision_capacity + 1];
    double high_start[animal_vision_capacity + 1];
    double step[animal_vision_capacity + 1];
};

// The order of the lines that cross a family of rows or columns: key[j]
// orders their crossings, side[j] is line j's side before its crossing (and
// throughout for a line that crosses none, crosses[j] false).
row_order_type order_lines(const vision_frame_type& frame, const double* key, const bool* crosses, int* side)
{
    row_order_type order{};
    int line[animal_vision_capacity + 1], gap_sector[animal_vision_capacity + 2];
    int crossing = 0;
    for (int j = 0; j <= frame.count; ++j) {
        if (!crosses[j]) continue;
        int k = crossing++;
        for (; k > 0 && key[line[k - 1]] > key[j]; --k) line[k] = line[k - 1];
        line[k] = j;
    }
    for (int g = 0; g <= crossing; ++g) {
        if (g > 0) side[line[g - 1]] = -side[line[g - 1]];
        gap_sector[g] = sector_of_sides(frame, side);
    }
    order.gap_sector[0] = gap_sector[0];
    for (int k = 0; k < crossing; ++k) {
        if (gap_sector[k] == frame.count && gap_sector[k + 1] == frame.count) continue;
        const int g = order.crossing++;
        order.line[g] = line[k];
        order.gap_sector[g + 1] = gap_sector[k + 1];
    }
    for (int g = 0; g <= order.crossing; ++g)
        order.counting_before[g + 1] = order.counting_before[g] + (order.gap_sector[g] < frame.count);
    return order;
}

// The order of the lines crossing the rows off one side of the animal
// (across: the sines, along: the cosines, turn +1) or the columns of its own
// row off one side, walked upwards (across: the cosines, along: the sines,
// turn -1); sign +1 above or right, -1 below or left. slope[j] * sign orders
// the crossings; a line whose across is 0 crosses none.
row_order_type order_side(const vision_frame_type& frame, const double* across, const double* along,
                          const double* slope, int sign, int turn)
{
    // A cone of at most a right angle looks to a side only if one of its
    // boundaries does; a side it does not look to sees nothing and is not
    // worked out.
    bool looks = false;
    for (int j = 0; j <= frame.count; ++j) looks = looks || across[j] * sign > 0;
    if (!looks) {
        row_order_type order{};
        order.gap_sector[0] = frame.count;
        return order;
    }
    double key[animal_vision_capacity + 1];
    bool crosses[animal_vision_capacity + 1];
    int side[animal_vision_capacity + 1];
    for (int j = 0; j <= frame.count; ++j) {
        crosses[j] = across[j] != 0;
        key[j] = slope[j] * sign;
        if (crosses[j]) {
            side[j] = turn * (across[j] > 0 ? 1 : -1);  // before its crossing
        } else {
            side[j] = turn * (along[j] > 0 ? sign : -sign);  // level, or vertical
        }
    }
    return order_lines(frame, key, crosses, side);
}

// sign: +1 for rows above the animal, -1 below. cotangent[j] is the
// horizontal offset of line j's crossing per unit of height; widen[j] how far
// its band reaches beyond the crossing.
row_order_type order_rows(const vision_frame_type& frame, const grid_plant_cells_type& cells, const double* cotangent,
                          const double* widen, double inflate, int sign)
{
    row_order_type order = order_side(frame, frame.sin_boundary, frame.cos_boundary, cotangent, sign, 1);
    // A row spans heights from r * h + below_row to r * h + above_row, relative to the animal.
    const double h = cells.cell_height;
    const double below_row = -inflate - frame.y, above_row = h + inflate - frame.y;
    for (int g = 0; g < order.crossing; ++g) {
        const int j = order.line[g];
        const double c = cotangent[j];
        const double lowest = c >= 0 ? below_row : above_row, highest = c >= 0 ? above_row : below_row;
        order.low_start[g] = (frame.x + lowest * c - widen[j]) * cells.per_cell_width;
        order.high_start[g] = (frame.x + highest * c + widen[j]) * cells.per_cell_width;
        order.step[g] = h * c * cells.per_cell_width;
    }
    return order;
}

// The column of a value in column units, clamped to -1 .. columns first so
// that no far value (or infinity) overflows an int.
inline std::int32_t column_within(double value, std::int32_t columns)
{
    return static_cast<std::int32_t>(std::clamp(value, -1.0, double(columns)) + 1.0) - 1;
}

// Places every plant of cells first .. last of one row, skipping cells that lie wholly and clearly
// outside the cone: beyond line 0 clockwise or the last line
// counter-clockwise by more than margin, far more than a plant's own
// tolerance at any distance in the world. The cells kept come in runs, whose
// plants are one range.
void see_row(vision_frame_type& frame, const grid_plant_cells_type& cells, std::int32_t row, double margin,
             std::int32_t first, std::int32_t last)
{
    const int last_line = frame.count;
    const double hx = 0.5 * cells.cell_width + margin, hy = 0.5 * cells.cell_height + margin;
    const double dy = (row + 0.5) * cells.cell_height - frame.y;
    const double reach_first = std::fabs(frame.cos_boundary[0]) * hy + std::fabs(frame.sin_boundary[0]) * hx;
    const double reach_last = std::fabs(frame.cos_boundary[last_line]) * hy + std::fabs(frame.sin_boundary[last_line]) * hx;
    const std::int32_t* const start = cells.start.data() + static_cast<std::size_t>(row) * cells.columns;
    const auto see_range = [&](std::int32_t begin, std::int32_t end) {
        if (frame.count == vision_usual_sectors) {
            vision_see_lanes(frame, cells.x.data() + begin, cells.y.data() + begin, nullptr,
                                   static_cast<std::size_t>(end - begin));
        } else {
            for (std::int32_t i = begin; i < end; ++i) vision_see_plant(frame, cells.x[i], cells.y[i]);
        }
    };
    std::int32_t run = -1;  // the first column of the run of kept cells, or -1
    for (std::int32_t column = first; column <= last; ++column) {
        const double dx = (column + 0.5) * cells.cell_width - frame.x;
        const double first_side = line_side(frame, 0, dx, dy);
        const double last_side = line_side(frame, last_line, dx, dy);
        const bool outside = first_side + reach_first < -margin || last_side - reach_last > margin;
        if (outside && run >= 0) {
            see_range(start[run], start[column]);
            run = -1;
        } else if (!outside && run < 0) {
            run = column;
        }
    }
    if (run >= 0) see_range(start[run], start[last + 1]);
}

// What the bands of one animal's rows share, as lanes: the animal, each
// boundary line, the tolerance, and per sector the plants counted so far,
// summed across the lanes once all rows are done.
template <typename Lanes, typename Masks>
struct band_lanes_type {
    Lanes x, y;                                    // the animal, rounded
    Lanes cos_boundary[animal_vision_capacity + 1];
    Lanes sin_boundary[animal_vision_capacity + 1];
    Masks flip_row[animal_vision_capacity + 1];    // set where past a line's crossing of a row is its clockwise side
    Masks flip_column[animal_vision_capacity + 1]; // the same for a column, walked upwards
    Lanes tolerance;
    Masks lane;                                    // 0, 1, 2, ...
    Masks hits[animal_vision_capacity + 1];        // minus the plants counted: a set mask lane is -1
};

template <typename Lanes, typename Masks>
__attribute__((always_inline)) inline void band_lanes_start(band_lanes_type<Lanes, Masks>& band,
                                                            const vision_frame_type& frame, float tolerance)
{
    band.x = Lanes{} + grid_rounded(frame.x);
    band.y = Lanes{} + grid_rounded(frame.y);
    for (int j = 0; j <= frame.count; ++j) {
        band.cos_boundary[j] = Lanes{} + static_cast<float>(frame.cos_boundary[j]);
        band.sin_boundary[j] = Lanes{} + static_cast<float>(frame.sin_boundary[j]);
        band.flip_row[j] = frame.sin_boundary[j] > 0 ? ~Masks{} : Masks{};
        band.flip_column[j] = frame.cos_boundary[j] < 0 ? ~Masks{} : Masks{};
        band.hits[j] = Masks{};
    }
    band.tolerance = Lanes{} + tolerance;
    for (std::size_t k = 0; k < sizeof(Masks) / sizeof(float); ++k) band.lane[k] = static_cast<int>(k);
}

template <typename Lanes, typename Masks>
__attribute__((always_inline)) inline void band_lanes_finish(const band_lanes_type<Lanes, Masks>& band,
                                                             vision_frame_type& frame)
{
    for (int j = 0; j <= frame.count; ++j)
        for (std::size_t k = 0; k < sizeof(Masks) / sizeof(float); ++k) frame.hits[j] -= band.hits[j][k];
}

// Places the plants of cells first .. last of one row, which lie clear of
// every boundary line but the crossings first_line .. last_line of order,
// Lanes at a time; flip tells for each line which side is past its crossing,
// along the row or up its columns. The crossings are in order, so a plant past
// crossing k is past every one before it: counting the plants past each
// crossing gives how many lie in each gap between them, hence in each sector.
// The sides are worked out in floats, twice the lanes of doubles: a plant
// farther than the tolerance from each crossing lies on the same side of it in
// any precision; a plant nearer takes see_plant on its doubles, in a second
// pass over the band that only a band holding one makes. The cells' plants are
// one range, which the arrays go on past for grid_plant_padding entries.
template <typename Lanes, typename Masks, int Lines>
__attribute__((always_inline)) inline void see_band_lines(vision_frame_type& frame, band_lanes_type<Lanes, Masks>& band,
                                                          const grid_plant_cells_type& cells,
                                                          const row_order_type& order, std::int32_t row,
                                                          std::int32_t first, std::int32_t last, int first_line,
                                                          int last_line, const Masks* flip)
{
    constexpr int width = sizeof(Lanes) / sizeof(float);
    static_assert(width <= grid_plant_padding);
    const std::int32_t* const start = cells.start.data() + static_cast<std::size_t>(row) * cells.columns;
    const std::size_t begin = static_cast<std::size_t>(start[first]);
    const float* const xs = cells.x_rounded.data() + begin;
    const float* const ys = cells.y_rounded.data() + begin;
    const std::size_t n = static_cast<std::size_t>(start[last + 1]) - begin;
    const int lines = Lines > 0 ? Lines : last_line - first_line + 1;  // a count known here unrolls
    constexpr int room = Lines > 0 ? Lines : animal_vision_capacity + 1;
    const int* const line = order.line + first_line;
    const Lanes zero{};
    const Masks magnitude_bits = Masks{} + 0x7fffffff;
    // The plants from i on: their sides of the crossings, and which are near one.
    const auto look = [&](std::size_t i, Lanes* side, Masks& near, Masks& valid) __attribute__((always_inline)) {
        Lanes px, py;
        __builtin_memcpy(&px, xs + i, sizeof px);
        __builtin_memcpy(&py, ys + i, sizeof py);
        valid = band.lane < static_cast<int>(n - i);
        const Lanes dx = px - band.x;
        const Lanes dy = py - band.y;
        near = Masks{};
        for (int m = 0; m < lines; ++m) {
            side[m] = band.cos_boundary[line[m]] * dy - band.sin_boundary[line[m]] * dx;
            near |= reinterpret_cast<Lanes>(reinterpret_cast<Masks>(side[m]) & magnitude_bits) <= band.tolerance;
        }
        near &= valid;
    };
    Masks clear{}, any_near{};
    Masks beyond[room] = {};
    for (std::size_t i = 0; i < n; i += width) {
        Lanes side[room];
        Masks near, valid;
        look(i, side, near, valid);
        const Masks counted = valid & ~near;
        clear += counted;
        for (int m = 0; m < lines; ++m) beyond[m] += counted & ((side[m] > zero) ^ flip[line[m]]);
        any_near |= near;
    }
    // Gap m holds the plants past crossing m - 1 (all clear ones for m = 0) but not past crossing m.
    Masks before = clear;
    for (int m = 0; m < lines; ++m) {
        band.hits[order.gap_sector[first_line + m]] += before - beyond[m];
        before = beyond[m];
    }
    band.hits[order.gap_sector[last_line + 1]] += before;
    if (!any_lane(any_near)) return;
    for (std::size_t i = 0; i < n; i += width) {
        Lanes side[room];
        Masks near, valid;
        look(i, side, near, valid);
        for (int k = 0; k < width; ++k)
            if (near[k]) vision_see_plant(frame, cells.x[begin + i + k], cells.y[begin + i + k]);
    }
}

// The usual bands, of one crossing or two, with their loops unrolled.
template <typename Lanes, typename Masks>
__attribute__((always_inline)) inline void see_band(vision_frame_type& frame, band_lanes_type<Lanes, Masks>& band,
                                                    const grid_plant_cells_type& cells, const row_order_type& order,
                                                    std::int32_t row, std::int32_t first, std::int32_t last,
                                                    int first_line, int last_line, const Masks* flip)
{
    if (first_line == last_line) {
        see_band_lines<Lanes, Masks, 1>(frame, band, cells, order, row, first, last, first_line, last_line, flip);
    } else if (first_line + 1 == last_line) {
        see_band_lines<Lanes, Masks, 2>(frame, band, cells, order, row, first, last, first_line, last_line, flip);
    } else {
        see_band_lines<Lanes, Masks, 0>(frame, band, cells, order, row, first, last, first_line, last_line, flip);
    }
}

// The row through the animal. Its columns wholly to one side of the animal
// are walked outwards: a line leaves the row, widened by widen, at some
// distance and never comes back, so the lines in a column are a run of the
// side's order that only shrinks. The columns holding the same run are one
// band; past the last line all is one gap, counted from the prefix counts.
// The columns at the animal are placed plant by plant.
template <typename Lanes, typename Masks>
__attribute__((always_inline)) inline void see_apex_row(vision_frame_type& frame, band_lanes_type<Lanes, Masks>& band,
                                                        const grid_plant_cells_type& cells, std::int32_t row,
                                                        const row_order_type* sides, const double* tangent,
                                                        double widen, double inflate, double margin)
{
    const std::int32_t columns = cells.columns;
    const double cw = cells.cell_width;
    const double y0 = row * cells.cell_height - inflate - frame.y - widen;  // the widened row, from the animal
    const double y1 = (row + 1) * cells.cell_height + inflate - frame.y + widen;
    if (!(y0 < 0 && y1 > 0)) {
        see_row(frame, cells, row, margin, 0, columns - 1);
        return;
    }
    // The distance from the animal of column c's nearer side: right of it, left of it.
    const auto right_distance = [&](std::int32_t c) { return c * cw - inflate - frame.x; };
    const auto left_distance = [&](std::int32_t c) { return frame.x - (c + 1) * cw - inflate; };
    std::int32_t first_right = column_within((frame.x + inflate + margin) * cells.per_cell_width, columns) + 1;
    while (first_right < columns && !(right_distance(first_right) > margin)) ++first_right;
    std::int32_t last_left = column_within((frame.x - inflate - margin) * cells.per_cell_width, columns) - 1;
    while (last_left >= 0 && !(left_distance(last_left) > margin)) --last_left;
    if (last_left + 1 <= first_right - 1) see_row(frame, cells, row, margin, last_left + 1, first_right - 1);
    const std::int32_t* const prefix = cells.start.data() + static_cast<std::size_t>(row) * columns;
    for (int sign = -1; sign <= 1; sign += 2) {
        const row_order_type& order = sides[sign > 0];
        if (order.counting_before[order.crossing + 1] == 0) continue;  // nothing on this side is seen
        double leaves[animal_vision_capacity + 1];  // the distance at which each line leaves the row
        int gap_below = 0;  // the gap of a column that every line has left
        for (int g = 0; g < order.crossing; ++g) {
            const double rise = sign * tangent[order.line[g]];
            leaves[g] = rise > 0 ? y1 / rise : rise < 0 ? y0 / rise : std::numeric_limits<double>::infinity();
            gap_below += rise < 0;
        }
        std::int32_t column = sign > 0 ? first_right : last_left;
        while (sign > 0 ? column < columns : column >= 0) {
            const double distance = sign > 0 ? right_distance(column) : left_distance(column);
            int first_in = -1, last_in = -1;
            double reach = std::numeric_limits<double>::infinity();  // where the first of those leaves
            for (int g = 0; g < order.crossing; ++g) {
                if (distance > leaves[g]) continue;
                if (first_in < 0) first_in = g;
                last_in = g;
            }
            if (first_in < 0) {
                frame.hits[order.gap_sector[gap_below]] +=
                    sign > 0 ? prefix[columns] - prefix[column] : prefix[column + 1] - prefix[0];
                break;
            }
            for (int g = first_in; g <= last_in; ++g) reach = std::min(reach, leaves[g]);
            std::int32_t low = column, high = column;
            if (sign > 0) {
                high = std::clamp(column_within((frame.x + inflate + reach) * cells.per_cell_width, columns), column, columns - 1);
            } else {
                low = std::clamp(column_within((frame.x - inflate - reach) * cells.per_cell_width, columns) - 1, 0, column);
            }
            if (order.counting_before[last_in + 2] > order.counting_before[first_in])
                see_band<Lanes, Masks>(frame, band, cells, order, row, low, high, first_in, last_in, band.flip_column);
            column = sign > 0 ? high + 1 : low - 1;
        }
    }
}

// Vision over the rows of plant cells. In a row wholly above or below the
// animal, each boundary line's crossing is widened to the columns where a
// point may lie so near the line that only its own test may place it; the
// plants of those columns are tested (where a sector that counts lies on
// either side), and the runs of columns between are counted at once from the
// row's prefix counts. The row through the animal is worked out the same way
// by columns, all but those at the animal. Every widening is far larger than the rounding of the positions it
// guards, and a plant outside it lies farther from each line than
// see_plant's own tolerance, so the counts are those of the plain walk.
template <typename Lanes, typename Masks>
__attribute__((always_inline)) inline void see_rows_lanes(vision_frame_type& frame, const grid_plant_cells_type& cells,
                                                          double scale)
{
    const std::int32_t columns = cells.columns;
    const double inflate = position_tolerance * scale;      // rounding of cell filing and of the sums below
    const double apex_margin = line_tolerance * scale;      // nearer rows hold plants near a level line
    double cotangent[animal_vision_capacity + 1] = {}, widen[animal_vision_capacity + 1] = {};
    for (int j = 0; j <= frame.count; ++j) {
        const double sine = frame.sin_boundary[j];
        cotangent[j] = sine != 0 ? frame.cos_boundary[j] / sine : 0.0;
        widen[j] = sine != 0 ? line_tolerance * scale / std::fabs(sine) + inflate : 0.0;
    }
    const row_order_type above = order_rows(frame, cells, cotangent, widen, inflate, 1);
    const row_order_type below = order_rows(frame, cells, cotangent, widen, inflate, -1);
    // For the row through the animal, the lines' slopes and one widening for all.
    double tangent[animal_vision_capacity + 1] = {};
    double widen_up = inflate;
    for (int j = 0; j <= frame.count; ++j) {
        const double cosine = frame.cos_boundary[j];
        tangent[j] = cosine != 0 ? frame.sin_boundary[j] / cosine : 0.0;
        if (cosine != 0) widen_up = std::max(widen_up, line_tolerance * scale / std::fabs(cosine) + inflate);
    }
    const row_order_type sides[2] = {order_side(frame, frame.cos_boundary, frame.sin_boundary, tangent, -1, -1),
                                     order_side(frame, frame.cos_boundary, frame.sin_boundary, tangent, 1, -1)};
    // Past the rounded copies' limit every plant of a band is near: see_plant places each.
    band_lanes_type<Lanes, Masks> band;
    band_lanes_start(band, frame,
                     scale <= grid_rounded_limit ? static_cast<float>(rounded_tolerance * scale)
                                                 : std::numeric_limits<float>::infinity());
    std::int32_t low[animal_vision_capacity + 1], high[animal_vision_capacity + 1];
    for (std::int32_t row = 0; row < cells.rows; ++row) {
        // The last row's top may differ from the world's by a rounding, well within inflate.
        const double y0 = row * cells.cell_height - inflate - frame.y;
        const double y1 = (row + 1) * cells.cell_height + inflate - frame.y;
        const row_order_type* order = y0 > apex_margin ? &above : y1 < -apex_margin ? &below : nullptr;
        if (order == nullptr) {
            see_apex_row(frame, band, cells, row, sides, tangent, widen_up, inflate, apex_margin + inflate);
            continue;
        }
        if (order->counting_before[order->crossing + 1] == 0) continue;  // no point of the row is seen
        for (int k = 0; k < order->crossing; ++k) {
            low[k] = column_within(order->low_start[k] + row * order->step[k], columns);
            high[k] = column_within(order->high_start[k] + row * order->step[k], columns);
        }
        // Widenings differ from line to line: a column left of some band's
        // start must be left of every later band's too.
        for (int k = order->crossing - 2; k >= 0; --k) low[k] = std::min(low[k], low[k + 1]);
        const std::int32_t* prefix = cells.start.data() + static_cast<std::size_t>(row) * columns;  // differences count
        std::int32_t next = 0;  // the first column not yet placed
        for (int k = 0; k < order->crossing; ++k) {
            const int first_gap = k;
            std::int32_t last = high[k];
            while (k + 1 < order->crossing && low[k + 1] <= last) last = std::max(last, high[++k]);
            const std::int32_t first = std::max(low[first_gap], next);
            if (first > next) {
                const int sector = order->gap_sector[first_gap];
                frame.hits[sector] += prefix[first] - prefix[next];
                next = first;
            }
            last = std::min(last, columns - 1);
            if (last < first) continue;
            if (order->counting_before[k + 2] > order->counting_before[first_gap])
                see_band<Lanes, Masks>(frame, band, cells, *order, row, first, last, first_gap, k, band.flip_row);
            next = last + 1;
        }
        const int sector = order->gap_sector[order->crossing];
        if (next < columns) frame.hits[sector] += prefix[columns] - prefix[next];
    }
    band_lanes_finish(band, frame);
    const std::size_t overflow = static_cast<std::size_t>(cells.columns) * cells.rows;
    for (std::int32_t i = cells.start[overflow]; i < cells.start[overflow + 1]; ++i) vision_see_plant(frame, cells.x[i], cells.y[i]);
}

void see_rows_2(vision_frame_type& frame, const grid_plant_cells_type& cells, double scale)
{
    see_rows_lanes<rounded_lanes_2_type, rounded_masks_2_type>(frame, cells, scale);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void see_rows_4(vision_frame_type& frame, const grid_plant_cells_type& cells, double scale)
{
    see_rows_lanes<rounded_lanes_4_type, rounded_masks_4_type>(frame, cells, scale);
}
#endif

}  // namespace

void vision_see_rows(vision_frame_type& frame, const grid_plant_cells_type& cells, double scale)
{
#if defined(__x86_64__)
    if (frame.lanes == 4) {
        see_rows_4(frame, cells, scale);
        return;
    }
#endif
    see_rows_2(frame, cells, scale);
}

double vision_rows_scale(const vision_frame_type& frame, double width, double height, std::size_t count)
{
    const double world_scale = width + height + 1.0;
    const double scale = world_scale + std::fabs(frame.x) + std::fabs(frame.y);
    bool rows_apply = count > frame.few_plants && scale < far_scale * world_scale;
    for (int j = 0; j <= frame.count; ++j)
        rows_apply = rows_apply && std::isfinite(frame.cos_boundary[j]) && std::isfinite(frame.sin_boundary[j]);
    return rows_apply ? scale : 0.0;
}
