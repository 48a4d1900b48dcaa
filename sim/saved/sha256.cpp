#include "sim/saved/sha256.h"

namespace {

constexpr uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t rotateRight(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

// Folds one 64-byte block into the state.
void compress(uint32_t state[8], const uint8_t block[64])
{
    uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = uint32_t(block[4 * t]) << 24 | uint32_t(block[4 * t + 1]) << 16 | uint32_t(block[4 * t + 2]) << 8 |
               uint32_t(block[4 * t + 3]);
    for (int t = 16; t < 64; ++t) {
        const uint32_t s0 = rotateRight(w[t - 15], 7) ^ rotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const uint32_t s1 = rotateRight(w[t - 2], 17) ^ rotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5], g = state[6],
             h = state[7];
    for (int t = 0; t < 64; ++t) {
        const uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
        const uint32_t choice = (e & f) ^ (~e & g);
        const uint32_t first = h + s1 + choice + roundConstants[t] + w[t];
        const uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
        const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        h = g;
        g = f;
        f = e;
        e = d + first;
        d = c;
        c = b;
        b = a;
        a = first + s0 + majority;
    }
    const uint32_t worked[8] = {a, b, c, d, e, f, g, h};
    for (int k = 0; k < 8; ++k)
        state[k] += worked[k];
}

}  // namespace

std::array<uint8_t, 32> sha256(std::string_view bytes)
{
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint64_t length = bytes.size();
    uint64_t done = 0;
    for (; length - done >= 64; done += 64)
        compress(state, data + done);
    // The rest, a 1 bit, zeros, and the length in bits: one block or two.
    uint8_t tail[128] = {};
    const uint64_t rest = length - done;
    for (uint64_t k = 0; k < rest; ++k)
        tail[k] = data[done + k];
    tail[rest] = 0x80;
    const uint64_t tailLength = rest < 56 ? 64 : 128;
    const uint64_t bits = length * 8;
    for (int k = 0; k < 8; ++k)
        tail[tailLength - 1 - k] = uint8_t(bits >> (8 * k));
    for (uint64_t block = 0; block < tailLength; block += 64)
        compress(state, tail + block);
    std::array<uint8_t, 32> digest;
    for (int k = 0; k < 8; ++k)
        for (int b = 0; b < 4; ++b)
            digest[size_t(4 * k + b)] = uint8_t(state[k] >> (24 - 8 * b));
    return digest;
}
