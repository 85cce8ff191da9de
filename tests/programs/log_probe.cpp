// Child program for the log engine's whole-process tests: each mode ends the process in one of
// the ways the program can end, so the parent can compare standard output byte for byte.
#include "common/CLog.h"
#include "common/Common.h"
#include "platform/ThreadId.h"
#include "tests/support/LogTestSeam.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
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

// Waits until the reader task has drained this thread's ring, so that it is asleep for its
// next 200 ms and lines written now are still in the ring when the engine is stopped.
void WaitForDrain()
{
    CLog& engine = CLogTestSeam::Engine();
    const uint32_t self = Platform::CurrentThreadId();
    for (int attempt = 0; attempt < 5000; ++attempt) {
        for (int i = 0; i < logRingCount; ++i) {
            LogSlot& slot = CLogTestSeam::Slot(engine, i);
            if (slot.ownerThread.load() == self && slot.readPos.load() == slot.writePos.load())
                return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

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
        WaitForDrain();
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
    std::fprintf(stderr, "unknown mode\n");
    return 2;
}
