#include "UpdateManager/DownloaderBackgrounder.h"

#include "UpdateManager/Installer.h"
#include "common/CLog.h"

#include <Poco/Exception.h>
#include <Poco/URI.h>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <utility>
#include <vector>

namespace Kelvora {
namespace UpdateManager {

namespace {

// The scheme BuildUrl gives a URL without one.
const std::string httpScheme = "http";

const int32_t stopCommand = 1;

} // namespace

DownloaderBackgrounder::Data::Data(const std::string& url, const std::string& path, const std::string& checksum,
                                   int64_t expectedSize, int64_t resumeOffset)
    : url(url), path(path), checksum(checksum), expectedSize(expectedSize), resumeOffset(resumeOffset)
{
}

DownloaderBackgrounder::DownloaderBackgrounder(const std::string& name)
    : activeDownloader(ActiveDownloader::Create(name))
    , progress(0.0)
    , state(DownloadState::Idle)
    , downloadedBytes(0)
    , expectedSize(0)
    , closing(false)
{
}

DownloaderBackgrounder::~DownloaderBackgrounder()
{
    closing.store(true);
    Stop(true);
    // The worker goes first: a job still queued, or taken but not yet holding downloadMutex,
    // must not run on members that are already released. Such jobs see `closing` and end at once.
    activeDownloader.reset();
}

void DownloaderBackgrounder::Start(Data data)
{
    const std::shared_ptr<Data> request = std::make_shared<Data>(std::move(data));
    uint64_t ticket = 0;
    {
        // Together, so that a job stopped before it began cannot publish "stopped" over the
        // state of a later Start.
        std::lock_guard<std::mutex> lock(jobsMutex);
        ticket = ++lastStarted;
        state.store(DownloadState::Idle);
    }
    // The ticket ends however the job leaves, a throw included: Stop(true) waits for it.
    struct JobEnd
    {
        ~JobEnd() { owner.EndJob(ticket); }
        DownloaderBackgrounder& owner;
        const uint64_t ticket;
    };
    ActiveDownloader::Job job;
    if (boost::algorithm::istarts_with(request->url, "ftp")) {
        job = [this, request, ticket] {
            const JobEnd end{*this, ticket};
            FtpDownload(request);
        };
    } else {
        if (!boost::algorithm::istarts_with(request->url, "http"))
            request->url = "http://" + request->url;
        job = [this, request, ticket] {
            const JobEnd end{*this, ticket};
            HttpDownload(request, ticket);
        };
    }
    try {
        activeDownloader->Post(job);
    } catch (const std::exception& error) {
        // Never queued, so never run: it fails now rather than leave a stop waiting for it.
        LogDownloadError(*request, error.what());
        state.store(DownloadState::Failed);
        EndJob(ticket);
    }
}

void DownloaderBackgrounder::Stop(bool wait)
{
    uint64_t started = 0;
    {
        std::lock_guard<std::mutex> lock(jobsMutex);
        started = lastStarted;
    }
    stoppedUpTo.store(started);
    if (state.load() == DownloadState::Downloading)
        commands.Push(stopCommand);
    if (wait) {
        // A job may still be queued: waiting on downloadMutex alone would return before it began.
        {
            std::unique_lock<std::mutex> lock(jobsMutex);
            jobEnded.wait(lock, [this, started] { return lastEnded >= started; });
        }
        // Never together with the command queue's lock, so the two cannot deadlock.
        std::lock_guard<std::mutex> lock(downloadMutex);
    }
}

void DownloaderBackgrounder::EndJob(uint64_t ticket)
{
    {
        std::lock_guard<std::mutex> lock(jobsMutex);
        lastEnded = ticket;
    }
    jobEnded.notify_all();
}

std::string DownloaderBackgrounder::GetChecksum() const
{
    std::lock_guard<std::mutex> lock(checksumMutex);
    return computedChecksum;
}

bool DownloaderBackgrounder::IsFinished() const
{
    const DownloadState current = state.load();
    return current != DownloadState::Idle && current != DownloadState::Downloading;
}

void DownloaderBackgrounder::FtpDownload(const std::shared_ptr<Data>& request)
{
    static_cast<void>(request);
}

std::string DownloaderBackgrounder::BuildUrl(const std::shared_ptr<Data>& request) const
{
    Poco::URI uri(request->url);
    if (uri.getScheme().empty())
        uri.setScheme(httpScheme);
    return uri.toString();
}

void DownloaderBackgrounder::LogDownloadError(const Data& request, const std::string& what) const
{
    CSingleton<CLog>::GetInstance()->Error("download", "Error while downloading ", request.url, " to ", request.path,
                                           " : ", what);
}

bool DownloaderBackgrounder::StopRequested(uint64_t ticket)
{
    int32_t command = 0;
    if (!commands.IsEmpty()) {
        commands.TryPop(command);
        return true;
    }
    return stoppedUpTo.load() >= ticket || closing.load();
}

void DownloaderBackgrounder::HttpDownload(const std::shared_ptr<Data>& request, uint64_t ticket)
{
    std::lock_guard<std::mutex> lock(downloadMutex);
    if (closing.load())
        return;
    if (stoppedUpTo.load() >= ticket) {
        // Stopped before it began: nothing is sent and the file stays as it is.
        std::lock_guard<std::mutex> jobsLock(jobsMutex);
        if (lastStarted == ticket)
            state.store(DownloadState::Stopped);
        return;
    }
    CLog& log = *CSingleton<CLog>::GetInstance();
    const boost::filesystem::path file(request->path);
    log.Info("download", "HttpDownload Start ", request->url, " -> ", file, " (expected size: ", request->expectedSize,
             ", checksum: ", request->checksum);
    try {
        const std::string url = BuildUrl(request);
        state.store(DownloadState::Downloading);

        // A file whose size is not the resume point holds something else: start afresh.
        const int64_t size = boost::filesystem::exists(file) ? static_cast<int64_t>(boost::filesystem::file_size(file)) : 0;
        if (size != request->resumeOffset) {
            request->resumeOffset = 0;
            boost::filesystem::remove(file);
        }
        if (request->expectedSize > 0 && request->resumeOffset >= 0)
            progress.store(std::min(1.0, static_cast<double>(request->resumeOffset) / static_cast<double>(request->expectedSize)));
        else
            progress.store(0.0);

        // The digest is computed while the body arrives, on a thread of the job's own, starting
        // with the part already held, so that the verification does not read the file again.
        // None is computed when no checksum is expected.
        std::unique_ptr<DigestPipeline> digest;
        if (!request->checksum.empty())
            digest = std::make_unique<DigestPipeline>(file, request->resumeOffset);

        // The end of the transfer is published only once the file is closed: a poller that sees
        // "stopped" takes the file's size as the resume point. The file is unbuffered, so that
        // every block goes to it in one write, straight from the block it was received into.
        DownloadState outcome = DownloadState::Failed;
        std::ofstream out;
        out.rdbuf()->pubsetbuf(nullptr, 0);
        out.open(file.string(), std::ios::binary | std::ios::app);
        // A file that cannot be written would otherwise swallow the whole body and, without a
        // known size or checksum, pass the verification empty.
        if (!out) {
            LogDownloadError(*request, "the file cannot be opened for writing");
        } else {
            bool writeFailed = false;
            outcome = Transfer(url, file, *request, ticket, out, digest, writeFailed);
            out.close();
            if (writeFailed || out.fail()) {
                LogDownloadError(*request, "the file cannot be written");
                outcome = DownloadState::Failed;
            } else {
                log.Info("download", "Download complete (", file, ")");
                // Without a size from the server, a clean close looks like the body's end: the
                // description's size tells a cut body, which may be resumed, from a whole one.
                if (outcome == DownloadState::Downloading && expectedSize < 0 && request->expectedSize > 0) {
                    const int64_t held = FileSizeOrZero(file);
                    if (held < request->expectedSize) {
                        log.Warning("download", "The transfer of ", file, " ended at ", held, " of ",
                                    request->expectedSize, " bytes");
                        outcome = DownloadState::Stopped;
                    } else {
                        expectedSize = request->expectedSize;
                    }
                }
                if (outcome == DownloadState::Downloading)
                    outcome = Verify(file, request, digest.get());
            }
        }
        // The digest thread ends before the job is seen to end.
        digest.reset();
        state.store(outcome);
    } catch (const Poco::Exception& error) {
        LogDownloadError(*request, error.displayText());
        state.store(DownloadState::Failed);
    } catch (const std::exception& error) {
        LogDownloadError(*request, error.what());
        state.store(DownloadState::Failed);
    }
    // A stop command that came while the download was ending must not stop the next one.
    int32_t leftover = 0;
    if (!commands.IsEmpty())
        commands.TryPop(leftover);
}

void DownloaderBackgrounder::Restart(const boost::filesystem::path& file, Data& request, std::ofstream& out,
                                     std::unique_ptr<DigestPipeline>& digest) const
{
    out.close();
    out.rdbuf()->pubsetbuf(nullptr, 0);
    out.open(file.string(), std::ios::binary | std::ios::trunc);
    request.resumeOffset = 0;
    // The held part was digested, or is being digested: none of it belongs to the file any more.
    if (digest)
        digest = std::make_unique<DigestPipeline>(file, 0);
}

DownloadState DownloaderBackgrounder::Transfer(const std::string& url, const boost::filesystem::path& file,
                                               Data& request, uint64_t ticket, std::ofstream& out,
                                               std::unique_ptr<DigestPipeline>& digest, bool& writeFailed)
{
    CLog& log = *CSingleton<CLog>::GetInstance();
    DownloadState outcome = DownloadState::Downloading;
    httpClient.SetResumeOffset(request.resumeOffset);
    httpClient.Request(url);
    if (httpClient.IsRangeMismatched()) {
        // Another part of the resource, or a part of a resource whose size changed: the bytes
        // held cannot be trusted to go with it. Start afresh, without a range; an answer that
        // is still wrong then fails.
        log.Warning("download", "The server answered the range request with another range; downloading ", file,
                    " from the start");
        Restart(file, request, out, digest);
        httpClient.SetResumeOffset(0);
        httpClient.Request(url);
    }
    if (httpClient.IsRangeIgnored()) {
        // The server sent the whole file instead of the rest: appended to the bytes already
        // held, it would corrupt the file. Start the file afresh.
        log.Warning("download", "The server ignored the range request; downloading ", file, " from the start");
        Restart(file, request, out, digest);
    }
    expectedSize = httpClient.GetTotalSize();
    if (!httpClient.IsOk()) {
        // An unreachable server may be tried again; a refused answer may not.
        return httpClient.GetStatus() == TransferStatus::ConnectionFailed ? DownloadState::Stopped
                                                                          : DownloadState::Failed;
    }
    progress.store(httpClient.GetProgress());
    // Blocks of DigestPipeline::slotSize, not the design's 8192 bytes: see HttpClient::chunkSize.
    std::vector<char> plainBlock(digest ? 0 : static_cast<size_t>(DigestPipeline::slotSize));
    // How long a block may wait for the digest before the stop commands are looked at again.
    const std::chrono::milliseconds patience(20);
    while (httpClient.HasMoreData()) {
        char* block = digest ? digest->AcquireSlot(patience) : plainBlock.data();
        if (block == nullptr) {
            if (StopRequested(ticket)) {
                outcome = DownloadState::Stopped;
                break;
            }
            continue;
        }
        const int64_t count = httpClient.ReadChunk(block, DigestPipeline::slotSize);
        // Handed over before it is written: both only read the block, and the digest thread
        // works meanwhile.
        if (digest)
            digest->Submit(block, count);
        if (count == 0) {
            // A body without a length ends with an empty read: that is its end.
            if (!httpClient.HasMoreData() && httpClient.GetStatus() == TransferStatus::Complete)
                break;
            outcome = DownloadState::Stopped;
            break;
        }
        out.write(block, count);
        if (!out) {
            writeFailed = true;
            return DownloadState::Failed;
        }
        progress.store(httpClient.GetProgress());
        downloadedBytes = httpClient.GetPosition();
        if (StopRequested(ticket)) {
            outcome = DownloadState::Stopped;
            break;
        }
    }
    if (httpClient.GetStatus() == TransferStatus::Incomplete)
        outcome = DownloadState::Stopped;
    else if (httpClient.GetStatus() == TransferStatus::Inconsistent)
        outcome = DownloadState::Failed;
    return outcome;
}

DownloadState DownloaderBackgrounder::Verify(const boost::filesystem::path& file, const std::shared_ptr<Data>& request,
                                             DigestPipeline* digest)
{
    CLog& log = *CSingleton<CLog>::GetInstance();
    DownloadState result = DownloadState::Verified;
    const std::string name = file.string();
    if (expectedSize <= 0) {
        log.Error("download", "Invalid expected size for ", request->path, " (", expectedSize, ")");
    } else {
        downloadedBytes = FileSizeOrZero(file);
        if (downloadedBytes != expectedSize) {
            log.Error("download", "The size of ", name, " is ", downloadedBytes, " while ", expectedSize, " is expected");
            result = DownloadState::Failed;
        }
    }
    std::string computed;
    if (!request->checksum.empty()) {
        // The digest of the bytes held and received, as they went into the file.
        computed = digest != nullptr ? digest->Finish() : FileMd5Hex(file);
        log.Debug("download", "Checksum : '", computed, "'. Expected: '", request->checksum, "'");
        if (computed != request->checksum) {
            log.Error("download", "Bad checksum for ", name);
            result = DownloadState::Failed;
        }
    } else {
        log.Warning("download", "No expected checksum for ", name, ". Can't verify download.");
    }
    std::lock_guard<std::mutex> lock(checksumMutex);
    computedChecksum = computed;
    return result;
}

} // namespace UpdateManager
} // namespace Kelvora
