// The built executable against a table of command lines: exit status, the
// exact text on standard error, nothing on standard output, and the files
// left behind.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
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
const char sheet_usage[] = "Usage: glyphsheet infile outfile\n";

// Pseudo-random pixel bytes, so that any byte out of place shows, behind a
// header of its own: `BM`, but no BMP header of a known size, so it is read
// from byte 62. The font made of its pixels also starts with `BM` and is
// still a font. A quarter of its bits are set, so that drawn as a picture
// its ink is the side with fewer pixels.
bytes test_sheet()
{
    bytes b(sheet_size);
    unsigned x = 12345;
    for (auto &v : b) {
        x = x * 1103515245U + 12345U;
        v = static_cast<unsigned char>(x >> 16 & x >> 24);
    }
    b[0] = b[pixel_start] = 'B';
    b[1] = b[pixel_start + 1] = 'M';
    return b;
}

bytes joined(bytes a, const bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const bytes sheet = test_sheet();
const bytes short_sheet(sheet.begin(), sheet.end() - 6);
const bytes old_font(2000, 'x');
const bytes font(sheet.begin() + pixel_start, sheet.end());
const bytes short_font(font.begin(), font.end() - 20);
const bytes long_font = joined(font, old_font);
const bytes nothing_at_all;
// The font as paint programs save it; a one-bit BMP whose colour table
// makes 1 bits white, which keep their value.
const bytes drawing = sheet_of(font);
const bytes as_png = redrawn(redraw::png, drawing);
const bytes as_alpha = redrawn(redraw::png_alpha, drawing);
const bytes png_and_more = joined(as_png, old_font);
const bytes as_bmp24 = redrawn(redraw::bmp24, drawing);
const bytes as_bmp32 = redrawn(redraw::bmp32, drawing);
const bytes as_ppm = redrawn(redraw::ppm, drawing);
const bytes as_pbm = redrawn(redraw::pbm, drawing);
const bytes drawn = bmp_file({40}, bytes(sheet.begin() + pixel_start, sheet.end()));
const bytes by_value = bmp_file({40, false, 64, 128, 1, 0, -1, true}, bytes(sheet.begin() + pixel_start, sheet.end()));

bytes changed(bytes b, size_t at)
{
    b[at] ^= 0x01;
    return b;
}

bytes palette_rows(unsigned char index)
{
    bytes rows;
    for (int y = 0; y < 128; y++) {
        rows.push_back(0);
        rows.insert(rows.end(), 64, index);
    }
    return rows;
}

// What no sheet can be, damaged pictures, and a sheet, which is no font.
const bytes deep = bmp_file({40, false, 64, 128, 24}, font);
const bytes wide = bmp_file({108, false, 96, 64}, font);
const bytes jpeg_bmp = bmp_file({40, false, 64, 128, 24, 4}, font);
const bytes inside = bmp_file({40, false, 64, 128, 1, 0, 20}, font);
const bytes far = bmp_file({40, false, 64, 128, 1, 0, 0xFFFFFFFF}, font);
const bytes v5_cut(as_bmp32.begin(), as_bmp32.begin() + 30);
const bytes past_table = bmp_file({40, false, 64, 128, 8}, bytes(size_t{64} * 128, 5));
const bytes bad_crc = changed(as_png, 8 + 25 + 8 + 2);
const bytes cut_png(as_png.begin(), as_png.end() - 20);
const bytes no_idat = png_file({png_header(64, 128, 8, 2)});
const bytes few = png_file({png_header(64, 128, 8, 2), png_data(bytes(100, 0))});
const bytes no_inflate = png_file({png_header(64, 128, 8, 2), png_chunk("IDAT", bytes(50, 0xFF))});
const bytes past_palette =
    png_file({png_header(64, 128, 8, 3), png_chunk("PLTE", {0, 0, 0}), png_data(palette_rows(1))});
const bytes depth3 = png_file({png_header(64, 128, 3, 0)});
const bytes max0 = joined({'P', '5', '\n', '6', '4', ' ', '1', '2', '8', ' ', '0', '\n'}, font);
const bytes short_ppm(as_ppm.begin(), as_ppm.end() - 100);
const bytes jpeg = joined({0xFF, 0xD8, 0xFF, 0xE0}, font);
bytes text(const std::string &s) { return {s.begin(), s.end()}; }
// A PBM whose width has leading zeros and whose last number a comment
// follows directly, which a newline and then one white space byte end.
const bytes pbm_comment = joined(text("P4 00064 128#drawn\n\n"), bytes(as_pbm.begin() + 10, as_pbm.end()));
// The same as plain PBM, where the comment's newline ends the header.
bytes plain_of(const bytes &pbm)
{
    bytes b = text("P1 64 128#drawn\n");
    for (size_t i = 10; i < pbm.size(); i++)
        for (int bit = 7; bit >= 0; bit--)
            b.push_back((pbm[i] >> bit & 1) != 0 ? '1' : '0');
    return b;
}
const bytes plain_comment = plain_of(as_pbm);
const bytes ppm_malformed = joined(text("P6 64 128 255x"), font);
const bytes png_bmp = bmp_file({40, false, 64, 128, 0, 5}, as_png); // as Java's ImageIO writes
const bytes xcf = joined(text(std::string("gimp xcf v011\0", 14)), font);
const bytes psd = joined(text(std::string("8BPS\0\1", 6)), font);
const bytes gzip = joined({0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3}, font);
const bytes kra = joined(joined(text(std::string("PK\3\4", 4)), bytes(22, 0)),
                         joined({8, 0, 0, 0}, text("mimetypeapplication/x-krita")));
// A font whose first bytes agree as a TGA header's would.
const bytes tga_font =
    joined(text(std::string("\0\0\2\0\0\0\0\0\0\0\0\0\x40\0\x80\0\x18\x20", 18)), bytes(font.begin() + 18, font.end()));
// Files glyphrip names only as likely: a bare JPEG XL codestream, a JPEG
// that begins with its quantisation tables, an icon, each as long as a
// picture is; a text file that begins as a PBM header would; and a font
// that begins like a JPEG XL codestream, which is a font's length.
const bytes jxl = joined({0xFF, 0x0A, 0xFA, 0x1F}, old_font);
const bytes jpeg_dqt = joined({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43}, old_font);
const bytes icon = joined({0, 0, 1, 0, 1, 0, 64, 64, 0, 0, 1, 0, 32, 0, 0x28, 0x40, 0, 0, 22, 0, 0, 0}, old_font);
const bytes p1_notes = text("P1 notes on the font\n");
const bytes jxl_font = joined({0xFF, 0x0A}, bytes(font.begin() + 2, font.end()));
const bytes jxl_wide_font = joined(jxl_font, font);
// A sheet of a font of line feeds, at each of which Windows' C library
// writes out what it holds.
const bytes line_feeds(sheet_size, 0x50);
// 256 glyphs, and their sheet of 16 x 16; a font more than half ink; the
// font drawn as light ink on dark paper, which covers more of it.
const bytes wide_font = joined(font, font);
const bytes wide_sheet = sheet_of(wide_font);
const bytes mostly_ink(font_size, 0xF8);
bytes inverted(bytes b)
{
    for (auto &v : b)
        v = static_cast<unsigned char>(~v);
    return b;
}
const bytes light_on_dark = redrawn(redraw::ppm, sheet_of(inverted(font)));

// `header`, then bytes of no meaning up to `length`.
bytes headed(const std::string &header, size_t length)
{
    bytes b = text(header);
    for (size_t i = b.size(); i < length; i++)
        b.push_back(static_cast<unsigned char>(i * 7 + 3));
    return b;
}
// Big-endian 32-bit fields.
std::string be32s(std::initializer_list<unsigned> fields)
{
    std::string s;
    for (unsigned v : fields)
        for (int shift = 24; shift >= 0; shift -= 8)
            s += static_cast<char>(v >> shift & 0xFF);
    return s;
}
// A TGA of a blank sheet, run-length encoded, that ends with TGA 2.0's
// footer at `length` bytes.
bytes tga_with_footer(size_t length)
{
    bytes b = text(std::string("\0\0\x0B\0\0\0\0\0\0\0\0\0\x40\0\x80\0\x08\x20", 18));
    for (int packet = 0; packet < 64; packet++)
        b.insert(b.end(), {0xFF, 0xFF}); // 128 white pixels
    b.resize(length - 26, 0);
    bytes footer = text(std::string("\0\0\0\0\0\0\0\0TRUEVISION-XFILE.\0", 26));
    b.insert(b.end(), footer.begin(), footer.end());
    return b;
}
// A tar archive's first header: a name, a mode, and POSIX's magic.
bytes tar_header()
{
    bytes b = headed(std::string("sheet.png") + std::string(91, '\0') + "0000644", 1024);
    for (size_t i = 108; i < 512; i++)
        b[i] = 0;
    bytes magic = text(std::string("ustar\0"
                                   "00",
                                   8));
    std::copy(magic.begin(), magic.end(), b.begin() + 257);
    return b;
}
const std::string svg_prologue = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\n"
                                 "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\"\n"
                                 "  \"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">\n"
                                 "<!-- Created with matplotlib (https://matplotlib.org/) -->\n"
                                 "<svg xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"64pt\" height=\"128pt\">\n";

// Codes 32 to 127 of the font as a strip of one row, 768 x 8, in a
// one-bit grey PNG whose 1 is white: ink black on white.
bytes strip_of(const bytes &f)
{
    bytes pixels(768);
    for (size_t g = 0; g < 96; g++)
        for (size_t s = 0; s < 8; s++)
            pixels[s * 96 + g] = static_cast<unsigned char>(~mirror(f[8 * (32 + g) + s]));
    return png_file({png_header(768, 8, 1, 0), png_data(png_rows(pixels, 1, false, 3, 768, 8))});
}
const bytes strip = strip_of(font);
const bytes font_of_strip(font.begin() + 256, font.end());
const bytes their_header = text("#include <stdio.h>\nint main(void) { return 0; }\n");
const bytes our_header =
    text("/* Written by glyphcut: 1 glyph of 8 x 8 */\nstatic const unsigned char old[1][8] = {{0}};\n");
// A text file as long as the strip's font, which begins as a PBM does.
const bytes p1_run = joined(text("P1\n"), bytes(765, '0'));

// Files of every kind glyphrip names, as their own writers begin them,
// given as the output by mistake: each is kept. Those of a raw font's
// length, 1024 or 2048 bytes, are named by a long signature or a whole
// header; the rest, which only look like a kind, are longer.
const struct kept_kind {
    const char *case_name, *file;
    bytes content;
    const char *kind;
} kept_kinds[] = {
    {"keeps_tga_by_footer", "sheet.tga", tga_with_footer(1024), "a TGA picture"},
    {"keeps_tga_256_by_footer", "sheet256.tga", tga_with_footer(2048), "a TGA picture"},
    {"keeps_aseprite_of_its_length", "sheet.aseprite",
     headed(std::string("\0\4\0\0\xE0\xA5\1\0\x40\0\x80\0\x20\0\1\0\0\0\x64\0", 20) + std::string(8, '\0'), 1024),
     "an Aseprite file"},
    {"keeps_svg_after_doctype", "sheet.svg", headed(svg_prologue, 1024), "an SVG drawing"},
    {"keeps_ilbm", "sheet.iff", headed(std::string("FORM\0\0\3\xF8ILBMBMHD\0\0\0\x14", 20), 1024),
     "an IFF ILBM picture"},
    {"keeps_graphicsgale", "sheet.gal", headed("GaleX200", 1024), "a GraphicsGale file"},
    {"keeps_paint_shop_pro", "sheet.pspimage",
     headed(std::string("Paint Shop Pro Image File\n\x1a\0\0\0\0\0", 32), 1024), "a Paint Shop Pro file"},
    {"keeps_mng", "sheet.mng", headed(std::string("\x8AMNG\r\n\x1a\n\0\0\0\x1CMHDR", 16), 1024), "an MNG animation"},
    {"keeps_jng", "sheet.jng", headed(std::string("\x8BJNG\r\n\x1a\n\0\0\0\x10JHDR", 16), 1024), "a JNG picture"},
    {"keeps_tar", "sheet.tar", tar_header(), "a tar archive"},
    {"keeps_rar", "sheet.rar", headed(std::string("Rar!\x1A\x07\x01\0", 8), 1024), "a RAR archive"},
    {"keeps_cpio", "sheet.cpio", headed("07070100000001000081a4", 1024), "a cpio archive"},
    {"keeps_ar", "sheet.a", headed("!<arch>\ndebian-binary   ", 1024), "an ar archive"},
    {"keeps_lz4", "sheet.png.lz4", headed(std::string("\x04\x22\x4D\x18\x64\x40\xA7", 7), 1024), "an LZ4 file"},
    {"keeps_compress", "sheet.png.Z", headed(std::string("\x1F\x9D\x90", 3), 2000), "a compress (.Z) file"},
    {"keeps_office", "sheet.doc", headed(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8), 1024),
     "a Microsoft Office document"},
    {"keeps_sqlite", "fonts.db", headed(std::string("SQLite format 3\0\x10\0\1\1", 20), 1024), "an SQLite database"},
    {"keeps_elf", "glyphs",
     headed(std::string("\x7F"
                        "ELF\2\1\1\0",
                        8),
            1024),
     "an ELF program"},
    {"keeps_wav", "beep.wav", headed(std::string("RIFF\xF8\3\0\0WAVEfmt ", 16), 1024), "a WAV sound"},
    {"keeps_avi", "clip.avi", headed(std::string("RIFF\xF8\3\0\0AVI LIST", 16), 1024), "an AVI video"},
    {"keeps_mp4", "clip.mp4",
     headed(std::string("\0\0\0\x18"
                        "ftypmp42\0\0\0\0mp42isom",
                        24),
            1024),
     "an MP4 or QuickTime video"},
    {"keeps_fits", "sheet.fits", headed("SIMPLE  =                    T", 2880), "a FITS picture"},
    {"keeps_dpx", "sheet.dpx", headed(std::string("SDPX\0\0\x08\0V2.0\0", 13), 1024), "a DPX picture"},
    {"keeps_cineon", "sheet.cin", headed(std::string("\x80\x2A\x5F\xD7\0\0\x08\0", 8), 1024), "a Cineon picture"},
    {"keeps_xwd", "sheet.xwd", headed(be32s({108, 7, 2, 24, 64, 128, 0, 1, 32, 1, 32, 32}), 1024), "an XWD picture"},
};

