#include "UpdateManager/UpdateManager.h"

#include "UpdateManager/DownloadFolder.h"
#include "UpdateManager/HttpClient.h"
#include "UpdateManager/InstallThread.h"
#include "UpdateManager/ProductDescriptionFactory.h"
#include "UpdateManager/ResourcesResponse.h"
#include "common/CLog.h"
#include "common/CTiming.h"
#include "common/Common.h"

#include <Poco/Exception.h>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

namespace fs = boost::filesystem;

namespace Kelvora {
namespace UpdateManager {

namespace {

CLog& Logger()
{
    return *CSingleton<CLog>::GetInstance();
}

// Text of an error from the libraries the manager calls; Poco's what() gives only the class name.
std::string ErrorText(const std::exception& error)
{
    if (const auto* poco = dynamic_cast<const Poco::Exception*>(&error))
        return poco->displayText();
    return error.what();
}

bool IsProductBusy(const ProductMap::value_type& record)
{
    const ProductStatus status = record.second.installer.GetStatus();
    return status == ProductStatus::DownloadInProgress || status == ProductStatus::InstallerStart
        || status == ProductStatus::InstallInProgress || record.second.installer.IsWithInstallThread();
}

// Runs `check`, the installer's state check, for the record. A check that throws (a file-system
// error) leaves "download error", which the poll leaves alone and a launch cleans up; false then.
// A record whose link names no installer file has nothing to download: "unknown" in place of
// "update needed", as for a release without a description.
template <class Check>
bool CheckRecordState(ProductData& record, Check check)
{
    Installer& installer = record.installer;
    try {
        check();
    } catch (const std::exception& error) {
        Logger().Error("update_manager", "Could not check the state of ", record.description.name, " (",
                       record.description.type, "/", record.description.sku, "): ", ErrorText(error));
        installer.SetStatus(ProductStatus::DownloadError);
        return false;
    }
    if (installer.GetInstallerFile().empty() && installer.GetStatus() == ProductStatus::UpdateNeeded)
        installer.SetStatus(ProductStatus::Unknown);
    return true;
}

bool CheckRecordState(ProductData& record)
{
    const ProductDescription& description = record.description;
    return CheckRecordState(record, [&] {
        record.installer.CheckState(description.localVersion, description.latestVersion, description.checksum);
    });
}

// Whether the record's installer file and ".confirm" file may be used; when not, one error line
// (`operation` and the product's name begin it) and, unless a download runs, the status "error".
bool HasUsablePaths(ProductData& record, const std::string& operation)
{
    fs::path unusable;
    std::string why;
    if (record.installer.HasUsablePaths(unusable, why))
        return true;
    const ProductDescription& description = record.description;
    Logger().Error("update_manager", operation, description.name, " (", description.type, "/", description.sku,
                   "): ", unusable, " cannot be used: ", why);
    if (record.installer.GetStatus() != ProductStatus::DownloadInProgress)
        record.installer.SetStatus(ProductStatus::Error);
    return false;
}

// Writes the ".confirm" file of a verified download; false (logged) when it cannot be written or
// something other than a regular file holds either name.
bool WriteConfirmFile(ProductData& record, const std::string& checksum)
{
    if (!HasUsablePaths(record, "Could not record the verified download of "))
        return false;
    if (record.installer.WriteConfirmFile(checksum))
        return true;
    Logger().Error("update_manager", "Could not write ", record.installer.GetConfirmFilePath(), ": write failed");
    return false;
}

// Hands an installer that was asked for to the install thread ("install in progress").
void QueueInstaller(Installer& installer)
{
    installer.SetStatus(ProductStatus::InstallInProgress);
    // Marked first: from the push on, the install thread may run it.
    installer.MarkHandedOver();
    try {
        if (!InstallThread::Add(&installer))
            installer.MarkTakenBack();
    } catch (const std::exception& error) {
        // Not queued, so nothing would ever end "install in progress".
        installer.MarkTakenBack();
        Logger().Error("update_manager", "Could not start the install thread: ", error.what());
        installer.SetStatus(ProductStatus::Error);
    }
}

// One manager at a time: the install thread is the process's one, and a manager takes every
// installer it hands back as its own.
std::atomic<bool> managerAlive{false};

} // namespace

ProductData::ProductData(const ProductDescription& description, const Installer& installer,
                         std::shared_ptr<DownloaderBackgrounder> downloader)
    : description(description), installer(installer), downloader(std::move(downloader))
{
}

ProductData::ProductData(const std::string& downloaderName)
    : downloader(std::make_shared<DownloaderBackgrounder>(downloaderName))
{
}

UpdateManager::SoleInstance::SoleInstance()
{
    if (managerAlive.exchange(true))
        throw std::logic_error("Kelvora::UpdateManager::UpdateManager: another update manager exists in this "
                               "process; only one may exist at a time");
}

UpdateManager::SoleInstance::~SoleInstance()
{
    managerAlive.store(false);
}

UpdateManager::UpdateManager(const std::string& definitionFile, const std::string& serverUrl,
                             const std::string& platform)
    : scanner(fs::path(definitionFile)),
      serverUrl(serverUrl),
      queryServer(true),
      platform(platform)
{
    Logger().Info("update_manager", " Initialize UpdateManager");
    // Without a Downloads folder the installer paths stay relative to the current directory.
    GetKnownFolderPath(Platform::KnownFolderId::Downloads, downloadDir);
}

UpdateManager::~UpdateManager()
{
    Logger().Info("update_manager", " Terminate UpdateManager");
    // The install thread holds pointers to installers inside the records: it ends first.
    CSingleton<InstallThread>::Destroy();
}

void UpdateManager::RegisterProduct(const ProductKey& key, const std::string& localVersion)
{
    ProcessProductInfo(LocalVersionMap{{key, localVersion}});
    const ProductMap::iterator position = products.find(key);
    if (position != products.end())
        RefreshRecords(position);
}

void UpdateManager::RegisterProduct(const std::string& sku, const std::string& type, const std::string& localVersion)
{
    RegisterProduct(ProductKey(sku, type), localVersion);
}

void UpdateManager::ProcessProductInfo(const LocalVersionMap& versions)
{
    CTiming timing("ProcessProductInfo", true);
    CLog& log = Logger();
    log.Info("update_manager", " Getting descriptions for all products");
    bool ask = queryServer;
    HttpClient client;
    for (const LocalVersionMap::value_type& entry : versions) {
        const ProductKey& key = entry.first;
        const std::string& sku = key.first;
        ProductMap::iterator position = products.find(key);
        if (position == products.end()) {
            const auto downloader = std::make_shared<DownloaderBackgrounder>(key.second + "/" + sku);
            position = products.emplace(key, ProductData(ProductDescription(), Installer(), downloader)).first;
        }
        ProductDescription& description = position->second.description;
        description.sku = sku;
        description.type = key.second;
        description.localVersion = entry.second;
        if (!ask)
            continue;

        // A bad server address or SKU makes the URL parser throw: that product gets no answer,
        // and the others of the call are still asked.
        try {
            const std::string url = serverUrl + BuildResourcesPath(sku, key.second, platform, "latest");
            boost::property_tree::ptree answer;
            if (!client.GetJson(url, answer, std::function<void()>())) {
                if (client.GetStatus() == TransferStatus::ConnectionFailed) {
                    log.Error("update_manager", " Could not connect to resources server.");
                    ask = false;
                } else {
                    log.Error("update_manager", " Could not get product information for ", sku,
                              ": invalid response (no response or invalid json format");
                }
                continue;
            }
            const ResourcesResponse response(answer);
            if (!response.IsValid()) {
                log.Warning("update_manager", " Could not get product information for ", sku,
                            ": invalid resource data");
                continue;
            }
            ProductDescription fresh;
            ProductDescriptionFactory factory;
            if (factory.Create(sku, key.second, entry.second, response.GetResource(), fresh))
                description = fresh;
            else
                log.Warning("update_manager", " Could not get product information for ", sku,
                            ": invalid description data");
        } catch (const std::exception& error) {
            log.Error("update_manager", " Could not get product information for ", sku, ": ", ErrorText(error));
        }
    }
}

void UpdateManager::RefreshRecords(ProductMap::iterator first, ProductMap::iterator last)
{
    for (ProductMap::iterator position = first; position != last; ++position)
        RefreshRecord(*position);
    DumpProducts();
    EventSource<ProductListChangedEvent>::Notify(ProductListChangedEvent());
}

void UpdateManager::RefreshRecords(ProductMap::iterator position)
{
    if (position == products.end())
        return;
    RefreshRecords(position, std::next(position));
}

void UpdateManager::RefreshRecord(ProductMap::value_type& record)
{
    ProductData& data = record.second;
    const ProductDescription& description = data.description;
    Installer& installer = data.installer;
    const fs::path target = InstallerFileOf(record);
    const bool created = !installer.IsInitialized();
    if (created) {
        CheckRecordState(data, [&] {
            installer.Initialize(description.url, target, ProductStatus::Unknown, description.localVersion,
                                 description.latestVersion, description.checksum);
        });
    } else {
        const ProductStatus status = installer.GetStatus();
        const bool moved = installer.GetUrl() != description.url || installer.GetInstallerFile() != target;
        // A running or paused download and a queued installer keep their file.
        if (moved && status != ProductStatus::DownloadInProgress && status != ProductStatus::DownloadPaused
            && status != ProductStatus::InstallerStart && status != ProductStatus::InstallInProgress
            && !installer.IsWithInstallThread())
            installer.SetSource(description.url, target);
        CheckRecordState(data);
    }
    if (installer.GetStatus() == ProductStatus::UpdateNeeded && !description.IsPlatformCompatible())
        installer.SetStatus(ProductStatus::UnsupportedOs);
    if (created)
        EventSource<ProductChangedEvent>::Notify(ProductChangedEvent(record.first));
}

void UpdateManager::RefreshProduct(const ProductKey& key)
{
    LocalVersionMap versions;
    if (key.second == productTypeSoft) {
        versions[key] = scanner.Scan(key.first).second;
    } else {
        try {
            versions[key] = GetProduct(key).description.localVersion;
        } catch (const std::out_of_range&) {
            // An unknown product of another type has no local version to ask with.
        }
    }
    ProcessProductInfo(versions);
    const ProductMap::iterator position = products.find(key);
    if (position != products.end())
        RefreshRecords(position);
}

void UpdateManager::RefreshProduct(const std::string& sku, const std::string& type)
{
    RefreshProduct(ProductKey(sku, type));
}

ProductData& UpdateManager::GetProduct(const ProductKey& key)
{
    return products.at(key);
}

ProductData& UpdateManager::GetProduct(const std::string& sku, const std::string& type)
{
    return GetProduct(ProductKey(sku, type));
}

fs::path UpdateManager::GetInstallerFilePath(const std::string& url) const
{
    return LinkedInstallerFile(downloadDir, url);
}

fs::path UpdateManager::InstallerFileOf(const ProductMap::value_type& record) const
{
    const fs::path linked = GetInstallerFilePath(record.second.description.url);
    if (linked.empty())
        return linked;
    const auto usedByAnother = [&](const fs::path& file) {
        return std::any_of(products.begin(), products.end(), [&](const ProductMap::value_type& other) {
            return other.first != record.first && other.second.installer.IsInitialized()
                && other.second.installer.GetInstallerFile() == file;
        });
    };
    const fs::path own = OwnInstallerFile(linked, record.first.second, record.first.first);
    // A record keeps the name of its own while its link names that file, so that it never moves
    // to the plain name (and away from its download) once the other record lets go of it.
    const Installer& installer = record.second.installer;
    if (installer.IsInitialized() && installer.GetInstallerFile() == own && !usedByAnother(own))
        return own;
    if (!usedByAnother(linked))
        return linked;
    if (!usedByAnother(own))
        return own;
    return fs::path();
}

ProductMap::iterator UpdateManager::FindRecord(const ProductKey& key, LogLevel level, const char* doing)
{
    const ProductMap::iterator position = products.find(key);
    if (position == products.end())
        Logger().Log("update_manager", static_cast<int>(level), "Could not find product info for ", key.first, doing);
    return position;
}

void UpdateManager::DumpProducts()
{
    CLog& log = Logger();
    if (!log.IsEnabled("update_manager", static_cast<int>(LogLevel::Debug)))
        return;
    log.Debug("update_manager", "  Local computed data:");
    for (const ProductMap::value_type& record : products) {
        const ProductDescription& d = record.second.description;
        log.Debug("update_manager", "Data for ", d.name, ":", "\n  URL:            ", d.url,
                  "\n  SKU:            ", d.sku, "\n  Type:           ", d.type, "\n  Local version:  ",
                  d.localVersion, "\n  Latest Version: ", d.latestVersion, "\n  Installer File: ",
                  record.second.installer.GetInstallerFile().string(), "\n  Status:         ",
                  ProductStatusToString(record.second.installer.GetStatus()));
    }
}

void UpdateManager::CreateData()
{
    Logger().Info("update_manager", "Create update manager data");
    ProcessProductInfo(scanner.ScanAll());
    RefreshRecords(products.begin(), products.end());
}

bool UpdateManager::SetDownloadDir(const std::string& folder)
{
    if (folder == downloadDir)
        return true;
    if (std::any_of(products.begin(), products.end(), IsProductBusy))
        return false;
    downloadDir = folder;
    RefreshRecords(products.begin(), products.end());
    return true;
}

void UpdateManager::UpdateStates()
{
    for (ProductMap::value_type& record : products)
        PollRecord(record);
}

void UpdateManager::PollRecord(ProductMap::value_type& record)
{
    const ProductKey& key = record.first;
    ProductData& data = record.second;
    Installer& installer = data.installer;
    const ProductStatus old = installer.GetStatus();
    installer.MarkPolled(old);
    switch (old) {
    case ProductStatus::DownloadInProgress:
        PollDownload(record);
        break;
    case ProductStatus::DownloadPaused:
    case ProductStatus::InstallerAvailable:
        CheckRecordState(data);
        break;
    case ProductStatus::InstallerStart:
        QueueInstaller(installer);
        break;
    case ProductStatus::InstallComplete:
        EventSource<ProductChangedEvent>::Notify(ProductChangedEvent(key));
        break;
    case ProductStatus::UnsupportedOs:
        return;
    default:
        break;
    }
    const ProductStatus now = installer.GetStatus();
    if (now != old) {
        Logger().Info("update_manager", "State for product ", data.description.sku, " (", data.description.type,
                      ") switch from ", ProductStatusToString(old), " to ", ProductStatusToString(now));
        EventSource<ProductChangedEvent>::Notify(ProductChangedEvent(key));
    }
}

void UpdateManager::PollDownload(ProductMap::value_type& record)
{
    const ProductKey& key = record.first;
    ProductData& data = record.second;
    Installer& installer = data.installer;
    const DownloadState downloadState = data.downloader->state.load();
    switch (downloadState) {
    case DownloadState::Idle:
        break;
    case DownloadState::Downloading: {
        DownloadProgressEvent event(key);
        event.progress = data.downloader->GetProgress();
        EventSource<DownloadProgressEvent>::Notify(event);
        break;
    }
    case DownloadState::Verified: {
        // Without its ".confirm" file a verified installer would pass for a partial one.
        if (!WriteConfirmFile(data, data.downloader->GetChecksum())) {
            installer.SetStatus(ProductStatus::DownloadError);
            break;
        }
        installer.SetStatus(ProductStatus::InstallerAvailable);
        DownloadProgressEvent event(key);
        event.progress = 100.0;
        event.finished = true;
        EventSource<DownloadProgressEvent>::Notify(event);
        if (data.description.url == installer.GetUrl()) {
            try {
                RefreshProduct(key);
            } catch (const std::exception& error) {
                // The verified installer stays available; only the new answer is lost.
                Logger().Error("update_manager", "Could not refresh ", key.first, " (", key.second, "): ",
                               ErrorText(error));
            }
        }
        break;
    }
    case DownloadState::Failed:
        installer.SetStatus(ProductStatus::DownloadError);
        break;
    case DownloadState::Stopped:
        installer.SetStatus(ProductStatus::DownloadPaused);
        break;
    default:
        // 3 is never stored and reads like Stopped.
        if (static_cast<int32_t>(downloadState) == 3)
            installer.SetStatus(ProductStatus::DownloadPaused);
        break;
    }
}

void UpdateManager::CheckInstallFinished()
{
    InstallThread* installThread = nullptr;
    try {
        installThread = CSingleton<InstallThread>::GetInstance();
    } catch (const std::exception& error) {
        Logger().Error("update_manager", "Could not start the install thread: ", error.what());
        return;
    }
    if (!installThread->HasFinished())
        return;
    Installer* finished = installThread->PopFinished();
    if (finished == nullptr)
        return;

    // The record that owns the installer; by file only for an installer that is no record's own
    // (handed to the install thread by another caller).
    using Record = ProductMap::value_type;
    ProductMap::iterator position = std::find_if(products.begin(), products.end(),
                                                 [&](const Record& r) { return &r.second.installer == finished; });
    if (position != products.end()) {
        position->second.installer.MarkTakenBack();
    } else {
        position = std::find_if(products.begin(), products.end(), [&](const Record& r) {
            return r.second.installer.GetInstallerFile() == finished->GetInstallerFile();
        });
    }
    CLog& log = Logger();
    if (position == products.end()) {
        log.Error("update_manager", " Could not find product information for ", finished->GetInstallerFile().string(),
                  " to process completed installer");
        return;
    }

    const ProductStatus status = finished->GetStatus();
    const ProductDescription& description = position->second.description;
    log.Info("update_manager", "Installation of ", description.name, finished->GetInstallerFile().string(),
             " complete with status ", ProductStatusToString(status));
    const ProductKey key(description.sku, description.type);
    EventSource<ProductChangedEvent>::Notify(ProductChangedEvent(key));
    try {
        RefreshProduct(key);
    } catch (const std::exception& error) {
        // The status is then not recomputed, so the installation cannot count as a success.
        log.Error("update_manager", "Could not refresh ", key.first, " (", key.second, "): ", ErrorText(error));
    }
    try {
        const bool success = status == ProductStatus::InstallComplete
            && GetProduct(key).installer.GetStatus() == ProductStatus::UpToDate;
        EventSource<InstallFinishedEvent>::Notify(InstallFinishedEvent(key, success));
        log.Notice("update_manager", "Install of product '", key.second, "/", key.first, "' ",
                   success ? "succeeded" : "failed or was cancelled");
    } catch (const std::out_of_range&) {
        log.Error("update_manager", "Product '", key.first, "' disapeared after install.");
        EventSource<InstallFinishedEvent>::Notify(InstallFinishedEvent(key, false));
    }
}

bool UpdateManager::LaunchDownload(const ProductKey& key, bool force)
{
    CLog& log = Logger();
    const ProductMap::iterator position = FindRecord(key, LogLevel::Error, " while launching download");
    if (position == products.end())
        return false;
    ProductData& data = position->second;
    const ProductDescription& description = data.description;
    Installer& installer = data.installer;
    if (installer.IsWithInstallThread()) {
        log.Warning("update_manager", " Attempt to launch download for ", description.name, " (", description.type,
                    "/", description.sku, ") but its installer is being run");
        return false;
    }

    // A launch downloads the current release. A record still pointed at an earlier link (a
    // paused download keeps its file across refreshes) leaves that download and is pointed anew;
    // a running one is first stopped by the clean below.
    const auto pointAtRelease = [&] {
        if (installer.GetUrl() != description.url)
            installer.SetSource(description.url, InstallerFileOf(*position));
    };
    if (installer.GetUrl() != description.url && installer.GetStatus() != ProductStatus::DownloadInProgress) {
        CleanDownload(key);
        pointAtRelease();
    }
    const std::string refusal = " Could not launch download for ";
    if (!HasUsablePaths(data, refusal))
        return false;

    // A failed download is cleaned even though the state check below takes its file for a
    // partial one: resuming a file that failed its checks would only fail them again.
    const bool failed = installer.GetStatus() == ProductStatus::DownloadError;
    CheckRecordState(data);
    if (installer.GetInstallerFile().empty()) {
        log.Error("update_manager", refusal, description.name, " (", description.type, "/", description.sku,
                  "): its download link names no installer file");
        return false;
    }
    if (failed || installer.GetStatus() == ProductStatus::DownloadError || force) {
        CleanDownload(key);
        pointAtRelease();
    }
    const ProductStatus status = installer.GetStatus();
    if (!force && status != ProductStatus::UpdateNeeded && status != ProductStatus::DownloadPaused
        && status != ProductStatus::DownloadError) {
        log.Warning("update_manager", " Attempt to launch download for ", description.name, " (", description.type, "/",
                    description.sku, ") but status is ", ProductStatusToString(status));
        return false;
    }

    const fs::path file = installer.GetInstallerFile();
    const fs::path folder = file.parent_path();
    try {
        const fs::path parent = folder.has_parent_path() ? folder.parent_path() : fs::path(".");
        // One level only: a missing parent is left to the downloader, which then fails to write.
        if (!folder.empty() && !fs::exists(folder) && fs::is_directory(parent) && !fs::create_directory(folder)) {
            log.Error("update_manager", "Can't create download dir '", folder, "'.");
            return false;
        }
    } catch (const fs::filesystem_error& error) {
        log.Error("update_manager", "Can't create download dir '", folder, "': ", error.what());
        return false;
    }

    // Again: the file may be new (another release's), or have appeared since.
    if (!HasUsablePaths(data, refusal))
        return false;
    log.Info("update_manager", " Launch download for ", description.name, " (", description.type, "/",
             description.sku, ")");
    const uint64_t size = std::min<uint64_t>(description.size, std::numeric_limits<int64_t>::max());
    data.downloader->Start(DownloaderBackgrounder::Data(installer.GetUrl(), file.string(), description.checksum,
                                                        static_cast<int64_t>(size), installer.GetDownloadedSize()));
    installer.SetStatus(ProductStatus::DownloadInProgress);
    return true;
}

bool UpdateManager::LaunchDownload(const std::string& sku, const std::string& type, bool force)
{
    return LaunchDownload(ProductKey(sku, type), force);
}

void UpdateManager::LaunchDownloads()
{
    for (const ProductMap::value_type& record : products)
        LaunchDownload(record.first, false);
}

bool UpdateManager::LaunchInstaller(const ProductKey& key, bool silent)
{
    CLog& log = Logger();
    const ProductMap::iterator position = FindRecord(key, LogLevel::Warning, " while launching install");
    if (position == products.end())
        return false;
    const ProductDescription& description = position->second.description;
    Installer& installer = position->second.installer;
    if (installer.GetStatus() != ProductStatus::InstallerAvailable) {
        log.Warning("update_manager", "Attempt to launch installer for ", description.name, " (", description.sku,
                    ") but installer is not available.");
        return false;
    }
    log.Info("update_manager", "Launch installer for ", description.name, " (", description.sku, ")");
    installer.SetSilent(silent);
    installer.SetStatus(ProductStatus::InstallerStart);
    return true;
}

bool UpdateManager::LaunchInstaller(const std::string& sku, const std::string& type, bool silent)
{
    return LaunchInstaller(ProductKey(sku, type), silent);
}

bool UpdateManager::StopDownload(const ProductKey& key, bool wait)
{
    const ProductMap::iterator position = FindRecord(key, LogLevel::Error, " while stopping download");
    if (position == products.end())
        return false;
    const ProductDescription& description = position->second.description;
    Logger().Info("update_manager", "Stop download for ", description.name, " (", description.sku, ")");
    position->second.downloader->Stop(wait);
    return true;
}

bool UpdateManager::StopDownload(const std::string& sku, const std::string& type, bool wait)
{
    return StopDownload(ProductKey(sku, type), wait);
}

bool UpdateManager::CleanDownload(const ProductKey& key)
{
    if (!StopDownload(key, true))
        return false;
    try {
        ProductData& data = products.at(key);
        Installer& installer = data.installer;
        if (installer.IsWithInstallThread()) {
            Logger().Warning("update_manager", "Could not clean the download of ", key.first,
                             ": its installer is being run");
            return false;
        }
        // An empty path names no file (its ".confirm" name would be one of the current folder).
        if (!installer.GetInstallerFile().empty()) {
            // Nothing is removed unless both names may be touched.
            fs::path unusable;
            std::string why;
            if (!installer.HasUsablePaths(unusable, why)) {
                Logger().Error("update_manager", "Could not remove ", unusable, ": ", why);
                return false;
            }
            if (!RemoveDownloadFile(installer.GetInstallerFile()) || !RemoveDownloadFile(installer.GetConfirmFilePath()))
                return false;
        }
        return CheckRecordState(data);
    } catch (const std::exception& error) {
        Logger().Error("update_manager", "Could not clean the download of ", key.first, ": ", ErrorText(error));
        return false;
    }
}

bool UpdateManager::CleanDownload(const std::string& sku, const std::string& type)
{
    return CleanDownload(ProductKey(sku, type));
}

bool UpdateManager::IsDownloading(const ProductKey& key)
{
    const ProductMap::iterator position = products.find(key);
    return position != products.end() && position->second.downloader->state.load() == DownloadState::Downloading;
}

bool UpdateManager::IsDownloading(const std::string& sku, const std::string& type)
{
    return IsDownloading(ProductKey(sku, type));
}

} // namespace UpdateManager
} // namespace Kelvora
