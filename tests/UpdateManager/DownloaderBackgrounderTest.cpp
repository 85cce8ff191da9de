#include "UpdateManager/DownloaderBackgrounder.h"

#include "UpdateManager/Installer.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace Kelvora {
namespace UpdateManager {
void PrintTo(DownloadState state, std::ostream* out)
{
    *out << "DownloadState " << static_cast<int>(state);
}

namespace {

using Data = DownloaderBackgrounder::Data;

enum class ServerKind { TestServer, Nginx };

void PrintTo(ServerKind kind, std::ostream* out)
{
    *out << (kind == ServerKind::TestServer ? "test server" : "nginx");
}

const size_t sourceSize = 300000;

std::string SourceBytes(size_t count)
{
    std::mt19937 generator(7);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

// Runs one download to its end on `downloader`.
DownloadState RunDownload(DownloaderBackgrounder& downloader, const Data& request)
{
    downloader.Start(request);
    EXPECT_TRUE(WaitUntil([&] { return downloader.IsFinished(); })) << request.url;
    return downloader.GetState();
}

// The installer file lies in `files`, served by the test server under "/files/" or by nginx
// at its root; downloads go to `downloads`.
class DownloadFixture
{
protected:
    explicit DownloadFixture(ServerKind kind) : kind(kind)
    {
        files.WriteFile("installer.bin", source);
        sourceMd5 = FileMd5Hex(files.Path() / "installer.bin");
    }

    // False (with the reason) when the chosen server cannot be started.
    ::testing::AssertionResult StartServer()
    {
        if (kind == ServerKind::TestServer) {
            server.ServeFolder("/files/", files.String());
            return ::testing::AssertionSuccess();
        }
        nginx = std::make_unique<NginxServer>(files.String());
        if (!nginx->Started())
            return ::testing::AssertionFailure() << nginx->Log();
        return ::testing::AssertionSuccess();
    }

    std::string Url(const std::string& name) const
    {
        return kind == ServerKind::TestServer ? server.Url("/files/" + name) : nginx->Url("/" + name);
    }

    std::string Target() const { return (downloads.Path() / "installer.bin").string(); }
    Data Request(const std::string& url, int64_t resumeOffset = 0) const
    {
        return Data(url, Target(), sourceMd5, static_cast<int64_t>(source.size()), resumeOffset);
    }

    const ServerKind kind;
    const std::string source = SourceBytes(sourceSize);
    std::string sourceMd5;
    TempDir files;
    TempDir downloads;
    LogCapture log{{"download"}};
    HttpTestServer server;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<DownloaderBackgrounder> downloader = std::make_unique<DownloaderBackgrounder>("soft/ABC");
};

class DownloaderBackgrounderTest : public DownloadFixture, public ::testing::TestWithParam<ServerKind>
{
protected:
    DownloaderBackgrounderTest() : DownloadFixture(GetParam()) {}

    void SetUp() override
    {
        if (kind == ServerKind::Nginx && !NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        ASSERT_TRUE(StartServer());
    }
};

TEST_P(DownloaderBackgrounderTest, EndsAsTheFileAndTheServerDecide)
{
    enum class Checksum { Right, UpperCase, None };
    const std::string unwritable = (downloads.Path() / "missing-folder" / "installer.bin").string();
    const struct {
        const char* name;
        std::string partial;  // the file before the download; "-" for none
        int64_t resumeOffset;
        Checksum checksum;
        std::string remote;
        std::string path; // empty: Target()
        DownloadState state;
        bool wholeSource;        // the file then equals the source
        std::string range;       // what the test server received
        std::string logged;      // a message that must be there
    } cases[] = {
        {"fresh", "-", 0, Checksum::Right, "installer.bin", "", DownloadState::Verified, true, "", ""},
        {"resumed", source.substr(0, 120000), 120000, Checksum::Right, "installer.bin", "", DownloadState::Verified,
         true, "bytes=120000-", ""},
        {"partial file of another size restarts", std::string(4000, 'x'), 5000, Checksum::Right, "installer.bin", "",
         DownloadState::Verified, true, "", ""},
        {"held part that is not the file's beginning", std::string(120000, 'x'), 120000, Checksum::Right,
         "installer.bin", "", DownloadState::Failed, false, "bytes=120000-", "Bad checksum for " + Target()},
        {"whole file answered 416", source, static_cast<int64_t>(sourceSize), Checksum::Right, "installer.bin", "",
         DownloadState::Verified, true, "bytes=300000-", ""},
        {"upper-case checksum", "-", 0, Checksum::UpperCase, "installer.bin", "", DownloadState::Failed, true, "",
         "Bad checksum for " + Target()},
        {"no checksum", "-", 0, Checksum::None, "installer.bin", "", DownloadState::Verified, true, "",
         "No expected checksum for " + Target() + ". Can't verify download."},
        {"404", "-", 0, Checksum::Right, "missing.bin", "", DownloadState::Failed, false, "", ""},
        {"destination cannot be written", "-", 0, Checksum::Right, "installer.bin", unwritable, DownloadState::Failed,
         false, "", "Error while downloading "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boost::filesystem::remove(Target());
        if (c.partial != "-")
            downloads.WriteFile("installer.bin", c.partial);
        server.ClearRequests();
        Data request = Request(Url(c.remote), c.resumeOffset);
        if (!c.path.empty())
            request.path = c.path;
        if (c.checksum == Checksum::UpperCase)
            request.checksum = boost::algorithm::to_upper_copy(sourceMd5);
        else if (c.checksum == Checksum::None)
            request.checksum.clear();

        EXPECT_EQ(RunDownload(*downloader, request), c.state);
        if (c.wholeSource) {
            EXPECT_EQ(FileMd5Hex(Target()), sourceMd5);
        }
        if (c.state == DownloadState::Verified) {
            EXPECT_EQ(downloader->GetChecksum(), request.checksum);
        }
        const std::vector<std::string> messages = log.Messages();
        if (!c.logged.empty()) {
            EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                                    [&](const std::string& message) { return message.find(c.logged) == 0; }))
                << c.logged;
        }
        if (kind == ServerKind::TestServer && c.path.empty()) {
            const std::vector<RecordedRequest> requests = server.Requests();
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].range, c.range);
        }
    }
}

TEST_P(DownloaderBackgrounderTest, LogsTheStartAndTheEndOfADownload)
{
    ASSERT_EQ(RunDownload(*downloader, Request(Url("installer.bin"))), DownloadState::Verified);
    const std::string quoted = "\"" + Target() + "\"";
    EXPECT_TRUE(log.HasMessage("HttpDownload Start " + Url("installer.bin") + " -> " + quoted
                               + " (expected size: 300000, checksum: " + sourceMd5));
    EXPECT_TRUE(log.HasMessage("Download complete (" + quoted + ")"));
    EXPECT_TRUE(log.HasMessage("Checksum : '" + sourceMd5 + "'. Expected: '" + sourceMd5 + "'"));
}

TEST_P(DownloaderBackgrounderTest, ADroppedConnectionStopsAndTheNextStartCompletesTheFile)
{
    // The drop always comes from a test server; the resumption goes to the server under test.
    HttpTestServer dropping;
    HttpTestFileOptions drop;
    drop.adjust = [](HttpTestAnswer& answer, size_t) { answer.dropAfterBytes = 100000; };
    dropping.ServeFile("/installer.bin", source, drop);

    EXPECT_EQ(RunDownload(*downloader, Request(dropping.Url("/installer.bin"))), DownloadState::Stopped);
    const int64_t partial = FileSizeOrZero(Target());
    EXPECT_EQ(partial, 100000);
    EXPECT_EQ(ReadFile(Target()), source.substr(0, static_cast<size_t>(partial)));

    EXPECT_EQ(RunDownload(*downloader, Request(Url("installer.bin"), partial)), DownloadState::Verified);
    EXPECT_EQ(ReadFile(Target()), source);
}

TEST_P(DownloaderBackgrounderTest, AFileThatChangedSizeIsDownloadedAfreshNotAppended)
{
    ASSERT_EQ(RunDownload(*downloader, Request(Url("installer.bin"))), DownloadState::Verified);
    // A new release under the same name, and a partial file left from the old one.
    const std::string changed = SourceBytes(sourceSize + 50000).substr(25000);
    files.WriteFile("installer.bin", changed);
    downloads.WriteFile("installer.bin", source.substr(0, 100000));
    server.ClearRequests();
    // Without a checksum only the size would guard the file, and the old part plus the new
    // rest has the new size.
    Data request = Request(Url("installer.bin"), 100000);
    request.checksum.clear();
    EXPECT_EQ(RunDownload(*downloader, request), DownloadState::Verified);
    EXPECT_TRUE(ReadFile(Target()) == changed);
    if (kind == ServerKind::TestServer) {
        const std::vector<RecordedRequest> requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].range, "bytes=100000-");
        EXPECT_EQ(requests[1].range, "");
    }
}

