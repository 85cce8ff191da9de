// The front of the update library: one record per product (SKU, type) with its release
// description, installer and downloader, and the status machine that the client polls. The
// update window drives one product through it; every call comes from one thread, and events
// are delivered synchronously on that thread, nested in the call that raised them. One manager
// may exist at a time in a process.
#pragma once

#include "UpdateManager/DownloaderBackgrounder.h"
#include "UpdateManager/Events.h"
#include "UpdateManager/Installer.h"
#include "UpdateManager/ProductDescription.h"
#include "UpdateManager/ProductKey.h"
#include "UpdateManager/ProductScanner.h"
#include "UpdateManager/ProductStatus.h"
#include "common/CLog.h"
#include "common/EventSource.h"

#include <boost/filesystem/path.hpp>

#include <map>
#include <memory>
#include <string>

namespace Kelvora {
namespace UpdateManager {

// The record of one product. Copies share the downloader.
struct ProductData
{
    ProductData() = default;
    ProductData(const ProductDescription& description, const Installer& installer,
                std::shared_ptr<DownloaderBackgrounder> downloader);
    // A new record: default description and installer, a new downloader of that name.
    explicit ProductData(const std::string& downloaderName);

    ProductDescription description;
    // Status Error and not initialised until the first refresh of the record.
    Installer installer;
    // Its worker thread runs from construction until the last owner lets go.
    std::shared_ptr<DownloaderBackgrounder> downloader;
};

using ProductMap = std::map<ProductKey, ProductData>;

class UpdateManager : public EventSource<ProductListChangedEvent>,
                      public EventSource<ProductChangedEvent>,
                      public EventSource<DownloadProgressEvent>,
                      public EventSource<InstallFinishedEvent>
{
public:
    // Loads the scanner definitions (an empty path gives no rules) and takes the user's Downloads
    // folder as the download folder (empty when there is none: paths are then relative). Throws
    // std::logic_error while another manager exists: they would share the install thread.
    UpdateManager(const std::string& definitionFile, const std::string& serverUrl, const std::string& platform);
    // Ends the install thread first (it holds pointers into the records), then the records'
    // downloads and worker threads.
    virtual ~UpdateManager();
    UpdateManager(const UpdateManager&) = delete;
    UpdateManager& operator=(const UpdateManager&) = delete;

    // Creates the record when needed, asks the server for its description (blocking, up to the
    // HTTP time-out) and refreshes the record.
    void RegisterProduct(const ProductKey& key, const std::string& localVersion);
    void RegisterProduct(const std::string& sku, const std::string& type, const std::string& localVersion);

    // Creates missing records and fetches their descriptions; computes no status. An unreachable
    // server stops the asking for the rest of the call.
    void ProcessProductInfo(const LocalVersionMap& versions);

    // Points each record's installer at its description's file, recomputes its status, then
    // raises ProductListChangedEvent once (also for an empty range).
    void RefreshRecords(ProductMap::iterator first, ProductMap::iterator last);
    void RefreshRecords(ProductMap::iterator position);

    // Reads the local version again (the scanner for type "soft"), asks the server again and
    // refreshes the record.
    void RefreshProduct(const ProductKey& key);
    void RefreshProduct(const std::string& sku, const std::string& type);

    // Throws std::out_of_range for a key without a record.
    ProductData& GetProduct(const ProductKey& key);
    ProductData& GetProduct(const std::string& sku, const std::string& type);
    ProductMap& GetProducts() { return products; }

    // Where the installer of a download link is stored: the link's last segment, taken literally,
    // in the download folder. An empty path when that segment names no plain file (empty, ".",
    // ".." or holding a backslash): such a product gets no download and stays "unknown". A record
    // whose file another record already uses gets a name of its own beside it (InstallerFileOf).
    boost::filesystem::path GetInstallerFilePath(const std::string& url) const;

    // Debug listing of every record; builds nothing unless "update_manager" debug is enabled.
    void DumpProducts();
    // Registers every product that the scanner knows.
    void CreateData();
    // False, changing nothing, while a product downloads, starts or runs its installer.
    bool SetDownloadDir(const std::string& folder);
    void SetQueryServer(bool value) { queryServer = value; }

    // One poll over all records: carries download and install results into the statuses, queues
    // asked-for installs, logs and announces every change it sees. While the install thread has
    // a record's installer, nothing here or below recomputes its status, re-points, removes or
    // queues it again: the install thread's outcome is what the next poll sees.
    void UpdateStates();
    // Takes back at most one finished installation, refreshes its product and raises
    // InstallFinishedEvent.
    void CheckInstallFinished();

    // True when the download of the record's current release was handed to its downloader
    // ("download in progress"). Without force only from "update needed", "download paused" or
    // "download error"; force removes an earlier download first. A download of an earlier link is
    // removed and the record pointed at the current one first. False while the install thread
    // has the installer, and for paths that cannot be used (status "error").
    bool LaunchDownload(const ProductKey& key, bool force);
    bool LaunchDownload(const std::string& sku, const std::string& type, bool force);
    void LaunchDownloads();
    // True when the status moved from "installer available" to "installer start"; the next poll
    // queues the installer on the install thread.
    bool LaunchInstaller(const ProductKey& key, bool silent);
    bool LaunchInstaller(const std::string& sku, const std::string& type, bool silent);
    // True when the record exists; changes no status (the next poll sees the downloader's state).
    bool StopDownload(const ProductKey& key, bool wait);
    bool StopDownload(const std::string& sku, const std::string& type, bool wait);
    // Stops and waits for the download, removes the installer file and its ".confirm" file and
    // recomputes the status. False, removing nothing, when the record is missing, the install
    // thread has the installer or either path cannot be used; false when a file cannot be removed.
    bool CleanDownload(const ProductKey& key);
    bool CleanDownload(const std::string& sku, const std::string& type);
    bool IsDownloading(const ProductKey& key);
    bool IsDownloading(const std::string& sku, const std::string& type);

private:
    // Refuses a second manager while one lives; the first member, so it is released last.
    struct SoleInstance
    {
        SoleInstance();
        ~SoleInstance();
        SoleInstance(const SoleInstance&) = delete;
        SoleInstance& operator=(const SoleInstance&) = delete;
    };

    // Refreshes one record's installer and status; raises ProductChangedEvent for a new one.
    void RefreshRecord(ProductMap::value_type& record);
    // One record's step of UpdateStates, and its part for a running download.
    void PollRecord(ProductMap::value_type& record);
    void PollDownload(ProductMap::value_type& record);
    // The key's record; the end, with the line "Could not find product info for <SKU><doing>" at
    // `level`, when there is none.
    ProductMap::iterator FindRecord(const ProductKey& key, LogLevel level, const char* doing);
    // The record's installer file. Two records never use one file: when another record uses the
    // file of this one's link, this one gets its own (OwnInstallerFile), and keeps it while its
    // link names that file. Empty when the link names no installer file.
    boost::filesystem::path InstallerFileOf(const ProductMap::value_type& record) const;

    SoleInstance soleInstance;
    // Constructed after the guard, destroyed before it; the caller's thread only, like every field.
    ProductScanner scanner;
    std::string serverUrl;
    // Entries keep their place for the manager's life: the install thread points into them.
    ProductMap products;
    bool queryServer;
    std::string platform;
    std::string downloadDir;
};

} // namespace UpdateManager
} // namespace Kelvora
