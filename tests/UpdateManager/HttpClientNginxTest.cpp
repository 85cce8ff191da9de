// The HTTP client against a real nginx, so that the client is not only checked against the
// test server written alongside it.
#include "UpdateManager/HttpClient.h"

#include "tests/support/HttpFetch.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace Kelvora {
namespace UpdateManager {
namespace {

class HttpClientNginxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>(i * 7 % 251);
        folder.WriteFile("installer.bin", content);
        nginx = std::make_unique<NginxServer>(folder.String());
        ASSERT_TRUE(nginx->Started()) << nginx->Log();
    }

    std::string content = std::string(100000, '\0');
    TempDir folder;
    std::unique_ptr<NginxServer> nginx;
    LogCapture log{{"web"}};
    HttpClient client;
};

TEST_F(HttpClientNginxTest, FullGet)
{
    const FetchResult transfer = Fetch(client, nginx->Url("/installer.bin"));
    EXPECT_TRUE(transfer.ok);
    EXPECT_EQ(transfer.status, TransferStatus::Complete);
    EXPECT_EQ(transfer.body, content);
    EXPECT_EQ(client.GetTotalSize(), 100000);
    EXPECT_DOUBLE_EQ(client.GetProgress(), 1.0);
}

TEST_F(HttpClientNginxTest, RangedGetResumes)
{
    std::ostringstream out(content.substr(0, 60000), std::ios::ate);
    client.SetResumeOffset(60000);
    const FetchResult transfer = Fetch(client, nginx->Url("/installer.bin"), out);
    EXPECT_TRUE(transfer.ok);
    EXPECT_EQ(transfer.status, TransferStatus::Complete);
    EXPECT_EQ(client.GetTotalSize(), 100000);
    EXPECT_EQ(client.GetPosition(), 100000);
    EXPECT_EQ(out.str(), content);
}

TEST_F(HttpClientNginxTest, RangeAtTheEndIsTheWholeFile)
{
    client.SetResumeOffset(100000);
    client.Request(nginx->Url("/installer.bin"));
    EXPECT_TRUE(client.IsOk());
    EXPECT_EQ(client.GetTotalSize(), 100000);
    EXPECT_FALSE(client.HasMoreData());
    EXPECT_EQ(client.GetStatus(), TransferStatus::Complete);

    HttpClient beyond;
    beyond.SetResumeOffset(100001);
    beyond.Request(nginx->Url("/installer.bin"));
    EXPECT_FALSE(beyond.IsOk());
    // The resource's own total, though it is below the offset.
    EXPECT_EQ(beyond.GetTotalSize(), 100000);
}

TEST_F(HttpClientNginxTest, ChunkedBodyIsReadToItsLastChunk)
{
    const FetchResult transfer = Fetch(client, nginx->Url("/chunked/installer.bin"));
    EXPECT_TRUE(transfer.ok);
    EXPECT_EQ(transfer.status, TransferStatus::Complete);
    EXPECT_EQ(transfer.body, content);
    EXPECT_EQ(client.GetTotalSize(), -1);
}

TEST_F(HttpClientNginxTest, RangeOfAFileThatChangedSizeIsAMismatch)
{
    ASSERT_EQ(Fetch(client, nginx->Url("/installer.bin")).status, TransferStatus::Complete);
    folder.WriteFile("installer.bin", content + content.substr(0, 20000));
    client.SetResumeOffset(60000);
    const FetchResult transfer = Fetch(client, nginx->Url("/installer.bin"));
    EXPECT_FALSE(transfer.ok);
    EXPECT_EQ(transfer.status, TransferStatus::Inconsistent);
    EXPECT_TRUE(client.IsRangeMismatched());
    // Asked afresh, the new file comes whole.
    client.SetResumeOffset(0);
    EXPECT_EQ(Fetch(client, nginx->Url("/installer.bin")).body.size(), 120000u);
}

TEST_F(HttpClientNginxTest, MissingFileIsRefused)
{
    client.Request(nginx->Url("/none.bin"));
    EXPECT_FALSE(client.IsOk());
    EXPECT_EQ(client.GetStatus(), TransferStatus::Running);
}

} // namespace
} // namespace UpdateManager
} // namespace Kelvora