// What a run finds in its own fresh directory, beside a directory, links
// and a FIFO.
const struct {
    const char *name;
    const bytes &content;
} laid_out[] = {
    {"sheet.bmp", sheet},
    {"-sheet.bmp", sheet},
    {"short.bmp", short_sheet},
    {"empty.bmp", nothing_at_all},
    {"old.raw", old_font},
    {"glyphs.raw", font},
    {"short.raw", short_font},
    {"long.raw", long_font},
    {"deep.bmp", deep},
    {"wide.bmp", wide},
    {"256.raw", wide_font},
    {"256.bmp", wide_sheet},
    {"ink.raw", mostly_ink},
    {"light.ppm", light_on_dark},
    {"jpeg.bmp", jpeg_bmp},
    {"inside.bmp", inside},
    {"drawn.bmp", drawn},
    {"шрифт.bmp", sheet},
    {"字体.raw", font},
    {"font.bmp", old_font},
    {"lf.bmp", line_feeds},
    {"as.png", as_png},
    {"alpha.png", as_alpha},
    {"as24.bmp", as_bmp24},
    {"as32.bmp", as_bmp32},
    {"as.ppm", as_ppm},
    {"as.pbm", as_pbm},
    {"value.bmp", by_value},
    {"far.bmp", far},
    {"v5cut.bmp", v5_cut},
    {"table.bmp", past_table},
    {"crc.png", bad_crc},
    {"cut.png", cut_png},
    {"noidat.png", no_idat},
    {"few.png", few},
    {"inflate.png", no_inflate},
    {"index.png", past_palette},
    {"depth.png", depth3},
    {"max.pgm", max0},
    {"short.ppm", short_ppm},
    {"photo.jpg", jpeg},
    {"more.png", png_and_more},
    {"comment.pbm", pbm_comment},
    {"plain.pbm", plain_comment},
    {"malformed.ppm", ppm_malformed},
    {"png.bmp", png_bmp},
    {"sheet.xcf", xcf},
    {"sheet.psd", psd},
    {"sheet.png.gz", gzip},
    {"sheet.kra", kra},
    {"tga.raw", tga_font},
    {"old.TGA", old_font},
    {"sheet.jxl", jxl},
    {"dqt.jpg", jpeg_dqt},
    {"sheet.ico", icon},
    {"notes.txt", p1_notes},
    {"jxl.raw", jxl_font},
    {"jxl256.raw", jxl_wide_font},
    {"strip.png", strip},
    {"mine.h", their_header},
    {"old.h", our_header},
    {"run.raw", p1_run},
};

