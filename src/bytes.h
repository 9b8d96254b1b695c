// Bytes as the formats store numbers and bits, and a fast compare of runs
// of bytes, for every format's reader and writer.
#ifndef GLYPHRIP_BYTES_H
#define GLYPHRIP_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

inline std::uint32_t le16(const unsigned char *p) { return p[0] | static_cast<std::uint32_t>(p[1]) << 8; }
inline std::uint32_t le32(const unsigned char *p) { return le16(p) | le16(p + 2) << 16; }
inline std::uint32_t be32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// Mirrors the bit order of a byte; EOF (-1) gives 0xFF, which is how bytes
// missing from a short one-bit sheet come out.
constexpr int reverse_bits(int v)
{
    v = ((v & 0x55) << 1) | ((v & 0xAA) >> 1);
    v = ((v & 0x33) << 2) | ((v & 0xCC) >> 2);
    return ((v << 4) | (v >> 4)) & 0xFF;
}

// Whether the `n` bytes from `a`, 8 or more, are those from `b`, a word at
// a time, the last word over the one before where `n` is no multiple of 8.
[[gnu::always_inline]] inline bool same_bytes(const unsigned char *a, const unsigned char *b, size_t n)
{
    std::uint64_t differ = 0;
    for (size_t i = 0; i < n; i += 8) {
        size_t at = i < n - 8 ? i : n - 8;
        std::uint64_t x, y;
        memcpy(&x, a + at, 8);
        memcpy(&y, b + at, 8);
        differ |= x ^ y;
    }
    return differ == 0;
}

#endif
