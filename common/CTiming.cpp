#include "common/CTiming.h"

#include "common/CLog.h"
#include "platform/Clock.h"

namespace Kelvora {

CTiming::CTiming(const std::string& name, bool inMilliseconds)
    : name(name)
    , inMilliseconds(inMilliseconds)
    , startTicks(0)
    , stopTicks(0)
{
    startTicks = Platform::WallClockTicks();
}

CTiming::~CTiming()
{
    stopTicks = Platform::WallClockTicks();
    const int64_t count = (stopTicks - startTicks) / Divisor();
    CSingleton<CLog>::GetInstance()->Notice("timing", name, " : ",
                                            static_cast<int32_t>(static_cast<uint32_t>(count)), " ",
                                            UnitName());
}

int64_t CTiming::Elapsed()
{
    stopTicks = Platform::WallClockTicks();
    return (stopTicks - startTicks) / Divisor();
}

const char* CTiming::UnitName() const
{
    return inMilliseconds ? "ms" : "micros";
}

int64_t CTiming::Divisor() const
{
    return inMilliseconds ? 10000 : 10;
}

} // namespace Kelvora