void lay_out(const std::string &dir)
{
    for (const auto &file : laid_out)
        spill(dir + "/" + file.name, file.content);
    for (const auto &file : kept_kinds)
        spill(dir + "/" + file.file, file.content);
    fs::create_directory(dir + "/fonts");
    fs::create_hard_link(dir + "/sheet.bmp", dir + "/hard.bmp");
    fs::create_hard_link(dir + "/glyphs.raw", dir + "/hard.raw");
#ifndef _WIN32
    fs::create_symlink("sheet.bmp", dir + "/soft.bmp");
    ASSERT_EQ(mkfifo((dir + "/in.fifo").c_str(), 0644), 0);
#endif
}

const bytes &as_laid_out(const std::string &name)
{
    for (const auto &file : laid_out)
        if (name == file.name)
            return file.content;
    for (const auto &file : kept_kinds)
        if (name == file.file)
            return file.content;
    ADD_FAILURE() << name << " is not laid out";
    return nothing_at_all;
}

enum class on { any, posix, windows }; // where a case means something
enum class content {
    nothing,
    font_of_sheet,
    font_of_short,
    all_ff,
    sheet_of_font,
    sheet_of_short_font,
    as_before,
    the_font,
    sheet_of_input,
    pbm_of_font,
    the_wide_font,
    strip_font,
    source
};

struct cli_case {
    const char *name;
    on where;
    std::vector<std::string> command;
    feed_by feed;
    int status;
    std::string err;
    const char *file; // looked at afterwards
    content holds;
};

std::ostream &operator<<(std::ostream &os, const cli_case &c) { return os << c.name; }

