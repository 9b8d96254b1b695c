// PBM, PGM and PPM, plain (P1 to P3) and raw (P4 to P6), and PAM (P7): a
// header of decimal numbers, or for PAM of keywords and numbers, comments
// allowed, then the pixels top row first. In PBM a 1 is black.
#include <cstdio>
#include <cstring>

#include "kinds.h"
#include "picture.h"

struct netpbm_header {
    int format; // 1 to 7, as in P1 to P7
    std::uint32_t width, height, depth, max;
};

static const char *const kinds[] = {"PBM", "PGM", "PPM", "PBM", "PGM", "PPM", "PAM"};

static constexpr bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
static bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Gives the byte after the comment that `c` starts, with the line end that
// ends it. As netpbm reads them, a carriage return ends a comment in PBM,
// PGM and PPM, and is part of one in PAM, whose header is lines.
static int skip_comment(lookahead &in, int c, bool pam)
{
    while (c != '\n' && (c != '\r' || pam) && c != EOF)
        c = next_byte(in);
    return c == EOF ? EOF : next_byte(in);
}

// Gives the first byte from `c` on that is neither white space nor in a
// comment.
static int skip_space(lookahead &in, int c, bool pam = false)
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
static bool number(lookahead &in, int &c, std::uint32_t &v, bool pam = false)
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
static bool header_end(lookahead &in, const netpbm_header &h, int &c)
{
    bool comment = c == '#';
    while (c == '#')
        c = skip_comment(in, c, false);
    return is_space(c) || (h.format <= 3 && comment && c != EOF);
}

// PAM's keywords and their values, up to ENDHDR and its newline. The tuple
// type is not needed, and not read: DEPTH says what the samples are, and
// some writers name a type their samples are not.
static bool read_pam_header(lookahead &in, netpbm_header &h, int &c)
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
static bool read_header(lookahead &in, netpbm_header &h, int &c)
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
    if (h.format != 1 && h.format != 4 && !number(in, c, h.max))
        return false;
    return header_end(in, h, c);
}

// A header longer than the look-ahead, which a long comment makes, counts
// if nothing in it is amiss.
bool is_whole_netpbm_header(const unsigned char *start, size_t length)
{
    lookahead probe;
    probe.file = nullptr;
    probe.length = length < sizeof probe.start ? length : sizeof probe.start;
    memcpy(probe.start, start, probe.length);
    probe.position = 0;
    probe.ended = true; // nothing past the look-ahead is read
    probe.seekable = false;
    probe.size = UNKNOWN_SIZE;
    netpbm_header h;
    int c = 0;
    return read_header(probe, h, c) || (c == EOF && probe.length == sizeof probe.start);
}

static int refuse(char why[REASON_SIZE], const netpbm_header &h, const char *what)
{
    (void)snprintf(why, REASON_SIZE, "a damaged %s: %s", kinds[h.format - 1], what);
    return 1;
}

static int too_large(char why[REASON_SIZE], const netpbm_header &h, std::uint32_t v)
{
    (void)snprintf(why, REASON_SIZE, "a damaged %s: a sample of %lu above its maximum of %lu", kinds[h.format - 1],
                   static_cast<unsigned long>(v), static_cast<unsigned long>(h.max));
    return 1;
}

static const char ends_early[] = "it ends before its last pixel";

// How the samples of each depth stand in a row: grey, grey and alpha, red,
// green and blue, those and alpha.
static const layout layouts[4] = {
    {1, 0, 0, 0, 0, false}, {2, 0, 0, 0, 1, true}, {3, 0, 1, 2, 0, false}, {4, 0, 1, 2, 3, true}};

// Inks a row of samples as 8 bits, `h.depth` to a pixel.
static void ink_row(ink &k, size_t y, const unsigned char *row, const netpbm_header &h)
{
    ink_colours(k, y, row, layouts[h.depth - 1]);
}

