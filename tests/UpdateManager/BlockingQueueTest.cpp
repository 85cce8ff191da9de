#include "UpdateManager/BlockingQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using Kelvora::UpdateManager::BlockingQueue;

namespace {

TEST(BlockingQueueTest, TryPopOnEmptyFailsAtOnceAndItemsLeaveInOrder)
{
    BlockingQueue<int> queue;
    int out = 7;
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_FALSE(queue.TryPop(out));
    EXPECT_EQ(out, 7);
    queue.Push(1);
    queue.Push(2);
    EXPECT_FALSE(queue.IsEmpty());
    ASSERT_TRUE(queue.TryPop(out));
    EXPECT_EQ(out, 1);
    queue.WaitAndPop(out);
    EXPECT_EQ(out, 2);
    EXPECT_TRUE(queue.IsEmpty());
}

TEST(BlockingQueueTest, WaitingTakerGetsEveryItemFromAnotherThreadInOrder)
{
    BlockingQueue<int> queue;
    std::vector<int> taken;
    std::thread taker([&] {
        for (int i = 0; i < 10000; ++i) {
            int item = -1;
            queue.WaitAndPop(item);
            taken.push_back(item);
        }
    });
    for (int i = 0; i < 10000; ++i)
        queue.Push(i);
    taker.join();
    ASSERT_EQ(taken.size(), 10000u);
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(taken[i], i);
    EXPECT_TRUE(queue.IsEmpty());
}

} // namespace
