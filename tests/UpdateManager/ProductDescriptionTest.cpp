#include "UpdateManager/ProductDescription.h"
#include "UpdateManager/ProductKey.h"

#include "platform/WindowsVersion.h"

#include <gtest/gtest.h>

#include <vector>

namespace Kelvora {
namespace UpdateManager {
namespace {

TEST(ProductKeyTest, OrderedBySkuThenTypeBytewise)
{
    const std::vector<ProductKey> ordered = {
        {"A", "soft"}, {"A", "zip"}, {"ABC", "firmware"}, {"B", "firmware"}, {"a", "manual"},
    };
    for (size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_LT(ordered[i], ordered[i + 1]) << i;
        EXPECT_FALSE(ordered[i + 1] < ordered[i]) << i;
    }
    LocalVersionMap versions{{{"B", "soft"}, "2.0"}, {{"A", "zip"}, "1.0"}, {{"A", "soft"}, "0.0"}};
    EXPECT_EQ(versions.begin()->first, ProductKey("A", "soft"));
}

TEST(ProductDescriptionTest, DefaultIsEmpty)
{
    const ProductDescription description;
    for (const std::string* text : {&description.localVersion, &description.name, &description.sku, &description.type,
                                    &description.latestVersion, &description.url, &description.productPage,
                                    &description.releaseNotesUrl, &description.platformMinVersion,
                                    &description.platformMaxVersion, &description.platformDisplayVersion,
                                    &description.checksum})
        EXPECT_TRUE(text->empty());
    EXPECT_EQ(description.size, 0u);
}

TEST(ParseVersionTest, Cases)
{
    const uint64_t p48 = uint64_t{1} << 48, p32 = uint64_t{1} << 32, p16 = uint64_t{1} << 16;
    const struct {
        const char* text;
        uint64_t value;
    } cases[] = {
        {"", 0},
        {"1", 0},
        {"0.0", 0},
        {"1.2", p48 + 2 * p32},
        {"1.2.3.4", p48 + 2 * p32 + 3 * p16 + 4},
        {"1.2.3.4.5", p48 + 2 * p32 + 3 * p16 + 4},
        {"1.2.3.4.x", p48 + 2 * p32 + 3 * p16 + 4}, // parts after the fourth are not read
        {"65535.65535.65535.65535", ~uint64_t{0}},
        {"1.65536", 0},
        {"1.2.x", 0},
        {"1. 2", 0},
        {"1.2 ", 0},
        {"1..2", 0},
        {"1.", 0},
        {"+1.+2", p48 + 2 * p32},
        {"1.-1", p48 + 65535 * p32},
        {"1.-0", p48},
        {"1.+", 0},
        {"1.0x10", 0},
        {"1.99999999999999999999", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseVersion(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseVersionTest, ComparesLikeVersions)
{
    EXPECT_LT(ParseVersion("1.9"), ParseVersion("1.10"));
    EXPECT_LT(ParseVersion("1.2.65535"), ParseVersion("1.3"));
    EXPECT_LT(ParseVersion("0.0"), ParseVersion("0.0.0.1"));
}

struct Reported
{
    uint16_t major, minor, servicePack;
};

// Restores the platform's own answer (10.0 SP0) after each test.
class PlatformBoundsTest : public ::testing::Test
{
protected:
    ~PlatformBoundsTest() override { Platform::SetReportedWindowsVersionForTesting(10, 0, 0); }

    static bool Compatible(const Reported& system, const std::string& min, const std::string& max)
    {
        Platform::SetReportedWindowsVersionForTesting(system.major, system.minor, system.servicePack);
        ProductDescription description;
        description.platformMinVersion = min;
        description.platformMaxVersion = max;
        return description.IsPlatformCompatible();
    }
};

TEST_F(PlatformBoundsTest, Cases)
{
    const Reported v60{6, 0, 0}, v61sp1{6, 1, 1}, v62{6, 2, 0}, v100{10, 0, 0};
    const struct {
        Reported system;
        const char* min;
        const char* max;
        bool compatible;
    } cases[] = {
        {v61sp1, "", "", true},
        {v61sp1, "6.1", "", true},
        {v61sp1, "6.1.1", "", true},
        {v61sp1, "6.1.2", "", false},
        {v61sp1, "6.2", "", false},
        {v61sp1, "6", "", true},
        {v61sp1, "", "6.1", true},
        {v61sp1, "", "6.1.1", true},
        {v61sp1, "", "6.1.0", false},
        {v61sp1, "", "6.0", false},
        {v61sp1, "", "6", true},
        {v61sp1, "6.1", "6.1", true},
        {v60, "6.1", "6.1", false},
        {v62, "6.1", "6.1", false},
        {v62, "6.1", "6", true},
        {v60, "", "6.0", true},
        {v60, "", "6.0.0", true},
        {v61sp1, "6.1.0.9", "", true},       // fourth part ignored: 6.1.0
        {v60, "6.1.0.9", "", false},
        {v61sp1, "", "6.1.0.9", false},      // read as 6.1.0
        {v61sp1, "", "6. 1", true},          // blank after the dot skipped
        {v61sp1, "", "6.1 beta", true},      // reading stops at the blank
        {v61sp1, "x", "", false},
        {v61sp1, "6..1", "", false},
        {v61sp1, "6.a", "", false},
        {v61sp1, "", "x", false},
        {v61sp1, "", "6..1", false},
        {v61sp1, "6.4294967296", "", false}, // above 32 bits
        {v61sp1, "6.4294967295", "", false}, // low 16 bits: 6.65535
        {v61sp1, "6.65537", "", true},       // low 16 bits: 6.1
        {v61sp1, "6.-65535", "", true},      // negated modulo 2^32, low 16 bits: 6.1
        {v61sp1, "6.1", "x", false},         // a bad maximum spoils a good minimum
        {v61sp1, "x", "6.1", false},
        {v100, "", "", true},
        {v100, "6.1", "", true},
        {v100, "", "6.3", false},
        {v100, "", "10.0.65535", false},     // service pack + 1 wraps to 0: below 10.0.0 only
    };
    for (const auto& c : cases)
        EXPECT_EQ(Compatible(c.system, c.min, c.max), c.compatible)
            << c.system.major << "." << c.system.minor << " SP" << c.system.servicePack << " min \"" << c.min
            << "\" max \"" << c.max << '"';
}

TEST_F(PlatformBoundsTest, UnchangedPlatformReportsWindows10)
{
    EXPECT_TRUE(Platform::IsWindowsVersionOrGreater(10, 0, 0));
    EXPECT_FALSE(Platform::IsWindowsVersionOrGreater(10, 0, 1));
    EXPECT_FALSE(Platform::IsWindowsVersionOrGreater(10, 1, 0));
}

} // namespace
} // namespace UpdateManager
} // namespace Kelvora