TEST_P(DownloaderBackgrounderTest, ChunkedBodyIsDownloadedWholeAndResumed)
{
    const std::string url = kind == ServerKind::TestServer ? server.Url("/chunked.bin") : nginx->Url("/chunked/installer.bin");
    if (kind == ServerKind::TestServer) {
        HttpTestFileOptions options;
        options.adjust = [](HttpTestAnswer& answer, size_t) {
            answer.framing = HttpTestAnswer::Framing::Chunked;
            answer.chunkSize = 7000;
        };
        server.ServeFile("/chunked.bin", source, options);
    }
    EXPECT_EQ(RunDownload(*downloader, Request(url)), DownloadState::Verified);
    EXPECT_TRUE(ReadFile(Target()) == source);
    // Resumed: the test server answers the range chunked, nginx sends the whole file again.
    downloads.WriteFile("installer.bin", source.substr(0, 123456));
    EXPECT_EQ(RunDownload(*downloader, Request(url, 123456)), DownloadState::Verified);
    EXPECT_TRUE(ReadFile(Target()) == source);
}

INSTANTIATE_TEST_SUITE_P(Servers, DownloaderBackgrounderTest,
                         ::testing::Values(ServerKind::TestServer, ServerKind::Nginx),
                         [](const ::testing::TestParamInfo<ServerKind>& info) {
                             return info.param == ServerKind::TestServer ? "TestServer" : "Nginx";
                         });

