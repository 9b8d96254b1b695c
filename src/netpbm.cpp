// PBM, PGM and PPM, plain (P1 to P3) and raw (P4 to P6), and PAM (P7): a
// header of decimal numbers, or for PAM of keywords and numbers, comments
// allowed, then the pixels top row first. A PBM keeps its bits, its 1
// black; the others go by how their pixels look.
#include <cstdio>
#include <cstring>

#include "kinds.h"
#include "picture.h"

struct netpbm_header {
    int format; // 1 to 7, as in P1 to P7
    std::uint32_t width, height, depth, max;
};

static const char *const kinds[] = {"PBM", "PGM", "PPM", "PBM", "PGM", "PPM", "PAM"};

static bool is_pbm(const netpbm_header &h) { return h.format == 1 || h.format == 4; }

static constexpr bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
static bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Gives the byte after the comment that `c` starts, with the line end that
// ends it. As netpbm reads them, a carriage return ends a comment in PBM,
// PGM and PPM, and is part of one in PAM, whose header is lines.
static int skip_comment(input &in, int c, bool pam)
{
    while (c != '\n' && (c != '\r' || pam) && c != EOF)
        c = next_byte(in);
    return c == EOF ? EOF : next_byte(in);
}

// Gives the first byte from `c` on that is neither white space nor in a
// comment.
static int skip_space(input &in, int c, bool pam = false)
{
    for (;;) {
        if (c == '#')
            c = skip_comment(in, c, pam);
        else if (is_space(c))
            c = next_byte(in);
        else
            return c;
    }
}

