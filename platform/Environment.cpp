#include "platform/Environment.h"

#include <cstdlib>

namespace Platform {

bool GetEnvironmentVariable(const std::string& name, std::string& value)
{
    const char* text = std::getenv(name.c_str());
    if (text == nullptr)
        return false;
    value = text;
    return true;
}

bool GetUserConfigFolder(std::string& folder)
{
    std::string configHome;
    if (GetEnvironmentVariable("XDG_CONFIG_HOME", configHome) && !configHome.empty() &&
        configHome[0] == '/') {
        folder = configHome;
        return true;
    }
    std::string home;
    if (!GetEnvironmentVariable("HOME", home) || home.empty())
        return false;
    folder = home + "/.config";
    return true;
}

} // namespace Platform
