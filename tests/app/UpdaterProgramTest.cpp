// The real updater program, end to end, as a child process on a private X server: against the
// project's HTTP test server and against nginx, with a test program as the installer and another
// as the product to relaunch. What the user sees is checked on screenshots of the X server and
// what the user does is done with real pointer clicks.
#include "app/UpdaterLookAndFeel.h"
#include "app/UpdaterPanel.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/JuceForTest.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateManagerProbe.h"
#include "tests/support/UpdaterRelease.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/XvfbServer.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace fs = boost::filesystem;

namespace {

using Kelvora::Updater::UpdaterLookAndFeel;
using Kelvora::Updater::UpdaterPanel;

const std::string sku = "KV-STUDIO";
const std::string windowTitle = "Auto Update";

// What the window's content looks like with a message and either the bar or the buttons,
// drawn with the program's own classes over the window's background.
juce::Image ExpectedContent(const std::string& message, bool buttons)
{
    UpdaterLookAndFeel lookAndFeel;
    juce::LookAndFeel::setDefaultLookAndFeel(&lookAndFeel);
    juce::Image image(juce::Image::RGB, 300, 100, true);
    {
        UpdaterPanel panel("main", {}, {});
        panel.setBounds(0, 0, 300, 100);
        panel.SetMessage(message);
        panel.ShowButtons(buttons);
        juce::Graphics g(image);
        g.fillAll(juce::Colours::lightgrey);
        panel.paintEntireComponent(g, false);
    }
    juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
    return image;
}

// Pixels of the window's content on the screen that differ clearly from the expected drawing.
int DifferingPixels(const Screenshot& shot, const XWindow& window, const juce::Image& expected)
{
    int differing = 0;
    for (int y = 0; y < expected.getHeight(); ++y) {
        for (int x = 0; x < expected.getWidth(); ++x) {
            const uint32_t actual = shot.Pixel(window.x + x, window.y + y);
            const juce::Colour want = expected.getPixelAt(x, y);
            const int dr = std::abs(static_cast<int>((actual >> 16) & 0xff) - want.getRed());
            const int dg = std::abs(static_cast<int>((actual >> 8) & 0xff) - want.getGreen());
            const int db = std::abs(static_cast<int>(actual & 0xff) - want.getBlue());
            differing += std::max({dr, dg, db}) > 40 ? 1 : 0;
        }
    }
    return differing;
}

class UpdaterProgramTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(XvfbServer::Available()) << "Xvfb, xwd, convert and xdotool are needed";
        x = std::make_unique<XvfbServer>();
        downloads = home.Path() / "Downloads";
        fs::create_directories(home.Path() / "product");
        product = (home.Path() / "product" / "app").string();
        fs::copy_file(TestProgramPath("print_args"), product);
        installer = ReadFile(TestProgramPath("print_args"));
    }

    static std::string Program() { return UPDATER_PROGRAM; }

    std::map<std::string, std::string> Environment(const std::map<std::string, std::string>& extra = {}) const
    {
        std::map<std::string, std::string> environment{
            {"HOME", home.String()},
            {"XDG_CONFIG_HOME", (home.Path() / "config").string()},
            {"DISPLAY", x->Display()},
        };
        for (const auto& entry : extra)
            environment[entry.first] = entry.second;
        return environment;
    }

    void Serve(HttpTestServer& server, const HttpTestFileOptions& options = {}, const std::string& checksum = "")
    {
        ServeRelease(server, sku, installer, options, checksum);
    }

    std::vector<std::string> Arguments(const std::string& server, const std::vector<std::string>& relaunch) const
    {
        std::vector<std::string> arguments{"--product-sku", sku, "--server", server, "--", product};
        arguments.insert(arguments.end(), relaunch.begin(), relaunch.end());
        return arguments;
    }

    static std::string ModulePath() { return fs::canonical(Program()).string(); }
    static std::string StartLines()
    {
        return "#### Log engine initialization.\nLOG - START THREAD " + ModulePath() + "\n";
    }
    static std::string AllFiveLines()
    {
        return StartLines() + "LOG - STOP THREAD asked " + ModulePath() + "\nLOG FLUSH DONE " + ModulePath() +
               "\n#### Log engine destruction.\n";
    }

    std::string InstallerPath() const { return (downloads / "setup").string(); }
    std::string InstallerArgs() const { return ReadFile(InstallerPath() + ".args"); }
    std::string ProductArgs() const { return ReadFile(product + ".args"); }
    bool Relaunched() const { return fs::exists(product + ".args"); }

    // The relaunched product runs on its own; give it the time to write its record.
    std::string WaitForProductArgs(const std::string& expected) const
    {
        WaitUntil([&] { return ProductArgs() == expected; }, 30);
        return ProductArgs();
    }

    // Waits until the window shows `message` with the buttons or the bar; false when it does not.
    bool WaitForContent(const XWindow& window, const std::string& message, bool buttons, int limitSeconds = 60)
    {
        const juce::Image expected = ExpectedContent(message, buttons);
        return WaitUntil(
            [&] {
                const Screenshot shot = x->Capture();
                lastDifference = shot.width == 0 ? -1 : DifferingPixels(shot, window, expected);
                return lastDifference >= 0 && lastDifference < 30;
            },
            limitSeconds);
    }

    JuceForTest framework;
    std::unique_ptr<XvfbServer> x;
    TempDir home;
    fs::path downloads;
    std::string product;
    std::string installer;
    int lastDifference = -1;
};

