#include "common/CLogBuffers.h"

#include "tests/support/AllocationCounter.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/StdoutCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A ring of a standalone back end, driven without its reader task.
class RingTest : public ::testing::Test
{
protected:
    void SetPositions(int32_t readPos, int32_t writePos)
    {
        LogSlot& slot = CLogTestSeam::Slot(buffers, 0);
        slot.inUse = true;
        slot.readPos = readPos;
        slot.writePos = writePos;
    }
    int32_t WritePos() { return CLogTestSeam::Slot(buffers, 0).writePos.load(); }
    int32_t ReadPos() { return CLogTestSeam::Slot(buffers, 0).readPos.load(); }
    char* Ring() { return CLogTestSeam::Ring(buffers, 0); }
    void Store(const std::string& text) { CLogTestSeam::StoreInRing(buffers, 0, text.c_str(), static_cast<int>(text.size())); }
    std::string Drain()
    {
        StdoutCapture output;
        CLogTestSeam::DrainRing(buffers, 0);
        return output.Stop();
    }

    CLogBuffers buffers;
};

std::string Filled(char c, size_t count)
{
    return std::string(count, c);
}

TEST_F(RingTest, WritesAndWrapsAtTheRingEnd)
{
    struct Case
    {
        int32_t readPos, writePos;
        size_t length;
        int32_t expectedWritePos;
        int32_t bytesAtEnd; // how many of the bytes land at the old writePos
    } cases[] = {
        {5000, 9000, 1000, 10000, 1000}, // one copy; the position may equal the ring size
        {5000, 10000, 500, 500, 0},      // at 10000 a write continues at position 0
        {9000, 9000, 2000, 1000, 1000},  // split: 1000 at the end, 1000 at position 0
        {0, 0, 9999, 9999, 9999},        // an empty ring accepts 9999 bytes
        {9000, 500, 100, 600, 100},      // writer behind the reader after a wrap
    };
    for (const Case& c : cases) {
        SetPositions(c.readPos, c.writePos);
        std::string text = Filled('a', c.bytesAtEnd) + Filled('b', c.length - c.bytesAtEnd);
        Store(text);
        EXPECT_EQ(WritePos(), c.expectedWritePos) << c.readPos << "/" << c.writePos;
        if (c.bytesAtEnd > 0) {
            EXPECT_EQ(std::string(Ring() + c.writePos, c.bytesAtEnd), Filled('a', c.bytesAtEnd));
        }
        if (c.length > static_cast<size_t>(c.bytesAtEnd)) {
            EXPECT_EQ(std::string(Ring(), c.length - c.bytesAtEnd), Filled('b', c.length - c.bytesAtEnd));
        }
    }
}

TEST_F(RingTest, OverrunAtExactlyTenThousandUnreadStoresNothing)
{
    struct Case
    {
        int32_t readPos, writePos;
        size_t length;
        bool overrun;
    } cases[] = {
        {0, 0, 9999, false},
        {0, 0, 10000, true},
        {0, 5000, 4999, false},
        {0, 5000, 5000, true},
        {6000, 1000, 4999, false}, // wrapped: 5000 unread
        {6000, 1000, 5000, true},
        {10000, 10000, 9999, false},
    };
    for (const Case& c : cases) {
        SetPositions(c.readPos, c.writePos);
        const std::string text = Filled('z', c.length);
        StdoutCapture output;
        Store(text);
        const std::string printed = output.Stop();
        if (c.overrun) {
            EXPECT_EQ(printed, " [WRITE] Writing too fast, no time to read ! Msg: " + text + "\n");
            EXPECT_EQ(WritePos(), c.writePos);
        } else {
            EXPECT_EQ(printed, "");
            EXPECT_NE(WritePos(), c.writePos);
        }
        EXPECT_EQ(ReadPos(), c.readPos);
    }
}

TEST_F(RingTest, DrainOutputsUnreadBytesInOrder)
{
    SetPositions(9000, 9000);
    const std::string text = Filled('x', 1000) + Filled('y', 1000);
    Store(text);
    EXPECT_EQ(Drain(), text);
    EXPECT_EQ(ReadPos(), 1000);
    EXPECT_EQ(Drain(), ""); // equal positions: nothing

    SetPositions(10000, 0);
    Store(Filled('q', 300));
    EXPECT_EQ(Drain(), Filled('q', 300));
    EXPECT_EQ(ReadPos(), 300);
}

TEST_F(RingTest, ZeroByteEndsTheDrainedText)
{
    SetPositions(0, 0);
    const std::string text("before\0after", 12);
    Store(text);
    EXPECT_EQ(Drain(), "before");
    EXPECT_EQ(ReadPos(), 12);
}

