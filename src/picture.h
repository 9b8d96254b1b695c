// What the readers of pictures share: the input read forward from its
// first byte, and the rule that turns a picture's colours into the sheet's
// bits.
#ifndef GLYPHRIP_PICTURE_H
#define GLYPHRIP_PICTURE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "glyph_sheet.h"
#include "kinds.h"

enum { PICTURE_WIDTH = 64, PICTURE_HEIGHT = 128 };

// Mirrors the bit order of a byte; EOF (-1) gives 0xFF, which is how bytes
// missing from a short one-bit sheet come out.
constexpr int reverse_bits(int v)
{
    v = ((v & 0x55) << 1) | ((v & 0xAA) >> 1);
    v = ((v & 0x33) << 2) | ((v & 0xCC) >> 2);
    return ((v << 4) | (v >> 4)) & 0xFF;
}

// An input read from its first byte on, whose start is read ahead to tell
// what kind of file it is: enough for the file header and the longest BMP
// information header.
enum { LOOKAHEAD_BYTES = 14 + 124 };
struct lookahead {
    FILE *file;
    unsigned char start[LOOKAHEAD_BYTES];
    size_t length;          // bytes read ahead, fewer if the input ended
    std::uint64_t position; // of the next byte next_byte gives
    bool ended;             // the input has ended or failed
    bool seekable;          // a file, which may be read ahead freely
    std::uint64_t size;     // the whole input's length, or UNKNOWN_SIZE
};
int look_ahead(FILE *in, lookahead &ahead); // 0, or -1 with errno set
inline first_bytes first_bytes_of(const lookahead &ahead) { return {ahead.start, ahead.length, ahead.size}; }

// The program has one thread, so a byte need not lock the stream where the
// C library lets it do without; Windows' msvcrt does not.
#ifdef _WIN32
#define GLYPHRIP_GETC getc
#else
#define GLYPHRIP_GETC getc_unlocked
#endif

// EOF once the input has ended or failed. Reading only forward serves a
// pipe or FIFO as well as a file. Once the input has ended or failed,
// nothing more is read: a terminal or pipe may deliver bytes later, but
// the file ended there.
inline int next_byte(lookahead &ahead)
{
    if (ahead.position < ahead.length)
        return ahead.start[ahead.position++];
    if (ahead.ended)
        return EOF;
    int c = GLYPHRIP_GETC(ahead.file);
    ahead.ended = c == EOF;
    if (!ahead.ended)
        ahead.position++;
    return c;
}
// Reads up to `n` bytes into `to`; fewer only where the input ends or fails.
size_t next_bytes(lookahead &ahead, unsigned char *to, size_t n);
// Reads and drops `n` bytes; false if the input ends first.
bool skip_bytes(lookahead &ahead, std::uint64_t n);

// A stream of bytes whose length nothing gives, read a block at a time
// from a file; from a pipe or terminal, which may wait for bytes the
// picture does not need, a byte at a time.
struct byte_source {
    lookahead *in;
    const unsigned char *at, *end;
    unsigned char block[4096 + 4]; // 4 to spare, for a few bytes read as a word
};
void start_source(byte_source &s, lookahead &in);
// Reads up to `n` bytes for such a stream: from a file up to `n`, from a
// pipe or terminal one; 0 at the end of the input.
size_t next_bytes_at_hand(lookahead &ahead, unsigned char *to, size_t n);
int refill(byte_source &s); // the next byte, or EOF
inline int source_byte(byte_source &s) { return s.at < s.end ? *s.at++ : refill(s); }

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

// Fills `why` for a picture of another size than a sheet's and gives 1.
int refuse_size(char why[REASON_SIZE], long long width, long long height);

// Each reads the picture whose first bytes `ahead` holds into the sheet:
// 0, or 1 with `why` filled in. A read error shows as the input ending;
// the caller tells the two apart.
int read_bmp(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE]);
int read_png(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE]);
int read_netpbm(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE]);
int read_tga(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE]);
// The sheet stored as a one-bit BMP's pixels from `offset` on, bits by
// value; what the input lacks is 0xFF.
void read_one_bit(lookahead &ahead, std::uint64_t offset, bool top_down, glyph_sheet sheet);

// A sample of `max` (at most 2^32 - 1) as 8 bits, rounded to nearest.
inline unsigned to_8_bits(std::uint32_t v, std::uint32_t max)
{
    if (max == 255)
        return v;
    return static_cast<unsigned>((std::uint64_t{v} * 510 + max) / (std::uint64_t{max} * 2));
}

// Which pixels are ink, by how the picture looks: pixels less than half
// opaque are paper where the picture has any; otherwise pixels darker than
// mid-grey are ink.
struct ink {
    glyph_sheet dark;    // pixels darker than mid-grey
    glyph_sheet opaque;  // pixels at least half opaque
    bool see_through;    // some pixel is less than half opaque
    bool alpha_anywhere; // some pixel's alpha is not 0
};
void start_ink(ink &k);
// Gives the sheet; `zero_alpha_is_opaque` for pictures whose writers may
// leave an unused alpha at 0 in every pixel.
void finish_ink(const ink &k, bool zero_alpha_is_opaque, glyph_sheet sheet);

