// A worker thread with a queue of jobs, run one at a time in posting order. Each downloader
// owns one and posts its download jobs there.
#pragma once

#include "UpdateManager/BlockingQueue.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace Kelvora {
namespace UpdateManager {

class ActiveDownloader
{
public:
    using Job = std::function<void()>;

    // A worker whose thread runs from now on; `name` appears only in its log lines.
    static std::unique_ptr<ActiveDownloader> Create(const std::string& name);

    // A worker without a thread; jobs posted to it never run.
    explicit ActiveDownloader(const std::string& name);

    // Runs every job posted before, then ends the thread. Must not run on the worker itself.
    virtual ~ActiveDownloader();

    ActiveDownloader(const ActiveDownloader&) = delete;
    ActiveDownloader& operator=(const ActiveDownloader&) = delete;

    // Owner's thread. An empty job is skipped. A job that throws is logged and the worker
    // goes on with the next.
    void Post(const Job& job);

private:
    void Stop();
    void Run();

    const std::string name;
    // Pushed by the owner's thread, taken by the worker.
    BlockingQueue<Job> queue;
    // Started by Create and joined by the destructor, both on the owner's thread.
    std::thread thread;
    // Worker only: set by the stop job, which the destructor posts.
    bool done = false;
};

} // namespace UpdateManager
} // namespace Kelvora
