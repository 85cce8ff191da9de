// The application object: reads the command line, installs the look and feel, creates and
// starts the update window, and at the end keeps what the process entry needs to relaunch the
// product with the arguments that followed "--". Main thread only.
#pragma once

#include "app/UpdaterLookAndFeel.h"
#include "app/UpdaterWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <string>
#include <vector>

namespace Kelvora {
namespace Updater {

class JUCEUpdaterApplication : public juce::JUCEApplication
{
public:
    JUCEUpdaterApplication() = default;
    // The look and feel goes first, then the window (which shutdown has already deleted).
    ~JUCEUpdaterApplication() override = default;

    const juce::String getApplicationName() override { return "Updater"; }
    const juce::String getApplicationVersion() override { return "1.1.7.977"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    // Parses the command line (the framework's string is not used); on a missing or empty SKU
    // prints the usage lines and ends the process with exit code 1. Then the look and feel, the
    // window and its Start, which may end the process with exit code 1 too.
    void initialise(const juce::String& commandLine) override;
    // Keeps the window's relaunch request, deletes the window (joining the update's threads)
    // and resets the framework's default look and feel.
    void shutdown() override;
    void anotherInstanceStarted(const juce::String& commandLine) override;

    // The arguments that followed "--", each in double quotes; the first is the program.
    static std::vector<std::string> GetRelaunchArguments();
    static bool IsRelaunchRequested();

private:
    std::unique_ptr<UpdaterWindow> mainWindow;
    std::unique_ptr<UpdaterLookAndFeel> lookAndFeel;

    // Process-wide, main thread only: filled by initialise and shutdown, read after the loop.
    static std::vector<std::string> relaunchArguments;
    static bool relaunchRequested;
};

// The factory stored in the framework's createInstance.
juce::JUCEApplicationBase* CreateApplication();

// Starts the program named by the first argument (one leading and then one trailing double
// quote taken off) with the arguments, each less one enclosing pair of quotes, and ends the
// process at once with exit code 0, without the exit-time clean-up. When it cannot be started,
// ends the process with exit code 1 through exit, clean-up included. Never returns.
[[noreturn]] void RelaunchProduct(const std::vector<std::string>& arguments);

} // namespace Updater
} // namespace Kelvora
