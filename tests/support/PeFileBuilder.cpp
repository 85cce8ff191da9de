#include "tests/support/PeFileBuilder.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t sectionRva = 0x1000;
constexpr uint32_t sectionFileOffset = 0x200;

void Put16(std::string& bytes, size_t offset, uint32_t value)
{
    if (bytes.size() < offset + 2)
        bytes.resize(offset + 2, '\0');
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& bytes, size_t offset, uint32_t value)
{
    Put16(bytes, offset, value & 0xFFFF);
    Put16(bytes, offset + 2, value >> 16);
}

struct Entry
{
    uint32_t id;
    uint32_t target;
};

// One directory of numbered entries (offsets relative to the resource root).
void PutDirectory(std::string& rsrc, size_t offset, const std::vector<Entry>& entries)
{
    Put16(rsrc, offset + 14, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        Put32(rsrc, offset + 16 + 8 * i, entries[i].id);
        Put32(rsrc, offset + 20 + 8 * i, entries[i].target);
    }
}

} // namespace

PeFileBuilder& PeFileBuilder::FileVersion(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision)
{
    versionMS = uint32_t{major} << 16 | minor;
    versionLS = uint32_t{build} << 16 | revision;
    return *this;
}

PeFileBuilder& PeFileBuilder::Pe32Plus(bool on)
{
    pe32Plus = on;
    return *this;
}

PeFileBuilder& PeFileBuilder::WithFault(Fault chosen)
{
    fault = chosen;
    return *this;
}

PeFileBuilder& PeFileBuilder::Languages(std::vector<uint16_t> ids)
{
    languages = std::move(ids);
    return *this;
}

std::string PeFileBuilder::Build() const
{
    // The resource section: type, name and language levels, one data entry and one version
    // block per language.
    std::string rsrc;
    const uint32_t subdirectory = 0x80000000u;
    PutDirectory(rsrc, 0x00, {{fault == Fault::NoVersionResource ? 3u : 16u, subdirectory | 0x18}});
    PutDirectory(rsrc, 0x18, {{1, subdirectory | 0x30}});
    const std::vector<uint16_t> blocks = languages.empty() ? std::vector<uint16_t>{0x409} : languages;
    const uint32_t dataEntries = static_cast<uint32_t>(0x30 + 16 + 8 * blocks.size());
    std::vector<Entry> languageEntries;
    for (size_t i = 0; i < blocks.size(); ++i)
        languageEntries.push_back({blocks[i], static_cast<uint32_t>(dataEntries + 16 * i)});
    PutDirectory(rsrc, 0x30, languageEntries);
    const uint32_t blockSize = 92;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const uint32_t entry = static_cast<uint32_t>(dataEntries + 16 * i);
        const uint32_t blockOffset = static_cast<uint32_t>(dataEntries + 16 * blocks.size() + blockSize * i);
        Put32(rsrc, entry, fault == Fault::ResourceOffsetPastEnd ? sectionRva + 0x100000 : sectionRva + blockOffset);
        Put32(rsrc, entry + 4, blockSize);
        Put16(rsrc, blockOffset, fault == Fault::BlockLongerThanData ? blockSize + 8 : blockSize);
        Put16(rsrc, blockOffset + 2, 52);
        const char16_t key[] = u"VS_VERSION_INFO";
        for (size_t k = 0; k < sizeof(key) / sizeof(key[0]); ++k)
            Put16(rsrc, blockOffset + 6 + 2 * k, key[k]);
        const uint32_t fileVersionLS = languages.empty() ? versionLS : (versionLS & 0xFFFF0000u) | blocks[i];
        const size_t info = blockOffset + 40;
        Put32(rsrc, info, fault == Fault::MissingSignature ? 0 : 0xFEEF04BD);
        Put32(rsrc, info + 4, 0x00010000);
        Put32(rsrc, info + 8, versionMS);
        Put32(rsrc, info + 12, fileVersionLS);
        Put32(rsrc, info + 16, versionMS);
        Put32(rsrc, info + 20, fileVersionLS);
    }
    rsrc.resize((rsrc.size() + 0x1FF) / 0x200 * 0x200, '\0');

    std::string file(sectionFileOffset, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    const size_t pe = 0x40;
    Put32(file, 0x3C, pe);
    std::memcpy(&file[pe], "PE\0\0", 4);
    const size_t directories = pe32Plus ? 112 : 96;
    const uint32_t optionalSize = static_cast<uint32_t>(directories + 16 * 8);
    Put16(file, pe + 4, pe32Plus ? 0x8664 : 0x14C);
    Put16(file, pe + 6, 1);
    Put16(file, pe + 20, optionalSize);
    Put16(file, pe + 22, 0x0102);
    const size_t optional = pe + 24;
    Put16(file, optional, pe32Plus ? 0x20B : 0x10B);
    Put32(file, optional + directories - 4, 16);
    Put32(file, optional + directories + 2 * 8, sectionRva);
    Put32(file, optional + directories + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));
    const size_t section = optional + optionalSize;
    std::memcpy(&file[section], ".rsrc\0\0\0", 8);
    Put32(file, section + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(file, section + 12, sectionRva);
    Put32(file, section + 16, static_cast<uint32_t>(rsrc.size()));
    Put32(file, section + 20, sectionFileOffset);
    file.resize(sectionFileOffset, '\0');
    file += rsrc;
    if (fault == Fault::TruncatedHeaders)
        file.resize(pe + 40);
    return file;
}
