// Downloads one product's installer file on its own worker thread: resumes a partial file with a
// range request, publishes a progress fraction and a state that the GUI thread polls, honours a
// stop command between chunks and checks size and MD5 at the end. One per product record.
#pragma once

#include "UpdateManager/ActiveDownloader.h"
#include "UpdateManager/BlockingQueue.h"
#include "UpdateManager/DigestPipeline.h"
#include "UpdateManager/HttpClient.h"

#include <boost/filesystem/path.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>

namespace Kelvora {
namespace UpdateManager {

// 3 is never stored; a reader that meets it treats it as Stopped.
enum class DownloadState : int32_t {
    Idle = 0,        // no download yet, a job posted and not started, or an "ftp" request
    Downloading = 1, // a job is running (transfer or verification)
    Stopped = 2,     // ended before its end and may be resumed
    Verified = 4,    // complete and verified
    Failed = 5,      // refused answer, inconsistent transfer, failed verification or an error
};

class DownloaderBackgrounder
{
public:
    // One download request, filled by the update manager.
    struct Data
    {
        Data(const std::string& url, const std::string& path, const std::string& checksum, int64_t expectedSize,
             int64_t resumeOffset);

        std::string url;
        std::string path;     // destination file
        std::string checksum; // expected MD5 as hexadecimal text; empty when none is expected
        int64_t expectedSize; // the description's size: seeds the first progress value only
        int64_t resumeOffset; // bytes already in the file; set to 0 when the file's size differs
    };

    // Starts the worker thread at once; `name` appears only in its log lines.
    explicit DownloaderBackgrounder(const std::string& name);
    // Stops a running download after its current chunk, skips jobs that have not begun and ends
    // the worker before any other member goes. Must not run on the worker.
    ~DownloaderBackgrounder();
    DownloaderBackgrounder(const DownloaderBackgrounder&) = delete;
    DownloaderBackgrounder& operator=(const DownloaderBackgrounder&) = delete;

    // GUI thread. Sets the state to Idle and queues one download; does not wait. The outcome is
    // read from the state; nothing is thrown.
    void Start(Data data);
    // GUI thread. Stops the downloads started so far: a running one after its current chunk
    // (a stop command is queued only while downloading), one not begun yet before it sends
    // anything (it ends Stopped unless another Start came since). With `wait`, returns once those
    // jobs have ended (a request, the current chunk or the end of the digest bound the wait).
    // `wait` true must not be used on the worker.
    void Stop(bool wait);

    double GetProgress() const { return progress.load(); }
    // The digest the last verification computed; empty when none was expected. Meaningful once
    // the state has been seen Verified.
    std::string GetChecksum() const;
    DownloadState GetState() const { return state.load(); }
    // Neither Idle nor Downloading.
    bool IsFinished() const;

private:
    // Worker only. Each job holds downloadMutex from its first step to its last and lets no
    // exception out; the outcome is the state. `ticket` numbers the job's Start.
    void HttpDownload(const std::shared_ptr<Data>& request, uint64_t ticket);
    void FtpDownload(const std::shared_ptr<Data>& request);
    // Throws Poco::SyntaxException for a URL that cannot be parsed.
    std::string BuildUrl(const std::shared_ptr<Data>& request) const;
    // Requests `url` and writes the body to `out` (reopened empty when the server ignored the
    // range or answered another one), handing every block to `digest` when there is one (a new
    // one after a restart). Gives Downloading after a complete transfer, Stopped when it may be
    // resumed, Failed otherwise; `writeFailed` when the file could not be written.
    DownloadState Transfer(const std::string& url, const boost::filesystem::path& file, Data& request,
                           uint64_t ticket, std::ofstream& out, std::unique_ptr<DigestPipeline>& digest,
                           bool& writeFailed);
    // Empties the file and starts the digest afresh, for a body that starts at byte 0.
    void Restart(const boost::filesystem::path& file, Data& request, std::ofstream& out,
                 std::unique_ptr<DigestPipeline>& digest) const;
    // True once a stop command came (one is taken), a Stop after this job's Start, or closing.
    bool StopRequested(uint64_t ticket);
    DownloadState Verify(const boost::filesystem::path& file, const std::shared_ptr<Data>& request,
                         DigestPipeline* digest);
    // The error line for `request`, once a library error or a file that cannot be written ended it.
    void LogDownloadError(const Data& request, const std::string& what) const;
    // Worker, at the end of every job: wakes a Stop(true) that waits for it.
    void EndJob(uint64_t ticket);

    // Created by the constructor and ended first by the destructor (GUI thread); runs the jobs.
    std::unique_ptr<ActiveDownloader> activeDownloader;
    // Stop commands (only 1): pushed by the GUI thread, taken by the worker.
    BlockingQueue<int32_t> commands;
    // Written by the worker (and by Start on the GUI thread), read by the GUI thread.
    std::atomic<double> progress;

public:
    // Written by the worker and by Start, polled by the status machine on the GUI thread.
    std::atomic<DownloadState> state;

private:
    // Worker only.
    HttpClient httpClient;
    int64_t downloadedBytes;
    int64_t expectedSize; // the server's total for this transfer; -1 when it announced none
    // Written by the worker, copied by GetChecksum on the GUI thread; guarded by checksumMutex.
    std::string computedChecksum;
    mutable std::mutex checksumMutex;
    // Held by a download job for its whole length; Stop(true) takes it to wait for the job.
    std::mutex downloadMutex;
    // Set by the destructor (GUI thread), read by the worker: jobs that have not begun end at
    // once and a running one stops after its current chunk.
    std::atomic<bool> closing;

    // A Stop stops every job started before it, also one that has not begun yet (it would not
    // see the command, which is queued only while downloading). Start numbers its job; Stop
    // records the last number; a job whose number is not above it ends at its next look.
    // Guarded by jobsMutex: lastStarted (written by Start, GUI thread) with the state it stores,
    // and lastEnded (written by the worker as each job ends, waited for by Stop(true)).
    std::mutex jobsMutex;
    std::condition_variable jobEnded;
    uint64_t lastStarted = 0;
    uint64_t lastEnded = 0;
    // Written by Stop (GUI thread), read by the worker between chunks.
    std::atomic<uint64_t> stoppedUpTo{0};
};

} // namespace UpdateManager
} // namespace Kelvora
