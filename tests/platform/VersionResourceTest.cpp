#include "platform/VersionResource.h"

#include "platform/TextConversion.h"
#include "tests/support/PeFileBuilder.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
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

// The file version as text, or "none" when the file has no version information.
std::string VersionOf(const std::string& file)
{
    const ReadInfo read = ReadAll(file);
    if (!read.queried)
        return "none";
    return std::to_string(read.info.dwFileVersionMS >> 16) + "." + std::to_string(read.info.dwFileVersionMS & 0xFFFF) +
           "." + std::to_string(read.info.dwFileVersionLS >> 16) + "." + std::to_string(read.info.dwFileVersionLS & 0xFFFF);
}

// Real files made by the mingw-w64 toolchain from the scripts in tests/fixtures/pe: the version
// information is what Windows reads, resource 1 of RT_VERSION in the neutral language, else the
// user's, else the user's with a neutral sub-language, else US English, else the first.
TEST(VersionResourceTest, ReadsTheVersionInformationWindowsReads)
{
    struct Case
    {
        const char* fixture;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* version;
    };
    const Case cases[] = {
        {"version_id1", "", "", "en_US.UTF-8", "2.4.6.8"},
        {"version_id2", "", "", "en_US.UTF-8", "none"},
        {"version_named", "", "", "en_US.UTF-8", "none"},
        {"other_resources", "", "", "", "4.3.2.1"},
        {"no_version", "", "", "", "none"},
        // a neutral block wins over the user's own
        {"languages", "", "", "de_DE.UTF-8", "1.0.0.0"},
        {"languages", "", "", "de_AT", "1.0.0.0"},
        {"languages", "", "", "de_CH.UTF-8@euro", "1.0.0.0"},
        {"languages", "", "", "fr", "1.0.0.0"},
        {"languages", "", "", "ja_JP.UTF-8", "1.0.0.0"},
        {"languages", "", "", "C.UTF-8", "1.0.0.0"},
        {"languages", "", "", "", "1.0.0.0"},
        {"languages_no_neutral", "", "", "de_DE.UTF-8", "1.0.0.7"},
        {"languages_no_neutral", "", "", "fr_FR", "1.0.0.12"},
        {"languages_no_neutral", "fr_FR.UTF-8", "de_DE.UTF-8", "en_US.UTF-8", "1.0.0.12"},
        {"languages_no_neutral", "", "de_DE.UTF-8", "fr_FR.UTF-8", "1.0.0.7"},
        {"languages_no_neutral", "", "", "ja_JP.UTF-8", "1.0.0.9"},
        {"languages_no_neutral", "", "", "fr_CA", "1.0.0.9"}, // no Canadian French block
        {"languages_no_neutral", "", "", "de_AT", "1.0.0.9"}, // nor Austrian German
        {"languages_primary", "", "", "de_AT.UTF-8", "1.0.0.13"},
        {"languages_primary", "", "", "de_DE.UTF-8", "1.0.0.70"},
        {"languages_primary", "", "", "en_US.UTF-8", "1.0.0.90"},
        {"languages_primary", "", "", "en_GB", "1.0.0.90"},
        {"languages_primary", "", "", "fr_FR", "1.0.0.70"},
        {"languages_other", "", "", "en_US.UTF-8", "1.0.0.7"},
        {"languages_other", "", "", "fr_BE.UTF-8", "1.0.0.7"},
        {"languages_other", "", "", "fr_FR.UTF-8", "1.0.0.12"},
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        for (const auto& variable : {std::make_pair("LC_ALL", c.lcAll), std::make_pair("LC_MESSAGES", c.lcMessages),
                                     std::make_pair("LANG", c.lang)}) {
            if (*variable.second == '\0')
                environment.Unset(variable.first);
            else
                environment.Set(variable.first, variable.second);
        }
        for (const char* build : {"i686.exe", "i686.dll", "x86_64.exe", "x86_64.dll"}) {
            const std::string file = std::string(UPDATER_TEST_BIN_DIR) + "/pe/" + c.fixture + "-" + build;
            EXPECT_EQ(VersionOf(file), c.version) << file << " LC_ALL=" << c.lcAll << " LC_MESSAGES=" << c.lcMessages
                                                  << " LANG=" << c.lang;
        }
    }
}

