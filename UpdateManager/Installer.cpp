#include "UpdateManager/Installer.h"

#include "UpdateManager/DigestPipeline.h"
#include "UpdateManager/DownloadFolder.h"
#include "UpdateManager/ProductDescription.h"
#include "UpdateManager/ReadJson.h"
#include "common/CLog.h"
#include "platform/FileMode.h"
#include "platform/Process.h"
#include "platform/ReplaceFile.h"

#include <Poco/Crypto/DigestEngine.h>
#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

namespace fs = boost::filesystem;
namespace pt = boost::property_tree;

namespace Kelvora {
namespace UpdateManager {

namespace {

CLog& Logger()
{
    return *CSingleton<CLog>::GetInstance();
}

struct ConfirmRecord
{
    int64_t size = 0; // 0 when missing or not a 64-bit integer
    std::string checksum;
};

// "size" may be a JSON string or number; a ".confirm" file that cannot be read is empty.
ConfirmRecord ReadConfirmFile(const fs::path& confirm)
{
    pt::ptree tree;
    try {
        // Only a regular file is read: a folder or a FIFO of that name counts as unreadable.
        ReadJsonFile(confirm.string(), tree);
    } catch (const pt::ptree_error& error) {
        Logger().Error("update_manager", "Error reading confirm file ", confirm.string(), "(", error.what(), ")");
        return ConfirmRecord();
    }
    ConfirmRecord record;
    record.size = tree.get<int64_t>("size", 0, JsonNumber<int64_t>());
    record.checksum = tree.get<std::string>("checksum", "");
    return record;
}

// The file is written as Windows text mode writes it, so it is the same on every platform.
std::string WithCrLf(const std::string& text)
{
    std::string result;
    result.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n')
            result += '\r';
        result += c;
    }
    return result;
}

std::string CommandText(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments)
        text += (text.empty() ? "" : " ") + argument;
    return text;
}

} // namespace

Installer::Installer() = default;

Installer::Installer(const std::string& url, const fs::path& installerFile, ProductStatus status,
                     const std::string& localVersion, const std::string& latestVersion)
{
    Initialize(url, installerFile, status, localVersion, latestVersion);
}

Installer::Installer(const std::string& url, const fs::path& installerFile, ProductStatus status)
    : Installer(url, installerFile, status, std::string(), std::string())
{
}

Installer::Installer(const Installer& other)
    : initialized(other.initialized),
      handOvers(other.handOvers),
      outcomePolled(other.outcomePolled),
      url(other.url),
      installerFile(other.installerFile),
      downloadedSize(other.downloadedSize),
      status(other.status.load()),
      silent(other.silent),
      progress(other.progress.load())
{
}

Installer& Installer::operator=(const Installer& other)
{
    initialized = other.initialized;
    url = other.url;
    installerFile = other.installerFile;
    handOvers = other.handOvers;
    outcomePolled = other.outcomePolled;
    downloadedSize = other.downloadedSize;
    status.store(other.status.load());
    silent = other.silent;
    progress.store(other.progress.load());
    return *this;
}

void Installer::Initialize(const std::string& url, const fs::path& installerFile, ProductStatus status,
                           const std::string& localVersion, const std::string& latestVersion,
                           const std::string& checksum)
{
    this->url = url;
    this->installerFile = installerFile;
    this->status.store(status);
    downloadedSize = 0;
    CheckState(localVersion, latestVersion, checksum);
    initialized = true;
}

void Installer::SetSource(const std::string& url, const fs::path& installerFile)
{
    this->url = url;
    this->installerFile = installerFile;
}

fs::path Installer::GetConfirmFilePath() const
{
    return fs::path(installerFile.string() + ".confirm");
}

void Installer::MarkHandedOver()
{
    ++handOvers;
    outcomePolled = false;
}

void Installer::MarkPolled(ProductStatus read)
{
    if (handOvers > 0 && read != ProductStatus::InstallInProgress)
        outcomePolled = true;
}

void Installer::MarkTakenBack()
{
    if (handOvers > 0)
        --handOvers;
}

bool Installer::IsWithInstallThread() const
{
    return handOvers > 0 && (status.load() == ProductStatus::InstallInProgress || !outcomePolled);
}

bool Installer::HasUsablePaths(fs::path& unusable, std::string& why) const
{
    const PathsState paths = InspectPaths();
    unusable = paths.unusable;
    why = paths.why;
    return paths.usable;
}

