#include "UpdateManager/ReadFileVersion.h"

#include "tests/support/PeFileBuilder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Kelvora::UpdateManager::ReadFileVersion;
using Fault = PeFileBuilder::Fault;

TEST(ReadFileVersionTest, MajorAndMinorKeepTheirLowEightBits)
{
    struct Case
    {
        uint16_t major, minor, build, revision;
        bool pe32Plus;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {1, 2, 3, 4, false, "1.2.3.4"},
        {256, 1, 2, 3, false, "0.1.2.3"},
        {300, 257, 0, 0, false, "44.1.0.0"},
        {1, 0, 65535, 65535, false, "1.0.65535.65535"},
        {10, 20, 30000, 40000, true, "10.20.30000.40000"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const auto file = dir.WriteFile(
            "app.exe", PeFileBuilder().FileVersion(c.major, c.minor, c.build, c.revision).Pe32Plus(c.pe32Plus).Build());
        std::string version = "before";
        EXPECT_TRUE(ReadFileVersion(file.string(), version));
        EXPECT_EQ(version, c.expected);
    }
}

TEST(ReadFileVersionTest, BrokenFilesGiveFalseAndLeaveTheVersion)
{
    TempDir dir;
    for (Fault fault : {Fault::TruncatedHeaders, Fault::ResourceOffsetPastEnd, Fault::MissingSignature,
                        Fault::NoVersionResource, Fault::BlockLongerThanData}) {
        SCOPED_TRACE(static_cast<int>(fault));
        const auto file = dir.WriteFile("broken.exe", PeFileBuilder().WithFault(fault).Build());
        std::string version = "before";
        EXPECT_FALSE(ReadFileVersion(file.string(), version));
        EXPECT_EQ(version, "before");
    }
    std::string version = "before";
    EXPECT_FALSE(ReadFileVersion((dir.Path() / "missing.exe").string(), version));
    EXPECT_EQ(version, "before");
}

TEST(ReadFileVersionTest, ReadsAFileWhoseNameIsNotAscii)
{
    TempDir dir;
    const auto file = dir.WriteFile("\xC3\xA9t\xC3\xA9.exe", PeFileBuilder().FileVersion(5, 6, 7, 8).Build());
    std::string version;
    EXPECT_TRUE(ReadFileVersion(file.string(), version));
    EXPECT_EQ(version, "5.6.7.8");
}

} // namespace
