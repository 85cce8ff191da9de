#include "UpdateManager/UpdateManager.h"

#include "UpdateManager/InstallThread.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/Md5Hex.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateManagerProbe.h"
#include "tests/support/WaitUntil.h"

#include <boost/filesystem.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace fs = boost::filesystem;
using namespace Kelvora::UpdateManager;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::string ConfirmJson(const std::string& size, const std::string& checksum)
{
    return "{\n    \"size\": \"" + size + "\",\n    \"checksum\": \"" + checksum + "\"\n}\n";
}

class UpdateManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager = MakeManager(server.Url());
        recorder = std::make_unique<UpdateEventRecorder>(*manager);
        server.ServeFile("/files/setup.exe", installerBytes);
    }

    void TearDown() override
    {
        recorder.reset();
        manager.reset();
    }

    std::unique_ptr<UpdateManager> MakeManager(const std::string& serverUrl) const
    {
        auto made = std::make_unique<UpdateManager>("", serverUrl, platformWindows);
        EXPECT_TRUE(made->SetDownloadDir(downloads.String()));
        return made;
    }

    ReleaseAnswer Release(const std::string& sku = "ABC", const std::string& file = "setup.exe") const
    {
        ReleaseAnswer release;
        release.sku = sku;
        release.permalink = server.Url("/files/" + file);
        release.size = std::to_string(installerBytes.size());
        release.checksum = Md5Hex(installerBytes);
        return release;
    }

    void Publish(const ReleaseAnswer& release, const std::string& type = "soft")
    {
        server.SetAnswer(ResourcesPath(release.sku, type), HttpTestAnswer::Json(release.Json()));
    }

    // Registers `key` against a published release and polls its forced download to its end.
    std::string DownloadToTheEnd(const ProductKey& productKey)
    {
        EXPECT_TRUE(manager->LaunchDownload(productKey, true));
        EXPECT_TRUE(PollUntil(*manager, [&] {
            return manager->GetProduct(productKey).installer.GetStatus() != ProductStatus::DownloadInProgress;
        }));
        return StatusOf(*manager, productKey);
    }

    // The manager's own error lines; the scanner's complaint about the empty definition path
    // (the update window passes none) is not one of them.
    std::vector<std::string> ManagerErrors() const
    {
        std::vector<std::string> errors = log.Messages("update_manager", "error");
        errors.erase(std::remove_if(errors.begin(), errors.end(),
                                    [](const std::string& message) {
                                        return message.rfind(" Caught exception while parsing json file ", 0) == 0;
                                    }),
                     errors.end());
        return errors;
    }

    bool HasMessage(const std::string& level, const std::string& message) const
    {
        const std::vector<std::string> messages = log.Messages("update_manager", level);
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    // First: no other thread logs while the categories are set and cleared.
    LogCapture log{{"update_manager", "web"}};
    TempDir downloads;
    HttpTestServer server;
    const std::string installerBytes = std::string(20000, 'i') + "end";
    const ProductKey key{"ABC", "soft"};
    std::unique_ptr<UpdateManager> manager;
    std::unique_ptr<UpdateEventRecorder> recorder;
};

TEST_F(UpdateManagerTest, TheInstallerFileIsAPlainFileOfTheDownloadFolder)
{
    EXPECT_EQ(manager->GetInstallerFilePath("http://h/files/setup.exe"), downloads.Path() / "setup.exe");
    EXPECT_EQ(manager->GetInstallerFilePath("http://h/files/"), fs::path());
    ASSERT_TRUE(manager->SetDownloadDir(""));
    EXPECT_EQ(manager->GetInstallerFilePath("http://h/setup.exe"), fs::path("setup.exe"));
    EXPECT_EQ(manager->GetInstallerFilePath("http://h/"), fs::path());
}

// A link whose last segment names the folder, its parent or a path of its own must never lead
// to the download folder (or anything beside it) being written or removed.
TEST_F(UpdateManagerTest, ALinkWithoutAnInstallerFileGivesNoDownloadAndTouchesNothing)
{
    const fs::path folder = downloads.Path() / "Downloads";
    fs::create_directory(folder);
    const fs::path keep = folder / "keep.txt";
    std::ofstream(keep.string()) << "mine";
    ASSERT_TRUE(manager->SetDownloadDir(folder.string()));

    for (const std::string last : {"", ".", "..", "..\\setup.exe"}) {
        SCOPED_TRACE("last segment '" + last + "'");
        const ProductKey product{"L" + std::to_string(last.size()), "soft"};
        ReleaseAnswer release = Release(product.first);
        release.permalink = server.Url("/files/") + last;
        Publish(release);
        server.ClearRequests();

        manager->RegisterProduct(product, "0.0");
        EXPECT_EQ(StatusOf(*manager, product), "unknown");
        EXPECT_EQ(manager->GetProduct(product).installer.GetInstallerFile(), fs::path());
        EXPECT_FALSE(manager->LaunchDownload(product, true));
        EXPECT_FALSE(manager->LaunchDownload(product, false));
        EXPECT_TRUE(manager->CleanDownload(product));
        manager->UpdateStates();
        EXPECT_EQ(StatusOf(*manager, product), "unknown");
        EXPECT_TRUE(HasMessage("error", " Could not launch download for Kelvora Studio (soft/" + product.first
                                            + "): its download link names no installer file"));

        EXPECT_EQ(server.Requests().size(), 1u) << "only the resources request";
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_EQ(Entries(folder), std::set<std::string>{"keep.txt"});
        EXPECT_EQ(Entries(downloads.Path()), std::set<std::string>{"Downloads"});
        EXPECT_EQ(ReadFile(keep), "mine");
        EXPECT_FALSE(fs::exists(".confirm"));
    }
}

