// The input, read forward: a block at a time from a file or memory, no
// more than asked for from a pipe.
#include <cstring>

#include "input.h"

// Up to `n` bytes from the file or memory; fewer only at its end, or where
// a read fails.
static size_t read_source(input &in, unsigned char *to, size_t n)
{
    if (in.file == nullptr) {
        size_t got = n < in.memory_left ? n : in.memory_left;
        if (got > 0)
            memcpy(to, in.memory, got);
        in.memory += got;
        in.memory_left -= got;
        return got;
    }
    size_t got = fread(to, 1, n, in.file);
    in.failed = in.failed || (got < n && ferror(in.file) != 0);
    return got;
}

// Puts `got` bytes at hand from the start of the block; the input has
// ended if fewer came than were asked for.
static void at_hand(input &in, size_t got, size_t asked)
{
    in.at = in.block;
    in.end = in.block + got;
    in.block[got] = 0;
    in.ended = in.ended || got < asked;
}

// Where the input has ended within its first block, its length and last
// bytes are those at hand.
static void know_size(input &in)
{
    in.size = in.ended ? static_cast<size_t>(in.end - in.block) : UNKNOWN_SIZE;
    in.last_known = in.ended && in.size >= TAIL_BYTES;
    if (in.last_known)
        memcpy(in.last, in.end - TAIL_BYTES, TAIL_BYTES);
}

int open_input(input &in, FILE *file)
{
    in.file = file;
    in.memory = nullptr;
    in.memory_left = 0;
    in.block_start = 0;
    in.ended = in.failed = false;
    size_t got = read_source(in, in.block, FIRST_BYTES);
    at_hand(in, got, FIRST_BYTES);
    // A pipe cannot seek; moving nowhere tells a file from one. A file's
    // first block is filled at once. Its length is known where it ends
    // within that block, as a raw sheet or a font does.
    in.whole_blocks = !in.ended && fseek(file, 0, SEEK_CUR) == 0;
    if (in.whole_blocks)
        at_hand(in, got + read_source(in, in.block + got, BLOCK_BYTES - got), BLOCK_BYTES);
    know_size(in);
    return in.failed ? -1 : 0;
}

void open_memory(input &in, const unsigned char *bytes, size_t length)
{
    in.file = nullptr;
    in.memory = bytes;
    in.memory_left = length;
    in.block_start = 0;
    in.size = length;
    in.ended = in.failed = false;
    in.whole_blocks = true;
    in.last_known = length >= TAIL_BYTES;
    if (in.last_known)
        memcpy(in.last, bytes + length - TAIL_BYTES, TAIL_BYTES);
    at_hand(in, read_source(in, in.block, BLOCK_BYTES), BLOCK_BYTES);
}

void look_further(input &in)
{
    auto held = static_cast<size_t>(in.end - in.at);
    if (in.ended || held >= LOOK_BYTES || position(in) != 0)
        return;
    at_hand(in, held + read_source(in, in.block + held, LOOK_BYTES - held), LOOK_BYTES);
    know_size(in);
}

// A position in a file of any length, on every platform: `long` is 32 bits
// on Windows.
static bool tell(FILE *file, std::uint64_t &at)
{
#ifdef _WIN32
    long long here = _ftelli64(file);
#else
    off_t here = ftello(file);
#endif
    at = static_cast<std::uint64_t>(here);
    return here >= 0;
}

void look_at_end(input &in)
{
    if (in.file == nullptr || in.size != UNKNOWN_SIZE || !in.whole_blocks)
        return;
    fpos_t here;
    if (fgetpos(in.file, &here) != 0)
        return;
    std::uint64_t size = 0;
    if (fseek(in.file, 0, SEEK_END) == 0 && tell(in.file, size) && size >= TAIL_BYTES &&
        fseek(in.file, -static_cast<long>(TAIL_BYTES), SEEK_END) == 0 &&
        fread(in.last, 1, TAIL_BYTES, in.file) == TAIL_BYTES) {
        in.size = size;
        in.last_known = true;
    }
    // What went wrong here goes wrong again where the bytes are read.
    clearerr(in.file);
    if (fsetpos(in.file, &here) != 0)
        in.failed = true;
}

bool refill(input &in, size_t want)
{
    in.block_start = position(in);
    if (in.ended) {
        at_hand(in, 0, 0);
        return false;
    }
    size_t ask = in.whole_blocks || want > BLOCK_BYTES ? BLOCK_BYTES : want;
    at_hand(in, read_source(in, in.block, ask), ask);
    return in.at < in.end;
}

size_t next_bytes(input &in, unsigned char *to, size_t n)
{
    size_t got = 0;
    while (got < n) {
        if (in.at == in.end && in.whole_blocks && n - got >= BLOCK_BYTES && !in.ended) {
            // What is wanted past a block goes straight where it is wanted.
            size_t want = n - got, more = read_source(in, to + got, want);
            in.block_start = position(in) + more;
            at_hand(in, 0, 0);
            in.ended = more < want;
            got += more;
            continue;
        }
        if (in.at == in.end && !refill(in, n - got))
            break;
        auto held = static_cast<size_t>(in.end - in.at);
        size_t part = held < n - got ? held : n - got;
        memcpy(to + got, in.at, part);
        in.at += part;
        got += part;
    }
    return got;
}

const unsigned char *next_span(input &in, size_t n, size_t &got)
{
    if (in.at == in.end)
        (void)refill(in, n);
    auto held = static_cast<size_t>(in.end - in.at);
    got = held < n ? held : n;
    const unsigned char *span = in.at;
    in.at += got;
    return span;
}

const unsigned char *take_more(input &in, size_t n)
{
    // What is at hand, less than `n`, goes to the front of the block, and
    // the rest of the `n` bytes, from a file a whole block, after it.
    auto held = static_cast<size_t>(in.end - in.at);
    in.block_start = position(in);
    memmove(in.block, in.at, held);
    size_t ask = in.whole_blocks ? (n - held + BLOCK_BYTES - 1) / BLOCK_BYTES * BLOCK_BYTES : n - held;
    size_t got = in.ended ? 0 : read_source(in, in.block + held, ask);
    at_hand(in, held + got, in.ended ? 0 : held + ask);
    if (held + got < n)
        return nullptr;
    in.at += n;
    return in.block;
}

bool skip_bytes(input &in, std::uint64_t n)
{
    while (n > 0) {
        size_t got = 0;
        (void)next_span(in, n < BLOCK_BYTES ? static_cast<size_t>(n) : BLOCK_BYTES, got);
        if (got == 0)
            return false;
        n -= got;
    }
    return true;
}
