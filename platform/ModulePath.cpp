#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace Platform {

bool ModuleOfAddress(const void* address, ModuleHandle& module)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0) {
        errno = ENOENT;
        return false;
    }
    module = info.dli_fbase;
    return true;
}

unsigned ModuleFileName(ModuleHandle /*module*/, char* buffer, unsigned size)
{
    if (buffer == nullptr || size == 0) {
        errno = EINVAL;
        return 0;
    }
    char path[PATH_MAX + 1];
    const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    if (length <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    const unsigned kept = static_cast<size_t>(length) < size ? static_cast<unsigned>(length) : size - 1;
    std::memcpy(buffer, path, kept);
    buffer[kept] = '\0';
    return kept;
}

} // namespace Platform