TEST_F(UpdateManagerTest, AnEncodedSeparatorInTheFileNameStaysInsideTheDownloadFolder)
{
    const fs::path folder = downloads.Path() / "Downloads";
    fs::create_directory(folder);
    ASSERT_TRUE(manager->SetDownloadDir(folder.string()));
    // The HTTP client decodes the path it sends; the file name is the link's text as it stands.
    server.ServeFile("/files/../../setup.exe", installerBytes);
    ReleaseAnswer release = Release();
    release.permalink = server.Url("/files/..%2f..%2fsetup.exe");
    Publish(release);

    manager->RegisterProduct(key, "0.0");
    EXPECT_EQ(StatusOf(*manager, key), "update needed");
    EXPECT_EQ(DownloadToTheEnd(key), "installer available");
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"..%2f..%2fsetup.exe", "..%2f..%2fsetup.exe.confirm"}));
    EXPECT_EQ(Entries(downloads.Path()), std::set<std::string>{"Downloads"});
    EXPECT_EQ(ReadFile(folder / "..%2f..%2fsetup.exe"), installerBytes);
}

// One rule for both names of a record, whatever the operation: anything but nothing or a regular
// file there gives "error" with one error line, and nothing is downloaded, run, made executable
// or removed through it.
TEST_F(UpdateManagerTest, PathsThatCannotBeUsedGiveAnErrorAndAreLeftAlone)
{
    TempDir elsewhere;
    const fs::path program = elsewhere.Path() / "program";
    fs::copy_file(TestProgramPath("print_args"), program);
    fs::permissions(program, fs::owner_read | fs::owner_write);
    const std::string programBytes = ReadFile(program);
    const std::string longName(250, 'n'); // fits; its ".confirm" name does not

    const struct {
        const char* name;
        std::string file; // the release's file name; every case has a name of its own
        std::function<void(const fs::path& installer)> make;
        fs::path unusable; // relative to the download folder
    } cases[] = {
        {"folder with files at the installer's name", "folder.exe",
         [](const fs::path& at) {
             fs::create_directory(at);
             std::ofstream((at / "inside").string()) << "x";
         },
         "folder.exe"},
        {"folder with files at the confirm name", "confirm.exe",
         [&](const fs::path& at) {
             std::ofstream(at.string()) << installerBytes.substr(0, 100);
             fs::create_directory(at.string() + ".confirm");
             std::ofstream(at.string() + ".confirm/inside") << "x";
         },
         "confirm.exe.confirm"},
        {"FIFO at the installer's name", "fifo.exe", [](const fs::path& at) { ::mkfifo(at.c_str(), 0600); },
         "fifo.exe"},
        {"link to a program with a matching confirm file", "link.exe",
         [&](const fs::path& at) {
             fs::create_symlink(program, at);
             std::ofstream(at.string() + ".confirm")
                 << ConfirmJson(std::to_string(programBytes.size()), Md5Hex(installerBytes));
         },
         "link.exe"},
        {"link without a confirm file", "bare-link.exe", [&](const fs::path& at) { fs::create_symlink(program, at); },
         "bare-link.exe"},
        {"confirm name too long", longName, [&](const fs::path& at) { std::ofstream(at.string()) << "partial"; },
         longName + ".confirm"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProductKey product{"U" + std::to_string(index++), "soft"};
        const fs::path folder = downloads.Path();
        server.ServeFile("/files/" + c.file, installerBytes);
        Publish(Release(product.first, c.file));
        c.make(folder / c.file);
        boost::system::error_code ignored;
        const fs::file_type made = fs::symlink_status(folder / c.unusable, ignored).type();
        const bool regularInstaller = fs::symlink_status(folder / c.file, ignored).type() == fs::regular_file;
        const std::string installerBefore = regularInstaller ? ReadFile(folder / c.file) : "";
        const std::string quoted = "\"" + (folder / c.unusable).string() + "\"";
        const size_t errorsBefore = ManagerErrors().size();

        manager->RegisterProduct(product, "0.0");
        EXPECT_EQ(StatusOf(*manager, product), "error");
        EXPECT_EQ(ManagerErrors().size(), errorsBefore + 1);
        EXPECT_TRUE(HasMessage("error", quoted + " cannot be used: not a regular file")
                    || HasMessage("error", quoted + " cannot be used: File name too long"));

        server.ClearRequests();
        EXPECT_FALSE(manager->LaunchInstaller(product, true));
        EXPECT_FALSE(manager->LaunchDownload(product, false));
        EXPECT_FALSE(manager->LaunchDownload(product, true));
        EXPECT_FALSE(manager->CleanDownload(product));
        for (int poll = 0; poll < 3; ++poll) {
            manager->UpdateStates();
            manager->CheckInstallFinished();
        }
        EXPECT_EQ(StatusOf(*manager, product), "error");
        EXPECT_TRUE(server.Requests().empty());
        EXPECT_EQ(fs::symlink_status(folder / c.unusable, ignored).type(), made) << "left as it was";
        if (regularInstaller) {
            EXPECT_EQ(ReadFile(folder / c.file), installerBefore) << "never removed or written";
        }
    }
    EXPECT_EQ(ReadFile(program), programBytes);
    EXPECT_FALSE(fs::exists(program.string() + ".args")) << "the link's target ran";
    EXPECT_EQ(fs::status(program).permissions() & fs::owner_exe, 0) << "made executable through the link";
}

TEST_F(UpdateManagerTest, RegistrationTakesItsStatusFromVersionsFilesAndPlatform)
{
    const std::string none = "-";
    const std::string release = "release";
    const std::string checksum = Md5Hex(installerBytes); // the digest every release here gives
    const struct {
        const char* name;
        std::string answer; // "release": the standard one; "-": none (404); else the answer's text
        std::function<void(ReleaseAnswer&)> adjust;
        std::string local;
        std::string installer; // content of the installer file; "-": none
        std::string confirm;   // content of its ".confirm" file; "-": none
        std::string status;
        int64_t resumeOffset;
        bool confirmKept;
        std::string level; // a line that must be logged: level and message ("%" stands for the SKU)
        std::string message;
    } cases[] = {
        {"newer release", release, nullptr, "0.0", none, none, "update needed", 0, false, "", ""},
        {"same version", release, nullptr, "2.0", none, none, "up-to-date", 0, false, "", ""},
        {"newer local version", release, nullptr, "2.1", "12345", none, "up-to-date", 0, false, "", ""},
        {"partial file", release, nullptr, "0.0", "12345", none, "download paused", 5, false, "", ""},
        {"verified file", release, nullptr, "0.0", "12345", ConfirmJson("5", checksum), "installer available", 0, true,
         "", ""},
        {"verified file of another release", release, nullptr, "0.0", "12345", ConfirmJson("5", "0123"),
         "update needed", 0, true, "", ""},
        {"confirm of another size", release, nullptr, "0.0", "12345", ConfirmJson("9", checksum), "download paused", 5,
         false, "", ""},
        {"confirm without installer", release, nullptr, "0.0", none, ConfirmJson("5", checksum), "update needed", 0,
         true, "", ""},
        {"unsupported platform", release, [](ReleaseAnswer& r) { r.platformMin = "99.0"; }, "0.0", none, none,
         "latest update doesn't support this OS", 0, false, "", ""},
        {"unsupported platform, verified file", release, [](ReleaseAnswer& r) { r.platformMin = "99.0"; }, "0.0",
         "12345", ConfirmJson("5", checksum), "installer available", 0, true, "", ""},
        {"no release (404)", none, nullptr, "0.0", none, none, "unknown", 0, false, "error",
         " Could not get product information for %: invalid response (no response or invalid json format"},
        {"answer not JSON", "<html>", nullptr, "0.0", none, none, "unknown", 0, false, "error",
         " Could not get product information for %: invalid response (no response or invalid json format"},
        {"empty resources", R"({"total": 0, "resources": []})", nullptr, "0.0", none, none, "unknown", 0, false,
         "warning", " Could not get product information for %: invalid resource data"},
        {"description of another product", release, [](ReleaseAnswer& r) { r.sku = "OTHER"; }, "0.0", none, none,
         "unknown", 0, false, "warning", " Could not get product information for %: invalid description data"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProductKey product{"R" + std::to_string(index++), "soft"};
        const std::string file = product.first + ".exe";
        ReleaseAnswer answer = Release(product.first, file);
        if (c.adjust)
            c.adjust(answer);
        if (c.answer == release)
            server.SetAnswer(ResourcesPath(product.first), HttpTestAnswer::Json(answer.Json()));
        else if (c.answer != none)
            server.SetAnswer(ResourcesPath(product.first), HttpTestAnswer::Json(c.answer));
        if (c.installer != none)
            downloads.WriteFile(file, c.installer);
        if (c.confirm != none)
            downloads.WriteFile(file + ".confirm", c.confirm);

        manager->RegisterProduct(product, c.local);
        const ProductData& record = manager->GetProduct(product);
        EXPECT_EQ(StatusOf(*manager, product), c.status);
        EXPECT_EQ(record.installer.GetDownloadedSize(), c.resumeOffset);
        EXPECT_EQ(record.description.sku, product.first);
        EXPECT_EQ(record.description.type, "soft");
        EXPECT_EQ(record.description.localVersion, c.local);
        EXPECT_EQ(fs::exists(downloads.Path() / (file + ".confirm")), c.confirmKept);
        if (c.installer != none) {
            EXPECT_EQ(ReadFile(downloads.Path() / file), c.installer) << "the installer file is never removed here";
        }
        if (!c.level.empty()) {
            std::string message = c.message;
            message.replace(message.find('%'), 1, product.first);
            EXPECT_TRUE(HasMessage(c.level, message)) << message;
        }
        // A poll moves none of these.
        recorder->Clear();
        manager->UpdateStates();
        EXPECT_EQ(StatusOf(*manager, product), c.status);
        EXPECT_TRUE(recorder->Events(true).empty());
    }
}

TEST_F(UpdateManagerTest, AFirstRegistrationAnnouncesTheRecordThenTheListAndARepeatedOneOnlyTheList)
{
    Publish(Release());
    manager->RegisterProduct(key, "0.0");
    EXPECT_THAT(recorder->Events(), ElementsAre("changed ABC/soft", "list"));
    EXPECT_EQ(manager->GetProduct(key).installer.GetInstallerFile(), downloads.Path() / "setup.exe");

    // The second answer moves the link: the record keeps its place and is re-pointed.
    recorder->Clear();
    Publish(Release("ABC", "setup-2.exe"));
    ProductData* const first = &manager->GetProduct(key);
    manager->RegisterProduct("ABC", "soft", "0.0");
    EXPECT_THAT(recorder->Events(), ElementsAre("list"));
    EXPECT_EQ(&manager->GetProduct(key), first);
    EXPECT_EQ(manager->GetProducts().size(), 1u);
    EXPECT_EQ(first->installer.GetUrl(), server.Url("/files/setup-2.exe"));
    EXPECT_EQ(first->installer.GetInstallerFile(), downloads.Path() / "setup-2.exe");
    EXPECT_EQ(StatusOf(*manager, key), "update needed");
}

TEST_F(UpdateManagerTest, AnUnreachableServerIsAskedOncePerCall)
{
    ClosedPort closed;
    recorder.reset();
    manager.reset();
    manager = MakeManager("http://127.0.0.1:" + std::to_string(closed.Number()));
    recorder = std::make_unique<UpdateEventRecorder>(*manager);
    const auto connectionErrors = [&] {
        const std::vector<std::string> lines = log.Messages("web", "error");
        return std::count_if(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.rfind("Error connecting to ", 0) == 0; });
    };

    manager->ProcessProductInfo({{{"A", "soft"}, "1.0"}, {{"B", "soft"}, "2.0"}, {{"C", "firmware"}, "3.0"}});
    EXPECT_EQ(connectionErrors(), 1);
    EXPECT_EQ(ManagerErrors(), std::vector<std::string>{" Could not connect to resources server."});
    for (const auto& entry : std::vector<std::pair<ProductKey, std::string>>{
             {{"A", "soft"}, "1.0"}, {{"B", "soft"}, "2.0"}, {{"C", "firmware"}, "3.0"}}) {
        const ProductDescription& description = manager->GetProduct(entry.first).description;
        EXPECT_EQ(description.sku, entry.first.first);
        EXPECT_EQ(description.type, entry.first.second);
        EXPECT_EQ(description.localVersion, entry.second);
        EXPECT_EQ(description.url, "");
        EXPECT_FALSE(manager->GetProduct(entry.first).installer.IsInitialized());
    }
    EXPECT_TRUE(recorder->Events().empty()) << "no status is computed";

    manager->RegisterProduct({"D", "soft"}, "0.0");
    EXPECT_EQ(connectionErrors(), 2) << "the next call asks again";
    EXPECT_EQ(StatusOf(*manager, {"D", "soft"}), "unknown");
    EXPECT_EQ(manager->GetProduct({"D", "soft"}).installer.GetInstallerFile(), fs::path());
    EXPECT_THAT(recorder->Events(), ElementsAre("changed D/soft", "list"));
}

TEST_F(UpdateManagerTest, ARequestUrlThatCannotBeParsedFailsOnlyItsOwnProduct)
{
    Publish(Release("B"));
    manager->ProcessProductInfo({{{"A%zz", "soft"}, "0.0"}, {{"B", "soft"}, "0.0"}});
    EXPECT_EQ(manager->GetProduct({"B", "soft"}).description.name, "Kelvora Studio");
    EXPECT_TRUE(HasMessage("error", " Could not get product information for A%zz: Bad URI syntax: URI encoding: "
                                    "not a hex digit"));

    recorder.reset();
    manager.reset();
    manager = MakeManager("http://127.0.0.1:notaport");
    manager->ProcessProductInfo({{{"A", "soft"}, "0.0"}, {{"B", "soft"}, "0.0"}});
    manager->RegisterProduct({"C", "soft"}, "0.0");
    for (const char* sku : {"A", "B", "C"}) {
        EXPECT_TRUE(HasMessage("error", std::string(" Could not get product information for ") + sku
                                            + ": Bad URI syntax: bad or invalid port number: notaport"))
            << sku;
    }
    EXPECT_EQ(StatusOf(*manager, {"C", "soft"}), "unknown");
}

TEST_F(UpdateManagerTest, WithoutServerQueriesARecordKeepsItsDescription)
{
    Publish(Release());
    manager->SetQueryServer(false);
    manager->RegisterProduct(key, "0.0");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(StatusOf(*manager, key), "unknown");
    EXPECT_THAT(recorder->Events(), ElementsAre("changed ABC/soft", "list"));

    manager->SetQueryServer(true);
    manager->RegisterProduct(key, "0.0");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(StatusOf(*manager, key), "update needed");

    manager->SetQueryServer(false);
    manager->RegisterProduct(key, "2.0");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(manager->GetProduct(key).description.latestVersion, "2.0");
    EXPECT_EQ(manager->GetProduct(key).description.localVersion, "2.0");
    EXPECT_EQ(StatusOf(*manager, key), "up-to-date");
}

TEST_F(UpdateManagerTest, TheDownloadFolderChangesOnlyWhileNoProductIsBusy)
{
    Publish(Release("A", "a.exe"));
    Publish(Release("B", "b.exe"));
    server.ServeFile("/files/a.exe", installerBytes);
    downloads.WriteFile("b.exe", "partial");
    manager->RegisterProduct({"A", "soft"}, "0.0");
    manager->RegisterProduct({"B", "soft"}, "0.0");
    ASSERT_EQ(StatusOf(*manager, {"B", "soft"}), "download paused");

    recorder->Clear();
    EXPECT_TRUE(manager->SetDownloadDir(downloads.String()));
    EXPECT_TRUE(recorder->Events().empty()) << "the same folder refreshes nothing";

    const fs::path other = downloads.Path() / "other";
    for (ProductStatus busy :
         {ProductStatus::DownloadInProgress, ProductStatus::InstallerStart, ProductStatus::InstallInProgress}) {
        manager->GetProduct({"A", "soft"}).installer.SetStatus(busy);
        EXPECT_FALSE(manager->SetDownloadDir(other.string())) << ProductStatusToString(busy);
        EXPECT_EQ(manager->GetInstallerFilePath("x.exe"), downloads.Path() / "x.exe");
    }
    manager->GetProduct({"A", "soft"}).installer.SetStatus(ProductStatus::UpdateNeeded);

    EXPECT_TRUE(manager->SetDownloadDir(other.string()));
    EXPECT_THAT(recorder->Events(), ElementsAre("list"));
    EXPECT_EQ(manager->GetProduct({"A", "soft"}).installer.GetInstallerFile(), other / "a.exe");
    EXPECT_EQ(manager->GetProduct({"B", "soft"}).installer.GetInstallerFile(), downloads.Path() / "b.exe")
        << "a paused download keeps its file";

    EXPECT_EQ(DownloadToTheEnd({"A", "soft"}), "installer available");
    EXPECT_EQ(ReadFile(other / "a.exe"), installerBytes) << "the missing folder was created";
}

TEST_F(UpdateManagerTest, ALaunchCreatesOneMissingFolderLevelOnly)
{
    Publish(Release());
    manager->RegisterProduct(key, "0.0");
    const fs::path deep = downloads.Path() / "a" / "b";
    ASSERT_TRUE(manager->SetDownloadDir(deep.string()));
    EXPECT_EQ(DownloadToTheEnd(key), "download error");
    EXPECT_FALSE(fs::exists(downloads.Path() / "a"));

    // A folder whose state cannot even be read: neither can its installer's.
    const fs::path tooLong = downloads.Path() / std::string(300, 'x');
    ASSERT_TRUE(manager->SetDownloadDir(tooLong.string()));
    EXPECT_FALSE(manager->LaunchDownload(key, true));
    EXPECT_TRUE(HasMessage("error", " Could not launch download for Kelvora Studio (soft/ABC): \""
                                        + (tooLong / "setup.exe").string() + "\" cannot be used: File name too long"));
    EXPECT_EQ(StatusOf(*manager, key), "error");
}

TEST_F(UpdateManagerTest, RefreshProductReadsTheLocalVersionAgain)
{
    Publish(Release());
    Publish(Release("F"), "firmware");
    manager->RegisterProduct(key, "1.0");
    manager->RefreshProduct(key);
    EXPECT_EQ(manager->GetProduct(key).description.localVersion, "not_installed") << "the scanner has no rules";

    manager->RegisterProduct({"F", "firmware"}, "1.0");
    manager->RefreshProduct("F", "firmware");
    EXPECT_EQ(manager->GetProduct({"F", "firmware"}).description.localVersion, "1.0");

    recorder->Clear();
    server.ClearRequests();
    manager->RefreshProduct({"NEW", "firmware"});
    EXPECT_TRUE(recorder->Events().empty());
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_THROW(manager->GetProduct({"NEW", "firmware"}), std::out_of_range);

    manager->RefreshProduct({"NEW", "soft"});
    EXPECT_EQ(manager->GetProduct({"NEW", "soft"}).description.localVersion, "not_installed");
    EXPECT_THAT(recorder->Events(), ElementsAre("changed NEW/soft", "list"));
}

TEST_F(UpdateManagerTest, UnknownKeysAndRefusedLaunchesAreLoggedAndChangeNothing)
{
    const ProductKey unknown{"NONE", "soft"};
    EXPECT_FALSE(manager->LaunchDownload(unknown, true));
    EXPECT_FALSE(manager->LaunchInstaller(unknown, true));
    EXPECT_FALSE(manager->StopDownload(unknown, true));
    EXPECT_FALSE(manager->CleanDownload("NONE", "soft"));
    EXPECT_FALSE(manager->IsDownloading("NONE", "soft"));
    EXPECT_THROW(manager->GetProduct(unknown), std::out_of_range);
    EXPECT_EQ(ManagerErrors(),
              (std::vector<std::string>{"Could not find product info for NONE while launching download",
                                        "Could not find product info for NONE while stopping download",
                                        "Could not find product info for NONE while stopping download"}));
    EXPECT_EQ(log.Messages("update_manager", "warning"),
              std::vector<std::string>{"Could not find product info for NONE while launching install"});

    Publish(Release());
    downloads.WriteFile("setup.exe", installerBytes);
    downloads.WriteFile("setup.exe.confirm", ConfirmJson(std::to_string(installerBytes.size()), Md5Hex(installerBytes)));
    manager->RegisterProduct(key, "0.0");
    ASSERT_EQ(StatusOf(*manager, key), "installer available");
    EXPECT_FALSE(manager->LaunchDownload(key, false));
    EXPECT_TRUE(HasMessage("warning", " Attempt to launch download for Kelvora Studio (soft/ABC) but status is "
                                      "installer available"));
    EXPECT_FALSE(manager->IsDownloading(key));

    EXPECT_TRUE(manager->LaunchInstaller(key, true));
    EXPECT_TRUE(HasMessage("info", "Launch installer for Kelvora Studio (ABC)"));
    EXPECT_EQ(StatusOf(*manager, key), "installer start");
    EXPECT_FALSE(manager->LaunchInstaller(key, true));
    EXPECT_TRUE(HasMessage("warning", "Attempt to launch installer for Kelvora Studio (ABC) but installer is not "
                                      "available."));

    // A refresh before the next poll finds the verified installer again, so nothing is queued.
    manager->RefreshProduct(key);
    EXPECT_EQ(StatusOf(*manager, key), "installer available");
    EXPECT_TRUE(manager->StopDownload(key, false));
    EXPECT_TRUE(HasMessage("info", "Stop download for Kelvora Studio (ABC)"));
    EXPECT_EQ(StatusOf(*manager, key), "installer available");
}

TEST_F(UpdateManagerTest, AConfirmFileThatCannotBeWrittenIsADownloadError)
{
    Publish(Release());
    manager->RegisterProduct(key, "0.0");
    recorder->Clear();

    // The name is taken after the launch's checks, while the download runs.
    ASSERT_TRUE(manager->LaunchDownload(key, true));
    const fs::path confirm = downloads.Path() / "setup.exe.confirm";
    fs::create_directory(confirm);
    EXPECT_TRUE(PollUntil(*manager, [&] { return StatusOf(*manager, key) != "download in progress"; }));
    EXPECT_EQ(StatusOf(*manager, key), "download error");
    EXPECT_TRUE(HasMessage("error", "Could not record the verified download of Kelvora Studio (soft/ABC): \""
                                        + confirm.string() + "\" cannot be used: not a regular file"));
    EXPECT_TRUE(HasMessage("info", "State for product ABC (soft) switch from download in progress to download error"));
    EXPECT_THAT(recorder->Events(), ElementsAre("changed ABC/soft"));
    EXPECT_TRUE(std::none_of(recorder->Progress().begin(), recorder->Progress().end(),
                             [](const DownloadProgressEvent& event) { return event.finished; }));
    EXPECT_TRUE(fs::is_directory(confirm));
    manager->UpdateStates();
    EXPECT_EQ(StatusOf(*manager, key), "download error");

    // Once the obstacle is gone, a launch from "download error" cleans and downloads again.
    fs::remove(confirm);
    EXPECT_TRUE(manager->LaunchDownload(key, false));
    EXPECT_TRUE(PollUntil(*manager, [&] { return StatusOf(*manager, key) != "download in progress"; }));
    EXPECT_EQ(StatusOf(*manager, key), "installer available");
}

TEST_F(UpdateManagerTest, ALaunchAfterADownloadErrorStartsAfresh)
{
    Publish(Release());
    manager->RegisterProduct(key, "0.0");
    const std::string corrupt(installerBytes.size(), 'c');
    server.ServeFile("/files/setup.exe", corrupt);
    ASSERT_EQ(DownloadToTheEnd(key), "download error");
    ASSERT_EQ(ReadFile(downloads.Path() / "setup.exe"), corrupt);

    server.ServeFile("/files/setup.exe", installerBytes);
    server.ClearRequests();
    ASSERT_TRUE(manager->LaunchDownload(key, false));
    EXPECT_TRUE(PollUntil(*manager, [&] { return StatusOf(*manager, key) != "download in progress"; }));
    EXPECT_EQ(StatusOf(*manager, key), "installer available");
    EXPECT_EQ(ReadFile(downloads.Path() / "setup.exe"), installerBytes);
    const std::vector<RecordedRequest> requests = server.RequestsFor("/files/setup.exe");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].range, "") << "the file that failed its checks is not resumed";
}

