// Child program for the log engine's whole-process tests: each mode ends the process in one of
// the ways the program can end, so the parent can compare standard output byte for byte.
#include "common/CLog.h"
#include "common/Common.h"
#include "tests/support/LogTestSeam.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// A singleton whose destructor logs, built after the engine: the engine must outlive it.
class LateSingleton : public CSingleton<LateSingleton>
{
public:
    ~LateSingleton() override
    {
        std::fputs("late singleton destroyed\n", stdout);
        std::fflush(stdout);
        CSingleton<CLog>::GetInstance()->Info("probe", "from a destructor");
    }
};

// The "late-log" mode: a thread that logs while the process ends with exit(1), as download
// workers may when the window ends a failed start. It logs once while the engine lives, then
// only after the engine's exit-time deletion (so never during it).
std::atomic<bool> lateLogging{false};
std::atomic<bool> loggedEarly{false};
std::atomic<CLog*> liveEngine{nullptr};
std::atomic<bool> engineDeleted{false};
std::atomic<int> lateCalls{0};
std::atomic<int> staleCalls{0};

void LogUntilTheEnd()
{
    CSingleton<CLog>::GetInstance()->Info("probe", "early");
    loggedEarly.store(true);
    while (!engineDeleted.load())
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    for (;;) {
        CLog* engine = CSingleton<CLog>::GetInstance();
        if (engine == liveEngine.load()) {
            // Calling it would read freed memory; counting it shows the fault in any build.
            ++staleCalls;
        } else {
            engine->Info("probe", "late");
        }
        ++lateCalls;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Registered during this unit's static initialisation, before the library sets up the engine's
// holder, so it runs after the engine's exit-time deletion: it lets the logging thread make a
// few calls in that state and reports calls that reached the deleted engine.
void AfterEngineDeletion()
{
    if (!lateLogging.load())
        return;
    engineDeleted.store(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (lateCalls.load() < 20 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (staleCalls.load() > 0)
        std::fputs("late calls reached the deleted engine\n", stderr);
}

const bool afterEngineDeletionRegistered = (std::atexit(AfterEngineDeletion), true);

} // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "module-path") == 0) {
        std::fputs(Kelvora::GetModulePath().c_str(), stdout);
        return 0;
    }
    if (std::strcmp(mode, "destroy") == 0) {
        CSingleton<CLog>::GetInstance();
        CSingleton<CLog>::Destroy();
        return 0;
    }
    if (std::strcmp(mode, "exit") == 0) {
        CSingleton<CLog>::GetInstance();
        return 0;
    }
    if (std::strcmp(mode, "no-cleanup") == 0) {
        CSingleton<CLog>::GetInstance();
        std::fflush(stdout);
        _exit(0);
    }
    if (std::strcmp(mode, "stop-with-text") == 0) {
        CLogTestSeam::EnableCategory("probe", 0);
        CSingleton<CLog>::GetInstance()->Info("probe", "warm-up");
        // Once the reader has drained the warm-up line it sleeps for 200 ms, so the lines
        // written now are still in the ring when the engine is stopped.
        CLogTestSeam::WaitForDrain(CLogTestSeam::Engine());
        CSingleton<CLog>::GetInstance()->Info("probe", "first pending");
        CSingleton<CLog>::GetInstance()->Error("probe", "second pending");
        CSingleton<CLog>::Destroy();
        return 0;
    }
    if (std::strcmp(mode, "late-singleton") == 0) {
        CLogTestSeam::EnableCategory("probe", 0);
        CSingleton<CLog>::GetInstance();
        CSingleton<LateSingleton>::GetInstance();
        return 0;
    }
    if (std::strcmp(mode, "late-log") == 0) {
        liveEngine.store(CSingleton<CLog>::GetInstance());
        lateLogging.store(true);
        std::thread(LogUntilTheEnd).detach();
        while (!loggedEarly.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::exit(1);
    }
    std::fprintf(stderr, "unknown mode\n");
    return 2;
}
