// Child program for the log engine's whole-process tests: each mode ends the process in one of
// the ways the program can end, so the parent can compare standard output byte for byte.
#include "common/CLog.h"
#include "common/Common.h"
#include "tests/support/LogTestSeam.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

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
    std::fprintf(stderr, "unknown mode\n");
    return 2;
}
