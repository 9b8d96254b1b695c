// The built executable against a table of command lines: exit status, the
// exact text on standard error, nothing on standard output, and the files
// left behind.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using bytes = std::vector<unsigned char>;

const char usage[] = "Usage: glyphrip infile outfile\n";

bytes slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void spill(const std::string &path, const bytes &content)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(content.data()),
                                                static_cast<std::streamsize>(content.size()));
}

// Pseudo-random pixel bytes, so that any byte out of place shows, behind a
// header of its own.
bytes test_sheet()
{
    bytes b(62 + 1024);
    unsigned x = 12345;
    for (auto &v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<unsigned char>(x >> 16);
    }
    b[0] = 'B';
    b[1] = 'M';
    return b;
}

// The raw font a sheet file must give, written from the glyph order rather
// than from the tool's loops: font byte 128c + 8g + s is the mirror of file
// byte 62 + 8 * (127 - 8g - s) + c, or 0xFF where the file has ended.
bytes font_of(const bytes &file)
{
    bytes font(1024);
    for (int c = 0; c < 8; c++)
        for (int g = 0; g < 16; g++)
            for (int s = 0; s < 8; s++) {
                size_t at = static_cast<size_t>(62 + 8 * (127 - 8 * g - s) + c);
                int v = at < file.size() ? file[at] : 0xFF, m = 0;
                for (int i = 0; i < 8; i++)
                    if (v & (1 << i))
                        m |= 1 << (7 - i);
                font[static_cast<size_t>(128 * c + 8 * g + s)] = static_cast<unsigned char>(m);
            }
    return font;
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
    ASSERT_EQ(mkdir((dir + "/fonts").c_str(), 0755), 0);
    ASSERT_EQ(link((dir + "/sheet.bmp").c_str(), (dir + "/hard.bmp").c_str()), 0);
    ASSERT_EQ(symlink("sheet.bmp", (dir + "/soft.bmp").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/sheet.fifo").c_str(), 0644), 0);
}

enum class feed_by { none, pipe, fifo };  // how sheet.bmp reaches the tool
enum class content { nothing, font_of_sheet, font_of_short, all_ff, as_before };

struct cli_case {
    const char *name;
    std::vector<std::string> args;
    feed_by feed;
    int status;
    std::string err;
    const char *file;  // looked at afterwards
    content holds;
};

std::ostream &operator<<(std::ostream &os, const cli_case &c) { return os << c.name; }

// Each case runs in a fresh directory laid out by lay_out(); the number is
// the exit status.
const cli_case cases[] = {
    // clang-format off
    // name                 args                                 feed              standard error                                  file         afterwards
    {"converts",            {"sheet.bmp", "font.raw"},           feed_by::none, 0, "",                                             "font.raw",  content::font_of_sheet},
    {"replaces_longer",     {"sheet.bmp", "old.raw"},            feed_by::none, 0, "",                                             "old.raw",   content::font_of_sheet},
    {"dash_led_paths",      {"-sheet.bmp", "-font.raw"},         feed_by::none, 0, "",                                             "-font.raw", content::font_of_sheet},
    {"short_input",         {"short.bmp", "font.raw"},           feed_by::none, 0, "",                                             "font.raw",  content::font_of_short},
    {"empty_input",         {"empty.bmp", "font.raw"},           feed_by::none, 0, "",                                             "font.raw",  content::all_ff},
    {"pipe",                {"/dev/stdin", "font.raw"},          feed_by::pipe, 0, "",                                             "font.raw",  content::font_of_sheet},
    {"fifo",                {"sheet.fifo", "font.raw"},          feed_by::fifo, 0, "",                                             "font.raw",  content::font_of_sheet},
    {"no_arguments",        {},                                  feed_by::none, 1, usage,                                          "font.raw",  content::nothing},
    {"one_argument",        {"sheet.bmp"},                       feed_by::none, 1, usage,                                          "sheet.bmp", content::as_before},
    {"three_arguments",     {"sheet.bmp", "font.raw", "x"},      feed_by::none, 1, usage,                                          "font.raw",  content::nothing},
    {"missing_input",       {"missing.bmp", "font.raw"},         feed_by::none, 1, "missing.bmp: No such file or directory\n",     "font.raw",  content::nothing},
    {"missing_input_keeps", {"missing.bmp", "old.raw"},          feed_by::none, 1, "missing.bmp: No such file or directory\n",     "old.raw",   content::as_before},
    {"empty_input_path",    {"", "font.raw"},                    feed_by::none, 1, "No such file or directory\n",                  "font.raw",  content::nothing},
    {"input_is_directory",  {"fonts", "font.raw"},               feed_by::none, 1, "fonts: Is a directory\n",                      "font.raw",  content::nothing},
    {"input_dir_keeps",     {"fonts", "old.raw"},                feed_by::none, 1, "fonts: Is a directory\n",                      "old.raw",   content::as_before},
    {"output_dir_missing",  {"sheet.bmp", "nodir/font.raw"},     feed_by::none, 1, "nodir/font.raw: No such file or directory\n",  "sheet.bmp", content::as_before},
    {"output_is_directory", {"sheet.bmp", "fonts"},              feed_by::none, 1, "fonts: Is a directory\n",                      "sheet.bmp", content::as_before},
    {"empty_output_path",   {"sheet.bmp", ""},                   feed_by::none, 1, "No such file or directory\n",                  "sheet.bmp", content::as_before},
    {"disk_full",           {"sheet.bmp", "/dev/full"},          feed_by::none, 1, "/dev/full: No space left on device\n",         "sheet.bmp", content::as_before},
    {"same_path",           {"sheet.bmp", "sheet.bmp"},          feed_by::none, 1, "sheet.bmp: Same file as the input\n",          "sheet.bmp", content::as_before},
    {"same_respelled",      {"sheet.bmp", "fonts/../sheet.bmp"}, feed_by::none, 1, "fonts/../sheet.bmp: Same file as the input\n", "sheet.bmp", content::as_before},
    {"same_hard_link",      {"sheet.bmp", "hard.bmp"},           feed_by::none, 1, "hard.bmp: Same file as the input\n",           "sheet.bmp", content::as_before},
    {"same_symlink",        {"sheet.bmp", "soft.bmp"},           feed_by::none, 1, "soft.bmp: Same file as the input\n",           "sheet.bmp", content::as_before},
    {"same_via_symlink",    {"soft.bmp", "sheet.bmp"},           feed_by::none, 1, "sheet.bmp: Same file as the input\n",          "sheet.bmp", content::as_before},
    // clang-format on
};

struct outcome {
    int status;
    std::string out;
    std::string err;
};

std::string text_of(const std::string &path)
{
    bytes b = slurp(path);
    return std::string(b.begin(), b.end());
}

// Runs the tool in `dir` with standard output and error caught in files
// beside it.
outcome run(const std::string &dir, const std::vector<std::string> &args, feed_by how)
{
    int in[2];
    EXPECT_EQ(pipe(in), 0);
    pid_t writer = -1;
    if (how == feed_by::fifo) {
        writer = fork();
        if (writer == 0) {
            int fd = open((dir + "/sheet.fifo").c_str(), O_WRONLY);
            _exit(fd >= 0 && write(fd, sheet.data(), sheet.size()) == static_cast<ssize_t>(sheet.size()) ? 0 : 1);
        }
    }
    pid_t tool = fork();
    if (tool == 0) {
        std::vector<char *> argv{const_cast<char *>("glyphrip")};
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        dup2(in[0], 0);
        dup2(open((dir + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open((dir + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        if (chdir(dir.c_str()) == 0)
            execv(GLYPHRIP_EXE, argv.data());
        _exit(127);
    }
    close(in[0]);
    // The sheet fits in the pipe's buffer, so this cannot wait on the tool.
    if (how == feed_by::pipe) {
        EXPECT_EQ(write(in[1], sheet.data(), sheet.size()), static_cast<ssize_t>(sheet.size()));
    }
    close(in[1]);
    int status = 0;
    waitpid(tool, &status, 0);
    if (writer > 0) {
        int ws = 0;
        waitpid(writer, &ws, 0);
        EXPECT_EQ(ws, 0) << "the FIFO's writer failed";
    }
    EXPECT_TRUE(WIFEXITED(status));
    return {WEXITSTATUS(status), text_of(dir + ".out"), text_of(dir + ".err")};
}

std::string fresh_dir()
{
    char name[] = "/tmp/glyphrip-cli-XXXXXX";
    EXPECT_NE(mkdtemp(name), nullptr);
    return name;
}

class CommandLine : public testing::TestWithParam<cli_case> {};

TEST_P(CommandLine, Run)
{
    const cli_case &c = GetParam();
    std::string dir = fresh_dir();
    lay_out(dir);
    outcome o = run(dir, c.args, c.feed);

    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, "");
    std::string file = dir + "/" + c.file;
    switch (c.holds) {
    case content::nothing: EXPECT_FALSE(exists(file)); break;
    case content::font_of_sheet: EXPECT_EQ(slurp(file), font_of(sheet)); break;
    case content::font_of_short: EXPECT_EQ(slurp(file), font_of(short_sheet)); break;
    case content::all_ff: EXPECT_EQ(slurp(file), bytes(1024, 0xFF)); break;
    case content::as_before: EXPECT_EQ(slurp(file), std::string(c.file) == "old.raw" ? old_font : sheet); break;
    }
    std::system(("rm -rf '" + dir + "' '" + dir + ".out' '" + dir + ".err'").c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<cli_case> &i) { return std::string(i.param.name); });

// The example sheet converts to the font checked in beside it, which was
// written from the glyph drawings, not by this tool.
TEST(Example, ConvertsToTheCheckedInFont)
{
    std::string dir = fresh_dir();
    outcome o = run(dir, {EXAMPLES_DIR "/sheet.bmp", dir + "/font.raw"}, feed_by::none);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(slurp(dir + "/font.raw"), slurp(EXAMPLES_DIR "/font.raw"));
    std::system(("rm -rf '" + dir + "' '" + dir + ".out' '" + dir + ".err'").c_str());
}

} // namespace
