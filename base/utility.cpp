#include "base/utility.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <locale.h>

namespace {
random_type random_outside_worlds{0};  // draws made while a thread has no world
}

thread_local constinit random_type* random_source = &random_outside_worlds;

void random_use(random_type* source) { random_source = source != nullptr ? source : &random_outside_worlds; }

void random_seed(std::uint32_t seed) { random_source->state = seed; }

std::uint32_t random_get_state() { return random_source->state; }

int random_int()
{
    random_type& source = *random_source;
    source.state = source.state * 214013u + 2531011u;
    return static_cast<int>((source.state >> 16) & 0x7FFFu);
}

double f_rand(double a, double b)
{
    const int r = random_int();
    return a + (b - a) * (r / static_cast<double>(random_max));
}

double angle_wrap(double x)
{
    if (x > two_pi) return x - two_pi;
    if (x < 0) return x + two_pi;
    return x;
}

double mutate_gene(double value, double rate, double amount)
{
    const int t = random_int();
    if (rate * random_max > t) value += f_rand(-amount, amount);
    return value;
}

int format_c(char* buffer, std::size_t size, const char* format, ...)
{
    // One "C" locale object for the process, made on first use.
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const locale_t previous = uselocale(c_locale);
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    uselocale(previous);
    return length;
}
