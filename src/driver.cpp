// The run of either program, `name infile outfile`: the command line, the
// order in which the files are opened, read, written and closed, and every
// message.
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "glyph_sheet.h"

// The file a failed run concerns and, where errno does not say it, why.
struct failure {
    const char *path;
    const char *reason;
    char refusal[REASON_SIZE]; // a reader's reason, pointed to by `reason`
};

#ifdef _WIN32
// Windows gives no inode numbers through stat; the volume and file index of
// an open handle identify a file across spellings and links.
static bool same_file(FILE *in, const char *path)
{
    BY_HANDLE_FILE_INFORMATION a, b;
    HANDLE in_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    HANDLE out_handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (out_handle == INVALID_HANDLE_VALUE)
        return false;
    bool same = GetFileInformationByHandle(in_handle, &a) && GetFileInformationByHandle(out_handle, &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(out_handle);
    return same;
}
#else
static bool same_file(FILE *in, const char *path)
{
    struct stat a, b;
    return fstat(fileno(in), &a) == 0 && stat(path, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
#endif

static bool blame(failure *f, const char *path, const char *reason)
{
    f->path = path;
    f->reason = reason;
    return false;
}

// The whole input is read and closed before the output is opened, so
// nothing that goes wrong with the input can empty or change the output.
static bool convert(const conversion &how, const char *in_path, const char *out_path, failure *f)
{
    glyph_sheet sheet;
    FILE *in = fopen(in_path, "rb");
    if (in == nullptr)
        return blame(f, in_path, nullptr);
    int read = how.read(in, sheet, f->refusal);
    if (read != 0)
        return blame(f, in_path, read > 0 ? f->refusal : nullptr);
    // Writing there would replace the file being converted.
    if (same_file(in, out_path))
        return blame(f, out_path, "Same file as the input");
    if (fclose(in) != 0)
        return blame(f, in_path, nullptr);

    FILE *out = fopen(out_path, "wb");
    if (out == nullptr || how.write(sheet, out) != 0 || fclose(out) != 0)
        return blame(f, out_path, nullptr);
    return true;
}

int run_conversion(const conversion &how, int argc, char *argv[])
{
    if (argc != 3) {
        // Nothing better can be done if standard error fails; the status says it.
        (void)fprintf(stderr, "Usage: %s infile outfile\n", how.name);
        return 1;
    }
    failure f = {nullptr, nullptr, ""};
    if (convert(how, argv[1], argv[2], &f))
        return 0;
    if (f.reason == nullptr)
        perror(f.path);
    else
        (void)fprintf(stderr, "%s: %s\n", f.path, f.reason);
    return 1;
}
