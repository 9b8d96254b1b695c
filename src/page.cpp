// The page's entry: both programs' readers and writers over bytes in
// memory, for the page's script, which hands over a file's bytes and name
// and takes back the sheet, the bytes to save, or the line glyphrip or
// glyphsheet would print.
#include "glyph_sheet.h"
#include "kinds.h"
#include "picture.h"

namespace {

input bytes_in;
glyph_sheet sheet;
unsigned char written[MOST_WRITTEN];
size_t written_length;

// The last line, as the programs print it, without its newline.
char line_text[4 * 1024 + REASON_SIZE + 4];
line_buffer line = {line_text, sizeof line_text, 0};

// Reads with `read` and writes with `write`, as a program does: 0, or 1
// with the line it would print.
int convert(const unsigned char *bytes, size_t length, const char *name,
            int (*read)(input &in, glyph_sheet &sheet, char why[REASON_SIZE]), sheet_writer write)
{
    char why[REASON_SIZE] = "";
    line.length = 0;
    line_text[0] = '\0';
    written_length = 0;
    open_memory(bytes_in, bytes, length);
    if (read(bytes_in, sheet, why) != 0) {
        failure_line(name, why, to_line, &line);
        return 1;
    }
    written_length = write(sheet, written);
    return 0;
}

} // namespace

extern "C" {

// A picture, as glyphrip converts it: its sheet, and the font to save.
int page_picture(const unsigned char *bytes, size_t length, const char *name)
{
    return convert(bytes, length, name, read_sheet, write_font);
}

// A raw font, as glyphsheet converts it to a PNG: its sheet, and the PNG
// to save.
int page_font(const unsigned char *bytes, size_t length, const char *name)
{
    return convert(bytes, length, name, read_font, write_png);
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

// The code of the glyph in a column and glyph row of the last sheet, by
// place_of, the one statement of each size's order; -1 where none stands.
int page_code_at(unsigned column, unsigned row)
{
    for (unsigned n = 0; n < sheet.width * sheet.height / 64; n++) {
        glyph_place at = place_of(sheet, n);
        if (at.column == column && at.row == row)
            return static_cast<int>(n);
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
