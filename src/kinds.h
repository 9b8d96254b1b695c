// What a file is, told by its first bytes alone, whatever it is called:
// the pictures glyphrip reads, and every other kind of file a person may
// hand it, each with what to do instead.
#ifndef GLYPHRIP_KINDS_H
#define GLYPHRIP_KINDS_H

#include <cstddef>
#include <cstdint>

#include "input.h"

// The reader of a kind, if glyphrip reads it.
enum class reader { none, bmp, png, netpbm, tga };

struct file_kind {
    const char *name;   // "a PNG picture", "a GIMP XCF file"
    const char *advice; // what to do instead, where no reader reads it
    reader read_by;
    const char *endings; // of its files' names, lower case, "jpg jpeg jpe jfif"
};

// How sure a match is. A raw font may begin with any bytes at all, so only
// a long fixed signature or a whole consistent header says `sure`; two or
// three bytes, or a few plausible header fields, say `likely`.
enum class sureness { likely, sure };

// The kind of the file, if it is one of at least `at_least` sureness;
// otherwise nullptr. Where several kinds match, the surest wins; `sure`
// says whether it is a sure one.
const file_kind *kind_of(const first_bytes &file, sureness at_least, bool *sure = nullptr);

// Whether the first bytes at hand, fewer than LOOK_BYTES, may begin a
// kind whose sign stands further on, for the reader of a pipe to read on.
bool wants_more(const first_bytes &file);

// The kind whose files' names end in `ending` (lower case, without the
// dot), if any.
const file_kind *kind_by_ending(const char *ending);

// The header checks that belong to a format's own file, for the table.
bool is_bmp(const unsigned char *start, size_t length);
// A netpbm header wholly in `start`, or, where more of the file follows,
// one that fills it without fault.
bool is_whole_netpbm_header(const unsigned char *start, size_t length, bool more_follows);
bool is_tga_header(const unsigned char *start, size_t length);
// Bytes 12 to 15 give a sheet's width and height as TGA stores them.
bool is_tga_of_sheet_size(const unsigned char *start, size_t length);

// The kind of the input, as kind_of tells it, while none has been taken:
// looking as far into it as a sign needs, and at its end only where its
// first bytes name nothing, or nothing sure where sureness matters.
const file_kind *kind_of_input(input &in, sureness at_least, bool *sure = nullptr);
// What an existing file is, where a raw font may stand: the kind a sure
// sign names, or for a file of another length than a raw font's (1024,
// 2048, or `font_length`, that of the one about to be written) any sign;
// nullptr where it may be a font. The programs keep such a file from being
// written over, and the page takes a dropped one for a picture.
const file_kind *kind_beside_fonts(input &in, std::uint64_t font_length = 0);

#endif