// Faults only the test server can script.
class DownloaderBackgrounderFaultTest : public DownloadFixture, public ::testing::Test
{
protected:
    DownloaderBackgrounderFaultTest() : DownloadFixture(ServerKind::TestServer) {}

    // "/slow.bin": a large file whose first answer pauses after its first bytes, so that a
    // test can act while the download runs; later answers are plain.
    std::string SlowUrl()
    {
        slow = SourceBytes(2 * 1024 * 1024);
        HttpTestFileOptions options;
        options.adjust = [](HttpTestAnswer& answer, size_t requestIndex) {
            if (requestIndex == 0) {
                answer.stallAfterBytes = 16384;
                answer.stallFor = std::chrono::milliseconds(1000);
            }
        };
        server.ServeFile("/slow.bin", slow, options);
        return server.Url("/slow.bin");
    }

    // Starts the slow download and returns once its first chunk is written.
    void StartSlowDownload()
    {
        downloader->Start(Data(SlowUrl(), Target(), "", static_cast<int64_t>(slow.size()), 0));
        ASSERT_TRUE(WaitUntil([&] { return downloader->GetProgress() > 0.0; }));
        ASSERT_EQ(downloader->GetState(), DownloadState::Downloading);
    }

    // The file holds a strict beginning of the slow file.
    void ExpectPartOfSlowFile()
    {
        const std::string written = ReadFile(Target());
        EXPECT_GE(written.size(), 16384u);
        EXPECT_LT(written.size(), slow.size());
        EXPECT_EQ(written, slow.substr(0, written.size()));
    }

    std::string slow;
};

TEST_F(DownloaderBackgrounderFaultTest, ServerThatCannotBeReachedStops)
{
    const ClosedPort closed;
    const std::string url = "http://127.0.0.1:" + std::to_string(closed.Number()) + "/installer.bin";
    EXPECT_EQ(RunDownload(*downloader, Request(url)), DownloadState::Stopped);
}

TEST_F(DownloaderBackgrounderFaultTest, UrlsWithoutSchemeGetHttpAndFtpFetchesNothing)
{
    server.ServeFile("/installer.bin", source);
    downloader->Start(Request("FTP://127.0.0.1:" + std::to_string(server.Port()) + "/installer.bin"));
    EXPECT_EQ(RunDownload(*downloader, Request(server.HostAndPort("/installer.bin"))), DownloadState::Verified);
    EXPECT_EQ(ReadFile(Target()), source);
    EXPECT_EQ(server.Requests().size(), 1u) << "the ftp request fetched nothing";
}