TEST_F(UpdateManagerTest, DumpProductsListsEveryRecord)
{
    Publish(Release());
    manager->RegisterProduct(key, "0.0");
    const std::string expected = "Data for Kelvora Studio:\n  URL:            " + server.Url("/files/setup.exe")
        + "\n  SKU:            ABC\n  Type:           soft\n  Local version:  0.0\n  Latest Version: 2.0"
          "\n  Installer File: "
        + (downloads.Path() / "setup.exe").string() + "\n  Status:         update needed";
    const std::vector<std::string> debug = log.Messages("update_manager", "debug");
    ASSERT_GE(debug.size(), 2u);
    EXPECT_EQ(debug[debug.size() - 2], "  Local computed data:");
    EXPECT_EQ(debug.back(), expected);
}

TEST_F(UpdateManagerTest, ConstructionTakesTheDownloadsFolderAndLogsBothEnds)
{
    recorder.reset();
    manager.reset();
    TempDir home;
    ScopedEnvironment environment;
    environment.Set("HOME", home.String());
    environment.Set("XDG_CONFIG_HOME", (home.Path() / "none").string());
    {
        UpdateManager made("", server.Url(), platformWindows);
        EXPECT_EQ(made.GetInstallerFilePath("http://h/setup.exe"), home.Path() / "Downloads" / "setup.exe");
    }
    environment.Unset("HOME");
    {
        UpdateManager made("", server.Url(), platformWindows);
        EXPECT_EQ(made.GetInstallerFilePath("http://h/setup.exe"), fs::path("setup.exe"));
    }
    const std::vector<std::string> info = log.Messages("update_manager", "info");
    EXPECT_EQ(std::count(info.begin(), info.end(), " Initialize UpdateManager"), 3);
    EXPECT_EQ(std::count(info.begin(), info.end(), " Terminate UpdateManager"), 3) << "with the fixture's";
}

