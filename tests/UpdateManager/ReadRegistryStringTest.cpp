#include "UpdateManager/ReadRegistryString.h"

#include "tests/support/LogTestSeam.h"
#include "tests/support/TestRegistryStore.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Kelvora::UpdateManager::ReadRegistryString;

const std::string rootError =
    "Reg Key is none of {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}\n The registrykey could not be resolved.";

TEST(ReadRegistryStringTest, RootIsChosenByItsNameInAnyCase)
{
    TestRegistryStore registry;
    registry.Write("[HKEY_CURRENT_USER\\Software\\V]\nDir=REG_SZ:user\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\V]\nDir=REG_SZ:machine\n"
                   "[HKEY_CLASSES_ROOT\\Software\\V]\nDir=REG_SZ:classes\n");
    struct Case
    {
        const wchar_t* key;
        bool result;
        const char* text;
        bool logged;
    };
    const std::vector<Case> cases = {
        {L"HKEY_CURRENT_USER\\Software\\V", true, "user", false},
        {L"hkey_local_machine\\Software\\V", true, "machine", false},
        {L"HKEY_CLASSES_ROOT\\Software\\V", true, "classes", false},
        // What stands between the root name and the first backslash is dropped.
        {L"HKEY_LOCAL_MACHINE_X\\Software\\V", true, "machine", false},
        {L"HKLM\\Software\\V", false, "", true},
        {L"HKEY_USERS\\Software\\V", false, "", true},
        {L"HKEY_LOCAL_MACHINE\\Software\\Missing", false, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key, c.key + wcslen(c.key)));
        LogCapture log({"external"});
        std::string out = "untouched";
        EXPECT_EQ(ReadRegistryString(c.key, L"Dir", out), c.result);
        EXPECT_EQ(out, c.result ? c.text : "untouched");
        EXPECT_EQ(log.Messages("external", "error"),
                  c.logged ? std::vector<std::string>{rootError} : std::vector<std::string>{});
    }
}

TEST(ReadRegistryStringTest, TakesOnlyWholeRegSzValues)
{
    TestRegistryStore registry;
    const std::string ascii2047(2047, 'a');
    const std::string eAcute = "\xC3\xA9";
    std::string twoByte1023; // 2046 bytes of narrow text
    for (int i = 0; i < 1023; ++i)
        twoByte1023 += eAcute;
    std::string twoByte1024 = twoByte1023 + eAcute; // 2048 bytes: no room for the terminator
    std::string noNul2048;                          // exactly fills the 2048-character buffer
    for (int i = 0; i < 2048; ++i)
        noNul2048 += " 61";
    registry.Write("[HKEY_LOCAL_MACHINE\\K]\n"
                   "Expand=REG_EXPAND_SZ:/opt/x\n"
                   "NoNul=REG_SZ#2f 6f 70 74\n"
                   "NoNulFull=REG_SZ#" + noNul2048 + "\n"
                   "Empty=REG_SZ:\n"
                   "Long2047=REG_SZ:" + ascii2047 + "\n"
                   "Long2048=REG_SZ:" + ascii2047 + "a\n"
                   "Narrow2046=REG_SZ:" + twoByte1023 + "\n"
                   "Narrow2048=REG_SZ:" + twoByte1024 + "\n"
                   "Unrepresentable=REG_SZ#2f 61 d800 62 0\n"
                   "Inner=REG_SZ#2f 61 0 62 0\n");
    struct Case
    {
        const wchar_t* name;
        bool result;
        std::string text;
    };
    const std::vector<Case> cases = {
        {L"Expand", false, ""},
        {L"NoNul", true, "/opt"},
        {L"NoNulFull", false, ""}, // 2048 bytes of narrow text do not fit with their terminator
        {L"Empty", true, ""},
        {L"Long2047", true, ascii2047},
        {L"Long2048", false, ""}, // 2049 characters with the NUL: larger than the buffer
        {L"Narrow2046", true, twoByte1023},
        {L"Narrow2048", false, ""},
        {L"Unrepresentable", true, "/a"},
        {L"Inner", true, "/a"},
        {L"Missing", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        std::string out = "untouched";
        EXPECT_EQ(ReadRegistryString(L"HKEY_LOCAL_MACHINE\\K", c.name, out), c.result);
        EXPECT_EQ(out, c.result ? c.text : "untouched");
    }
}

} // namespace
