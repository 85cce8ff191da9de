// The update window in the test's own process, on a private X server, driven by the framework's
// message loop: the texts, progress and buttons that a run leaves behind, which the real program
// shows only for the moment before its window closes.
#include "app/JUCEUpdaterApplication.h"
#include "app/UpdaterLookAndFeel.h"
#include "app/UpdaterWindow.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/JuceForTest.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdaterRelease.h"
#include "tests/support/XvfbServer.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <chrono>

namespace fs = boost::filesystem;

namespace {

using Kelvora::Updater::UpdaterLookAndFeel;
using Kelvora::Updater::UpdaterPanel;
using Kelvora::Updater::UpdaterWindow;

const std::string sku = "KV-WINDOW";

class UpdaterWindowTest : public testing::Test
{
protected:
    UpdaterWindowTest()
    {
        // The update manager takes the Downloads folder from HOME when it is built.
        environment.Set("HOME", home.String());
        environment.Set("XDG_CONFIG_HOME", (home.Path() / "config").string());
        juce::LookAndFeel::setDefaultLookAndFeel(&lookAndFeel);
    }
    ~UpdaterWindowTest() override { juce::LookAndFeel::setDefaultLookAndFeel(nullptr); }

    // Runs the message loop until the window quits the application; false when it does not
    // within `limitSeconds`.
    static bool RunUntilQuit(int limitSeconds = 90)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (!juce::MessageManager::getInstance()->runDispatchLoopUntil(50))
                return true;
        }
        return false;
    }

    // Runs the message loop until `condition` holds; false when it does not in time.
    static bool RunUntil(const std::function<bool()>& condition, int limitSeconds = 60)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= deadline ||
                !juce::MessageManager::getInstance()->runDispatchLoopUntil(50))
                return condition();
        }
        return true;
    }

    static UpdaterPanel& Panel(UpdaterWindow& window) { return dynamic_cast<UpdaterPanel&>(*window.getContentComponent()); }
    static juce::String Message(UpdaterWindow& window)
    {
        return dynamic_cast<juce::Label&>(*Panel(window).getChildComponent(0)).getText();
    }
    static bool BarVisible(UpdaterWindow& window) { return Panel(window).getChildComponent(1)->isVisible(); }
    static bool ButtonsVisible(UpdaterWindow& window)
    {
        return Panel(window).getChildComponent(2)->isVisible() && Panel(window).getChildComponent(3)->isVisible();
    }

    // As in the program, the framework takes itself for a standalone application, and so handles
    // the X errors of a display without a window manager itself instead of Xlib ending the process.
    static bool Standalone()
    {
        juce::JUCEApplicationBase::createInstance = &Kelvora::Updater::CreateApplication;
        return true;
    }

    XvfbServer x;
    TempDir home;
    ScopedEnvironment environment;
    bool standalone = Standalone();
    JuceForTest framework{x.Display()};
    UpdaterLookAndFeel lookAndFeel;
    const std::string installer = ReadFile(TestProgramPath("print_args"));
};

TEST_F(UpdaterWindowTest, StartShowsTheDownloadOnTopAndTheRunEndsWithARelaunchRequest)
{
    HttpTestServer server;
    ServeRelease(server, sku, installer);
    UpdaterWindow window(sku, server.Url());
    window.Start();
    EXPECT_EQ(Message(window), "Downloading latest version...");
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isAlwaysOnTop());
    EXPECT_EQ(window.getName(), "Auto Update");
    EXPECT_EQ(Panel(window).getBounds(), juce::Rectangle<int>(0, 0, 300, 100));
    EXPECT_EQ(window.getWidth(), 300);
    EXPECT_EQ(window.getHeight(), 100);

    ASSERT_TRUE(RunUntilQuit());
    EXPECT_TRUE(window.IsRelaunchRequested());
    EXPECT_EQ(ReadFile(home.Path() / "Downloads" / "setup.args"),
              "[" + (home.Path() / "Downloads" / "setup").string() + "]\n[/SILENT]\n");
    EXPECT_FALSE(fs::exists(home.Path() / "Downloads" / "setup"));
}

TEST_F(UpdaterWindowTest, FailedChecksumEndsWithUpdateFailed)
{
    HttpTestServer server;
    ServeRelease(server, sku, installer, {}, std::string(32, 'f'));
    UpdaterWindow window(sku, server.Url());
    window.Start();
    ASSERT_TRUE(RunUntilQuit());
    EXPECT_EQ(Message(window), "Update failed.");
    EXPECT_FALSE(window.IsRelaunchRequested());
    EXPECT_TRUE(BarVisible(window));
    EXPECT_FALSE(ButtonsVisible(window));
}

TEST_F(UpdaterWindowTest, FiveRetriesOfADroppedTransferThenUpdateFailed)
{
    HttpTestServer server;
    HttpTestFileOptions options;
    options.adjust = [](HttpTestAnswer& answer, size_t) { answer.dropAfterBytes = 500; };
    ServeRelease(server, sku, installer, options);
    UpdaterWindow window(sku, server.Url());
    window.Start();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunUntilQuit());
    EXPECT_EQ(Message(window), "Update failed.");
    EXPECT_EQ(server.RequestsFor("/files/setup").size(), 6u);
    // Each retry pauses 200 ms on the main thread: five of them at least a second.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_FALSE(window.IsRelaunchRequested());
}

TEST_F(UpdaterWindowTest, FailedInstallShowsInstallFailedWithButtonsAndKeepsRunning)
{
    environment.Set("PRINT_ARGS_EXIT", "1");
    HttpTestServer server;
    ServeRelease(server, sku, installer);
    UpdaterWindow window(sku, server.Url());
    window.Start();
    ASSERT_TRUE(RunUntil([&] { return ButtonsVisible(window); }));
    EXPECT_EQ(Message(window), "Install failed.");
    EXPECT_FALSE(BarVisible(window));
    // The run goes on until the user decides.
    EXPECT_FALSE(RunUntil([] { return false; }, 1));
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.IsRelaunchRequested());

    window.LaunchInstaller();
    EXPECT_FALSE(window.isAlwaysOnTop()) << "the installer's own window must be able to come first";
    const std::string record = (home.Path() / "Downloads" / "setup.args").string();
    EXPECT_TRUE(RunUntil([&] { return ReadFile(record) == "[" + (home.Path() / "Downloads" / "setup").string() + "]\n"; }));
    EXPECT_TRUE(RunUntil([&] { return Message(window) == "Install failed."; }));
    EXPECT_TRUE(ButtonsVisible(window));
}

} // namespace