TEST_F(UpdateManagerTest, APollAnnouncesAFinishedInstallUntilAListenerMovesIt)
{
    Publish(Release());
    manager->RegisterProduct(key, "0.0");
    recorder->Clear();
    Installer& installer = manager->GetProduct(key).installer;
    installer.SetStatus(ProductStatus::InstallComplete);

    manager->UpdateStates();
    manager->UpdateStates();
    EXPECT_THAT(recorder->Events(), ElementsAre("changed ABC/soft", "changed ABC/soft"));

    // Like the update window: the listener cleans up, which recomputes the status.
    recorder->Clear();
    recorder->onChanged = [&](const ProductChangedEvent&) {
        if (installer.GetStatus() == ProductStatus::InstallComplete)
            manager->CleanDownload(key);
    };
    manager->UpdateStates();
    EXPECT_THAT(recorder->Events(), ElementsAre("changed ABC/soft", "changed ABC/soft"));
    EXPECT_TRUE(HasMessage("info", "State for product ABC (soft) switch from install complete to update needed"));
    recorder->Clear();
    manager->UpdateStates();
    EXPECT_TRUE(recorder->Events().empty());
}

// "Launch Installer" pressed again while the installer runs, and every other operation meanwhile:
// while the install thread has the installer, nothing recomputes its status, re-points, removes
// or queues it again; its outcome is what the next poll sees. Polls race the install thread.
TEST_F(UpdateManagerTest, AnInstallerThatRunsIsNeitherRecomputedNorRunAgain)
{
    const std::string program = ReadFile(TestProgramPath("wait_for_release"));
    ReleaseAnswer release = Release();
    release.size = std::to_string(program.size());
    release.checksum = Md5Hex(program);
    Publish(release);
    const fs::path file = downloads.WriteFile("setup.exe", program);
    downloads.WriteFile("setup.exe.confirm", ConfirmJson(release.size, release.checksum));
    const auto runs = [&] {
        const std::string text = ReadFile(file.string() + ".runs");
        return std::count(text.begin(), text.end(), '\n');
    };
    manager->RegisterProduct(key, "0.0");
    ASSERT_EQ(StatusOf(*manager, key), "installer available");
    ASSERT_TRUE(manager->LaunchInstaller(key, true));
    manager->UpdateStates();
    ASSERT_EQ(StatusOf(*manager, key), "install in progress");
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(file.string() + ".started"); }));

    const fs::path other = downloads.Path() / "other";
    for (int round = 0; round < 10; ++round) {
        manager->RefreshProduct(key);
        manager->RegisterProduct(key, "0.0");
        EXPECT_FALSE(manager->LaunchInstaller(key, false));
        EXPECT_FALSE(manager->LaunchDownload(key, false));
        EXPECT_FALSE(manager->LaunchDownload(key, true));
        EXPECT_FALSE(manager->CleanDownload(key));
        EXPECT_FALSE(manager->SetDownloadDir(other.string()));
        manager->UpdateStates();
        manager->CheckInstallFinished();
        EXPECT_EQ(StatusOf(*manager, key), "install in progress");
    }
    EXPECT_EQ(manager->GetProduct(key).installer.GetInstallerFile(), file);
    EXPECT_EQ(ReadFile(file), program);

    // The outcome stands until a poll reads it, whatever comes first.
    std::ofstream(file.string() + ".release").put('1');
    ASSERT_TRUE(WaitUntil([&] { return manager->GetProduct(key).installer.GetStatus() != ProductStatus::InstallInProgress; }));
    manager->RefreshProduct(key);
    EXPECT_FALSE(manager->LaunchInstaller(key, false));
    EXPECT_EQ(StatusOf(*manager, key), "install complete");
    recorder->Clear();
    ASSERT_TRUE(PollUntil(*manager, [&] {
        const std::vector<std::string> seen = recorder->Events();
        return std::find(seen.begin(), seen.end(), "installed ABC/soft false") != seen.end();
    }));
    EXPECT_EQ(recorder->Events().front(), "changed ABC/soft") << "the poll announced the outcome";
    EXPECT_EQ(runs(), 1);

    // Taken back: it may run again, once.
    manager->RefreshProduct(key);
    ASSERT_EQ(StatusOf(*manager, key), "installer available");
    ASSERT_TRUE(manager->LaunchInstaller(key, false));
    EXPECT_FALSE(manager->LaunchInstaller(key, false));
    ASSERT_TRUE(PollUntil(*manager, [&] { return runs() == 2 && StatusOf(*manager, key) != "install in progress"; }));
    for (int poll = 0; poll < 4; ++poll) {
        manager->UpdateStates();
        manager->CheckInstallFinished();
    }
    EXPECT_EQ(runs(), 2);
}

