#include "tests/support/WaitUntil.h"

#include <thread>

bool WaitUntil(const std::function<bool()>& condition, int limitSeconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
