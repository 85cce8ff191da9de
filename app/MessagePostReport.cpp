#include "app/MessagePostReport.h"

#include "platform/LastError.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

namespace Kelvora {
namespace Updater {

namespace {

constexpr int reportTextLimit = 240;

// "<text> (0x<code>)" with the text cut to `limit` bytes into `buffer`; an empty string when
// the system has no text for the code (the code is then not shown either).
void FormatErrorDetail(int code, int limit, char* buffer, size_t size)
{
    std::string text;
    if (!Platform::LastErrorText(code, text)) {
        buffer[0] = '\0';
        return;
    }
    // "%0.*s" in the Windows build; the 0 flag means nothing for text.
    std::snprintf(buffer, size, "%.*s (0x%x)", limit, text.c_str(), static_cast<unsigned>(code));
}

} // namespace

void ReportFailedPost()
{
    // Take the code once, before anything else can change it.
    const int code = Platform::LastErrorCode();
    try {
        // 240 bytes of text and " (0x" with up to 8 digits and ")" fit.
        char detail[256];
        FormatErrorDetail(code, reportTextLimit, detail, sizeof detail);
        std::printf("[ERROR] PostMessage Windows Failed : %s\n", detail);
        std::fflush(stdout);
    } catch (...) {
        // An allocation of the error text failed: the report is all that is lost.
    }
}

char* FormatLastErrorMessage(char* buffer, size_t size)
{
    if (size == 0)
        return buffer;
    buffer[0] = '\0';
    if (size < 16)
        return buffer;
    const int code = Platform::LastErrorCode();
    try {
        FormatErrorDetail(code, static_cast<int>(std::min<size_t>(size - 16, INT_MAX)), buffer, size);
    } catch (...) {
        buffer[0] = '\0';
    }
    return buffer;
}

} // namespace Updater
} // namespace Kelvora