// Links of two products that end in the same file name: one after the other and at the same time,
// each record keeps a file of its own, and each verified file is that record's own release.
TEST_F(UpdateManagerTest, TwoProductsWhoseLinksNameOneFileUseAFileEach)
{
    const ProductKey first{"A", "soft"};
    const ProductKey second{"B", "firmware"};
    const std::map<ProductKey, std::string> bytes{{first, std::string(300000, 'a') + "A"},
                                                  {second, std::string(300000, 'b') + "B"}};
    for (const auto& product : bytes) {
        const std::string path = "/" + product.first.first + "/setup.exe";
        server.ServeFile(path, product.second);
        ReleaseAnswer release = Release(product.first.first);
        release.permalink = server.Url(path);
        release.size = std::to_string(product.second.size());
        release.checksum = Md5Hex(product.second);
        Publish(release, product.first.second);
    }

    // One after the other: the second is not "installer available" with the first one's file.
    manager->RegisterProduct(first, "0.0");
    EXPECT_EQ(DownloadToTheEnd(first), "installer available");
    manager->RegisterProduct(second, "0.0");
    EXPECT_EQ(StatusOf(*manager, second), "update needed");
    EXPECT_EQ(DownloadToTheEnd(second), "installer available");
    const fs::path firstFile = manager->GetProduct(first).installer.GetInstallerFile();
    const fs::path secondFile = manager->GetProduct(second).installer.GetInstallerFile();
    EXPECT_EQ(firstFile, downloads.Path() / "setup.exe");
    EXPECT_EQ(secondFile, downloads.Path() / "firmware-B-setup.exe");
    EXPECT_EQ(ReadFile(firstFile), bytes.at(first));
    EXPECT_EQ(ReadFile(secondFile), bytes.at(second));

    // At the same time, round after round, polled while both workers write.
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(manager->LaunchDownload(first, true));
        ASSERT_TRUE(manager->LaunchDownload(second, true));
        ASSERT_TRUE(PollUntil(*manager, [&] {
            return StatusOf(*manager, first) != "download in progress"
                && StatusOf(*manager, second) != "download in progress";
        }));
        for (const auto& product : bytes) {
            const Installer& installer = manager->GetProduct(product.first).installer;
            EXPECT_EQ(StatusOf(*manager, product.first), "installer available") << product.first.first;
            EXPECT_EQ(ReadFile(installer.GetInstallerFile()), product.second) << product.first.first;
        }
        EXPECT_EQ(manager->GetProduct(first).installer.GetInstallerFile(), firstFile);
        EXPECT_EQ(manager->GetProduct(second).installer.GetInstallerFile(), secondFile);
    }
}

