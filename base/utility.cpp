#include "base/utility.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <locale.h>

int random_int(random_type& source)
{
    source.state = source.state * 214013u + 2531011u;
    return static_cast<int>((source.state >> 16) & 0x7FFFu);
}

double f_rand(random_type& source, double a, double b)
{
    const int r = random_int(source);
    return a + (b - a) * (r / static_cast<double>(random_max));
}

double angle_wrap(double x)
{
    if (x > two_pi) return x - two_pi;
    if (x < 0) return x + two_pi;
    return x;
}

double mutate_gene(random_type& source, double value, double rate, double amount)
{
    const int t = random_int(source);
    if (rate * random_max > t) value += f_rand(source, -amount, amount);
    return value;
}

int format_c(char* buffer, std::size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
#if defined(_WIN32)
    // MinGW's own formatting (not the system library's), which rounds exactly as glibc's does;
    // a program without a window keeps the "C" locale.
    const int length = __mingw_vsnprintf(buffer, size, format, args);
#else
    // One "C" locale object for the process, made on first use.
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const locale_t previous = uselocale(c_locale);
    const int length = std::vsnprintf(buffer, size, format, args);
    uselocale(previous);
#endif
    va_end(args);
    return length;
}
