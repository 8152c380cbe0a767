#include "base/system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__EMSCRIPTEN__)
#include <emscripten/emscripten.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif
#endif

namespace {

[[maybe_unused]] std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

}  // namespace

#if defined(_WIN32)

namespace {

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
    return out;
}

int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}

}  // namespace

int system_open(const std::string& path, int flags, int mode)
{
    return _wopen(wide(path).c_str(), flags | _O_BINARY | _O_NOINHERIT, (mode & 0200) != 0 ? _S_IREAD | _S_IWRITE : _S_IREAD);
}

int system_close(int descriptor) { return _close(descriptor); }

long long system_read(int descriptor, void* bytes, std::size_t count)
{
    return _read(descriptor, bytes, static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30)));
}

int system_write_all(int descriptor, const void* bytes, std::size_t count)
{
    const char* at = static_cast<const char*>(bytes);
    while (count > 0) {
        const int written = _write(descriptor, at, static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30)));
        if (written <= 0) {
            if (written == 0) errno = ENOSPC;
            return -1;
        }
        at += written;
        count -= static_cast<std::size_t>(written);
    }
    return 0;
}

int system_sync_file(const std::string& path)
{
    // Flushing needs a handle that may write, even to a file just closed.
    const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return errno_of(GetLastError());
    const int error = FlushFileBuffers(file) ? 0 : errno_of(GetLastError());
    CloseHandle(file);
    return error;
}

long long system_seek_end(int descriptor) { return _lseeki64(descriptor, 0, SEEK_END); }

int system_file_kind(const std::string& path, std::int64_t* size)
{
    struct _stat64 info {};
    if (_wstat64(wide(path).c_str(), &info) != 0) return -1;
    if (size != nullptr) *size = info.st_size;
    return (info.st_mode & _S_IFREG) != 0 ? 1 : 0;
}

std::string system_temporary_beside(const std::string& prefix)
{
    static std::atomic<unsigned> counter{0};
    const unsigned long long clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned long long mark = clock * 6364136223846793005ull + GetCurrentProcessId() * 1442695040888963407ull + counter++;
        const std::string path = prefix + "." + std::to_string(mark % 1000000000ull);
        const int file = _wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (file >= 0) {
            _close(file);
            return path;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

int system_replace(const std::string& from, const std::string& to)
{
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    return errno_of(GetLastError());
}

int system_remove(const std::string& path) { return _wunlink(wide(path).c_str()) == 0 ? 0 : errno; }

void system_sync_folder(const std::string&) {}   // a folder cannot be flushed; MOVEFILE_WRITE_THROUGH saw to the rename

unsigned system_mode_for(const std::string&) { return 0666; }

void system_set_mode(const std::string&, unsigned) {}

bool system_is_terminal(int descriptor) { return _isatty(descriptor) != 0; }

std::filesystem::path system_path(const std::string& utf8) { return std::filesystem::path(wide(utf8)); }

int system_processors()
{
    DWORD_PTR process = 0, machine = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &machine) && process != 0) {
        int count = 0;
        for (; process != 0; process &= process - 1) ++count;
        return count;
    }
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

int system_null_output() { return _open("NUL", _O_WRONLY | _O_BINARY); }

#else

int system_open(const std::string& path, int flags, int mode) { return open(path.c_str(), flags | O_CLOEXEC, mode); }

int system_close(int descriptor) { return close(descriptor); }

long long system_read(int descriptor, void* bytes, std::size_t count)
{
    for (;;) {
        const ssize_t got = read(descriptor, bytes, count);
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

int system_write_all(int descriptor, const void* bytes, std::size_t count)
{
    const char* at = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t written = write(descriptor, at, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return -1;
        }
        at += written;
        count -= static_cast<std::size_t>(written);
    }
    return 0;
}

int system_sync_file(const std::string& path)
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return errno;
    const int error = fsync(file) == 0 ? 0 : errno;
    close(file);
    return error;
}

long long system_seek_end(int descriptor) { return lseek(descriptor, 0, SEEK_END); }

int system_file_kind(const std::string& path, std::int64_t* size)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return -1;
    if (size != nullptr) *size = info.st_size;
    return S_ISREG(info.st_mode) ? 1 : 0;
}

std::string system_temporary_beside(const std::string& prefix)
{
    std::string path = prefix + ".XXXXXX";
    const int file = mkstemp(path.data());
    if (file < 0) return {};
    close(file);
    return path;
}

int system_replace(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno; }

int system_remove(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : errno; }

void system_sync_folder(const std::string& path)
{
    const int folder = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    fsync(folder);
    close(folder);
}

unsigned system_mode_for(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    // The owner keeps reading and writing it whatever the mask (Emscripten's memory files start with 0777).
    return (0666 & ~mask) | 0600;
}

void system_set_mode(const std::string& path, unsigned mode) { chmod(path.c_str(), static_cast<mode_t>(mode)); }

#if defined(__EMSCRIPTEN__)
// Emscripten calls every standard stream a terminal; under Node, Node knows.
EM_JS(int, node_is_terminal, (int descriptor), {
    return typeof process === "object" && typeof require === "function" && require("tty").isatty(descriptor) ? 1 : 0;
});
bool system_is_terminal(int descriptor) { return node_is_terminal(descriptor) == 1; }
#else
bool system_is_terminal(int descriptor) { return isatty(descriptor) == 1; }
#endif

std::filesystem::path system_path(const std::string& utf8) { return std::filesystem::path(utf8); }

int system_processors()
{
#if defined(__linux__)
    // A cluster's job, or a process pinned with taskset, may have fewer processors than the machine.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

int system_null_output() { return open("/dev/null", O_WRONLY | O_CLOEXEC); }

#endif
