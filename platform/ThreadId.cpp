#include "platform/ThreadId.h"

#include <unistd.h>

namespace Platform {

uint32_t CurrentThreadId()
{
    return static_cast<uint32_t>(gettid());
}

} // namespace Platform
