// The operating system's numeric identifier of the calling thread (GetCurrentThreadId on Windows,
// gettid here). Identifiers of ended threads may be given to new ones.
#pragma once

#include <cstdint>

namespace Platform {

uint32_t CurrentThreadId();

} // namespace Platform
