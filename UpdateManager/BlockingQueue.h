// A thread-safe first-in first-out queue whose taker can wait for an item. Holds the download
// worker's jobs and the downloader's stop commands.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

namespace Kelvora {
namespace UpdateManager {

template <class T>
class BlockingQueue
{
public:
    // Appends the item and wakes one waiting taker.
    void Push(const T& item)
    {
        std::lock_guard<std::mutex> lock(mutex);
        items.push_back(item);
        available.notify_one();
    }

    // Waits until an item is there, then moves the oldest into `out`.
    void WaitAndPop(T& out)
    {
        std::unique_lock<std::mutex> lock(mutex);
        available.wait(lock, [this] { return !items.empty(); });
        out = std::move(items.front());
        items.pop_front();
    }

    // Moves the oldest item into `out`; false, without waiting, when the queue is empty.
    bool TryPop(T& out)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (items.empty())
            return false;
        out = std::move(items.front());
        items.pop_front();
        return true;
    }

    bool IsEmpty() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return items.empty();
    }

private:
    // Guarded by `mutex`; touched by every thread that pushes or takes.
    std::deque<T> items;
    mutable std::mutex mutex;
    std::condition_variable available;
};

} // namespace UpdateManager
} // namespace Kelvora
