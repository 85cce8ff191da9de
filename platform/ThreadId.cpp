#include "platform/ThreadId.h"

#include <unistd.h>

namespace Platform {

uint32_t CurrentThreadId()
{
    // A thread's identifier never changes, and the system call costs about a microsecond in a
    // virtual machine: every log line asks twice.
    thread_local const auto id = static_cast<uint32_t>(gettid());
    return id;
}

} // namespace Platform
