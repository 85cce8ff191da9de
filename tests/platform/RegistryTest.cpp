#include "platform/Registry.h"

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TestRegistryStore.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

namespace {

using namespace Platform;

struct Query
{
    long status = -1;
    uint32_t type = 0;
    uint32_t size = 0;
    std::wstring text; // the data as characters, NULs included
};

Query QueryValue(HKEY root, const wchar_t* subKey, const wchar_t* name, uint32_t bufferBytes = 256)
{
    Query query;
    HKEY key = nullptr;
    query.status = RegOpenKeyExW(root, subKey, 0, KEY_READ, &key);
    if (query.status != ERROR_SUCCESS)
        return query;
    std::vector<wchar_t> buffer(bufferBytes / sizeof(wchar_t) + 1);
    query.size = bufferBytes;
    query.status = RegQueryValueExW(key, name, nullptr, &query.type, reinterpret_cast<uint8_t*>(buffer.data()),
                                    &query.size);
    if (query.status == ERROR_SUCCESS)
        query.text.assign(buffer.data(), query.size / sizeof(wchar_t));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    return query;
}

const char* const store = "# a comment\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\n"
                          "InstallDir=REG_SZ:/opt/vendor/product\n"
                          "  Spaced Name = REG_SZ: keeps its blank\r\n"
                          "Expand=REG_EXPAND_SZ:%HOME%/x\n"
                          "Raw=REG_SZ#41 42\n"
                          "Broken=REG_DWORD:1\n"
                          "=REG_SZ:default\n"
                          "[HKEY_CURRENT_USER\\Software\\Vendor]\n"
                          "InstallDir=REG_SZ:/home/user/product\n";

TEST(RegistryTest, ReadsValuesOfTheStore)
{
    TestRegistryStore registry;
    registry.Write(store);
    struct Case
    {
        HKEY root;
        const wchar_t* key;
        const wchar_t* name;
        long status;
        uint32_t type;
        std::wstring text;
    };
    const std::vector<Case> cases = {
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"InstallDir", ERROR_SUCCESS, REG_SZ,
         std::wstring(L"/opt/vendor/product") + L'\0'},
        {HKEY_LOCAL_MACHINE, L"software\\VENDOR\\product", L"installdir", ERROR_SUCCESS, REG_SZ,
         std::wstring(L"/opt/vendor/product") + L'\0'},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"Spaced Name", ERROR_SUCCESS, REG_SZ,
         std::wstring(L" keeps its blank") + L'\0'},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"Expand", ERROR_SUCCESS, REG_EXPAND_SZ,
         std::wstring(L"%HOME%/x") + L'\0'},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"Raw", ERROR_SUCCESS, REG_SZ, L"AB"},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"", ERROR_SUCCESS, REG_SZ,
         std::wstring(L"default") + L'\0'},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"Broken", ERROR_FILE_NOT_FOUND, 0, L""},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"Missing", ERROR_FILE_NOT_FOUND, 0, L""},
        {HKEY_CURRENT_USER, L"Software\\Vendor", L"InstallDir", ERROR_SUCCESS, REG_SZ,
         std::wstring(L"/home/user/product") + L'\0'},
        {HKEY_CLASSES_ROOT, L"Software\\Vendor", L"InstallDir", ERROR_FILE_NOT_FOUND, 0, L""},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Other", L"InstallDir", ERROR_FILE_NOT_FOUND, 0, L""},
        // A key above a stored one exists, without values of its own.
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor", L"InstallDir", ERROR_FILE_NOT_FOUND, 0, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key, c.key + wcslen(c.key)) + " / " + std::string(c.name, c.name + wcslen(c.name)));
        const Query query = QueryValue(c.root, c.key, c.name);
        EXPECT_EQ(query.status, c.status);
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(query.type, c.type);
            EXPECT_EQ(query.text, c.text);
        }
    }
}

TEST(RegistryTest, OpeningFailsForMissingKeysAndWriteAccess)
{
    TestRegistryStore registry;
    registry.Write(store);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ven", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", 0, KEY_READ | 0x0002, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
}

TEST(RegistryTest, ValueLargerThanTheBufferGivesMoreDataAndItsSize)
{
    TestRegistryStore registry;
    registry.Write(store);
    const Query query = QueryValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"InstallDir",
                                   4 * sizeof(wchar_t));
    EXPECT_EQ(query.status, ERROR_MORE_DATA);
    EXPECT_EQ(query.size, (std::wstring(L"/opt/vendor/product").size() + 1) * sizeof(wchar_t));
}

TEST(RegistryTest, StoreFollowsTheConfigurationFolder)
{
    TempDir home;
    home.WriteFile(".config/kelvora/registry.txt", "[HKEY_CURRENT_USER\\A]\nV=REG_SZ:from home\n");
    ScopedEnvironment homeVariable;
    homeVariable.Set("HOME", home.String());
    {
        ScopedEnvironment noConfig;
        noConfig.Unset("XDG_CONFIG_HOME");
        EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, L"A", L"V").text, std::wstring(L"from home") + L'\0');
    }
    TestRegistryStore registry; // XDG_CONFIG_HOME wins over HOME
    registry.Write("[HKEY_CURRENT_USER\\A]\nV=REG_SZ:from config\n");
    EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, L"A", L"V").text, std::wstring(L"from config") + L'\0');
    registry.Write("");
    EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, L"A", L"V").status, ERROR_FILE_NOT_FOUND);
}

TEST(RegistryTest, StoreThatIsNoRegularFileIsAnEmptyRegistry)
{
    // A FIFO would block the scan for ever and /dev/zero would be read without end.
    for (const char* kind : {"fifo", "zeros", "folder"}) {
        SCOPED_TRACE(kind);
        TestRegistryStore registry;
        const boost::filesystem::path path = registry.Folder().Path() / "kelvora" / "registry.txt";
        boost::filesystem::create_directories(path.parent_path());
        if (std::string(kind) == "fifo")
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        else if (std::string(kind) == "zeros")
            boost::filesystem::create_symlink("/dev/zero", path);
        else
            boost::filesystem::create_directory(path);
        EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Product", L"InstallDir").status,
                  ERROR_FILE_NOT_FOUND);
    }
}

} // namespace
