#include "harness.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>
#include <zlib.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

// Test paths are UTF-8; on Windows a plain string would go through the ANSI
// code page.
static fs::path path_of(const std::string &utf8) { return fs::u8path(utf8); }

bytes slurp(const std::string &path)
{
    std::ifstream in(path_of(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spill(const std::string &path, const bytes &content)
{
    std::ofstream out(path_of(path), std::ios::binary);
    out.write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
    ASSERT_TRUE(out.good()) << path;
}

bool exists(const std::string &path) { return fs::exists(fs::symlink_status(path_of(path))); }

std::string fresh_dir()
{
    static std::mt19937 gen(std::random_device{}());
    for (;;) {
        fs::path dir = fs::temp_directory_path() / ("glyphrip-test-" + std::to_string(gen()));
        if (fs::create_directory(dir))
            return dir.string();
    }
}

void remove_dir(const std::string &dir)
{
    std::error_code ignored;
    fs::remove_all(path_of(dir), ignored);
    fs::remove(dir + ".out", ignored);
    fs::remove(dir + ".err", ignored);
}

int mirror(int v)
{
    int m = 0;
    for (int i = 0; i < 8; i++)
        if (v & (1 << i))
            m |= 1 << (7 - i);
    return m;
}

// Where font byte i stands in a sheet file, i = 128c + 8g + s.
static size_t sheet_offset(size_t i)
{
    size_t c = i / 128, g = i / 8 % 16, s = i % 8;
    return pixel_start + 8 * (127 - 8 * g - s) + c;
}

static unsigned char mirror_at(const bytes &b, size_t at)
{
    return static_cast<unsigned char>(mirror(at < b.size() ? b[at] : 0xFF));
}

bytes font_of(const bytes &sheet_file)
{
    bytes font(font_size);
    for (size_t i = 0; i < font_size; i++)
        font[i] = mirror_at(sheet_file, sheet_offset(i));
    return font;
}

static void put(bytes &b, size_t at, unsigned long v, size_t width);

bytes sheet_of(const bytes &font)
{
    bytes sheet = slurp(EXAMPLES_DIR "/sheet.bmp");
    if (font.size() <= font_size) {
        sheet.resize(sheet_size);
        for (size_t i = 0; i < font_size; i++)
            sheet[sheet_offset(i)] = mirror_at(font, i);
        return sheet;
    }
    sheet.resize(pixel_start + wide_font_size);
    put(sheet, 2, pixel_start + wide_font_size, 4);
    put(sheet, 18, 128, 4);
    put(sheet, 34, wide_font_size, 4);
    for (size_t n = 0; n < 256; n++)
        for (size_t s = 0; s < 8; s++)
            sheet[pixel_start + 16 * (127 - 8 * (n / 16) - s) + n % 16] = mirror_at(font, 8 * n + s);
    return sheet;
}

bytes whole_font(const bytes &font)
{
    bytes whole = font;
    whole.resize(font.size() > font_size ? wide_font_size : font_size, 0xFF);
    return whole;
}

static void put(bytes &b, size_t at, unsigned long v, size_t width)
{
    for (size_t i = 0; i < width; i++)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

bytes bmp_file(const bmp_fields &f, const bytes &pixels)
{
    bool core = f.header_size == 12;
    size_t table = core ? 6 : 8, start = 14 + f.header_size + table;
    bytes b(start, 0);
    b[0] = 'B';
    b[1] = 'M';
    put(b, 2, start + pixels.size(), 4);
    put(b, 10, f.data_offset < 0 ? start : static_cast<unsigned long>(f.data_offset), 4);
    put(b, 14, f.header_size, 4);
    auto height = static_cast<unsigned long>(f.top_down ? -f.height : f.height);
    if (core) {
        put(b, 18, static_cast<unsigned long>(f.width), 2);
        put(b, 20, height, 2);
        put(b, 22, 1, 2);
        put(b, 24, static_cast<unsigned long>(f.bits), 2);
    } else {
        put(b, 18, static_cast<unsigned long>(f.width), 4);
        put(b, 22, height, 4);
        put(b, 26, 1, 2);
        put(b, 28, static_cast<unsigned long>(f.bits), 2);
        // Compression, the pixels' size and the colours used, where the
        // header has room.
        const size_t at[] = {30, 34, 46};
        const unsigned long value[] = {static_cast<unsigned long>(f.compression),
                                       static_cast<unsigned long>(pixels.size()), 2};
        for (size_t i = 0; i < 3; i++)
            if (at[i] + 4 <= 14 + f.header_size)
                put(b, at[i], value[i], 4);
    }
    for (size_t i = 0; i < 3; i++) // colour 0 white, colour 1 black, or the other way round
        b[start - table + i + (f.black_first ? table / 2 : 0)] = 0xFF;
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

static void put_be(bytes &b, unsigned long v, size_t width)
{
    for (size_t i = width; i-- > 0;)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

bytes png_chunk(const std::string &type, const bytes &data)
{
    bytes c;
    put_be(c, data.size(), 4);
    c.insert(c.end(), type.begin(), type.end());
    c.insert(c.end(), data.begin(), data.end());
    put_be(c, crc32(0, c.data() + 4, static_cast<uInt>(c.size() - 4)), 4);
    return c;
}

bytes png_header(int width, int height, int depth, int colour_type, int interlace)
{
    bytes d;
    put_be(d, static_cast<unsigned long>(width), 4);
    put_be(d, static_cast<unsigned long>(height), 4);
    d.insert(d.end(), {static_cast<unsigned char>(depth), static_cast<unsigned char>(colour_type), 0, 0,
                       static_cast<unsigned char>(interlace)});
    return png_chunk("IHDR", d);
}

bytes png_data(const bytes &filtered)
{
    bytes packed(compressBound(static_cast<uLong>(filtered.size())));
    auto size = static_cast<uLongf>(packed.size());
    EXPECT_EQ(compress(packed.data(), &size, filtered.data(), static_cast<uLong>(filtered.size())), Z_OK);
    packed.resize(size);
    return png_chunk("IDAT", packed);
}

// Pixel x of a row of `bits`-bit pixels, packed leftmost first.
static unsigned pixel_bits(const unsigned char *row, size_t x, int bits, int i)
{
    size_t at = x * static_cast<size_t>(bits) + static_cast<size_t>(i);
    return row[at / 8] >> (7 - at % 8) & 1U;
}

static int paeth(int a, int b, int c)
{
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

bytes png_rows(const bytes &pixels, int bits, bool interlaced, unsigned seed, size_t width, size_t height)
{
    static const size_t passes[8][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}, {0, 0, 1, 1}};
    std::mt19937 gen(seed);
    const size_t stride = width * static_cast<size_t>(bits) / 8, bpp = bits < 8 ? 1 : static_cast<size_t>(bits) / 8;
    bytes out;
    for (size_t pass = interlaced ? 0 : 7; pass < (interlaced ? 7 : 8); pass++) {
        const size_t *a = passes[pass];
        bytes prior;
        // A pass no column of the picture reaches has no rows, not even
        // their filter bytes.
        for (size_t y = a[1]; y < height && a[0] < width; y += a[3]) {
            bytes row;
            size_t n = 0;
            for (size_t x = a[0]; x < width; x += a[2])
                for (int i = 0; i < bits; i++, n++) {
                    if (n % 8 == 0)
                        row.push_back(0);
                    row.back() = static_cast<unsigned char>(
                        row.back() | pixel_bits(pixels.data() + y * stride, x, bits, i) << (7 - n % 8));
                }
            prior.resize(row.size());
            auto filter = static_cast<int>(gen() % 5);
            out.push_back(static_cast<unsigned char>(filter));
            for (size_t i = 0; i < row.size(); i++) {
                int left = i >= bpp ? row[i - bpp] : 0, up = prior[i], corner = i >= bpp ? prior[i - bpp] : 0;
                const int by[5] = {0, left, up, (left + up) / 2, paeth(left, up, corner)};
                out.push_back(static_cast<unsigned char>(row[i] - by[filter]));
            }
            prior = row;
        }
    }
    return out;
}

bytes png_file(const std::vector<bytes> &chunks)
{
    bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const auto &c : chunks)
        b.insert(b.end(), c.begin(), c.end());
    bytes end = png_chunk("IEND", {});
    b.insert(b.end(), end.begin(), end.end());
    return b;
}

bytes redrawn(redraw as, const bytes &sheet_file)
{
    // The sheet's size, as its header gives it.
    const size_t width = sheet_file.size() > 26 ? sheet_file[18] : 64,
                 height = sheet_file.size() > 26 ? sheet_file[22] : 128;
    const std::string size = std::to_string(width) + " " + std::to_string(height);
    // Pixel (x, y) from the top: the one-bit sheet's bit, as written.
    auto ink = [&](size_t x, size_t y) {
        return mirror_at(sheet_file, pixel_start + width / 8 * (height - 1 - y) + x / 8) >> (x % 8) & 1;
    };
    const bool alpha = as == redraw::png_alpha || as == redraw::pam_alpha;
    const size_t channels = alpha || as == redraw::bmp32 ? 4 : 3;
    bytes rows;                                           // top row first, as PNG, netpbm and this TGA store it
    auto seed = static_cast<unsigned>(sheet_file.size()); // of the PNGs' filters
    for (size_t y = 0; y < height; y++) {
        if (as == redraw::tga)
            rows.push_back(static_cast<unsigned char>(width - 1)); // a row of pixels as stored
        for (size_t x = 0; x < width; x++) {
            bool on = ink(x, y) != 0;
            auto v = static_cast<unsigned char>(on == alpha ? 0xFF : 0);
            if (as == redraw::pbm) {
                if (x % 8 == 0)
                    rows.push_back(0);
                rows.back() = static_cast<unsigned char>(rows.back() | (on ? 0x80 >> (x % 8) : 0));
                continue;
            }
            rows.insert(rows.end(), 3, alpha ? 0 : v);
            if (channels == 4)
                rows.push_back(as == redraw::bmp32 ? 0 : v);
        }
    }
    auto text = [&](const std::string &header) {
        bytes b(header.begin(), header.end());
        b.insert(b.end(), rows.begin(), rows.end());
        return b;
    };
    auto w = static_cast<int>(width), h = static_cast<int>(height);
    switch (as) {
    case redraw::png:
        return png_file({png_header(w, h, 8, 2, 1), png_data(png_rows(rows, 24, true, seed, width, height))});
    case redraw::png_alpha:
        return png_file({png_header(w, h, 8, 6), png_data(png_rows(rows, 32, false, seed, width, height))});
    case redraw::ppm: return text("P6\n# drawn\n" + size + "\n255\n");
    case redraw::pbm: return text("P4\n" + size + "\n");
    case redraw::pam_alpha:
        return text("P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                    "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n");
    case redraw::tga: {
        std::string header("\0\0\x0A\0\0\0\0\0\0\0\0\0\0\0\0\0\x18\x20", 18);
        header[12] = static_cast<char>(width);
        header[14] = static_cast<char>(height);
        return text(header);
    }
    default: break;
    }
    bytes bottom_up; // BMP stores the bottom row first
    size_t stride = width * channels;
    for (size_t y = height; y-- > 0;)
        bottom_up.insert(bottom_up.end(), rows.begin() + static_cast<long>(y * stride),
                         rows.begin() + static_cast<long>((y + 1) * stride));
    bytes b = bmp_file({40, false, w, h, static_cast<int>(8 * channels)}, bottom_up);
    b.erase(b.begin() + 54, b.begin() + 62); // no colour table
    put(b, 10, 54, 4);
    return b;
}

bytes as_read(const bytes &font, redraw as)
{
    bytes whole = whole_font(font);
    if (as == redraw::png_alpha || as == redraw::pam_alpha || as == redraw::pbm)
        return whole;
    size_t ink = 0, all = 8 * whole.size();
    for (unsigned char b : whole)
        for (int i = 0; i < 8; i++)
            ink += b >> i & 1U;
    if (2 * ink > all && ink < all)
        for (auto &b : whole)
            b = static_cast<unsigned char>(~b);
    return whole;
}

std::string as_written(const std::string &text)
{
#ifdef _WIN32
    std::string crlf;
    for (char ch : text)
        crlf += ch == '\n' ? "\r\n" : std::string(1, ch);
    return crlf;
#else
    return text;
#endif
}

static const char *executable(const std::string &program)
{
    return program == "glyphsheet" ? GLYPHSHEET_EXE : program == "glyphcut" ? GLYPHCUT_EXE : GLYPHRIP_EXE;
}

static std::string text_of(const std::string &path)
{
    bytes b = slurp(path);
    return {b.begin(), b.end()};
}

#ifdef _WIN32
// Quotes one argument so that the C runtime's parser gives it back as it
// was: backslashes are literal except before a quote.
static std::string quote(const std::string &arg)
{
    std::string q = "\"";
    size_t slashes = 0;
    for (char ch : arg) {
        if (ch == '\\') {
            slashes++;
            continue;
        }
        q.append(ch == '"' ? 2 * slashes + 1 : slashes, '\\');
        q += ch;
        slashes = 0;
    }
    q.append(2 * slashes, '\\');
    return q + '"';
}

static std::wstring wide(const std::string &utf8)
{
    std::wstring w(utf8.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, w.data(), static_cast<int>(w.size()));
    w.resize(n > 0 ? static_cast<size_t>(n) - 1 : 0);
    return w;
}

static HANDLE inheritable(const std::string &path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
    return h;
}

outcome run_tool(const std::string &dir, const std::vector<std::string> &command, feed_by how, const bytes &)
{
    EXPECT_EQ(how, feed_by::none) << "only POSIX systems feed the tool through a pipe or FIFO";
    std::string utf8 = quote(fs::absolute(executable(command[0])).make_preferred().string());
    for (size_t i = 1; i < command.size(); i++)
        utf8 += ' ' + quote(command[i]);
    std::wstring line = wide(utf8);

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    si.hStdOutput = inheritable(dir + ".out", GENERIC_WRITE, CREATE_ALWAYS);
    si.hStdError = inheritable(dir + ".err", GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION pi;
    DWORD status = 127;
    // Under Wine a start now and then fails for want of a moment; a few
    // tries tell that from a program that cannot start.
    bool started = false;
    DWORD error = 0;
    for (int tries = 0; tries < 5 && !started; tries++) {
        started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, wide(dir).c_str(), &si, &pi);
        error = started ? 0 : GetLastError();
        if (!started)
            Sleep(200);
    }
    if (started) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << utf8 << ": error " << error;
    }
    CloseHandle(si.hStdInput);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    return {static_cast<int>(status), text_of(dir + ".out"), text_of(dir + ".err")};
}
#else
// Writes `feed` into the FIFO from a child of its own: opening a FIFO waits
// for the reader, which is the tool.
static pid_t fifo_writer(const std::string &dir, const bytes &feed)
{
    pid_t writer = fork();
    if (writer == 0) {
        int fd = open((dir + "/in.fifo").c_str(), O_WRONLY);
        _exit(fd >= 0 && write(fd, feed.data(), feed.size()) == static_cast<ssize_t>(feed.size()) ? 0 : 1);
    }
    return writer;
}

outcome run_tool(const std::string &dir, const std::vector<std::string> &command, feed_by how, const bytes &feed)
{
    int in[2];
    EXPECT_EQ(pipe(in), 0);
    std::vector<char *> argv;
    argv.reserve(command.size() + 1);
    for (const auto &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    const char *exe = executable(command[0]);
    pid_t writer = how == feed_by::fifo ? fifo_writer(dir, feed) : -1;
    pid_t tool = fork();
    if (tool == 0) {
        dup2(in[0], 0);
        close(in[1]); // or the tool would never see its input end
        dup2(open((dir + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open((dir + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        if (chdir(dir.c_str()) == 0)
            execv(exe, argv.data());
        _exit(127);
    }
    close(in[0]);
    // The feeds used fit in the pipe's buffer, so this cannot wait on the tool.
    if (how == feed_by::pipe) {
        EXPECT_EQ(write(in[1], feed.data(), feed.size()), static_cast<ssize_t>(feed.size()));
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
#endif