// Each case runs in a fresh directory laid out by lay_out(); the number is
// the exit status. @full stands for a directory on a full file system,
// GLYPHRIP_FULL_DIR. Windows reports a directory as "Permission denied"
// and has neither FIFOs, /dev/stdin nor /dev/full, but must still know one
// file however its name is spelt.
const cli_case all_cases[] = {
    // clang-format off
    // name                   where        command                                              feed              standard error                                   file          afterwards
    {"converts",              on::any,     {"glyphrip", "sheet.bmp", "font.raw"},               feed_by::none, 0, "",                                              "font.raw",   content::font_of_sheet},
    {"replaces_longer",       on::any,     {"glyphrip", "sheet.bmp", "old.raw"},                feed_by::none, 0, "",                                              "old.raw",    content::font_of_sheet},
    {"dash_led_paths",        on::any,     {"glyphrip", "-sheet.bmp", "-font.raw"},             feed_by::none, 0, "",                                              "-font.raw",  content::font_of_sheet},
    {"short_input",           on::any,     {"glyphrip", "short.bmp", "font.raw"},               feed_by::none, 0, "",                                              "font.raw",   content::font_of_short},
    {"empty_input",           on::any,     {"glyphrip", "empty.bmp", "font.raw"},               feed_by::none, 0, "",                                              "font.raw",   content::all_ff},
    {"pipe",                  on::posix,   {"glyphrip", "/dev/stdin", "font.raw"},              feed_by::pipe, 0, "",                                              "font.raw",   content::font_of_sheet},
    {"fifo",                  on::posix,   {"glyphrip", "in.fifo", "font.raw"},                 feed_by::fifo, 0, "",                                              "font.raw",   content::font_of_sheet},
    {"no_arguments",          on::any,     {"glyphrip"},                                        feed_by::none, 1, usage,                                           "font.raw",   content::nothing},
    {"one_argument",          on::any,     {"glyphrip", "sheet.bmp"},                           feed_by::none, 1, usage,                                           "sheet.bmp",  content::as_before},
    {"three_arguments",       on::any,     {"glyphrip", "sheet.bmp", "font.raw", "x"},          feed_by::none, 1, usage,                                           "font.raw",   content::nothing},
    {"missing_input",         on::any,     {"glyphrip", "missing.bmp", "font.raw"},             feed_by::none, 1, "missing.bmp: No such file or directory\n",      "font.raw",   content::nothing},
    {"missing_input_keeps",   on::any,     {"glyphrip", "missing.bmp", "old.raw"},              feed_by::none, 1, "missing.bmp: No such file or directory\n",      "old.raw",    content::as_before},
    {"empty_input_path",      on::any,     {"glyphrip", "", "font.raw"},                        feed_by::none, 1, "No such file or directory\n",                   "font.raw",   content::nothing},
    {"input_is_directory",    on::posix,   {"glyphrip", "fonts", "font.raw"},                   feed_by::none, 1, "fonts: Is a directory\n",                       "font.raw",   content::nothing},
    {"input_dir_keeps",       on::posix,   {"glyphrip", "fonts", "old.raw"},                    feed_by::none, 1, "fonts: Is a directory\n",                       "old.raw",    content::as_before},
    {"input_is_directory",    on::windows, {"glyphrip", "fonts", "font.raw"},                   feed_by::none, 1, "fonts: Permission denied\n",                    "font.raw",   content::nothing},
    {"output_dir_missing",    on::any,     {"glyphrip", "sheet.bmp", "nodir/font.raw"},         feed_by::none, 1, "nodir/font.raw: No such file or directory\n",   "sheet.bmp",  content::as_before},
    {"output_is_directory",   on::posix,   {"glyphrip", "sheet.bmp", "fonts"},                  feed_by::none, 1, "fonts: Is a directory\n",                       "sheet.bmp",  content::as_before},
    {"output_is_directory",   on::windows, {"glyphrip", "sheet.bmp", "fonts"},                  feed_by::none, 1, "fonts: Permission denied\n",                    "sheet.bmp",  content::as_before},
    {"empty_output_path",     on::any,     {"glyphrip", "sheet.bmp", ""},                       feed_by::none, 1, "No such file or directory\n",                   "sheet.bmp",  content::as_before},
    {"disk_full",             on::posix,   {"glyphrip", "sheet.bmp", "/dev/full"},              feed_by::none, 1, "/dev/full: No space left on device\n",          "sheet.bmp",  content::as_before},
    {"same_path",             on::any,     {"glyphrip", "sheet.bmp", "sheet.bmp"},              feed_by::none, 1, "sheet.bmp: Same file as the input\n",           "sheet.bmp",  content::as_before},
    {"same_respelled",        on::any,     {"glyphrip", "sheet.bmp", "fonts/../sheet.bmp"},     feed_by::none, 1, "fonts/../sheet.bmp: Same file as the input\n",  "sheet.bmp",  content::as_before},
    {"same_hard_link",        on::any,     {"glyphrip", "sheet.bmp", "hard.bmp"},               feed_by::none, 1, "hard.bmp: Same file as the input\n",            "sheet.bmp",  content::as_before},
    {"same_symlink",          on::posix,   {"glyphrip", "sheet.bmp", "soft.bmp"},               feed_by::none, 1, "soft.bmp: Same file as the input\n",            "sheet.bmp",  content::as_before},
    {"same_via_symlink",      on::posix,   {"glyphrip", "soft.bmp", "sheet.bmp"},               feed_by::none, 1, "sheet.bmp: Same file as the input\n",           "sheet.bmp",  content::as_before},
    {"same_other_case",       on::windows, {"glyphrip", "sheet.bmp", "SHEET.BMP"},              feed_by::none, 1, "SHEET.BMP: Same file as the input\n",           "sheet.bmp",  content::as_before},
    {"same_backslashes",      on::windows, {"glyphrip", "sheet.bmp", R"(.\fonts\..\sheet.bmp)"}, feed_by::none, 1, R"(.\fonts\..\sheet.bmp: Same file as the input)" "\n","sheet.bmp",  content::as_before},
    {"deep_refused",          on::any,     {"glyphrip", "deep.bmp", "old.raw"},                 feed_by::none, 1, "deep.bmp: a damaged BMP: it ends before its last pixel\n", "old.raw", content::as_before},
    {"wide_refused",          on::any,     {"glyphrip", "wide.bmp", "font.raw"},                feed_by::none, 1, "wide.bmp: 96 x 64 pixels; a sheet is 64 x 128, 128 x 64 or 128 x 128; glyphcut reads any other layout\n", "font.raw", content::nothing},
    {"converts_256_glyphs",   on::any,     {"glyphrip", "256.bmp", "font.raw"},                 feed_by::none, 0, "",                                              "font.raw",   content::the_wide_font},
    {"light_ink_on_dark",     on::any,     {"glyphrip", "light.ppm", "font.raw"},               feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"jpeg_bmp_refused",      on::any,     {"glyphrip", "jpeg.bmp", "old.raw"},                 feed_by::none, 1, "jpeg.bmp: a BMP compressed as JPEG; save the sheet as PNG or uncompressed BMP\n", "old.raw", content::as_before},
    {"offset_refused",        on::any,     {"glyphrip", "inside.bmp", "old.raw"},               feed_by::none, 1, "inside.bmp: pixel data at byte 20, inside the headers\n", "old.raw", content::as_before},
    {"far_offset_refused",    on::any,     {"glyphrip", "far.bmp", "old.raw"},                  feed_by::none, 1, "far.bmp: pixel data at byte 4294967295, more than 64 KiB past the headers\n", "old.raw", content::as_before},
    {"bmp_header_cut",        on::any,     {"glyphrip", "v5cut.bmp", "old.raw"},                feed_by::none, 1, "v5cut.bmp: a damaged BMP: it ends inside its headers\n", "old.raw", content::as_before},
    {"bmp_past_table",        on::any,     {"glyphrip", "table.bmp", "old.raw"},                feed_by::none, 1, "table.bmp: a damaged BMP: colour 5 past a colour table of 2\n", "old.raw", content::as_before},
    {"png",                   on::any,     {"glyphrip", "as.png", "font.raw"},                  feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"png_then_more",         on::any,     {"glyphrip", "more.png", "font.raw"},                feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"png_transparent",       on::any,     {"glyphrip", "alpha.png", "font.raw"},               feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"bmp_24",                on::any,     {"glyphrip", "as24.bmp", "font.raw"},                feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"bmp_32_alpha_0",        on::any,     {"glyphrip", "as32.bmp", "font.raw"},                feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"ppm",                   on::any,     {"glyphrip", "as.ppm", "font.raw"},                  feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"pbm",                   on::any,     {"glyphrip", "as.pbm", "font.raw"},                  feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"one_bit_by_value",      on::any,     {"glyphrip", "value.bmp", "font.raw"},               feed_by::none, 0, "",                                              "font.raw",   content::font_of_sheet},
    {"png_pipe",              on::posix,   {"glyphrip", "/dev/stdin", "font.raw"},              feed_by::pipe, 0, "",                                              "font.raw",   content::the_font},
    {"png_crc",               on::any,     {"glyphrip", "crc.png", "old.raw"},                  feed_by::none, 1, "crc.png: a damaged PNG: the CRC of its IDAT chunk does not match\n", "old.raw", content::as_before},
    {"png_cut",               on::any,     {"glyphrip", "cut.png", "old.raw"},                  feed_by::none, 1, "cut.png: a damaged PNG: it ends inside a chunk\n", "old.raw", content::as_before},
    {"png_no_idat",           on::any,     {"glyphrip", "noidat.png", "old.raw"},               feed_by::none, 1, "noidat.png: a damaged PNG: no IDAT chunk\n",  "old.raw",    content::as_before},
    {"png_few_bytes",         on::any,     {"glyphrip", "few.png", "old.raw"},                  feed_by::none, 1, "few.png: a damaged PNG: its compressed data hold fewer bytes than the picture needs\n", "old.raw", content::as_before},
    {"png_no_inflate",        on::any,     {"glyphrip", "inflate.png", "old.raw"},              feed_by::none, 1, "inflate.png: a damaged PNG: its compressed data do not inflate\n", "old.raw", content::as_before},
    {"png_past_palette",      on::any,     {"glyphrip", "index.png", "old.raw"},                feed_by::none, 1, "index.png: a damaged PNG: palette index 1 past a palette of 1\n", "old.raw", content::as_before},
    {"png_depth",             on::any,     {"glyphrip", "depth.png", "old.raw"},                feed_by::none, 1, "depth.png: a damaged PNG: bit depth 3 with colour type 0, which PNG does not have\n", "old.raw", content::as_before},
    {"pgm_max",               on::any,     {"glyphrip", "max.pgm", "old.raw"},                  feed_by::none, 1, "max.pgm: a damaged PGM: its maximum sample value, 0, is not 1 to 65535\n", "old.raw", content::as_before},
    {"ppm_short",             on::any,     {"glyphrip", "short.ppm", "old.raw"},                feed_by::none, 1, "short.ppm: a damaged PPM: it ends before its last pixel\n", "old.raw", content::as_before},
    {"jpeg_refused",          on::any,     {"glyphrip", "photo.jpg", "old.raw"},                feed_by::none, 1, "photo.jpg: a JPEG picture; save the sheet as PNG or BMP\n", "old.raw", content::as_before},
    {"pbm_comment_and_zeros", on::any,     {"glyphrip", "comment.pbm", "font.raw"},             feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"plain_pbm_comment",     on::any,     {"glyphrip", "plain.pbm", "font.raw"},               feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"ppm_malformed",         on::any,     {"glyphrip", "malformed.ppm", "old.raw"},            feed_by::none, 1, "malformed.ppm: a damaged PPM: its header is malformed\n", "old.raw", content::as_before},
    {"bmp_holding_png",       on::any,     {"glyphrip", "png.bmp", "font.raw"},                 feed_by::none, 0, "",                                              "font.raw",   content::the_font},
    {"xcf_refused",           on::any,     {"glyphrip", "sheet.xcf", "old.raw"},                feed_by::none, 1, "sheet.xcf: a GIMP XCF file; export the sheet as PNG with File > Export As\n", "old.raw", content::as_before},
    {"kra_refused",           on::any,     {"glyphrip", "sheet.kra", "old.raw"},                feed_by::none, 1, "sheet.kra: a Krita document; export the sheet as PNG with File > Export\n", "old.raw", content::as_before},
    {"gzip_refused",          on::any,     {"glyphrip", "sheet.png.gz", "old.raw"},             feed_by::none, 1, "sheet.png.gz: a gzip file; uncompress it first\n", "old.raw", content::as_before},
    {"swapped_onto_png",      on::any,     {"glyphrip", "glyphs.raw", "as.png"},                feed_by::none, 1, "as.png: a PNG picture; glyphrip will not write a font over it\n", "as.png", content::as_before},
    {"swapped_onto_bmp",      on::any,     {"glyphrip", "glyphs.raw", "drawn.bmp"},             feed_by::none, 1, "drawn.bmp: a BMP picture; glyphrip will not write a font over it\n", "drawn.bmp", content::as_before},
    {"swapped_onto_xcf",      on::any,     {"glyphrip", "glyphs.raw", "sheet.xcf"},             feed_by::none, 1, "sheet.xcf: a GIMP XCF file; glyphrip will not write a font over it\n", "sheet.xcf", content::as_before},
    {"swapped_onto_psd",      on::any,     {"glyphrip", "glyphs.raw", "sheet.psd"},             feed_by::none, 1, "sheet.psd: a Photoshop PSD file; glyphrip will not write a font over it\n", "sheet.psd", content::as_before},
    {"swapped_onto_kra",      on::any,     {"glyphrip", "glyphs.raw", "sheet.kra"},             feed_by::none, 1, "sheet.kra: a Krita document; glyphrip will not write a font over it\n", "sheet.kra", content::as_before},
    {"swapped_onto_jxl",      on::any,     {"glyphrip", "glyphs.raw", "sheet.jxl"},             feed_by::none, 1, "sheet.jxl: a JPEG XL picture; glyphrip will not write a font over it\n", "sheet.jxl", content::as_before},
    {"swapped_onto_jpeg_dqt", on::any,     {"glyphrip", "glyphs.raw", "dqt.jpg"},               feed_by::none, 1, "dqt.jpg: a JPEG picture; glyphrip will not write a font over it\n", "dqt.jpg", content::as_before},
    {"swapped_onto_gzip",     on::any,     {"glyphrip", "glyphs.raw", "sheet.png.gz"},          feed_by::none, 1, "sheet.png.gz: a gzip file; glyphrip will not write a font over it\n", "sheet.png.gz", content::as_before},
    {"swapped_onto_ico",      on::any,     {"glyphrip", "glyphs.raw", "sheet.ico"},             feed_by::none, 1, "sheet.ico: an ICO icon; glyphrip will not write a font over it\n", "sheet.ico", content::as_before},
    {"keeps_p1_text",         on::any,     {"glyphrip", "sheet.bmp", "notes.txt"},              feed_by::none, 1, "notes.txt: a PBM picture; glyphrip will not write a font over it\n", "notes.txt", content::as_before},
    {"replaces_jxl_like_font",on::any,     {"glyphrip", "sheet.bmp", "jxl.raw"},                feed_by::none, 0, "",                                              "jxl.raw",    content::font_of_sheet},
    {"replaces_jxl_like_256", on::any,     {"glyphrip", "sheet.bmp", "jxl256.raw"},             feed_by::none, 0, "",                                              "jxl256.raw", content::font_of_sheet},
    {"replaces_tga_like_font",on::any,     {"glyphrip", "sheet.bmp", "tga.raw"},                feed_by::none, 0, "",                                              "tga.raw",    content::font_of_sheet},
    {"glyphsheet_tga_like",   on::any,     {"glyphsheet", "tga.raw", "new.bmp"},                feed_by::none, 0, "",                                              "new.bmp",    content::sheet_of_input},
    {"glyphsheet_no_ending",  on::any,     {"glyphsheet", "glyphs.raw", "new"},                 feed_by::none, 0, "",                                              "new",        content::sheet_of_font},
    {"glyphsheet_other_ending",on::any,    {"glyphsheet", "glyphs.raw", "new.raw"},             feed_by::none, 0, "",                                              "new.raw",    content::sheet_of_font},
    {"glyphsheet_jpg_refused",on::any,     {"glyphsheet", "glyphs.raw", "new.jpg"},             feed_by::none, 1, "new.jpg: glyphsheet writes PNG, BMP, PBM, PGM or PPM, not a JPEG picture\n", "new.jpg", content::nothing},
    {"glyphsheet_dib",        on::any,     {"glyphsheet", "glyphs.raw", "new.dib"},             feed_by::none, 0, "",                                              "new.dib",    content::sheet_of_font},
    {"glyphsheet_pnm",        on::any,     {"glyphsheet", "glyphs.raw", "new.pnm"},             feed_by::none, 0, "",                                              "new.pnm",    content::pbm_of_font},
    {"glyphsheet_tga_refused",on::any,     {"glyphsheet", "glyphs.raw", "old.TGA"},             feed_by::none, 1, "old.TGA: glyphsheet writes PNG, BMP, PBM, PGM or PPM, not a TGA picture\n", "old.TGA", content::as_before},
    {"glyphsheet_given_xcf",  on::any,     {"glyphsheet", "sheet.xcf", "old.raw"},              feed_by::none, 1, "sheet.xcf: a GIMP XCF file, not a raw font\n", "old.raw",    content::as_before},
    {"glyphsheet",            on::any,     {"glyphsheet", "glyphs.raw", "new.bmp"},             feed_by::none, 0, "",                                              "new.bmp",    content::sheet_of_font},
    {"glyphsheet_long",       on::any,     {"glyphsheet", "long.raw", "new.bmp"},               feed_by::none, 0, "",                                              "new.bmp",    content::sheet_of_input},
    {"glyphsheet_256_glyphs", on::any,     {"glyphsheet", "256.raw", "new.bmp"},                feed_by::none, 0, "",                                              "new.bmp",    content::sheet_of_input},
    {"glyphsheet_pgm_inked",  on::any,     {"glyphsheet", "ink.raw", "new.pgm"},                feed_by::none, 1, "new.pgm: more than half of the font is ink, which a PGM cannot tell from paper; write PNG, BMP or PBM\n", "new.pgm", content::nothing},
    {"glyphsheet_bmp_inked",  on::any,     {"glyphsheet", "ink.raw", "old.raw"},                feed_by::none, 0, "",                                              "old.raw",    content::sheet_of_input},
    {"glyphsheet_short",      on::any,     {"glyphsheet", "short.raw", "new.bmp"},              feed_by::none, 0, "",                                              "new.bmp",    content::sheet_of_short_font},
    {"glyphsheet_pipe",       on::posix,   {"glyphsheet", "/dev/stdin", "new.bmp"},             feed_by::pipe, 0, "",                                              "new.bmp",    content::sheet_of_font},
    {"glyphsheet_fifo",       on::posix,   {"glyphsheet", "in.fifo", "new.bmp"},                feed_by::fifo, 0, "",                                              "new.bmp",    content::sheet_of_font},
    {"glyphsheet_usage",      on::any,     {"glyphsheet", "glyphs.raw"},                        feed_by::none, 1, sheet_usage,                                     "glyphs.raw", content::as_before},
    {"glyphsheet_missing",    on::any,     {"glyphsheet", "missing.raw", "sheet.bmp"},          feed_by::none, 1, "missing.raw: No such file or directory\n",      "sheet.bmp",  content::as_before},
    {"glyphsheet_directory",  on::posix,   {"glyphsheet", "fonts", "new.bmp"},                  feed_by::none, 1, "fonts: Is a directory\n",                       "new.bmp",    content::nothing},
    {"glyphsheet_directory",  on::windows, {"glyphsheet", "fonts", "new.bmp"},                  feed_by::none, 1, "fonts: Permission denied\n",                    "new.bmp",    content::nothing},
    {"glyphsheet_disk_full",  on::posix,   {"glyphsheet", "glyphs.raw", "/dev/full"},           feed_by::none, 1, "/dev/full: No space left on device\n",          "glyphs.raw", content::as_before},
    {"glyphsheet_same_path",  on::any,     {"glyphsheet", "glyphs.raw", "glyphs.raw"},          feed_by::none, 1, "glyphs.raw: Same file as the input\n",          "glyphs.raw", content::as_before},
    {"glyphsheet_respelled",  on::any,     {"glyphsheet", "glyphs.raw", "fonts/../glyphs.raw"}, feed_by::none, 1, "fonts/../glyphs.raw: Same file as the input\n", "glyphs.raw", content::as_before},
    {"glyphsheet_hard_link",  on::any,     {"glyphsheet", "glyphs.raw", "hard.raw"},            feed_by::none, 1, "hard.raw: Same file as the input\n",            "glyphs.raw", content::as_before},
    {"glyphsheet_given_sheet",on::any,     {"glyphsheet", "drawn.bmp", "old.raw"},              feed_by::none, 1, "drawn.bmp: a BMP picture, not a raw font\n",   "old.raw",    content::as_before},
    {"glyphsheet_given_tga",  on::any,     {"glyphsheet", "sheet.tga", "old.raw"},              feed_by::none, 1, "sheet.tga: a TGA picture, not a raw font\n",   "old.raw",    content::as_before},
    {"svg_after_doctype",     on::any,     {"glyphrip", "sheet.svg", "old.raw"},                feed_by::none, 1, "sheet.svg: an SVG drawing; export the sheet as PNG\n", "old.raw", content::as_before},
    {"glyphsheet_given_pbm",  on::any,     {"glyphsheet", "as.pbm", "old.raw"},                 feed_by::none, 1, "as.pbm: a PBM picture, not a raw font\n",      "old.raw",    content::as_before},
    {"cyrillic_to_emoji",     on::any,     {"glyphrip", "шрифт.bmp", "字体😀.raw"},             feed_by::none, 0, "",                                              "字体😀.raw", content::font_of_sheet},
    {"chinese_to_cyrillic",   on::any,     {"glyphsheet", "字体.raw", "шрифт😀.bmp"},          feed_by::none, 0, "",                                              "шрифт😀.bmp", content::sheet_of_font},
    {"missing_named",         on::any,     {"glyphrip", "нет😀.bmp", "font.raw"},               feed_by::none, 1, "нет😀.bmp: No such file or directory\n",       "font.raw",   content::nothing},
    {"glyphsheet_missing_named", on::any,  {"glyphsheet", "缺失.raw", "new.bmp"},               feed_by::none, 1, "缺失.raw: No such file or directory\n",        "new.bmp",    content::nothing},
    {"same_named",            on::any,     {"glyphrip", "шрифт.bmp", "./шрифт.bmp"},            feed_by::none, 1, "./шрифт.bmp: Same file as the input\n",        "шрифт.bmp",  content::as_before},
    {"fullwidth_name",        on::any,     {"glyphsheet", "glyphs.raw", "ｆont.bmp"},           feed_by::none, 0, "",                                              "ｆont.bmp",  content::sheet_of_font},
    {"fullwidth_keeps_other", on::any,     {"glyphsheet", "glyphs.raw", "ｆont.bmp"},           feed_by::none, 0, "",                                              "font.bmp",   content::as_before},
    {"full_disk_sheet",       on::any,     {"glyphsheet", "glyphs.raw", "@full/1.bmp"},         feed_by::none, 1, "@full/1.bmp: No space left on device\n",       "glyphs.raw", content::as_before},
    {"full_disk_first_write", on::any,     {"glyphrip", "lf.bmp", "@full/4.raw"},               feed_by::none, 1, "@full/4.raw: No space left on device\n",       "lf.bmp",     content::as_before},
    {"full_disk_middle_write",on::any,     {"glyphrip", "sheet.bmp", "@full/2.raw"},            feed_by::none, 1, "@full/2.raw: No space left on device\n",       "sheet.bmp",  content::as_before},
    {"full_disk_last_flush",  on::any,     {"glyphrip", "empty.bmp", "@full/3.raw"},            feed_by::none, 1, "@full/3.raw: No space left on device\n",       "empty.bmp",  content::as_before},
    {"name_newline",          on::posix,   {"glyphrip", "a\nb.gif", "font.raw"},                feed_by::none, 1, "a\\nb.gif: No such file or directory\n",       "font.raw",   content::nothing},
    {"name_escape",           on::posix,   {"glyphrip", "e\033[31mred.gif", "font.raw"},        feed_by::none, 1, "e\\033[31mred.gif: No such file or directory\n", "font.raw", content::nothing},
    {"name_return",           on::posix,   {"glyphrip", "sheet.bmp", "c\rr/font.raw"},          feed_by::none, 1, "c\\rr/font.raw: No such file or directory\n",  "sheet.bmp",  content::as_before},
    {"name_c1_control",       on::any,     {"glyphrip", "c\u009b31m.gif", "font.raw"},          feed_by::none, 1, "c\\302\\23331m.gif: No such file or directory\n", "font.raw", content::nothing},
    {"name_not_utf8",         on::posix,   {"glyphrip", "a\xff\xc0\xaf\xed\xa0\x80.gif", "font.raw"}, feed_by::none, 1, "a\\377\\300\\257\\355\\240\\200.gif: No such file or directory\n", "font.raw", content::nothing},
    {"name_tab",              on::posix,   {"glyphsheet", "t\tab.raw", "new.bmp"},              feed_by::none, 1, "t\\tab.raw: No such file or directory\n",      "new.bmp",    content::nothing},
    {"glyphsheet_other_case", on::windows, {"glyphsheet", "glyphs.raw", "GLYPHS.RAW"},          feed_by::none, 1, "GLYPHS.RAW: Same file as the input\n",          "glyphs.raw", content::as_before},
    {"glyphcut_strip",        on::any,     {"glyphcut", "--cell", "8x8", "strip.png", "font.raw"}, feed_by::none, 0, "",                                         "font.raw",   content::strip_font},
    {"glyphcut_strip_equals", on::any,     {"glyphcut", "--cell=8x8", "--first=32", "strip.png", "font.raw"}, feed_by::none, 0, "",                           "font.raw",   content::strip_font},
    {"glyphcut_replaces_its_length", on::any, {"glyphcut", "--cell", "8x8", "strip.png", "run.raw"}, feed_by::none, 0, "",                                   "run.raw",    content::strip_font},
    {"glyphrip_keeps_other_length", on::any, {"glyphrip", "sheet.bmp", "run.raw"},             feed_by::none, 1, "run.raw: a PBM picture; glyphrip will not write a font over it\n", "run.raw", content::as_before},
    {"glyphrip_c_header",     on::any,     {"glyphrip", "sheet.bmp", "font.h"},                 feed_by::none, 0, "",                                              "font.h",     content::source},
    {"glyphrip_c_source",     on::any,     {"glyphrip", "sheet.bmp", "FONT.C"},                 feed_by::none, 0, "",                                              "FONT.C",     content::source},
    {"keeps_their_header",    on::any,     {"glyphrip", "sheet.bmp", "mine.h"},                 feed_by::none, 1, "mine.h: not C source glyphrip or glyphcut wrote; glyphrip will not write over it\n", "mine.h", content::as_before},
    {"replaces_our_header",   on::any,     {"glyphcut", "--cell", "8x8", "strip.png", "old.h"}, feed_by::none, 0, "",                                         "old.h",      content::source},
    {"glyphcut_wants_a_picture", on::any,  {"glyphcut", "--cell", "8x8", "sheet.bmp", "font.raw"}, feed_by::none, 1, "sheet.bmp: no picture glyphcut reads; save the sheet as PNG or BMP\n", "font.raw", content::nothing},
    {"glyphcut_grid_too_high", on::any,    {"glyphcut", "--grid", "96x2", "strip.png", "font.raw"}, feed_by::none, 1, "strip.png: 2 rows of 8-pixel cells need 16 pixels; the picture is 8 high\n", "font.raw", content::nothing},
    {"glyphcut_count_past_grid", on::any,  {"glyphcut", "--count", "97", "strip.png", "font.raw"}, feed_by::none, 1, "strip.png: 97 glyphs need 97 cells; the grid of 96 x 1 has 96\n", "font.raw", content::nothing},
    {"glyphcut_no_such_colour", on::any,   {"glyphcut", "--cell", "8x8", "--ink", "#123456", "strip.png", "font.raw"}, feed_by::none, 1, "strip.png: no pixel of the cells is #123456\n", "font.raw", content::nothing},
    {"glyphcut_dash_is_a_name", on::any,   {"glyphcut", "-", "font.raw"},                       feed_by::none, 1, "-: No such file or directory\n",                "font.raw",   content::nothing},
    // clang-format on
};

