// TGA: colour-mapped, true colour and grey pictures, uncompressed or
// run-length encoded, the rows in the order the header's origin bits say.
// TGA has no signature; its header is known by fields that agree with one
// another.
#include "kinds.h"
#include "picture.h"

namespace {

struct tga_header {
    unsigned id_length, map_type, type, first, map_length, entry_bits, width, height, depth, descriptor;
};

unsigned le16(const unsigned char *p) { return p[0] | static_cast<unsigned>(p[1]) << 8; }

tga_header fields_of(const unsigned char *h)
{
    return {h[0], h[1], h[2], le16(h + 3), le16(h + 5), h[7], le16(h + 12), le16(h + 14), h[16], h[17]};
}

enum { COLOUR_MAPPED = 1, TRUE_COLOUR = 2, GREY = 3, RUN_LENGTH = 8 };

bool is_colour_depth(unsigned bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// The colour map, where there is one: a known entry size, and for a
// colour-mapped picture no entry past what 8-bit indices reach. Without
// one, its fields are 0.
bool map_fits(const tga_header &t)
{
    if (t.map_type == 0)
        return t.first == 0 && t.map_length == 0 && t.entry_bits == 0;
    if (t.map_type != 1 || !is_colour_depth(t.entry_bits) || t.map_length == 0)
        return false;
    return (t.type & 7) != COLOUR_MAPPED || t.first + t.map_length <= 256;
}

bool depth_fits(const tga_header &t)
{
    switch (t.type & 7) {
    case COLOUR_MAPPED: return t.map_type == 1 && t.depth == 8;
    case TRUE_COLOUR: return is_colour_depth(t.depth);
    default: return t.depth == 1 || t.depth == 8 || t.depth == 16; // grey, as Pillow writes bits; grey and alpha
    }
}

// The picture TGA says: what it holds, how, and in which order. Pixels
// are stored, and runs counted, in units: one pixel, or at one bit a
// pixel, as Pillow writes, a byte of eight, the leftmost in the top bit.
struct picture {
    tga_header t;
    unsigned char map[256][4]; // red, green, blue, alpha of each index
    size_t unit_bytes, row_units;
    bool alpha; // the descriptor gives pixels alpha bits
    ink k;
    char *why;
};

int refuse(picture &p, const char *what)
{
    (void)snprintf(p.why, REASON_SIZE, "a damaged TGA: %s", what);
    return 1;
}

// A colour of 15, 16, 24 or 32 bits, blue first, as red, green, blue and
// alpha; alpha is 255 where the colour has none.
void colour_of(const unsigned char *b, unsigned bits, unsigned char rgba[4])
{
    if (bits <= 16) {
        unsigned v = le16(b);
        rgba[0] = static_cast<unsigned char>(to_8_bits(v >> 10 & 31, 31));
        rgba[1] = static_cast<unsigned char>(to_8_bits(v >> 5 & 31, 31));
        rgba[2] = static_cast<unsigned char>(to_8_bits(v & 31, 31));
        rgba[3] = bits == 16 && (v & 0x8000) == 0 ? 0 : 255;
        return;
    }
    rgba[0] = b[2];
    rgba[1] = b[1];
    rgba[2] = b[0];
    rgba[3] = bits == 32 ? b[3] : 255;
}

// Reads the colour map, keeping the entries a colour-mapped picture's
// indices reach.
int read_map(lookahead &in, picture &p)
{
    const tga_header &t = p.t;
    size_t entry = (t.entry_bits + 7) / 8;
    unsigned char b[4];
    for (unsigned i = 0; i < t.map_length; i++) {
        if (next_bytes(in, b, entry) != entry)
            return refuse(p, "it ends inside its colour map");
        if (t.first + i < 256)
            colour_of(b, t.entry_bits, p.map[t.first + i]);
    }
    return 0;
}

// Inks pixel `x` of picture row `y` from its stored bytes.
int ink_stored(picture &p, size_t x, size_t y, const unsigned char *b)
{
    const tga_header &t = p.t;
    unsigned char rgba[4] = {b[0], b[0], b[0], 255};
    switch (t.type & 7) {
    case COLOUR_MAPPED:
        if (b[0] < t.first || b[0] >= t.first + t.map_length) {
            (void)snprintf(p.why, REASON_SIZE, "a damaged TGA: colour %u is not in its colour map",
                           static_cast<unsigned>(b[0]));
            return 1;
        }
        for (int i = 0; i < 4; i++)
            rgba[i] = p.map[b[0]][i];
        break;
    case TRUE_COLOUR: colour_of(b, t.depth, rgba); break;
    default: rgba[3] = t.depth == 16 ? b[1] : 255; break;
    }
    if (p.alpha)
        ink_pixel(p.k, x, y, rgba[0], rgba[1], rgba[2], rgba[3]);
    else
        ink_dark(p.k, x, y, rgba[0], rgba[1], rgba[2]);
    return 0;
}

// Inks unit `n` of the file's order.
int ink_unit(picture &p, size_t n, const unsigned char *b)
{
    size_t row = n / p.row_units, x = n % p.row_units;
    size_t y = (p.t.descriptor & 0x20) != 0 ? row : PICTURE_HEIGHT - 1 - row;
    bool leftward = (p.t.descriptor & 0x10) != 0;
    if (p.t.depth != 1)
        return ink_stored(p, leftward ? PICTURE_WIDTH - 1 - x : x, y, b);
    for (size_t i = 0; i < 8; i++) {
        size_t at = 8 * x + i;
        unsigned grey = (b[0] >> (7 - i) & 1U) != 0 ? 255 : 0;
        ink_dark(p.k, leftward ? PICTURE_WIDTH - 1 - at : at, y, grey, grey, grey);
    }
    return 0;
}

int read_rows(lookahead &in, picture &p)
{
    unsigned char row[PICTURE_WIDTH * 4];
    size_t stride = p.row_units * p.unit_bytes;
    for (size_t n = 0; n < p.row_units * PICTURE_HEIGHT; n += p.row_units) {
        if (next_bytes(in, row, stride) != stride)
            return refuse(p, "it ends before its last pixel");
        for (size_t x = 0; x < p.row_units; x++)
            if (ink_unit(p, n + x, row + x * p.unit_bytes) != 0)
                return 1;
    }
    return 0;
}

// Packets of one unit repeated or of units as stored, each of 1 to 128
// units; a packet may run on into the next row, but not past the last.
int read_runs(lookahead &in, picture &p)
{
    unsigned char units[128 * 4];
    size_t all = p.row_units * PICTURE_HEIGHT;
    for (size_t n = 0; n < all;) {
        int head = next_byte(in);
        size_t count = (static_cast<unsigned>(head) & 0x7F) + 1;
        bool repeated = (head & 0x80) != 0;
        size_t bytes = (repeated ? 1 : count) * p.unit_bytes;
        if (head == EOF || next_bytes(in, units, bytes) != bytes)
            return refuse(p, "it ends before its last pixel");
        if (n + count > all)
            return refuse(p, "its run-length packets run past its last pixel");
        for (size_t i = 0; i < count; i++, n++)
            if (ink_unit(p, n, units + (repeated ? 0 : i * p.unit_bytes)) != 0)
                return 1;
    }
    return 0;
}

} // namespace

bool is_tga_header(const unsigned char *start, size_t length)
{
    if (length < 18)
        return false;
    tga_header t = fields_of(start);
    unsigned kind = t.type & 7;
    bool known_type = (t.type & ~unsigned{RUN_LENGTH}) == kind && kind >= COLOUR_MAPPED && kind <= GREY;
    return known_type && map_fits(t) && depth_fits(t) && t.width > 0 && t.height > 0 && (t.descriptor & 0xC0) == 0 &&
           (t.descriptor & 15) <= 8;
}

int read_tga(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE])
{
    static picture p;
    p.why = why;
    if (!is_tga_header(ahead.start, ahead.length))
        return refuse(p, "its header is malformed");
    p.t = fields_of(ahead.start);
    if (p.t.width != PICTURE_WIDTH || p.t.height != PICTURE_HEIGHT)
        return refuse_size(why, p.t.width, p.t.height);
    // Pillow's writer runs 64 units over each row of 8 bytes, and no reader
    // makes sense of what it writes.
    if (p.t.depth == 1 && (p.t.type & RUN_LENGTH) != 0) {
        (void)snprintf(why, REASON_SIZE, "a run-length encoded TGA of 1-bit pixels; save the sheet as PNG or BMP");
        return 1;
    }
    p.unit_bytes = (p.t.depth + 7) / 8;
    p.row_units = p.t.depth == 1 ? PICTURE_WIDTH / 8 : PICTURE_WIDTH;
    // Alpha where the descriptor gives it bits and the pixels have room.
    p.alpha = (p.t.descriptor & 15) != 0 && (p.t.depth == 32 || p.t.depth == 16 || (p.t.type & 7) == COLOUR_MAPPED);
    start_ink(p.k);
    if (!skip_bytes(ahead, 18 + p.t.id_length))
        return refuse(p, "it ends inside its headers");
    if (read_map(ahead, p) != 0)
        return 1;
    if (((p.t.type & RUN_LENGTH) != 0 ? read_runs(ahead, p) : read_rows(ahead, p)) != 0)
        return 1;
    // Many writers leave the alpha of a 16- or 32-bit TGA 0 in every pixel.
    finish_ink(p.k, true, sheet);
    return 0;
}
