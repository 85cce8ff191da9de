// One product's installer file: where it comes from, where it lies, whether it is partial or
// verified (with its ".confirm" file beside it), and how to run it. Held by each product record;
// the install thread runs it. Also the file helpers shared with the downloader's verification.
#pragma once

#include "UpdateManager/ProductStatus.h"

#include <boost/filesystem/path.hpp>

#include <atomic>
#include <cstdint>
#include <string>

namespace Kelvora {
namespace UpdateManager {

class Installer
{
public:
    Installer();
    Installer(const std::string& url, const boost::filesystem::path& installerFile, ProductStatus status,
              const std::string& localVersion, const std::string& latestVersion);
    Installer(const std::string& url, const boost::filesystem::path& installerFile, ProductStatus status);
    Installer(const Installer& other);
    Installer& operator=(const Installer& other);
    virtual ~Installer() = default;

    // Sets the source and status, then runs the state check. Never throws.
    void Initialize(const std::string& url, const boost::filesystem::path& installerFile, ProductStatus status,
                    const std::string& localVersion, const std::string& latestVersion,
                    const std::string& checksum = std::string());
    bool IsInitialized() const { return initialized; }
    // Leaves the status and downloaded size as they are; the caller runs the state check.
    void SetSource(const std::string& url, const boost::filesystem::path& installerFile);

    // Turns the versions, the installer file and its ".confirm" file into the status and the
    // resume offset. Leaves a running download and an installer with the install thread alone
    // and never deletes the installer file. `checksum` is the release's MD5 digest (empty when
    // the release gives none): a ".confirm" file of another digest is of another release, so the
    // file is no installer of this one ("update needed", downloaded afresh). Paths that cannot be
    // used (HasUsablePaths) give "error" with one error line. File-system errors are logged and
    // never thrown.
    void CheckState(const std::string& localVersion, const std::string& latestVersion,
                    const std::string& checksum = std::string());

    // The one rule for the installer file and its ".confirm" file, whatever reads, writes, runs
    // or removes them: each must be absent or a regular file (no folder, link, FIFO, device, nor
    // a name that cannot be looked up). False otherwise, with the offending path in `unusable`
    // and the reason in `why`. Never throws.
    bool HasUsablePaths(boost::filesystem::path& unusable, std::string& why) const;

    // Main thread only. The install thread has the installer from a hand-over until a poll has
    // read the outcome it stored (a status other than "install in progress"), or until the
    // installer is taken back; meanwhile nothing may recompute, re-point or remove it, so that
    // the outcome is what the poll sees.
    void MarkHandedOver();
    void MarkPolled(ProductStatus read);
    void MarkTakenBack();
    bool IsWithInstallThread() const;

    // Writes the ".confirm" file (size and checksum, CR LF line ends on every platform); an
    // empty checksum is replaced by the file's MD5 digest. The file is written beside its name
    // and renamed over it, so whatever held the name is never opened and a crash never leaves
    // half a record. False, with an error logged, when it cannot be written. Never throws.
    bool WriteConfirmFile(const std::string& checksum);
    boost::filesystem::path GetConfirmFilePath() const;

    // Install thread only: runs the installer file and stores the outcome in the status
    // (complete, error, or update needed when the file is missing). Paths that cannot be used
    // (HasUsablePaths) give "error": nothing is run or made executable. Never throws.
    void Install();
    // Starts the installer (quoted path, then "/SILENT" when silent), waits for it; true when
    // it ended with exit code 0. False when it cannot be started. Gives the file its owner's
    // execute bit first (a download has none here). Uses no field.
    static bool RunInstaller(const std::string& path, bool silent);

    std::string GetUrl() const { return url; }
    boost::filesystem::path GetInstallerFile() const { return installerFile; }
    int64_t GetDownloadedSize() const { return downloadedSize; }
    ProductStatus GetStatus() const { return status.load(); }
    double GetProgress() const { return progress.load(); }
    void SetSilent(bool value) { silent = value; }
    void SetStatus(ProductStatus value) { status.store(value); }

private:
    // HasUsablePaths, telling also which of the two files are there.
    struct PathsState
    {
        bool usable = true;
        bool installerPresent = false;
        bool confirmPresent = false;
        boost::filesystem::path unusable;
        std::string why;
    };
    PathsState InspectPaths() const;

    // Main thread only, except that the install thread reads installerFile and silent while
    // it holds the installer (the queue hand-over orders the main thread's writes before).
    bool initialized = false;
    // Hand-overs to the install thread not taken back yet, and whether a poll has read the outcome
    // of the last; main thread only.
    int handOvers = 0;
    bool outcomePolled = false;
    std::string url;
    boost::filesystem::path installerFile;
    int64_t downloadedSize = 0;
    // Written by the install thread, polled by the main thread.
    std::atomic<ProductStatus> status{ProductStatus::Error};
    bool silent = false;
    // Written by the install thread, polled by the main thread; -1.0 when none is known.
    std::atomic<double> progress{-1.0};
};

// MD5 digest of the file as 32 lower-case hexadecimal digits; empty when the file is missing,
// is no regular file or cannot be read to its end. Never throws.
std::string FileMd5Hex(const boost::filesystem::path& path);

// The file's size in bytes; 0 when it is missing or its size cannot be read (a directory, an
// access error). Never throws.
int64_t FileSizeOrZero(const boost::filesystem::path& path);

// The first entry of the directory, in listing order, for which HasExtension holds; an empty
// path when there is none, the directory is missing or cannot be read (logged).
boost::filesystem::path FindFileWithExtension(const boost::filesystem::path& directory,
                                              const std::string& extension);

// True when the path is a regular file and the text after the last '.' of the whole path
// equals the extension exactly. Never throws.
bool HasExtension(const std::string& extension, const boost::filesystem::path& path);

// The path when nothing is there, else the first free of path-1, path-2, ... Throws
// boost::filesystem::filesystem_error when a test fails.
boost::filesystem::path MakeUniquePath(const boost::filesystem::path& path);

// Attaches a disk image at a mount point that must not exist yet, with "/usr/bin/hdiutil";
// false (logged) on any failure. Never throws.
bool MountDiskImage(const boost::filesystem::path& image, const boost::filesystem::path& mountPoint);

// Unmounts with "umount -f"; false (logged) on any failure. Never throws.
bool UnmountDiskImage(const boost::filesystem::path& mountPoint);

} // namespace UpdateManager
} // namespace Kelvora