// A decimal number from `c` on, after white space and comments; `c` is then
// the byte after it, which may begin a comment. Leading zeros are allowed;
// a number past 7 digits is no netpbm file's.
static bool number(input &in, int &c, std::uint32_t &v, bool pam = false)
{
    c = skip_space(in, c, pam);
    if (!is_digit(c))
        return false;
    v = 0;
    for (; is_digit(c); c = next_byte(in)) {
        if (v > 999999)
            return false;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return true;
}

// The one white space byte that ends a header. A comment may come first,
// right after the last number, and ends with its newline; as the netpbm
// pages have it, that newline is the comment's, so before a raw raster a
// white space byte must still follow. Plain samples are numbers set apart,
// which the comment's newline does.
static bool header_end(input &in, const netpbm_header &h, int &c)
{
    bool comment = c == '#';
    while (c == '#')
        c = skip_comment(in, c, false);
    return is_space(c) || (h.format <= 3 && comment && c != EOF);
}

// PAM's keywords and their values, up to ENDHDR and its newline. The tuple
// type is not needed, and not read: DEPTH says what the samples are, and
// some writers name a type their samples are not.
static bool read_pam_header(input &in, netpbm_header &h, int &c)
{
    static const char *const fields[] = {"WIDTH", "HEIGHT", "DEPTH", "MAXVAL"};
    std::uint32_t *values[] = {&h.width, &h.height, &h.depth, &h.max};
    unsigned seen = 0;
    for (;;) {
        char word[9] = "";
        size_t n = 0;
        for (c = skip_space(in, c, true); n < 8 && ((c >= 'A' && c <= 'Z') || c == '_'); c = next_byte(in))
            word[n++] = static_cast<char>(c);
        if (strcmp(word, "ENDHDR") == 0)
            return c == '\n' && seen == 15;
        if (strcmp(word, "TUPLTYPE") == 0) {
            while (c != '\n' && c != EOF)
                c = next_byte(in);
            continue;
        }
        size_t i = 0;
        while (i < 4 && strcmp(word, fields[i]) != 0)
            i++;
        if (i == 4 || !number(in, c, *values[i], true))
            return false;
        seen |= 1U << i;
    }
}

// Reads the header up to the one white space byte that ends it; false if
// it is malformed or ends early, with `c` then EOF.
static bool read_header(input &in, netpbm_header &h, int &c)
{
    c = next_byte(in);
    int format = next_byte(in);
    if (c != 'P' || format < '1' || format > '7')
        return false;
    h.format = format - '0';
    h.depth = h.format == 3 || h.format == 6 ? 3 : 1;
    h.max = 1;
    c = next_byte(in);
    if (!is_space(c) && c != '#')
        return false;
    if (h.format == 7)
        return read_pam_header(in, h, c);
    if (!number(in, c, h.width) || !number(in, c, h.height))
        return false;
    if (!is_pbm(h) && !number(in, c, h.max))
        return false;
    return header_end(in, h, c);
}

// A header longer than the bytes looked at, which a long comment makes,
// counts if nothing in it is amiss.
bool is_whole_netpbm_header(const unsigned char *start, size_t length, bool more_follows)
{
    static input probe;
    open_memory(probe, start, length);
    netpbm_header h;
    int c = 0;
    return read_header(probe, h, c) || (c == EOF && more_follows);
}

static int damaged(char why[REASON_SIZE], const netpbm_header &h, const char *what)
{
    return refuse(why, "a damaged %s: %s", kinds[h.format - 1], what);
}

static int too_large(char why[REASON_SIZE], const netpbm_header &h, std::uint32_t v)
{
    return refuse(why, "a damaged %s: a sample of %lu above its maximum of %lu", kinds[h.format - 1],
                  static_cast<unsigned long>(v), static_cast<unsigned long>(h.max));
}

static const char ends_early[] = "it ends before its last pixel";

// Moves to the next byte that is neither white space nor in a comment;
// false at the end of the input. The bytes at hand end in a 0 byte, which
// is neither white space nor a digit, so the loops over them stop there
// without counting; only there may more be needed.
static bool skip_text_space(input &in)
{
    for (;;) {
        while (is_space(*in.at))
            in.at++;
        if (in.at == in.end) {
            if (!refill(in, 1))
                return false;
        } else if (*in.at == '#') {
            while (*in.at != '\n' && *in.at != '\r')
                if (in.at < in.end)
                    in.at++;
                else if (!refill(in, 1))
                    return false;
        } else {
            return true;
        }
    }
}

// One sample written out as digits; for PBM a single digit, without need
// of space before the next, 1 for a 1.
static int plain_sample(input &in, const netpbm_header &h, std::uint32_t &s, char why[REASON_SIZE])
{
    if (!skip_text_space(in))
        return damaged(why, h, ends_early);
    if (h.format == 1) {
        if (*in.at != '0' && *in.at != '1')
            return damaged(why, h, "a pixel that is neither 0 nor 1");
        s = *in.at++ == '1' ? 1 : 0;
        return 0;
    }
    if (!is_digit(*in.at))
        return damaged(why, h, "a sample that is not a number");
    s = 0;
    do {
        for (; is_digit(*in.at); in.at++) {
            if (s > 999999) // past 7 digits, leading zeros aside
                return damaged(why, h, "a sample that is not a number");
            s = s * 10 + static_cast<std::uint32_t>(*in.at - '0');
        }
    } while (in.at == in.end && refill(in, 1));
    return s > h.max ? too_large(why, h, s) : 0;
}

// Words of 8 bytes a drawing's plain samples mostly make, so that most
// samples are told a word at a time: 0s, and samples of the maximum, each
// followed by a space, as many as fit, and which samples those are.
struct common_words {
    std::uint64_t zeros, maxes, mask; // `mask` keeps the bytes of `maxes`
    size_t max_count, max_bytes;      // four 0s to a word
    std::uint64_t one, one_mask;      // the maximum's digits alone
    size_t digits;
    unsigned char zero_sample, max_sample;
};

// White space, by byte.
struct space_table {
    bool of[256];
};
static constexpr space_table spaces_of()
{
    space_table t{};
    for (int c = 0; c < 256; c++)
        t.of[c] = is_space(c);
    return t;
}
static constexpr space_table spaces = spaces_of();

// A PBM's samples are kept as its bits, 0 and 1; the others' as 8 bits.
static void words_of(const netpbm_header &h, common_words &w)
{
    char digits[16];
    int length = snprintf(digits, sizeof digits, "%lu ", static_cast<unsigned long>(h.max));
    unsigned char text[8] = {0}, kept[8] = {0};
    w.max_count = 8 / static_cast<size_t>(length);
    w.max_bytes = w.max_count * static_cast<size_t>(length);
    for (size_t i = 0; i < w.max_bytes; i++) {
        text[i] = static_cast<unsigned char>(digits[i % static_cast<size_t>(length)]);
        kept[i] = 0xFF;
    }
    memcpy(&w.maxes, text, 8);
    memcpy(&w.mask, kept, 8);
    w.digits = static_cast<size_t>(length) - 1;
    unsigned char digit_ones[8] = {0};
    memset(digit_ones, 0xFF, w.digits);
    memcpy(&w.one_mask, digit_ones, 8);
    w.one = w.maxes & w.one_mask;
    memcpy(&w.zeros, "0 0 0 0 ", 8);
    w.zero_sample = 0;
    w.max_sample = static_cast<unsigned char>(is_pbm(h) ? 1 : to_8_bits(h.max, h.max));
}

// One plain sample, read the plain way, as 8 bits or a PBM's bit, and the
// space after it, so that a word may start at the next.
static int next_plain_sample(input &in, const netpbm_header &h, unsigned char &eight, char why[REASON_SIZE])
{
    std::uint32_t sample = 0;
    if (plain_sample(in, h, sample, why) != 0)
        return 1;
    eight = static_cast<unsigned char>(is_pbm(h) ? sample : to_8_bits(sample, h.max));
    in.at += is_space(*in.at) ? 1 : 0;
    return 0;
}

// Plain samples as 8 bits, or a PBM's as bits, into `eight` from sample i
// on until it holds `all`, read a word at a time where they are the common
// 0 and maximum. Where more samples follow, a word may run up to 7 past
// `all` (`eight` has room for them), and i ends past it; the last samples
// of all are read one at a time, so that nothing past them is taken.
static int read_plain(input &in, const netpbm_header &h, const common_words &w, unsigned char *eight, size_t &i,
                      size_t all, bool more_follow, char why[REASON_SIZE])
{
    while (i < all) {
        // Words while they come, in locals, which the stores of bytes
        // cannot be taken to change.
        const std::uint64_t zeros = w.zeros, maxes = w.maxes, mask = w.mask, one = w.one, one_mask = w.one_mask;
        const size_t max_count = w.max_count, max_bytes = w.max_bytes, digits = w.digits;
        const unsigned char zero_sample = w.zero_sample, max_sample = w.max_sample;
        // A word needs 8 bytes at hand, and room for 8 samples, which
        // stores a word's as 8 and writes those past it over after: the
        // last place a word may start, and the last sample, where there
        // is room for one.
        const unsigned char *p = in.at;
        const bool words = in.end - p >= 8 && (more_follow || all >= 8);
        const unsigned char *last = words ? in.end - 8 : p;
        const size_t room = all - (more_follow ? 1 : 8); // looked at only where words come
        while (words && p <= last && i <= room) {
            std::uint64_t word = 0;
            memcpy(&word, p, 8);
            if ((word & mask) == maxes) {
                memset(eight + i, max_sample, 8);
                i += max_count;
                p += max_bytes;
            } else if (word == zeros) {
                memset(eight + i, zero_sample, 8);
                i += 4;
                p += 8;
            } else if (p[0] == '0' && spaces.of[p[1]]) { // one of each, before any white space
                eight[i++] = zero_sample;
                p += 2;
            } else if ((word & one_mask) == one && spaces.of[p[digits]]) {
                eight[i++] = max_sample;
                p += digits + 1;
            } else if (spaces.of[p[0]]) {
                p++;
            } else {
                break;
            }
        }
        in.at = p;
        if (i < all && next_plain_sample(in, h, eight[i++], why) != 0)
            return 1;
    }
    return 0;
}

// Refuses the first sample of a row of `n` past the maximum.
static int refuse_sample(const unsigned char *row, size_t n, const netpbm_header &h, char why[REASON_SIZE])
{
    std::uint32_t v = 0;
    for (size_t i = 0; i < n && v <= h.max; i++)
        v = h.max <= 255 ? row[i] : static_cast<std::uint32_t>(row[2 * i]) << 8 | row[2 * i + 1];
    return too_large(why, h, v);
}

// A row of raw 8-bit samples of a maximum below 255 as 8 bits; false if
// one is past the maximum.
static bool to_8_bit_row(const unsigned char *row, unsigned char *eight, size_t n, const netpbm_header &h)
{
    static std::uint32_t max = 0;
    static unsigned short scaled[256]; // 256 for a sample past the maximum
    if (max != h.max) {
        max = h.max;
        for (unsigned v = 0; v < 256; v++)
            scaled[v] = static_cast<unsigned short>(v <= max ? to_8_bits(v, max) : 256);
    }
    unsigned past = 0;
    for (size_t i = 0; i < n; i++) {
        past |= scaled[row[i]];
        eight[i] = static_cast<unsigned char>(scaled[row[i]]);
    }
    return (past & 256) == 0;
}

// A pixel of 16-bit samples of a maximum other than 65535, `depth`
// samples, as 8-bit red, green, blue and alpha, through `eights`, the 8
// bits of every sample, 256 past the maximum; `past` gets that bit where a
// sample is past it.
[[gnu::always_inline]] static inline void wide_rgba(const unsigned char *p, size_t depth, const unsigned short *eights,
                                                    unsigned &past, unsigned rgba[4])
{
    unsigned v[4] = {0, 0, 0, 255};
    for (size_t c = 0; c < depth; c++) {
        std::uint16_t big_endian;
        memcpy(&big_endian, p + 2 * c, 2);
        v[c] = eights[static_cast<std::uint16_t>(big_endian << 8 | big_endian >> 8)];
        past |= v[c];
    }
    bool colour = depth >= 3;
    rgba[0] = v[0];
    rgba[1] = colour ? v[1] : v[0];
    rgba[2] = colour ? v[2] : v[0];
    rgba[3] = depth == 2 ? v[1] : v[3];
}

// Such a pixel's ink, and with `grey` its grey level.
template <bool grey>
[[gnu::always_inline]] static inline std::uint32_t
wide_ink(const unsigned char *p, size_t depth, const unsigned short *eights, unsigned &past, unsigned char &level)
{
    unsigned v[4];
    wide_rgba(p, depth, eights, past, v);
    if (grey)
        level = grey_of(v[0], v[1], v[2]);
    return ink_of(v[0], v[1], v[2], v[3]);
}

// The inks of a row's whole eights of such pixels, and with `grey` their
// grey levels, eight pixels of one colour, as most of a drawing's are,
// worked out once. Copied for each depth, so that the samples' offsets
// are constants.
template <bool grey>
[[gnu::always_inline]] static inline void wide_inks(const unsigned char *row, size_t width, size_t depth,
                                                    const unsigned short *eights, std::uint32_t *inks,
                                                    unsigned char *greys, unsigned &past)
{
    const size_t step = 2 * depth;
    unsigned char level = 0;
    for (size_t x = 0; x + 8 <= width; x += 8, row += 8 * step) {
        if (same_bytes(row, row + step, 7 * step)) {
            std::uint32_t w = wide_ink<grey>(row, depth, eights, past, level);
            for (size_t i = 0; i < 8; i++)
                inks[x + i] = w;
            if (grey)
                memset(greys + x, level, 8);
            continue;
        }
        for (size_t i = 0; i < 8; i++) {
            inks[x + i] = wide_ink<grey>(row + i * step, depth, eights, past, level);
            greys[x + i] = level;
        }
    }
}

template <bool grey>
static void wide_row(const unsigned char *row, size_t width, size_t depth, const unsigned short *eights,
                     std::uint32_t *inks, unsigned char *greys, unsigned &past)
{
    switch (depth) {
    case 1: wide_inks<grey>(row, width, 1, eights, inks, greys, past); break;
    case 2: wide_inks<grey>(row, width, 2, eights, inks, greys, past); break;
    case 3: wide_inks<grey>(row, width, 3, eights, inks, greys, past); break;
    default: wide_inks<grey>(row, width, 4, eights, inks, greys, past); break;
    }
}

// Inks a row of 16-bit samples of a maximum other than 65535; false if
// one is past the maximum. The pixels past the whole eights, and every
// pixel where a colour is told, go by their colours.
static bool ink_wide_row(ink &k, size_t y, const unsigned char *row, const netpbm_header &h)
{
    static std::uint32_t max = 0;
    static unsigned short eights[65536];
    static std::uint32_t inks[MOST_SIDE];
    static unsigned char greys[MOST_SIDE], rgba[4 * MOST_SIDE];
    if (max != h.max) {
        max = h.max;
        for (std::uint32_t v = 0; v <= max; v++)
            eights[v] = static_cast<unsigned short>(to_8_bits(v, max));
        for (std::uint32_t v = max + 1; v < 65536; v++)
            eights[v] = 256;
    }
    unsigned past = 0;
    if (k.keep_grey)
        wide_row<true>(row, k.width, h.depth, eights, inks, greys, past);
    else
        wide_row<false>(row, k.width, h.depth, eights, inks, greys, past);
    for (size_t x = plain_way(k) ? 0 : size_t{k.width} / 8 * 8; x < k.width; x++) {
        unsigned v[4];
        wide_rgba(row + size_t{2} * h.depth * x, h.depth, eights, past, v);
        for (size_t c = 0; c < 4; c++)
            rgba[4 * x + c] = static_cast<unsigned char>(v[c]);
    }
    if ((past & 256) != 0)
        return false;
    ink_pixels(k, y, inks, greys, rgba);
    return true;
}

// How the samples of each depth stand in a row: grey, grey and alpha, red,
// green and blue, those and alpha.
static const sample_places places[4] = {
    {1, 0, 0, 0, 0, false}, {2, 0, 0, 0, 1, true}, {3, 0, 1, 2, 0, false}, {4, 0, 1, 2, 3, true}};
static const sample_places deep_places[4] = {
    {2, 0, 0, 0, 0, false}, {4, 0, 0, 0, 2, true}, {6, 0, 2, 4, 0, false}, {8, 0, 2, 4, 6, true}};

// Inks a row of raw samples: bytes, or big-endian pairs where the maximum
// is past 255.
static int ink_samples(ink &k, size_t y, const unsigned char *row, const netpbm_header &h, const value_colours &greys,
                       char why[REASON_SIZE])
{
    static unsigned char eight[MOST_SIDE * 4];
    const sample_places &l = places[h.depth - 1];
    size_t samples = size_t{h.width} * h.depth;
    unsigned bad = 0;
    if (h.max == 255 && h.depth > 1) {
        ink_colours(k, y, row, l);
    } else if (h.max == 65535) {
        ink_deep_colours(k, y, row, deep_places[h.depth - 1]);
    } else if (h.max > 255) {
        if (!ink_wide_row(k, y, row, h))
            return refuse_sample(row, samples, h, why);
    } else if (h.depth == 1) {
        if (ink_values(k, y, row, greys, bad) != 0)
            return too_large(why, h, bad);
    } else {
        if (!to_8_bit_row(row, eight, samples, h))
            return refuse_sample(row, samples, h, why);
        ink_colours(k, y, eight, l);
    }
    return 0;
}

// A PBM's row, bits leftmost first, into the planes by value.
static void put_bits(ink &k, size_t y, const unsigned char *row)
{
    for (size_t col = 0; col < (size_t{k.width} + 7) / 8; col++)
        k.dark[y * k.row_bytes + col] = static_cast<unsigned char>(reverse_bits(row[col]));
}

// Raw rows, each inked where it stands in the input. A PBM's are its
// bits, eight to a byte, the leftmost pixel in the top bit.
static int read_raw(input &in, const netpbm_header &h, ink &k, char why[REASON_SIZE])
{
    static value_colours greys;
    size_t stride = size_t{h.width} * h.depth * (h.max > 255 ? 2 : 1);
    if (h.format == 4)
        stride = (size_t{h.width} + 7) / 8;
    if (h.max <= 255 && h.format != 4) // a PBM's bits go into the planes as they are
        set_greys(greys, h.max);
    for (size_t y = 0; y < h.height; y++) {
        const unsigned char *row = take(in, stride);
        if (row == nullptr)
            return damaged(why, h, ends_early);
        if (h.format == 4)
            put_bits(k, y, row);
        else if (ink_samples(k, y, row, h, greys, why) != 0)
            return 1;
    }
    return 0;
}

// Plain rows, read a row's samples at a time as 8 bits, a PBM's as its
// bits, into the planes by value for a PBM, and inked for the others.
static int read_plains(input &in, const netpbm_header &h, ink &k, char why[REASON_SIZE])
{
    static common_words w;
    static unsigned char eight[MOST_SIDE * 4 + 8];
    words_of(h, w);
    size_t row_samples = size_t{h.width} * h.depth, got = 0;
    for (size_t y = 0; y < h.height; y++) {
        // The samples read past the last row's end begin this one's.
        memmove(eight, eight + row_samples, got > row_samples ? got - row_samples : 0);
        got = got > row_samples ? got - row_samples : 0;
        if (read_plain(in, h, w, eight, got, row_samples, y + 1 < h.height, why) != 0)
            return 1;
        if (!is_pbm(h)) { // as 8 bits, none past the maximum
            ink_colours(k, y, eight, places[h.depth - 1]);
            continue;
        }
        unsigned char *row = k.dark + y * k.row_bytes;
        memset(row, 0, k.row_bytes);
        for (size_t x = 0; x < h.width; x++)
            row[x / 8] = static_cast<unsigned char>(row[x / 8] | eight[x] << (x % 8));
    }
    return 0;
}

// Says why the header's values cannot be read, if they cannot, and fits
// the layout told to the picture's size: 0, or 1 with `why` filled in.
static int refuse_values(const netpbm_header &h, const told &t, ink &k, char why[REASON_SIZE])
{
    unsigned long max = h.max, depth = h.depth;
    if (h.max < 1 || h.max > 65535)
        return refuse(why, "a damaged %s: its maximum sample value, %lu, is not 1 to 65535", kinds[h.format - 1], max);
    if (h.depth < 1 || h.depth > 4)
        return refuse(why, "a PAM picture of depth %lu; save the sheet as PNG or BMP", depth);
    return fit_ink(k, t, h.width, h.height, why);
}

int read_netpbm(input &in, const told &t, ink &k, char why[REASON_SIZE])
{
    static const unsigned char white_black[2][4] = {{255, 255, 255, 255}, {0, 0, 0, 255}};
    netpbm_header h = {in.at[1] - '0', 0, 0, 1, 1};
    int c = 0;
    if (!read_header(in, h, c))
        return damaged(why, h, c == EOF ? "it ends inside its header" : "its header is malformed");
    if (refuse_values(h, t, k, why) != 0)
        return 1;
    start_ink(k, false);
    k.by_value = is_pbm(h); // a PBM's 1 is black
    memcpy(k.bit_colours, white_black, sizeof white_black);
    if (h.format > 3)
        return read_raw(in, h, k, why);
    // The byte after the header is the samples' first, or white space
    // before them: it goes back, for the text to be read whole. It was the
    // last byte taken, so it stands right before the next.
    if (c != EOF)
        in.at--;
    return read_plains(in, h, k, why);
}

// The sheet as raw PBM, PGM or PPM: black ink on white paper, so a 1 bit
// is a 1 in PBM and a 0 in the others.
static size_t write_netpbm(const glyph_sheet &sheet, unsigned char *out, int format)
{
    auto n = static_cast<size_t>(snprintf(reinterpret_cast<char *>(out), 64,
                                          format == 4 ? "P%d\n%u %u\n" : "P%d\n%u %u\n255\n", format, sheet.width,
                                          sheet.height));
    size_t samples = format == 6 ? 3 : 1, bytes = size_t{sheet.width} / 8 * sheet.height;
    for (size_t at = 0; at < bytes; at++) {
        if (format == 4) {
            out[n++] = static_cast<unsigned char>(reverse_bits(sheet.bits[at]));
            continue;
        }
        for (unsigned x = 0; x < 8; x++)
            for (size_t i = 0; i < samples; i++)
                out[n++] = (sheet.bits[at] >> x & 1U) != 0 ? 0 : 255;
    }
    return n;
}

size_t write_pbm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]) { return write_netpbm(sheet, out, 4); }
size_t write_pgm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]) { return write_netpbm(sheet, out, 5); }
size_t write_ppm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]) { return write_netpbm(sheet, out, 6); }
