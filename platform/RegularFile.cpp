#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Platform {

bool ReadRegularFile(const std::string& path, std::size_t maxSize, std::string& content)
{
    // Non-blocking, so that opening a FIFO returns at once; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int error = 0;
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
        error = ENODEV;
    } else {
        try {
            std::string bytes;
            char chunk[8192];
            for (;;) {
                const ssize_t n = ::read(fd, chunk, sizeof chunk);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    error = errno;
                    break;
                }
                if (n == 0)
                    break;
                // The size stat gave may already be stale: the limit counts what is read.
                if (static_cast<std::size_t>(n) > maxSize - bytes.size()) {
                    error = EFBIG;
                    break;
                }
                bytes.append(chunk, static_cast<std::size_t>(n));
            }
            if (error == 0)
                content.swap(bytes);
        } catch (...) {
            error = ENOMEM;
        }
    }
    ::close(fd);
    errno = error;
    return error == 0;
}

} // namespace Platform
