#include "tests/support/TestRegistryStore.h"

TestRegistryStore::TestRegistryStore()
{
    configHome.Set("XDG_CONFIG_HOME", folder.String());
}

void TestRegistryStore::Write(const std::string& text) const
{
    folder.WriteFile("kelvora/registry.txt", text);
}
