// The update window's content: a message line, a progress bar, and the buttons "Launch
// Installer" and "Quit", which stay hidden until the window shows them after a failed install.
// Main thread only.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <string>

namespace Kelvora {
namespace Updater {

class UpdaterPanel : public juce::Component, public juce::Button::Listener
{
public:
    using Callback = std::function<void()>;

    // Either action may be empty: its button then does nothing.
    UpdaterPanel(const std::string& name, Callback launchCallback, Callback quitCallback);
    ~UpdaterPanel() override;

    // The label's change notification is sent asynchronously.
    void SetMessage(const std::string& text);
    // From 0 to 1 a fraction; a negative value shows an empty bar without text.
    void SetProgress(double value);
    // The bar is visible exactly when the buttons are not.
    void ShowButtons(bool show);

    // Label over the top half; bar (at most 30 high, 10 from each side) and buttons (110 by 24,
    // centred on the quarter points) end at three quarters of the height.
    void resized() override;
    void buttonClicked(juce::Button* button) override;

private:
    // Read by the progress bar, on the main thread, from its own timer.
    double progress = 0.0;
    juce::Label messageLabel;
    juce::ProgressBar progressBar;
    juce::TextButton launchButton;
    juce::TextButton quitButton;
    Callback launchCallback;
    Callback quitCallback;
};

} // namespace Updater
} // namespace Kelvora
