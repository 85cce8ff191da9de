#include "platform/FileMode.h"

#include <sys/stat.h>

#include <cerrno>

namespace Platform {

bool MakeOwnerExecutable(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return false;
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if ((info.st_mode & S_IXUSR) != 0)
        return true;
    return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IXUSR) == 0;
}

} // namespace Platform