TEST_F(DownloaderBackgrounderFaultTest, SizeDifferentFromTheServersTotalFails)
{
    // Another writer appends to the file while the answer is on its way.
    HttpTestFileOptions options;
    options.adjust = [this](HttpTestAnswer&, size_t) {
        std::ofstream(Target(), std::ios::binary | std::ios::app) << "stranger";
    };
    server.ServeFile("/installer.bin", source, options);
    Data request = Request(server.Url("/installer.bin"));
    request.checksum.clear();
    EXPECT_EQ(RunDownload(*downloader, request), DownloadState::Failed);
    EXPECT_TRUE(log.HasMessage("The size of " + Target() + " is 300008 while 300000 is expected"));
}

TEST_F(DownloaderBackgrounderFaultTest, BodyWithoutLengthIsReadToItsEndAndVerifiedByItsChecksum)
{
    server.SetAnswer("/installer.bin", HttpTestAnswer::Text(source, HttpTestAnswer::Framing::CloseDelimited));
    Data request = Request(server.Url("/installer.bin"));
    request.expectedSize = 0; // the description gives no size either
    EXPECT_EQ(RunDownload(*downloader, request), DownloadState::Verified);
    EXPECT_EQ(ReadFile(Target()), source);
    EXPECT_TRUE(log.HasMessage("Invalid expected size for " + Target() + " (-1)"));
}

TEST_F(DownloaderBackgrounderFaultTest, BodyWithoutLengthMustHaveTheDescriptionsSize)
{
    // A clean close is all that ends such a body: without a checksum, only the description's
    // size tells a cut one from a whole one.
    const struct {
        const char* name;
        std::string body;
        std::optional<size_t> dropAfterBytes;
        DownloadState state;
        std::string logged;
    } cases[] = {
        {"whole", source, std::nullopt, DownloadState::Verified, ""},
        {"cut by a close", source, 100000, DownloadState::Stopped,
         "The transfer of \"" + Target() + "\" ended at 100000 of 300000 bytes"},
        {"longer than described", source + "tail", std::nullopt, DownloadState::Failed,
         "The size of " + Target() + " is 300004 while 300000 is expected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boost::filesystem::remove(Target());
        HttpTestAnswer answer = HttpTestAnswer::Text(c.body, HttpTestAnswer::Framing::CloseDelimited);
        answer.dropAfterBytes = c.dropAfterBytes;
        server.SetAnswer("/installer.bin", answer);
        Data request = Request(server.Url("/installer.bin"));
        request.checksum.clear();
        EXPECT_EQ(RunDownload(*downloader, request), c.state);
        if (!c.logged.empty()) {
            EXPECT_TRUE(log.HasMessage(c.logged)) << c.logged;
        }
    }
    // The cut one resumes to the whole file.
    boost::filesystem::remove(Target());
    HttpTestAnswer cut = HttpTestAnswer::Text(source, HttpTestAnswer::Framing::CloseDelimited);
    cut.dropAfterBytes = 100000;
    server.SetAnswer("/installer.bin", cut);
    ASSERT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"))), DownloadState::Stopped);
    server.ServeFile("/installer.bin", source);
    EXPECT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"), FileSizeOrZero(Target()))),
              DownloadState::Verified);
    EXPECT_TRUE(ReadFile(Target()) == source);
}

TEST_F(DownloaderBackgrounderFaultTest, CutOrMalformedChunkedBodyIsNeverVerified)
{
    const struct {
        const char* name;
        std::optional<size_t> dropAfterBytes;
        bool malformed;
        DownloadState state;
    } cases[] = {
        {"cut inside a chunk", 150500, false, DownloadState::Stopped},
        {"no last chunk", sourceSize, false, DownloadState::Stopped},
        {"size line of letters", std::nullopt, true, DownloadState::Failed},
    };
    for (const auto& c : cases) {
        for (const bool withChecksum : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (withChecksum ? ", with checksum" : ", without checksum"));
            boost::filesystem::remove(Target());
            HttpTestAnswer answer = HttpTestAnswer::Text(source, HttpTestAnswer::Framing::Chunked);
            answer.chunkSize = 10000;
            answer.dropAfterBytes = c.dropAfterBytes;
            if (c.malformed)
                answer.chunkSizeLine = [](size_t index, size_t) { return index == 3 ? std::string("zz\r\n") : std::string("2710\r\n"); };
            server.SetAnswer("/installer.bin", answer);
            Data request = Request(server.Url("/installer.bin"));
            if (!withChecksum)
                request.checksum.clear();
            EXPECT_EQ(RunDownload(*downloader, request), c.state);
            const std::string written = ReadFile(Target());
            EXPECT_TRUE(written == source.substr(0, written.size()));
        }
    }
}

