// Preloaded into a tool's process, makes every path's identity unreadable
// but for a missing file's, as a network file system that answers EIO now
// and then can: the same-file check must then refuse rather than take the
// output for another file.
#include <cerrno>

#include <sys/stat.h>

extern "C" int stat(const char * /*path*/, struct stat * /*buf*/)
{
    errno = EIO;
    return -1;
}
