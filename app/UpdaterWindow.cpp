#include "app/UpdaterWindow.h"

#include "common/CLog.h"
#include "common/CSingleton.h"
#include "common/Common.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace Kelvora {
namespace Updater {

using UpdateManager::ProductChangedEvent;
using UpdateManager::ProductStatus;

namespace {

constexpr int contentWidth = 300;
constexpr int contentHeight = 100;
constexpr int tickMs = 50;
constexpr uint32_t maxDownloadRetries = 5;
constexpr auto retryPause = std::chrono::milliseconds(200);
const char* const localVersion = "0.0";

} // namespace

UpdaterWindow::SecondaryWindow::SecondaryWindow(const std::string& title)
    : juce::DocumentWindow(juce::String(title), juce::Colours::white, juce::DocumentWindow::allButtons, true)
{
}

void UpdaterWindow::SecondaryWindow::closeButtonPressed()
{
    setVisible(false);
}

UpdaterWindow::UpdaterWindow(const std::string& sku, const std::string& server)
    : juce::DocumentWindow("Auto Update", juce::Colours::lightgrey, juce::DocumentWindow::closeButton, true),
      panel("main", [this] { LaunchInstaller(); }, [this] { closeButtonPressed(); }),
      logWindow("Log window"),
      updateManager(std::make_unique<UpdateManager::UpdateManager>("", server.empty() ? resourcesServer : server,
                                                                  UpdateManager::platformWindows)),
      productKey(sku, UpdateManager::productTypeSoft)
{
}

UpdaterWindow::~UpdaterWindow()
{
    // Not the virtual call: this class's own Stop, whatever a subclass made of it.
    UpdaterWindow::Stop();
    // The panel is a member: take it out of the content holder before it goes.
    clearContentComponent();
}

void UpdaterWindow::closeButtonPressed()
{
    juce::JUCEApplication::quit();
}

void UpdaterWindow::Start()
{
    panel.setBounds(0, 0, contentWidth, contentHeight);
    downloadRetryCount = 0;
    if (!Guarded("registering the product", [this] { updateManager->RegisterProduct(productKey, localVersion); }))
        FailStart();
    updateManager->EventSource<ProductChangedEvent>::AddListener(this);

    bool started = false;
    const bool guarded = Guarded("starting the download", [this, &started] {
        try {
            const ProductStatus status = updateManager->GetProduct(productKey).installer.GetStatus();
            started = status != ProductStatus::Error && status != ProductStatus::Unknown &&
                      status != ProductStatus::UnsupportedOs && updateManager->LaunchDownload(productKey, true);
        } catch (const std::out_of_range&) {
            // No record: a failed start like the others, without a line of its own.
        }
    });
    if (!guarded || !started)
        FailStart();
    panel.SetMessage("Downloading latest version...");

    setUsingNativeTitleBar(true);
    centreWithSize(panel.getWidth(), panel.getHeight());
    setVisible(true);
    // Not owned: the panel is a member and goes with the window, exactly once.
    setContentNonOwned(&panel, true);
    toFront(true);
    setAlwaysOnTop(true);
    startTimer(tickMs);
}

void UpdaterWindow::Stop()
{
    stopTimer();
    if (updateManager != nullptr)
        updateManager->EventSource<ProductChangedEvent>::RemoveListener(this);
}

void UpdaterWindow::FailStart()
{
    // The exit-time clean-up deletes the log engine: no download worker may still run then and
    // log into it.
    updateManager.reset();
    std::exit(1);
}

void UpdaterWindow::OnEvent(const ProductChangedEvent&)
{
    try {
        UpdateManager::ProductData& product = updateManager->GetProduct(productKey);
        const ProductStatus status = product.installer.GetStatus();
        switch (status) {
        case ProductStatus::UpdateNeeded:
        case ProductStatus::DownloadInProgress:
            downloadRetryCount = 0;
            panel.SetMessage("Downloading latest version...");
            panel.SetProgress(product.downloader->GetProgress());
            break;
        case ProductStatus::DownloadPaused: {
            const uint32_t tried = downloadRetryCount++;
            if (tried < maxDownloadRetries) {
                updateManager->LaunchDownload(productKey, false);
                std::this_thread::sleep_for(retryPause);
            } else {
                panel.SetProgress(0.0);
                panel.SetMessage("Update failed.");
                finished = true;
            }
            break;
        }
        case ProductStatus::DownloadError:
        case ProductStatus::Error:
            panel.SetProgress(0.0);
            ShowFailure(true);
            break;
        case ProductStatus::InstallerAvailable:
            if (!installLaunched) {
                installLaunched = true;
                updateManager->LaunchInstaller(productKey, true);
                panel.SetMessage("Install in progress...");
                panel.SetProgress(-1.0);
            }
            break;
        case ProductStatus::InstallInProgress: {
            panel.SetMessage("Install in progress...");
            const double progress = product.installer.GetProgress();
            if (progress >= 0.0)
                panel.SetProgress(progress);
            break;
        }
        case ProductStatus::InstallComplete:
            updateManager->CleanDownload(productKey);
            relaunchRequested = true;
            finished = true;
            closeButtonPressed();
            break;
        default:
            std::cout << "Update status not handled: " << static_cast<int>(status) << std::flush;
            break;
        }
    } catch (const std::out_of_range&) {
        ProductMissing();
    }
}

void UpdaterWindow::timerCallback()
{
    Guarded("polling the update", [this] {
        updateManager->UpdateStates();
        updateManager->CheckInstallFinished();
    });

    try {
        UpdateManager::ProductData& product = updateManager->GetProduct(productKey);
        switch (product.installer.GetStatus()) {
        case ProductStatus::DownloadInProgress:
            panel.SetProgress(product.downloader->GetProgress());
            break;
        case ProductStatus::InstallInProgress: {
            const double progress = product.installer.GetProgress();
            if (progress >= 0.0)
                panel.SetProgress(progress);
            break;
        }
        case ProductStatus::DownloadError:
        case ProductStatus::Error:
            ShowFailure(false);
            break;
        default:
            break;
        }
    } catch (const std::out_of_range&) {
        ProductMissing();
    }

    if (finished)
        closeButtonPressed();
}

void UpdaterWindow::LaunchInstaller()
{
    Guarded("launching the installer", [this] {
        updateManager->RefreshProduct(productKey);
        if (updateManager->LaunchInstaller(productKey, false))
            setAlwaysOnTop(false);
    });
}

void UpdaterWindow::ShowFailure(bool fromEvent)
{
    if (installLaunched) {
        panel.SetMessage("Install failed.");
        panel.ShowButtons(true);
    } else {
        // The event names the failure; the timer only ends the run.
        if (fromEvent)
            panel.SetMessage("Update failed.");
        finished = true;
    }
}

void UpdaterWindow::ProductMissing()
{
    std::cout << "Error: Product " << productKey.first << " not found" << std::flush;
    panel.SetMessage("Update failed.");
    finished = true;
}

template <class Action>
bool UpdaterWindow::Guarded(const char* where, Action action)
{
    try {
        action();
        return true;
    } catch (const std::exception& error) {
        EndWithError(where, error.what());
    } catch (...) {
        EndWithError(where, "unknown exception");
    }
    return false;
}

void UpdaterWindow::EndWithError(const char* where, const char* what)
{
    CSingleton<CLog>::GetInstance()->Error("update_manager", "Unexpected error while ", where, ": ", what);
    panel.SetProgress(0.0);
    panel.SetMessage("Update failed.");
    finished = true;
}

} // namespace Updater
} // namespace Kelvora
