#include "tests/support/ScopedEnvironment.h"

#include <cstdlib>

ScopedEnvironment::ScopedEnvironment(const std::string& variable) : name(variable)
{
    const char* old = std::getenv(name.c_str());
    hadValue = old != nullptr;
    if (hadValue)
        oldValue = old;
}

ScopedEnvironment::ScopedEnvironment(const std::string& variable, const std::string& value)
    : ScopedEnvironment(variable)
{
    ::setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnvironment ScopedEnvironment::Unset(const std::string& variable)
{
    ScopedEnvironment scoped(variable);
    ::unsetenv(variable.c_str());
    return scoped;
}

ScopedEnvironment::ScopedEnvironment(ScopedEnvironment&& other) noexcept
    : name(std::move(other.name)), hadValue(other.hadValue), oldValue(std::move(other.oldValue))
{
    other.active = false;
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (!active)
        return;
    if (hadValue)
        ::setenv(name.c_str(), oldValue.c_str(), 1);
    else
        ::unsetenv(name.c_str());
}
