#include "app/MessagePostReport.h"

#include "platform/LastError.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

namespace Kelvora {
namespace Updater {

void ReportFailedPost()
{
    // 240 bytes of text and " (0x" with up to 8 digits and ")" fit: the report's own limit.
    char detail[256];
    std::printf("[ERROR] PostMessage Windows Failed : %s\n", FormatLastErrorMessage(detail, sizeof detail));
    std::fflush(stdout);
}

char* FormatLastErrorMessage(char* buffer, size_t size)
{
    if (size == 0)
        return buffer;
    buffer[0] = '\0';
    if (size < 16)
        return buffer;
    // Taken once, before anything else can change it.
    const int code = Platform::LastErrorCode();
    try {
        std::string text;
        // No text for the code: an empty string, without the code either.
        if (Platform::LastErrorText(code, text)) {
            // "%0.*s" in the Windows build; the 0 flag means nothing for text.
            const int limit = static_cast<int>(std::min<size_t>(size - 16, INT_MAX));
            std::snprintf(buffer, size, "%.*s (0x%x)", limit, text.c_str(), static_cast<unsigned>(code));
        }
    } catch (...) {
        // An allocation of the error text failed: the text is all that is lost.
        buffer[0] = '\0';
    }
    return buffer;
}

} // namespace Updater
} // namespace Kelvora