TEST_F(UpdateManagerTest, AFileNameOfItsOwnKeepsOnlySafeCharacters)
{
    manager->SetQueryServer(false);
    const ProductKey odd{"../x y", "so/ft"};
    manager->ProcessProductInfo({{key, "0.0"}, {odd, "0.0"}});
    for (const ProductKey& product : {key, odd}) {
        ProductDescription& description = manager->GetProduct(product).description;
        description.url = "http://h/" + product.first + "/setup.exe";
        description.latestVersion = "2.0";
    }
    // In key order: "../x y" comes first and takes the link's name.
    manager->RefreshRecords(manager->GetProducts().begin(), manager->GetProducts().end());
    EXPECT_EQ(manager->GetProduct(odd).installer.GetInstallerFile(), downloads.Path() / "setup.exe");
    EXPECT_EQ(manager->GetProduct(key).installer.GetInstallerFile(), downloads.Path() / "soft-ABC-setup.exe");

    // Once the first is pointed elsewhere, the second keeps its own name (and its download)...
    manager->GetProduct(odd).description.url = "http://h/other.exe";
    manager->RefreshRecords(manager->GetProducts().begin(), manager->GetProducts().end());
    EXPECT_EQ(manager->GetProduct(key).installer.GetInstallerFile(), downloads.Path() / "soft-ABC-setup.exe");
    // ...and a name of its own has no separator in it.
    manager->GetProduct(odd).description.url = "http://h/soft-ABC-setup.exe";
    manager->GetProduct(key).description.url = "http://h/x/soft-ABC-setup.exe";
    manager->RefreshRecords(manager->GetProducts().begin(), manager->GetProducts().end());
    EXPECT_EQ(manager->GetProduct(odd).installer.GetInstallerFile(), downloads.Path() / "so_ft-.._x_y-soft-ABC-setup.exe");

}

