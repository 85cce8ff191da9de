#include "tests/support/PeFileBuilder.h"

#include <cstring>

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

// One directory (offsets relative to the resource root) with a single ID entry.
void PutDirectory(std::string& rsrc, size_t offset, uint32_t id, uint32_t target)
{
    Put16(rsrc, offset + 14, 1);
    Put32(rsrc, offset + 16, id);
    Put32(rsrc, offset + 20, target);
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

std::string PeFileBuilder::Build() const
{
    // The resource section: type, name and language levels, one data entry, the version block.
    std::string rsrc;
    const uint32_t subdirectory = 0x80000000u;
    PutDirectory(rsrc, 0x00, fault == Fault::NoVersionResource ? 3 : 16, subdirectory | 0x18);
    PutDirectory(rsrc, 0x18, 1, subdirectory | 0x30);
    PutDirectory(rsrc, 0x30, 0x409, 0x48);
    const uint32_t blockOffset = 0x58;
    const uint32_t blockSize = 92;
    Put32(rsrc, 0x48, fault == Fault::ResourceOffsetPastEnd ? sectionRva + 0x100000 : sectionRva + blockOffset);
    Put32(rsrc, 0x4C, blockSize);
    Put16(rsrc, blockOffset, fault == Fault::BlockLongerThanData ? blockSize + 8 : blockSize);
    Put16(rsrc, blockOffset + 2, 52);
    const char16_t key[] = u"VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof(key) / sizeof(key[0]); ++i)
        Put16(rsrc, blockOffset + 6 + 2 * i, key[i]);
    const size_t info = blockOffset + 40;
    Put32(rsrc, info, fault == Fault::MissingSignature ? 0 : 0xFEEF04BD);
    Put32(rsrc, info + 4, 0x00010000);
    Put32(rsrc, info + 8, versionMS);
    Put32(rsrc, info + 12, versionLS);
    Put32(rsrc, info + 16, versionMS);
    Put32(rsrc, info + 20, versionLS);
    rsrc.resize(0x200, '\0');

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
