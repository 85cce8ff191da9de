// The look and feel that the application makes the framework's default: the standard look with
// a flat light-blue progress bar whose percentage is drawn in a contrasting colour.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace Kelvora {
namespace Updater {

class UpdaterLookAndFeel : public juce::LookAndFeel_V3
{
public:
    // The progress bar's foreground colour is light blue.
    UpdaterLookAndFeel();
    ~UpdaterLookAndFeel() override = default;

    // Background over the whole area, then the share `progress` of the width (limited to 0..1;
    // not a number counts as 0) in the foreground colour, then the text, if any, centred.
    void drawProgressBar(juce::Graphics& g, juce::ProgressBar& bar, int width, int height, double progress,
                         const juce::String& textToShow) override;
};

} // namespace Updater
} // namespace Kelvora
