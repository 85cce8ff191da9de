// A registry store of its own for one test: points XDG_CONFIG_HOME at a temporary folder for
// as long as it lives and writes the store file there.
#pragma once

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

#include <string>

class TestRegistryStore
{
public:
    TestRegistryStore();

    // Replaces the store file's whole text.
    void Write(const std::string& text) const;
    const TempDir& Folder() const { return folder; }

private:
    TempDir folder;
    ScopedEnvironment configHome;
};
