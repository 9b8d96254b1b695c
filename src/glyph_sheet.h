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

// Room for why a reader refuses its input: one line, without the file's
// name.
enum { REASON_SIZE = 128 };

// Each returns 0, or -1 with errno set by the stream operation that failed;
// a reader also returns 1 with `why` filled in for an input it refuses. None
// opens, closes or reports anything. A one-bit sheet or a font that ends
// early is no failure: what it lacks is 0xFF.
int read_sheet(FILE *in, glyph_sheet sheet, char why[REASON_SIZE]); // a 64 x 128 picture: BMP, PNG or netpbm
int write_sheet(const glyph_sheet sheet, FILE *out);
int read_font(FILE *in, glyph_sheet sheet, char why[REASON_SIZE]); // raw font, glyphs column by column
int write_font(const glyph_sheet sheet, FILE *out);

// One program: its name, for the usage line, and what it reads and writes.
struct conversion {
    const char *name;
    int (*read)(FILE *in, glyph_sheet sheet, char why[REASON_SIZE]);
    int (*write)(const glyph_sheet sheet, FILE *out);
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

// Runs `name infile outfile` as the whole process does; gives the exit
// status, having reported any failure on standard error.
int run_conversion(const conversion &how, int argc, path_char *argv[]);

#endif
