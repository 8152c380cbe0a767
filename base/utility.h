// Shared helpers of the simulation: the random source, angle wrapping, the
// mutation of one gene and locale-independent number formatting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Angles in radians, as the doubles the whole program uses.
inline constexpr double two_pi = 6.283185307179586;
inline constexpr double half_pi = 1.5707963267948966;      // the vision cone
inline constexpr double quarter_pi = 0.78539816339744828;  // half the vision cone; arrow barbs
inline constexpr double third_pi = 1.0471975511965976;     // between two whiskers

inline constexpr int random_max = 32767;  // largest integer the random source yields

// The random source is a linear congruential generator of our own, so that a
// seed gives the same run on every build and C library. Each world owns one
// and passes it to every draw.
struct random_type {
    std::uint32_t state;  // the last value drawn from, advanced by every draw
};
inline void random_seed(random_type& source, std::uint32_t seed) { source.state = seed; }
int random_int(random_type& source);  // next integer, uniform in 0 .. 32767

// a + (b - a) * r / 32767 with one draw; both ends can occur, a > b allowed.
double f_rand(random_type& source, double a, double b);

// One correction by 2*pi at most; both tests strict.
double angle_wrap(double x);

// The mutation test shared by breeding: draws once for the test and, when the
// gene mutates, once more for the noise in [-amount, amount].
double mutate_gene(random_type& source, double value, double rate, double amount);

// A decimal number, '.' its point whatever the locale, as the whole text:
// the standard's from_chars where the library has it for doubles, else the
// C library's strtod (libc++ for WebAssembly lacks the former). An exponent is
// allowed, a hexadecimal number or a leading space or sign not; "inf" and
// "nan" read as they are. False when the text is not one number, or is out of range.
bool parse_double(std::string_view text, double& value);

// snprintf in the "C" locale whatever the process locale is (the window
// toolkit sets it from the environment, which may use a decimal comma).
int format_c(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
