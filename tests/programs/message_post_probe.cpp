// Posts messages through the GUI framework's real posting path (the patched juce_events) after
// breaking the message queue's socket the way a failing system would, and prints what happened.
//
// Usage: message_post_probe ok|closed|full|timer
//   ok      post one message and deliver it: "posted 1", "delivered 1"
//   closed  shut the queue's socket down, then post: "posted 0", "delivered 0"
//   full    fill the queue's socket, then post: "posted 0", "delivered 0"
//   timer   shut the socket down and let a timer's thread post its ticks: "timer posts failed"
#include <juce_events/juce_events.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

std::set<int> OpenSockets()
{
    std::set<int> sockets;
    for (int fd = 0; fd < 1024; ++fd) {
        struct stat info;
        if (fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode))
            sockets.insert(fd);
    }
    return sockets;
}

// Both ends of the framework's queue: the sockets that its start-up opened.
std::set<int> QueueSockets(const std::set<int>& before)
{
    std::set<int> created;
    for (int fd : OpenSockets()) {
        if (before.count(fd) == 0)
            created.insert(fd);
    }
    return created;
}

void Fill(int fd)
{
    const int smallest = 1;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &smallest, sizeof smallest);
    char block[4096] = {};
    while (send(fd, block, sizeof block, MSG_DONTWAIT | MSG_NOSIGNAL) > 0) {
    }
    while (send(fd, block, 1, MSG_DONTWAIT | MSG_NOSIGNAL) > 0) {
    }
}

struct Ticker : juce::Timer
{
    void timerCallback() override { ++ticks; }
    std::atomic<int> ticks{0};
};

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "ok" && mode != "closed" && mode != "full" && mode != "timer") {
        std::fprintf(stderr, "Usage: message_post_probe ok|closed|full|timer\n");
        return 2;
    }
    const std::set<int> before = OpenSockets();
    juce::ScopedJuceInitialiser_GUI framework;
    const std::set<int> queue = QueueSockets(before);
    if (queue.size() != 2) {
        std::fprintf(stderr, "found %zu new sockets, not the queue's two\n", queue.size());
        return 3;
    }
    if (mode == "closed" || mode == "timer") {
        for (int fd : queue)
            shutdown(fd, SHUT_RDWR);
    } else if (mode == "full") {
        for (int fd : queue)
            Fill(fd);
    }

    if (mode == "timer") {
        Ticker ticker;
        ticker.startTimer(10);
        // The timer's thread posts its tick from its own thread; each failed post is reported
        // there, while the message loop runs and no tick reaches it.
        juce::MessageManager::getInstance()->runDispatchLoopUntil(1500);
        ticker.stopTimer();
        std::printf("timer posts failed, ticks %d\n", ticker.ticks.load());
        return 0;
    }

    std::atomic<int> delivered{0};
    const bool posted = juce::MessageManager::callAsync([&delivered] { ++delivered; });
    std::printf("posted %d\n", posted ? 1 : 0);
    std::fflush(stdout);
    // A message whose post failed must not turn up later either: the loop runs a while (a full
    // socket keeps waking it with the bytes that filled it).
    for (int i = 0; i < 100 && delivered == 0; ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(posted ? 20 : 3);
    std::printf("delivered %d\n", delivered.load());
    return 0;
}