// glyphcut's options, each malformed, out of range, repeated or at odds
// with another: one line naming it; an unknown one, or a path missing, the
// usage line. Nothing is opened or written.
const struct {
    const char *name;
    std::vector<std::string> options;
    const char *line; // nullptr: the usage line
} bad_options[] = {
    // clang-format off
    {"cell_zero",        {"--cell", "0x8"},       "--cell takes WxH, each 1 to 32, not 0x8"},
    {"cell_too_wide",    {"--cell=33x8"},         "--cell takes WxH, each 1 to 32, not 33x8"},
    {"cell_one_number",  {"--cell", "8"},         "--cell takes WxH, each 1 to 32, not 8"},
    {"scale_zero",       {"--scale", "0"},        "--scale takes a whole number 1 to 16, not 0"},
    {"scale_past_16",    {"--scale", "17"},       "--scale takes a whole number 1 to 16, not 17"},
    {"offset_past",      {"--offset", "4096,0"},  "--offset takes X,Y, each 0 to 4095, not 4096,0"},
    {"gap_signed",       {"--gap", "-1,1"},       "--gap takes X,Y, each 0 to 4095, not -1,1"},
    {"grid_empty",       {"--grid", "0x4"},       "--grid takes CxR, each 1 or more, not 0x4"},
    {"order_unknown",    {"--order", "diagonal"}, "--order takes rows or columns, not diagonal"},
    {"first_past",       {"--first", "65536"},    "--first takes a whole number 0 to 65535, not 65536"},
    {"count_zero",       {"--count", "0"},        "--count takes a whole number 1 or more, the last code at most 65535, not 0"},
    {"count_past_last",  {"--first", "65500", "--count", "100"}, "--count takes a whole number 1 or more, the last code at most 65535; from code 65500, at most 36 glyphs"},
    {"ink_unknown",      {"--ink", "purple"},     "--ink takes auto, dark, light, opaque or #RRGGBB, not purple"},
    {"ink_short_colour", {"--ink", "#12345"},     "--ink takes auto, dark, light, opaque or #RRGGBB, not #12345"},
    {"paper_named",      {"--paper", "white"},    "--paper takes #RRGGBB, not white"},
    {"bits_unknown",     {"--bits", "big"},       "--bits takes lsb or msb, not big"},
    {"value_escaped",    {"--bits", "\033[31m"}, "--bits takes lsb or msb, not \\033[31m"},
    {"cell_twice",       {"--cell", "8x8", "--cell", "8x16"}, "--cell is given twice; it takes WxH, each 1 to 32, once"},
    {"ink_and_paper",    {"--ink", "dark", "--paper", "#FFFFFF"}, "--paper takes #RRGGBB, and no --ink beside it"},
    {"abbreviated",      {"--cel", "8x8"},        nullptr},
    {"unknown",          {"--colour", "#000000"}, nullptr},
    {"short_option",     {"-c", "8x8"},           nullptr},
    // clang-format on
};

