// The font sheet in memory, the two file formats that hold it, and the
// driver that runs a conversion from one to the other.
#ifndef GLYPHRIP_GLYPH_SHEET_H
#define GLYPHRIP_GLYPH_SHEET_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// A sheet is one of three sizes, each of 8 x 8 glyphs: 64 x 128, 128
// glyphs in 8 columns of 16, the codes down the columns; 128 x 64, 128
// glyphs in 16 columns of 8, and 128 x 128, 256 glyphs in 16 columns of
// 16, the codes along the rows.
enum { SHEET_MOST_WIDTH = 128, SHEET_MOST_HEIGHT = 128, SHEET_MOST_BYTES = SHEET_MOST_WIDTH * SHEET_MOST_HEIGHT / 8 };

constexpr bool is_sheet_size(unsigned long long width, unsigned long long height)
{
    return (width == 64 && height == 128) || (width == 128 && (height == 64 || height == 128));
}

// Which part of the ink rule gave a picture's ink: its bits as they are
// stored, its transparency, or the side of fewer pixels, dark or light of
// mid-grey, or darker or lighter of the grey half-way between its darkest
// and lightest pixels.
enum class ink_from : unsigned char { bits, transparency, dark, light, darker, lighter };

// The picture's rows top first, width / 8 bytes each; in each byte, the
// leftmost of its eight pixels in bit 0. Bit values are those of the
// picture's ink: 1 for ink.
struct glyph_sheet {
    unsigned width, height;
    ink_from ink;
    unsigned char bits[SHEET_MOST_BYTES];
};

// The raw font: 8 bytes a glyph, one a scanline from the top, leftmost
// pixel in bit 0; 1024 bytes of 128 glyphs, or 2048 of 256.
enum { FONT_BYTES = 1024, WIDE_FONT_BYTES = 2048 };
constexpr bool is_font_length(unsigned long long length) { return length == FONT_BYTES || length == WIDE_FONT_BYTES; }

// Where glyph n stands on a sheet: its column and glyph row.
struct glyph_place {
    unsigned column, row;
};
inline glyph_place place_of(const glyph_sheet &sheet, unsigned n)
{
    if (sheet.width == 64)
        return {n / 16, n % 16};
    return {n % 16, n / 16};
}

// Where the pixel data starts when the file does not say: file header,
// information header and a two-entry colour table.
constexpr long SHEET_DATA_OFFSET = 62;

// Room for why a reader refuses its input: one line, without the file's
// name.
enum { REASON_SIZE = 128 };

struct input; // the input read forward, from a file or from memory

// Each reader gives 0, or -1 with errno set by the stream operation that
// failed, or 1 with `why` filled in for an input it refuses. None opens,
// closes or reports anything. A one-bit sheet or a font that ends early is
// no failure: what it lacks is 0xFF.
int read_sheet(input &in, glyph_sheet &sheet, char why[REASON_SIZE]); // a picture of any kind
int read_font(input &in, glyph_sheet &sheet, char why[REASON_SIZE]);  // a raw font

// Each writer puts a whole file into `out` and gives its length: the raw
// font, or the sheet as a picture of black ink on white paper, a one-bit
// BMP, a one-bit PNG, raw PBM, PGM or PPM.
enum { MOST_WRITTEN = 3 * SHEET_MOST_WIDTH * SHEET_MOST_HEIGHT + 64 };
size_t write_font(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_sheet(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_png(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_pbm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_pgm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_ppm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);

typedef size_t (*sheet_writer)(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);

// Whether more than half of the sheet's pixels, but not all, are ink: as
// a picture whose paper cannot be told by transparency, it would read
// back inverted.
bool mostly_ink(const glyph_sheet &sheet);

// The ending of an output's name, lower case, without the dot: "" where it
// has none, and for an output that is no regular file; "?" where it is no
// short ASCII word.
enum { ENDING_SIZE = 16 };

// One program: its name, for the usage line, what it reads, and what it
// writes of a sheet for an output of a given ending, or nullptr with `why`
// filled in where it will not write it.
struct conversion {
    const char *name;
    int (*read)(input &in, glyph_sheet &sheet, char why[REASON_SIZE]);
    sheet_writer (*writer_for)(const char *ending, const glyph_sheet &sheet, char why[REASON_SIZE]);
    bool keeps_pictures; // writes nothing over an existing file it names
};

// The command line as the system hands it over: on Windows in UTF-16,
// through wmain, so that no name goes through the ANSI code page; bytes
// elsewhere.
#ifdef _WIN32
typedef wchar_t path_char;
#define program_main wmain
#else
typedef char path_char;
#define program_main main
#endif

// Puts into `out` as much of the name from `*name` on as fits in `room`
// bytes, as a message shows it, and moves `*name` past it; gives the bytes
// put. Names are shown as `ls -b` shows them: UTF-8 text as it is, control
// characters (C0, DEL and C1) and bytes that are no UTF-8 as escapes, so
// that a message is one line and sends the terminal nothing to obey.
size_t show_name(const char **name, char *out, size_t room);
// The line a failure is reported in, without its newline: the name, shown
// so, ": " and the reason, or the reason alone for an empty name, given a
// piece at a time to `put`.
void failure_line(const char *name, const char *reason, void (*put)(const char *piece, size_t length, void *to),
                  void *to);
// A line gathered in memory for `failure_line`, as much of it as fits in
// `room` bytes with a 0 after it; `to_line` puts a piece of it there.
struct line_buffer {
    char *text;
    size_t room, length;
};
void to_line(const char *piece, size_t length, void *line);

// Runs `name infile outfile` as the whole process does; gives the exit
// status, having reported any failure on standard error.
int run_conversion(const conversion &how, int argc, path_char *argv[]);

#endif
