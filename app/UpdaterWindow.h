// The program's one visible window, "Auto Update", and the driver of the update: it registers
// the product, starts its download, polls the update manager every 50 ms and reacts to its
// product changes with texts, progress, retries of a paused download, the silent install, the
// failure buttons and the relaunch request. Main thread only.
#pragma once

#include "UpdateManager/UpdateManager.h"
#include "app/UpdaterPanel.h"
#include "common/EventSource.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>
#include <memory>
#include <string>

namespace Kelvora {
namespace Updater {

class UpdaterWindow : public juce::DocumentWindow,
                      public IEventListener<UpdateManager::ProductChangedEvent>,
                      public juce::Timer
{
public:
    // An empty server means the built-in default.
    UpdaterWindow(const std::string& sku, const std::string& server);
    // Stops the timer and the listening, then the update manager joins its threads.
    ~UpdaterWindow() override;

    // Quits the application (also the "Quit" button's action).
    void closeButtonPressed() override;

    // Registers the product and starts the download, then shows the window and starts the timer.
    // Ends the process with exit code 1 when the update cannot start; no window is shown then.
    virtual void Start();
    virtual void Stop();

    void OnEvent(const UpdateManager::ProductChangedEvent& event) override;
    void timerCallback() override;
    // The "Launch Installer" button: asks the server again, then starts the installer (not
    // silently) when it is available.
    void LaunchInstaller();

    bool IsRelaunchRequested() const { return relaunchRequested; }

    // A second top-level window: created, never shown or filled.
    class SecondaryWindow : public juce::DocumentWindow
    {
    public:
        explicit SecondaryWindow(const std::string& title);
        void closeButtonPressed() override;
    };

private:
    // "download error" or "error": "Install failed." with the buttons once the install was
    // launched, else the end of the run ("Update failed." when an event announced it).
    void ShowFailure(bool fromEvent);
    // Ends a start that failed: exit code 1 once the update manager's threads have ended.
    [[noreturn]] void FailStart();
    // The product has no record: the diagnostic, "Update failed.", the end of the run.
    void ProductMissing();
    // Runs the update-manager calls of `action`; an exception that they let out (none should)
    // ends the run as a failed update through EndWithError. False when one did.
    template <class Action>
    bool Guarded(const char* where, Action action);
    // One error line, then the end of the run as a failed update.
    void EndWithError(const char* where, const char* what);

    // Every member: main thread only.
    UpdaterPanel panel;
    SecondaryWindow logWindow;
    // Owned for the window's whole life, but let go of before the process ends with exit code 1
    // from Start, so that no worker thread outlives it into the exit-time clean-up.
    std::unique_ptr<UpdateManager::UpdateManager> updateManager;
    bool finished = false;
    UpdateManager::ProductKey productKey;
    bool relaunchRequested = false;
    bool installLaunched = false;
    uint32_t downloadRetryCount = 0;
};

} // namespace Updater
} // namespace Kelvora