TEST(GlyphcutOptions, RefuseWhatTheyCannotTake)
{
    for (const auto &b : bad_options) {
        std::string dir = fresh_dir();
        lay_out(dir);
        std::vector<std::string> command = {"glyphcut"};
        command.insert(command.end(), b.options.begin(), b.options.end());
        command.insert(command.end(), {"sheet.bmp", "font.raw"});
        outcome o = run_tool(dir, command);
        EXPECT_EQ(o.status, 1) << b.name;
        std::string line =
            b.line != nullptr ? std::string("glyphcut: ") + b.line : "Usage: glyphcut [options] infile outfile";
        EXPECT_EQ(o.err, as_written(line + "\n")) << b.name;
        EXPECT_FALSE(exists(dir + "/font.raw")) << b.name;
        remove_dir(dir);
    }
    std::string dir = fresh_dir();
    lay_out(dir);
    for (const std::vector<std::string> &missing : {std::vector<std::string>{"glyphcut", "--cell", "8x8", "sheet.bmp"},
                                                    {"glyphcut", "sheet.bmp"},
                                                    {"glyphcut", "--", "sheet.bmp", "a", "b"}}) {
        outcome o = run_tool(dir, missing);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, as_written("Usage: glyphcut [options] infile outfile\n"));
    }
    remove_dir(dir);
}

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
    for (const auto &k : kept_kinds)
        here.push_back({k.case_name,
                        on::any,
                        {"glyphrip", "glyphs.raw", k.file},
                        feed_by::none,
                        1,
                        std::string(k.file) + ": " + k.kind + "; glyphrip will not write a font over it\n",
                        k.file,
                        content::as_before});
    return here;
}

