#include "common/EventSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

struct Ping
{
    int value;
};

struct Recorder : Kelvora::IEventListener<Ping>
{
    void OnEvent(const Ping& event) override
    {
        order->push_back(this);
        seen.push_back(&event);
        if (throws)
            throw std::runtime_error("listener failed");
    }
    std::vector<Recorder*>* order = nullptr;
    std::vector<const Ping*> seen;
    bool throws = false;
};

class EventSourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (Recorder& recorder : recorders)
            recorder.order = &order;
    }
    Kelvora::EventSource<Ping> source;
    Recorder recorders[3]; // ascending addresses
    std::vector<Recorder*> order;
};

TEST_F(EventSourceTest, DeliversByAscendingAddressWhateverTheRegistrationOrder)
{
    source.AddListener(&recorders[2]);
    source.AddListener(&recorders[0]);
    source.AddListener(&recorders[1]);
    const Ping ping{7};
    source.Notify(ping);
    EXPECT_EQ(order, (std::vector<Recorder*>{&recorders[0], &recorders[1], &recorders[2]}));
    // Every listener sees the caller's record itself, not a copy.
    EXPECT_EQ(recorders[2].seen, std::vector<const Ping*>{&ping});
}

TEST_F(EventSourceTest, DuplicatesNullAndUnknownRemovals)
{
    source.Notify(Ping{0}); // empty: nothing happens
    source.AddListener(nullptr);
    source.AddListener(&recorders[1]);
    source.AddListener(&recorders[1]);
    source.RemoveListener(&recorders[0]);
    source.Notify(Ping{1});
    EXPECT_EQ(order, std::vector<Recorder*>{&recorders[1]});

    source.RemoveListener(&recorders[1]);
    source.Notify(Ping{2});
    EXPECT_EQ(order.size(), 1u);
}

TEST_F(EventSourceTest, ThrowingListenerStopsDeliveryAndReachesTheCaller)
{
    for (Recorder& recorder : recorders)
        source.AddListener(&recorder);
    recorders[1].throws = true;
    EXPECT_THROW(source.Notify(Ping{3}), std::runtime_error);
    EXPECT_EQ(order, (std::vector<Recorder*>{&recorders[0], &recorders[1]}));
}

// Listeners run nested in the manager's calls, so one-shot listeners that remove themselves, or
// listeners that remove or add others, are natural: each is delivered at most once per event and
// a removed one is never called, even when it is destroyed at once.
TEST_F(EventSourceTest, ListenersMayChangeTheSetDuringDelivery)
{
    struct Changer : Kelvora::IEventListener<Ping>
    {
        void OnEvent(const Ping&) override
        {
            ++calls;
            if (action)
                action();
        }
        std::function<void()> action;
        int calls = 0;
    };
    // On the heap, so that the one removed during the delivery can be freed; sorted by address,
    // the order of delivery.
    std::vector<std::unique_ptr<Changer>> changers;
    for (int i = 0; i < 4; ++i)
        changers.push_back(std::make_unique<Changer>());
    std::sort(changers.begin(), changers.end());
    for (const auto& changer : changers)
        source.AddListener(changer.get());
    Changer* first = changers[0].get();
    first->action = [&] { source.RemoveListener(first); }; // one-shot
    changers[1]->action = [&] {
        source.RemoveListener(changers[3].get()); // not yet notified; freed at once
        changers[3].reset();
        source.AddListener(first);
    };

    source.Notify(Ping{1});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(changers[i]->calls, 1) << i;

    first->action = nullptr;
    changers[1]->action = nullptr;
    source.Notify(Ping{2});
    EXPECT_EQ(first->calls, 2) << "added again during the first delivery, called from the next";
    EXPECT_EQ(changers[1]->calls, 2);
    EXPECT_EQ(changers[2]->calls, 2);
}

} // namespace
