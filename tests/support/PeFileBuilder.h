// Writes small but real PE executables carrying a version resource with a chosen file version,
// and broken variants of them, for the version-resource tests and the fuzzers' seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class PeFileBuilder
{
public:
    enum class Fault {
        None,
        TruncatedHeaders,      // the file ends inside the PE headers
        ResourceOffsetPastEnd, // the version data lie beyond the end of the file
        MissingSignature,      // the fixed file information lacks 0xFEEF04BD
        NoVersionResource,     // resources, but none of type RT_VERSION
        BlockLongerThanData,   // the version block claims more bytes than its resource holds
    };

    PeFileBuilder& FileVersion(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision);
    PeFileBuilder& Pe32Plus(bool on = true);
    PeFileBuilder& WithFault(Fault fault);
    // The version block once per language, listed in this order (a linker lists them
    // ascending), each with the language identifier as its file version's revision so that a
    // test sees which one was read. By default one block, in US English (0x0409), with the
    // revision FileVersion gives.
    PeFileBuilder& Languages(std::vector<uint16_t> ids);

    // The whole file's bytes.
    std::string Build() const;

private:
    uint32_t versionMS = 0x00010000;
    uint32_t versionLS = 0;
    bool pe32Plus = false;
    Fault fault = Fault::None;
    std::vector<uint16_t> languages;
};
