// Reads the process environment. Returns false when the variable is not set; `value` is then
// left unchanged. A variable set to the empty text returns true with an empty value.
#pragma once

#include <string>

namespace Platform {

bool GetEnvironmentVariable(const std::string& name, std::string& value);

// The user's configuration folder: XDG_CONFIG_HOME when it holds an absolute path, else
// $HOME/.config. False, with `folder` unchanged, when neither is usable (HOME unset or empty).
bool GetUserConfigFolder(std::string& folder);

} // namespace Platform
