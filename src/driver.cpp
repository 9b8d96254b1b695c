// The run of either program, `name infile outfile`: the command line, the
// order in which the files are opened, read, written and closed, and every
// message.
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

// A console shows UTF-16 as it is; a file or pipe gets UTF-8. A path is at
// most 32767 characters, the longest command line, and is shown as
// elsewhere, from UTF-8; a reason is ASCII.
static void report(const path_char *path, const char *reason)
{
    static char name[3 * 32768], text[4 * sizeof name + REASON_SIZE + 4]; // each byte of the name at most 4 shown
    line_buffer line = {text, sizeof text, 0};
    name[0] = '\0';
    (void)WideCharToMultiByte(CP_UTF8, 0, path, -1, name, sizeof name, nullptr, nullptr);
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

static void report(const path_char *path, const char *reason)
{
    // One write for the line, not one for each piece.
    static char line[BUFSIZ];
    (void)setvbuf(stderr, line, _IOFBF, sizeof line);
    failure_line(path, reason, to_stderr, nullptr);
    (void)fputs("\n", stderr);
    (void)fflush(stderr);
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

// The ending of the name `path` ends in; see ENDING_SIZE.
static void ending_of(const path_char *path, char ending[ENDING_SIZE])
{
    size_t end = 0, dot = 0;
    while (path[end] != 0)
        end++;
#ifdef _WIN32
    // Windows drops a name's trailing dots and spaces.
    while (end > 0 && (path[end - 1] == '.' || path[end - 1] == ' '))
        end--;
#endif
    for (dot = end; dot > 0 && path[dot - 1] != '.' && !is_separator(path[dot - 1]);)
        dot--;
    ending[0] = '\0';
    // A name that starts with its only dot, such as `.png`, has no ending.
    if (dot < 2 || path[dot - 1] != '.' || is_separator(path[dot - 2]))
        return;
    if (end - dot >= ENDING_SIZE) {
        (void)snprintf(ending, ENDING_SIZE, "?");
        return;
    }
    for (size_t i = dot; i < end; i++) {
        path_char c = path[i];
        if (static_cast<unsigned>(c) > 0x7F) {
            (void)snprintf(ending, ENDING_SIZE, "?");
            return;
        }
        ending[i - dot] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    ending[end - dot] = '\0';
}

// An existing output that glyphrip can name is most likely the drawing,
// or another file of the user's, named second by mistake: nothing is
// written over it (kind_beside_fonts). One that cannot be read cannot be
// told, and is kept too.
static bool may_replace(const conversion &how, const path_char *path, failure *f)
{
    FILE *out = opened(open_file(path, false), false);
    if (out == nullptr) {
        (void)snprintf(f->refusal, REASON_SIZE, "%s; %s cannot tell what it is and will not write a font over it",
                       strerror(errno), how.name);
        return blame(f, path, f->refusal);
    }
    static input there;
    int read = open_input(there, out);
    const file_kind *kind = read == 0 ? kind_beside_fonts(there) : nullptr;
    if (fclose(out) != 0 || read != 0 || there.failed)
        return blame(f, path, nullptr);
    if (kind == nullptr)
        return true;
    (void)snprintf(f->refusal, REASON_SIZE, "%s; %s will not write a font over it", kind->name, how.name);
    return blame(f, path, f->refusal);
}

// The whole input is read and closed before the output is opened, so
// nothing that goes wrong with the input can empty or change the output.
static bool convert(const conversion &how, const path_char *in_path, const path_char *out_path, failure *f)
{
    static glyph_sheet sheet;
    static input input_bytes;
    FILE *in = opened(open_file(in_path, false), false);
    if (in == nullptr)
        return blame(f, in_path, nullptr);
    int read = open_input(input_bytes, in);
    if (read == 0)
        read = how.read(input_bytes, sheet, f->refusal);
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
    auto write = how.writer_for(ending, sheet, f->refusal);
    if (write == nullptr)
        return blame(f, out_path, f->refusal);
    if (how.keeps_pictures && there == existing::regular_file && !may_replace(how, out_path, f))
        return false;

    static unsigned char bytes[MOST_WRITTEN];
    size_t n = write(sheet, bytes);
    FILE *out = opened(open_file(out_path, true), true);
    if (out == nullptr || fwrite(bytes, 1, n, out) != n || !written(out) || fclose(out) != 0)
        return blame(f, out_path, nullptr);
    return true;
}

int run_conversion(const conversion &how, int argc, path_char *argv[])
{
    if (argc != 3) {
        // Nothing better can be done if standard error fails; the status says it.
        (void)fprintf(stderr, "Usage: %s infile outfile\n", how.name);
        return 1;
    }
    failure f = {nullptr, nullptr, ""};
    if (convert(how, argv[1], argv[2], &f))
        return 0;
    report(f.path, f.reason);
    return 1;
}
