// Sets one environment variable (or removes it, with Unset) for the life of the object and
// restores its earlier state afterwards. For tests that point the registry store and the
// known folders at temporary folders.
#pragma once

#include <string>

class ScopedEnvironment
{
public:
    ScopedEnvironment(const std::string& name, const std::string& value);
    // Removes the variable while the object lives.
    static ScopedEnvironment Unset(const std::string& name);
    ~ScopedEnvironment();
    ScopedEnvironment(ScopedEnvironment&& other) noexcept;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    explicit ScopedEnvironment(const std::string& name);

    std::string name;
    bool hadValue = false;
    std::string oldValue;
    bool active = true;
};
