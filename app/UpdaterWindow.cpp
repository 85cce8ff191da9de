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
    stopTimer();
    if (updateManager != nullptr)
        updateManager->EventSource<ProductChangedEvent>::RemoveListener(this);
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
    try {
        updateManager->RegisterProduct(productKey, localVersion);
    } catch (const std::exception& error) {
        EndWithError("registering the product", error.what());
        FailStart();
    } catch (...) {
        EndWithError("registering the product", "unknown exception");
        FailStart();
    }
    updateManager->EventSource<ProductChangedEvent>::AddListener(this);

    try {
        const ProductStatus status = updateManager->GetProduct(productKey).installer.GetStatus();
        if (status == ProductStatus::Error || status == ProductStatus::Unknown || status == ProductStatus::UnsupportedOs)
            FailStart();
        if (!updateManager->LaunchDownload(productKey, true))
            FailStart();
        panel.SetMessage("Downloading latest version...");
    } catch (const std::out_of_range&) {
        FailStart();
    } catch (const std::exception& error) {
        EndWithError("starting the download", error.what());
        FailStart();
    } catch (...) {
        EndWithError("starting the download", "unknown exception");
        FailStart();
    }

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
    try {
        updateManager->UpdateStates();
        updateManager->CheckInstallFinished();
    } catch (const std::exception& error) {
        EndWithError("polling the update", error.what());
    } catch (...) {
        EndWithError("polling the update", "unknown exception");
    }

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
    try {
        updateManager->RefreshProduct(productKey);
        if (updateManager->LaunchInstaller(productKey, false))
            setAlwaysOnTop(false);
    } catch (const std::exception& error) {
        EndWithError("launching the installer", error.what());
    } catch (...) {
        EndWithError("launching the installer", "unknown exception");
    }
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

void UpdaterWindow::EndWithError(const char* where, const char* what)
{
    CSingleton<CLog>::GetInstance()->Error("update_manager", "Unexpected error while ", where, ": ", what);
    panel.SetProgress(0.0);
    panel.SetMessage("Update failed.");
    finished = true;
}

} // namespace Updater
} // namespace Kelvora
