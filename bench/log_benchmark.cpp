// Cost of the log engine's two paths: a call that the filter rejects, and an accepted line
// formatted and handed to the calling thread's ring. The engine's own output goes to /dev/null;
// the figures are printed on standard error.
#include "common/CLog.h"
#include "platform/ThreadId.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LogTestSeam.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>

namespace {

LogSlot& OwnSlot()
{
    CLog& engine = CLogTestSeam::Engine();
    const uint32_t self = Platform::CurrentThreadId();
    for (int i = 0; i < logRingCount; ++i) {
        if (CLogTestSeam::Slot(engine, i).ownerThread.load() == self)
            return CLogTestSeam::Slot(engine, i);
    }
    return CLogTestSeam::Slot(engine, 0);
}

// Marks the ring's bytes as read so that the measured writes never overrun; a benchmark writes
// far faster than the reader's 200 ms drains.
void DiscardUnread(LogSlot& slot)
{
    slot.readPos.store(slot.writePos.load());
}

const std::string hundredBytes(100, 'm');

void RejectedLogCall(benchmark::State& state)
{
    CLog* log = CSingleton<CLog>::GetInstance();
    for (auto _ : state)
        log->Debug("update_manager", "Product ", hundredBytes, " status ", 42);
}
BENCHMARK(RejectedLogCall);

// Lines per measured iteration: few enough that a ring never overruns between two discards.
constexpr int linesPerIteration = 50;

// Reports the time of one line rather than of one iteration.
void PerLine(benchmark::State& state)
{
    state.counters["time_per_line"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * linesPerIteration,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void AcceptedLineToRing(benchmark::State& state)
{
    CLogTestSeam::EnableCategory("bench", 0);
    CLog* log = CSingleton<CLog>::GetInstance();
    log->Info("bench", hundredBytes); // claims this thread's ring
    LogSlot& slot = OwnSlot();
    for (auto _ : state) {
        for (int i = 0; i < linesPerIteration; ++i)
            log->Info("bench", hundredBytes);
        DiscardUnread(slot);
    }
    PerLine(state);
    CLogTestSeam::ClearCategories();
}
BENCHMARK(AcceptedLineToRing);

// The ring hand-over alone, with the heap allocations it makes counted.
void RingWrite(benchmark::State& state)
{
    CLog& engine = CLogTestSeam::Engine();
    const std::string line = "[LOG] 1234   | 5678  | bench           | info   | " + hundredBytes + "\n";
    const int length = static_cast<int>(line.size());
    engine.Write(line.c_str(), length);
    LogSlot& slot = OwnSlot();
    size_t allocations = 0;
    for (auto _ : state) {
        AllocationCounter counter;
        for (int i = 0; i < linesPerIteration; ++i)
            engine.Write(line.c_str(), length);
        allocations += counter.Count();
        DiscardUnread(slot);
    }
    PerLine(state);
    state.counters["heap_allocations"] = static_cast<double>(allocations);
}
BENCHMARK(RingWrite);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
