// A port on 127.0.0.1 that nothing listens on, for tests of an unreachable server (HTTP client,
// downloader).
#pragma once

#include <cstdint>

// Binds an ephemeral port and releases it again; never throws on a working loopback.
uint16_t ClosedPort();