TEST_F(RingTest, ExactlyLengthBytesAreStored)
{
    SetPositions(0, 0);
    const char* text = "first line\n";
    CLogTestSeam::StoreInRing(buffers, 0, text, 5);
    EXPECT_EQ(WritePos(), 5);
    EXPECT_EQ(Drain(), "first");
}

TEST(CLogBuffersTest, WriteAllocatesNothing)
{
    CLogBuffers buffers;
    const std::string line(100, 'w');
    buffers.Write(line.c_str(), 100); // claims the slot and starts the reader task
    AllocationCounter counter;
    for (int i = 0; i < 90; ++i)
        buffers.Write(line.c_str(), 100);
    EXPECT_EQ(counter.Count(), 0u);
}

// Holds every started thread until all of them have written once, so that none ends and
// hands its thread identifier to a later one.
struct Gate
{
    std::mutex mutex;
    std::condition_variable changed;
    int written = 0;
    bool open = false;
};

TEST(CLogBuffersTest, ThreadsTakeOwnRingsAndTheTwentyFirstIsWarned)
{
    CLogBuffers buffers;
    Gate gate;
    std::vector<std::thread> threads;
    for (int t = 0; t < logRingCount; ++t) {
        threads.emplace_back([&buffers, &gate] {
            buffers.Write("x", 1);
            std::unique_lock<std::mutex> lock(gate.mutex);
            ++gate.written;
            gate.changed.notify_all();
            gate.changed.wait(lock, [&gate] { return gate.open; });
        });
    }
    {
        std::unique_lock<std::mutex> lock(gate.mutex);
        gate.changed.wait(lock, [&gate] { return gate.written == logRingCount; });
    }
    std::vector<uint32_t> owners;
    for (int i = 0; i < logRingCount; ++i) {
        EXPECT_TRUE(CLogTestSeam::Slot(buffers, i).inUse.load());
        owners.push_back(CLogTestSeam::Slot(buffers, i).ownerThread.load());
    }
    std::sort(owners.begin(), owners.end());
    EXPECT_EQ(std::adjacent_find(owners.begin(), owners.end()), owners.end()) << "two threads share a ring";

    // The reader task is running: let it drain the twenty lines first, so that the capture
    // holds only what the twenty-first thread prints.
    ASSERT_TRUE(CLogTestSeam::WaitForDrain(buffers));
    StdoutCapture output;
    std::thread extra([&buffers] {
        buffers.Write("line one", 8);
        buffers.Write("line two", 8);
    });
    extra.join();
    const std::string warning = "WARNING : TOO MANY THREADS ARE WORKING TOGETHER- LOG CAN BE CORRUPTED.\n";
    EXPECT_EQ(output.Stop(), warning + "line one\n" + warning + "line two\n");

    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        gate.open = true;
    }
    gate.changed.notify_all();
    for (std::thread& thread : threads)
        thread.join();
}

TEST(CLogBuffersTest, FirstWriteTakesLowestFreeSlotAndLaterWritesStayThere)
{
    CLogBuffers buffers;
    CLogTestSeam::Slot(buffers, 0).inUse = true; // owned by nobody we know
    CLogTestSeam::Slot(buffers, 0).ownerThread = 1;
    buffers.Write("abc", 3);
    buffers.Write("de", 2);
    const LogSlot& slot = CLogTestSeam::Slot(buffers, 1);
    EXPECT_TRUE(slot.inUse.load());
    EXPECT_EQ(std::string(CLogTestSeam::Ring(buffers, 1), 5), "abcde");
    EXPECT_FALSE(CLogTestSeam::Slot(buffers, 2).inUse.load());
}

TEST(CLogBuffersTest, StopIsIdempotentAndWriteRestartsTheReader)
{
    StdoutCapture output;
    {
        CLogBuffers buffers;
        buffers.Write("one\n", 4);
        EXPECT_TRUE(CLogTestSeam::ReaderRunning(buffers));
        buffers.StopThread();
        buffers.StopThread();
        EXPECT_FALSE(CLogTestSeam::ReaderRunning(buffers));
        buffers.Write("two\n", 4);
        EXPECT_TRUE(CLogTestSeam::ReaderRunning(buffers));
    }
    const std::string text = output.Stop();
    auto count = [&text](const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("LOG - START THREAD "), 2u);
    EXPECT_EQ(count("LOG - STOP THREAD asked "), 2u);
    EXPECT_EQ(count("LOG FLUSH DONE "), 2u);
    // The stop drains what the rings hold before it reports the flush.
    EXPECT_LT(text.find("one\n"), text.find("LOG FLUSH DONE "));
    EXPECT_LT(text.find("two\n"), text.rfind("LOG FLUSH DONE "));
}

} // namespace
