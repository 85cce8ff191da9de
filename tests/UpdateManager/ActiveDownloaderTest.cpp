#include "UpdateManager/ActiveDownloader.h"

#include "tests/support/LogTestSeam.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using Kelvora::UpdateManager::ActiveDownloader;

namespace {

// Records job names from the worker thread.
class Journal
{
public:
    ActiveDownloader::Job Entry(const std::string& name)
    {
        return [this, name] {
            std::lock_guard<std::mutex> lock(mutex);
            entries.push_back(name);
        };
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return entries;
    }

private:
    std::mutex mutex;
    std::vector<std::string> entries;
};

TEST(ActiveDownloaderTest, RunsJobsOneAtATimeInOrderAndAllBeforeItEnds)
{
    Journal journal;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::promise<void> firstStarted;
    {
        std::unique_ptr<ActiveDownloader> worker = ActiveDownloader::Create("soft/ABC");
        worker->Post([&] {
            firstStarted.set_value();
            opened.wait();
            journal.Entry("first")();
        });
        worker->Post(journal.Entry("second"));
        worker->Post(ActiveDownloader::Job()); // skipped
        worker->Post(journal.Entry("third"));
        firstStarted.get_future().wait();
        EXPECT_TRUE(journal.Entries().empty()) << "the others wait for the running job";
        std::thread opener([&] { gate.set_value(); });
        worker.reset(); // the queued jobs still run, then the thread ends
        opener.join();
    }
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"first", "second", "third"}));
}

TEST(ActiveDownloaderTest, LogsStartAndExitWithItsName)
{
    LogCapture log({"download"});
    ActiveDownloader::Create("soft/ABC").reset();
    EXPECT_EQ(log.Messages("download", "debug"),
              (std::vector<std::string>{"ActiveDownloader Start Threadsoft/ABC", "ActiveDownloader Exit Threadsoft/ABC"}));
}

TEST(ActiveDownloaderTest, AThrowingJobIsLoggedAndTheWorkerGoesOn)
{
    LogCapture log({"download"});
    Journal journal;
    {
        std::unique_ptr<ActiveDownloader> worker = ActiveDownloader::Create("soft/ABC");
        worker->Post([] { throw std::runtime_error("boom"); });
        worker->Post(journal.Entry("after"));
    }
    EXPECT_EQ(journal.Entries(), std::vector<std::string>{"after"});
    EXPECT_EQ(log.Messages("download", "error"), std::vector<std::string>{"ActiveDownloader job failedsoft/ABC: boom"});
}

TEST(ActiveDownloaderTest, WorkerWithoutThreadIsDestroyedAtOnce)
{
    Journal journal;
    {
        ActiveDownloader idle("soft/ABC");
        idle.Post(journal.Entry("never"));
    }
    EXPECT_TRUE(journal.Entries().empty());
}

} // namespace