// A paused download whose release changed: the launch downloads the current release, from the
// start, and the partial file of the earlier one is gone.
TEST_F(UpdateManagerTest, ALaunchDownloadsTheCurrentReleaseOfAPausedRecord)
{
    for (const bool renamed : {false, true}) {
        const ProductKey product{renamed ? "RENAMED" : "SAME", "soft"};
        const std::string oldName = product.first + ".exe";
        const std::string newName = renamed ? product.first + "-2.exe" : oldName;
        SCOPED_TRACE(newName);
        ReleaseAnswer release = Release(product.first, "v1/" + oldName);
        server.ServeFile("/files/v1/" + oldName, installerBytes);
        Publish(release);
        downloads.WriteFile(oldName, installerBytes.substr(0, 1000));
        manager->RegisterProduct(product, "0.0");
        ASSERT_EQ(StatusOf(*manager, product), "download paused");

        const std::string newer = std::string(30000, 'n') + "ewer";
        server.ServeFile("/files/v2/" + newName, newer);
        release.permalink = server.Url("/files/v2/" + newName);
        release.version = "3.0";
        release.size = std::to_string(newer.size());
        release.checksum = Md5Hex(newer);
        Publish(release);
        manager->RefreshProduct(product);
        ASSERT_EQ(StatusOf(*manager, product), "download paused") << "a paused download keeps its file";
        server.ClearRequests();

        ASSERT_TRUE(manager->LaunchDownload(product, false));
        EXPECT_TRUE(PollUntil(*manager, [&] { return StatusOf(*manager, product) != "download in progress"; }));
        EXPECT_EQ(StatusOf(*manager, product), "installer available");
        const Installer& installer = manager->GetProduct(product).installer;
        EXPECT_EQ(installer.GetUrl(), release.permalink);
        EXPECT_EQ(installer.GetInstallerFile(), downloads.Path() / newName);
        EXPECT_EQ(ReadFile(downloads.Path() / newName), newer);
        EXPECT_TRUE(server.RequestsFor("/files/v1/" + oldName).empty());
        const std::vector<RecordedRequest> requests = server.RequestsFor("/files/v2/" + newName);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].range, "") << "the earlier release's bytes are not resumed";
        if (renamed) {
            EXPECT_FALSE(fs::exists(downloads.Path() / oldName));
        }
    }
}

