#include "platform/WindowsVersion.h"

#include <atomic>

namespace Platform {

namespace {

// major << 32 | minor << 16 | service pack, in one value so that a reader never sees a mix.
std::atomic<uint64_t> reported{uint64_t{10} << 32};

uint64_t Pack(uint16_t major, uint16_t minor, uint16_t servicePackMajor)
{
    return uint64_t{major} << 32 | uint64_t{minor} << 16 | servicePackMajor;
}

} // namespace

bool IsWindowsVersionOrGreater(uint16_t major, uint16_t minor, uint16_t servicePackMajor)
{
    return reported.load() >= Pack(major, minor, servicePackMajor);
}

void SetReportedWindowsVersionForTesting(uint16_t major, uint16_t minor, uint16_t servicePackMajor)
{
    reported.store(Pack(major, minor, servicePackMajor));
}

} // namespace Platform
