#include "base/sha256.h"

#include <algorithm>
#include <cstring>

namespace {

// The first 32 bits of the fractions of the cube roots of the first 64 primes, and
// of the square roots of the first 8: the standard's constants.
constexpr std::uint32_t rounds[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be,
    0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa,
    0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85,
    0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3,
    0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f,
    0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
constexpr std::uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline std::uint32_t rotate(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void compress(std::uint32_t* state, const unsigned char* block)
{
    std::uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = (std::uint32_t{block[4 * t]} << 24) | (std::uint32_t{block[4 * t + 1]} << 16) | (std::uint32_t{block[4 * t + 2]} << 8) |
               block[4 * t + 3];
    for (int t = 16; t < 64; ++t) {
        const std::uint32_t s0 = rotate(w[t - 15], 7) ^ rotate(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const std::uint32_t s1 = rotate(w[t - 2], 17) ^ rotate(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
        const std::uint32_t t1 = h + (rotate(e, 6) ^ rotate(e, 11) ^ rotate(e, 25)) + ((e & f) ^ (~e & g)) + rounds[t] + w[t];
        const std::uint32_t t2 = (rotate(a, 2) ^ rotate(a, 13) ^ rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d, state[4] += e, state[5] += f, state[6] += g, state[7] += h;
}

}  // namespace

void sha256_start(sha256_type& hash)
{
    std::memcpy(hash.state, initial, sizeof initial);
    hash.length = 0;
    hash.used = 0;
}

void sha256_add(sha256_type& hash, const void* bytes, std::size_t count)
{
    const unsigned char* at = static_cast<const unsigned char*>(bytes);
    hash.length += count;
    while (count > 0) {
        const std::size_t take = std::min<std::size_t>(count, 64 - hash.used);
        std::memcpy(hash.block + hash.used, at, take);
        hash.used += take;
        at += take;
        count -= take;
        if (hash.used == 64) {
            compress(hash.state, hash.block);
            hash.used = 0;
        }
    }
}

std::string sha256_hex(sha256_type& hash)
{
    // A one bit, zeros, and the length in bits, big-endian, to a whole block.
    const std::uint64_t bits = hash.length * 8;
    const unsigned char one = 0x80, zero = 0;
    sha256_add(hash, &one, 1);
    while (hash.used != 56) sha256_add(hash, &zero, 1);
    unsigned char length[8];
    for (int k = 0; k < 8; ++k) length[k] = static_cast<unsigned char>(bits >> (56 - 8 * k));
    sha256_add(hash, length, 8);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : hash.state)
        for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(word >> shift) & 15];
    return hex;
}

std::string sha256_of(const void* bytes, std::size_t count)
{
    sha256_type hash;
    sha256_start(hash);
    sha256_add(hash, bytes, count);
    return sha256_hex(hash);
}
