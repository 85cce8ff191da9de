#include "common/Resources.h"

#include "common/CLog.h"

namespace Kelvora {

std::string Resources::GetResourcesFolder()
{
    if (resourcesFolder.empty())
        CSingleton<CLog>::GetInstance()->Error("description", "Resources Folder not yet defined");
    return resourcesFolder;
}

} // namespace Kelvora