// Among the blocks of several languages the one Windows' resource loader takes: neutral, the
// user's language, that language with a neutral sub-language, US English, the first listed.
// Each block's revision is its language, so the version read names the block.
TEST(VersionResourceTest, ChoosesTheLanguageInTheLoadersOrder)
{
    struct Case
    {
        std::vector<uint16_t> languages; // as listed in the file
        const char* lang;
        uint16_t chosen;
    };
    const Case cases[] = {
        // neutral before all
        {{0x0000, 0x0407}, "de_DE.UTF-8", 0x0000},
        {{0x0000, 0x0009, 0x0409}, "en_US", 0x0000},
        {{0x0000, 0x0409}, "C", 0x0000},
        // the user's language, before its neutral sub-language
        {{0x0007, 0x0407, 0x0409}, "de_DE", 0x0407},
        {{0x0007, 0x0C07}, "de_AT", 0x0C07},
        // the user's primary language with a neutral sub-language, before US English and the first
        {{0x0007, 0x0409}, "de_AT", 0x0007},
        {{0x0007, 0x0009}, "en_US.UTF-8", 0x0009},
        {{0x0009, 0x0409}, "en_NZ", 0x0009},
        // US English, when nothing of the user's language is there
        {{0x0407, 0x0409}, "fr_FR", 0x0409},
        {{0x0009, 0x0407, 0x0409}, "fr_CA", 0x0409},
        {{0x0407, 0x0409}, "C", 0x0409},
        // else the first listed, not the smallest, nor a sibling sub-language
        {{0x040C, 0x0407}, "ja_JP", 0x040C},
        {{0x0407, 0x0809}, "en_US", 0x0407},
        {{0x0809}, "en_US", 0x0809},
    };
    TempDir dir;
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        environment.Unset("LC_ALL");
        environment.Unset("LC_MESSAGES");
        environment.Set("LANG", c.lang);
        const auto file =
            dir.WriteFile("app.exe", PeFileBuilder().FileVersion(1, 0, 0, 0).Languages(c.languages).Build());
        std::ostringstream listed;
        for (const uint16_t language : c.languages)
            listed << " 0x" << std::hex << language;
        EXPECT_EQ(VersionOf(file.string()), "1.0.0." + std::to_string(c.chosen))
            << "LANG=" << c.lang << ", file:" << listed.str();
    }
}

TEST(VersionResourceTest, WindowsStylePathReachesTheSameFile)
{
    TempDir dir;
    dir.WriteFile("Vendor/app.exe", PeFileBuilder().FileVersion(1, 2, 3, 4).Build());
    EXPECT_EQ(VersionOf(dir.String() + "\\Vendor\\app.exe"), "1.2.3.4");
}

// A file rewritten while it is read: its version block's length field flips between the real
// length and a short one. Whatever is handed out must be a block as long as its own length
// field says, so that no reader of it runs past the copy.
TEST(VersionResourceTest, BlockOfAFileThatChangesWhileReadIsConsistent)
{
    TempDir dir;
    const std::string bytes = PeFileBuilder().FileVersion(1, 2, 3, 4).Build();
    const std::string key(reinterpret_cast<const char*>(u"VS_VERSION_INFO"), 30);
    const size_t keyAt = bytes.find(key);
    ASSERT_NE(keyAt, std::string::npos);
    const size_t lengthAt = keyAt - 6;
    const uint8_t realLength = static_cast<uint8_t>(bytes[lengthAt]);
    const auto file = dir.WriteFile("changing.exe", bytes);
    const std::wstring name = Platform::NarrowToWide(file.string());

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int fd = ::open(file.c_str(), O_WRONLY);
        for (uint8_t i = 0; !stop.load(); ++i) {
            const char length[2] = {static_cast<char>(i % 2 == 0 ? 8 : realLength), 0};
            if (::pwrite(fd, length, 2, static_cast<off_t>(lengthAt)) != 2)
                break;
        }
        ::close(fd);
    });
    std::vector<uint8_t> block(65536);
    int inconsistent = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int round = 0; round < 20000 && std::chrono::steady_clock::now() < deadline; ++round) {
        std::fill(block.begin(), block.end(), 0xAA);
        if (!Platform::GetFileVersionInfoW(name.c_str(), 0, static_cast<uint32_t>(block.size()), block.data()))
            continue;
        // Only the length field changes in the file, so a consistent copy holds the file's own
        // bytes up to that length and nothing behind it.
        const size_t length = block[0] | block[1] << 8;
        const bool consistent = (length == 8 || length == realLength) &&
                                std::equal(block.begin() + 2, block.begin() + static_cast<long>(length),
                                           bytes.begin() + static_cast<long>(lengthAt + 2),
                                           [](uint8_t copied, char inFile) { return copied == uint8_t(inFile); }) &&
                                block[length] == 0xAA;
        if (!consistent)
            ++inconsistent;
    }
    stop.store(true);
    writer.join();
    EXPECT_EQ(inconsistent, 0);
}

} // namespace
