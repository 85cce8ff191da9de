// Process-wide holder of the resources folder, under which release-notes files are written.
// Nothing in the program sets the folder, so it stays empty for the whole run.
#pragma once

#include "common/CSingleton.h"

#include <string>

namespace Kelvora {

class Resources : public CSingleton<Resources>
{
public:
    // A copy of the folder (a text prefix ending with a separator). While it is empty, logs
    // "Resources Folder not yet defined" (category "description", error) on every call.
    std::string GetResourcesFolder();

private:
    friend class CSingleton<Resources>;
    friend struct ResourcesTestSeam;

    Resources() = default;

    std::string resourcesFolder;
};

} // namespace Kelvora