class CommandLine : public testing::TestWithParam<cli_case> {};

// Puts the full file system's directory for @full.
std::string placed(std::string s, const std::string &full)
{
    size_t at = s.find("@full");
    return at == std::string::npos ? s : s.replace(at, 5, full);
}

void check(const cli_case &c)
{
    const char *full_dir = std::getenv("GLYPHRIP_FULL_DIR");
    if (c.err.find("@full") != std::string::npos && full_dir == nullptr)
        GTEST_SKIP() << "needs GLYPHRIP_FULL_DIR, a directory on a full file system (.ci/run mounts one)";
    const std::string full = full_dir != nullptr ? full_dir : "";
    std::vector<std::string> command;
    for (const auto &word : c.command)
        command.push_back(placed(word, full));
    std::string dir = fresh_dir();
    lay_out(dir);
    // A pipe or FIFO carries the font to glyphsheet, a sheet to glyphrip and glyphcut, and a PNG where the case
    // says so.
    const bytes &feed = c.command[0] == "glyphsheet" ? font : std::string(c.name) == "png_pipe" ? as_png : sheet;
    outcome o = run_tool(dir, command, c.feed, feed);

    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, as_written(placed(c.err, full)));
    EXPECT_EQ(o.out, "");
    std::string file = dir + "/" + c.file;
    switch (c.holds) {
    case content::nothing: EXPECT_FALSE(exists(file)); break;
    case content::font_of_sheet: EXPECT_EQ(slurp(file), font_of(sheet)); break;
    case content::font_of_short: EXPECT_EQ(slurp(file), font_of(short_sheet)); break;
    case content::all_ff: EXPECT_EQ(slurp(file), bytes(1024, 0xFF)); break;
    case content::sheet_of_font: EXPECT_EQ(slurp(file), sheet_of(font)); break;
    case content::sheet_of_short_font: EXPECT_EQ(slurp(file), sheet_of(short_font)); break;
    case content::as_before: EXPECT_EQ(slurp(file), as_laid_out(c.file)); break;
    case content::the_font: EXPECT_EQ(slurp(file), font); break;
    case content::sheet_of_input: EXPECT_EQ(slurp(file), sheet_of(as_laid_out(c.command[1]))); break;
    case content::the_wide_font: EXPECT_EQ(slurp(file), wide_font); break;
    case content::pbm_of_font: EXPECT_EQ(slurp(file), as_pbm); break; // raw PBM, as a paint program saves it
    case content::strip_font: EXPECT_EQ(slurp(file), font_of_strip); break;
    case content::source: {
        bytes b = slurp(file);
        std::string source(b.begin(), b.end());
        EXPECT_EQ(source.rfind("/* Written by " + c.command[0] + ":", 0), 0U) << source.substr(0, 80);
        break;
    }
    }
    remove_dir(dir);
}

