// The program's own elementary functions: tanh, sin and cos, and atan2,
// the same to the last bit on every CPU, compiler and system. The C
// library's decide their last bits by the machine (FMA or not, the library's
// version, x87 or SSE), and a run that depends on them then runs
// differently elsewhere; these are computed with IEEE addition,
// subtraction, multiplication, division and square root only, in the order
// written, with argument reductions and polynomials whose constants
// scripts/derive-math derives. Each is within 1 ulp of the exact value for
// every double; tests/math_check measures how far against MPFR.
#pragma once

#include <cstddef>
#include <cstdint>

double exact_tanh(double x);
double exact_sin(double x);
double exact_cos(double x);
void exact_sincos(double x, double& sine, double& cosine);   // both at once, each as exact_sin and exact_cos give it
double exact_atan2(double y, double x);

// tanh of count values at once, each result the bits exact_tanh gives: the
// same operations in the same order, with no branch between the lanes.
void exact_tanh_lanes(const double* in, double* out, std::size_t count);

// The hash of the bits these functions give for exact_math_arguments fixed
// arguments: two builds whose functions agree on them give the same runs.
// A file made with these functions names the hash, and a build whose own
// hash differs refuses it rather than run it into another result.
inline constexpr std::size_t exact_math_arguments = 100000;
inline constexpr std::uint64_t exact_math_hash = 0xfcabd5c091c9b544;
std::uint64_t exact_math_hash_now();   // the hash of this build's functions, computed afresh

// Which functions a run computes with: the C library's, as runs made before
// the program had its own did, or the program's own.
enum math_type : std::uint8_t {
    math_system,   // the platform's C library: exact on this machine only
    math_exact,    // the program's own: the same run everywhere
};

// The C library's, called where they are defined so that every caller gets the same bits.
double system_tanh(double x);
void system_sincos(double x, double& sine, double& cosine);
double system_atan2(double y, double x);
void system_tanh_lanes(const double* in, double* out, std::size_t count);

// The calls a run makes, by its choice.
inline double math_tanh(math_type math, double x) { return math == math_exact ? exact_tanh(x) : system_tanh(x); }

inline void math_sincos(math_type math, double x, double& sine, double& cosine)
{
    if (math == math_exact)
        exact_sincos(x, sine, cosine);
    else
        system_sincos(x, sine, cosine);
}

inline double math_atan2(math_type math, double y, double x) { return math == math_exact ? exact_atan2(y, x) : system_atan2(y, x); }

inline void math_tanh_lanes(math_type math, const double* in, double* out, std::size_t count)
{
    if (math == math_exact)
        exact_tanh_lanes(in, out, count);
    else
        system_tanh_lanes(in, out, count);
}
