#include "app/JUCEUpdaterApplication.h"

#include "platform/Process.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace Kelvora {
namespace Updater {

std::vector<std::string> JUCEUpdaterApplication::relaunchArguments;
bool JUCEUpdaterApplication::relaunchRequested = false;

namespace {

[[noreturn]] void UsageError()
{
    std::cout << "Usage: updater --product-sku SKU [-- RELAUNCH_ARG [RELAUNCH_ARG ...]]" << std::endl;
    std::cout << "Example: updater --product-sku myproduct -- \"/Application/Kelvora/My Product.app\" myarg1 myarg2"
              << std::endl;
    std::exit(1);
}

} // namespace

void JUCEUpdaterApplication::initialise(const juce::String&)
{
    bool afterSeparator = false;
    bool expectingSku = false;
    bool expectingServer = false;
    std::string sku;
    std::string server;
    for (const juce::String& argument : getCommandLineParameterArray()) {
        if (afterSeparator) {
            // String::quoted adds a quote only where there is none yet; "" for an empty one.
            relaunchArguments.push_back(argument.quoted().toStdString());
        } else if (expectingSku) {
            sku = argument.toStdString();
            expectingSku = false;
        } else if (expectingServer) {
            server = argument.toStdString();
            expectingServer = false;
        } else if (argument == "--product-sku") {
            expectingSku = true;
        } else if (argument == "--server") {
            expectingServer = true;
        } else if (argument == "--") {
            afterSeparator = true;
        }
    }
    if (expectingSku || sku.empty())
        UsageError();

    lookAndFeel = std::make_unique<UpdaterLookAndFeel>();
    juce::LookAndFeel::setDefaultLookAndFeel(lookAndFeel.get());
    mainWindow = std::make_unique<UpdaterWindow>(sku, server);
    mainWindow->Start();
}

void JUCEUpdaterApplication::shutdown()
{
    if (mainWindow != nullptr)
        relaunchRequested = mainWindow->IsRelaunchRequested();
    mainWindow.reset();
    juce::Desktop::getInstance().setDefaultLookAndFeel(nullptr);
}

void JUCEUpdaterApplication::anotherInstanceStarted(const juce::String&)
{
}

std::vector<std::string> JUCEUpdaterApplication::GetRelaunchArguments()
{
    return relaunchArguments;
}

bool JUCEUpdaterApplication::IsRelaunchRequested()
{
    return relaunchRequested;
}

juce::JUCEApplicationBase* CreateApplication()
{
    return new JUCEUpdaterApplication();
}

void RelaunchProduct(const std::vector<std::string>& arguments)
{
    std::string program = arguments.front();
    if (!program.empty() && program.front() == '"')
        program.erase(0, 1);
    if (!program.empty() && program.back() == '"')
        program.pop_back();

    // The started program sees the texts it was given after "--": a Windows program's own
    // command-line parsing takes the added quotes off again.
    std::vector<std::string> argv;
    argv.reserve(arguments.size());
    for (const std::string& argument : arguments)
        argv.push_back(Platform::WithoutEnclosingQuotes(argument));

    if (!program.empty() && Platform::StartDetachedProcess(program, argv)) {
        // What was written is kept; nothing else of the exit-time clean-up runs.
        std::cout.flush();
        std::fflush(stdout);
        _exit(0);
    }
    std::exit(1);
}

} // namespace Updater
} // namespace Kelvora
