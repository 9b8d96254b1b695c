// What the tests share: files in fresh directories, the file each program
// must make of its input, and running the built executables.
#ifndef GLYPHRIP_TESTS_HARNESS_H
#define GLYPHRIP_TESTS_HARNESS_H

#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

// A sheet file: the pixel data from byte 62 on; a raw font: 1024 bytes, or
// 2048 for 256 glyphs.
constexpr size_t pixel_start = 62;
constexpr size_t font_size = 1024;
constexpr size_t wide_font_size = 2048;
constexpr size_t sheet_size = pixel_start + font_size;

// Bit i goes to bit 7 - i, spelled out one bit at a time.
int mirror(int v);

bytes slurp(const std::string &path);
void spill(const std::string &path, const bytes &content);
bool exists(const std::string &path);

// A new empty directory, and its removal with whatever the tool left in and
// beside it.
std::string fresh_dir();
void remove_dir(const std::string &dir);

// The raw font a sheet file must give, and the sheet file a font must give,
// written from the glyph order rather than from the tools' loops: font byte
// 128c + 8g + s is the mirror of sheet file byte 62 + 8 * (127 - 8g - s) + c.
// Where the input has ended, its bytes count as 0xFF. A sheet starts with
// the example sheet's header. A font of more than 1024 bytes is 256 glyphs
// on a 128 x 128 sheet, glyph n in column n mod 16 and glyph row n / 16:
// font byte 8n + s is the mirror of sheet file byte 62 + 16 * (127 - 8 *
// (n / 16) - s) + n mod 16. A font shorter than its glyphs is filled with
// 0xFF bytes.
bytes font_of(const bytes &sheet_file);
bytes sheet_of(const bytes &font);
// The font as glyphrip reads it back: filled with 0xFF bytes to 1024 or
// 2048, and past 2048 cut.
bytes whole_font(const bytes &font);

// A BMP laid out as its writers do: file header, an information header of
// `header_size` bytes (12 is OS/2's core header, whose sizes are 16 bits
// and unsigned), a two-colour table, then `pixels` as they stand in the
// file.
struct bmp_fields {
    unsigned header_size;
    bool top_down = false;
    int width = 64, height = 128, bits = 1, compression = 0;
    long long data_offset = -1; // -1: right after the colour table
    bool black_first = false;   // colour 0 black and colour 1 white
};
bytes bmp_file(const bmp_fields &f, const bytes &pixels);

// A PNG made of chunks, for pictures that are damaged on purpose.
bytes png_chunk(const std::string &type, const bytes &data);
bytes png_header(int width, int height, int depth, int colour_type, int interlace = 0);
bytes png_data(const bytes &filtered); // an IDAT chunk of the bytes deflated
// A picture's rows, top first, of `bits`-bit pixels packed leftmost first,
// as PNG filters them: in Adam7's passes where `interlaced`, each row under
// a filter picked at random from `seed`.
bytes png_rows(const bytes &pixels, int bits, bool interlaced, unsigned seed, size_t width = 64, size_t height = 128);
bytes png_file(const std::vector<bytes> &chunks); // signature, chunks, then IEND

// A sheet file (see sheet_of) drawn again as a paint program saves it:
// its 1 bits as black ink on white paper, or for png_alpha and pam_alpha as
// black ink on transparent black paper, which only the transparency tells
// from ink and which a sheet of ink alone still gives; png is interlaced,
// and both PNGs' rows filtered; bmp32's fourth byte is 0, as many writers
// leave it; tga is run-length encoded, top row first.
enum class redraw { png, png_alpha, bmp24, bmp32, ppm, pbm, pam_alpha, tga };
bytes redrawn(redraw as, const bytes &sheet_file);
// The font glyphrip gives for a font's sheet redrawn so: the font, but for
// a font more than half ink, and not all, on opaque paper, whose side
// with fewer pixels, its paper, is taken as the ink.
bytes as_read(const bytes &font, redraw as);

enum class feed_by { none, pipe, fifo }; // how `feed` reaches the tool

// Standard error is a text stream: on Windows each newline goes out as
// CR LF. Gives `text` as the platform writes it.
std::string as_written(const std::string &text);

struct outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs a command line in `dir`, its first word glyphrip or glyphsheet,
// catching standard output and error in files beside `dir`. With
// feed_by::pipe, `feed` is its standard input; with feed_by::fifo it is
// written into the FIFO dir/in.fifo.
outcome run_tool(const std::string &dir, const std::vector<std::string> &command, feed_by how = feed_by::none,
                 const bytes &feed = {});

#endif
