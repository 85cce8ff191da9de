#include "UpdateManager/InstallThread.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <fstream>
#include <future>

namespace fs = boost::filesystem;
using Kelvora::UpdateManager::Installer;
using Kelvora::UpdateManager::InstallThread;
using Kelvora::UpdateManager::ProductStatus;

namespace {

class InstallThreadTest : public ::testing::Test
{
protected:
    void TearDown() override { CSingleton<InstallThread>::Destroy(); }

    // An installer made from a test program copied into the test's folder, handed over the
    // way the status machine does it.
    Installer& MakeInstaller(const std::string& program, const std::string& fileName)
    {
        const fs::path file = dir.Path() / fileName;
        if (!program.empty() && !fs::exists(file))
            fs::copy_file(TestProgramPath(program), file);
        installers.emplace_back("u", file, ProductStatus::Unknown);
        installers.back().SetStatus(ProductStatus::InstallInProgress);
        return installers.back();
    }

    static bool IsFinal(const Installer& installer)
    {
        return installer.GetStatus() != ProductStatus::InstallInProgress;
    }

    std::vector<Installer*> PopAll(size_t count)
    {
        std::vector<Installer*> popped;
        InstallThread* thread = CSingleton<InstallThread>::GetInstance();
        WaitUntil([&] {
            while (Installer* installer = thread->PopFinished())
                popped.push_back(installer);
            return popped.size() >= count;
        });
        return popped;
    }

    TempDir dir;
    std::deque<Installer> installers; // stable addresses, as in the product records
};

TEST_F(InstallThreadTest, RunsInOrderAndHandsBackInOrder)
{
    LogCapture log({"install"});
    Installer& first = MakeInstaller("exit_zero", "first.exe");
    Installer& second = MakeInstaller("exit_one", "second.exe");
    Installer& missing = MakeInstaller("", "missing.exe");
    EXPECT_TRUE(InstallThread::Add(&first));
    EXPECT_TRUE(InstallThread::Add(&second));
    EXPECT_TRUE(InstallThread::Add(&missing));

    EXPECT_EQ(PopAll(3), (std::vector<Installer*>{&first, &second, &missing}));
    EXPECT_EQ(first.GetStatus(), ProductStatus::InstallComplete);
    EXPECT_EQ(second.GetStatus(), ProductStatus::Error);
    EXPECT_EQ(missing.GetStatus(), ProductStatus::UpdateNeeded);
    EXPECT_FALSE(CSingleton<InstallThread>::GetInstance()->HasFinished());

    const auto info = log.Messages("install", "info");
    ASSERT_GE(info.size(), 1u);
    EXPECT_EQ(info[0], "Start install thread");
    std::vector<std::string> runs;
    for (const std::string& line : info) {
        if (line.rfind("Run ", 0) == 0)
            runs.push_back(line);
    }
    EXPECT_EQ(runs, (std::vector<std::string>{"Run " + first.GetInstallerFile().string(),
                                              "Run " + second.GetInstallerFile().string(),
                                              "Run " + missing.GetInstallerFile().string()}));
}

TEST_F(InstallThreadTest, NullIsIgnoredButCreatesTheThread)
{
    LogCapture log({"install"});
    EXPECT_FALSE(InstallThread::Add(nullptr));
    InstallThread* thread = CSingleton<InstallThread>::GetInstance();
    EXPECT_EQ(CSingleton<InstallThread>::GetInstance(), thread);
    EXPECT_TRUE(WaitUntil([&] { return log.HasMessage("Start install thread"); }));
    EXPECT_FALSE(thread->HasFinished());
    EXPECT_EQ(thread->PopFinished(), nullptr);
}

TEST_F(InstallThreadTest, DestroyWhileIdleReturnsAndDestroyWithoutInstanceDoesNothing)
{
    LogCapture log({"install"});
    const auto starts = [&] {
        const std::vector<std::string> lines = log.Messages("install", "info");
        return std::count(lines.begin(), lines.end(), "Start install thread");
    };
    CSingleton<InstallThread>::Destroy();
    CSingleton<InstallThread>::GetInstance();
    ASSERT_TRUE(WaitUntil([&] { return starts() == 1; }));
    // About one idle pass; bounded, not timed.
    std::future<void> destroyed = std::async(std::launch::async, [] { CSingleton<InstallThread>::Destroy(); });
    ASSERT_EQ(destroyed.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    CSingleton<InstallThread>::Destroy();
    EXPECT_EQ(starts(), 1) << "a destroy without an instance starts none";

    // The instance is gone: the next one starts a thread of its own.
    Installer& installer = MakeInstaller("exit_zero", "setup.exe");
    ASSERT_TRUE(InstallThread::Add(&installer));
    ASSERT_TRUE(WaitUntil([&] { return IsFinal(installer); }));
    EXPECT_EQ(starts(), 2);
    EXPECT_EQ(installer.GetStatus(), ProductStatus::InstallComplete);
}

TEST_F(InstallThreadTest, DestroyWaitsForTheRunningInstaller)
{
    Installer& blocker = MakeInstaller("wait_for_release", "blocker.exe");
    const std::string file = blocker.GetInstallerFile().string();
    ASSERT_TRUE(InstallThread::Add(&blocker));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(file + ".started"); }));

    std::thread releaser([&] { std::ofstream(file + ".release").put('1'); });
    CSingleton<InstallThread>::Destroy();
    releaser.join();
    EXPECT_EQ(blocker.GetStatus(), ProductStatus::InstallComplete);
}

