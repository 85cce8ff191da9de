#include "UpdateManager/DigestPipeline.h"

#include <Poco/Crypto/Crypto.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace Kelvora {
namespace UpdateManager {

namespace {

// Closes the descriptor when the digest of a file ends, whichever way.
struct FileDescriptor
{
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    const int fd;
};

} // namespace

const std::string& Md5EngineName()
{
    static const std::string name = (Poco::Crypto::initializeCrypto(), "MD5");
    return name;
}

int64_t DigestFileBytes(Poco::DigestEngine& engine, const boost::filesystem::path& path, int64_t limit,
                        std::vector<char>& block, const std::atomic<bool>* cancelled)
{
    // Non-blocking, so that opening a FIFO returns at once; it is then refused as no regular file.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status{};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode) || block.empty())
        return -1;
    int64_t fed = 0;
    while (limit < 0 || fed < limit) {
        if (cancelled != nullptr && cancelled->load())
            break;
        const size_t wanted = limit < 0 ? block.size() : static_cast<size_t>(std::min<int64_t>(limit - fed, static_cast<int64_t>(block.size())));
        const ssize_t count = ::read(file.fd, block.data(), wanted);
        if (count < 0 && errno == EINTR)
            continue;
        // A read error is no end of file: a digest of part of the file would pass for the whole
        // file's.
        if (count < 0)
            return -1;
        if (count == 0)
            break;
        engine.update(block.data(), static_cast<size_t>(count));
        fed += count;
    }
    return fed;
}

DigestPipeline::DigestPipeline(const boost::filesystem::path& file, int64_t heldBytes)
    : file(file)
    , heldBytes(heldBytes)
    , storage(new char[slotCount * static_cast<size_t>(slotSize)])
    , engine(Md5EngineName())
{
    for (size_t i = 0; i < slotCount; ++i)
        freeSlots.push_back(storage.get() + i * static_cast<size_t>(slotSize));
    thread = std::thread(&DigestPipeline::Run, this);
}

DigestPipeline::~DigestPipeline()
{
    if (!thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled.store(true);
    }
    changed.notify_all();
    thread.join();
}

char* DigestPipeline::AcquireSlot(std::chrono::milliseconds patience)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, patience, [this] { return !freeSlots.empty(); }))
        return nullptr;
    char* slot = freeSlots.back();
    freeSlots.pop_back();
    return slot;
}

void DigestPipeline::Submit(char* slot, int64_t count)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        filledSlots.emplace_back(slot, count);
    }
    changed.notify_all();
}

std::string DigestPipeline::Finish()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        finishing = true;
    }
    changed.notify_all();
    thread.join();
    return whole ? Poco::DigestEngine::digestToHex(engine.digest()) : std::string();
}

void DigestPipeline::Run()
{
    if (heldBytes > 0) {
        std::vector<char> block(static_cast<size_t>(slotSize));
        whole = DigestFileBytes(engine, file, heldBytes, block, &cancelled) == heldBytes;
    }
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return cancelled.load() || finishing || !filledSlots.empty(); });
        if (cancelled.load() || filledSlots.empty())
            return;
        const std::pair<char*, int64_t> filled = filledSlots.front();
        filledSlots.pop_front();
        lock.unlock();
        try {
            if (filled.second > 0 && whole)
                engine.update(filled.first, static_cast<size_t>(filled.second));
        } catch (const std::exception&) {
            // Slots keep coming back, so that the download never waits for a digest that died.
            whole = false;
        }
        lock.lock();
        freeSlots.push_back(filled.first);
        changed.notify_all();
    }
}

} // namespace UpdateManager
} // namespace Kelvora
