// What the readers of pictures share: reading the input forward and the
// ink rule.
#include <cstring>

#include "picture.h"

int reverse_bits(int v)
{
    v = ((v & 0x55) << 1) | ((v & 0xAA) >> 1);
    v = ((v & 0x33) << 2) | ((v & 0xCC) >> 2);
    return ((v << 4) | (v >> 4)) & 0xFF;
}

int look_ahead(FILE *in, lookahead &ahead)
{
    ahead.file = in;
    ahead.length = fread(ahead.start, 1, sizeof ahead.start, in);
    ahead.position = 0;
    ahead.ended = ahead.length < sizeof ahead.start;
    return ferror(in) ? -1 : 0;
}

// Reading only forward serves a pipe or FIFO as well as a file. Once the
// input has ended or failed, nothing more is read: a terminal or pipe may
// deliver bytes later, but the file ended there.
int next_byte(lookahead &ahead)
{
    if (ahead.position < ahead.length)
        return ahead.start[ahead.position++];
    if (ahead.ended)
        return EOF;
    int c = fgetc(ahead.file);
    ahead.ended = c == EOF;
    if (!ahead.ended)
        ahead.position++;
    return c;
}

size_t next_bytes(lookahead &ahead, unsigned char *to, size_t n)
{
    size_t got = 0;
    if (ahead.position < ahead.length) {
        got = ahead.length - static_cast<size_t>(ahead.position);
        got = got < n ? got : n;
        memcpy(to, ahead.start + ahead.position, got);
        ahead.position += got;
    }
    if (got < n && !ahead.ended) {
        size_t more = fread(to + got, 1, n - got, ahead.file);
        ahead.position += more;
        got += more;
        ahead.ended = got < n;
    }
    return got;
}

bool skip_bytes(lookahead &ahead, std::uint64_t n)
{
    unsigned char drop[512];
    while (n > 0) {
        size_t part = n < sizeof drop ? static_cast<size_t>(n) : sizeof drop;
        if (next_bytes(ahead, drop, part) != part)
            return false;
        n -= part;
    }
    return true;
}

int refuse_size(char why[REASON_SIZE], long long width, long long height)
{
    (void)snprintf(why, REASON_SIZE, "%lld x %lld pixels; a sheet is 64 x 128", width, height);
    return 1;
}

void start_ink(ink &k)
{
    memset(k.dark, 0, sizeof k.dark);
    memset(k.opaque, 0, sizeof k.opaque);
    k.see_through = false;
    k.alpha_anywhere = false;
}

void finish_ink(const ink &k, bool zero_alpha_is_opaque, glyph_sheet sheet)
{
    bool by_alpha = k.see_through && (k.alpha_anywhere || !zero_alpha_is_opaque);
    memcpy(sheet, by_alpha ? k.opaque : k.dark, SHEET_BYTES);
}