// Darker than mid-grey, by 8-bit red, green and blue: 1 or 0. The sum is
// below 128000 where taking 128000 from it wraps round to a number with
// its top bit set.
inline std::uint32_t dark_bit(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (299 * r + 587 * g + 114 * b - 128000) >> 31;
}
inline bool is_dark(unsigned r, unsigned g, unsigned b) { return dark_bit(r, g, b) != 0; }

// The ink rule for whole rows of the picture, y counted from the top and
// pixels from the left, eight pixels to a byte of each plane.

// The rule decided once for a colour, for the pictures whose pixels are at
// most 256 values (palette indices, grey levels): dark, at least half
// opaque, alpha not 0; NO_COLOUR for a value that is none of the picture's
// colours, an index past its palette or a sample past its maximum.
enum : std::uint32_t { INK_DARK = 1, INK_OPAQUE = 1U << 8, INK_ALPHA = 1U << 16, NO_COLOUR = 1U << 24 };
inline std::uint32_t ink_of(unsigned r, unsigned g, unsigned b, unsigned a)
{
    std::uint32_t none = 0;
    return dark_bit(r, g, b) | (a >= 128 ? INK_OPAQUE : none) | (a != 0 ? INK_ALPHA : none);
}
// Pixel (x, y), y counted from the top, whose ink is `w`, for the
// pictures not inked a row at a time.
inline void put_ink(ink &k, size_t x, size_t y, std::uint32_t w)
{
    size_t at = y * SHEET_ROW_BYTES + x / 8;
    auto bit = static_cast<unsigned char>(1U << (x % 8));
    k.dark[at] = static_cast<unsigned char>(k.dark[at] | ((w & INK_DARK) != 0 ? bit : 0));
    k.opaque[at] = static_cast<unsigned char>(k.opaque[at] | ((w & INK_OPAQUE) != 0 ? bit : 0));
    k.see_through = k.see_through || (w & INK_OPAQUE) == 0;
    k.alpha_anywhere = k.alpha_anywhere || (w & INK_ALPHA) != 0;
}

// The inks of grey levels 0 to `max`, at most 255; the rest NO_COLOUR.
void grey_inks(std::uint32_t inks[256], unsigned max);

// A row of 64 values, one byte each, through the table of their inks;
// false if one is NO_COLOUR.
bool ink_values(ink &k, size_t y, const unsigned char *values, const std::uint32_t inks[256]);
// For pixels of 1, 2 or 4 bits packed leftmost first, the inks of each
// byte's pixels, as ink_values sums them; and a row of such pixels
// through that table, false if one is NO_COLOUR.
void byte_inks(const std::uint32_t inks[256], unsigned depth, std::uint32_t table[256]);
bool ink_packed(ink &k, size_t y, const unsigned char *packed, unsigned depth, const std::uint32_t table[256]);
// A row of one bit a pixel, the leftmost in the top bit of the first byte,
// whose 0 and 1 have the inks given.
void ink_bits(ink &k, size_t y, const unsigned char *packed, std::uint32_t zero, std::uint32_t one);

// Where a pixel's 8- or 16-bit samples stand among its bytes: red, green
// and blue (the same for grey), and alpha if it has one.
struct layout {
    size_t step, red, green, blue, alpha;
    bool has_alpha;
};
// A row of 8-bit samples.
void ink_colours(ink &k, size_t y, const unsigned char *p, const layout &l);
// A row of 8-bit red, green and blue, transparent where they are `key`'s.
void ink_keyed_colours(ink &k, size_t y, const unsigned char *p, const unsigned char key[3]);
// A row of 16-bit big-endian samples.
void ink_deep_colours(ink &k, size_t y, const unsigned char *p, const layout &l);
// One colour of pixels stored as bit fields of a little-endian word of 16
// or 32 bits: where its bits stand and their largest value. A mask of 0
// gives no such colour.
struct bit_field {
    std::uint32_t mask, shift, max;
};
bool make_field(std::uint32_t mask, bit_field &f); // false if the mask has a gap
// Red, green, blue and alpha, and tables from each one's values to what
// they add to the rule's sum, and for alpha to 8 bits: an absent colour
// adds 0, an absent alpha is 255.
struct field_inks {
    bit_field fields[4];
    std::uint32_t weights[3][256];
    unsigned char alphas[256];
};
// False where a field has more than 8 bits.
bool make_field_inks(const bit_field fields[4], field_inks &t);
// A row of pixels of `bytes` bytes, 2 or 4.
void ink_fields(ink &k, size_t y, const unsigned char *p, size_t bytes, const field_inks &t);
// The ink of one pixel of bit fields `v`.
std::uint32_t field_ink(const field_inks &t, std::uint32_t v);

// Turns row y the other way round, for a picture stored right to left.
void mirror_row(ink &k, size_t y);

#endif
