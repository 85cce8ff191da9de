// The release description of one product, as the resources server gives it, and the test of
// whether the running Windows version lies in the release's supported range.
#pragma once

#include <cstdint>
#include <string>

namespace Kelvora {
namespace UpdateManager {

struct ProductDescription
{
    std::string localVersion;
    std::string name;
    std::string sku;
    std::string type;
    std::string latestVersion;
    std::string url;
    std::string productPage;
    std::string releaseNotesUrl;
    std::string platformMinVersion;
    std::string platformMaxVersion;
    std::string platformDisplayVersion;
    uint64_t size = 0;       // 0 when the server gives none
    std::string checksum;    // MD5 as hexadecimal text; empty when the server gives none

    // True when the running system lies within [platformMinVersion, platformMaxVersion], both
    // inclusive, missing parts of the maximum matching everything; an empty bound admits every
    // system. False when a bound part that is read is not a number or out of range.
    bool IsPlatformCompatible() const;
};

// A version text of two to four dot-separated parts as a number that compares like the version
// (16 bits per part, the first part in the top bits). 0 for no usable version. Never throws.
uint64_t ParseVersion(const std::string& text);

} // namespace UpdateManager
} // namespace Kelvora
