// Test helpers for the update manager: the resources server's answer describing one release, a
// recorder of the manager's four events, and a poll that drives the manager as the update
// window's timer does. Used by the update manager's unit, road and benchmark code.
#pragma once

#include "UpdateManager/UpdateManager.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One release as the resources server describes it; Json() gives the whole answer
// {"total": 1, "resources": [...]}. Empty fields are left out of the answer.
struct ReleaseAnswer
{
    std::string sku;
    std::string name = "Kelvora Studio";
    std::string permalink;
    std::string version = "2.0";
    std::string size;
    std::string checksum;
    std::string platformMin;
    std::string platformMax;

    std::string Json() const;
};

// "/api/resources/<type>/<sku>/windows/latest": where the manager asks for a product's release.
std::string ResourcesPath(const std::string& sku, const std::string& type = "soft");

// Listens to all four events of one manager while it lives and keeps them, in order, as texts:
// "changed SKU/type", "list", "progress SKU/type" (with " finished" when so), "installed SKU/type
// true|false". Main thread only, like the manager.
class UpdateEventRecorder : public Kelvora::IEventListener<Kelvora::UpdateManager::ProductChangedEvent>,
                            public Kelvora::IEventListener<Kelvora::UpdateManager::ProductListChangedEvent>,
                            public Kelvora::IEventListener<Kelvora::UpdateManager::DownloadProgressEvent>,
                            public Kelvora::IEventListener<Kelvora::UpdateManager::InstallFinishedEvent>
{
public:
    explicit UpdateEventRecorder(Kelvora::UpdateManager::UpdateManager& manager);
    ~UpdateEventRecorder() override;
    UpdateEventRecorder(const UpdateEventRecorder&) = delete;
    UpdateEventRecorder& operator=(const UpdateEventRecorder&) = delete;

    void OnEvent(const Kelvora::UpdateManager::ProductChangedEvent& event) override;
    void OnEvent(const Kelvora::UpdateManager::ProductListChangedEvent& event) override;
    void OnEvent(const Kelvora::UpdateManager::DownloadProgressEvent& event) override;
    void OnEvent(const Kelvora::UpdateManager::InstallFinishedEvent& event) override;

    // Every event so far; without the progress events unless asked for.
    std::vector<std::string> Events(bool withProgress = false) const;
    const std::vector<Kelvora::UpdateManager::DownloadProgressEvent>& Progress() const { return progress; }
    void Clear();

    // Runs after a ProductChangedEvent has been recorded, nested in the manager's call.
    std::function<void(const Kelvora::UpdateManager::ProductChangedEvent&)> onChanged;

private:
    Kelvora::UpdateManager::UpdateManager& manager;
    std::vector<std::string> events;
    std::vector<Kelvora::UpdateManager::DownloadProgressEvent> progress;
};

// UpdateStates, then CheckInstallFinished, until `condition` holds; false when it still does not
// after `limitSeconds`.
bool PollUntil(Kelvora::UpdateManager::UpdateManager& manager, const std::function<bool()>& condition,
               int limitSeconds = 60);

// The product's status, or "no record".
std::string StatusOf(Kelvora::UpdateManager::UpdateManager& manager, const Kelvora::UpdateManager::ProductKey& key);
