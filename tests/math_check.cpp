// The program's own elementary functions against MPFR's correctly rounded
// values: the largest error in ulps of each, over arguments where a run uses
// them and anywhere in the doubles (huge, tiny, subnormal, the signed zeros,
// the infinities, NaN); and the hash of their bits on the fixed arguments.
//
//   math_check [ARGUMENTS] [SEED]     ARGUMENTS per function (default 1000000)
//
// Exits 1 when an error reaches 1 ulp, a special value is wrong or the hash
// is not the one the program names.
#include "base/exact_math.h"

#include <mpfr.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

std::uint64_t state = 1;

std::uint64_t next()
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

double uniform(double low, double high) { return low + (high - low) * static_cast<double>(next() >> 11) * 0x1p-53; }

double any_bits()
{
    const std::uint64_t bits = next();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A magnitude spread evenly over the exponents from 2^low to 2^high, either sign.
double spread(int low, int high)
{
    const double value = std::ldexp(uniform(1.0, 2.0), low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1)));
    return (next() & 1) != 0 ? -value : value;
}

struct measure_type {
    const char* name;
    double worst = 0.0;        // ulps
    double worst_at = 0.0;
    double worst_at2 = 0.0;
    std::uint64_t checked = 0;
    std::uint64_t wrong = 0;   // special values, signs of zero, NaN-ness
};

// The error of got from the exact value, in ulps of the exact value's binade.
double ulps(double got, const mpfr_t exact)
{
    if (mpfr_nan_p(exact)) return std::isnan(got) ? 0.0 : INFINITY;
    if (mpfr_inf_p(exact)) return std::isinf(got) && (got > 0) == (mpfr_sgn(exact) > 0) ? 0.0 : INFINITY;
    if (std::isnan(got) || std::isinf(got)) return INFINITY;
    if (mpfr_zero_p(exact)) return got == 0.0 && std::signbit(got) == (mpfr_signbit(exact) != 0) ? 0.0 : INFINITY;
    mpfr_t difference;
    mpfr_init2(difference, 300);
    mpfr_set_d(difference, got, MPFR_RNDN);
    mpfr_sub(difference, difference, exact, MPFR_RNDN);
    const long exponent = std::max<long>(mpfr_get_exp(exact), -1021);   // exact = m 2^exponent, 1/2 <= |m| < 1
    mpfr_mul_2si(difference, difference, 53 - exponent, MPFR_RNDN);
    const double error = std::fabs(mpfr_get_d(difference, MPFR_RNDN));
    mpfr_clear(difference);
    return error;
}

void record(measure_type& measure, double error, double x, double y = 0.0)
{
    measure.checked += 1;
    if (std::isinf(error)) measure.wrong += 1;
    if (error > measure.worst) {
        measure.worst = error;
        measure.worst_at = x;
        measure.worst_at2 = y;
    }
}

using one_type = std::function<double(double)>;

void check_one(measure_type& measure, const one_type& ours, int (*exact)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x)
{
    mpfr_t value;
    mpfr_init2(value, 200);
    mpfr_set_d(value, x, MPFR_RNDN);
    exact(value, value, MPFR_RNDN);
    record(measure, ulps(ours(x), value), x);
    mpfr_clear(value);
}

void check_atan2(measure_type& measure, double y, double x)
{
    mpfr_t a, b;
    mpfr_init2(a, 200);
    mpfr_init2(b, 200);
    mpfr_set_d(a, y, MPFR_RNDN);
    mpfr_set_d(b, x, MPFR_RNDN);
    mpfr_atan2(a, a, b, MPFR_RNDN);
    record(measure, ulps(exact_atan2(y, x), a), y, x);
    mpfr_clear(a);
    mpfr_clear(b);
}

const double specials[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 1.0, -1.0, 0x1p-27, 0x1p-28,
                           0.35, 19.1, 3.141592653589793, 1.5707963267948966, 0x1p20, 0x1p30, 1e22, 6381956970095103.0 * 0x1p797};

}  // namespace

int main(int argc, char** argv)
{
    const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    state = argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1;
    measure_type tanh_measure{"tanh"}, sin_measure{"sin"}, cos_measure{"cos"}, atan2_measure{"atan2"};
    const one_type sine = [](double x) { return exact_sin(x); };
    const one_type cosine = [](double x) { return exact_cos(x); };
    const one_type both_sine = [](double x) {
        double s, c;
        exact_sincos(x, s, c);
        return s;
    };
    std::uint64_t lane_mismatches = 0;
    for (const double x : specials) {
        for (const double value : {x, -x}) {
            check_one(tanh_measure, exact_tanh, mpfr_tanh, value);
            check_one(sin_measure, sine, mpfr_sin, value);
            check_one(cos_measure, cosine, mpfr_cos, value);
            for (const double y : specials) check_atan2(atan2_measure, y, value);
        }
    }
    for (std::uint64_t k = 0; k < count; ++k) {
        // Where a run uses them, then anywhere.
        const int kind = static_cast<int>(k % 8);
        const double t = kind < 3 ? uniform(-20.0, 20.0) : kind < 6 ? spread(-40, 6) : kind == 6 ? spread(-1074, 10) : any_bits();
        check_one(tanh_measure, exact_tanh, mpfr_tanh, t);
        double lane_in[3] = {t, -t, t * 0.5}, lane_out[3];
        exact_tanh_lanes(lane_in, lane_out, 3);
        for (int l = 0; l < 3; ++l) {
            const double alone = exact_tanh(lane_in[l]);
            if (std::memcmp(&lane_out[l], &alone, sizeof alone) != 0) ++lane_mismatches;
        }
        const double angle = kind < 2   ? uniform(-7.0, 7.0)
                             : kind < 3 ? uniform(-1000.0, 1000.0)
                             : kind < 4 ? uniform(-0x1p20, 0x1p20)
                             : kind < 5 ? std::nearbyint(uniform(1.0, 1e6)) * 0x1.921fb54442d18p-5
                             : kind < 6 ? spread(-30, 60)
                             : kind < 7 ? spread(-1074, 1023)
                                        : any_bits();
        check_one(sin_measure, (k & 1) != 0 ? sine : both_sine, mpfr_sin, angle);
        check_one(cos_measure, cosine, mpfr_cos, angle);
        const double y = kind < 3 ? uniform(-10.0, 10.0) : kind < 6 ? spread(-60, 60) : any_bits();
        const double x = kind < 3 ? uniform(-10.0, 10.0) : kind < 6 ? spread(-60, 60) : any_bits();
        check_atan2(atan2_measure, y, x);
    }
    int status = 0;
    for (const measure_type* m : {&tanh_measure, &sin_measure, &cos_measure, &atan2_measure}) {
        char second[64] = "";
        if (m == &atan2_measure) std::snprintf(second, sizeof second, ", %.17g", m->worst_at2);
        std::printf("%-6s max %.4f ulp over %" PRIu64 " arguments (at %.17g%s), %" PRIu64 " special values wrong\n", m->name, m->worst,
                    m->checked, m->worst_at, second, m->wrong);
        if (!(m->worst < 1.0) || m->wrong != 0) status = 1;
    }
    if (lane_mismatches != 0) {
        std::printf("tanh lanes: %" PRIu64 " results differ from one at a time\n", lane_mismatches);
        status = 1;
    }
    const std::uint64_t hash = exact_math_hash_now();
    std::printf("hash of the bits on %zu fixed arguments: 0x%016" PRIx64 "%s\n", exact_math_arguments, hash,
                hash == exact_math_hash ? "" : " (the program names another)");
    if (hash != exact_math_hash) status = 1;
    return status;
}
