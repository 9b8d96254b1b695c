// One program's run, `name [options] infile outfile`: what it reads its
// input into and writes of it, the command line, and the one line a
// failure is reported in. The driver runs it; the page runs the same
// readers and writers over bytes in memory.
#ifndef GLYPHRIP_PROGRAM_H
#define GLYPHRIP_PROGRAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "glyph_sheet.h"
#include "layout.h"

// Where a writer puts the bytes it writes: a file, or memory of `room`
// bytes; `failed` once a write has, errno then saying why, or memory ran
// out.
struct sink {
    FILE *file;
    unsigned char *memory;
    size_t room, length;
    bool failed;
};
void put(sink &s, const void *bytes, size_t n);

// What a program writes to an output, by its name's ending: `write`, given
// the output's name without its folders and ending; and for the guard the
// length of a raw font it writes (0 where it writes none), or that it
// writes C source, which replaces only a file glyphrip or glyphcut wrote.
struct output {
    void (*write)(sink &s, const char *stem);
    std::uint64_t font_length;
    bool source;
};

// The ending of an output's name, lower case, without the dot: "" where it
// has none, and for an output that is no regular file; "?" where it is no
// short ASCII word.
enum { ENDING_SIZE = 16 };

// One program: its name and arguments, for the usage line; whether it
// takes options, which stand before the paths; what it reads; what it
// writes for an output of a given ending, or 1 with `why` filled in where
// it will not write it; and whether it writes nothing over an existing
// file it names.
struct conversion {
    const char *name, *arguments;
    bool takes_options;
    int (*read)(input &in, const told &t, char why[REASON_SIZE]);
    int (*output_for)(const char *ending, const told &t, output &out, char why[REASON_SIZE]);
    bool keeps_pictures;
};

// glyphrip's and glyphcut's: a picture read and its font cut by the layout
// told, and the raw font or, for an output named .h or .c, C source.
int read_font_picture(input &in, const told &t, char why[REASON_SIZE]);
int font_output(const char *ending, const told &t, output &out, char why[REASON_SIZE]);
const font &font_read(); // the last one read
// The picture it was cut from, and where the page keeps each pixel's
// colour as read, 4 bytes a pixel, room for MOST_PIXELS.
const struct ink &picture_read();
void keep_colours(unsigned char *rgba);
// Whether the first bytes of an existing file, `n` of them, are C source
// glyphrip or glyphcut wrote.
bool written_by_us(const unsigned char *start, size_t n);

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

// glyphcut's options, before the paths: fills `t`, and `paths` with where
// the first path stands. 0; 1 with `why` filled in for an option that is
// malformed, out of range, repeated or at odds with another; 2 for one it
// does not know, or a path missing.
int read_options(int argc, const char *const argv[], told &t, int &paths, char why[REASON_SIZE]);

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

// Runs the program with the command line given, as the whole process
// does; gives the exit status, having reported any failure on standard
// error.
int run_conversion(const conversion &how, int argc, path_char *argv[]);

#endif
