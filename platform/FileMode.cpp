#include "platform/FileMode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Platform {

bool MakeOwnerExecutable(const std::string& path)
{
    // The mode is read and changed through one descriptor, so that the file checked is the one
    // changed.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool done = false;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if ((info.st_mode & S_IXUSR) != 0)
        done = true;
    else if (::fchmod(fd, (info.st_mode & 07777) | S_IXUSR) == 0)
        done = true;
    else
        error = errno;
    ::close(fd);
    errno = error;
    return done;
}

} // namespace Platform
