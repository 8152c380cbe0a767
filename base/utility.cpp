#include "base/utility.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdlib>
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

bool parse_double(std::string_view text, double& value)
{
    if (text.empty() || text.front() == '+' || text.front() == ' ' || text.front() == '\t') return false;
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    return error == std::errc{} && end == text.data() + text.size();
#else
    if (text.size() > 400) return false;
    for (const char c : text)
        if (c == 'x' || c == 'X' || c == 'p' || c == 'P' || c == ' ' || c == '\0') return false;
    char copy[401];
    text.copy(copy, text.size());
    copy[text.size()] = '\0';
    char* end = nullptr;
    errno = 0;
    const double read = std::strtod(copy, &end);
    if (end != copy + text.size() || errno == ERANGE) return false;
    value = read;
    return true;
#endif
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
