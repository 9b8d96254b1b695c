// The input, read forward from its first byte, from a file or from bytes
// in memory, and its first and last bytes, which tell what kind of file it
// is.
#ifndef GLYPHRIP_INPUT_H
#define GLYPHRIP_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The first bytes of a file, up to a kilobyte, as far as a sign needs
// (262 bytes for tar, a kilobyte for an SVG past its prologue); its whole
// length where that is known, as it is for a file that ends within its
// first block; otherwise UNKNOWN_SIZE; and its last TAIL_BYTES bytes,
// where those are known, for a TGA's footer, otherwise nullptr.
constexpr std::uint64_t UNKNOWN_SIZE = ~std::uint64_t{0};
constexpr size_t LOOK_BYTES = 1024, TAIL_BYTES = 18;
struct first_bytes {
    const unsigned char *start;
    size_t length;
    std::uint64_t size;
    const unsigned char *tail;
};

// The input, read forward from its first byte through a block of bytes at
// hand. A file, or bytes in memory, is read a block at a time; a pipe or
// terminal, which may wait for bytes the picture does not need, no more
// than is asked for. Its first bytes, enough for the file header and the
// longest BMP information header, tell what kind of file it is.
// A block is read whole, so that the C library reads it straight into
// place; up to TAKE_MOST bytes at hand may stand before it, for `take`:
// a row of 4096 pixels of 16-bit samples, four to a pixel.
constexpr size_t BLOCK_BYTES = 4096, FIRST_BYTES = 14 + 124, TAKE_MOST = size_t{4096} * 8;
struct input {
    FILE *file;                     // nullptr for bytes in memory
    const unsigned char *memory;    // those not yet at hand
    size_t memory_left;             //
    const unsigned char *at, *end;  // the bytes at hand, in `block`
    std::uint64_t block_start;      // where block[0] stands in the input
    std::uint64_t size;             // the whole input's length, where it ends in the first block
    bool ended;                     // nothing more will come
    bool failed;                    // a read failed, with errno set
    bool whole_blocks;              // a file or memory, read ahead freely
    unsigned char last[TAIL_BYTES]; // the input's last bytes, where known
    bool last_known;
    // 8 to spare after the bytes at hand, for a few read as a word and a
    // 0 byte that stops a scan at their end.
    unsigned char block[TAKE_MOST + BLOCK_BYTES + 8];
};
int open_input(input &in, FILE *file); // 0, or -1 with errno set
void open_memory(input &in, const unsigned char *bytes, size_t length);

// The first bytes, while none has been taken.
inline first_bytes first_bytes_of(const input &in)
{
    auto length = static_cast<size_t>(in.end - in.at);
    return {in.at, length < LOOK_BYTES ? length : LOOK_BYTES, in.size, in.last_known ? in.last : nullptr};
}
// While none has been taken: brings up to LOOK_BYTES to hand from a pipe,
// which gives no more than was asked for; and learns the length and last
// bytes of a file longer than its first block, where it can be read at its
// end.
void look_further(input &in);
void look_at_end(input &in);
inline std::uint64_t position(const input &in) { return in.block_start + static_cast<size_t>(in.at - in.block); }

// Brings at least one more byte, and at most `want` from a pipe, to hand;
// false at the end of the input. What was at hand is gone.
bool refill(input &in, size_t want);
// The next byte, or EOF once the input has ended or failed.
inline int next_byte(input &in) { return in.at < in.end || refill(in, 1) ? *in.at++ : EOF; }
// Reads up to `n` bytes into `to`; fewer only where the input ends or fails.
size_t next_bytes(input &in, unsigned char *to, size_t n);
// Reads and drops `n` bytes; false if the input ends first.
bool skip_bytes(input &in, std::uint64_t n);
// Up to `n` of the next bytes where they stand, at least one unless the
// input has ended: gives where, and how many in `got`.
const unsigned char *next_span(input &in, size_t n, size_t &got);
// The next `n` bytes, at most TAKE_MOST, together where they stand;
// nullptr if the input ends first.
const unsigned char *take_more(input &in, size_t n);
inline const unsigned char *take(input &in, size_t n)
{
    if (static_cast<size_t>(in.end - in.at) < n)
        return take_more(in, n);
    const unsigned char *p = in.at;
    in.at += n;
    return p;
}

#endif
