// Polls a condition until it holds, for tests that wait on another thread or process. The
// limit only keeps a broken test from hanging; nothing asserts on how long it took.
#pragma once

#include <chrono>
#include <functional>

// True as soon as `condition` holds; false when it still does not after `limitSeconds`.
bool WaitUntil(const std::function<bool()>& condition, int limitSeconds = 60);
