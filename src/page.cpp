// The page's entry: the programs' readers and writers over bytes in
// memory, for the page's script, which hands over a file's bytes and name
// and takes back the glyphs, the bytes to save, or the line glyphrip or
// glyphsheet would print.
#include <cstring>

#include "glyph_sheet.h"
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

// Starts a conversion of `length` bytes: 0, or 1 with the line the
// program would print for `why`.
int refused(const char *name, const char *why)
{
    failure_line(name, why, to_line, &line);
    return 1;
}

void begin(const unsigned char *bytes, size_t length)
{
    line.length = 0;
    line_text[0] = '\0';
    written_length = 0;
    open_memory(bytes_in, bytes, length);
}

} // namespace

extern "C" {

// A picture, as glyphrip converts it: its glyphs, each in its cell as the
// sheet has them, and the font to save.
int page_picture(const unsigned char *bytes, size_t length, const char *name)
{
    char why[REASON_SIZE] = "";
    begin(bytes, length);
    if (read_font_picture(bytes_in, nothing_told("glyphrip"), why) != 0)
        return refused(name, why);
    const font &f = font_read();
    shown = f.l;
    sheet.width = shown.columns * 8;
    sheet.height = shown.rows * 8;
    sheet.ink = f.ink;
    for (unsigned n = 0; n < shown.count; n++) {
        cell_place at = cell_of(shown, n);
        for (size_t s = 0; s < 8; s++)
            sheet.bits[(8 * size_t{at.row} + s) * shown.columns + at.column] = f.data[8 * static_cast<size_t>(n) + s];
    }
    memcpy(written, f.data, f.length);
    written_length = f.length;
    return 0;
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
