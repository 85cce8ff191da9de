// A named stopwatch on the stack: its destruction logs the name, " : ", the elapsed count and
// the unit in category "timing" at level notice. Uses the wall clock, so a change of the system
// time during a measurement changes the result, which may even be negative.
#pragma once

#include <cstdint>
#include <string>

namespace Kelvora {

class CTiming
{
public:
    CTiming(const std::string& name, bool inMilliseconds);
    virtual ~CTiming();
    CTiming(const CTiming&) = delete;
    CTiming& operator=(const CTiming&) = delete;

    // Elapsed count so far in the unit, remainder dropped; logs nothing.
    virtual int64_t Elapsed();
    // "ms" or "micros".
    virtual const char* UnitName() const;

private:
    int64_t Divisor() const;

    std::string name;
    bool inMilliseconds;
    int64_t startTicks;
    int64_t stopTicks;
};

} // namespace Kelvora
