// The wall clock, in 100-nanosecond ticks since 1970-01-01 00:00 UTC. Not monotonic: it follows
// changes of the system time. Callers: the log engine's elapsed times and the stopwatch.
#pragma once

#include <cstdint>

namespace Platform {

int64_t WallClockTicks();

// Test seam: replaces the clock for the whole process (nullptr restores the system clock).
// Safe to call while other threads read the clock.
using TickSource = int64_t (*)();
void SetTickSourceForTesting(TickSource source);

} // namespace Platform
