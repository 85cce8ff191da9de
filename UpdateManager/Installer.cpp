#include "UpdateManager/Installer.h"

#include "UpdateManager/ProductDescription.h"
#include "common/CLog.h"
#include "platform/Process.h"

#include <Poco/Crypto/Crypto.h>
#include <Poco/Crypto/DigestEngine.h>
#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
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

// A test that cannot complete counts as "does not exist".
bool ExistsOrWarn(const fs::path& path)
{
    boost::system::error_code error;
    const bool present = fs::exists(path, error);
    if (error) {
        Logger().Warning("update_manager", "Failed to check file existence. (", error.message(), ")");
        return false;
    }
    return present;
}

// "size" may be a JSON string or number; anything that is not a 64-bit integer counts as 0.
int64_t ReadConfirmSize(const fs::path& confirm)
{
    pt::ptree tree;
    try {
        pt::read_json(confirm.string(), tree);
    } catch (const pt::ptree_error& error) {
        Logger().Error("update_manager", "Error reading confirm file ", confirm.string(), "(", error.what(), ")");
        return 0;
    }
    return tree.get<int64_t>("size", 0);
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
    downloadedSize = other.downloadedSize;
    status.store(other.status.load());
    silent = other.silent;
    progress.store(other.progress.load());
    return *this;
}

void Installer::Initialize(const std::string& url, const fs::path& installerFile, ProductStatus status,
                           const std::string& localVersion, const std::string& latestVersion)
{
    this->url = url;
    this->installerFile = installerFile;
    this->status.store(status);
    downloadedSize = 0;
    CheckState(localVersion, latestVersion);
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

void Installer::CheckState(const std::string& localVersion, const std::string& latestVersion)
{
    downloadedSize = 0;
    // A running download is never judged by the file that is being written.
    if (status.load() == ProductStatus::DownloadInProgress)
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

    const fs::path confirm = GetConfirmFilePath();
    const bool installerPresent = ExistsOrWarn(installerFile);
    const bool confirmPresent = installerPresent && ExistsOrWarn(confirm);
    if (!installerPresent) {
        status.store(ProductStatus::UpdateNeeded);
        return;
    }
    // A directory (an empty or '/'-ended link names the download folder itself) is no
    // installer and no resume point: download afresh.
    boost::system::error_code error;
    if (!fs::is_regular_file(installerFile, error)) {
        Logger().Warning("update_manager", installerFile, " is not a regular file");
        status.store(ProductStatus::UpdateNeeded);
        return;
    }

    const int64_t size = FileSizeOrZero(installerFile);
    if (confirmPresent) {
        if (size != 0 && size == ReadConfirmSize(confirm)) {
            status.store(ProductStatus::InstallerAvailable);
            return;
        }
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

        std::ofstream out(confirm.string(), std::ios::binary | std::ios::trunc);
        out << WithCrLf(json.str());
        out.close();
        if (!out) {
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
        if (!fs::exists(installerFile)) {
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
    return Platform::RunProcess(path, arguments) == 0;
}

std::string FileMd5Hex(const fs::path& path)
{
    try {
        boost::system::error_code error;
        if (!fs::exists(path, error))
            return std::string();
        std::ifstream in;
        // Unbuffered: each 8192-byte read goes straight into our buffer, with no extra copy.
        in.rdbuf()->pubsetbuf(nullptr, 0);
        in.open(path.string(), std::ios::binary);
        if (!in)
            return std::string();
        // Poco::Crypto's engine is OpenSSL's MD5: the same digest as Poco's own, faster. Each
        // block goes to it whole: a DigestOutputStream would split it into 256-byte updates,
        // which costs about 4% of the throughput.
        // Each engine initialises OpenSSL's Poco glue on construction and tears it down when the
        // last one goes; two download workers hashing at once can then free the glue's mutexes
        // twice. Initialised once for the process, the count never falls back to zero.
        static const bool cryptoInitialized = (Poco::Crypto::initializeCrypto(), true);
        static_cast<void>(cryptoInitialized);
        Poco::Crypto::DigestEngine engine("MD5");
        constexpr std::streamsize bufferSize = 8192;
        std::vector<char> buffer(bufferSize);
        for (;;) {
            in.read(buffer.data(), bufferSize);
            const std::streamsize count = in.gcount();
            // A read error is no end of file: a digest of part of the file would pass for
            // the whole file's.
            if (in.bad())
                return std::string();
            engine.update(buffer.data(), static_cast<std::size_t>(count));
            if (count < bufferSize)
                break;
        }
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
        const std::vector<std::string> command{"umount", "-f", mountPoint.string()};
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
