#include "common/EventSource.h"

#include <gtest/gtest.h>

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

} // namespace
