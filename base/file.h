// Files written whole, one way: a temporary file with a unique name beside
// the target is written, flushed and synced to the disk, renamed over the
// target, and the folder synced, so that a crash, a full disk or a second
// save at the same time never leaves a file half written. A failure leaves
// any old file as it was and says why.
#pragma once

#include "base/refusal.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Writes the bytes to path whole. Returns why it could not, or an empty refusal.
refusal_type file_replace(const std::string& path, std::string_view bytes);
// The same for a writer that wants a path of its own to write (a library that
// opens the file itself): write fills the temporary file named and returns why
// it could not, or an empty refusal.
refusal_type file_replace_by(const std::string& path, const std::function<refusal_type(const std::string& temporary)>& write);

// A whole regular file of at most max_bytes, read into bytes; why not, or an empty refusal
// (a file larger than that, or not a regular file, is refused as of another kind).
refusal_type file_read(const std::string& path, std::string& bytes, std::int64_t max_bytes);

// The permissions a file written at path gets: those of the file it replaces, or the usual ones.
unsigned file_mode_for(const std::string& path);
