#include "console/partial_line.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

void Partial_line::take_back(int fd, qint64 written)
{
#ifdef Q_OS_UNIX
    struct stat file = {};
    if (written <= 0 || fd < 0 || ::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode))
        return;
    // Appending or not, the failed line's bytes end where the descriptor stands.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < written)
        return;
    if (::ftruncate(fd, end - written) == 0)
        ::lseek(fd, end - written, SEEK_SET);
#else
    Q_UNUSED(fd)
    Q_UNUSED(written)
#endif
}
