// What the command-line tests share: files in fresh directories, the font a
// sheet file must give, and running the built executable.
#ifndef GLYPHRIP_TESTS_HARNESS_H
#define GLYPHRIP_TESTS_HARNESS_H

#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

bytes slurp(const std::string &path);
void spill(const std::string &path, const bytes &content);
bool exists(const std::string &path);

// A new empty directory, and its removal with whatever the tool left in and
// beside it.
std::string fresh_dir();
void remove_dir(const std::string &dir);

// The raw font a sheet file must give, written from the glyph order rather
// than from the tool's loops: font byte 128c + 8g + s is the mirror of file
// byte 62 + 8 * (127 - 8g - s) + c, or 0xFF where the file has ended.
bytes font_of(const bytes &file);

enum class feed_by { none, pipe, fifo }; // how `feed` reaches the tool

// Standard error is a text stream: on Windows each newline goes out as
// CR LF. Gives `text` as the platform writes it.
std::string as_written(const std::string &text);

struct outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs the tool in `dir` with `args`, catching its standard output and error
// in files beside `dir`. With feed_by::pipe, `feed` is its standard input;
// with feed_by::fifo it is written into the FIFO dir/sheet.fifo.
outcome run_tool(const std::string &dir, const std::vector<std::string> &args, feed_by how = feed_by::none,
                 const bytes &feed = {});

#endif
