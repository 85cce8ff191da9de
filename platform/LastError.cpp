#include "platform/LastError.h"

#include <cerrno>

namespace Platform {

int LastErrorCode()
{
    return errno;
}

} // namespace Platform
