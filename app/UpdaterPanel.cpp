#include "app/UpdaterPanel.h"

#include <algorithm>
#include <utility>

namespace Kelvora {
namespace Updater {

namespace {

constexpr int maxBarHeight = 30;
constexpr int barMargin = 10;
constexpr int buttonWidth = 110;
constexpr int buttonHeight = 24;

} // namespace

UpdaterPanel::UpdaterPanel(const std::string& name, Callback launchCallback, Callback quitCallback)
    : juce::Component(name),
      messageLabel("message", ""),
      progressBar(progress),
      launchButton("Launch Installer"),
      quitButton("Quit"),
      launchCallback(std::move(launchCallback)),
      quitCallback(std::move(quitCallback))
{
    messageLabel.setJustificationType(juce::Justification::centred);
    launchButton.addListener(this);
    quitButton.addListener(this);
    addAndMakeVisible(messageLabel);
    addAndMakeVisible(progressBar);
    addChildComponent(launchButton);
    addChildComponent(quitButton);
}

UpdaterPanel::~UpdaterPanel()
{
    launchButton.removeListener(this);
    quitButton.removeListener(this);
}

void UpdaterPanel::SetMessage(const std::string& text)
{
    // JUCE 7 reads a std::string as UTF-8, which is the ASCII text itself for the window's texts.
    messageLabel.setText(juce::String(text), juce::sendNotificationAsync);
}

void UpdaterPanel::SetProgress(double value)
{
    progress = value;
}

void UpdaterPanel::ShowButtons(bool show)
{
    progressBar.setVisible(!show);
    launchButton.setVisible(show);
    quitButton.setVisible(show);
}

void UpdaterPanel::resized()
{
    const int w = getWidth();
    const int h = getHeight();
    const int half = h / 2;
    const int barHeight = std::min(half, maxBarHeight);
    const int base = (3 * h) / 4;
    messageLabel.setBounds(0, 0, w, half);
    progressBar.setBounds(barMargin, base - barHeight, w - 2 * barMargin, barHeight);
    launchButton.setBounds(w / 4 - buttonWidth / 2, base - buttonHeight, buttonWidth, buttonHeight);
    quitButton.setBounds((3 * w) / 4 - buttonWidth / 2, base - buttonHeight, buttonWidth, buttonHeight);
}

void UpdaterPanel::buttonClicked(juce::Button* button)
{
    if (button == &launchButton) {
        if (launchCallback)
            launchCallback();
    } else if (button == &quitButton) {
        if (quitCallback)
            quitCallback();
    }
}

} // namespace Updater
} // namespace Kelvora
