#include "common/Resources.h"

#include "tests/support/LogTestSeam.h"

#include <gtest/gtest.h>

namespace {

TEST(ResourcesTest, EmptyFolderIsReportedOnEveryCall)
{
    LogCapture capture({"description"});
    EXPECT_EQ(CSingleton<Kelvora::Resources>::GetInstance()->GetResourcesFolder(), "");
    EXPECT_EQ(CSingleton<Kelvora::Resources>::GetInstance()->GetResourcesFolder(), "");
    EXPECT_EQ(capture.Messages("description", "error"),
              (std::vector<std::string>{"Resources Folder not yet defined", "Resources Folder not yet defined"}));
}

} // namespace
