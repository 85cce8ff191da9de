#include "common/CSingleton.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<int> slowConstructions{0};

class SlowSingleton : public CSingleton<SlowSingleton>
{
public:
    SlowSingleton()
    {
        ++slowConstructions;
        // Widens the window in which a second thread could construct a second instance.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
};

TEST(CSingletonTest, ConcurrentFirstCallsConstructOnce)
{
    std::atomic<bool> go{false};
    std::vector<SlowSingleton*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            while (!go.load()) {
            }
            seen[i] = CSingleton<SlowSingleton>::GetInstance();
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(slowConstructions.load(), 1);
    for (SlowSingleton* instance : seen)
        EXPECT_EQ(instance, seen[0]);
    CSingleton<SlowSingleton>::Destroy();
}

std::atomic<int> liveCounted{0};
std::atomic<int> countedConstructions{0};

class Counted : public CSingleton<Counted>
{
public:
    Counted() { ++liveCounted; ++countedConstructions; }
    ~Counted() override { --liveCounted; }
};

TEST(CSingletonTest, DestroyDeletesAndNextCallBuildsAgain)
{
    CSingleton<Counted>::Destroy(); // no instance: nothing happens
    EXPECT_EQ(countedConstructions.load(), 0);

    Counted* first = CSingleton<Counted>::GetInstance();
    EXPECT_EQ(CSingleton<Counted>::GetInstance(), first);
    EXPECT_EQ(liveCounted.load(), 1);

    CSingleton<Counted>::Destroy();
    EXPECT_EQ(liveCounted.load(), 0);

    CSingleton<Counted>::GetInstance();
    EXPECT_EQ(countedConstructions.load(), 2);
    EXPECT_EQ(liveCounted.load(), 1);
    CSingleton<Counted>::Destroy();
}

std::atomic<int> throwsLeft{1};

class ThrowsOnce : public CSingleton<ThrowsOnce>
{
public:
    ThrowsOnce()
    {
        if (throwsLeft-- > 0)
            throw std::runtime_error("first construction fails");
    }
};

TEST(CSingletonTest, ThrowingConstructorLeavesHolderEmpty)
{
    EXPECT_THROW(CSingleton<ThrowsOnce>::GetInstance(), std::runtime_error);
    EXPECT_NE(CSingleton<ThrowsOnce>::GetInstance(), nullptr);
    CSingleton<ThrowsOnce>::Destroy();
}

// The three singletons of the system are deleted at exit in one order, whatever the order of
// their first use and whether main returns or exit(1) is called: the log engine last.
TEST(CSingletonTest, ExitDeletesResourcesThenInstallThreadThenTheLogEngine)
{
    for (const char* firstUse : {"irl", "ril", "lri", "lir"}) {
        for (const char* end : {"return", "exit"}) {
            SCOPED_TRACE(std::string(firstUse) + " " + end);
            const ChildResult result = RunChild(TestProgramPath("singleton_order"), {firstUse, end});
            EXPECT_EQ(result.exitCode, std::string(end) == "exit" ? 1 : 0);
            EXPECT_EQ(result.err, "deleted Resources\ndeleted InstallThread\ndeleted CLog\n");
            EXPECT_NE(result.out.find("#### Log engine destruction.\n"), std::string::npos);
        }
    }
}

} // namespace