TEST_F(DownloaderBackgrounderFaultTest, PartialAnswerForAnotherRangeRestartsFromTheStart)
{
    // Wrong partial answers to a range request; a request without a range gets the whole file.
    const struct {
        const char* name;
        std::function<void(HttpTestAnswer&)> lie;
    } cases[] = {
        {"another start", [this](HttpTestAnswer& answer) {
             answer.body = source.substr(0, 1000);
             answer.SetHeader("Content-Range", "bytes 0-999/300000");
         }},
        {"body from the start labelled elsewhere", [this](HttpTestAnswer& answer) {
             answer.body = source.substr(0, 270000);
             answer.SetHeader("Content-Range", "bytes 30000-299999/300000");
         }},
        {"no Content-Range", [](HttpTestAnswer& answer) {
             answer.headers.clear();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestFileOptions options;
        const auto lie = c.lie;
        options.adjust = [lie](HttpTestAnswer& answer, size_t) {
            if (answer.status == 206)
                lie(answer);
        };
        server.ServeFile("/installer.bin", source, options);
        server.ClearRequests();
        downloads.WriteFile("installer.bin", source.substr(0, 100000));
        Data request = Request(server.Url("/installer.bin"), 100000);
        request.checksum.clear();
        EXPECT_EQ(RunDownload(*downloader, request), DownloadState::Verified);
        EXPECT_TRUE(ReadFile(Target()) == source);
        const std::vector<RecordedRequest> requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[1].range, "");
        EXPECT_TRUE(log.HasMessage("The server answered the range request with another range; downloading \"" + Target()
                                   + "\" from the start"));
    }

    // A server that answers a part even to a request without a range fails the download.
    server.SetAnswer("/installer.bin",
                     HttpTestAnswer::Status(206, source.substr(0, 1000)).Header("Content-Range", "bytes 0-999/300000"));
    downloads.WriteFile("installer.bin", source.substr(0, 100000));
    Data request = Request(server.Url("/installer.bin"), 100000);
    request.checksum.clear();
    EXPECT_EQ(RunDownload(*downloader, request), DownloadState::Failed);
}

TEST_F(DownloaderBackgrounderFaultTest, TotalBeyondAnyFileFails)
{
    server.SetAnswer("/installer.bin", HttpTestAnswer::Status(416).Header("Content-Range", "bytes */9223372036854775808"));
    downloads.WriteFile("installer.bin", source);
    EXPECT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"), static_cast<int64_t>(sourceSize))),
              DownloadState::Failed);
}