TEST_F(UpdaterProgramTest, SuccessRunsTheInstallerSilentlyAndRelaunchesTheProduct)
{
    HttpTestServer server;
    Serve(server);
    const ChildResult result =
        RunChild(Program(), Arguments(server.Url(), {"two words", "--server", "", "--", "x;y"}), Environment(), 120);

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out, StartLines()) << "a relaunch ends without the engine's closing lines";
    EXPECT_EQ(InstallerArgs(), "[" + InstallerPath() + "]\n[/SILENT]\n");
    const std::string relaunched = "[" + product + "]\n[two words]\n[--server]\n[]\n[--]\n[x;y]\n";
    EXPECT_EQ(WaitForProductArgs(relaunched), relaunched);
    EXPECT_FALSE(fs::exists(InstallerPath())) << "the installer is removed";
    EXPECT_FALSE(fs::exists(InstallerPath() + ".confirm"));
    const std::vector<RecordedRequest> resources = server.RequestsFor(ResourcesPath(sku));
    ASSERT_FALSE(resources.empty());
    EXPECT_EQ(resources.front().method, "GET");
}

TEST_F(UpdaterProgramTest, SuccessAgainstNginx)
{
    ASSERT_TRUE(NginxServer::Available());
    TempDir root;
    root.WriteFile("files/setup", installer);
    NginxServer nginx(root.String());
    ASSERT_TRUE(nginx.Started()) << nginx.Log();
    root.WriteFile(ResourcesPath(sku).substr(1), ReleaseJson(sku, nginx.Url("/files/setup"), installer));

    const ChildResult result = RunChild(Program(), Arguments(nginx.Url(), {"--flag=1"}), Environment(), 120);

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out, StartLines());
    EXPECT_EQ(InstallerArgs(), "[" + InstallerPath() + "]\n[/SILENT]\n");
    EXPECT_EQ(WaitForProductArgs("[" + product + "]\n[--flag=1]\n"), "[" + product + "]\n[--flag=1]\n");
    EXPECT_FALSE(fs::exists(InstallerPath()));
    EXPECT_FALSE(fs::exists(InstallerPath() + ".confirm"));
}

TEST_F(UpdaterProgramTest, UnreachableServerEndsWithOneAndNoWindow)
{
    ClosedPort closed;
    StartedChild child(Program(), Arguments("http://127.0.0.1:" + std::to_string(closed.Number()), {}), Environment());
    bool windowSeen = false;
    while (child.Running() && !windowSeen)
        windowSeen = !x->Windows(windowTitle).empty();
    const ChildResult result = child.Finish(60);

    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_FALSE(windowSeen);
    EXPECT_EQ(result.out, AllFiveLines());
    EXPECT_FALSE(Relaunched());
}

