#include "platform/Clock.h"

#include <atomic>
#include <chrono>

namespace Platform {

namespace {

std::atomic<TickSource> tickSource{nullptr};

int64_t SystemTicks()
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

int64_t WallClockTicks()
{
    TickSource source = tickSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : SystemTicks();
}

void SetTickSourceForTesting(TickSource source)
{
    tickSource.store(source, std::memory_order_release);
}

} // namespace Platform
