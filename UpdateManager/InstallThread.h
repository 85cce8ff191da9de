// The one background thread that runs installers, one at a time, in the order they were handed
// over: the main thread hands an Installer over with Add, polls its status, and takes it back
// with PopFinished. A process-wide singleton; the update manager destroys it before its records.
#pragma once

#include "UpdateManager/Installer.h"
#include "common/CSingleton.h"

#include <boost/lockfree/spsc_queue.hpp>

#include <atomic>
#include <thread>

namespace Kelvora {
namespace UpdateManager {

class InstallThread : public CSingleton<InstallThread>
{
public:
    // Sets the stop request and joins the thread: returns after the current pass, so only
    // after an installer that is running has ended.
    ~InstallThread() override;

    // Main thread only. Hands the installer over, creating the instance when needed; a null
    // pointer is ignored. The installer must stay valid until it is taken back or the instance
    // is destroyed. When 32 are already pending it is not queued: its status becomes
    // "error" (logged) and the result is false.
    static bool Add(Installer* installer);
    // Add on this instance.
    bool Push(Installer* installer);

    // Main thread only: whether a run installer waits to be taken back, and taking the oldest
    // (null when there is none).
    bool HasFinished();
    Installer* PopFinished();

    // Sets the stop request and joins the thread, as the destructor does. Not on the thread.
    void Stop();

private:
    friend class CSingleton<InstallThread>;
    InstallThread();

    void Run();
    void RunPending();

    using Queue = boost::lockfree::spsc_queue<Installer*, boost::lockfree::capacity<32>>;

    // Started by the constructor, joined by Stop and the destructor; both on the main thread.
    std::thread thread;
    // Written by the main thread, read by the install thread before each pass.
    std::atomic<bool> stopRequested{false};
    // Producer: the main thread; consumer: the install thread.
    Queue pending;
    // Producer: the install thread; consumer: the main thread.
    Queue finished;
};

} // namespace UpdateManager
} // namespace Kelvora
