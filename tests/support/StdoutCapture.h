// Redirects the process's standard output (file descriptor 1) into a temporary file while it
// lives, so tests can read what the log engine and the helpers printed, byte for byte.
#pragma once

#include <string>

class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Ends the capture (standard output is restored) and returns everything written meanwhile.
    // Later calls return the same text.
    std::string Stop();

private:
    int savedFd = -1;
    int fileFd = -1;
    bool stopped = false;
    std::string text;
};
