#include "platform/BrokenPipe.h"

#include <signal.h>

#include <mutex>

namespace Platform {

namespace {

// Caught rather than ignored: an ignored signal would stay ignored in every program started
// from here (installer, relaunched product), a caught one does not.
void OnBrokenPipe(int)
{
}

} // namespace

void IgnoreBrokenPipe()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action = {};
        action.sa_handler = OnBrokenPipe;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGPIPE, &action, nullptr);
    });
}

} // namespace Platform
