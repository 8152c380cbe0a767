// A private folder for the fuzzers' input files. Memory-backed when the
// machine has /dev/shm: a disk's writeback can stall an open() for longer
// than a unit's time limit and be reported as a hang of the reader.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

inline std::string& fuzz_scratch_made()
{
    static std::string folder;
    return folder;
}

inline std::string fuzz_scratch_folder()
{
    for (const char* parent : {"/dev/shm", "/tmp"}) {
        if (access(parent, W_OK) != 0) continue;
        std::string folder = std::string(parent) + "/velmora_fuzz_XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) continue;
        fuzz_scratch_made() = folder;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(fuzz_scratch_made(), ignored);
        });
        return folder;
    }
    std::abort();
}
