#include "app/UpdaterLookAndFeel.h"

namespace Kelvora {
namespace Updater {

UpdaterLookAndFeel::UpdaterLookAndFeel()
{
    setColour(juce::ProgressBar::foregroundColourId, juce::Colours::lightblue);
}

void UpdaterLookAndFeel::drawProgressBar(juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                         double progress, const juce::String& textToShow)
{
    const juce::Colour background = bar.findColour(juce::ProgressBar::backgroundColourId);
    const juce::Colour foreground = bar.findColour(juce::ProgressBar::foregroundColourId);

    g.fillAll(background);

    // Written so that NaN fails both tests and ends at 0.
    double share = 0.0;
    if (progress > 1.0)
        share = 1.0;
    else if (progress > 0.0)
        share = progress;
    g.setColour(foreground);
    g.fillRect(0, 0, static_cast<int>(width * share), height);

    if (textToShow.isNotEmpty()) {
        g.setColour(juce::Colour::contrasting(background, foreground));
        g.setFont(static_cast<float>(height) * 0.6f);
        g.drawText(textToShow, 0, 0, width, height, juce::Justification::centred, false);
    }
}

} // namespace Updater
} // namespace Kelvora
