#include "tests/support/StdoutCapture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    char name[] = "/tmp/stdout-capture-XXXXXX";
    fileFd = mkstemp(name);
    if (fileFd < 0)
        throw std::runtime_error("cannot create a capture file");
    unlink(name);
    savedFd = dup(STDOUT_FILENO);
    dup2(fileFd, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
    Stop();
}

std::string StdoutCapture::Stop()
{
    if (stopped)
        return text;
    stopped = true;
    std::fflush(stdout);
    dup2(savedFd, STDOUT_FILENO);
    close(savedFd);
    lseek(fileFd, 0, SEEK_SET);
    char chunk[4096];
    ssize_t n = 0;
    while ((n = read(fileFd, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<size_t>(n));
    close(fileFd);
    return text;
}
