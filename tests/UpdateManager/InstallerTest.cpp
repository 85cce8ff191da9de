#include "UpdateManager/Installer.h"

#include "UpdateManager/DigestPipeline.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GroupingLocale.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/Md5Hex.h"
#include "tests/support/TempDir.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <thread>

namespace fs = boost::filesystem;
using Kelvora::UpdateManager::Installer;
using Kelvora::UpdateManager::ProductStatus;
namespace um = Kelvora::UpdateManager;

namespace {

struct StateCase
{
    // Prints as its name in test names and failure messages.
    friend void PrintTo(const StateCase& c, std::ostream* out) { *out << c.name; }

    const char* name;
    ProductStatus before;
    const char* localVersion;
    const char* latestVersion;
    std::optional<std::string> installer;  // content; none: no file
    std::optional<std::string> confirm;    // content; none: no file
    ProductStatus expected;
    int64_t expectedDownloadedSize;
    bool confirmKept;
    const char* checksum = ""; // the release's; empty: it gives none
};

const std::string five = "12345";

const StateCase stateCases[] = {
    {"RunningDownloadIsNotJudged", ProductStatus::DownloadInProgress, "0.0", "1.0", five, std::string("{\"size\": \"9\"}"),
     ProductStatus::DownloadInProgress, 0, true},
    {"NoLatestVersionIsUnknownEvenWhenVerified", ProductStatus::Unknown, "0.0", "", five,
     std::string("{\"size\": \"5\"}"), ProductStatus::Unknown, 0, true},
    {"MalformedLatestVersionIsUnknown", ProductStatus::Unknown, "0.0", "1.x", std::nullopt, std::nullopt,
     ProductStatus::Unknown, 0, false},
    {"EqualVersionsAreUpToDate", ProductStatus::Unknown, "1.2.0", "1.2", std::nullopt, std::nullopt,
     ProductStatus::UpToDate, 0, false},
    {"NewerLocalIsUpToDate", ProductStatus::Unknown, "2.0", "1.9.9", five, std::nullopt, ProductStatus::UpToDate, 0,
     false},
    {"UnparsableLocalCountsAsZero", ProductStatus::Unknown, "not_installed", "1.0", std::nullopt, std::nullopt,
     ProductStatus::UpdateNeeded, 0, false},
    {"ConfirmWithoutInstallerStays", ProductStatus::Unknown, "0.0", "1.0", std::nullopt,
     std::string("{\"size\": \"5\"}"), ProductStatus::UpdateNeeded, 0, true},
    {"MatchingSizeAsStringIsAvailable", ProductStatus::Unknown, "0.0", "1.0", five,
     std::string("{\r\n    \"size\": \"5\",\r\n    \"checksum\": \"x\"\r\n}\r\n"), ProductStatus::InstallerAvailable, 0,
     true},
    {"MatchingSizeAsNumberIsAvailable", ProductStatus::Error, "0.0", "1.0", five, std::string("{\"size\": 5}"),
     ProductStatus::InstallerAvailable, 0, true},
    {"EmptyInstallerNeverCountsAsVerified", ProductStatus::Unknown, "0.0", "1.0", std::string(),
     std::string("{\"size\": \"0\"}"), ProductStatus::DownloadPaused, 0, false},
    {"OtherSizeIsPartial", ProductStatus::Unknown, "0.0", "1.0", five, std::string("{\"size\": \"4\"}"),
     ProductStatus::DownloadPaused, 5, false},
    {"SizeWithTrailingTextIsPartial", ProductStatus::Unknown, "0.0", "1.0", five, std::string("{\"size\": \"5abc\"}"),
     ProductStatus::DownloadPaused, 5, false},
    {"MissingSizeIsPartial", ProductStatus::Unknown, "0.0", "1.0", five, std::string("{\"checksum\": \"5\"}"),
     ProductStatus::DownloadPaused, 5, false},
    {"ConfirmThatIsNotJsonIsPartial", ProductStatus::Unknown, "0.0", "1.0", five, std::string("size=5"),
     ProductStatus::DownloadPaused, 5, false},
    {"DeeplyNestedConfirmIsPartial", ProductStatus::Unknown, "0.0", "1.0", five,
     "{\"size\": " + std::string(100000, '[') + std::string(100000, ']') + "}", ProductStatus::DownloadPaused, 5,
     false},
    {"InstallerWithoutConfirmIsPartial", ProductStatus::InstallComplete, "0.0", "1.0", five, std::nullopt,
     ProductStatus::DownloadPaused, 5, false},
    // A release with a checksum takes only a ".confirm" file of that digest: release file names
    // are reused, and a whole file of another release is neither its installer nor a resume point.
    {"ConfirmOfTheReleasesDigestIsAvailable", ProductStatus::Unknown, "0.0", "1.0", five,
     std::string("{\"size\": \"5\", \"checksum\": \"abc\"}"), ProductStatus::InstallerAvailable, 0, true, "abc"},
    {"ConfirmOfAnotherDigestIsNoInstaller", ProductStatus::InstallerAvailable, "0.0", "1.0", five,
     std::string("{\"size\": \"5\", \"checksum\": \"old\"}"), ProductStatus::UpdateNeeded, 0, true, "abc"},
    {"ConfirmWithoutDigestIsNoInstallerOfAReleaseWithOne", ProductStatus::Unknown, "0.0", "1.0", five,
     std::string("{\"size\": \"5\"}"), ProductStatus::UpdateNeeded, 0, true, "abc"},
    {"DigestIsComparedAsWrittenByTheDownload", ProductStatus::Unknown, "0.0", "1.0", five,
     std::string("{\"size\": \"5\", \"checksum\": \"abc\"}"), ProductStatus::UpdateNeeded, 0, true, "ABC"},
    {"OtherSizeIsPartialWhateverTheDigest", ProductStatus::Unknown, "0.0", "1.0", five,
     std::string("{\"size\": \"4\", \"checksum\": \"abc\"}"), ProductStatus::DownloadPaused, 5, false, "abc"},
};

using CheckStateTest = ::testing::TestWithParam<StateCase>;

TEST_P(CheckStateTest, SetsStatusAndResumeOffset)
{
    const StateCase& c = GetParam();
    TempDir dir;
    const fs::path file = dir.Path() / "setup.exe";
    if (c.installer)
        dir.WriteFile("setup.exe", *c.installer);
    if (c.confirm)
        dir.WriteFile("setup.exe.confirm", *c.confirm);

    Installer installer("http://host/setup.exe", file, c.before);
    installer.SetStatus(c.before);
    installer.CheckState(c.localVersion, c.latestVersion, c.checksum);

    EXPECT_EQ(installer.GetStatus(), c.expected);
    EXPECT_EQ(installer.GetDownloadedSize(), c.expectedDownloadedSize);
    EXPECT_EQ(fs::exists(installer.GetConfirmFilePath()), c.confirmKept);
    if (c.installer) {
        EXPECT_EQ(ReadFile(file), *c.installer) << "the installer file is never touched";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CheckStateTest, ::testing::ValuesIn(stateCases),
                         [](const ::testing::TestParamInfo<StateCase>& info) { return info.param.name; });

TEST(InstallerTest, ConstructorRunsTheStateCheckAndMarksInitialized)
{
    TempDir dir;
    dir.WriteFile("setup.exe", five);
    Installer fresh;
    EXPECT_FALSE(fresh.IsInitialized());
    EXPECT_EQ(fresh.GetStatus(), ProductStatus::Error);
    EXPECT_EQ(fresh.GetProgress(), -1.0);

    fresh.Initialize("u", dir.Path() / "setup.exe", ProductStatus::Unknown, "0.0", "1.0");
    EXPECT_TRUE(fresh.IsInitialized());
    EXPECT_EQ(fresh.GetStatus(), ProductStatus::DownloadPaused);
    EXPECT_EQ(fresh.GetDownloadedSize(), 5);

    // Without versions there is no latest version to compare with.
    Installer noVersions("u", dir.Path() / "setup.exe", ProductStatus::UpToDate);
    EXPECT_EQ(noVersions.GetStatus(), ProductStatus::Unknown);
}

TEST(InstallerTest, UnreadableConfirmIsLoggedAndRemoved)
{
    LogCapture log({"update_manager"});
    TempDir dir;
    const fs::path file = dir.WriteFile("setup.exe", five);
    dir.WriteFile("setup.exe.confirm", "{ broken");
    Installer installer("u", file, ProductStatus::Unknown, "0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::DownloadPaused);
    const auto errors = log.Messages("update_manager", "error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error reading confirm file " + file.string() + ".confirm(", 0), 0u) << errors[0];
}

TEST(InstallerTest, AMissingInstallerFileIsNoErrorAndLogsNothing)
{
    TempDir dir;
    LogCapture log({"update_manager"});
    Installer missing("u", dir.Path() / "setup.exe", ProductStatus::Unknown, "0.0", "1.0");
    EXPECT_EQ(missing.GetStatus(), ProductStatus::UpdateNeeded);
    EXPECT_TRUE(log.Messages().empty()) << log.Messages()[0];
}

// What lies at the installer's name or at its ".confirm" name, when it is neither nothing nor a
// regular file.
struct UnusablePath
{
    const char* name;
    std::function<void(TempDir& dir, const fs::path& at)> make;
};

const fs::path outside = fs::temp_directory_path() / "kelvora-installer-test-outside.exe";

const UnusablePath unusablePaths[] = {
    {"folder", [](TempDir&, const fs::path& at) { fs::create_directory(at); }},
    {"folder with files",
     [](TempDir&, const fs::path& at) {
         fs::create_directory(at);
         std::ofstream((at / "inside").string()) << "x";
     }},
    {"FIFO", [](TempDir&, const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
    {"link to a regular file", [](TempDir&, const fs::path& at) { fs::create_symlink(outside, at); }},
    {"link to nothing", [](TempDir& dir, const fs::path& at) { fs::create_symlink(dir.Path() / "none", at); }},
    {"looping link", [](TempDir&, const fs::path& at) { fs::create_symlink(at.filename(), at); }},
};

// One rule for both names: anything but nothing or a regular file gives "error" with one error
// line, and nothing there is read, removed, followed or made executable.
TEST(InstallerTest, PathsThatCannotBeUsedGiveAnErrorAndAreLeftAlone)
{
    std::ofstream(outside.string()) << "not yours";
    fs::permissions(outside, fs::owner_read | fs::owner_write);
    for (const UnusablePath& kind : unusablePaths) {
        for (const std::string at : {"setup.exe", "setup.exe.confirm"}) {
            SCOPED_TRACE(std::string(kind.name) + " at " + at);
            TempDir dir;
            const fs::path file = dir.Path() / "setup.exe";
            if (at != "setup.exe")
                dir.WriteFile("setup.exe", five);
            kind.make(dir, dir.Path() / at);
            const fs::file_type made = fs::symlink_status(dir.Path() / at).type();

            LogCapture log({"update_manager", "install"});
            Installer installer("u", file, ProductStatus::Unknown, "0.0", "1.0");
            EXPECT_EQ(installer.GetStatus(), ProductStatus::Error);
            EXPECT_EQ(installer.GetDownloadedSize(), 0);
            const auto errors = log.Messages("update_manager", "error");
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(errors[0].rfind("\"" + (dir.Path() / at).string() + "\" cannot be used: ", 0), 0u) << errors[0];

            fs::path unusable;
            std::string why;
            EXPECT_FALSE(installer.HasUsablePaths(unusable, why));
            EXPECT_EQ(unusable, dir.Path() / at);

            installer.SetStatus(ProductStatus::InstallInProgress);
            installer.Install();
            EXPECT_EQ(installer.GetStatus(), ProductStatus::Error);
            EXPECT_EQ(log.Messages("install", "error").size(), 1u);

            EXPECT_EQ(fs::symlink_status(dir.Path() / at).type(), made);
            if (at != "setup.exe") {
                EXPECT_EQ(ReadFile(file), five);
            }
        }
    }
    EXPECT_EQ(ReadFile(outside), "not yours");
    EXPECT_EQ(fs::status(outside).permissions() & fs::owner_exe, 0) << "never made executable through a link";
    fs::remove(outside);
}

TEST(InstallerTest, NamesTooLongForTheFileSystemCannotBeUsed)
{
    TempDir dir;
    // The installer's name fits, its ".confirm" name does not.
    const std::string name(250, 'n');
    const fs::path file = dir.WriteFile(name, five);
    LogCapture log({"update_manager"});
    Installer installer("u", file, ProductStatus::Unknown, "0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::Error);
    EXPECT_EQ(log.Messages("update_manager", "error").size(), 1u);

    Installer tooLong("u", dir.Path() / std::string(300, 'n'), ProductStatus::Unknown, "0.0", "1.0");
    EXPECT_EQ(tooLong.GetStatus(), ProductStatus::Error);
}

TEST(InstallerTest, AnInstallerWithTheInstallThreadIsNeverRecomputed)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("setup.exe", five);
    dir.WriteFile("setup.exe.confirm", "{\"size\": \"5\"}");
    Installer installer("u", file, ProductStatus::Unknown, "0.0", "1.0");
    ASSERT_EQ(installer.GetStatus(), ProductStatus::InstallerAvailable);

    installer.SetStatus(ProductStatus::InstallInProgress);
    installer.MarkHandedOver();
    EXPECT_TRUE(installer.IsWithInstallThread());
    installer.CheckState("0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::InstallInProgress);

    // The install thread's outcome: until a poll has read it, nothing may replace it.
    installer.SetStatus(ProductStatus::Error);
    EXPECT_TRUE(installer.IsWithInstallThread());
    installer.CheckState("0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::Error);
    installer.MarkPolled(ProductStatus::InstallInProgress);
    EXPECT_TRUE(installer.IsWithInstallThread()) << "that poll read the status before the outcome";
    installer.MarkPolled(ProductStatus::Error);
    EXPECT_FALSE(installer.IsWithInstallThread());
    installer.CheckState("0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::InstallerAvailable);

    // Handed over again before the first run was taken back: the second run has it.
    installer.SetStatus(ProductStatus::InstallInProgress);
    installer.MarkHandedOver();
    installer.MarkTakenBack();
    EXPECT_TRUE(installer.IsWithInstallThread());
    installer.SetStatus(ProductStatus::InstallComplete);
    installer.MarkTakenBack();
    EXPECT_FALSE(installer.IsWithInstallThread()) << "taken back: its outcome is with the taker";
    installer.MarkTakenBack();
    installer.MarkHandedOver();
    EXPECT_TRUE(installer.IsWithInstallThread()) << "taking back more than was handed over counts nothing";
}

// A global locale that groups digits must not make "1,234,567" a number.
TEST(InstallerTest, TheConfirmSizeIsReadInTheClassicLocale)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("setup.exe", "");
    fs::resize_file(file, 1234567);
    for (const char* size : {"\"1,234,567\"", "\"1234567\"", "1234567"}) {
        SCOPED_TRACE(size);
        dir.WriteFile("setup.exe.confirm", std::string("{\"size\": ") + size + "}");
        const GroupingLocale grouping;
        Installer installer("u", file, ProductStatus::Unknown, "0.0", "1.0");
        EXPECT_EQ(installer.GetStatus(), std::string(size).find(',') == std::string::npos
                                             ? ProductStatus::InstallerAvailable
                                             : ProductStatus::DownloadPaused);
    }
}

// Sparse, so cheap: sizes past 2^31 must survive as 64-bit values through the ".confirm" file.
TEST(InstallerTest, FilesOfTwoGibibytesAndMore)
{
    TempDir dir;
    const fs::path file = dir.Path() / "big.exe";
    const int64_t size = (int64_t(1) << 32) + 7;
    dir.WriteFile("big.exe", "");
    fs::resize_file(file, static_cast<uintmax_t>(size));
    EXPECT_EQ(um::FileSizeOrZero(file), size);

    Installer installer("u", file, ProductStatus::Unknown, "0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::DownloadPaused);
    EXPECT_EQ(installer.GetDownloadedSize(), size);

    ASSERT_TRUE(installer.WriteConfirmFile("0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(ReadFile(installer.GetConfirmFilePath()),
              "{\r\n    \"size\": \"4294967303\",\r\n    \"checksum\": \"0123456789abcdef0123456789abcdef\"\r\n}\r\n");
    installer.CheckState("0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::InstallerAvailable);
    EXPECT_EQ(installer.GetDownloadedSize(), 0);

    dir.WriteFile("big.exe.confirm", "{\"size\": 4294967303}");
    installer.CheckState("0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::InstallerAvailable);
}

struct ConfirmCase
{
    // Prints as its name in test names and failure messages.
    friend void PrintTo(const ConfirmCase& c, std::ostream* out) { *out << c.name; }

    const char* name;
    std::optional<std::string> installer;
    std::string checksum;
    std::string expected;
};

const ConfirmCase confirmCases[] = {
    {"EmptyChecksumWritesTheDigest", std::string("abc"), "",
     "{\r\n    \"size\": \"3\",\r\n    \"checksum\": \"900150983cd24fb0d6963f7d28e17f72\"\r\n}\r\n"},
    {"GivenChecksumIsWrittenUnchanged", std::string("abc"), "NOT-A-DIGEST",
     "{\r\n    \"size\": \"3\",\r\n    \"checksum\": \"NOT-A-DIGEST\"\r\n}\r\n"},
    {"ChecksumIsJsonEscaped", std::string(""), "a\"b\\c",
     "{\r\n    \"size\": \"0\",\r\n    \"checksum\": \"a\\\"b\\\\c\"\r\n}\r\n"},
    {"MissingInstallerWritesZeroAndNoDigest", std::nullopt, "",
     "{\r\n    \"size\": \"0\",\r\n    \"checksum\": \"\"\r\n}\r\n"},
};

using WriteConfirmFileTest = ::testing::TestWithParam<ConfirmCase>;

TEST_P(WriteConfirmFileTest, WritesTheFourLinesByteForByte)
{
    const ConfirmCase& c = GetParam();
    TempDir dir;
    if (c.installer)
        dir.WriteFile("setup.exe", *c.installer);
    dir.WriteFile("setup.exe.confirm", std::string(500, 'x')); // replaced, not appended to
    Installer installer("u", dir.Path() / "setup.exe", ProductStatus::InstallerAvailable);
    ASSERT_TRUE(installer.WriteConfirmFile(c.checksum));
    EXPECT_EQ(installer.GetConfirmFilePath(), dir.Path() / "setup.exe.confirm");
    EXPECT_EQ(ReadFile(installer.GetConfirmFilePath()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, WriteConfirmFileTest, ::testing::ValuesIn(confirmCases),
                         [](const ::testing::TestParamInfo<ConfirmCase>& info) { return info.param.name; });

TEST(InstallerTest, WrittenConfirmFileVerifiesTheInstaller)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("setup.exe", "installer bytes");
    Installer installer("u", file, ProductStatus::Unknown, "0.0", "1.0");
    ASSERT_EQ(installer.GetStatus(), ProductStatus::DownloadPaused);
    ASSERT_TRUE(installer.WriteConfirmFile(""));
    installer.CheckState("0.0", "1.0");
    EXPECT_EQ(installer.GetStatus(), ProductStatus::InstallerAvailable);
}

TEST(InstallerTest, ConfirmFileThatCannotBeWrittenIsReportedNotThrown)
{
    LogCapture log({"install"});
    TempDir dir;
    // The ".confirm" path is taken by a folder.
    fs::create_directories(dir.Path() / "setup.exe.confirm");
    const fs::path file = dir.WriteFile("setup.exe", "abc");
    Installer installer("u", file, ProductStatus::InstallerAvailable);
    EXPECT_FALSE(installer.WriteConfirmFile(""));
    ASSERT_EQ(log.Messages("install", "error").size(), 1u);
    EXPECT_EQ(log.Messages("install", "error")[0].rfind("Failed to write confirm file ", 0), 0u);
    EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"setup.exe", "setup.exe.confirm"})) << "no file left over";
}

// The record is written beside its name and renamed over it: a FIFO or a link that took the name
// after the caller's checks is replaced, never opened (a FIFO would block for ever) or followed.
TEST(InstallerTest, TheConfirmFileReplacesWhateverTookItsName)
{
    const std::string expected = "{\r\n    \"size\": \"3\",\r\n    \"checksum\": \"c\"\r\n}\r\n";
    for (const char* kind : {"FIFO", "link"}) {
        SCOPED_TRACE(kind);
        TempDir dir;
        const fs::path file = dir.WriteFile("setup.exe", "abc");
        const fs::path confirm = dir.Path() / "setup.exe.confirm";
        const fs::path target = dir.WriteFile("elsewhere", "mine");
        if (std::string(kind) == "FIFO")
            ASSERT_EQ(::mkfifo(confirm.c_str(), 0600), 0);
        else
            fs::create_symlink(target, confirm);
        Installer installer("u", file, ProductStatus::InstallerAvailable);

        std::promise<bool> written;
        std::future<bool> result = written.get_future();
        std::thread writer([&] { written.set_value(installer.WriteConfirmFile("c")); });
        const bool finished = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        if (!finished) {
            // A reader lets the blocked writer go, so that the test can end.
            const int reader = ::open(confirm.c_str(), O_RDONLY | O_NONBLOCK);
            writer.join();
            ::close(reader);
            FAIL() << "writing the confirm file blocked on the FIFO";
        }
        writer.join();
        EXPECT_TRUE(result.get());
        EXPECT_EQ(fs::symlink_status(confirm).type(), fs::regular_file);
        EXPECT_EQ(ReadFile(confirm), expected);
        EXPECT_EQ(ReadFile(target), "mine");
        EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"elsewhere", "setup.exe", "setup.exe.confirm"}));
    }
}

struct InstallCase
{
    // Prints as its name in test names and failure messages.
    friend void PrintTo(const InstallCase& c, std::ostream* out) { *out << c.name; }

    const char* name;
    const char* program;  // test program copied in as the installer; null: a text file
    ProductStatus expected;
};

const InstallCase installCases[] = {
    {"ExitZeroCompletes", "exit_zero", ProductStatus::InstallComplete},
    {"ExitOneIsAnError", "exit_one", ProductStatus::Error},
    {"SignalDeathIsAnError", "kill_self", ProductStatus::Error},
    {"UnstartableFileIsAnError", nullptr, ProductStatus::Error},
};

using InstallTest = ::testing::TestWithParam<InstallCase>;

TEST_P(InstallTest, StoresTheOutcome)
{
    const InstallCase& c = GetParam();
    TempDir dir;
    const fs::path file = dir.Path() / "setup.exe";
    if (c.program != nullptr)
        fs::copy_file(TestProgramPath(c.program), file);
    else
        dir.WriteFile("setup.exe", "MZ not really a program");
    Installer installer("u", file, ProductStatus::InstallInProgress);
    installer.SetStatus(ProductStatus::InstallInProgress);
    installer.SetSilent(true);
    installer.Install();
    EXPECT_EQ(installer.GetStatus(), c.expected);
    EXPECT_EQ(installer.GetProgress(), -1.0);
}

INSTANTIATE_TEST_SUITE_P(Table, InstallTest, ::testing::ValuesIn(installCases),
                         [](const ::testing::TestParamInfo<InstallCase>& info) { return info.param.name; });

TEST(InstallerTest, AnInstallerBehindALinkIsNeitherRunNorMadeExecutable)
{
    TempDir dir;
    const fs::path program = dir.Path() / "program";
    fs::copy_file(TestProgramPath("print_args"), program);
    fs::permissions(program, fs::owner_read | fs::owner_write);
    const fs::path file = dir.Path() / "setup.exe";
    fs::create_symlink(program, file);
    Installer installer("u", file, ProductStatus::InstallInProgress);
    installer.SetStatus(ProductStatus::InstallInProgress);
    installer.Install();
    EXPECT_EQ(installer.GetStatus(), ProductStatus::Error);
    EXPECT_FALSE(fs::exists(program.string() + ".args")) << "the link's target ran";
    EXPECT_FALSE(fs::exists(file.string() + ".args")) << "the link's target ran";
    EXPECT_EQ(fs::status(program).permissions() & fs::owner_exe, 0);
}

TEST(InstallerTest, InstallOfMissingFileStartsNothingAndNeedsAnUpdate)
{
    LogCapture log({"install"});
    TempDir dir;
    const fs::path file = dir.Path() / "a \"quoted\" & name.exe";
    Installer installer("u", file, ProductStatus::InstallInProgress);
    installer.SetStatus(ProductStatus::InstallInProgress);
    installer.Install();
    EXPECT_EQ(installer.GetStatus(), ProductStatus::UpdateNeeded);
    EXPECT_EQ(log.Messages("install", "info"), std::vector<std::string>{"Run " + file.string()});
    const std::string quoted = "\"" + dir.String() + "/a &\"quoted&\" && name.exe\"";
    EXPECT_EQ(log.Messages("install", "error"), std::vector<std::string>{quoted + " does not exist"});
}

struct ArgumentCase
{
    // Prints as its name in test names and failure messages.
    friend void PrintTo(const ArgumentCase& c, std::ostream* out) { *out << c.name; }

    const char* name;
    const char* fileName;
    bool silent;
};

const ArgumentCase argumentCases[] = {
    {"SilentAddsTheSwitch", "setup.exe", true},
    {"NotSilentPassesOnlyThePath", "setup.exe", false},
    {"PathWithBlanksIsOneArgument", "my setup v2.exe", true},
    {"PathWithShellCharactersIsOneArgument", "x;y & $(z) \"q\".exe", false},
};

using RunInstallerTest = ::testing::TestWithParam<ArgumentCase>;

// The installer sees what a Windows program parses from the quoted command line: its own
// path without the quotes, then "/SILENT" when silent.
TEST_P(RunInstallerTest, InstallerReceivesItsPathAndTheSwitch)
{
    const ArgumentCase& c = GetParam();
    TempDir dir;
    const fs::path file = dir.Path() / c.fileName;
    fs::copy_file(TestProgramPath("print_args"), file);
    LogCapture log({"install"});

    EXPECT_TRUE(Installer::RunInstaller(file.string(), c.silent));
    EXPECT_EQ(ReadFile(file.string() + ".args"), "[" + file.string() + "]\n" + (c.silent ? "[/SILENT]\n" : ""));
    EXPECT_EQ(log.Messages("install", "info"),
              std::vector<std::string>{std::string("Open") + (c.silent ? " silent" : "") + " installer " + file.string()});
}

TEST(InstallerTest, RunInstallerMakesTheDownloadedFileExecutableForItsOwner)
{
    TempDir dir;
    const fs::path file = dir.Path() / "setup.exe";
    fs::copy_file(TestProgramPath("exit_zero"), file);
    fs::permissions(file, fs::owner_read | fs::owner_write | fs::group_read);

    EXPECT_TRUE(Installer::RunInstaller(file.string(), true));
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0u);
    EXPECT_EQ(info.st_mode & (S_IXGRP | S_IXOTH), 0u) << "only the owner gains the execute bit";
}

INSTANTIATE_TEST_SUITE_P(Table, RunInstallerTest, ::testing::ValuesIn(argumentCases),
                         [](const ::testing::TestParamInfo<ArgumentCase>& info) { return info.param.name; });

TEST(FileMd5HexTest, DigestsTheWholeFileAcrossBufferBoundaries)
{
    TempDir dir;
    EXPECT_EQ(um::FileMd5Hex(dir.WriteFile("empty", "")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(um::FileMd5Hex(dir.WriteFile("abc", "abc")), "900150983cd24fb0d6963f7d28e17f72");
    // Around the size of the blocks the file is read in.
    const size_t blockSize = static_cast<size_t>(um::DigestPipeline::slotSize);
    for (size_t size : {blockSize - 1, blockSize, blockSize + 1, 3 * blockSize + 5}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 131) ^ (i >> 7));
        EXPECT_EQ(um::FileMd5Hex(dir.WriteFile("file", bytes)), Md5Hex(bytes)) << size;
    }
}

TEST(FileMd5HexTest, MissingOrUnreadableGivesNoDigest)
{
    TempDir dir;
    EXPECT_EQ(um::FileMd5Hex(dir.Path() / "missing"), "");
    EXPECT_EQ(um::FileMd5Hex(dir.Path()), "") << "a folder has no digest, not that of zero bytes";
}

TEST(FileSizeOrZeroTest, ZeroForMissingOrFolder)
{
    TempDir dir;
    EXPECT_EQ(um::FileSizeOrZero(dir.Path() / "missing"), 0);
    EXPECT_EQ(um::FileSizeOrZero(dir.Path()), 0);
    EXPECT_EQ(um::FileSizeOrZero(dir.WriteFile("five", five)), 5);
}

TEST(HasExtensionTest, ComparesTheTextAfterTheLastDotOfRegularFiles)
{
    TempDir dir;
    const fs::path msi = dir.WriteFile("setup.msi", "");
    EXPECT_TRUE(um::HasExtension("msi", msi));
    EXPECT_FALSE(um::HasExtension("MSI", msi));
    EXPECT_FALSE(um::HasExtension("", dir.WriteFile("noext", "")));
    EXPECT_TRUE(um::HasExtension("gz", dir.WriteFile("a.tar.gz", "")));
    fs::create_directories(dir.Path() / "folder.msi");
    EXPECT_FALSE(um::HasExtension("msi", dir.Path() / "folder.msi"));
    EXPECT_FALSE(um::HasExtension("msi", dir.Path() / "missing.msi"));
}

TEST(HasExtensionTest, LogsBothPartsWithTheirBlanks)
{
    LogCapture log({"install"});
    TempDir dir;
    const fs::path file = dir.WriteFile("setup.msi", "");
    um::HasExtension("msi", file);
    um::HasExtension("dmg", file);
    EXPECT_EQ(log.Messages("install", "debug"),
              (std::vector<std::string>{file.string() + " has  the extension msi",
                                        file.string() + " does not have  the extension dmg"}));
}

TEST(FindFileWithExtensionTest, FindsARegularFileOrNothing)
{
    TempDir dir;
    fs::create_directories(dir.Path() / "folder.dmg");
    dir.WriteFile("readme.txt", "");
    EXPECT_EQ(um::FindFileWithExtension(dir.Path(), "dmg"), fs::path());
    const fs::path image = dir.WriteFile("image.dmg", "");
    EXPECT_EQ(um::FindFileWithExtension(dir.Path(), "dmg"), image);
    EXPECT_EQ(um::FindFileWithExtension(dir.Path() / "missing", "dmg"), fs::path());
}

TEST(FindFileWithExtensionTest, ErrorIsLoggedAndGivesNothing)
{
    LogCapture log({"update_manager"});
    TempDir dir;
    const fs::path file = dir.WriteFile("plain", "");
    EXPECT_EQ(um::FindFileWithExtension(file, "dmg"), fs::path());
    const auto errors = log.Messages("update_manager", "error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error when trying to find file with extension dmg in directory \"" + file.string() +
                                  "\" : ",
                              0),
              0u)
        << errors[0];
}

TEST(MakeUniquePathTest, AppendsTheFirstFreeNumber)
{
    TempDir dir;
    const fs::path path = dir.Path() / "setup.exe";
    EXPECT_EQ(um::MakeUniquePath(path), path);
    dir.WriteFile("setup.exe", "");
    dir.WriteFile("setup.exe-1", "");
    EXPECT_EQ(um::MakeUniquePath(path), dir.Path() / "setup.exe-2");
}

// The tools are started with an argument vector: text in a path never reaches a command
// interpreter. If it did, the "touch" here would create the marker file.
TEST(DiskImageTest, PathsNeverRunAsCommands)
{
    LogCapture log({"install"});
    TempDir dir;
    const fs::path marker = dir.Path() / "ran";
    const std::string injected = "; touch '" + marker.string() + "'; echo ";
    const fs::path image = dir.WriteFile("image" + injected + ".dmg", "");
    const fs::path mountPoint = dir.Path() / ("mnt" + injected);

    EXPECT_FALSE(um::MountDiskImage(image, mountPoint)); // no hdiutil here
    EXPECT_TRUE(log.HasMessage("/usr/bin/hdiutil attach " + image.string() + " -mountpoint " + mountPoint.string()));
    fs::create_directories(mountPoint);
    EXPECT_FALSE(um::UnmountDiskImage(mountPoint)); // not mounted
    EXPECT_FALSE(fs::exists(marker));
}

TEST(DiskImageTest, RefusesBadImageOrTakenMountPointWithTheirMessages)
{
    LogCapture log({"install"});
    TempDir dir;
    const fs::path image = dir.WriteFile("image.dmg", "");
    EXPECT_FALSE(um::MountDiskImage(dir.Path() / "missing.dmg", dir.Path() / "mnt"));
    EXPECT_FALSE(um::MountDiskImage(image, dir.Path()));
    EXPECT_FALSE(um::UnmountDiskImage(dir.Path() / "mnt"));
    EXPECT_EQ(log.Messages("install", "error"),
              (std::vector<std::string>{
                  "\"" + dir.String() + "/missing.dmg\" is not a valid file and cannot be mounted",
                  "The target directory \"" + dir.String() + "\" already exists ",
                  "Cannot unmount \"" + dir.String() + "/mnt\" because the directory does not exist"}));
}

} // namespace
