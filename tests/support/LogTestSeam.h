// Test-only access to the log engine: fill the category table, set a listener, and reach the
// rings without the reader task. The program itself never uses it. Change the table or the
// listener only while no other thread logs.
#pragma once

#include "common/CLog.h"

#include <mutex>
#include <string>
#include <vector>

struct CLogTestSeam
{
    static CLog& Engine() { return *CSingleton<CLog>::GetInstance(); }
    static void EnableCategory(const std::string& category, int minLevel)
    {
        Engine().categoryLevels[category] = minLevel;
    }
    static void ClearCategories() { Engine().categoryLevels.clear(); }
    static void SetListener(ILogListener* listener) { Engine().listener = listener; }
    static int64_t StartTicks() { return Engine().startTicks; }

    static LogSlot& Slot(CLogBuffers& buffers, int index) { return buffers.slots[index]; }
    static char* Ring(CLogBuffers& buffers, int index) { return buffers.buffer->Ring(index); }
    static void StoreInRing(CLogBuffers& buffers, int index, const char* text, int length)
    {
        buffers.StoreInRing(index, text, length);
    }
    static void DrainRing(CLogBuffers& buffers, int index) { buffers.DrainRing(index); }
    static bool ReaderRunning(CLogBuffers& buffers) { return buffers.readerRunning.load(); }
    // Waits, for a few seconds at most, until the reader task has drained every ring.
    // False when it did not.
    static bool WaitForDrain(CLogBuffers& buffers);
};

// Enables the given categories at every level and collects the lines the engine writes, for
// as long as it lives. Lines may arrive from any thread.
class LogCapture : public ILogListener
{
public:
    explicit LogCapture(const std::vector<std::string>& categories, int minLevel = 0);
    ~LogCapture() override;
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void OnLogLine(const std::string& line) override;

    // Whole lines, with their "[LOG] ..." prefix and line feed.
    std::vector<std::string> Lines() const;
    // The message of each line: the text after the prefix, without the final line feed.
    std::vector<std::string> Messages() const;
    // Messages of one category and level name ("info", "error", ...).
    std::vector<std::string> Messages(const std::string& category, const std::string& level) const;
    bool HasMessage(const std::string& message) const;

private:
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};