TEST_F(UpdaterProgramTest, ChecksumFailureEndsTheRunWithoutInstallOrRelaunch)
{
    HttpTestServer server;
    Serve(server, {}, std::string(32, '0'));
    const ChildResult result = RunChild(Program(), Arguments(server.Url(), {}), Environment(), 120);

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out, AllFiveLines());
    EXPECT_FALSE(fs::exists(InstallerPath() + ".args")) << "no install";
    EXPECT_FALSE(Relaunched());
    EXPECT_FALSE(fs::exists(InstallerPath() + ".confirm"));
}

TEST_F(UpdaterProgramTest, TransferDroppedEveryTimeIsResumedFiveTimesThenFails)
{
    constexpr size_t part = 1000;
    HttpTestServer server;
    HttpTestFileOptions options;
    options.adjust = [=](HttpTestAnswer& answer, size_t) { answer.dropAfterBytes = part; };
    Serve(server, options);
    const ChildResult result = RunChild(Program(), Arguments(server.Url(), {}), Environment(), 120);

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out, AllFiveLines());
    const std::vector<RecordedRequest> transfers = server.RequestsFor("/files/setup");
    ASSERT_EQ(transfers.size(), 6u) << "the first transfer and five resumed ones";
    EXPECT_EQ(transfers[0].range, "");
    for (size_t i = 1; i < transfers.size(); ++i)
        EXPECT_EQ(transfers[i].range, "bytes=" + std::to_string(i * part) + "-") << i;
    EXPECT_FALSE(fs::exists(InstallerPath() + ".args")) << "no install";
    EXPECT_FALSE(Relaunched());
}

TEST_F(UpdaterProgramTest, TransferDroppedTwiceIsResumedToTheWholeFile)
{
    installer = ReadFile(TestProgramPath("copy_self"));
    constexpr size_t part = 4000;
    HttpTestServer server;
    HttpTestFileOptions options;
    options.adjust = [=](HttpTestAnswer& answer, size_t index) {
        if (index < 2)
            answer.dropAfterBytes = part;
    };
    Serve(server, options);
    const ChildResult result = RunChild(Program(), Arguments(server.Url(), {"again"}), Environment(), 120);

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::vector<RecordedRequest> transfers = server.RequestsFor("/files/setup");
    ASSERT_EQ(transfers.size(), 3u);
    EXPECT_EQ(transfers[1].range, "bytes=4000-");
    EXPECT_EQ(transfers[2].range, "bytes=8000-");
    const std::string ran = ReadFile(InstallerPath() + ".self");
    EXPECT_EQ(ran.size(), installer.size());
    EXPECT_TRUE(ran == installer) << "the installer that ran is the file that was served";
    EXPECT_EQ(WaitForProductArgs("[" + product + "]\n[again]\n"), "[" + product + "]\n[again]\n");
}

TEST_F(UpdaterProgramTest, FailedInstallShowsBothButtonsAndQuitEndsWithoutRelaunch)
{
    HttpTestServer server;
    Serve(server);
    StartedChild child(Program(), Arguments(server.Url(), {}), Environment({{"PRINT_ARGS_EXIT", "1"}}));
    XWindow window;
    ASSERT_TRUE(x->WaitForWindow(windowTitle, window)) << "no window";
    EXPECT_EQ(window.width, 300);
    EXPECT_EQ(window.height, 100);
    ASSERT_TRUE(x->MovePointer(0, 0));
    EXPECT_TRUE(WaitForContent(window, "Install failed.", true)) << "differing pixels: " << lastDifference;
    EXPECT_EQ(InstallerArgs(), "[" + InstallerPath() + "]\n[/SILENT]\n");
    // Not the screen of another state: the bar with the progress message differs clearly.
    {
        const Screenshot shot = x->Capture();
        EXPECT_GT(DifferingPixels(shot, window, ExpectedContent("Install in progress...", false)), 300);
    }

    ASSERT_TRUE(x->Click(window.x + 225, window.y + 63)) << "Quit";
    const ChildResult result = child.Finish(60);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out, AllFiveLines());
    EXPECT_FALSE(Relaunched());
}