TEST_P(CommandLine, Run) { check(GetParam()); }

// glyphcut with no option is glyphrip: every case of glyphrip's gives the
// same bytes and the same lines, but for the program's name. Its paths
// follow `--`, as a path that begins with `-` must.
class AsGlyphcut : public testing::TestWithParam<cli_case> {};

TEST_P(AsGlyphcut, Run)
{
    cli_case c = GetParam();
    c.command[0] = "glyphcut";
    c.command.insert(c.command.begin() + 1, "--");
    const std::string usage_line = "Usage: glyphrip infile outfile";
    size_t at = c.err.find(usage_line);
    if (at != std::string::npos)
        c.err.replace(at, usage_line.size(), "Usage: glyphcut [options] infile outfile");
    for (at = c.err.find("; glyphrip "); at != std::string::npos; at = c.err.find("; glyphrip ", at))
        c.err.replace(at + 2, 8, "glyphcut");
    check(c);
}

std::vector<cli_case> glyphrips_here()
{
    std::vector<cli_case> cases;
    for (const auto &c : cases_here())
        if (c.command[0] == "glyphrip")
            cases.push_back(c);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine, testing::ValuesIn(cases_here()),
                         [](const testing::TestParamInfo<cli_case> &i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Cases, AsGlyphcut, testing::ValuesIn(glyphrips_here()),
                         [](const testing::TestParamInfo<cli_case> &i) { return std::string(i.param.name); });

// The example sheets of each size, and fonts, all written from the glyph
// drawings rather than by these programs, convert into each other byte for
// byte.
TEST(Example, ConvertsBothWays)
{
    const char *const runs[][3] = {{"glyphrip", "sheet.bmp", "font.raw"},
                                   {"glyphrip", "sheet.png", "font.raw"},
                                   {"glyphrip", "sheet-128x64.png", "font.raw"},
                                   {"glyphrip", "sheet-128x128.png", "font-256.raw"},
                                   {"glyphsheet", "font.raw", "sheet.bmp"}};
    for (const auto &run : runs) {
        std::string dir = fresh_dir();
        outcome o = run_tool(dir, {run[0], EXAMPLES_DIR "/" + std::string(run[1]), dir + "/out"});
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(slurp(dir + "/out"), slurp(EXAMPLES_DIR "/" + std::string(run[2]))) << run[0];
        remove_dir(dir);
    }
}

} // namespace
