// Runs one DownloaderBackgrounder download to its verified end and prints its wall time (request,
// transfer and MD5 verification) and the process's peak resident memory, for
// bench/download_throughput.sh. It then ends as the updater does after a verified download and a
// successful relaunch: at once, without stopping the log engine (whose stop waits for the reader
// task's next 200 ms round, which that path of the updater never pays either).
// Usage: download_driver URL TARGET MD5
#include "UpdateManager/DownloaderBackgrounder.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using Kelvora::UpdateManager::DownloaderBackgrounder;
using Kelvora::UpdateManager::DownloadState;

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "Usage: download_driver URL TARGET MD5\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    DownloadState state = DownloadState::Idle;
    {
        DownloaderBackgrounder downloader("soft/bench");
        downloader.Start(DownloaderBackgrounder::Data(argv[1], argv[2], argv[3], 0, 0));
        // The GUI polls every 50 ms; a finer poll keeps the figure close to the job's own time.
        while (!downloader.IsFinished())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state = downloader.GetState();
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s %.3f %ld\n", state == DownloadState::Verified ? "verified" : "not-verified", elapsed.count(),
                usage.ru_maxrss);
    std::fflush(stdout);
    std::_Exit(state == DownloadState::Verified ? 0 : 1);
}
