// PBM, PGM and PPM, plain (P1 to P3) and raw (P4 to P6): a header of
// decimal numbers, comments allowed, then the pixels top row first. In PBM
// a 1 is black.
#include "picture.h"

struct netpbm_header {
    int format; // 1 to 6, as in P1 to P6
    std::uint32_t width, height, max;
};

static const char *const kinds[] = {"PBM", "PGM", "PPM"};

static bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
static bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Gives the first byte from `c` on that is neither white space nor in a
// comment.
static int skip_space(lookahead &in, int c)
{
    for (;;) {
        if (c == '#')
            while (c != '\n' && c != '\r' && c != EOF)
                c = next_byte(in);
        else if (!is_space(c))
            return c;
        c = next_byte(in);
    }
}

// A decimal number from `c` on, after white space and comments; `c` is then
// the byte after it. Numbers past 7 digits are no netpbm file's.
static bool number(lookahead &in, int &c, std::uint32_t &v)
{
    c = skip_space(in, c);
    if (!is_digit(c))
        return false;
    v = 0;
    for (int digits = 0; is_digit(c); digits++) {
        if (digits == 7)
            return false;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
        c = next_byte(in);
    }
    return true;
}

// Reads the header up to the one white space byte that ends it; false if
// it is malformed or ends early, with `c` then EOF.
static bool read_header(lookahead &in, netpbm_header &h, int &c)
{
    c = next_byte(in);
    int format = next_byte(in);
    if (c != 'P' || format < '1' || format > '6')
        return false;
    h.format = format - '0';
    h.max = 1;
    c = next_byte(in);
    if (!is_space(c) && c != '#')
        return false;
    if (!number(in, c, h.width) || !number(in, c, h.height))
        return false;
    if (h.format != 1 && h.format != 4 && !number(in, c, h.max))
        return false;
    return is_space(c);
}

// A netpbm picture is told by a whole header, not by its first two bytes,
// which many a raw font could begin with. A header longer than the look-
// ahead, which a long comment makes, counts if nothing in it is amiss.
const char *netpbm_kind(const lookahead &ahead)
{
    if (ahead.length < 2 || ahead.start[0] != 'P' || ahead.start[1] < '1' || ahead.start[1] > '6')
        return nullptr;
    lookahead probe = ahead;
    probe.position = 0;
    probe.ended = true; // nothing past the look-ahead is read
    netpbm_header h;
    int c = 0;
    if (read_header(probe, h, c) || (c == EOF && ahead.length == LOOKAHEAD_BYTES))
        return kinds[(ahead.start[1] - '1') % 3];
    return nullptr;
}

static int refuse(char why[REASON_SIZE], const netpbm_header &h, const char *what)
{
    (void)snprintf(why, REASON_SIZE, "a damaged %s: %s", kinds[(h.format - 1) % 3], what);
    return 1;
}

static int too_large(char why[REASON_SIZE], const netpbm_header &h, std::uint32_t v)
{
    (void)snprintf(why, REASON_SIZE, "a damaged %s: a sample of %lu above its maximum of %lu",
                   kinds[(h.format - 1) % 3], static_cast<unsigned long>(v), static_cast<unsigned long>(h.max));
    return 1;
}

static const char ends_early[] = "it ends before its last pixel";

// One sample written out as digits; for PBM a single digit, without need
// of space before the next. `c` is the byte after the last sample.
static int plain_sample(lookahead &in, const netpbm_header &h, int &c, std::uint32_t &s, char why[REASON_SIZE])
{
    if (h.format == 1) {
        c = skip_space(in, c);
        if (c != '0' && c != '1')
            return refuse(why, h, c == EOF ? ends_early : "a pixel that is neither 0 nor 1");
        s = c == '0' ? 1 : 0; // 1 is black
        c = next_byte(in);
        return 0;
    }
    if (!number(in, c, s))
        return refuse(why, h, c == EOF ? ends_early : "a sample that is not a number");
    return s > h.max ? too_large(why, h, s) : 0;
}

// Inks a pixel of one sample (grey) or three (red, green, blue).
static void ink_samples(ink &k, size_t x, size_t y, const std::uint32_t s[3], size_t channels, std::uint32_t max)
{
    unsigned grey = to_8_bits(s[0], max);
    if (channels == 1)
        ink_dark(k, x, y, grey, grey, grey);
    else
        ink_dark(k, x, y, grey, to_8_bits(s[1], max), to_8_bits(s[2], max));
}

static int read_plain(lookahead &in, const netpbm_header &h, int c, ink &k, char why[REASON_SIZE])
{
    size_t channels = h.format == 3 ? 3 : 1;
    for (size_t y = 0; y < PICTURE_HEIGHT; y++)
        for (size_t x = 0; x < PICTURE_WIDTH; x++) {
            std::uint32_t s[3] = {0, 0, 0};
            for (size_t i = 0; i < channels; i++)
                if (plain_sample(in, h, c, s[i], why) != 0)
                    return 1;
            ink_samples(k, x, y, s, channels, h.max);
        }
    return 0;
}

// Samples as bytes, big-endian pairs where the maximum is past 255; bits
// eight to a byte, the leftmost pixel in the top bit.
static int read_raw(lookahead &in, const netpbm_header &h, ink &k, char why[REASON_SIZE])
{
    size_t channels = h.format == 6 ? 3 : 1, wide = h.max > 255 ? 2 : 1;
    size_t stride = h.format == 4 ? PICTURE_WIDTH / 8 : PICTURE_WIDTH * channels * wide;
    unsigned char row[PICTURE_WIDTH * 3 * 2];
    for (size_t y = 0; y < PICTURE_HEIGHT; y++) {
        if (next_bytes(in, row, stride) != stride)
            return refuse(why, h, ends_early);
        for (size_t x = 0; x < PICTURE_WIDTH; x++) {
            std::uint32_t s[3] = {0, 0, 0};
            for (size_t i = 0; i < channels; i++) {
                const unsigned char *p = row + (x * channels + i) * wide;
                if (h.format == 4)
                    s[i] = (row[x / 8] >> (7 - x % 8) & 1U) ^ 1U;
                else
                    s[i] = wide == 2 ? static_cast<std::uint32_t>(p[0]) << 8 | p[1] : p[0];
                if (s[i] > h.max)
                    return too_large(why, h, s[i]);
            }
            ink_samples(k, x, y, s, channels, h.max);
        }
    }
    return 0;
}

int read_netpbm(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE])
{
    netpbm_header h = {ahead.start[1] - '0', 0, 0, 1};
    int c = 0;
    if (!read_header(ahead, h, c))
        return refuse(why, h, c == EOF ? "it ends inside its header" : "its header is malformed");
    if (h.max < 1 || h.max > 65535) {
        (void)snprintf(why, REASON_SIZE, "a damaged %s: its maximum sample value, %lu, is not 1 to 65535",
                       kinds[(h.format - 1) % 3], static_cast<unsigned long>(h.max));
        return 1;
    }
    if (h.width != PICTURE_WIDTH || h.height != PICTURE_HEIGHT)
        return refuse_size(why, h.width, h.height);
    static ink k;
    start_ink(k);
    if ((h.format <= 3 ? read_plain(ahead, h, c, k, why) : read_raw(ahead, h, k, why)) != 0)
        return 1;
    finish_ink(k, false, sheet);
    return 0;
}
