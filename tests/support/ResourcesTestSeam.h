// Test-only access to the resources-folder holder, which the program never sets: lets a test
// give it a folder to check where release-notes files go.
#pragma once

#include "common/Resources.h"

#include <string>

namespace Kelvora {

struct ResourcesTestSeam
{
    static void SetFolder(const std::string& folder) { CSingleton<Resources>::GetInstance()->resourcesFolder = folder; }
};

// Sets the folder while it lives and empties it again at the end.
class ScopedResourcesFolder
{
public:
    explicit ScopedResourcesFolder(const std::string& folder) { ResourcesTestSeam::SetFolder(folder); }
    ~ScopedResourcesFolder() { ResourcesTestSeam::SetFolder(""); }
    ScopedResourcesFolder(const ScopedResourcesFolder&) = delete;
    ScopedResourcesFolder& operator=(const ScopedResourcesFolder&) = delete;
};

} // namespace Kelvora
