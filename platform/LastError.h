// The calling thread's error code of its last failed platform call (GetLastError on Windows).
// Here it is errno: every unit of this folder leaves errno set when it fails.
#pragma once

namespace Platform {

int LastErrorCode();

} // namespace Platform
