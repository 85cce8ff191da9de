// The calling thread's error code of its last failed platform call (GetLastError on Windows), and
// the system's text for a code (FormatMessageW from the system's table). Here the code is errno:
// every unit of this folder leaves errno set when it fails.
#pragma once

#include <string>

namespace Platform {

int LastErrorCode();

// The system's description of `code` ("Bad file descriptor"), without a line end. False, with
// `text` unchanged, when the system has no text for the code. Changes no error code.
bool LastErrorText(int code, std::string& text);

} // namespace Platform
