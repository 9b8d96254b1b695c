#include "harness.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

bytes slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spill(const std::string &path, const bytes &content)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
    ASSERT_TRUE(out.good()) << path;
}

bool exists(const std::string &path) { return fs::exists(fs::symlink_status(path)); }

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
    fs::remove_all(dir, ignored);
    fs::remove(dir + ".out", ignored);
    fs::remove(dir + ".err", ignored);
}

bytes font_of(const bytes &file)
{
    bytes font(1024);
    for (size_t c = 0; c < 8; c++)
        for (size_t g = 0; g < 16; g++)
            for (size_t s = 0; s < 8; s++) {
                size_t at = 62 + 8 * (127 - 8 * g - s) + c;
                int v = at < file.size() ? file[at] : 0xFF, m = 0;
                for (int i = 0; i < 8; i++)
                    if (v & (1 << i))
                        m |= 1 << (7 - i);
                font[128 * c + 8 * g + s] = static_cast<unsigned char>(m);
            }
    return font;
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

static HANDLE inheritable(const std::string &path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
    return h;
}

outcome run_tool(const std::string &dir, const std::vector<std::string> &args, feed_by how, const bytes &)
{
    EXPECT_EQ(how, feed_by::none) << "only POSIX systems feed the tool through a pipe or FIFO";
    std::string command = quote(fs::absolute(GLYPHRIP_EXE).make_preferred().string());
    for (const auto &a : args)
        command += ' ' + quote(a);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    si.hStdOutput = inheritable(dir + ".out", GENERIC_WRITE, CREATE_ALWAYS);
    si.hStdError = inheritable(dir + ".err", GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION pi;
    DWORD status = 127;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << command;
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
        int fd = open((dir + "/sheet.fifo").c_str(), O_WRONLY);
        _exit(fd >= 0 && write(fd, feed.data(), feed.size()) == static_cast<ssize_t>(feed.size()) ? 0 : 1);
    }
    return writer;
}

outcome run_tool(const std::string &dir, const std::vector<std::string> &args, feed_by how, const bytes &feed)
{
    int in[2];
    EXPECT_EQ(pipe(in), 0);
    pid_t writer = how == feed_by::fifo ? fifo_writer(dir, feed) : -1;
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
