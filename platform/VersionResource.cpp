#include "platform/VersionResource.h"

#include "platform/NativePath.h"
#include "platform/TextConversion.h"
#include "platform/UserLanguage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <vector>

namespace Platform {

namespace {

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "the fixed file information is 13 32-bit fields");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "VerQueryValueW hands out the file's little-endian fields in place");

constexpr uint16_t rtVersion = 16;
constexpr uint32_t subdirectoryFlag = 0x80000000u;
// "VS_VERSION_INFO" and its terminator in UTF-16, after the three 16-bit header fields; the
// fixed information follows at the next 32-bit boundary.
constexpr char16_t versionKey[] = u"VS_VERSION_INFO";
constexpr size_t versionKeyOffset = 6;
constexpr size_t fixedInfoOffset = 40;

uint32_t Le16(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

uint32_t Le32(const uint8_t* p)
{
    return Le16(p) | Le16(p + 2) << 16;
}

// Bounds-checked reads from one regular file.
class ImageFile
{
public:
    explicit ImageFile(const wchar_t* name)
    {
        if (name == nullptr)
            return;
        const size_t length = std::wcslen(name);
        std::vector<char> narrow(length * 4 + 1);
        bool usedDefault = false;
        if (WideToNarrow(name, -1, narrow.data(), static_cast<int>(narrow.size()), '?', &usedDefault) == 0 ||
            usedDefault)
            return;
        // Non-blocking, so that a FIFO or device named by a rule cannot stall the caller; such
        // files are refused below anyway.
        fd = ::open(ToNativePath(narrow.data()).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat info;
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            Close();
            return;
        }
        size = static_cast<uint64_t>(info.st_size);
    }
    ~ImageFile() { Close(); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    bool IsOpen() const { return fd >= 0; }

    bool Read(uint64_t offset, size_t count, std::vector<uint8_t>& out) const
    {
        if (fd < 0 || offset > size || count > size - offset)
            return false;
        out.resize(count);
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd, out.data() + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    void Close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    int fd = -1;
    uint64_t size = 0;
};

struct Section
{
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawPointer;
};

// The PE image's sections and its resource directory, with reads addressed by RVA.
class PeImage
{
public:
    explicit PeImage(const ImageFile& file) : file(file) {}

    bool Load(uint32_t& resourceRva)
    {
        std::vector<uint8_t> bytes;
        if (!file.Read(0, 64, bytes) || bytes[0] != 'M' || bytes[1] != 'Z')
            return false;
        const uint64_t peOffset = Le32(&bytes[0x3C]);
        if (!file.Read(peOffset, 24, bytes) || std::memcmp(bytes.data(), "PE\0\0", 4) != 0)
            return false;
        const uint32_t sectionCount = Le16(&bytes[6]);
        const uint32_t optionalSize = Le16(&bytes[20]);
        const uint64_t optionalOffset = peOffset + 24;
        if (!file.Read(optionalOffset, optionalSize, bytes) || optionalSize < 2)
            return false;
        // The data directories start at 96 (PE32) or 112 (PE32+), after their count.
        size_t directories = 0;
        const uint32_t magic = Le16(&bytes[0]);
        if (magic == 0x10B)
            directories = 96;
        else if (magic == 0x20B)
            directories = 112;
        else
            return false;
        const size_t resourceEntry = directories + 2 * 8;
        if (optionalSize < resourceEntry + 8 || Le32(&bytes[directories - 4]) < 3)
            return false;
        resourceRva = Le32(&bytes[resourceEntry]);
        if (resourceRva == 0 || Le32(&bytes[resourceEntry + 4]) == 0)
            return false;

        if (!file.Read(optionalOffset + optionalSize, static_cast<size_t>(sectionCount) * 40, bytes))
            return false;
        for (uint32_t i = 0; i < sectionCount; ++i) {
            const uint8_t* header = &bytes[i * 40];
            sections.push_back({Le32(header + 12), Le32(header + 16), Le32(header + 20)});
        }
        return true;
    }

    // Reads `count` bytes at `rva`; they must lie within one section's data in the file.
    bool ReadRva(uint64_t rva, size_t count, std::vector<uint8_t>& out) const
    {
        for (const Section& section : sections) {
            if (rva < section.virtualAddress)
                continue;
            const uint64_t delta = rva - section.virtualAddress;
            if (delta > section.rawSize || count > section.rawSize - delta)
                continue;
            return file.Read(section.rawPointer + delta, count, out);
        }
        return false;
    }

private:
    const ImageFile& file;
    std::vector<Section> sections;
};

constexpr uint32_t versionInfoId = 1; // VS_VERSION_INFO
constexpr uint32_t neutralLanguage = 0x0000;
constexpr uint32_t usEnglish = 0x0409;
constexpr uint32_t primaryLanguageMask = 0x03FF; // the sub-language is above it

// The entries of one resource directory level (offsets relative to the resource root): the
// string-named ones first, then the numbered ones in ascending order, as the linker writes them.
class Directory
{
public:
    bool Load(const PeImage& image, uint32_t root, uint32_t directory)
    {
        std::vector<uint8_t> header;
        if (!image.ReadRva(uint64_t{root} + directory, 16, header))
            return false;
        named = Le16(&header[12]);
        const uint32_t ids = Le16(&header[14]);
        count = named + ids;
        return count > 0 && image.ReadRva(uint64_t{root} + directory + 16, static_cast<size_t>(count) * 8, entries);
    }

    // The target of the numbered entry `id`.
    bool Find(uint32_t id, uint32_t& target) const
    {
        for (uint32_t i = named; i < count; ++i) {
            if (Le32(&entries[i * 8]) == id) {
                target = Le32(&entries[i * 8 + 4]);
                return true;
            }
        }
        return false;
    }

    uint32_t FirstTarget() const { return Le32(&entries[4]); }

private:
    std::vector<uint8_t> entries;
    uint32_t named = 0;
    uint32_t count = 0;
};

// Windows' resource loader's choice among the languages of one resource: neutral, the user's
// interface language, that language with a neutral sub-language (en_US finds 0x0009), US
// English, the first listed.
uint32_t PreferredLanguage(const Directory& languages)
{
    const uint32_t user = UserUiLanguage();
    uint32_t target = 0;
    for (const uint32_t language : {neutralLanguage, user, user & primaryLanguageMask, usEnglish}) {
        if (languages.Find(language, target))
            return target;
    }
    return languages.FirstTarget();
}

// The version block: the RT_VERSION resource numbered 1 (the one Windows reads; any other name
// or number is not version information), in the preferred language, cut to the length its own
// header states.
bool LoadVersionBlock(const wchar_t* fileName, std::vector<uint8_t>& block)
{
    ImageFile file(fileName);
    if (!file.IsOpen())
        return false;
    PeImage image(file);
    uint32_t root = 0;
    if (!image.Load(root))
        return false;
    Directory types;
    Directory names;
    Directory languages;
    uint32_t namesOffset = 0;
    uint32_t languagesOffset = 0;
    if (!types.Load(image, root, 0) || !types.Find(rtVersion, namesOffset) || !(namesOffset & subdirectoryFlag) ||
        !names.Load(image, root, namesOffset & ~subdirectoryFlag) || !names.Find(versionInfoId, languagesOffset) ||
        !(languagesOffset & subdirectoryFlag) || !languages.Load(image, root, languagesOffset & ~subdirectoryFlag))
        return false;
    const uint32_t dataEntry = PreferredLanguage(languages);
    if (dataEntry & subdirectoryFlag)
        return false;
    std::vector<uint8_t> entry;
    if (!image.ReadRva(uint64_t{root} + dataEntry, 16, entry))
        return false;
    const uint32_t dataRva = Le32(&entry[0]);
    const uint32_t dataSize = Le32(&entry[4]);
    if (dataSize < versionKeyOffset || !image.ReadRva(dataRva, 2, block))
        return false;
    const uint32_t length = Le16(&block[0]);
    if (length < versionKeyOffset || length > dataSize || !image.ReadRva(dataRva, length, block))
        return false;
    // The file may have changed between the two reads: a block whose length field no longer
    // matches would let its reader run past the copy.
    return Le16(&block[0]) == length;
}

} // namespace

uint32_t GetFileVersionInfoSizeW(const wchar_t* fileName, uint32_t* handle)
{
    if (handle != nullptr)
        *handle = 0;
    std::vector<uint8_t> block;
    if (!LoadVersionBlock(fileName, block))
        return 0;
    return static_cast<uint32_t>(block.size());
}

bool GetFileVersionInfoW(const wchar_t* fileName, uint32_t /*handle*/, uint32_t size, void* data)
{
    std::vector<uint8_t> block;
    if (data == nullptr || !LoadVersionBlock(fileName, block) || size < block.size())
        return false;
    std::memcpy(data, block.data(), block.size());
    return true;
}

bool VerQueryValueW(const void* block, const wchar_t* subBlock, void** buffer, unsigned* length)
{
    if (block == nullptr || subBlock == nullptr || buffer == nullptr || std::wcscmp(subBlock, L"\\") != 0)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(block);
    // The block's own length is all that bounds it; GetFileVersionInfoW filled at least that.
    const uint32_t blockLength = Le16(bytes);
    if (blockLength < fixedInfoOffset + sizeof(VS_FIXEDFILEINFO))
        return false;
    const uint32_t valueLength = Le16(bytes + 2);
    if (valueLength < sizeof(VS_FIXEDFILEINFO))
        return false;
    for (size_t i = 0; i < sizeof(versionKey) / sizeof(versionKey[0]); ++i) {
        if (Le16(bytes + versionKeyOffset + 2 * i) != static_cast<uint32_t>(versionKey[i]))
            return false;
    }
    if (Le32(bytes + fixedInfoOffset) != versionSignature)
        return false;
    *buffer = const_cast<uint8_t*>(bytes + fixedInfoOffset);
    if (length != nullptr)
        *length = sizeof(VS_FIXEDFILEINFO);
    return true;
}

} // namespace Platform
