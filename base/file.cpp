#include "base/file.h"

#include "base/system.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

unsigned file_mode_for(const std::string& path) { return system_mode_for(path); }

refusal_type refusal_of_errno(int error, const std::string& path)
{
    return refusal_type(std::strerror(error), refusal_kind_type::io, error, path);
}

refusal_type file_replace_by(const std::string& path, const std::function<refusal_type(const std::string& temporary)>& write)
{
    if (path.empty()) return refusal_of_errno(ENOENT, path);
    const unsigned mode = system_mode_for(path);
    const std::string temporary = system_temporary_beside(path);
    if (temporary.empty()) return refusal_of_errno(errno, path);
    refusal_type refused = write(temporary);
    if (refused.empty()) {
        system_set_mode(temporary, mode);
        // Flushed by name: a writer may have closed its own descriptor.
        if (const int error = system_sync_file(temporary); error != 0) refused = refusal_of_errno(error, path);
    }
    if (refused.empty())
        if (const int error = system_replace(temporary, path); error != 0) refused = refusal_of_errno(error, path);
    if (!refused.empty()) {
        system_remove(temporary);
        return refused;
    }
    // The rename itself reaches the disk with the folder; the file is whole either way.
    system_sync_folder(path);
    return {};
}

refusal_type file_read(const std::string& path, std::string& bytes, std::int64_t max_bytes)
{
    bytes.clear();
    const int file = system_open(path, O_RDONLY);
    if (file < 0) return refusal_of_errno(errno, path);
    std::int64_t size = 0;
    refusal_type refused;
    const refusal_type too_large("larger than " + std::to_string(max_bytes >> 20) + " MiB", refusal_kind_type::format);
    const int kind = system_file_kind(path, &size);
    if (kind < 0) refused = refusal_of_errno(errno, path);
    if (kind == 0) refused = refusal_type("not a regular file", refusal_kind_type::format);
    if (refused.empty() && size > max_bytes) refused = too_large;
    char buffer[65536];
    while (refused.empty()) {
        const long long got = system_read(file, buffer, sizeof buffer);
        if (got < 0) refused = refusal_of_errno(errno, path);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (static_cast<std::int64_t>(bytes.size()) > max_bytes) refused = too_large;
    }
    system_close(file);
    if (!refused.empty()) bytes.clear();
    return refused;
}

refusal_type file_replace(const std::string& path, std::string_view bytes)
{
    return file_replace_by(path, [bytes, &path](const std::string& temporary) -> refusal_type {
        const int file = system_open(temporary, O_WRONLY | O_TRUNC);
        if (file < 0) return refusal_of_errno(errno, path);
        int error = system_write_all(file, bytes.data(), bytes.size()) == 0 ? 0 : errno;
        if (system_close(file) != 0 && error == 0) error = errno;
        return error == 0 ? refusal_type() : refusal_of_errno(error, path);
    });
}
