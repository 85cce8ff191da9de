// The whole road of a product through the update manager, against the project's HTTP test server
// and a real nginx: registration, download, ".confirm" file, installation on the install thread
// (the installer is print_args, which records its argv) and the collection of the finished install.
#include "UpdateManager/UpdateManager.h"

#include "UpdateManager/InstallThread.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateManagerProbe.h"
#include "tests/support/WaitUntil.h"

#include <boost/filesystem.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace fs = boost::filesystem;
using namespace Kelvora::UpdateManager;
using ::testing::ElementsAre;

namespace {

enum class ServerKind { TestServer, Nginx };

void PrintTo(ServerKind kind, std::ostream* out)
{
    *out << (kind == ServerKind::TestServer ? "test server" : "nginx");
}

// Both servers serve the folder `site`: the resources answers under "api/resources/", the
// installers under "files/". Files are read at request time, so an answer can be replaced.
class RoadFixture
{
protected:
    explicit RoadFixture(ServerKind kind) : kind(kind), installerBytes(ReadFile(TestProgramPath("print_args"))) {}

    ~RoadFixture()
    {
        recorder.reset();
        manager.reset();
    }

    ::testing::AssertionResult StartServer()
    {
        if (kind == ServerKind::TestServer) {
            server.ServeFolder("/", site.String());
            return ::testing::AssertionSuccess();
        }
        nginx = std::make_unique<NginxServer>(site.String());
        if (!nginx->Started())
            return ::testing::AssertionFailure() << nginx->Log();
        return ::testing::AssertionSuccess();
    }

    std::string Url(const std::string& path) const
    {
        return kind == ServerKind::TestServer ? server.Url(path) : nginx->Url(path);
    }

    // A new manager (and install thread) for each case; the installer's exit code is set while
    // no thread of the manager runs.
    void StartManager(int installerExit = 0)
    {
        recorder.reset();
        manager.reset();
        environment.Set("PRINT_ARGS_EXIT", std::to_string(installerExit));
        manager = std::make_unique<UpdateManager>("", Url(""), platformWindows);
        ASSERT_TRUE(manager->SetDownloadDir(downloads.String()));
        recorder = std::make_unique<UpdateEventRecorder>(*manager);
    }

    // Puts the installer on the server as `file` and describes it in a release of `sku`.
    ReleaseAnswer PublishInstaller(const std::string& sku, const std::string& file,
                                   const std::string& version = "2.0") const
    {
        site.WriteFile("files/" + file, installerBytes);
        ReleaseAnswer release;
        release.sku = sku;
        release.name = "Product " + sku;
        release.permalink = Url("/files/" + file);
        release.version = version;
        release.size = std::to_string(installerBytes.size());
        release.checksum = FileMd5Hex(site.Path() / "files" / file);
        return release;
    }

    void Publish(const ReleaseAnswer& release, const std::string& type = "soft") const
    {
        site.WriteFile(ResourcesPath(release.sku, type).substr(1), release.Json());
    }

    Installer& InstallerOf(const ProductKey& key) { return manager->GetProduct(key).installer; }

    // What print_args recorded of its arguments; empty when it did not run.
    std::string RecordedArguments(const std::string& file) const
    {
        return ReadFile(downloads.Path() / (file + ".args"));
    }

    // The update manager's own info lines (the scanner logs in the same category), without the
    // change line of an install that the install thread ended between the two reads of one poll
    // (rare, and logged only then).
    std::vector<std::string> ManagerInfo() const
    {
        static const char* const prefixes[] = {" Initialize UpdateManager", " Terminate UpdateManager",
                                               " Getting descriptions", "Stop download for ", " Launch download for ",
                                               "State for product ", "Launch installer for ", "Installation of "};
        std::vector<std::string> lines;
        for (const std::string& line : log.Messages("update_manager", "info")) {
            const bool own = std::any_of(std::begin(prefixes), std::end(prefixes),
                                         [&](const char* prefix) { return line.rfind(prefix, 0) == 0; });
            if (own && line.find(") switch from install in progress to ") == std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }

    bool Polled(const std::function<bool()>& condition) { return PollUntil(*manager, condition); }

    // Polls a launched download of `file` to its end, which must be the whole installer, got with
    // one request with that Range header (checked where the test server records it).
    void ExpectDownloadedOnce(const ProductKey& key, const std::string& file, const std::string& range)
    {
        ASSERT_TRUE(Polled([&] { return InstallerOf(key).GetStatus() != ProductStatus::DownloadInProgress; }));
        EXPECT_EQ(StatusOf(*manager, key), "installer available");
        EXPECT_EQ(ReadFile(downloads.Path() / file), installerBytes);
        if (kind == ServerKind::TestServer) {
            const std::vector<RecordedRequest> requests = server.RequestsFor("/files/" + file);
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].range, range);
        }
    }