// Plain samples, read a buffer at a time. The buffer ends in a 0 byte,
// which is neither white space nor a digit, so the loops over it stop
// there without counting; only there may more be needed.
struct text {
    lookahead *in;
    unsigned char buf[4096 + 1];
    const unsigned char *p, *end;
};

// Reads on; false at the end of the input.
static bool refill(text &t)
{
    size_t got = next_bytes_at_hand(*t.in, t.buf, sizeof t.buf - 1);
    t.buf[got] = 0;
    t.p = t.buf;
    t.end = t.buf + got;
    return got > 0;
}

// Moves to the next byte that is neither white space nor in a comment;
// false at the end of the input.
static bool skip_text_space(text &t)
{
    for (;;) {
        while (is_space(*t.p))
            t.p++;
        if (t.p == t.end) {
            if (!refill(t))
                return false;
        } else if (*t.p == '#') {
            while (*t.p != '\n' && *t.p != '\r')
                if (t.p < t.end)
                    t.p++;
                else if (!refill(t))
                    return false;
        } else {
            return true;
        }
    }
}

// One sample written out as digits; for PBM a single digit, without need
// of space before the next.
static int plain_sample(text &t, const netpbm_header &h, std::uint32_t &s, char why[REASON_SIZE])
{
    if (!skip_text_space(t))
        return refuse(why, h, ends_early);
    if (h.format == 1) {
        if (*t.p != '0' && *t.p != '1')
            return refuse(why, h, "a pixel that is neither 0 nor 1");
        s = *t.p++ == '0' ? 1 : 0; // 1 is black
        return 0;
    }
    if (!is_digit(*t.p))
        return refuse(why, h, "a sample that is not a number");
    s = 0;
    do {
        for (; is_digit(*t.p); t.p++) {
            if (s > 999999) // past 7 digits, leading zeros aside
                return refuse(why, h, "a sample that is not a number");
            s = s * 10 + static_cast<std::uint32_t>(*t.p - '0');
        }
    } while (t.p == t.end && refill(t));
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

static void words_of(const netpbm_header &h, common_words &w)
{
    char digits[16];
    int length = snprintf(digits, sizeof digits, "%lu ", static_cast<unsigned long>(h.max));
    unsigned char text[8] = {0}, ones[8] = {0};
    w.max_count = 8 / static_cast<size_t>(length);
    w.max_bytes = w.max_count * static_cast<size_t>(length);
    for (size_t i = 0; i < w.max_bytes; i++) {
        text[i] = static_cast<unsigned char>(digits[i % static_cast<size_t>(length)]);
        ones[i] = 0xFF;
    }
    memcpy(&w.maxes, text, 8);
    memcpy(&w.mask, ones, 8);
    w.digits = static_cast<size_t>(length) - 1;
    unsigned char digit_ones[8] = {0};
    memset(digit_ones, 0xFF, w.digits);
    memcpy(&w.one_mask, digit_ones, 8);
    w.one = w.maxes & w.one_mask;
    memcpy(&w.zeros, "0 0 0 0 ", 8);
    // In PBM a 1 is black: the text 0 is the sample 1.
    w.zero_sample = static_cast<unsigned char>(to_8_bits(h.format == 1 ? 1 : 0, h.max));
    w.max_sample = static_cast<unsigned char>(to_8_bits(h.format == 1 ? 0 : h.max, h.max));
}

// `c` is the first byte after the header, the samples' first or the white
// space before them. The samples are read whole, as 8 bits, then inked a
// row at a time.
static int read_plain(lookahead &in, const netpbm_header &h, int c, ink &k, char why[REASON_SIZE])
{
    static text t;
    static unsigned char eight[PICTURE_WIDTH * PICTURE_HEIGHT * 3];
    static common_words w;
    t.in = &in;
    size_t held = c == EOF ? 0 : 1;
    t.buf[0] = static_cast<unsigned char>(c);
    t.buf[held] = 0;
    t.p = t.buf;
    t.end = t.buf + held;
    words_of(h, w);
    const size_t all = size_t{PICTURE_WIDTH} * PICTURE_HEIGHT * h.depth;
    for (size_t i = 0; i < all;) {
        // Words while they come, in locals, which the stores of bytes
        // cannot be taken to change.
        const std::uint64_t zeros = w.zeros, maxes = w.maxes, mask = w.mask, one = w.one, one_mask = w.one_mask;
        const size_t max_count = w.max_count, max_bytes = w.max_bytes, digits = w.digits;
        const unsigned char zero_sample = w.zero_sample, max_sample = w.max_sample;
        const unsigned char *p = t.p, *last = t.end - 8; // the last place a word may start
        const size_t room = all - 8; // a word's samples stored as 8, those past it after written over
        while (p <= last && i <= room) {
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
        t.p = p;
        if (i == all)
            break;
        std::uint32_t sample = 0;
        if (plain_sample(t, h, sample, why) != 0)
            return 1;
        eight[i++] = static_cast<unsigned char>(to_8_bits(sample, h.max));
        t.p += is_space(*t.p) ? 1 : 0; // the space after it, so that the next word starts at a sample
    }
    for (size_t y = 0; y < PICTURE_HEIGHT; y++)
        ink_row(k, y, eight + y * PICTURE_WIDTH * h.depth, h);
    return 0;
}

// Refuses the first sample of `row` past the maximum.
static int refuse_sample(const unsigned char *row, const netpbm_header &h, char why[REASON_SIZE])
{
    for (size_t i = 0;; i++) {
        std::uint32_t s = h.max > 255 ? static_cast<std::uint32_t>(row[2 * i]) << 8 | row[2 * i + 1] : row[i];
        if (s > h.max)
            return too_large(why, h, s);
    }
}

// A row of raw samples as 8 bits; false if one is past the maximum.
static bool to_8_bit_row(const unsigned char *row, unsigned char *eight, size_t n, const netpbm_header &h)
{
    static std::uint32_t max = 0;
    static unsigned short scaled[256]; // 256 for a sample past the maximum
    if (h.max <= 255 && max != h.max) {
        max = h.max;
        for (unsigned v = 0; v < 256; v++)
            scaled[v] = static_cast<unsigned short>(v <= max ? to_8_bits(v, max) : 256);
    }
    unsigned past = 0;
    for (size_t i = 0; i < n; i++) {
        std::uint32_t s = h.max <= 255 ? scaled[row[i]] : static_cast<std::uint32_t>(row[2 * i]) << 8 | row[2 * i + 1];
        past |= h.max <= 255 ? s : (s > h.max ? 256U : 0U);
        eight[i] = static_cast<unsigned char>(h.max <= 255 ? s : to_8_bits(s, h.max));
    }
    return (past & 256) == 0;
}

// Samples as bytes, big-endian pairs where the maximum is past 255; bits
// eight to a byte, the leftmost pixel in the top bit. Read 4 KiB of whole
// rows at a time: a read for each row would cost more than inking it.
static int read_raw(lookahead &in, const netpbm_header &h, ink &k, char why[REASON_SIZE])
{
    static unsigned char rows[4096], eight[PICTURE_WIDTH * 4];
    static std::uint32_t greys[256];
    const layout &l = layouts[h.depth - 1];
    const layout deep = {2 * l.step, 2 * l.red, 2 * l.green, 2 * l.blue, 2 * l.alpha, l.has_alpha};
    size_t samples = size_t{PICTURE_WIDTH} * h.depth, wide = h.max > 255 ? 2 : 1;
    size_t stride = h.format == 4 ? PICTURE_WIDTH / 8 : samples * wide, at = sizeof rows;
    if (h.max <= 255)
        grey_inks(greys, h.max);
    for (size_t y = 0; y < PICTURE_HEIGHT; y++, at += stride) {
        if (at + stride > sizeof rows) {
            size_t n = sizeof rows / stride * stride;
            n = n < (PICTURE_HEIGHT - y) * stride ? n : (PICTURE_HEIGHT - y) * stride;
            if (next_bytes(in, rows, n) != n)
                return refuse(why, h, ends_early);
            at = 0;
        }
        const unsigned char *row = rows + at;
        if (h.format == 4) {
            ink_bits(k, y, row, ink_of(255, 255, 255, 255), ink_of(0, 0, 0, 255)); // 1 is black
        } else if (h.max == 65535) {
            ink_deep_colours(k, y, row, deep);
        } else if (h.depth == 1 && h.max <= 255) {
            if (!ink_values(k, y, row, greys))
                return refuse_sample(row, h, why);
        } else if (h.max == 255) {
            ink_row(k, y, row, h);
        } else {
            if (!to_8_bit_row(row, eight, samples, h))
                return refuse_sample(row, h, why);
            ink_row(k, y, eight, h);
        }
    }
    return 0;
}

// Says why the header's values cannot be read, if they cannot.
static bool refuse_values(const netpbm_header &h, char why[REASON_SIZE])
{
    if (h.max < 1 || h.max > 65535)
        (void)snprintf(why, REASON_SIZE, "a damaged %s: its maximum sample value, %lu, is not 1 to 65535",
                       kinds[h.format - 1], static_cast<unsigned long>(h.max));
    else if (h.depth < 1 || h.depth > 4)
        (void)snprintf(why, REASON_SIZE, "a PAM picture of depth %lu; save the sheet as PNG or BMP",
                       static_cast<unsigned long>(h.depth));
    else if (h.width != PICTURE_WIDTH || h.height != PICTURE_HEIGHT)
        (void)refuse_size(why, h.width, h.height);
    else
        return false;
    return true;
}

int read_netpbm(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE])
{
    netpbm_header h = {ahead.start[1] - '0', 0, 0, 1, 1};
    int c = 0;
    if (!read_header(ahead, h, c))
        return refuse(why, h, c == EOF ? "it ends inside its header" : "its header is malformed");
    if (refuse_values(h, why))
        return 1;
    static ink k;
    start_ink(k);
    if ((h.format <= 3 ? read_plain(ahead, h, c, k, why) : read_raw(ahead, h, k, why)) != 0)
        return 1;
    finish_ink(k, false, sheet);
    return 0;
}

// The sheet as raw PBM, PGM or PPM: black ink on white paper, so a 1 bit
// is a 1 in PBM and a 0 in the others.
static int write_netpbm(const glyph_sheet sheet, FILE *out, int format)
{
    static const char *const headers[] = {"P4\n64 128\n", "P5\n64 128\n255\n", "P6\n64 128\n255\n"};
    static unsigned char pixels[PICTURE_WIDTH * PICTURE_HEIGHT * 3];
    size_t n = 0, samples = format == 6 ? 3 : 1;
    for (size_t at = 0; at < SHEET_BYTES; at++) {
        if (format == 4) {
            pixels[n++] = static_cast<unsigned char>(reverse_bits(sheet[at]));
            continue;
        }
        for (unsigned x = 0; x < 8; x++)
            for (size_t i = 0; i < samples; i++)
                pixels[n++] = (sheet[at] >> x & 1U) != 0 ? 0 : 255;
    }
    return fputs(headers[format - 4], out) != EOF && fwrite(pixels, 1, n, out) == n ? 0 : -1;
}

int write_pbm(const glyph_sheet sheet, FILE *out) { return write_netpbm(sheet, out, 4); }
int write_pgm(const glyph_sheet sheet, FILE *out) { return write_netpbm(sheet, out, 5); }
int write_ppm(const glyph_sheet sheet, FILE *out) { return write_netpbm(sheet, out, 6); }
