// The font sheet in memory, the two file formats that hold it, and the
// driver that runs a conversion from one to the other.
#ifndef GLYPHRIP_GLYPH_SHEET_H
#define GLYPHRIP_GLYPH_SHEET_H

#include <cstdio>

enum {
    SHEET_ROWS = 128,    // picture rows, top row first
    SHEET_ROW_BYTES = 8, // 64 pixels, leftmost pixel in bit 0 of each byte
    SHEET_BYTES = SHEET_ROWS * SHEET_ROW_BYTES
};

// Where the pixel data starts when the file does not say: file header,
// information header and a two-entry colour table.
constexpr long SHEET_DATA_OFFSET = 62;

// Entry (row, column) is sheet[row * SHEET_ROW_BYTES + column].
typedef unsigned char glyph_sheet[SHEET_BYTES];

// Whether a picture of this size is a sheet.
constexpr bool is_sheet_size(unsigned long long width, unsigned long long height)
{
    return width == 64 && height == 128;
}

// Whether a file of `length` bytes may be a raw font as glyphsheet reads it
// and glyphrip writes it.
constexpr bool is_font_length(unsigned long long length) { return length == SHEET_BYTES; }

// Room for why a reader refuses its input: one line, without the file's
// name.
enum { REASON_SIZE = 128 };

// Each returns 0, or -1 with errno set by the stream operation that failed;
// a reader also returns 1 with `why` filled in for an input it refuses. None
// opens, closes or reports anything. A one-bit sheet or a font that ends
// early is no failure: what it lacks is 0xFF.
int read_sheet(FILE *in, glyph_sheet sheet, char why[REASON_SIZE]); // a 64 x 128 picture of any kind read
int read_font(FILE *in, glyph_sheet sheet, char why[REASON_SIZE]);  // raw font, glyphs column by column
int write_font(const glyph_sheet sheet, FILE *out);
// The sheet as a picture of black ink on white paper: a one-bit BMP, a
// one-bit PNG, raw PBM, PGM or PPM.
int write_sheet(const glyph_sheet sheet, FILE *out);
int write_png(const glyph_sheet sheet, FILE *out);
int write_pbm(const glyph_sheet sheet, FILE *out);
int write_pgm(const glyph_sheet sheet, FILE *out);
int write_ppm(const glyph_sheet sheet, FILE *out);

typedef int (*sheet_writer)(const glyph_sheet sheet, FILE *out);

// The ending of an output's name, lower case, without the dot: "" where it
// has none, and for an output that is no regular file; "?" where it is no
// short ASCII word.
enum { ENDING_SIZE = 16 };

// One program: its name, for the usage line, what it reads, and what it
// writes for an output of a given ending, or nullptr with `why` filled in
// for one it will not write.
struct conversion {
    const char *name;
    int (*read)(FILE *in, glyph_sheet sheet, char why[REASON_SIZE]);
    sheet_writer (*writer_for)(const char *ending, char why[REASON_SIZE]);
    bool keeps_pictures; // writes nothing over an existing picture
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

// Runs `name infile outfile` as the whole process does; gives the exit
// status, having reported any failure on standard error.
int run_conversion(const conversion &how, int argc, path_char *argv[]);

#endif