// The install thread is the process's one: a second manager alive at the same time is refused,
// the first goes on working, and one made after it works as the first did.
TEST_F(UpdateManagerTest, OneManagerAtATime)
{
    Publish(Release());
    try {
        UpdateManager second("", server.Url(), platformWindows);
        ADD_FAILURE() << "a second manager was made";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "Kelvora::UpdateManager::UpdateManager: another update manager exists in this "
                                   "process; only one may exist at a time");
    }
    manager->RegisterProduct(key, "0.0");
    EXPECT_EQ(DownloadToTheEnd(key), "installer available");

    for (int generation = 0; generation < 2; ++generation) {
        SCOPED_TRACE("manager " + std::to_string(generation));
        recorder.reset();
        manager.reset();
        manager = MakeManager(server.Url());
        recorder = std::make_unique<UpdateEventRecorder>(*manager);
        std::ofstream(downloads.String() + "/setup.exe", std::ios::binary)
            << ReadFile(TestProgramPath("exit_zero"));
        const std::string program = ReadFile(downloads.Path() / "setup.exe");
        ReleaseAnswer release = Release();
        release.size = std::to_string(program.size());
        release.checksum = Md5Hex(program);
        Publish(release);
        downloads.WriteFile("setup.exe.confirm", ConfirmJson(release.size, release.checksum));
        manager->RegisterProduct(key, "0.0");
        ASSERT_EQ(StatusOf(*manager, key), "installer available");
        ASSERT_TRUE(manager->LaunchInstaller(key, true));
        EXPECT_TRUE(PollUntil(*manager, [&] {
            const std::vector<std::string> seen = recorder->Events();
            return std::find(seen.begin(), seen.end(), "installed ABC/soft false") != seen.end();
        }));
        EXPECT_TRUE(HasMessage("info", "Installation of Kelvora Studio" + (downloads.Path() / "setup.exe").string()
                                           + " complete with status install complete"));
    }
}

TEST_F(UpdateManagerTest, APollLeavesAnUnsupportedReleaseAndADownloadThatHasNotBegunAlone)
{
    ReleaseAnswer release = Release();
    release.platformMin = "99.0";
    Publish(release);
    Publish(Release("IDLE"));
    manager->RegisterProduct(key, "0.0");
    manager->RegisterProduct({"IDLE", "soft"}, "0.0");
    ASSERT_EQ(StatusOf(*manager, key), "latest update doesn't support this OS");
    // No download was started, so the downloader is still idle.
    manager->GetProduct({"IDLE", "soft"}).installer.SetStatus(ProductStatus::DownloadInProgress);
    recorder->Clear();
    for (int i = 0; i < 3; ++i)
        manager->UpdateStates();
    EXPECT_TRUE(recorder->Events(true).empty());
    EXPECT_EQ(StatusOf(*manager, {"IDLE", "soft"}), "download in progress");

    // The launch's own state check knows nothing of the platform.
    EXPECT_TRUE(manager->LaunchDownload(key, false));
    EXPECT_EQ(StatusOf(*manager, key), "download in progress");
}

TEST_F(UpdateManagerTest, AFinishedInstallerOfNoRecordIsLoggedAndAnnouncesNothing)
{
    Publish(Release());
    manager->RegisterProduct(key, "0.0");
    const fs::path file = downloads.Path() / "stranger.exe";
    Installer stranger("u", file, ProductStatus::Unknown);
    stranger.SetStatus(ProductStatus::InstallInProgress);
    recorder->Clear();
    ASSERT_TRUE(InstallThread::Add(&stranger));
    EXPECT_TRUE(PollUntil(*manager, [&] {
        return HasMessage("error", " Could not find product information for " + file.string()
                                       + " to process completed installer");
    }));
    EXPECT_TRUE(recorder->Events().empty());
    EXPECT_EQ(StatusOf(*manager, key), "update needed");
    CSingleton<InstallThread>::Destroy();
}

} // namespace
