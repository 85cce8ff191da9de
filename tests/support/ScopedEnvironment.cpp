#include "tests/support/ScopedEnvironment.h"

#include <cstdlib>

ScopedEnvironment::~ScopedEnvironment()
{
    for (const auto& entry : saved) {
        if (entry.second)
            setenv(entry.first.c_str(), entry.second->c_str(), 1);
        else
            unsetenv(entry.first.c_str());
    }
}

void ScopedEnvironment::Remember(const std::string& name)
{
    if (saved.count(name) != 0)
        return;
    const char* value = std::getenv(name.c_str());
    saved[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void ScopedEnvironment::Set(const std::string& name, const std::string& value)
{
    Remember(name);
    setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnvironment::Unset(const std::string& name)
{
    Remember(name);
    unsetenv(name.c_str());
}
