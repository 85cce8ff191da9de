// Replaces the wall clock with one the test sets, for as long as it lives.
#pragma once

#include <cstdint>

class FakeClock
{
public:
    explicit FakeClock(int64_t ticks);
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void Set(int64_t ticks);
    void Advance(int64_t ticks);
};
