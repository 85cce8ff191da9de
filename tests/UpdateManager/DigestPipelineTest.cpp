#include "UpdateManager/DigestPipeline.h"

#include "UpdateManager/Installer.h"
#include "tests/support/Md5Hex.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <random>
#include <string>

namespace Kelvora {
namespace UpdateManager {
namespace {

std::string RandomBytes(size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

class DigestPipelineTest : public ::testing::Test
{
protected:
    // Hands `bytes` over in pieces of `piece` bytes, as the download job does.
    static void Feed(DigestPipeline& digest, const std::string& bytes, size_t piece)
    {
        for (size_t at = 0; at < bytes.size(); at += piece) {
            char* slot = nullptr;
            while (slot == nullptr)
                slot = digest.AcquireSlot(std::chrono::milliseconds(20));
            const size_t count = std::min(piece, bytes.size() - at);
            std::memcpy(slot, bytes.data() + at, count);
            digest.Submit(slot, static_cast<int64_t>(count));
        }
    }

    TempDir folder;
    const std::string content = RandomBytes(3 * DigestPipeline::slotSize + 12345, 3);
};

TEST_F(DigestPipelineTest, HeldPartAndHandedOverBlocksMakeTheWholeFilesDigest)
{
    const std::string expected = Md5Hex(content);
    for (const size_t held : {size_t(0), size_t(1), size_t(DigestPipeline::slotSize), content.size() - 7, content.size()}) {
        SCOPED_TRACE(held);
        const auto partial = folder.WriteFile("partial.bin", content.substr(0, held));
        DigestPipeline digest(partial, static_cast<int64_t>(held));
        // Empty blocks, as a read that brought nothing hands back, change nothing.
        Feed(digest, std::string(), 1);
        char* empty = digest.AcquireSlot(std::chrono::seconds(5));
        ASSERT_NE(empty, nullptr);
        digest.Submit(empty, 0);
        Feed(digest, content.substr(held), 100000);
        EXPECT_EQ(digest.Finish(), expected);
    }
}

TEST_F(DigestPipelineTest, HeldPartThatCannotBeReadInFullGivesNoDigest)
{
    const auto shorter = folder.WriteFile("short.bin", content.substr(0, 1000));
    DigestPipeline digest(shorter, 2000);
    Feed(digest, content.substr(2000), 5000);
    EXPECT_EQ(digest.Finish(), "");

    DigestPipeline missing(folder.Path() / "missing.bin", 10);
    EXPECT_EQ(missing.Finish(), "");
}

TEST_F(DigestPipelineTest, SlotsRunOutOnlyUntilTheDigestCatchesUp)
{
    DigestPipeline digest(folder.Path() / "none", 0);
    std::vector<char*> taken;
    for (size_t i = 0; i < DigestPipeline::slotCount; ++i)
        taken.push_back(digest.AcquireSlot(std::chrono::seconds(5)));
    for (char* slot : taken)
        ASSERT_NE(slot, nullptr);
    // All four are in the job's hands: none comes free.
    EXPECT_EQ(digest.AcquireSlot(std::chrono::milliseconds(10)), nullptr);
    digest.Submit(taken[0], 10);
    EXPECT_NE(digest.AcquireSlot(std::chrono::seconds(5)), nullptr);
}

TEST_F(DigestPipelineTest, FileDigestReadsRegularFilesOnly)
{
    Poco::Crypto::DigestEngine engine(Md5EngineName());
    std::vector<char> block(4096);
    const auto file = folder.WriteFile("file.bin", content);
    EXPECT_EQ(DigestFileBytes(engine, file, -1, block), static_cast<int64_t>(content.size()));
    EXPECT_EQ(DigestFileBytes(engine, file, 5000, block), 5000);
    EXPECT_EQ(DigestFileBytes(engine, folder.Path(), -1, block), -1);
    EXPECT_EQ(DigestFileBytes(engine, folder.Path() / "missing", -1, block), -1);
    // A FIFO with no writer would block an ordinary open for reading for ever.
    const auto fifo = folder.Path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(DigestFileBytes(engine, fifo, -1, block), -1);
    EXPECT_EQ(FileMd5Hex(fifo), "");
    EXPECT_EQ(FileMd5Hex(folder.Path()), "");
}

} // namespace
} // namespace UpdateManager
} // namespace Kelvora
