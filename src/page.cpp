// The page's entry: the programs' readers and writers over bytes in
// memory, for the page's script, which hands over a file's bytes, its name
// and glyphcut's options, and takes back the picture's colours, the cut,
// the bytes to save, or the line glyphrip, glyphcut or glyphsheet would
// print.
#include <cstdint>
#include <cstring>

#include "glyph_sheet.h"
#include "ink.h"
#include "kinds.h"
#include "picture.h"
#include "program.h"

namespace {

input bytes_in;
glyph_sheet sheet; // the glyphs shown, each in its cell
layout shown;      // and where each code stands
unsigned char written[MOST_WRITTEN];
size_t written_length;

// The last line, as the programs print it, without its newline.
char line_text[4 * 1024 + REASON_SIZE + 4];
line_buffer line = {line_text, sizeof line_text, 0};

// Keeps the line the program would print for `why`, and gives 1.
int refused(const char *name, const char *why)
{
    failure_line(name, why, to_line, &line);
    return 1;
}

// Starts a conversion of `length` bytes at `bytes`.
void begin(const unsigned char *bytes, size_t length)
{
    line.length = 0;
    line_text[0] = '\0';
    written_length = 0;
    open_memory(bytes_in, bytes, length);
}

// The numbers the page draws the cut by: the picture's size, the layout
// fitted to it, the font's, and how its ink was decided.
enum number {
    picture_width,
    picture_height,
    cell_width,
    cell_height,
    scale,
    offset_x,
    offset_y,
    gap_x,
    gap_y,
    columns,
    rows,
    by_columns,
    first,
    count,
    decided,
    row_bytes,
    font_length,
    alpha_is_none,
    numbers
};
std::uint32_t cut_numbers[numbers];
// Each pixel's colour as read, red, green, blue and alpha.
unsigned char colours[4 * MOST_PIXELS];

// A one-bit picture's colours from its bits, which its reader keeps as
// they stand, and the colours of 0 and 1.
void colours_of_bits(const ink &k)
{
    for (size_t y = 0; y < k.height; y++)
        for (size_t x = 0; x < k.width; x++)
            memcpy(colours + 4 * (y * k.width + x), k.bit_colours[k.dark[y * k.row_bytes + x / 8] >> (x % 8) & 1], 4);
}

void number_the_cut()
{
    const ink &k = picture_read();
    const font &f = font_read();
    const layout &l = f.l;
    const std::uint32_t n[numbers] = {k.width,
                                      k.height,
                                      l.cell_width,
                                      l.cell_height,
                                      l.scale,
                                      l.offset_x,
                                      l.offset_y,
                                      l.gap_x,
                                      l.gap_y,
                                      l.columns,
                                      l.rows,
                                      l.by_columns ? 1U : 0U,
                                      l.first,
                                      l.count,
                                      static_cast<std::uint32_t>(f.ink),
                                      static_cast<std::uint32_t>(f.row_bytes),
                                      static_cast<std::uint32_t>(f.length),
                                      k.zero_alpha_is_opaque && !k.alpha_anywhere ? 1U : 0U};
    memcpy(cut_numbers, n, sizeof n);
    if (k.by_value)
        colours_of_bits(k);
}

} // namespace

extern "C" {

// A picture as glyphrip reads it, where `options` is empty, or as glyphcut
// does, told them: each a NUL-ended string, one after another, an empty
// one last. Its font, its colours and the cut's numbers, or the line the
// program prints.
int page_cut(const unsigned char *bytes, size_t length, const char *name, const char *options)
{
    const char *argv[40] = {"glyphcut"};
    int argc = 1, paths = 0;
    for (const char *o = options; *o != '\0' && argc < 36; o += strlen(o) + 1)
        argv[argc++] = o;
    told t = nothing_told(argc > 1 ? "glyphcut" : "glyphrip");
    argv[argc++] = "--";
    argv[argc++] = "in";
    argv[argc++] = "out";
    char why[REASON_SIZE] = "";
    begin(bytes, length);
    int status = read_options(argc, argv, t, paths, why);
    if (status != 0) // as glyphcut prints it
        return status == 2 ? refused("", "Usage: glyphcut [options] infile outfile") : refused("glyphcut", why);
    keep_colours(colours);
    if (read_font_picture(bytes_in, t, why) != 0)
        return refused(name, why);
    number_the_cut();
    return 0;
}

const std::uint32_t *page_numbers() { return cut_numbers; }
const unsigned char *page_colours() { return colours; }
const unsigned char *page_font_bytes() { return font_read().data; }

// The C header the program writes for an output named `stem`.h, into the
// `room` bytes at `at`: its length, or 0 where they are too few.
// NOLINTNEXTLINE(readability-non-const-parameter): written through the sink
size_t page_header(unsigned char *at, size_t room, const char *stem)
{
    output out = {};
    char why[REASON_SIZE] = "";
    (void)font_output("h", nothing_told("glyphcut"), out, why);
    sink s = {nullptr, at, room, 0, false};
    out.write(s, stem);
    return s.failed ? 0 : s.length;
}

// A raw font, as glyphsheet converts it to a PNG: its sheet, and the PNG
// to save.
int page_font(const unsigned char *bytes, size_t length, const char *name)
{
    char why[REASON_SIZE] = "";
    begin(bytes, length);
    if (read_font(bytes_in, sheet, why) != 0)
        return refused(name, why);
    (void)sheet_layout(sheet.width, sheet.height, shown);
    written_length = write_png(sheet, written);
    return 0;
}

// Whether a dropped file goes to glyphrip, as a picture or another kind
// it names, or to glyphsheet, as a font: by the rule by which glyphrip
// keeps an existing output, so that a file of a raw font's length is a
// font unless a sure sign names it.
int page_is_picture(const unsigned char *bytes, size_t length)
{
    open_memory(bytes_in, bytes, length);
    return kind_beside_fonts(bytes_in) != nullptr ? 1 : 0;
}

// The code of the glyph in a column and glyph row of the last glyphs
// shown, by their layout; -1 where none stands.
int page_code_at(unsigned column, unsigned row)
{
    for (unsigned n = 0; n < shown.count; n++) {
        cell_place at = cell_of(shown, n);
        if (at.column == column && at.row == row)
            return static_cast<int>(shown.first + n);
    }
    return -1;
}

const char *page_line() { return line.text; }
const unsigned char *page_written() { return written; }
size_t page_written_length() { return written_length; }
unsigned page_width() { return sheet.width; }
unsigned page_height() { return sheet.height; }
int page_ink() { return static_cast<int>(sheet.ink); }
const unsigned char *page_bits() { return sheet.bits; }
}
