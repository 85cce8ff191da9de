// Whole-process behaviour of the log engine: what a run prints on its real standard output.
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

namespace {

std::string Probe()
{
    return TestProgramPath("log_probe");
}

std::string ProbePath()
{
    return boost::filesystem::canonical(Probe()).string();
}

TEST(CLogProcessTest, NormalEndWritesExactlyFiveLines)
{
    const std::string path = ProbePath();
    const std::string expected = "#### Log engine initialization.\n"
                                 "LOG - START THREAD " + path + "\n"
                                 "LOG - STOP THREAD asked " + path + "\n"
                                 "LOG FLUSH DONE " + path + "\n"
                                 "#### Log engine destruction.\n";
    for (const char* mode : {"destroy", "exit"}) {
        const ChildResult result = RunChild(Probe(), {mode});
        EXPECT_EQ(result.exitCode, 0) << mode;
        EXPECT_EQ(result.out, expected) << mode;
        EXPECT_EQ(result.err, "") << mode;
    }
}

TEST(CLogProcessTest, EndWithoutCleanUpWritesOnlyTheStartLines)
{
    const ChildResult result = RunChild(Probe(), {"no-cleanup"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "#### Log engine initialization.\nLOG - START THREAD " + ProbePath() + "\n");
}

TEST(CLogProcessTest, StopDrainsPendingLinesBetweenItsTwoLines)
{
    const ChildResult result = RunChild(Probe(), {"stop-with-text"});
    ASSERT_EQ(result.exitCode, 0);
    const std::string& out = result.out;
    const size_t asked = out.find("LOG - STOP THREAD asked ");
    const size_t first = out.find("| first pending\n");
    const size_t second = out.find("| second pending\n");
    const size_t done = out.find("LOG FLUSH DONE ");
    ASSERT_NE(first, std::string::npos) << out;
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_LT(out.find("| warm-up\n"), asked);
    EXPECT_LT(asked, first);
    EXPECT_LT(first, second);
    EXPECT_LT(second, done);
    EXPECT_EQ(out.find("LOG - STOP THREAD asked ", asked + 1), std::string::npos) << "stopped twice";
}

TEST(CLogProcessTest, EngineOutlivesSingletonsMadeAfterIt)
{
    const ChildResult result = RunChild(Probe(), {"late-singleton"});
    ASSERT_EQ(result.exitCode, 0);
    const std::string& out = result.out;
    const size_t destroyed = out.find("late singleton destroyed\n");
    const size_t line = out.find("| from a destructor\n");
    ASSERT_NE(destroyed, std::string::npos) << out;
    ASSERT_NE(line, std::string::npos) << out;
    EXPECT_LT(destroyed, out.find("LOG - STOP THREAD asked "));
    EXPECT_LT(line, out.find("LOG FLUSH DONE "));
    EXPECT_EQ(out.substr(out.size() - 29), "#### Log engine destruction.\n");
}

TEST(CLogProcessTest, ReaderOfStdoutThatWentAwayChangesNothing)
{
    // As "updater | head -1" once head has ended: the engine's lines are dropped, and the
    // process ends as it would otherwise, with its own exit code.
    for (const char* mode : {"exit", "stop-with-text"}) {
        const ChildResult result = RunChildWithoutStdoutReader(Probe(), {mode});
        EXPECT_FALSE(result.timedOut) << mode;
        EXPECT_EQ(result.exitCode, 0) << mode;
        EXPECT_EQ(result.err, "") << mode;
    }
}

TEST(CLogProcessTest, LogCallsAfterTheExitTimeDeletionDoNothing)
{
    const ChildResult result = RunChild(Probe(), {"late-log"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.substr(result.out.size() - 29), "#### Log engine destruction.\n");
}

TEST(CLogProcessTest, ModulePathIsCutTo259Characters)
{
    TempDir dir;
    boost::filesystem::path deep = dir.Path();
    while (deep.string().size() < 300)
        deep /= std::string(40, 'd');
    boost::filesystem::create_directories(deep);
    const boost::filesystem::path copy = deep / "log_probe";
    boost::filesystem::copy_file(Probe(), copy);
    boost::filesystem::permissions(copy, boost::filesystem::owner_all);

    const ChildResult shortPath = RunChild(Probe(), {"module-path"});
    EXPECT_EQ(shortPath.out, ProbePath());

    const ChildResult longPath = RunChild(copy.string(), {"module-path"});
    const std::string full = boost::filesystem::canonical(copy).string();
    ASSERT_GT(full.size(), 259u);
    EXPECT_EQ(longPath.out, full.substr(0, 259));
}

} // namespace
