// Reads the process environment. Returns false when the variable is not set; `value` is then
// left unchanged. A variable set to the empty text returns true with an empty value.
#pragma once

#include <string>

namespace Platform {

bool GetEnvironmentVariable(const std::string& name, std::string& value);

} // namespace Platform
