// Preloaded into a tool's process, makes the identity of every open file
// unreadable, as a flaky network file system can: the same-file check must
// then refuse rather than guess.
#include <cerrno>

#include <sys/stat.h>

extern "C" int fstat(int /*fd*/, struct stat * /*buf*/)
{
    errno = EIO;
    return -1;
}
