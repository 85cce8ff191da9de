#include "platform/NativePath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(NativePathTest, BackslashesBecomeSlashesAndNothingElseChanges)
{
    struct Case
    {
        std::string path;
        std::string native;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Vendor\\app.exe", "C:/Program Files/Vendor/app.exe"},
        {"\\\\server\\share\\", "//server/share/"},
        {"mixed\\folder/app.exe", "mixed/folder/app.exe"},
        {"/usr/lib/app", "/usr/lib/app"},
        {"dossier\\\xC3\xA9t\xC3\xA9\\a b.exe", "dossier/\xC3\xA9t\xC3\xA9/a b.exe"},
        {std::string("nul\0\\x", 6), std::string("nul\0/x", 6)},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Platform::ToNativePath(c.path), c.native) << c.path;
}

} // namespace
