#include "UpdateManager/ProductStatus.h"

#include <gtest/gtest.h>

namespace Kelvora {
namespace UpdateManager {
namespace {

TEST(ProductStatusTest, TextOfEveryValue)
{
    const struct {
        int value;
        const char* text;
    } cases[] = {
        {0, "unknown"},
        {1, "up-to-date"},
        {2, "update needed"},
        {3, "download in progress"},
        {4, "download paused"},
        {5, "download error"},
        {6, "installer available"},
        {7, "installer start"},
        {8, "install in progress"},
        {9, "install complete"},
        {10, "latest update doesn't support this OS"},
        {11, "error"},
        {12, "<error state unknown>"},
        {-1, "<error state unknown>"},
        {1000, "<error state unknown>"},
        {INT32_MIN, "<error state unknown>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProductStatusToString(static_cast<ProductStatus>(c.value)), c.text) << c.value;
}

} // namespace
} // namespace UpdateManager
} // namespace Kelvora
