#include "tests/support/FakeClock.h"

#include "platform/Clock.h"

#include <atomic>

namespace {

std::atomic<int64_t> fakeTicks{0};

int64_t ReadFakeTicks()
{
    return fakeTicks.load();
}

} // namespace

FakeClock::FakeClock(int64_t ticks)
{
    fakeTicks.store(ticks);
    Platform::SetTickSourceForTesting(&ReadFakeTicks);
}

FakeClock::~FakeClock()
{
    Platform::SetTickSourceForTesting(nullptr);
}

void FakeClock::Set(int64_t ticks)
{
    fakeTicks.store(ticks);
}

void FakeClock::Advance(int64_t ticks)
{
    fakeTicks.fetch_add(ticks);
}
