#include "UpdateManager/DownloaderBackgrounder.h"

#include "UpdateManager/Installer.h"
#include "common/CLog.h"

#include <Poco/Exception.h>
#include <Poco/URI.h>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <fstream>
#include <utility>

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
    state.store(DownloadState::Idle);
    ActiveDownloader::Job job;
    if (boost::algorithm::istarts_with(request->url, "ftp")) {
        job = [this, request] { FtpDownload(request); };
    } else {
        if (!boost::algorithm::istarts_with(request->url, "http"))
            request->url = "http://" + request->url;
        job = [this, request] { HttpDownload(request); };
    }
    activeDownloader->Post(job);
}

void DownloaderBackgrounder::Stop(bool wait)
{
    if (state.load() == DownloadState::Downloading)
        commands.Push(stopCommand);
    if (wait) {
        // Never together with the command queue's lock, so the two cannot deadlock.
        std::lock_guard<std::mutex> lock(downloadMutex);
    }
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

void DownloaderBackgrounder::HttpDownload(const std::shared_ptr<Data>& request)
{
    std::lock_guard<std::mutex> lock(downloadMutex);
    if (closing.load())
        return;
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

        // The end of the transfer is published only once the file is closed: a poller that sees
        // "stopped" takes the file's size as the resume point, and bytes still in the stream's
        // buffer would be missing from it.
        DownloadState outcome = DownloadState::Failed;
        std::ofstream out(file.string(), std::ios::binary | std::ios::app);
        // A file that cannot be written would otherwise swallow the whole body and, without a
        // known size or checksum, pass the verification empty.
        if (!out) {
            LogDownloadError(*request, "the file cannot be opened for writing");
        } else {
            bool writeFailed = false;
            outcome = Transfer(url, file, *request, out, writeFailed);
            out.close();
            if (writeFailed || out.fail()) {
                LogDownloadError(*request, "the file cannot be written");
                outcome = DownloadState::Failed;
            } else {
                log.Info("download", "Download complete (", file, ")");
                if (outcome == DownloadState::Downloading)
                    outcome = Verify(file, request);
            }
        }
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

DownloadState DownloaderBackgrounder::Transfer(const std::string& url, const boost::filesystem::path& file,
                                               Data& request, std::ofstream& out, bool& writeFailed)
{
    CLog& log = *CSingleton<CLog>::GetInstance();
    DownloadState outcome = DownloadState::Downloading;
    httpClient.SetResumeOffset(request.resumeOffset);
    httpClient.Request(url);
    if (httpClient.IsRangeIgnored()) {
        // The server sent the whole file instead of the rest: appended to the bytes already
        // held, it would corrupt the file. Start the file afresh.
        log.Warning("download", "The server ignored the range request; downloading ", file, " from the start");
        out.close();
        out.open(file.string(), std::ios::binary | std::ios::trunc);
        request.resumeOffset = 0;
    }
    expectedSize = httpClient.GetTotalSize();
    if (!httpClient.IsOk()) {
        // An unreachable server may be tried again; a refused answer may not.
        return httpClient.GetStatus() == TransferStatus::ConnectionFailed ? DownloadState::Stopped
                                                                          : DownloadState::Failed;
    }
    progress.store(httpClient.GetProgress());
    while (httpClient.HasMoreData()) {
        if (httpClient.ReadChunk(out) == 0) {
            // A body without a length ends with an empty read: that is its end.
            if (!httpClient.HasMoreData() && httpClient.GetStatus() == TransferStatus::Complete)
                break;
            outcome = DownloadState::Stopped;
            break;
        }
        if (!out) {
            writeFailed = true;
            return DownloadState::Failed;
        }
        progress.store(httpClient.GetProgress());
        downloadedBytes = httpClient.GetPosition();
        int32_t command = 0;
        if (!commands.IsEmpty()) {
            commands.TryPop(command);
            outcome = DownloadState::Stopped;
            break;
        }
        if (closing.load()) {
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

DownloadState DownloaderBackgrounder::Verify(const boost::filesystem::path& file, const std::shared_ptr<Data>& request)
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
    std::string digest;
    if (!request->checksum.empty()) {
        digest = FileMd5Hex(file);
        log.Debug("download", "Checksum : '", digest, "'. Expected: '", request->checksum, "'");
        if (digest != request->checksum) {
            log.Error("download", "Bad checksum for ", name);
            result = DownloadState::Failed;
        }
    } else {
        log.Warning("download", "No expected checksum for ", name, ". Can't verify download.");
    }
    std::lock_guard<std::mutex> lock(checksumMutex);
    computedChecksum = digest;
    return result;
}

} // namespace UpdateManager
} // namespace Kelvora
