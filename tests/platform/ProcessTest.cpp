#include "platform/Process.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fs = boost::filesystem;

namespace {

TEST(ProcessTest, YieldsTheExitCode)
{
    EXPECT_EQ(Platform::RunProcess(TestProgramPath("exit_zero"), {"exit_zero"}), 0);
    EXPECT_EQ(Platform::RunProcess(TestProgramPath("exit_one"), {"exit_one"}), 1);
}

TEST(ProcessTest, FailureToStartOrSignalDeathYieldsMinusOne)
{
    TempDir dir;
    const fs::path text = dir.WriteFile("not-a-program", "this is text, not a program\n");
    EXPECT_EQ(Platform::RunProcess((dir.Path() / "missing").string(), {"missing"}), -1);
    EXPECT_EQ(Platform::RunProcess(text.string(), {text.string()}), -1);
    EXPECT_EQ(Platform::RunProcess(dir.String(), {dir.String()}), -1);
    EXPECT_EQ(Platform::RunProcess("no-such-program-anywhere", {"x"}), -1);
    EXPECT_EQ(Platform::RunProcess(TestProgramPath("kill_self"), {"kill_self"}), -1);
}

TEST(ProcessTest, LeavesTheModeOfAFileWithoutExecuteBitAlone)
{
    TempDir dir;
    const fs::path copy = dir.Path() / "downloaded";
    fs::copy_file(TestProgramPath("exit_zero"), copy);
    fs::permissions(copy, fs::owner_read | fs::owner_write | fs::group_read);

    EXPECT_EQ(Platform::RunProcess(copy.string(), {copy.string()}), -1);
    struct stat info;
    ASSERT_EQ(stat(copy.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH), 0u);
}

// Changes the current folder for the length of a test.
class ScopedCurrentFolder
{
public:
    explicit ScopedCurrentFolder(const fs::path& folder) : previous(fs::current_path()) { fs::current_path(folder); }
    ~ScopedCurrentFolder() { fs::current_path(previous); }

private:
    fs::path previous;
};

TEST(ProcessTest, BareNameIsAFileInTheCurrentFolderNeverOneOnThePath)
{
    TempDir dir;
    const ScopedCurrentFolder inDir(dir.Path());
    // /usr/bin/true and /bin/ls exist on the path, but not here.
    EXPECT_EQ(Platform::RunProcess("true", {"true"}), -1);
    EXPECT_EQ(Platform::RunProcess("ls", {"ls"}), -1);
    fs::copy_file(TestProgramPath("exit_one"), dir.Path() / "true");
    EXPECT_EQ(Platform::RunProcess("true", {"true"}), 1);
}

TEST(ProcessTest, EachArgumentArrivesWholeLessOneEnclosingPairOfQuotes)
{
    TempDir dir;
    const std::string program = (dir.Path() / "print_args").string();
    fs::copy_file(TestProgramPath("print_args"), program);
    const int result = Platform::RunProcess(program, {"\"" + program + "\"", "a b", "x;y && z", "\"q r\"",
                                                      "in\"side", "\"", "", "$HOME"});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(program + ".args"), "[" + program + "]\n[a b]\n[x;y && z]\n[q r]\n[in\"side]\n[\"]\n[]\n[$HOME]\n");
}

} // namespace

namespace {

TEST(StartDetachedProcessTest, StartsWithTheArgumentsUnchangedAndDoesNotWait)
{
    TempDir dir;
    const std::string program = (dir.Path() / "print_args").string();
    fs::copy_file(TestProgramPath("print_args"), program);
    ASSERT_TRUE(Platform::StartDetachedProcess(program, {program, "\"kept quotes\"", "", "a b"}));
    const std::string expected = "[" + program + "]\n[\"kept quotes\"]\n[]\n[a b]\n";
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(program + ".args") == expected; }, 30)) << ReadFile(program + ".args");
}

TEST(StartDetachedProcessTest, ProgramGetsASessionAndSignalHandlingOfItsOwn)
{
    TempDir dir;
    const std::string program = (dir.Path() / "print_session").string();
    fs::copy_file(TestProgramPath("print_session"), program);
    // What the caller has changed must not reach the started program.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGPIPE, &ignore, &previous);
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigset_t previousMask;
    pthread_sigmask(SIG_BLOCK, &usr1, &previousMask);
    const bool started = Platform::StartDetachedProcess(program, {program, std::to_string(getsid(0))});
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGPIPE, &previous, nullptr);

    ASSERT_TRUE(started);
    EXPECT_TRUE(WaitUntil([&] { return !ReadFile(program + ".session").empty(); }, 30));
    EXPECT_EQ(ReadFile(program + ".session"), "leader other default unblocked\n");
}

TEST(StartDetachedProcessTest, ProgramThatCannotStartGivesFalseWithErrno)
{
    TempDir dir;
    const fs::path text = dir.WriteFile("text", "not a program\n");
    struct Case
    {
        std::string program;
        int error;
    };
    const Case cases[] = {
        {"", ENOENT},
        {(dir.Path() / "missing").string(), ENOENT},
        {text.string(), EACCES},
        {dir.String(), EACCES},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_FALSE(Platform::StartDetachedProcess(c.program, {c.program})) << c.program;
        EXPECT_EQ(errno, c.error) << c.program;
    }
}

TEST(StartDetachedProcessTest, BareNameIsAFileInTheCurrentFolderNeverOneInPath)
{
    TempDir dir;
    ScopedEnvironment path;
    path.Set("PATH", fs::path(TestProgramPath("print_args")).parent_path().string());
    {
        const ScopedCurrentFolder inDir(dir.Path());
        EXPECT_FALSE(Platform::StartDetachedProcess("print_args", {"print_args"})) << "found in PATH";
        fs::copy_file(TestProgramPath("print_args"), dir.Path() / "print_args");
        EXPECT_TRUE(Platform::StartDetachedProcess("print_args", {"print_args"}));
    }
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(dir.Path() / "print_args.args") == "[print_args]\n"; }, 30));
}

} // namespace
