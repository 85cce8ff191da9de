#include "tests/support/LogTestSeam.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Splits "[LOG] elapsed | thread | category | level | message\n" into its fields.
struct ParsedLine
{
    std::string category;
    std::string level;
    std::string message;
};

std::string Trimmed(const std::string& text)
{
    const size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

ParsedLine Parse(const std::string& line)
{
    ParsedLine parsed;
    size_t start = 0;
    std::vector<std::string> fields;
    for (int i = 0; i < 4; ++i) {
        const size_t bar = line.find(" | ", start);
        if (bar == std::string::npos)
            return parsed;
        fields.push_back(line.substr(start, bar - start));
        start = bar + 3;
    }
    parsed.category = Trimmed(fields[2]);
    parsed.level = Trimmed(fields[3]);
    parsed.message = line.substr(start);
    if (!parsed.message.empty() && parsed.message.back() == '\n')
        parsed.message.pop_back();
    return parsed;
}

} // namespace

bool CLogTestSeam::WaitForDrain(CLogBuffers& buffers)
{
    for (int attempt = 0; attempt < 3000; ++attempt) {
        bool pending = false;
        for (int i = 0; i < logRingCount; ++i) {
            const LogSlot& slot = buffers.slots[i];
            pending = pending || slot.readPos.load() != slot.writePos.load();
        }
        if (!pending)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

LogCapture::LogCapture(const std::vector<std::string>& categories, int minLevel)
{
    for (const std::string& category : categories)
        CLogTestSeam::EnableCategory(category, minLevel);
    CLogTestSeam::SetListener(this);
}

LogCapture::~LogCapture()
{
    CLogTestSeam::SetListener(nullptr);
    CLogTestSeam::ClearCategories();
}

void LogCapture::OnLogLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
}

std::vector<std::string> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
}

std::vector<std::string> LogCapture::Messages() const
{
    std::vector<std::string> messages;
    for (const std::string& line : Lines())
        messages.push_back(Parse(line).message);
    return messages;
}

std::vector<std::string> LogCapture::Messages(const std::string& category, const std::string& level) const
{
    std::vector<std::string> messages;
    for (const std::string& line : Lines()) {
        ParsedLine parsed = Parse(line);
        if (parsed.category == category && parsed.level == level)
            messages.push_back(parsed.message);
    }
    return messages;
}

bool LogCapture::HasMessage(const std::string& message) const
{
    const std::vector<std::string> messages = Messages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}
