// The run of each program, `name [options] infile outfile`: the command
// line, the order in which the files are opened, read, written and closed,
// and every message.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "glyph_sheet.h"
#include "kinds.h"
#include "picture.h"
#include "program.h"

// What the file system and standard error need of a path as the user typed
// it: on Windows it stays in UTF-16 throughout, since any conversion to the
// ANSI code page loses or, worse, changes names.
#ifdef _WIN32
static FILE *open_file(const path_char *path, bool for_writing) { return _wfopen(path, for_writing ? L"wb" : L"rb"); }

static bool is_regular(FILE *f)
{
    struct _stat64 st;
    return _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

// The error number for a failure to look a path up.
static int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_INVALID_NAME: return EINVAL;
    default: return EIO;
    }
}

// What the output path names, if anything.
enum class existing { nothing, regular_file, other };

// 1 if `path` names the open input, 0 if it names another file or none,
// `there` then saying which; -1 with errno set where the input's identity
// cannot be read, -2 where what `path` names cannot be learnt. Windows
// gives no inode numbers through stat; the volume and file index of an
// open handle identify a file across spellings and links.
static int same_file(FILE *in, const path_char *path, existing &there)
{
    there = existing::nothing;
    BY_HANDLE_FILE_INFORMATION a, b;
    HANDLE in_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    if (in_handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(in_handle, &a)) {
        errno = EIO;
        return -1;
    }
    HANDLE out_handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (out_handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return 0;
        errno = errno_of(error);
        return -2;
    }
    bool known = GetFileInformationByHandle(out_handle, &b) != 0;
    DWORD error = GetLastError();
    bool disk = GetFileType(out_handle) == FILE_TYPE_DISK;
    CloseHandle(out_handle);
    if (!known) {
        errno = errno_of(error);
        return -2;
    }
    bool regular = disk && (b.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    there = regular ? existing::regular_file : existing::other;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                   a.nFileIndexLow == b.nFileIndexLow
               ? 1
               : 0;
}

// A path is at most 32767 characters, the longest command line: as UTF-8
// at most three bytes each.
enum { MOST_UTF8 = 3 * 32768 };
static void utf8_of(const path_char *path, char *out, size_t room)
{
    out[0] = '\0';
    (void)WideCharToMultiByte(CP_UTF8, 0, path, -1, out, static_cast<int>(room), nullptr, nullptr);
}

static void say_line(const char *name, const char *reason);

static void report(const path_char *path, const char *reason)
{
    static char name[MOST_UTF8];
    utf8_of(path, name, sizeof name);
    say_line(name, reason);
}

// A console shows UTF-16 as it is; a file or pipe gets UTF-8. A name is
// shown as elsewhere, from UTF-8; a reason is UTF-8 too.
static void say_line(const char *name, const char *reason)
{
    static char text[4 * MOST_UTF8 + 4 * REASON_SIZE + 4]; // each byte at most 4 shown
    line_buffer line = {text, sizeof text, 0};
    failure_line(name, reason, to_line, &line);
    to_line("\n", 1, &line);
    size_t n = line.length;

    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0, shown = 0;
    if (GetConsoleMode(err, &mode)) {
        static wchar_t wide[sizeof text];
        int size = MultiByteToWideChar(CP_UTF8, 0, line.text, static_cast<int>(n), wide, sizeof wide / sizeof wide[0]);
        if (size > 0)
            WriteConsoleW(err, wide, static_cast<DWORD>(size), &shown, nullptr);
        return;
    }
    (void)fwrite(line.text, 1, n, stderr);
}
#else
static FILE *open_file(const path_char *path, bool for_writing) { return fopen(path, for_writing ? "wb" : "rb"); }

static bool is_regular(FILE *f)
{
    struct stat st;
    return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

// What the output path names, if anything.
enum class existing { nothing, regular_file, other };

// 1 if `path` names the open input, 0 if it names another file or none,
// `there` then saying which; -1 with errno set where the input's identity
// cannot be read, -2 where what `path` names cannot be learnt. Only a path
// that names nothing (ENOENT) is known not to be the input: any other
// failure, on a network file system that answers EIO or EINTR now and
// then, may hide it.
static int same_file(FILE *in, const path_char *path, existing &there)
{
    struct stat a, b;
    there = existing::nothing;
    if (fstat(fileno(in), &a) != 0)
        return -1;
    if (stat(path, &b) != 0)
        return errno == ENOENT ? 0 : -2;
    there = S_ISREG(b.st_mode) ? existing::regular_file : existing::other;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino ? 1 : 0;
}

static void to_stderr(const char *piece, size_t length, void * /*to*/) { (void)fwrite(piece, 1, length, stderr); }

static void say_line(const char *name, const char *reason)
{
    // One write for the line, not one for each piece.
    static char line[BUFSIZ];
    (void)setvbuf(stderr, line, _IOFBF, sizeof line);
    failure_line(name, reason, to_stderr, nullptr);
    (void)fputs("\n", stderr);
    (void)fflush(stderr);
}

static void report(const path_char *path, const char *reason) { say_line(path, reason); }

static void utf8_of(const path_char *path, char *out, size_t room)
{
    size_t n = strlen(path) < room - 1 ? strlen(path) : room - 1;
    memcpy(out, path, n);
    out[n] = '\0';
}
#endif

// A file is read a block, and written a whole font, at a time, straight
// between its bytes and the program's own, which the C library's buffer
// would only copy; a pipe or terminal, read a few bytes at a time, keeps
// it. Where the stream cannot say, it keeps its buffer.
static FILE *opened(FILE *f, bool for_writing)
{
    if (f != nullptr && (for_writing || is_regular(f)))
        (void)setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

// The file a failed run concerns and why: the system's text for errno, a
// reader's refusal, or the driver's own.
struct failure {
    const path_char *path;
    const char *reason;
    char refusal[REASON_SIZE];
};

static bool blame(failure *f, const path_char *path, const char *reason)
{
    f->path = path;
    f->reason = reason != nullptr ? reason : strerror(errno);
    return false;
}

// A write the C library still holds shows its failure only when flushed,
// and some libraries' fclose does not say so.
static bool written(FILE *out) { return fflush(out) == 0 && !ferror(out); }

static bool is_separator(path_char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

// Where the name `path` ends in starts, and where its ending's dot
// stands, or its end where it has no ending.
static void name_of(const path_char *path, size_t &start, size_t &dot, size_t &end)
{
    end = 0;
    while (path[end] != 0)
        end++;
#ifdef _WIN32
    // Windows drops a name's trailing dots and spaces.
    while (end > 0 && (path[end - 1] == '.' || path[end - 1] == ' '))
        end--;
#endif
    for (start = end; start > 0 && !is_separator(path[start - 1]);)
        start--;
    for (dot = end; dot > start && path[dot - 1] != '.';)
        dot--;
    // A name that starts with its only dot, such as `.png`, has no ending.
    dot = dot > start + 1 ? dot - 1 : end;
}

// The ending of the name `path` ends in; see ENDING_SIZE.
static void ending_of(const path_char *path, char ending[ENDING_SIZE])
{
    size_t start = 0, dot = 0, end = 0;
    name_of(path, start, dot, end);
    ending[0] = '\0';
    if (dot == end)
        return;
    if (end - dot - 1 >= ENDING_SIZE) {
        (void)memcpy(ending, "?", 2);
        return;
    }
    for (size_t i = dot + 1; i < end; i++) {
        path_char c = path[i];
        if (static_cast<unsigned>(c) > 0x7F) {
            (void)memcpy(ending, "?", 2);
            return;
        }
        ending[i - dot - 1] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    ending[end - dot - 1] = '\0';
}

// The name `path` ends in without its ending, as UTF-8, for C source.
static void stem_of(const path_char *path, char stem[256])
{
    size_t start = 0, dot = 0, end = 0;
    name_of(path, start, dot, end);
    path_char part[200];
    size_t n = dot - start < 199 ? dot - start : 199;
    // cppcheck-suppress knownConditionTrueFalse ; name_of sets start and dot
    for (size_t i = 0; i < n; i++)
        part[i] = path[start + i];
    part[n] = 0;
    utf8_of(part, stem, 256);
}

// An existing output that glyphrip can name is most likely the drawing,
// or another file of the user's, named second by mistake: nothing is
// written over it (kind_beside_fonts). C source is replaced only where
// glyphrip or glyphcut wrote it. One that cannot be read cannot be told,
// and is kept too.
static bool may_replace(const conversion &how, const output &o, const path_char *path, failure *f)
{
    FILE *out = opened(open_file(path, false), false);
    if (out == nullptr) {
        (void)refuse(f->refusal, "%s; %s cannot tell what it is and will not write a font over it", strerror(errno),
                     how.name);
        return blame(f, path, f->refusal);
    }
    static input there;
    int read = open_input(there, out);
    const file_kind *kind = read == 0 && !o.source ? kind_beside_fonts(there, o.font_length) : nullptr;
    first_bytes first = first_bytes_of(there);
    if (fclose(out) != 0 || read != 0 || there.failed)
        return blame(f, path, nullptr);
    if (o.source && !written_by_us(first.start, first.length)) {
        (void)refuse(f->refusal, "not C source glyphrip or glyphcut wrote; %s will not write over it", how.name);
        return blame(f, path, f->refusal);
    }
    if (kind == nullptr)
        return true;
    (void)refuse(f->refusal, "%s; %s will not write a font over it", kind->name, how.name);
    return blame(f, path, f->refusal);
}

// Writes the output whole, and checks every write and the close.
static bool write_out(const output &o, const path_char *path, failure *f)
{
    char stem[256];
    stem_of(path, stem);
    FILE *out = opened(open_file(path, true), true);
    if (out == nullptr)
        return blame(f, path, nullptr);
    sink s = {out, nullptr, 0, 0, false};
    o.write(s, stem);
    if (s.failed || !written(out)) {
        int error = errno;
        (void)fclose(out);
        errno = error;
        return blame(f, path, nullptr);
    }
    if (fclose(out) != 0)
        return blame(f, path, nullptr);
    return true;
}

// The whole input is read and closed before the output is opened, so
// nothing that goes wrong with the input can empty or change the output.
static bool convert(const conversion &how, const told &t, const path_char *in_path, const path_char *out_path,
                    failure *f)
{
    static input input_bytes;
    FILE *in = opened(open_file(in_path, false), false);
    if (in == nullptr)
        return blame(f, in_path, nullptr);
    int read = open_input(input_bytes, in);
    if (read == 0)
        read = how.read(input_bytes, t, f->refusal);
    if (read != 0)
        return blame(f, in_path, read > 0 ? f->refusal : nullptr);
    // Writing there would replace the file being converted; where that
    // cannot be ruled out, nothing is written.
    existing there = existing::nothing;
    int same = same_file(in, out_path, there);
    if (same < 0)
        return blame(f, same == -1 ? in_path : out_path, nullptr);
    if (same > 0)
        return blame(f, out_path, "Same file as the input");
    if (fclose(in) != 0)
        return blame(f, in_path, nullptr);
    // A device or a pipe is written as if it had no ending.
    char ending[ENDING_SIZE] = "";
    if (there != existing::other)
        ending_of(out_path, ending);
    output o = {nullptr, 0, false};
    if (how.output_for(ending, t, o, f->refusal) != 0)
        return blame(f, out_path, f->refusal);
    if (how.keeps_pictures && there == existing::regular_file && !may_replace(how, o, out_path, f))
        return false;
    return write_out(o, out_path, f);
}

// The arguments as UTF-8, for options to be read from; on Windows they
// come in UTF-16.
static const char *const *utf8_arguments(int argc, path_char *argv[])
{
#ifdef _WIN32
    static char text[MOST_UTF8 + 1024];
    static const char *args[1024];
    size_t used = 0;
    for (int i = 0; i < argc && i < 1024; i++) {
        utf8_of(argv[i], text + used, sizeof text - used);
        args[i] = text + used;
        used += strlen(text + used) + 1;
        if (used >= sizeof text)
            used = sizeof text - 1;
    }
    return args;
#else
    (void)argc;
    return argv;
#endif
}

int run_conversion(const conversion &how, int argc, path_char *argv[])
{
    told t = nothing_told(how.name);
    int paths = 1;
    char why[REASON_SIZE];
    int options = how.takes_options ? read_options(argc, utf8_arguments(argc, argv), t, paths, why) : argc == 3 ? 0 : 2;
    if (options == 2) {
        // Nothing better can be done if standard error fails; the status says it.
        (void)fprintf(stderr, "Usage: %s %s\n", how.name, how.arguments);
        return 1;
    }
    if (options == 1) {
        say_line(how.name, why);
        return 1;
    }
    failure f = {nullptr, nullptr, ""};
    if (convert(how, t, argv[paths], argv[paths + 1], &f))
        return 0;
    report(f.path, f.reason);
    return 1;
}