Installer::PathsState Installer::InspectPaths() const
{
    PathsState paths;
    // No installer file, and so no ".confirm" file beside it either (not one of the current folder).
    if (installerFile.empty())
        return paths;
    const fs::path confirm = GetConfirmFilePath();
    if (!IsAbsentOrRegularFile(installerFile, paths.installerPresent, paths.why))
        paths.unusable = installerFile;
    else if (!IsAbsentOrRegularFile(confirm, paths.confirmPresent, paths.why))
        paths.unusable = confirm;
    paths.usable = paths.unusable.empty();
    return paths;
}

void Installer::CheckState(const std::string& localVersion, const std::string& latestVersion,
                           const std::string& checksum)
{
    downloadedSize = 0;
    // A running download is never judged by the file that is being written, nor an installer by
    // the file that the install thread runs: its outcome is what the next poll must see.
    if (status.load() == ProductStatus::DownloadInProgress || IsWithInstallThread())
        return;

    const uint64_t latest = ParseVersion(latestVersion);
    if (latest == 0) {
        status.store(ProductStatus::Unknown);
        return;
    }
    if (ParseVersion(localVersion) >= latest) {
        status.store(ProductStatus::UpToDate);
        return;
    }

    const PathsState paths = InspectPaths();
    if (!paths.usable) {
        Logger().Error("update_manager", paths.unusable, " cannot be used: ", paths.why);
        status.store(ProductStatus::Error);
        return;
    }
    if (!paths.installerPresent) {
        status.store(ProductStatus::UpdateNeeded);
        return;
    }

    const int64_t size = FileSizeOrZero(installerFile);
    if (paths.confirmPresent) {
        const fs::path confirm = GetConfirmFilePath();
        const ConfirmRecord record = ReadConfirmFile(confirm);
        if (size != 0 && size == record.size) {
            // The file is whole; whether it is this release's, only the digest tells. One of
            // another release is downloaded afresh, not resumed, and its record stays so that
            // the file is never taken for a partial one.
            const bool ofThisRelease = checksum.empty() || record.checksum == checksum;
            status.store(ofThisRelease ? ProductStatus::InstallerAvailable : ProductStatus::UpdateNeeded);
            return;
        }
        boost::system::error_code error;
        fs::remove(confirm, error);
        if (error)
            Logger().Error("update_manager", "Failed to remove ", confirm.string(), "(", error.message(), ")");
    }
    // The partial file is the resume point of the next download; it is never deleted here.
    downloadedSize = size;
    status.store(ProductStatus::DownloadPaused);
}

bool Installer::WriteConfirmFile(const std::string& checksum)
{
    const fs::path confirm = GetConfirmFilePath();
    try {
        pt::ptree tree;
        tree.put("size", std::to_string(FileSizeOrZero(installerFile)));
        tree.put("checksum", checksum.empty() ? FileMd5Hex(installerFile) : checksum);
        std::ostringstream json;
        pt::write_json(json, tree);
        if (!Platform::ReplaceFileWith(confirm.string(), WithCrLf(json.str()))) {
            Logger().Error("install", "Failed to write confirm file ", confirm.string(), "(", std::strerror(errno), ")");
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        Logger().Error("install", "Failed to write confirm file ", confirm.string(), "(", error.what(), ")");
        return false;
    }
}

void Installer::Install()
{
    try {
        Logger().Info("install", "Run ", installerFile.string());
        progress.store(-1.0);
        const PathsState paths = InspectPaths();
        if (!paths.usable) {
            Logger().Error("install", paths.unusable, " cannot be used: ", paths.why);
            status.store(ProductStatus::Error);
            return;
        }
        if (!paths.installerPresent) {
            Logger().Error("install", installerFile, " does not exist");
            status.store(ProductStatus::UpdateNeeded);
            return;
        }
        const bool succeeded = RunInstaller(installerFile.string(), silent);
        status.store(succeeded ? ProductStatus::InstallComplete : ProductStatus::Error);
    } catch (const std::exception& error) {
        // The status stays "install in progress", as the status machine set it.
        Logger().Error("install", "Failed to run installer: ", error.what());
    }
}

bool Installer::RunInstaller(const std::string& path, bool silent)
{
    Logger().Info("install", "Open", silent ? " silent" : "", " installer ", path);
    std::string quoted = path;
    if (quoted.empty() || quoted.front() != '"')
        quoted.insert(quoted.begin(), '"');
    if (quoted.size() < 2 || quoted.back() != '"')
        quoted.push_back('"');
    std::vector<std::string> arguments{quoted};
    if (silent)
        arguments.emplace_back("/SILENT");
    // A download carries no execute bit here; without one the start fails, which the exit code
    // below reports.
    Platform::MakeOwnerExecutable(path);
    return Platform::RunProcess(path, arguments) == 0;
}

std::string FileMd5Hex(const fs::path& path)
{
    try {
        // Poco::Crypto's engine is OpenSSL's MD5: the same digest as Poco's own, faster. Blocks of
        // 256 KiB rather than 8 KiB: a read costs a system call, and these are few per megabyte.
        Poco::Crypto::DigestEngine engine(Md5EngineName());
        std::vector<char> block(static_cast<size_t>(DigestPipeline::slotSize));
        if (DigestFileBytes(engine, path, -1, block) < 0)
            return std::string();
        return Poco::DigestEngine::digestToHex(engine.digest());
    } catch (const std::exception&) {
        return std::string();
    }
}

int64_t FileSizeOrZero(const fs::path& path)
{
    boost::system::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<int64_t>(size);
}

fs::path FindFileWithExtension(const fs::path& directory, const std::string& extension)
{
    try {
        if (!fs::exists(directory))
            return fs::path();
        for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
            if (HasExtension(extension, entry.path()))
                return entry.path();
        }
    } catch (const fs::filesystem_error& error) {
        Logger().Error("update_manager", "Error when trying to find file with extension ", extension,
                       " in directory ", directory, " : ", error.what());
    }
    return fs::path();
}

