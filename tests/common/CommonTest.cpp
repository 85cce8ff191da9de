#include "common/Common.h"

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/StdoutCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

using Kelvora::GetKnownFolderPath;
using Kelvora::GetSystemFolder;
using Kelvora::SystemFolder;
using Platform::KnownFolderId;

const std::string conversionMessage = "GetLastError after WideCharToMultiByte returned ";

TEST(CommonTest, SystemFolderLookups)
{
    ScopedEnvironment environment;
    environment.Set("HOME", "/home/tester");
    environment.Set("XDG_CONFIG_HOME", "/nonexistent-config");
    environment.Set("SystemDrive", "C:");
    struct Case
    {
        SystemFolder folder;
        std::string expected;
    } cases[] = {
        {SystemFolder::ProgramData, "/var/lib"},
        {SystemFolder::ProgramFilesX86, "/opt"},
        {SystemFolder::ProgramFilesX64, "/opt"},
        {SystemFolder::Desktop, "/home/tester/Desktop"},
        {SystemFolder::Downloads, "/home/tester/Downloads"},
        {SystemFolder::Profile, "/home/tester"},
        {SystemFolder::SystemDrive, "C:\\"},
    };
    for (const Case& c : cases) {
        std::string out = "unchanged";
        EXPECT_TRUE(GetSystemFolder(c.folder, out));
        EXPECT_EQ(out, c.expected);
    }
}

TEST(CommonTest, SystemFolderFailuresLeaveOutputUnchanged)
{
    ScopedEnvironment environment;
    std::string out = "unchanged";
    environment.Unset("SystemDrive");
    EXPECT_FALSE(GetSystemFolder(SystemFolder::SystemDrive, out));
    environment.Set("SystemDrive", "");
    EXPECT_FALSE(GetSystemFolder(SystemFolder::SystemDrive, out));
    EXPECT_FALSE(GetSystemFolder(static_cast<SystemFolder>(7), out));
    EXPECT_FALSE(GetSystemFolder(static_cast<SystemFolder>(-1), out));
    EXPECT_EQ(out, "unchanged");
}

TEST(CommonTest, KnownFolderWithoutHomeFailsSilently)
{
    ScopedEnvironment environment;
    for (bool unset : {true, false}) {
        if (unset)
            environment.Unset("HOME");
        else
            environment.Set("HOME", "");
        std::string out = "unchanged";
        StdoutCapture output;
        EXPECT_FALSE(GetKnownFolderPath(KnownFolderId::Downloads, out));
        EXPECT_FALSE(GetKnownFolderPath(KnownFolderId::Profile, out));
        EXPECT_EQ(output.Stop(), "");
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(CommonTest, KnownFolderPathMustFitInto260Bytes)
{
    ScopedEnvironment environment;
    environment.Set("XDG_CONFIG_HOME", "/nonexistent-config");
    // "/Downloads" adds 10 bytes: a home of 249 bytes gives 259 bytes, the most that fits.
    const std::string fits = "/" + std::string(248, 'h');
    environment.Set("HOME", fits);
    std::string out;
    EXPECT_TRUE(GetKnownFolderPath(KnownFolderId::Downloads, out));
    EXPECT_EQ(out.size(), 259u);

    environment.Set("HOME", fits + "h");
    out = "unchanged";
    StdoutCapture output;
    EXPECT_FALSE(GetKnownFolderPath(KnownFolderId::Downloads, out));
    EXPECT_EQ(output.Stop().rfind(conversionMessage, 0), 0u);
    EXPECT_EQ(out, "unchanged");
}

TEST(CommonTest, KnownFolderPathThatCannotBeConvertedFails)
{
    ScopedEnvironment environment;
    environment.Set("HOME", "/home/bad\xff" "byte");
    std::string out = "unchanged";
    StdoutCapture output;
    EXPECT_FALSE(GetKnownFolderPath(KnownFolderId::Profile, out));
    const std::string printed = output.Stop();
    EXPECT_EQ(printed.rfind(conversionMessage, 0), 0u) << printed;
    EXPECT_EQ(printed.back(), '\n');
    EXPECT_EQ(out, "unchanged");
}

TEST(CommonTest, NonAsciiFolderSurvivesTheConversion)
{
    ScopedEnvironment environment;
    environment.Set("HOME", "/home/j\xc3\xbcrgen");
    std::string out;
    EXPECT_TRUE(GetKnownFolderPath(KnownFolderId::Profile, out));
    EXPECT_EQ(out, "/home/j\xc3\xbcrgen");
}

TEST(CommonTest, RandomCharactersCoverTheirSets)
{
    std::srand(1);
    std::set<char> fileNameChars;
    std::set<char> alphaNum;
    for (int i = 0; i < 20000; ++i) {
        fileNameChars.insert(Kelvora::RandomFileNameChar());
        alphaNum.insert(Kelvora::RandomAlphaNumChar());
    }
    EXPECT_EQ(Kelvora::legalFileNameChars.size(), 74u);
    EXPECT_EQ(fileNameChars, std::set<char>(Kelvora::legalFileNameChars.begin(), Kelvora::legalFileNameChars.end()));
    EXPECT_EQ(alphaNum.size(), 62u);
    EXPECT_EQ(Kelvora::PathSeparator(), "\\");
}

} // namespace
