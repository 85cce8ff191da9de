#include "platform/VersionResource.h"

#include "platform/TextConversion.h"
#include "tests/support/PeFileBuilder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Fault = PeFileBuilder::Fault;

struct ReadInfo
{
    uint32_t size = 0;
    bool filled = false;
    bool queried = false;
    Platform::VS_FIXEDFILEINFO info{};
};

ReadInfo ReadAll(const boost::filesystem::path& file)
{
    ReadInfo result;
    const std::wstring name = Platform::NarrowToWide(file.string());
    uint32_t handle = 7;
    result.size = Platform::GetFileVersionInfoSizeW(name.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    std::vector<char> block(result.size + 1);
    result.filled = Platform::GetFileVersionInfoW(name.c_str(), 0, result.size, block.data());
    void* value = nullptr;
    unsigned length = 0;
    result.queried = result.filled && Platform::VerQueryValueW(block.data(), L"\\", &value, &length);
    if (result.queried) {
        EXPECT_EQ(length, sizeof(Platform::VS_FIXEDFILEINFO));
        result.info = *static_cast<const Platform::VS_FIXEDFILEINFO*>(value);
    }
    return result;
}

TEST(VersionResourceTest, ReadsFixedFileInfoOfPe32AndPe32Plus)
{
    TempDir dir;
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        const auto file =
            dir.WriteFile("app.exe", PeFileBuilder().FileVersion(300, 2, 65535, 4).Pe32Plus(plus).Build());
        const ReadInfo read = ReadAll(file);
        EXPECT_GT(read.size, 0u);
        ASSERT_TRUE(read.queried);
        EXPECT_EQ(read.info.dwSignature, Platform::versionSignature);
        EXPECT_EQ(read.info.dwFileVersionMS, (300u << 16) | 2u);
        EXPECT_EQ(read.info.dwFileVersionLS, (65535u << 16) | 4u);
    }
}

TEST(VersionResourceTest, MalformedFilesHaveNoVersionInformation)
{
    TempDir dir;
    const std::string good = PeFileBuilder().Build();
    struct Case
    {
        const char* name;
        std::string bytes;
        bool hasBlock; // a block is handed out, but holds no usable fixed information
    };
    const std::vector<Case> cases = {
        {"truncated headers", PeFileBuilder().WithFault(Fault::TruncatedHeaders).Build(), false},
        {"resource past the end", PeFileBuilder().WithFault(Fault::ResourceOffsetPastEnd).Build(), false},
        {"no RT_VERSION", PeFileBuilder().WithFault(Fault::NoVersionResource).Build(), false},
        {"block longer than its data", PeFileBuilder().WithFault(Fault::BlockLongerThanData).Build(), false},
        {"file cut inside the version block", good.substr(0, 0x200 + 0x60), false},
        {"missing signature", PeFileBuilder().WithFault(Fault::MissingSignature).Build(), true},
        {"not a PE file", "MZ plain text, no headers at all", false},
        {"empty file", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadInfo read = ReadAll(dir.WriteFile("broken.exe", c.bytes));
        EXPECT_EQ(read.size > 0, c.hasBlock);
        EXPECT_EQ(read.filled, c.hasBlock);
        EXPECT_FALSE(read.queried);
    }
}

TEST(VersionResourceTest, MissingFilesDirectoriesAndDevicesHaveNone)
{
    TempDir dir;
    for (const std::string& name : {dir.String() + "/missing.exe", dir.String(), std::string("/dev/zero")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadAll(name).size, 0u);
    }
}

TEST(VersionResourceTest, BufferSmallerThanTheInformationIsRefused)
{
    TempDir dir;
    const std::wstring name = Platform::NarrowToWide(dir.WriteFile("app.exe", PeFileBuilder().Build()).string());
    const uint32_t size = Platform::GetFileVersionInfoSizeW(name.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    EXPECT_FALSE(Platform::GetFileVersionInfoW(name.c_str(), 0, size - 1, block.data()));
}

TEST(VersionResourceTest, OnlyTheRootBlockIsKnown)
{
    TempDir dir;
    const std::wstring name = Platform::NarrowToWide(dir.WriteFile("app.exe", PeFileBuilder().Build()).string());
    const uint32_t size = Platform::GetFileVersionInfoSizeW(name.c_str(), nullptr);
    std::vector<char> block(size);
    ASSERT_TRUE(Platform::GetFileVersionInfoW(name.c_str(), 0, size, block.data()));
    void* value = nullptr;
    EXPECT_FALSE(Platform::VerQueryValueW(block.data(), L"\\StringFileInfo", &value, nullptr));
    EXPECT_TRUE(Platform::VerQueryValueW(block.data(), L"\\", &value, nullptr));
}

} // namespace