TEST_F(UpdaterProgramTest, LaunchInstallerButtonRunsTheInstallerWithoutSilent)
{
    HttpTestServer server;
    Serve(server);
    StartedChild child(Program(), Arguments(server.Url(), {}), Environment({{"PRINT_ARGS_EXIT", "1"}}));
    XWindow window;
    ASSERT_TRUE(x->WaitForWindow(windowTitle, window));
    ASSERT_TRUE(x->MovePointer(0, 0));
    ASSERT_TRUE(WaitForContent(window, "Install failed.", true)) << "differing pixels: " << lastDifference;

    ASSERT_TRUE(x->Click(window.x + 75, window.y + 63)) << "Launch Installer";
    EXPECT_TRUE(WaitUntil([&] { return InstallerArgs() == "[" + InstallerPath() + "]\n"; }, 60)) << InstallerArgs();
    // It fails again: the buttons are still there for the user.
    ASSERT_TRUE(x->MovePointer(0, 0));
    EXPECT_TRUE(WaitForContent(window, "Install failed.", true)) << "differing pixels: " << lastDifference;

    ASSERT_TRUE(x->Click(window.x + 225, window.y + 63));
    const ChildResult result = child.Finish(60);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_FALSE(Relaunched());
}

TEST_F(UpdaterProgramTest, CloseButtonDuringDownloadEndsWithoutRelaunchAndKeepsThePartialFile)
{
    constexpr size_t part = 3000;
    HttpTestServer server;
    HttpTestFileOptions options;
    options.adjust = [=](HttpTestAnswer& answer, size_t) {
        answer.stallAfterBytes = part;
        answer.stallFor = std::chrono::milliseconds(60000);
    };
    Serve(server, options);
    StartedChild child(Program(), Arguments(server.Url(), {}), Environment());
    XWindow window;
    ASSERT_TRUE(x->WaitForWindow(windowTitle, window));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(InstallerPath()) && fs::file_size(InstallerPath()) == part; }, 60));

    ASSERT_TRUE(x->RequestClose(window));
    const ChildResult result = child.Finish(60);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out, AllFiveLines());
    EXPECT_FALSE(Relaunched());
    EXPECT_FALSE(fs::exists(InstallerPath() + ".args")) << "no install";
    ASSERT_TRUE(fs::exists(InstallerPath())) << "the partial file is kept";
    EXPECT_EQ(fs::file_size(InstallerPath()), part);
}

TEST_F(UpdaterProgramTest, CommandLineWithoutUsableSkuPrintsTheUsageAndEndsWithOne)
{
    const std::string usage =
        "Usage: updater --product-sku SKU [-- RELAUNCH_ARG [RELAUNCH_ARG ...]]\n"
        "Example: updater --product-sku myproduct -- \"/Application/Kelvora/My Product.app\" myarg1 myarg2\n";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--server", "http://127.0.0.1:1"},
        {"--product-sku"},
        {"--product-sku", "A", "--product-sku"},
        {"--product-sku", ""},
        {"--server", "--product-sku"},
        {"--server", "--product-sku", "A"},
        {"--PRODUCT-SKU", "A"},
        {"-product-sku", "A"},
        {"--", "--product-sku", "A"},
        {"A", "B", "C"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        std::string shown;
        for (const std::string& argument : arguments)
            shown += "[" + argument + "]";
        const ChildResult result = RunChild(Program(), arguments, Environment(), 60);
        EXPECT_EQ(result.exitCode, 1) << shown << ": " << result.err;
        EXPECT_EQ(result.out, usage) << shown << ": the usage lines alone, no log engine";
        EXPECT_EQ(result.err, "") << shown;
    }
}