    const ServerKind kind;
    // First: restored last, once every thread of the test has ended.
    ScopedEnvironment environment;
    // Before any thread: the categories are set and cleared while no other thread logs.
    LogCapture log{{"update_manager"}};
    TempDir site;
    TempDir downloads;
    HttpTestServer server;
    std::unique_ptr<NginxServer> nginx;
    const std::string installerBytes;
    std::unique_ptr<UpdateManager> manager;
    std::unique_ptr<UpdateEventRecorder> recorder;
};

class UpdateManagerRoadTest : public RoadFixture, public ::testing::TestWithParam<ServerKind>
{
protected:
    UpdateManagerRoadTest() : RoadFixture(GetParam()) {}

    void SetUp() override
    {
        if (kind == ServerKind::Nginx && !NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        ASSERT_TRUE(StartServer());
    }
};

INSTANTIATE_TEST_SUITE_P(Servers, UpdateManagerRoadTest, ::testing::Values(ServerKind::TestServer, ServerKind::Nginx));

TEST_P(UpdateManagerRoadTest, RegisterDownloadInstallAndCollect)
{
    const struct {
        const char* name;
        std::string type;
        std::string local;
        int exitCode;
        std::string versionAfter; // what the server describes once the installer has run
        std::string installStatus;
        bool success;
    } cases[] = {
        // Without scanner rules a "soft" product's local version becomes "not_installed".
        {"soft product", "soft", "0.0", 0, "2.0", "install complete", false},
        {"installed version confirmed", "firmware", "1.0", 0, "1.0", "install complete", true},
        {"installer fails", "firmware", "1.0", 1, "2.0", "error", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartManager(c.exitCode);
        const ProductKey key{"ABC", c.type};
        const fs::path file = downloads.Path() / "setup-ABC";
        fs::remove(file);
        fs::remove(file.string() + ".confirm");
        fs::remove(file.string() + ".args");
        ReleaseAnswer release = PublishInstaller("ABC", "setup-ABC");
        Publish(release, c.type);
        const size_t firstInfo = ManagerInfo().size();

        manager->RegisterProduct(key, c.local);
        EXPECT_EQ(StatusOf(*manager, key), "update needed");
        EXPECT_THAT(recorder->Events(), ElementsAre("changed ABC/" + c.type, "list"));

        recorder->Clear();
        ASSERT_TRUE(manager->LaunchDownload(key, true));
        ASSERT_TRUE(Polled([&] { return InstallerOf(key).GetStatus() != ProductStatus::DownloadInProgress; }));
        ASSERT_EQ(StatusOf(*manager, key), "installer available");
        EXPECT_EQ(ReadFile(file), installerBytes);
        EXPECT_EQ(ReadFile(file.string() + ".confirm"), "{\r\n    \"size\": \"" + release.size
                                                          + "\",\r\n    \"checksum\": \"" + release.checksum
                                                          + "\"\r\n}\r\n");
        // Progress while downloading, then 100 once verified, then the change and the refresh.
        const std::vector<DownloadProgressEvent>& progress = recorder->Progress();
        ASSERT_FALSE(progress.empty());
        EXPECT_TRUE(progress.back().finished);
        EXPECT_EQ(progress.back().progress, 100.0);
        for (size_t i = 0; i + 1 < progress.size(); ++i) {
            EXPECT_FALSE(progress[i].finished);
            EXPECT_GE(progress[i].progress, 0.0);
            EXPECT_LE(progress[i].progress, 1.0);
        }
        const std::vector<std::string> events = recorder->Events(true);
        ASSERT_GE(events.size(), 3u);
        EXPECT_THAT(std::vector<std::string>(events.end() - 3, events.end()),
                    ElementsAre("progress ABC/" + c.type + " finished", "list", "changed ABC/" + c.type));

        recorder->Clear();
        ASSERT_TRUE(manager->LaunchInstaller(key, true));
        Publish(PublishInstaller("ABC", "setup-ABC", c.versionAfter), c.type);
        ASSERT_TRUE(Polled([&] {
            const std::vector<std::string> seen = recorder->Events();
            return !seen.empty() && seen.back().rfind("installed ", 0) == 0;
        }));
        EXPECT_EQ(RecordedArguments("setup-ABC"), "[" + file.string() + "]\n[/SILENT]\n");
        const std::vector<std::string> installEvents = recorder->Events(true);
        ASSERT_GE(installEvents.size(), 4u);
        EXPECT_EQ(installEvents.front(), "changed ABC/" + c.type) << "installer start to install in progress";
        EXPECT_THAT(std::vector<std::string>(installEvents.end() - 3, installEvents.end()),
                    ElementsAre("changed ABC/" + c.type, "list",
                                "installed ABC/" + c.type + (c.success ? " true" : " false")));
        if (c.success) {
            EXPECT_EQ(StatusOf(*manager, key), "up-to-date");
        }

        const std::string name = "Product ABC (" + c.type + "/ABC)";
        const std::vector<std::string> info = ManagerInfo();
        EXPECT_EQ(std::vector<std::string>(info.begin() + firstInfo, info.end()),
                  (std::vector<std::string>{
                      " Getting descriptions for all products",
                      "Stop download for Product ABC (ABC)",
                      " Launch download for " + name,
                      " Getting descriptions for all products",
                      "State for product ABC (" + c.type + ") switch from download in progress to installer available",
                      "Launch installer for Product ABC (ABC)",
                      "State for product ABC (" + c.type + ") switch from installer start to install in progress",
                      "Installation of Product ABC" + file.string() + " complete with status " + c.installStatus,
                      " Getting descriptions for all products",
                  }));
        const std::vector<std::string> notices = log.Messages("update_manager", "notice");
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices.back(), "Install of product '" + c.type + "/ABC' "
                                      + (c.success ? "succeeded" : "failed or was cancelled"));
    }
}

TEST_P(UpdateManagerRoadTest, FilesOfAnEarlierRunAreTakenUp)
{
    StartManager();
    const ProductKey paused{"P", "soft"};
    const ProductKey verified{"V", "soft"};
    Publish(PublishInstaller("P", "setup-P"));
    const ReleaseAnswer release = PublishInstaller("V", "setup-V");
    Publish(release);
    const size_t held = installerBytes.size() / 3;
    downloads.WriteFile("setup-P", installerBytes.substr(0, held));
    downloads.WriteFile("setup-V", installerBytes);
    downloads.WriteFile("setup-V.confirm", "{\"size\": " + release.size + ", \"checksum\": \"" + release.checksum + "\"}");

    manager->RegisterProduct(paused, "0.0");
    manager->RegisterProduct(verified, "0.0");
    EXPECT_EQ(StatusOf(*manager, paused), "download paused");
    EXPECT_EQ(InstallerOf(paused).GetDownloadedSize(), static_cast<int64_t>(held));
    EXPECT_EQ(StatusOf(*manager, verified), "installer available");

    // The partial file is resumed where it stopped.
    server.ClearRequests();
    ASSERT_TRUE(manager->LaunchDownload(paused, false));
    ExpectDownloadedOnce(paused, "setup-P", "bytes=" + std::to_string(held) + "-");

    // The verified one is installed without any download.
    ASSERT_TRUE(manager->LaunchInstaller(verified, false));
    ASSERT_TRUE(Polled([&] { return !RecordedArguments("setup-V").empty(); }));
    EXPECT_EQ(RecordedArguments("setup-V"), "[" + (downloads.Path() / "setup-V").string() + "]\n");
    if (kind == ServerKind::TestServer) {
        EXPECT_TRUE(server.RequestsFor("/files/setup-V").empty());
    }
}

TEST_P(UpdateManagerRoadTest, AForcedLaunchReplacesAnAvailableInstaller)
{
    StartManager();
    const ProductKey key{"F", "soft"};
    const ReleaseAnswer release = PublishInstaller("F", "setup-F");
    Publish(release);
    // Recorded as this release's, though its bytes are not: only a forced launch replaces it.
    const std::string stale(installerBytes.size(), 's');
    downloads.WriteFile("setup-F", stale);
    downloads.WriteFile("setup-F.confirm", "{\"size\": \"" + std::to_string(stale.size()) + "\", \"checksum\": \""
                                               + release.checksum + "\"}");
    manager->RegisterProduct(key, "0.0");
    ASSERT_EQ(StatusOf(*manager, key), "installer available");

    EXPECT_FALSE(manager->LaunchDownload(key, false));
    EXPECT_EQ(ReadFile(downloads.Path() / "setup-F"), stale);

    server.ClearRequests();
    ASSERT_TRUE(manager->LaunchDownload(key, true));
    EXPECT_FALSE(fs::exists(downloads.Path() / "setup-F.confirm")) << "removed with the installer before the download";
    ExpectDownloadedOnce(key, "setup-F", "");
}

TEST_P(UpdateManagerRoadTest, SeveralProductsAndTwoFinishedInstallersTakenOnePerCall)
{
    StartManager();
    const std::vector<ProductKey> keys{{"A", "soft"}, {"B", "soft"}, {"C", "firmware"}};
    for (const ProductKey& key : keys) {
        Publish(PublishInstaller(key.first, "setup-" + key.first), key.second);
        manager->RegisterProduct(key, "0.0");
        EXPECT_EQ(StatusOf(*manager, key), "update needed");
    }
    manager->LaunchDownloads();
    for (const ProductKey& key : keys)
        EXPECT_EQ(StatusOf(*manager, key), "download in progress") << key.first;
    ASSERT_TRUE(Polled([&] {
        return std::all_of(keys.begin(), keys.end(), [&](const ProductKey& key) {
            return InstallerOf(key).GetStatus() == ProductStatus::InstallerAvailable;
        });
    }));
    for (const ProductKey& key : keys)
        EXPECT_EQ(ReadFile(downloads.Path() / ("setup-" + key.first)), installerBytes) << key.first;

    ASSERT_TRUE(manager->LaunchInstaller(keys[1], true));
    ASSERT_TRUE(manager->LaunchInstaller(keys[0], true));
    // Queued in key order by the next poll; both run before either is collected.
    ASSERT_TRUE(WaitUntil([&] {
        manager->UpdateStates();
        return InstallerOf(keys[0]).GetStatus() == ProductStatus::InstallComplete
            && InstallerOf(keys[1]).GetStatus() == ProductStatus::InstallComplete;
    }));
    // Handed back right after their status is set: both wait before the first call.
    ASSERT_TRUE(WaitUntil([] { return CSingleton<InstallThread>::GetInstance()->HasFinished(); }));
    recorder->Clear();
    const auto installed = [&] {
        std::vector<std::string> seen;
        for (const std::string& event : recorder->Events()) {
            if (event.rfind("installed ", 0) == 0)
                seen.push_back(event);
        }
        return seen;
    };
    std::vector<size_t> takenPerCall;
    ASSERT_TRUE(WaitUntil([&] {
        const size_t before = installed().size();
        manager->CheckInstallFinished();
        takenPerCall.push_back(installed().size() - before);
        return installed().size() >= 2;
    }));
    EXPECT_THAT(installed(), ElementsAre("installed A/soft false", "installed B/soft false"));
    EXPECT_EQ(*std::max_element(takenPerCall.begin(), takenPerCall.end()), 1u);
    EXPECT_EQ(RecordedArguments("setup-A"), "[" + (downloads.Path() / "setup-A").string() + "]\n[/SILENT]\n");
    EXPECT_EQ(RecordedArguments("setup-B"), "[" + (downloads.Path() / "setup-B").string() + "]\n[/SILENT]\n");
    manager->CheckInstallFinished();
    EXPECT_EQ(installed().size(), 2u);
    EXPECT_EQ(StatusOf(*manager, keys[2]), "installer available");
}

TEST_P(UpdateManagerRoadTest, AFinishedInstallBelongsToTheProductThatRanIt)
{
    StartManager();
    // Two links that end in the same file name: the second record gets a file of its own.
    ReleaseAnswer first = PublishInstaller("A", "a/same");
    ReleaseAnswer second = PublishInstaller("B", "a/same");
    Publish(first);
    Publish(second);
    manager->RegisterProduct({"A", "soft"}, "0.0");
    manager->RegisterProduct({"B", "soft"}, "0.0");
    ASSERT_EQ(InstallerOf({"A", "soft"}).GetInstallerFile(), downloads.Path() / "same");
    ASSERT_EQ(InstallerOf({"B", "soft"}).GetInstallerFile(), downloads.Path() / "soft-B-same");

    ASSERT_TRUE(manager->LaunchDownload({"B", "soft"}, true));
    ASSERT_TRUE(Polled([&] { return StatusOf(*manager, {"B", "soft"}) == "installer available"; }));
    ASSERT_TRUE(manager->LaunchInstaller({"B", "soft"}, true));
    recorder->Clear();
    ASSERT_TRUE(Polled([&] {
        const std::vector<std::string> seen = recorder->Events();
        return !seen.empty() && seen.back().rfind("installed ", 0) == 0;
    }));
    EXPECT_EQ(recorder->Events().back(), "installed B/soft false");
    const std::vector<std::string> info = ManagerInfo();
    EXPECT_TRUE(std::find(info.begin(), info.end(),
                          "Installation of Product B" + (downloads.Path() / "soft-B-same").string()
                              + " complete with status install complete")
                != info.end());
}

class UpdateManagerTestServerRoadTest : public RoadFixture, public ::testing::Test
{
protected:
    UpdateManagerTestServerRoadTest() : RoadFixture(ServerKind::TestServer) {}
    void SetUp() override { ASSERT_TRUE(StartServer()); }
};

TEST_F(UpdateManagerTestServerRoadTest, ACleanWhileDownloadingPausesThenNeedsTheUpdate)
{
    StartManager();
    const ProductKey key{"S", "soft"};
    const ReleaseAnswer release = PublishInstaller("S", "slow");
    Publish(release);
    // The answer stalls halfway, so the download is surely running when the clean comes.
    HttpTestFileOptions stall;
    stall.adjust = [](HttpTestAnswer& answer, size_t) {
        answer.stallAfterBytes = 20000;
        answer.stallFor = std::chrono::milliseconds(1500);
    };
    server.ServeFile("/files/slow", installerBytes, stall);
    manager->RegisterProduct(key, "0.0");
    ASSERT_TRUE(manager->LaunchDownload(key, true));
    ASSERT_TRUE(WaitUntil([&] {
        return manager->IsDownloading(key) && fs::exists(downloads.Path() / "slow")
            && fs::file_size(downloads.Path() / "slow") > 0;
    }));

    recorder->Clear();
    EXPECT_TRUE(manager->CleanDownload(key));
    EXPECT_FALSE(fs::exists(downloads.Path() / "slow"));
    EXPECT_EQ(StatusOf(*manager, key), "download in progress");
    manager->UpdateStates();
    EXPECT_EQ(StatusOf(*manager, key), "download paused");
    manager->UpdateStates();
    EXPECT_EQ(StatusOf(*manager, key), "update needed");
    EXPECT_THAT(recorder->Events(), ElementsAre("changed S/soft", "changed S/soft"));
    const std::vector<std::string> info = ManagerInfo();
    ASSERT_GE(info.size(), 2u);
    EXPECT_EQ(info[info.size() - 2], "State for product S (soft) switch from download in progress to download paused");
    EXPECT_EQ(info.back(), "State for product S (soft) switch from download paused to update needed");
}

} // namespace
