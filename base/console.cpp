#include "base/console.h"

#include "base/check.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

int h_console = -1;

void start_console() { h_console = 1; }

void (*console_sink)(const char* text) = nullptr;
void (*notice_sink)(const char* text) = nullptr;

void write_console(const char* text)
{
    if (console_sink != nullptr) {
        console_sink(text);
        return;
    }
    if (h_console == -1) start_console();
    std::size_t left = std::strlen(text);
    while (left > 0) {
#if defined(_WIN32)
        const int written = _write(h_console, text, static_cast<unsigned>(left));
#else
        const ssize_t written = write(h_console, text, left);
#endif
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // a console that cannot be written is ignored
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

void check_failed(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "velmora: invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}