TEST_F(UpdaterProgramTest, CommandLineOptionsTakeTheNextArgumentAndTheLastOneWins)
{
    HttpTestServer server;
    ClosedPort closed;
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(closed.Number());
    struct Case
    {
        std::vector<std::string> arguments;
        std::string sku; // the one asked for; the server answers 404, so each run ends with 1
    };
    const Case cases[] = {
        {{"--product-sku", "A", "--product-sku", "B", "--server", server.Url()}, "B"},
        {{"--product-sku", "A", "--server", unreachable, "--server", server.Url()}, "A"},
        {{"--server", server.Url(), "--product-sku", "--", "X"}, "--"},
        {{"--product-sku", "--server", "--server", server.Url()}, "--server"},
        {{"ignored", "--product-sku", "C", "also", "--server", server.Url(), "--", "--server", unreachable}, "C"},
    };
    for (const Case& c : cases) {
        server.ClearRequests();
        const ChildResult result = RunChild(Program(), c.arguments, Environment(), 60);
        EXPECT_EQ(result.exitCode, 1) << c.sku << ": " << result.err;
        EXPECT_EQ(result.out, AllFiveLines()) << c.sku;
        const std::vector<RecordedRequest> requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u) << c.sku;
        EXPECT_EQ(requests.front().path, ResourcesPath(c.sku));
    }
}

TEST_F(UpdaterProgramTest, RelaunchArgumentsLoseOnlyTheQuotesTheUpdaterAdded)
{
    HttpTestServer server;
    Serve(server);
    const ChildResult result = RunChild(
        Program(), Arguments(server.Url(), {"\"pre quoted\"", "\"half", "tail\"", "", "--product-sku", "a b"}),
        Environment(), 120);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::string expected = "[" + product + "]\n[pre quoted]\n[half]\n[tail]\n[]\n[--product-sku]\n[a b]\n";
    EXPECT_EQ(WaitForProductArgs(expected), expected);
}

TEST_F(UpdaterProgramTest, RelaunchThatCannotStartEndsWithOneAfterTheCleanUp)
{
    TempDir other;
    const std::string notExecutable = other.WriteFile("text", "not a program\n").string();
    const std::vector<std::vector<std::string>> relaunches = {
        {""}, {"\""}, {"\"\""}, {(other.Path() / "missing").string()}, {notExecutable}, {other.String()},
        // A bare name is a file in the current folder, never one found in PATH.
        {"print_args"},
    };
    for (const std::vector<std::string>& relaunch : relaunches) {
        HttpTestServer server;
        Serve(server);
        std::vector<std::string> arguments{"--product-sku", sku, "--server", server.Url(), "--"};
        arguments.insert(arguments.end(), relaunch.begin(), relaunch.end());
        const ChildResult result =
            RunChild(Program(), arguments, Environment({{"PATH", fs::path(TestProgramPath("print_args")).parent_path().string()}}), 120);
        EXPECT_EQ(result.exitCode, 1) << relaunch.front() << ": " << result.err;
        EXPECT_EQ(result.out, AllFiveLines()) << relaunch.front();
        EXPECT_EQ(InstallerArgs(), "[" + InstallerPath() + "]\n[/SILENT]\n") << "the update itself went through";
        fs::remove(InstallerPath() + ".args");
    }
}

TEST_F(UpdaterProgramTest, SuccessWithoutRelaunchArgumentsEndsNormally)
{
    HttpTestServer server;
    Serve(server);
    const ChildResult result =
        RunChild(Program(), {"--product-sku", sku, "--server", server.Url(), "--"}, Environment(), 120);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out, AllFiveLines());
    EXPECT_EQ(InstallerArgs(), "[" + InstallerPath() + "]\n[/SILENT]\n");
}

TEST_F(UpdaterProgramTest, ReaderOfStandardOutputThatWentAwayDoesNotStopTheUpdate)
{
    HttpTestServer server;
    Serve(server);
    const std::string code = (home.Path() / "exit-code").string();
    // The reader is gone before the updater starts.
    std::vector<std::string> arguments{"-c", "{ sleep 0.5; \"$0\" \"$@\"; echo $? > " + code + "; } | true", Program()};
    const std::vector<std::string> updater = Arguments(server.Url(), {"after"});
    arguments.insert(arguments.end(), updater.begin(), updater.end());
    const ChildResult result = RunChild("/bin/sh", arguments, Environment(), 120);

    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(WaitUntil([&] { return !ReadFile(code).empty(); }, 30));
    EXPECT_EQ(ReadFile(code), "0\n");
    EXPECT_EQ(WaitForProductArgs("[" + product + "]\n[after]\n"), "[" + product + "]\n[after]\n");
}

} // namespace
