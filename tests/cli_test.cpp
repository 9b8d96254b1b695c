// The built executable against a table of command lines: exit status, the
// exact text on standard error, nothing on standard output, and the files
// left behind.
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "harness.h"

namespace {

namespace fs = std::filesystem;

const char usage[] = "Usage: glyphrip infile outfile\n";

// Pseudo-random pixel bytes, so that any byte out of place shows, behind a
// header of its own.
bytes test_sheet()
{
    bytes b(62 + 1024);
    unsigned x = 12345;
    for (auto &v : b) {
        x = x * 1103515245U + 12345U;
        v = static_cast<unsigned char>(x >> 16);
    }
    b[0] = 'B';
    b[1] = 'M';
    return b;
}

const bytes sheet = test_sheet();
const bytes short_sheet(sheet.begin(), sheet.end() - 6);
const bytes old_font(2000, 'x');

// What a run finds in its own fresh directory.
void lay_out(const std::string &dir)
{
    spill(dir + "/sheet.bmp", sheet);
    spill(dir + "/-sheet.bmp", sheet);
    spill(dir + "/short.bmp", short_sheet);
    spill(dir + "/empty.bmp", {});
    spill(dir + "/old.raw", old_font);
    fs::create_directory(dir + "/fonts");
    fs::create_hard_link(dir + "/sheet.bmp", dir + "/hard.bmp");
#ifndef _WIN32
    fs::create_symlink("sheet.bmp", dir + "/soft.bmp");
    ASSERT_EQ(mkfifo((dir + "/sheet.fifo").c_str(), 0644), 0);
#endif
}

enum class on { any, posix, windows }; // where a case means something
enum class content { nothing, font_of_sheet, font_of_short, all_ff, as_before };

struct cli_case {
    const char *name;
    on where;
    std::vector<std::string> args;
    feed_by feed;
    int status;
    std::string err;
    const char *file; // looked at afterwards
    content holds;
};

std::ostream &operator<<(std::ostream &os, const cli_case &c) { return os << c.name; }

// Each case runs in a fresh directory laid out by lay_out(); the number is
// the exit status. Windows reports a directory as "Permission denied" and
// has neither FIFOs, /dev/stdin nor /dev/full, but must still know one file
// however its name is spelt.
const cli_case all_cases[] = {
    // clang-format off
    // name                    where        args                                  feed              standard error                                   file         afterwards
    {"converts",               on::any,     {"sheet.bmp", "font.raw"},            feed_by::none, 0, "",                                              "font.raw",  content::font_of_sheet},
    {"replaces_longer",        on::any,     {"sheet.bmp", "old.raw"},             feed_by::none, 0, "",                                              "old.raw",   content::font_of_sheet},
    {"dash_led_paths",         on::any,     {"-sheet.bmp", "-font.raw"},          feed_by::none, 0, "",                                              "-font.raw", content::font_of_sheet},
    {"short_input",            on::any,     {"short.bmp", "font.raw"},            feed_by::none, 0, "",                                              "font.raw",  content::font_of_short},
    {"empty_input",            on::any,     {"empty.bmp", "font.raw"},            feed_by::none, 0, "",                                              "font.raw",  content::all_ff},
    {"pipe",                   on::posix,   {"/dev/stdin", "font.raw"},           feed_by::pipe, 0, "",                                              "font.raw",  content::font_of_sheet},
    {"fifo",                   on::posix,   {"sheet.fifo", "font.raw"},           feed_by::fifo, 0, "",                                              "font.raw",  content::font_of_sheet},
    {"no_arguments",           on::any,     {},                                   feed_by::none, 1, usage,                                           "font.raw",  content::nothing},
    {"one_argument",           on::any,     {"sheet.bmp"},                        feed_by::none, 1, usage,                                           "sheet.bmp", content::as_before},
    {"three_arguments",        on::any,     {"sheet.bmp", "font.raw", "x"},       feed_by::none, 1, usage,                                           "font.raw",  content::nothing},
    {"missing_input",          on::any,     {"missing.bmp", "font.raw"},          feed_by::none, 1, "missing.bmp: No such file or directory\n",      "font.raw",  content::nothing},
    {"missing_input_keeps",    on::any,     {"missing.bmp", "old.raw"},           feed_by::none, 1, "missing.bmp: No such file or directory\n",      "old.raw",   content::as_before},
    {"empty_input_path",       on::any,     {"", "font.raw"},                     feed_by::none, 1, "No such file or directory\n",                   "font.raw",  content::nothing},
    {"input_is_directory",     on::posix,   {"fonts", "font.raw"},                feed_by::none, 1, "fonts: Is a directory\n",                       "font.raw",  content::nothing},
    {"input_dir_keeps",        on::posix,   {"fonts", "old.raw"},                 feed_by::none, 1, "fonts: Is a directory\n",                       "old.raw",   content::as_before},
    {"input_is_directory",     on::windows, {"fonts", "font.raw"},                feed_by::none, 1, "fonts: Permission denied\n",                    "font.raw",  content::nothing},
    {"output_dir_missing",     on::any,     {"sheet.bmp", "nodir/font.raw"},      feed_by::none, 1, "nodir/font.raw: No such file or directory\n",   "sheet.bmp", content::as_before},
    {"output_is_directory",    on::posix,   {"sheet.bmp", "fonts"},               feed_by::none, 1, "fonts: Is a directory\n",                       "sheet.bmp", content::as_before},
    {"output_is_directory",    on::windows, {"sheet.bmp", "fonts"},               feed_by::none, 1, "fonts: Permission denied\n",                    "sheet.bmp", content::as_before},
    {"empty_output_path",      on::any,     {"sheet.bmp", ""},                    feed_by::none, 1, "No such file or directory\n",                   "sheet.bmp", content::as_before},
    {"disk_full",              on::posix,   {"sheet.bmp", "/dev/full"},           feed_by::none, 1, "/dev/full: No space left on device\n",          "sheet.bmp", content::as_before},
    {"same_path",              on::any,     {"sheet.bmp", "sheet.bmp"},           feed_by::none, 1, "sheet.bmp: Same file as the input\n",           "sheet.bmp", content::as_before},
    {"same_respelled",         on::any,     {"sheet.bmp", "fonts/../sheet.bmp"},  feed_by::none, 1, "fonts/../sheet.bmp: Same file as the input\n",  "sheet.bmp", content::as_before},
    {"same_hard_link",         on::any,     {"sheet.bmp", "hard.bmp"},            feed_by::none, 1, "hard.bmp: Same file as the input\n",            "sheet.bmp", content::as_before},
    {"same_symlink",           on::posix,   {"sheet.bmp", "soft.bmp"},            feed_by::none, 1, "soft.bmp: Same file as the input\n",            "sheet.bmp", content::as_before},
    {"same_via_symlink",       on::posix,   {"soft.bmp", "sheet.bmp"},            feed_by::none, 1, "sheet.bmp: Same file as the input\n",           "sheet.bmp", content::as_before},
    {"same_other_case",        on::windows, {"sheet.bmp", "SHEET.BMP"},           feed_by::none, 1, "SHEET.BMP: Same file as the input\n",           "sheet.bmp", content::as_before},
    {"same_backslashes",       on::windows, {"sheet.bmp", R"(.\fonts\..\sheet.bmp)"}, feed_by::none, 1, R"(.\fonts\..\sheet.bmp: Same file as the input)" "\n", "sheet.bmp", content::as_before},
    // clang-format on
};

#ifdef _WIN32
constexpr on this_system = on::windows;
#else
constexpr on this_system = on::posix;
#endif

std::vector<cli_case> cases_here()
{
    std::vector<cli_case> here;
    for (const auto &c : all_cases)
        if (c.where == on::any || c.where == this_system)
            here.push_back(c);
    return here;
}

class CommandLine : public testing::TestWithParam<cli_case> {};

TEST_P(CommandLine, Run)
{
    const cli_case &c = GetParam();
    std::string dir = fresh_dir();
    lay_out(dir);
    outcome o = run_tool(dir, c.args, c.feed, sheet);

    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, as_written(c.err));
    EXPECT_EQ(o.out, "");
    std::string file = dir + "/" + c.file;
    switch (c.holds) {
    case content::nothing: EXPECT_FALSE(exists(file)); break;
    case content::font_of_sheet: EXPECT_EQ(slurp(file), font_of(sheet)); break;
    case content::font_of_short: EXPECT_EQ(slurp(file), font_of(short_sheet)); break;
    case content::all_ff: EXPECT_EQ(slurp(file), bytes(1024, 0xFF)); break;
    case content::as_before: EXPECT_EQ(slurp(file), std::string(c.file) == "old.raw" ? old_font : sheet); break;
    }
    remove_dir(dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine, testing::ValuesIn(cases_here()),
                         [](const testing::TestParamInfo<cli_case> &i) { return std::string(i.param.name); });

// The example sheet converts to the font checked in beside it, which was
// written from the glyph drawings, not by this tool.
TEST(Example, ConvertsToTheCheckedInFont)
{
    std::string dir = fresh_dir();
    outcome o = run_tool(dir, {EXAMPLES_DIR "/sheet.bmp", dir + "/font.raw"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(slurp(dir + "/font.raw"), slurp(EXAMPLES_DIR "/font.raw"));
    remove_dir(dir);
}

} // namespace
