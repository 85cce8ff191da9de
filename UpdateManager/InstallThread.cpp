#include "UpdateManager/InstallThread.h"

#include "common/CLog.h"
#include "common/Resources.h"

#include <chrono>

namespace Kelvora {
namespace UpdateManager {

namespace {

// The holders of the system's three singletons are set up here, during static initialisation,
// in the order CLog, InstallThread, Resources, whatever the order of their first use; at exit
// the remaining instances are therefore deleted in the order Resources, InstallThread, CLog, the
// log engine last. This is the one unit that sees all three.
const bool holdersSetUp = (CSingleton<CLog>::SetUpHolder(), CSingleton<InstallThread>::SetUpHolder(),
                           CSingleton<Resources>::SetUpHolder(), true);

} // namespace

InstallThread::InstallThread()
{
    // Started here rather than in the member list, once both queues exist.
    thread = std::thread(&InstallThread::Run, this);
}

InstallThread::~InstallThread()
{
    Stop();
}

void InstallThread::Stop()
{
    stopRequested.store(true);
    if (thread.joinable())
        thread.join();
}

bool InstallThread::Add(Installer* installer)
{
    return CSingleton<InstallThread>::GetInstance()->Push(installer);
}

bool InstallThread::Push(Installer* installer)
{
    if (installer == nullptr)
        return false;
    if (pending.push(installer))
        return true;
    // Dropping it silently would leave its status at "install in progress" for ever.
    CSingleton<CLog>::GetInstance()->Error("install", "Install queue full, not run: ",
                                           installer->GetInstallerFile().string());
    installer->SetStatus(ProductStatus::Error);
    return false;
}

bool InstallThread::HasFinished()
{
    return finished.read_available() > 0;
}

Installer* InstallThread::PopFinished()
{
    Installer* installer = nullptr;
    return finished.pop(installer) ? installer : nullptr;
}

void InstallThread::Run()
{
    try {
        CSingleton<CLog>::GetInstance()->Info("install", "Start install thread");
    } catch (...) {
        // Only the log line is lost; the thread still runs installers.
    }
    while (!stopRequested.load()) {
        RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

void InstallThread::RunPending()
{
    // An installer is taken only while `finished` has room for it, so every one that was run
    // can be handed back; when the main thread lags, the rest wait for a later pass. Only
    // this thread pushes onto `finished`, so the room seen here cannot shrink before the push.
    Installer* installer = nullptr;
    while (finished.write_available() > 0 && pending.pop(installer)) {
        if (installer == nullptr)
            continue;
        try {
            installer->Install();
        } catch (...) {
            installer->SetStatus(ProductStatus::Error);
        }
        finished.push(installer);
    }
}

} // namespace UpdateManager
} // namespace Kelvora
