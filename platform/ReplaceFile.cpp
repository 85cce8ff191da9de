#include "platform/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace Platform {

namespace {

bool WriteAll(int fd, const std::string& content)
{
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool ReplaceFileWith(const std::string& path, const std::string& content)
{
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    // mkstemp creates the file exclusively: a name made beside the target in the meantime is
    // never opened.
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0644) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) {
        if (::rename(name.data(), path.c_str()) == 0)
            return true;
        error = errno;
    }
    ::unlink(name.data());
    errno = error;
    return false;
}

} // namespace Platform
