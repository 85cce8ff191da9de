// The report of a message that the GUI framework could not post to the main thread's queue (a
// timer tick, a quit request, an asynchronous update). The framework's patched posting function
// calls it on whichever thread posted; the message is then neither posted nor delivered.
#pragma once

#include <cstddef>

namespace Kelvora {
namespace Updater {

// Writes "[ERROR] PostMessage Windows Failed : " and the calling thread's last system error as
// "<text> (0x<code>)" (text cut to 240 bytes; nothing at all when the system has no text for the
// code), then a line end, and flushes standard output. Never throws.
void ReportFailedPost();

// Writes the calling thread's last system error into `buffer` in the report's form, the text cut
// to size - 16 bytes: nothing when size is 0, an empty string when size is below 16 or the system
// has no text. Returns `buffer`. Never throws.
char* FormatLastErrorMessage(char* buffer, size_t size);

} // namespace Updater
} // namespace Kelvora
