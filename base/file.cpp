#include "base/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int write_all(int file, std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : EIO;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

// Flushes a file (or a folder) to the disk; the errno of a failure, or 0.
int sync_path(const std::string& path, int flags)
{
    const int file = open(path.c_str(), flags | O_CLOEXEC);
    if (file < 0) return errno;
    int error = fsync(file) == 0 ? 0 : errno;
    if (close(file) != 0 && error == 0) error = errno;
    return error;
}

}  // namespace

unsigned file_mode_for(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

refusal_type refusal_of_errno(int error, const std::string& path)
{
    return refusal_type(std::strerror(error), refusal_kind_type::io, error, path);
}

refusal_type file_replace_by(const std::string& path, const std::function<refusal_type(const std::string& temporary)>& write)
{
    if (path.empty()) return refusal_of_errno(ENOENT, path);
    const unsigned mode = file_mode_for(path);
    std::string temporary = path + ".XXXXXX";
    const int file = mkstemp(temporary.data());
    if (file < 0) return refusal_of_errno(errno, path);
    close(file);
    refusal_type refused = write(temporary);
    if (refused.empty() && chmod(temporary.c_str(), mode) != 0) refused = refusal_of_errno(errno, path);
    if (refused.empty())
        if (const int error = sync_path(temporary, O_RDONLY); error != 0) refused = refusal_of_errno(error, path);
    if (refused.empty() && rename(temporary.c_str(), path.c_str()) != 0) refused = refusal_of_errno(errno, path);
    if (!refused.empty()) {
        unlink(temporary.c_str());
        return refused;
    }
    // The rename itself reaches the disk with the folder; the file is whole either way.
    sync_path(folder_of(path), O_RDONLY | O_DIRECTORY);
    return {};
}

refusal_type file_replace(const std::string& path, std::string_view bytes)
{
    return file_replace_by(path, [bytes, &path](const std::string& temporary) -> refusal_type {
        const int file = open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (file < 0) return refusal_of_errno(errno, path);
        int error = write_all(file, bytes);
        if (close(file) != 0 && error == 0) error = errno;
        return error == 0 ? refusal_type() : refusal_of_errno(error, path);
    });
}
