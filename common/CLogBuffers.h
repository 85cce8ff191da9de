// The log engine's back end: one ring buffer per writing thread, filled without a lock, and a
// reader task that drains every ring to standard output every 200 ms. Base class of CLog.
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>

constexpr int logRingCount = 20;
constexpr int logRingSize = 10000;

// All rings and the reader's scratch area, allocated once: ring i starts at i * logRingSize,
// the scratch area follows the last ring.
struct LogBufferBlock
{
    LogBufferBlock();
    char* Ring(int index) { return bytes + index * logRingSize; }
    char* Scratch() { return bytes + logRingCount * logRingSize; }

    char bytes[(logRingCount + 1) * logRingSize];
};

// Positions run from 0 to logRingSize inclusive and are not folded back at the end: a write at
// logRingSize continues at 0. Equal positions mean an empty ring.
struct LogSlot
{
    std::atomic<uint32_t> ownerThread{0}; // numeric OS thread id; 0: no owner yet
    std::atomic<bool> inUse{false};       // set once when a thread claims the slot
    std::atomic<int32_t> readPos{0};      // stored only by the reader task
    std::atomic<int32_t> writePos{0};     // stored only by the owning thread
};

class CLogBuffers
{
public:
    CLogBuffers();
    // Without rings, for an engine that never writes; allocates nothing.
    struct Inert
    {
    };
    explicit CLogBuffers(Inert);
    ~CLogBuffers();
    CLogBuffers(const CLogBuffers&) = delete;
    CLogBuffers& operator=(const CLogBuffers&) = delete;

    // Stores exactly `length` bytes of `text` (also zero-terminated; warnings print it whole) in
    // the calling thread's ring. Takes no lock and allocates nothing. An overrun or a 21st writer
    // thread prints a warning with the text instead of storing it.
    void Write(const char* text, int length);

    // Starts the reader task unless it runs. Writers call it on every write.
    void StartThread();
    // Stops the reader task after its last drain and waits for it, unless it is not running.
    void StopThread();

protected:
    std::string modulePath;

private:
    friend struct CLogTestSeam;

    struct ReaderTask
    {
        CLogBuffers* engine;
        void operator()() const { engine->ReaderLoop(); }
    };

    void ReaderLoop();
    void Flush();
    void StoreInRing(int slot, const char* text, int length);
    void DrainRing(int slot);

    std::mutex mutex;                  // serialises StartThread and StopThread only
    std::atomic<bool> stopFlag{true};  // set under `mutex`, read by the reader task
    std::future<void> readerTask;      // touched only under `mutex`
    // Whether `readerTask` holds a task not yet waited for; lets writers test it without `mutex`.
    std::atomic<bool> readerRunning{false};
    std::unique_ptr<LogBufferBlock> buffer;
    LogSlot slots[logRingCount];
};
