// A port on 127.0.0.1 that refuses connections, for tests of an unreachable server (HTTP client,
// downloader). The port stays bound, without listening, for as long as the object lives, so no
// other test that runs meanwhile can open a server on it.
#pragma once

#include <cstdint>

class ClosedPort
{
public:
    // Throws std::runtime_error when no port can be bound.
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    uint16_t Number() const { return number; }

private:
    int fd = -1;
    uint16_t number = 0;
};