TEST_F(DownloaderBackgrounderFaultTest, StopRightAfterStartStopsThatDownload)
{
    // Every answer pauses after its first bytes, so no download can end before its stop.
    HttpTestFileOptions options;
    options.adjust = [](HttpTestAnswer& answer, size_t) {
        answer.stallAfterBytes = 1000;
        answer.stallFor = std::chrono::milliseconds(30);
    };
    server.ServeFile("/installer.bin", source, options);
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        boost::filesystem::remove(Target());
        const bool wait = round % 2 == 1;
        downloader->Start(Request(server.Url("/installer.bin")));
        downloader->Stop(wait);
        if (wait) {
            // The job has ended: nothing writes the file once it is removed.
            ASSERT_EQ(downloader->GetState(), DownloadState::Stopped);
            boost::filesystem::remove(Target());
        } else {
            ASSERT_TRUE(WaitUntil([&] { return downloader->IsFinished(); }));
            ASSERT_EQ(downloader->GetState(), DownloadState::Stopped);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LT(FileSizeOrZero(Target()), static_cast<int64_t>(sourceSize));
    EXPECT_FALSE(boost::filesystem::exists(Target()));

    // A later Start is not stopped by the earlier stops.
    EXPECT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"))), DownloadState::Verified);
}

TEST_F(DownloaderBackgrounderFaultTest, StopThatWaitsForAQueuedJobEndsItBeforeItBegins)
{
    StartSlowDownload();
    server.ServeFile("/installer.bin", source);
    const std::string queuedTarget = (downloads.Path() / "queued.bin").string();
    downloader->Start(Data(server.Url("/installer.bin"), queuedTarget, sourceMd5, 0, 0));
    downloader->Stop(true);
    EXPECT_EQ(downloader->GetState(), DownloadState::Stopped);
    EXPECT_TRUE(server.RequestsFor("/installer.bin").empty());
    EXPECT_FALSE(boost::filesystem::exists(queuedTarget));
}

TEST_F(DownloaderBackgrounderFaultTest, ServerThatIgnoresTheRangeRestartsTheFile)
{
    HttpTestFileOptions options;
    options.honourRange = false;
    server.ServeFile("/installer.bin", source, options);
    // Without a checksum only the size guards the file: appending the whole body to the part
    // already held would still match the total announced for a resumed transfer.
    for (const std::string& checksum : {std::string(), sourceMd5}) {
        std::ofstream(Target(), std::ios::binary | std::ios::trunc) << source.substr(0, 1000);
        Data request = Request(server.Url("/installer.bin"), 1000);
        request.checksum = checksum;
        EXPECT_EQ(RunDownload(*downloader, request), DownloadState::Verified);
        EXPECT_EQ(ReadFile(Target()), source);
    }
    EXPECT_EQ(server.Requests().at(0).range, "bytes=1000-");
}

TEST_F(DownloaderBackgrounderFaultTest, ProgressOfAResumedDownloadNeverFallsBelowTheBytesHeld)
{
    const std::string url = SlowUrl(); // pauses for a second after its first 16 KiB
    const int64_t held = static_cast<int64_t>(slow.size() / 2);
    std::ofstream(Target(), std::ios::binary) << slow.substr(0, static_cast<size_t>(held));
    downloader->Start(Data(url, Target(), "", static_cast<int64_t>(slow.size()), held));
    double lowest = 1.0;
    EXPECT_TRUE(WaitUntil([&] {
        if (downloader->GetState() == DownloadState::Downloading && downloader->GetProgress() > 0.0)
            lowest = std::min(lowest, downloader->GetProgress());
        return downloader->IsFinished();
    }));
    EXPECT_EQ(downloader->GetState(), DownloadState::Verified);
    EXPECT_GE(lowest, 0.5);
    EXPECT_EQ(ReadFile(Target()), slow);
}

TEST_F(DownloaderBackgrounderFaultTest, FileIsWholeOnceTheEndIsPublished)
{
    // The status machine takes the file's size as the resume point as soon as it sees
    // "stopped": by then every byte received must be in the file, not in a write buffer.
    // The last 500 bytes come alone after a pause: a write that small waits in the file
    // stream's buffer until the stream is flushed.
    HttpTestFileOptions options;
    options.adjust = [](HttpTestAnswer& answer, size_t) {
        answer.stallAfterBytes = 99501;
        answer.stallFor = std::chrono::milliseconds(20);
        answer.dropAfterBytes = 100001;
    };
    server.ServeFile("/installer.bin", source, options);
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::remove(Target().c_str());
        downloader->Start(Request(server.Url("/installer.bin")));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!downloader->IsFinished() && std::chrono::steady_clock::now() < deadline) {
            // Polled without a pause, so that a state published too early is caught.
        }
        ASSERT_EQ(downloader->GetState(), DownloadState::Stopped);
        ASSERT_EQ(FileSizeOrZero(Target()), 100001) << "attempt " << attempt;
    }
}

