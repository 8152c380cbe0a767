// The operating system's calls the program makes, each one way on POSIX and
// one on Windows, so that the rest of the program needs neither: files by
// UTF-8 path and in binary mode, replacing a file and flushing it to the
// disk, whether a stream is a terminal, the processors free to the program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// open(2) for a UTF-8 path, in binary mode and not inherited by children;
// flags are O_RDONLY, O_WRONLY, O_CREAT, O_TRUNC, O_APPEND. Returns the
// descriptor, or -1 with errno set.
int system_open(const std::string& path, int flags, int mode = 0666);
int system_close(int descriptor);
// read(2) and write(2) whole: every byte, or -1 with errno set.
long long system_read(int descriptor, void* bytes, std::size_t count);   // 0 at the end
int system_write_all(int descriptor, const void* bytes, std::size_t count);
int system_sync_file(const std::string& path);   // the closed file's bytes to the disk; 0 or the errno
long long system_seek_end(int descriptor);   // to the file's end; its length, or -1 with errno set

// What a path is: 1 a regular file (its size in bytes), 0 something else, -1 none (errno set).
int system_file_kind(const std::string& path, std::int64_t* size = nullptr);
// A new empty file with a unique name beginning with prefix, beside it; its path, or empty with errno set.
std::string system_temporary_beside(const std::string& prefix);
// from replaces to at once, whether or not to exists (and the rename reaches
// the disk, where the system can say so); 0, or errno.
int system_replace(const std::string& from, const std::string& to);
int system_remove(const std::string& path);   // 0, or errno
void system_sync_folder(const std::string& path);   // the folder holding path, to the disk where the system has it
unsigned system_mode_for(const std::string& path);   // the permissions of the file at path, or the usual ones for a new one
void system_set_mode(const std::string& path, unsigned mode);

// A UTF-8 path as the standard library's streams and filesystem take it.
std::filesystem::path system_path(const std::string& utf8);

bool system_is_terminal(int descriptor);
int system_processors();   // those the program may run on: a job's or taskset's share of the machine

// A descriptor that swallows what is written to it (/dev/null, NUL).
int system_null_output();