bool HasExtension(const std::string& extension, const fs::path& path)
{
    boost::system::error_code error;
    if (!fs::is_regular_file(path, error))
        return false;
    const std::string text = path.string();
    const size_t dot = text.rfind('.');
    const bool has = dot != std::string::npos && text.compare(dot + 1, std::string::npos, extension) == 0;
    Logger().Debug("install", text, has ? " has " : " does not have ", " the extension ", extension);
    return has;
}

fs::path MakeUniquePath(const fs::path& path)
{
    if (!fs::exists(path))
        return path;
    for (unsigned long number = 1;; ++number) {
        const fs::path candidate(path.string() + "-" + std::to_string(number));
        if (!fs::exists(candidate))
            return candidate;
    }
}

// The tools are started with an argument vector, never through a command interpreter, so a
// path with blanks, quotes or ';' reaches the tool as one argument and runs nothing else.
bool MountDiskImage(const fs::path& image, const fs::path& mountPoint)
{
    CLog& log = Logger();
    try {
        log.Info("install", "Mounting installer.");
        if (!fs::is_regular_file(image)) {
            log.Error("install", image, " is not a valid file and cannot be mounted");
            return false;
        }
        if (fs::exists(mountPoint)) {
            log.Error("install", "The target directory ", mountPoint, " already exists ");
            return false;
        }
        const std::vector<std::string> command{"/usr/bin/hdiutil", "attach", image.string(), "-mountpoint",
                                               mountPoint.string()};
        log.Debug("install", CommandText(command));
        const int result = Platform::RunProcess(command.front(), command);
        log.Debug("install", "Returned ", result);
        if (result == 0 && fs::exists(mountPoint)) {
            log.Debug("install", mountPoint, " has been succesfully mounted.");
            return true;
        }
        log.Error("install", "Failed to mount ", mountPoint, " (returned ", result, ")");
        return false;
    } catch (const fs::filesystem_error& error) {
        log.Error("install", "Failed to mount volume for installer: ", error.what());
        return false;
    }
}

bool UnmountDiskImage(const fs::path& mountPoint)
{
    CLog& log = Logger();
    try {
        if (!fs::exists(mountPoint)) {
            log.Error("install", "Cannot unmount ", mountPoint, " because the directory does not exist");
            return false;
        }
        // A full path: programs are never looked up in PATH.
        const std::vector<std::string> command{"/usr/bin/umount", "-f", mountPoint.string()};
        const int result = Platform::RunProcess(command.front(), command);
        if (result != 0 || fs::exists(mountPoint)) {
            log.Error("install", "Could not unmount ", mountPoint, " (returned ", result, ")");
            return false;
        }
        log.Debug("install", mountPoint, " unmounted succesfully");
        return true;
    } catch (const fs::filesystem_error& error) {
        log.Error("install", "Failed to unmount", mountPoint, ": ", error.what());
        return false;
    }
}

} // namespace UpdateManager
} // namespace Kelvora
