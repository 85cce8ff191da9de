#include "common/CLogBuffers.h"

#include "common/Common.h"
#include "platform/ThreadId.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

void PrintLine(const char* first, const std::string& second)
{
    std::fputs(first, stdout);
    std::fputs(second.c_str(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

} // namespace

LogBufferBlock::LogBufferBlock()
{
    std::memset(bytes, 0, sizeof bytes);
}

CLogBuffers::CLogBuffers()
    : buffer(std::make_unique<LogBufferBlock>())
{
    modulePath = Kelvora::GetModulePath();
}

CLogBuffers::CLogBuffers(Inert)
{
}

CLogBuffers::~CLogBuffers()
{
    StopThread();
}

void CLogBuffers::Write(const char* text, int length)
{
    StartThread();
    const uint32_t self = Platform::CurrentThreadId();
    for (int i = 0; i < logRingCount; ++i) {
        LogSlot& slot = slots[i];
        bool expected = false;
        if (!slot.inUse.load() && slot.inUse.compare_exchange_strong(expected, true)) {
            slot.ownerThread.store(self);
            StoreInRing(i, text, length);
            return;
        }
        if (slot.ownerThread.load() == self) {
            StoreInRing(i, text, length);
            return;
        }
    }
    std::fputs("WARNING : TOO MANY THREADS ARE WORKING TOGETHER- LOG CAN BE CORRUPTED.\n", stdout);
    std::fflush(stdout);
    std::fputs(text, stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

void CLogBuffers::StoreInRing(int slotIndex, const char* text, int length)
{
    LogSlot& slot = slots[slotIndex];
    const int32_t w = slot.writePos.load();
    const int32_t r = slot.readPos.load();
    const int32_t unread = w >= r ? w - r : logRingSize - r + w;
    if (unread + length >= logRingSize) {
        // Storing nothing keeps the reader's unread bytes intact; the warning carries the text.
        std::fputs(" [WRITE] Writing too fast, no time to read ! Msg: ", stdout);
        std::fputs(text, stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
        return;
    }
    char* ring = buffer->Ring(slotIndex);
    if (w + length <= logRingSize) {
        std::memcpy(ring + w, text, static_cast<size_t>(length));
        slot.writePos.store(w + length);
    } else {
        const int32_t first = logRingSize - w;
        std::memcpy(ring + w, text, static_cast<size_t>(first));
        std::memcpy(ring, text + first, static_cast<size_t>(length - first));
        slot.writePos.store(length - first);
    }
}

void CLogBuffers::DrainRing(int slotIndex)
{
    LogSlot& slot = slots[slotIndex];
    const int32_t w = slot.writePos.load();
    const int32_t r = slot.readPos.load();
    if (w == r)
        return;
    char* ring = buffer->Ring(slotIndex);
    char* scratch = buffer->Scratch();
    std::memset(scratch, 0, logRingSize);
    if (w > r) {
        std::memcpy(scratch, ring + r, static_cast<size_t>(w - r));
    } else {
        std::memcpy(scratch, ring + r, static_cast<size_t>(logRingSize - r));
        std::memcpy(scratch + (logRingSize - r), ring, static_cast<size_t>(w));
    }
    slot.readPos.store(w);
    // At most 9999 bytes were unread, so the scratch area always keeps a terminating zero.
    std::fputs(scratch, stdout);
    std::fflush(stdout);
}

void CLogBuffers::Flush()
{
    for (int i = 0; i < logRingCount; ++i) {
        if (slots[i].inUse.load())
            DrainRing(i);
    }
}

void CLogBuffers::ReaderLoop()
{
    while (!stopFlag.load()) {
        Flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    Flush();
}

void CLogBuffers::StartThread()
{
    if (readerRunning.load())
        return;
    // Checked again under the lock: two writers that find the task stopped must not both start
    // one (the second future would replace the first, whose task would then never be stopped).
    std::lock_guard<std::mutex> lock(mutex);
    if (readerRunning.load())
        return;
    PrintLine("LOG - START THREAD ", modulePath);
    stopFlag.store(false);
    readerTask = std::async(std::launch::async, ReaderTask{this});
    readerRunning.store(true);
}

void CLogBuffers::StopThread()
{
    if (!readerRunning.load())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!readerRunning.load())
            return;
        PrintLine("LOG - STOP THREAD asked ", modulePath);
        stopFlag.store(true);
        readerTask.get();
        readerRunning.store(false);
    }
    PrintLine("LOG FLUSH DONE ", modulePath);
}