TEST_F(DownloaderBackgrounderFaultTest, DropsAtTwentyOffsetsLoseAndDuplicateNothing)
{
    std::mt19937 generator(20240611);
    std::uniform_int_distribution<size_t> anywhere(1, sourceSize - 1);
    for (const HttpTestAnswer::Framing framing : {HttpTestAnswer::Framing::ContentLength, HttpTestAnswer::Framing::Chunked}) {
        SCOPED_TRACE(framing == HttpTestAnswer::Framing::Chunked ? "chunked" : "Content-Length");
        std::set<size_t> drops;
        while (drops.size() < 20)
            drops.insert(anywhere(generator));
        const std::vector<size_t> offsets(drops.begin(), drops.end());

        HttpTestFileOptions options;
        options.adjust = [&](HttpTestAnswer& answer, size_t requestIndex) {
            answer.framing = framing;
            answer.chunkSize = 7001; // drops fall inside chunks, on their edges and after size lines
            if (requestIndex < offsets.size())
                answer.dropAfterBytes = offsets[requestIndex] - (sourceSize - answer.body.size());
        };
        // A path of its own, whose requests are counted from 0.
        const std::string path = framing == HttpTestAnswer::Framing::Chunked ? "/chunked.bin" : "/installer.bin";
        server.ServeFile(path, source, options);
        server.ClearRequests();
        boost::filesystem::remove(Target());

        int64_t held = 0;
        for (const size_t offset : offsets) {
            SCOPED_TRACE(offset);
            ASSERT_EQ(RunDownload(*downloader, Request(server.Url(path), held)), DownloadState::Stopped);
            held = FileSizeOrZero(Target());
            ASSERT_EQ(held, static_cast<int64_t>(offset));
        }
        EXPECT_EQ(RunDownload(*downloader, Request(server.Url(path), held)), DownloadState::Verified);
        EXPECT_TRUE(ReadFile(Target()) == source);
        EXPECT_EQ(server.Requests().size(), offsets.size() + 1);
    }
}

TEST_F(DownloaderBackgrounderFaultTest, StopWithoutWaitingEndsTheDownloadAfterItsNextChunk)
{
    StartSlowDownload();
    downloader->Stop(false);
    ASSERT_TRUE(WaitUntil([&] { return downloader->IsFinished(); }));
    EXPECT_EQ(downloader->GetState(), DownloadState::Stopped);
    ExpectPartOfSlowFile();
}

TEST_F(DownloaderBackgrounderFaultTest, StopThatWaitsReturnsOnceTheDownloadHasEnded)
{
    StartSlowDownload();
    downloader->Stop(true);
    EXPECT_EQ(downloader->GetState(), DownloadState::Stopped);
    ExpectPartOfSlowFile();
    // The file is left to be resumed.
    const int64_t held = FileSizeOrZero(Target());
    EXPECT_EQ(RunDownload(*downloader, Data(server.Url("/slow.bin"), Target(), "", 0, held)), DownloadState::Verified);
    EXPECT_EQ(ReadFile(Target()), slow);
}

TEST_F(DownloaderBackgrounderFaultTest, StopOutsideADownloadQueuesNothing)
{
    server.ServeFile("/installer.bin", source);
    downloader->Stop(true); // idle: returns at once
    EXPECT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"))), DownloadState::Verified);
    downloader->Stop(false); // verified
    boost::filesystem::remove(Target());
    EXPECT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"))), DownloadState::Verified);
}

TEST_F(DownloaderBackgrounderFaultTest, ALeftoverStopCommandStopsTheNextDownloadAfterItsFirstChunk)
{
    StartSlowDownload();
    // The first stops the loop, the job's end discards the second, the third stays queued.
    downloader->Stop(false);
    downloader->Stop(false);
    downloader->Stop(false);
    ASSERT_TRUE(WaitUntil([&] { return downloader->IsFinished(); }));
    EXPECT_EQ(downloader->GetState(), DownloadState::Stopped);

    server.ServeFile("/installer.bin", source);
    EXPECT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"))), DownloadState::Stopped);
    const int64_t held = FileSizeOrZero(Target());
    EXPECT_GT(held, 0);
    EXPECT_LT(held, static_cast<int64_t>(sourceSize));
    // Nothing is left for the one after.
    EXPECT_EQ(RunDownload(*downloader, Request(server.Url("/installer.bin"), held)), DownloadState::Verified);
    EXPECT_EQ(ReadFile(Target()), source);
}

TEST_F(DownloaderBackgrounderFaultTest, DestroyingDuringADownloadEndsItAfterTheChunkAndRunsNoQueuedJob)
{
    StartSlowDownload();
    server.ServeFile("/installer.bin", source);
    const std::string queuedTarget = (downloads.Path() / "queued.bin").string();
    downloader->Start(Data(server.Url("/installer.bin"), queuedTarget, sourceMd5, 0, 0));
    downloader.reset();
    ExpectPartOfSlowFile();
    EXPECT_TRUE(server.RequestsFor("/installer.bin").empty());
    EXPECT_FALSE(boost::filesystem::exists(queuedTarget));
}

} // namespace
} // namespace UpdateManager
} // namespace Kelvora