// While one installer runs, 32 more fill `pending`: the next is refused and reported, never
// lost. When all have run, `finished` holds 32 and the last waits, unrun, for room.
TEST_F(InstallThreadTest, FullQueuesLoseNoInstaller)
{
    LogCapture log({"install"});
    Installer& blocker = MakeInstaller("wait_for_release", "blocker.exe");
    const std::string file = blocker.GetInstallerFile().string();
    ASSERT_TRUE(InstallThread::Add(&blocker));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(file + ".started"); }));

    std::vector<Installer*> queued{&blocker};
    for (int i = 0; i < 32; ++i) {
        Installer& installer = MakeInstaller("exit_zero", "setup.exe");
        ASSERT_TRUE(InstallThread::Add(&installer)) << i;
        queued.push_back(&installer);
    }
    Installer& refused = MakeInstaller("exit_zero", "setup.exe");
    EXPECT_FALSE(InstallThread::Add(&refused));
    EXPECT_EQ(refused.GetStatus(), ProductStatus::Error);
    EXPECT_TRUE(log.HasMessage("Install queue full, not run: " + refused.GetInstallerFile().string()));

    std::ofstream(file + ".release").put('1');
    ASSERT_TRUE(WaitUntil([&] { return IsFinal(*queued[31]); }));
    EXPECT_FALSE(IsFinal(*queued[32])) << "run while `finished` had no room for it";

    EXPECT_EQ(PopAll(33), queued);
    for (Installer* installer : queued)
        EXPECT_EQ(installer->GetStatus(), ProductStatus::InstallComplete);
    EXPECT_EQ(CSingleton<InstallThread>::GetInstance()->PopFinished(), nullptr);
}

// The main thread never takes the installers back: the thread must still stop when asked.
TEST_F(InstallThreadTest, DestroyWithAFullFinishedQueueReturns)
{
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(InstallThread::Add(&MakeInstaller("exit_zero", "setup.exe")));
    ASSERT_TRUE(WaitUntil([&] { return IsFinal(installers[31]); }));
    ASSERT_TRUE(InstallThread::Add(&MakeInstaller("exit_zero", "setup.exe")));
    CSingleton<InstallThread>::Destroy();
    EXPECT_FALSE(IsFinal(installers[32]));
}

} // namespace
