#include "UpdateManager/ActiveDownloader.h"

#include "common/CLog.h"

namespace Kelvora {
namespace UpdateManager {

std::unique_ptr<ActiveDownloader> ActiveDownloader::Create(const std::string& name)
{
    std::unique_ptr<ActiveDownloader> downloader(new ActiveDownloader(name));
    downloader->thread = std::thread(&ActiveDownloader::Run, downloader.get());
    return downloader;
}

ActiveDownloader::ActiveDownloader(const std::string& name) : name(name) {}

ActiveDownloader::~ActiveDownloader()
{
    if (!thread.joinable())
        return;
    // Through the queue, so every job posted before runs first.
    Post([this] { Stop(); });
    thread.join();
}

void ActiveDownloader::Post(const Job& job)
{
    queue.Push(job);
}

void ActiveDownloader::Stop()
{
    done = true;
}

void ActiveDownloader::Run()
{
    // Nothing may leave the worker: an exception escaping a thread ends the process.
    try {
        CLog& log = *CSingleton<CLog>::GetInstance();
        log.Debug("download", "ActiveDownloader Start Thread", name);
        while (!done) {
            Job job;
            queue.WaitAndPop(job);
            if (!job)
                continue;
            try {
                job();
            } catch (const std::exception& error) {
                log.Error("download", "ActiveDownloader job failed", name, ": ", error.what());
            } catch (...) {
                log.Error("download", "ActiveDownloader job failed", name);
            }
        }
        log.Debug("download", "ActiveDownloader Exit Thread", name);
    } catch (...) {
    }
}

} // namespace UpdateManager
} // namespace Kelvora
