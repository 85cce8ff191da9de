// The GUI framework, started for one test of the application and stopped after it, on the X
// display given or on none. JUCE connects to ":0.0" when DISPLAY is unset, which may be another
// test's private server; a test that draws into images needs no display at all. For the app's
// tests only (they link the framework).
#pragma once

#include "tests/support/ScopedEnvironment.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <string>

class JuceForTest
{
public:
    // ":65535" names no server: drawing works, windows cannot be shown.
    explicit JuceForTest(const std::string& display = ":65535")
    {
        environment.Set("DISPLAY", display);
        framework = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    }
    ~JuceForTest() { framework.reset(); }
    JuceForTest(const JuceForTest&) = delete;
    JuceForTest& operator=(const JuceForTest&) = delete;

private:
    ScopedEnvironment environment;
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> framework;
};
