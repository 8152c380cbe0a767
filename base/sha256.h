// SHA-256 (FIPS 180-4), for naming the files a run starts from: the same
// digest on every system, with no library to carry to Windows or the browser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct sha256_type {
    std::uint32_t state[8];
    std::uint64_t length = 0;        // bytes taken so far
    unsigned char block[64];
    std::size_t used = 0;            // bytes of block filled
};

void sha256_start(sha256_type& hash);
void sha256_add(sha256_type& hash, const void* bytes, std::size_t count);
std::string sha256_hex(sha256_type& hash);   // the digest as 64 lower-case hexadecimal digits; the hash is used up
std::string sha256_of(const void* bytes, std::size_t count);
