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

} // namespace Platform
