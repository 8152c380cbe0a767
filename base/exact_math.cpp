#include "base/exact_math.h"

#include "base/exact_math_constants.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>

// Every result below depends on each operation being made as written: no
// reordering, no fused multiply-add (the build passes -ffp-contract=off), no
// wider intermediate precision.
#if defined(__FAST_MATH__)
#error "base/exact_math.cpp must not be built with -ffast-math: its results depend on every operation as written"
#endif
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "base/exact_math.cpp needs doubles computed in double precision (SSE2 rather than x87)"
#endif

namespace {

namespace c = exact_math_constants;

// A value as the unevaluated sum of two doubles, the second below half an ulp of the first.
struct dd_type {
    double hi;
    double lo;
};

// a + b exactly, whatever their sizes.
inline dd_type two_sum(double a, double b)
{
    const double s = a + b;
    const double b_part = s - a;
    const double a_part = s - b_part;
    return {s, (a - a_part) + (b - b_part)};
}

// a + b exactly, for |a| >= |b| (or a = 0).
inline dd_type fast_two_sum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// a in two halves of 26 bits each, whose products are exact (Dekker's split; |a| < 2^995).
inline void split(double a, double& hi, double& lo)
{
    const double scaled = 134217729.0 * a;
    hi = scaled - (scaled - a);
    lo = a - hi;
}

// a * b exactly, without a fused multiply-add.
inline dd_type two_product(double a, double b)
{
    double a_hi, a_lo, b_hi, b_lo;
    split(a, a_hi, a_lo);
    split(b, b_hi, b_lo);
    const double p = a * b;
    return {p, ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo};
}

inline std::uint64_t bits_of(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline double double_of(std::uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// 2^e for e in [-1022, 1023], exactly.
inline double power_of_two(int e) { return double_of(static_cast<std::uint64_t>(e + 1023) << 52); }

// Adding it to a value below 2^51 leaves the value rounded to an integer, to nearest.
constexpr double round_shift = 0x1.8p52;

// ---- tanh

// tanh a for a in [0, 19.1), by where a lies (the constants' comments say how).
inline double tanh_positive(double a)
{
    if (a < 0.1875) {
        const double z = a * a;
        const double p = (((((c::tanh_near[6] * z + c::tanh_near[5]) * z + c::tanh_near[4]) * z + c::tanh_near[3]) * z +
                            c::tanh_near[2]) * z + c::tanh_near[1]) * z + c::tanh_near[0];
        return a + a * (z * p);
    }
    if (a < 4.0625) {
        // The nearest centre k/8 by integers, so that h lies within a sixteenth of it exactly.
        const int k = (static_cast<int>(a * 16.0) + 1) >> 1;
        const double* const piece = c::tanh_pieces[k - 2];
        const double h = a - k * 0.125;   // exact: a and k/8 are close
        double h1, h2;
        split(h, h1, h2);
        // sech^2's 26-bit head times h's halves: both products exact.
        const dd_type sum = fast_two_sum(piece[0], piece[2] * h1);
        const double r = (((((((((piece[13] * h + piece[12]) * h + piece[11]) * h + piece[10]) * h + piece[9]) * h + piece[8]) * h +
                             piece[7]) * h + piece[6]) * h + piece[5]) * h + piece[4]);
        const double rest = ((piece[2] * h2 + piece[3] * h) + piece[1]) + (h * h) * r;
        return sum.hi + (sum.lo + rest);
    }
    // 1 - 2G/(1 + G): G below 3e-4, so its few ulps of error are not felt.
    const double y = -2.0 * a;
    const double shifted = y * c::inverse_ln2_32 + round_shift;
    const double m_value = shifted - round_shift;
    const int m = static_cast<int>(m_value);
    const double r = (y - m_value * c::ln2_32_hi) - m_value * c::ln2_32_lo;
    const double w = r * r * (0.5 + r * ((c::exp_q[2] * r + c::exp_q[1]) * r + c::exp_q[0]));
    const double t = c::exp_table[m & 31];
    const double g = power_of_two(m >> 5) * (t + t * (r + w));
    return 1.0 - (g + g) / (1.0 + g);
}

// ---- sin and cos

// x = N pi/64 + u, |u| <= pi/128 (and a little), u in double-double; N modulo 128.
struct reduced_type {
    int n;
    dd_type u;
};

// The bit at position position of P, a 256-bit number in eight 32-bit words, the lowest first.
inline std::uint64_t bits_at(const std::uint32_t* p, int position, int count)
{
    std::uint64_t value = 0;
    for (int k = count - 1; k >= 0; --k) {
        const int at = position + k;
        value = (value << 1) | ((p[at >> 5] >> (at & 31)) & 1u);
    }
    return value;
}

// The largest arguments: x 64/pi modulo 128 from the bits of 64/pi that
// matter, with 128 bits after the point (Payne and Hanek's reduction).
reduced_type reduce_large(double a)
{
    const std::uint64_t bits = bits_of(a);
    const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int e = static_cast<int>(bits >> 52) - 1075;   // a = mantissa 2^e
    // The bits of 64/pi as one string: 27 zeros, the 5 before the point, then those after. The bit of
    // weight 2^-i stands at 31 + i. Those of weight 2^-i with e - i >= 7 give multiples of 128: left out.
    constexpr int words = 1 + static_cast<int>(std::size(c::inverse_pi_64_words));
    std::uint32_t string[words];
    string[0] = c::inverse_pi_64_whole;
    for (int k = 1; k < words; ++k) string[k] = c::inverse_pi_64_words[k - 1];
    const int first = (e - 6 > -4 ? e - 6 : -4) + 31;   // the highest bit taken
    // 192 bits from there, as six words, the highest first.
    std::uint32_t window[6];
    for (int k = 0; k < 6; ++k) {
        const int at = first + 32 * k;
        const std::uint64_t pair = (static_cast<std::uint64_t>(string[at >> 5]) << 32) | string[(at >> 5) + 1];
        window[k] = static_cast<std::uint32_t>(pair >> (32 - (at & 31)));
    }
    // P = mantissa * window, eight words, the lowest first.
    std::uint32_t product[8] = {};
    const std::uint32_t m[2] = {static_cast<std::uint32_t>(mantissa), static_cast<std::uint32_t>(mantissa >> 32)};
    for (int i = 0; i < 2; ++i) {
        std::uint64_t carry = 0;
        for (int l = 0; l < 6; ++l) {
            const int at = i + l;
            const std::uint64_t t = static_cast<std::uint64_t>(m[i]) * window[5 - l] + product[at] + carry;
            product[at] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        for (int at = i + 6; carry != 0 && at < 8; ++at) {
            const std::uint64_t t = static_cast<std::uint64_t>(product[at]) + carry;
            product[at] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
    }
    // The string's bit at 31 + i has weight 2^-i; the window's lowest, at first + 191, weight 2^-(first + 160):
    // x 64/pi = P 2^(e - first - 160), so the point stands at bit point of P.
    const int point = first + 160 - e;
    int n = static_cast<int>(bits_at(product, point, 7));
    std::uint64_t high = bits_at(product, point - 64, 64);
    std::uint64_t low = bits_at(product, point - 128, 64);
    // The fraction in [-1/2, 1/2): above a half, the next N and the fraction less one.
    bool negative = false;
    if ((high >> 63) != 0) {
        n += 1;
        negative = true;
        high = ~high;
        low = ~low + 1;
        if (low == 0) high += 1;
    }
    // The 128-bit fraction as a double-double, scaled by 2^-64 twice.
    const double high_value = static_cast<double>(high);
    const std::int64_t left = static_cast<std::int64_t>(high - static_cast<std::uint64_t>(high_value));
    double f_hi = high_value * 0x1p-64;
    double f_lo = (static_cast<double>(left) + static_cast<double>(low) * 0x1p-64) * 0x1p-64;
    if (negative) {
        f_hi = -f_hi;
        f_lo = -f_lo;
    }
    const dd_type p = two_product(f_hi, c::pi_64_hi);
    const double lo = p.lo + (f_hi * c::pi_64_lo + f_lo * c::pi_64_hi);
    return {n & 127, fast_two_sum(p.hi, lo)};
}

// N = round(x 64/pi) and x - N pi/64 with pi/64 in four parts, the first three
// subtracted exactly (Cody and Waite's reduction); for |x| < 2^20.
inline reduced_type reduce(double x)
{
    const double shifted = x * c::inverse_pi_64 + round_shift;
    const double n_value = shifted - round_shift;
    const double r1 = x - n_value * c::pi_64_parts[0];
    const dd_type s1 = two_sum(r1, -(n_value * c::pi_64_parts[1]));
    const dd_type s2 = two_sum(s1.hi, -(n_value * c::pi_64_parts[2]));
    const double lo = (s1.lo + s2.lo) - n_value * c::pi_64_parts[3];
    return {static_cast<int>(static_cast<std::int64_t>(n_value) & 127), fast_two_sum(s2.hi, lo)};
}

// sin and cos of j pi/64 + u from the table and u's polynomials; j in [0, 32).
inline void sincos_reduced(int j, const dd_type& u, double& sine, double& cosine)
{
    const double z = u.hi * u.hi;
    const double sin_tail = u.hi * z * ((c::sin_p[2] * z + c::sin_p[1]) * z + c::sin_p[0]) + u.lo;
    const double cos_less_one = z * ((c::cos_q[2] * z + c::cos_q[1]) * z + c::cos_q[0]) - u.hi * u.lo;
    // sin u = u.hi + sin_tail, cos u = 1 + cos_less_one. The tables' 26-bit heads times u's halves are exact,
    // and the first of them is smaller than the value it is added to (j pi/64 is at least pi/64 from u's reach).
    double u1, u2;
    split(u.hi, u1, u2);
    const double s_hi = c::sin_table_hi[j], c_hi = c::cos_table_hi[j];
    const dd_type hs = fast_two_sum(s_hi, c::cos_table_head[j] * u1);
    const double rest_s = (((c::cos_table_head[j] * u2 + c::cos_table_tail[j] * u.hi) + c::sin_table_lo[j]) + c_hi * sin_tail) +
                          s_hi * cos_less_one;
    sine = hs.hi + (hs.lo + rest_s);
    const dd_type hc = fast_two_sum(c_hi, -(c::sin_table_head[j] * u1));
    const double rest_c = (((c::cos_table_lo[j] - c::sin_table_head[j] * u2) - c::sin_table_tail[j] * u.hi) - s_hi * sin_tail) +
                          c_hi * cos_less_one;
    cosine = hc.hi + (hc.lo + rest_c);
}

// sin and cos of a finite x with |x| >= 2^-27.
void sincos_finite(double x, double& sine, double& cosine)
{
    reduced_type reduced;
    if (std::fabs(x) < 0x1p20) {
        reduced = reduce(x);
    } else {
        reduced = reduce_large(std::fabs(x));
        if (x < 0) {
            reduced.n = (128 - reduced.n) & 127;
            reduced.u = {-reduced.u.hi, -reduced.u.lo};
        }
    }
    double s, k;
    sincos_reduced(reduced.n & 31, reduced.u, s, k);
    // The quarter turns: by (n / 32) mod 4.
    switch ((reduced.n >> 5) & 3) {
    case 0: sine = s, cosine = k; break;
    case 1: sine = k, cosine = -s; break;
    case 2: sine = -s, cosine = -k; break;
    default: sine = -k, cosine = s; break;
    }
}

// ---- atan

// atan t for t in [0, 1] as a double-double; t = t_hi + t_lo.
dd_type atan_unit(double t_hi, double t_lo)
{
    const int j = static_cast<int>(t_hi * 8.0 + 0.5);
    dd_type u{t_hi, t_lo};
    if (j > 0) {
        // atan t = atan(j/8) + atan u, u = (t - j/8) / (1 + t j/8), |u| <= 1/16.
        const double step = j * 0.125;
        const double num_hi = t_hi - step;   // exact: t and j/8 are close
        const dd_type tc = two_product(t_hi, step);
        const dd_type den1 = two_sum(1.0, tc.hi);
        const double den_lo = den1.lo + (tc.lo + t_lo * step);
        const double quotient = num_hi / den1.hi;
        const dd_type back = two_product(quotient, den1.hi);
        const double correction = ((((num_hi - back.hi) - back.lo) + t_lo) - quotient * den_lo) / den1.hi;
        u = {quotient, correction};
    }
    const double z = u.hi * u.hi;
    const double tail = u.hi * z * ((((((c::atan_a[5] * z + c::atan_a[4]) * z + c::atan_a[3]) * z + c::atan_a[2]) * z + c::atan_a[1]) * z) + c::atan_a[0]) + u.lo;
    const dd_type sum = two_sum(c::atan_table_hi[j], u.hi);
    return fast_two_sum(sum.hi, (sum.lo + c::atan_table_lo[j]) + tail);
}

}  // namespace

double exact_tanh(double x)
{
    const double a = std::fabs(x);
    if (!(a < 19.1)) return a == a ? std::copysign(1.0, x) : x + x;   // beyond, tanh rounds to 1
    return std::copysign(tanh_positive(a), x);
}

// One at a time, by the same steps: each lane's bits are exact_tanh's.
void exact_tanh_lanes(const double* in, double* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) out[i] = exact_tanh(in[i]);
}

void exact_sincos(double x, double& sine, double& cosine)
{
    if (std::fabs(x) < 0x1p-27) {
        // sin x rounds to x, cos x to 1.
        sine = x;
        cosine = 1.0;
        return;
    }
    if (!std::isfinite(x)) {
        sine = cosine = x - x;   // NaN for infinities and NaNs
        return;
    }
    sincos_finite(x, sine, cosine);
}

double exact_sin(double x)
{
    double sine, cosine;
    exact_sincos(x, sine, cosine);
    return sine;
}

double exact_cos(double x)
{
    double sine, cosine;
    exact_sincos(x, sine, cosine);
    return cosine;
}

double exact_atan2(double y, double x)
{
    if (x != x || y != y) return x + y;
    const double ay = std::fabs(y), ax = std::fabs(x);
    const bool left = std::signbit(x);
    // The axes and the infinities, as IEEE 754 and C give them.
    if (ay == 0.0) return std::copysign(left ? c::pi_hi : 0.0, y);
    if (ax == 0.0) return std::copysign(c::half_pi_hi, y);
    if (std::isinf(ay) || std::isinf(ax)) {
        const dd_type three_quarters = two_sum(c::half_pi_hi, 0.5 * c::half_pi_hi);
        const double angle = std::isinf(ay) ? (std::isinf(ax) ? (left ? three_quarters.hi + (three_quarters.lo + 1.5 * c::half_pi_lo)
                                                                       : 0.5 * c::half_pi_hi)
                                                              : c::half_pi_hi)
                                            : (left ? c::pi_hi : 0.0);
        return std::copysign(angle, y);
    }
    const bool steep = ay > ax;
    double num = steep ? ax : ay, den = steep ? ay : ax;
    const double t = num / den;
    dd_type angle;
    if (t < 0x1p-500) {
        angle = {t, 0.0};   // t itself is atan t rounded, t^3 / 3 lying far below it
    } else {
        // The quotient as a double-double, the two scaled near 1 so that the products are exact.
        const int e = static_cast<int>((bits_of(den) >> 52) & 0x7FF) - 1023;
        const double scale = power_of_two(e > 1000 ? -1000 : e < -1000 ? 1000 : -e);
        num *= scale;
        den *= scale;
        const dd_type back = two_product(t, den);
        const double t_lo = ((num - back.hi) - back.lo) / den;
        angle = atan_unit(t, t_lo);
    }
    if (steep) {
        const dd_type turned = two_sum(c::half_pi_hi, -angle.hi);
        angle = fast_two_sum(turned.hi, turned.lo + (c::half_pi_lo - angle.lo));
    }
    if (left) {
        const dd_type turned = two_sum(c::pi_hi, -angle.hi);
        angle = fast_two_sum(turned.hi, turned.lo + (c::pi_lo - angle.lo));
    }
    return std::copysign(angle.hi + angle.lo, y);
}

std::uint64_t exact_math_hash_now()
{
    // FNV-1a over the bits, for arguments from a fixed xorshift: mostly in
    // the ranges a run uses, some anywhere in the doubles.
    std::uint64_t hash = 0xcbf29ce484222325ull, state = 0x9e3779b97f4a7c15ull;
    const auto fold = [&hash](double value) {
        std::uint64_t bits = bits_of(value);
        for (int k = 0; k < 8; ++k, bits >>= 8) hash = (hash ^ (bits & 0xFF)) * 0x100000001b3ull;
    };
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const auto uniform = [&next](double low, double high) { return low + (high - low) * static_cast<double>(next() >> 11) * 0x1p-53; };
    for (std::size_t k = 0; k < exact_math_arguments; ++k) {
        const double anywhere = double_of(next());
        const double x = k % 8 == 7 ? anywhere : uniform(-40.0, 40.0);
        double sine, cosine;
        exact_sincos(x, sine, cosine);
        fold(exact_tanh(x));
        fold(sine);
        fold(cosine);
        fold(exact_atan2(k % 8 == 7 ? double_of(next()) : uniform(-10.0, 10.0), x));
    }
    return hash;
}

double system_tanh(double x) { return std::tanh(x); }

void system_sincos(double x, double& sine, double& cosine)
{
    cosine = std::cos(x);
    sine = std::sin(x);
}

double system_atan2(double y, double x) { return std::atan2(y, x); }

void system_tanh_lanes(const double* in, double* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) out[i] = std::tanh(in[i]);
}
