// The process-wide log engine, reached through CSingleton<CLog>::GetInstance(). A message is
// composed and written only when its category is in the category table at a level not above the
// message's; the table starts empty and the program never fills it, so in a normal run only the
// engine's own start and stop lines reach standard output.
#pragma once

#include "common/CLogBuffers.h"
#include "common/CSingleton.h"

#include <cstdint>
#include <locale>
#include <map>
#include <sstream>
#include <string>

enum class LogLevel : int { Debug = 0, Info = 1, Notice = 2, Warning = 3, Error = 4, Except = 5, Assert = 6 };

// Display names, indexed by level.
extern const char* const logLevelNames[7];

// Receives every line the engine writes, with its final line feed, on the logging thread; may
// be called from several threads at once.
class ILogListener
{
public:
    virtual void OnLogLine(const std::string& line) = 0;
    virtual ~ILogListener() = default;
};

class CLog;

// Once the exit-time clean-up has deleted the engine, threads that still log get an engine whose
// category table stays empty: their calls do nothing.
template <>
struct SingletonAfterExit<CLog>
{
    static CLog* Instance();
};

class CLog : public CLogBuffers, public CSingleton<CLog>
{
public:
    virtual ~CLog();

    // Writes the parts one after another, without separators, if the filter lets the message
    // through; otherwise no part is converted. Reports nothing to the caller.
    template <class... Parts>
    void Log(const char* category, int level, const Parts&... parts)
    {
        if (!IsEnabled(std::string(category), level))
            return;
        std::ostringstream message;
        // Numbers have no digit grouping, whatever the global locale.
        message.imbue(std::locale::classic());
        AppendParts(message, parts...);
        WriteMessage(category, level, message);
    }

    template <class... Parts>
    void Debug(const char* category, const Parts&... parts)
    {
        Log(category, static_cast<int>(LogLevel::Debug), parts...);
    }
    template <class... Parts>
    void Info(const char* category, const Parts&... parts)
    {
        Log(category, static_cast<int>(LogLevel::Info), parts...);
    }
    template <class... Parts>
    void Notice(const char* category, const Parts&... parts)
    {
        Log(category, static_cast<int>(LogLevel::Notice), parts...);
    }
    template <class... Parts>
    void Warning(const char* category, const Parts&... parts)
    {
        Log(category, static_cast<int>(LogLevel::Warning), parts...);
    }
    template <class... Parts>
    void Error(const char* category, const Parts&... parts)
    {
        Log(category, static_cast<int>(LogLevel::Error), parts...);
    }

    // The filter; call sites test it before building a costly message.
    bool IsEnabled(const std::string& category, int level) const;

    template <class First, class... Rest>
    static void AppendParts(std::ostream& stream, const First& first, const Rest&... rest)
    {
        stream << first;
        ((stream << rest), ...);
    }

    // Hands the formatted line to the calling thread's ring (cut to 9999 bytes), then, whole, to
    // the listener if one is set.
    void WriteMessage(const char* category, int level, std::ostringstream& message);

    // "[LOG] " elapsed ms (6) " | " thread (5) " | " category (15) " | " level (6) " | " message
    // and a line feed; fields left-aligned, widths are minimums.
    std::string FormatLine(const char* category, int level, std::ostringstream& message);

private:
    friend class CSingleton<CLog>;
    friend struct SingletonAfterExit<CLog>;
    friend struct CLogTestSeam;

    CLog();
    // The engine that writes nothing: no output, no reader task, no buffers.
    explicit CLog(Inert);

    // Never set by the program; read without a lock because nothing changes them while
    // threads log.
    ILogListener* listener;
    std::map<std::string, int> categoryLevels;
    int64_t startTicks;

    static const bool holderSetUp;
};
