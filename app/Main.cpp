// The process entry: hands control to the framework's application main, then relaunches the
// product when the update asked for it, or stops the log engine and returns 0.
#include "app/JUCEUpdaterApplication.h"

#include "common/CLog.h"
#include "common/CSingleton.h"
#include "platform/BrokenPipe.h"

int main(int argc, char* argv[])
{
    // A reader of standard output that went away must not end an update half-way: writes then
    // simply fail. Set before the usage text, the first thing the program may print; the
    // installer and the relaunched product still start with the default action.
    Platform::IgnoreBrokenPipe();

    // WinMain called JUCEApplicationBase::main(); JUCE 7 on Linux takes the argument vector here,
    // and getCommandLineParameterArray then gives the same list a Windows program would see.
    juce::JUCEApplicationBase::createInstance = &Kelvora::Updater::CreateApplication;
    juce::JUCEApplicationBase::main(argc, const_cast<const char**>(argv));

    using Kelvora::Updater::JUCEUpdaterApplication;
    if (JUCEUpdaterApplication::IsRelaunchRequested()) {
        const std::vector<std::string> arguments = JUCEUpdaterApplication::GetRelaunchArguments();
        if (!arguments.empty())
            Kelvora::Updater::RelaunchProduct(arguments);
    }
    CSingleton<CLog>::GetInstance();
    CSingleton<CLog>::Destroy();
    return 0;
}
