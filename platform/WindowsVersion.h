// The running Windows version test (VerifyVersionInfoW through IsWindowsVersionOrGreater).
// This platform reports itself as Windows 10.0 with service pack 0.
#pragma once

#include <cstdint>

namespace Platform {

// True when the reported (major, minor, service-pack major) is at least the arguments, compared
// in that order.
bool IsWindowsVersionOrGreater(uint16_t major, uint16_t minor, uint16_t servicePackMajor);

// Test seam: makes the platform report another version, for the whole process.
void SetReportedWindowsVersionForTesting(uint16_t major, uint16_t minor, uint16_t servicePackMajor);

} // namespace Platform
