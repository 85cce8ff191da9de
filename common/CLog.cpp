#include "common/CLog.h"

#include "platform/BrokenPipe.h"
#include "platform/Clock.h"
#include "platform/ThreadId.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <new>

const char* const logLevelNames[7] = {"debug", "info", "notice", "warning", "error", "except", "assert"};

// Set up during static initialisation, before any other singleton's holder, so that at exit the
// engine is deleted after every other singleton whose destructor may still log.
const bool CLog::holderSetUp = (CSingleton<CLog>::SetUpHolder(), true);

CLog* SingletonAfterExit<CLog>::Instance()
{
    // Built on first need in static storage and never destroyed, so that it outlives every
    // thread that still logs while the process ends. It owns no memory, so nothing leaks.
    alignas(CLog) static unsigned char storage[sizeof(CLog)];
    static CLog* const engine = new (storage) CLog(CLog::Inert{});
    return engine;
}

CLog::CLog()
    : listener(nullptr)
    , startTicks(0)
{
    // A reader of standard output that went away must not end the process: lines that cannot
    // be written are dropped.
    Platform::IgnoreBrokenPipe();
    std::cout.clear();
    std::clearerr(stdout);
    std::fputs("#### Log engine initialization.\n", stdout);
    std::fflush(stdout);
    startTicks = Platform::WallClockTicks();
    StartThread();
}

CLog::CLog(Inert inert)
    : CLogBuffers(inert)
    , listener(nullptr)
    , startTicks(0)
{
}

CLog::~CLog()
{
    StopThread();
    std::fputs("#### Log engine destruction.\n", stdout);
    std::fflush(stdout);
}

bool CLog::IsEnabled(const std::string& category, int level) const
{
    const auto entry = categoryLevels.find(category);
    return entry != categoryLevels.end() && entry->second <= level;
}

void CLog::WriteMessage(const char* category, int level, std::ostringstream& message)
{
    const std::string line = FormatLine(category, level, message);
    const int length = static_cast<int>(std::min<size_t>(line.size(), logRingSize - 1));
    Write(line.c_str(), length);
    if (listener != nullptr)
        listener->OnLogLine(line);
}

std::string CLog::FormatLine(const char* category, int level, std::ostringstream& message)
{
    // The low 32 bits only: after about 24.8 days the written time wraps to negative values.
    const int64_t elapsed = (Platform::WallClockTicks() - startTicks) / 10000;
    const auto elapsedLow = static_cast<int32_t>(static_cast<uint32_t>(elapsed));
    const uint32_t thread = Platform::CurrentThreadId();
    const char* levelName = level >= 0 && level <= 6 ? logLevelNames[level] : "?";

    std::ostringstream line;
    line.imbue(std::locale::classic());
    line << std::left << "[LOG] " << std::setw(6) << elapsedLow << " | " << std::setw(5) << thread
         << " | " << std::setw(15) << category << " | " << std::setw(6) << levelName << " | "
         << message.str() << '\n';
    return line.str();
}
