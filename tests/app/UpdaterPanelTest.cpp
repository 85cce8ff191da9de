// The panel's layout, buttons and drawing, without a display: bounds are read from the children
// and pixels from a snapshot image.
#include "app/UpdaterLookAndFeel.h"
#include "app/UpdaterPanel.h"

#include "tests/support/JuceForTest.h"

#include <gtest/gtest.h>

namespace {

using Kelvora::Updater::UpdaterLookAndFeel;
using Kelvora::Updater::UpdaterPanel;

const juce::uint32 lightBlue = 0xffadd8e6;

class UpdaterPanelTest : public testing::Test
{
protected:
    UpdaterPanelTest() { juce::LookAndFeel::setDefaultLookAndFeel(&lookAndFeel); }
    ~UpdaterPanelTest() override { juce::LookAndFeel::setDefaultLookAndFeel(nullptr); }

    // The children in the order the panel adds them.
    static juce::Label& Message(UpdaterPanel& panel) { return Child<juce::Label>(panel, 0); }
    static juce::ProgressBar& Bar(UpdaterPanel& panel) { return Child<juce::ProgressBar>(panel, 1); }
    static juce::TextButton& Launch(UpdaterPanel& panel) { return Child<juce::TextButton>(panel, 2); }
    static juce::TextButton& Quit(UpdaterPanel& panel) { return Child<juce::TextButton>(panel, 3); }

    template <class T>
    static T& Child(UpdaterPanel& panel, int index)
    {
        auto* child = dynamic_cast<T*>(panel.getChildComponent(index));
        if (child == nullptr)
            throw std::runtime_error("unexpected child " + std::to_string(index));
        return *child;
    }

    // Runs the message loop until the bar's own timer has taken up the panel's value.
    static void SyncBar() { juce::MessageManager::getInstance()->runDispatchLoopUntil(200); }

    JuceForTest framework;
    UpdaterLookAndFeel lookAndFeel;
};

TEST_F(UpdaterPanelTest, ChildrenTextsAndStartingVisibility)
{
    UpdaterPanel panel("main", {}, {});
    EXPECT_EQ(panel.getName(), "main");
    ASSERT_EQ(panel.getNumChildComponents(), 4);
    EXPECT_EQ(Message(panel).getName(), "message");
    EXPECT_EQ(Message(panel).getText(), "");
    EXPECT_EQ(Message(panel).getJustificationType(), juce::Justification::centred);
    EXPECT_EQ(Launch(panel).getButtonText(), "Launch Installer");
    EXPECT_EQ(Quit(panel).getButtonText(), "Quit");
    EXPECT_TRUE(Message(panel).isVisible());
    EXPECT_TRUE(Bar(panel).isVisible());
    EXPECT_FALSE(Launch(panel).isVisible());
    EXPECT_FALSE(Quit(panel).isVisible());
}

TEST_F(UpdaterPanelTest, LayoutFollowsTheHeight)
{
    struct Case
    {
        int width, height;
        juce::Rectangle<int> label, bar, launch, quit;
    };
    const Case cases[] = {
        {300, 100, {0, 0, 300, 50}, {10, 45, 280, 30}, {20, 51, 110, 24}, {170, 51, 110, 24}},
        {300, 0, {0, 0, 300, 0}, {10, 0, 280, 0}, {20, -24, 110, 24}, {170, -24, 110, 24}},
        {300, 40, {0, 0, 300, 20}, {10, 10, 280, 20}, {20, 6, 110, 24}, {170, 6, 110, 24}},
        {300, 61, {0, 0, 300, 30}, {10, 15, 280, 30}, {20, 21, 110, 24}, {170, 21, 110, 24}},
        {301, 103, {0, 0, 301, 51}, {10, 47, 281, 30}, {20, 53, 110, 24}, {170, 53, 110, 24}},
    };
    for (const Case& c : cases) {
        UpdaterPanel panel("main", {}, {});
        panel.setBounds(0, 0, c.width, c.height);
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        EXPECT_EQ(Message(panel).getBounds(), c.label) << size;
        EXPECT_EQ(Bar(panel).getBounds(), c.bar) << size;
        EXPECT_EQ(Launch(panel).getBounds(), c.launch) << size;
        EXPECT_EQ(Quit(panel).getBounds(), c.quit) << size;
    }
}

TEST_F(UpdaterPanelTest, ButtonsReplaceTheBarAndBack)
{
    UpdaterPanel panel("main", {}, {});
    panel.ShowButtons(true);
    EXPECT_FALSE(Bar(panel).isVisible());
    EXPECT_TRUE(Launch(panel).isVisible());
    EXPECT_TRUE(Quit(panel).isVisible());
    panel.ShowButtons(false);
    EXPECT_TRUE(Bar(panel).isVisible());
    EXPECT_FALSE(Launch(panel).isVisible());
    EXPECT_FALSE(Quit(panel).isVisible());
}

TEST_F(UpdaterPanelTest, EachButtonCallsItsOwnActionAndAnEmptyOneDoesNothing)
{
    int launches = 0;
    int quits = 0;
    UpdaterPanel panel("main", [&] { ++launches; }, [&] { ++quits; });
    panel.buttonClicked(&Launch(panel));
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(quits, 0);
    panel.buttonClicked(&Quit(panel));
    panel.buttonClicked(&Quit(panel));
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(quits, 2);
    juce::TextButton stranger("other");
    panel.buttonClicked(&stranger);
    EXPECT_EQ(launches + quits, 3);

    UpdaterPanel silent("main", {}, {});
    silent.buttonClicked(&Launch(silent));
    silent.buttonClicked(&Quit(silent));
}

TEST_F(UpdaterPanelTest, MessageReachesTheLabel)
{
    UpdaterPanel panel("main", {}, {});
    panel.SetMessage("Downloading latest version...");
    EXPECT_EQ(Message(panel).getText(), "Downloading latest version...");
}

TEST_F(UpdaterPanelTest, SnapshotShowsTheFilledBarOrTheButtons)
{
    UpdaterPanel panel("main", {}, {});
    panel.setBounds(0, 0, 300, 100);
    panel.SetProgress(1.0);
    SyncBar();

    const auto count = [](const juce::Image& image, juce::Rectangle<int> area, juce::uint32 colour) {
        int n = 0;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                n += image.getPixelAt(x, y).getARGB() == colour ? 1 : 0;
        return n;
    };
    const juce::Rectangle<int> barArea(10, 45, 280, 30);
    const juce::Rectangle<int> launchArea(20, 51, 110, 24);
    const juce::Rectangle<int> quitArea(170, 51, 110, 24);
    const juce::Rectangle<int> betweenButtons(135, 51, 30, 24);

    const juce::Image withBar = panel.createComponentSnapshot(panel.getLocalBounds());
    // Full bar: light blue all over, but for its "100%".
    EXPECT_GT(count(withBar, barArea, lightBlue), 280 * 30 * 8 / 10);

    panel.ShowButtons(true);
    const juce::Image withButtons = panel.createComponentSnapshot(panel.getLocalBounds());
    EXPECT_EQ(count(withButtons, barArea, lightBlue), 0);
    const juce::uint32 empty = withButtons.getPixelAt(150, 60).getARGB();
    EXPECT_EQ(count(withButtons, betweenButtons, empty), 30 * 24) << "nothing is drawn between the buttons";
    // Each button draws over its whole box.
    EXPECT_LT(count(withButtons, launchArea, empty), 110 * 24 / 10);
    EXPECT_LT(count(withButtons, quitArea, empty), 110 * 24 / 10);
}

} // namespace
