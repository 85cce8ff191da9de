// The MD5 digest of a download, computed on a thread of its own while the transfer goes on: the
// download job receives into one of a few slots, hands the slot over and receives into the next
// while this thread digests the handed-over slots in order and gives them back. The part of the
// file already on disk is digested first. Owned by one download job; its thread ends with it. The
// thread is one more than the design lists (GUI, timer, download worker, install thread, log
// reader): digesting on the download worker itself, after or between reads, leaves the download
// well behind the speed of MD5 alone. Also the whole-file digest helper shared with FileMd5Hex.
#pragma once

#include <Poco/Crypto/DigestEngine.h>
#include <boost/filesystem/path.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace Kelvora {
namespace UpdateManager {

class DigestPipeline
{
public:
    // Four slots of 256 KiB: enough to keep both threads busy, and a megabyte of memory whatever
    // the file's size.
    static constexpr size_t slotCount = 4;
    static constexpr int64_t slotSize = 256 * 1024;

    // Starts the digest thread, which first digests the first `heldBytes` bytes of `file` (none
    // when 0). Throws std::system_error when the thread cannot start.
    DigestPipeline(const boost::filesystem::path& file, int64_t heldBytes);
    // Stops the thread without waiting for what is left to digest.
    ~DigestPipeline();
    DigestPipeline(const DigestPipeline&) = delete;
    DigestPipeline& operator=(const DigestPipeline&) = delete;

    // A free slot of slotSize bytes, waiting at most `patience` for one; null when none came free
    // in that time (the digest is behind), so that the caller can look for a stop meanwhile.
    char* AcquireSlot(std::chrono::milliseconds patience);
    // Hands back a slot from AcquireSlot holding `count` bytes (0 or more), to be digested after
    // those handed over before. The slot must not be written until it is acquired again.
    void Submit(char* slot, int64_t count);
    // Waits until everything handed over is digested and returns the digest as 32 lower-case
    // hexadecimal digits; empty when the held part of the file could not be read in full.
    // Call once.
    std::string Finish();

private:
    void Run();

    const boost::filesystem::path file;
    const int64_t heldBytes;
    std::unique_ptr<char[]> storage; // the slots, one block

    // Guards the two lists and the two flags; the download job and the digest thread take it.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char*> freeSlots;
    std::deque<std::pair<char*, int64_t>> filledSlots;
    bool finishing = false; // Finish was called: end once the filled slots are digested
    // Read by the digest thread between the blocks of the held part too, hence atomic.
    std::atomic<bool> cancelled{false};

    // Digest thread only, until Finish has joined it.
    Poco::Crypto::DigestEngine engine;
    bool whole = true; // the digest covers everything: the held part was read and nothing failed

    std::thread thread; // started last, joined by Finish or the destructor (download job)
};

// "MD5", once OpenSSL's Poco glue is set up for the whole process. Each engine otherwise sets
// the glue up and tears it down with the last engine, and two download workers hashing at once
// can then free its mutexes twice. Name every MD5 engine through this.
const std::string& Md5EngineName();

// Feeds the first `limit` bytes of the regular file `path` (the whole file when `limit` is
// negative) to `engine` in blocks of `block.size()` bytes, and stops early once `cancelled`
// (optional) is set. Returns the number of bytes fed, or -1 when the file is missing, is no
// regular file (a FIFO is never opened for reading, so it cannot block) or a read fails.
// Never throws.
int64_t DigestFileBytes(Poco::DigestEngine& engine, const boost::filesystem::path& path, int64_t limit,
                        std::vector<char>& block, const std::atomic<bool>* cancelled = nullptr);

} // namespace UpdateManager
} // namespace Kelvora
