// The progress bar's drawing, checked pixel by pixel in an image: no display is needed.
#include "app/UpdaterLookAndFeel.h"

#include "tests/support/JuceForTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

using Kelvora::Updater::UpdaterLookAndFeel;

const juce::uint32 lightBlue = 0xffadd8e6;

class UpdaterLookAndFeelTest : public testing::Test
{
protected:
    UpdaterLookAndFeelTest() { bar.setLookAndFeel(&lookAndFeel); }
    ~UpdaterLookAndFeelTest() override { bar.setLookAndFeel(nullptr); }

    juce::Image Draw(int width, int height, double progress, const juce::String& text)
    {
        juce::Image image(juce::Image::ARGB, width, height, true);
        juce::Graphics g(image);
        lookAndFeel.drawProgressBar(g, bar, width, height, progress, text);
        return image;
    }

    juce::uint32 Background() const { return bar.findColour(juce::ProgressBar::backgroundColourId).getARGB(); }

    // Columns from the left that are light blue along the middle row.
    static int FilledColumns(const juce::Image& image)
    {
        int filled = 0;
        while (filled < image.getWidth() && image.getPixelAt(filled, image.getHeight() / 2).getARGB() == lightBlue)
            ++filled;
        return filled;
    }

    JuceForTest framework;
    UpdaterLookAndFeel lookAndFeel;
    double value = 0.0;
    juce::ProgressBar bar{value};
};

TEST_F(UpdaterLookAndFeelTest, ForegroundIsLightBlueAndDrawingIsFlat)
{
    EXPECT_EQ(lookAndFeel.findColour(juce::ProgressBar::foregroundColourId).getARGB(), lightBlue);
    const juce::Image image = Draw(281, 30, 0.5, "");
    // Flat: every pixel is either the fill or the background, with no border or gradient.
    for (int y = 0; y < image.getHeight(); ++y) {
        for (int x = 0; x < image.getWidth(); ++x) {
            const juce::uint32 expected = x < 140 ? lightBlue : Background();
            ASSERT_EQ(image.getPixelAt(x, y).getARGB(), expected) << x << "," << y;
        }
    }
}

TEST_F(UpdaterLookAndFeelTest, FillsTheTruncatedShareOfTheWidth)
{
    struct Case
    {
        double progress;
        int width;
        int filled;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {0.5, 281, 140}, {0.5, 280, 140}, {0.999, 100, 99}, {1.0, 280, 280}, {1.7, 280, 280},
        {infinity, 50, 50}, {0.0, 280, 0}, {-1.0, 280, 0}, {-infinity, 50, 0}, {nan, 280, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FilledColumns(Draw(c.width, 30, c.progress, "")), c.filled) << c.progress << " on " << c.width;
}

TEST_F(UpdaterLookAndFeelTest, TextIsDrawnInTheContrastingColourOnlyWhenGiven)
{
    const juce::Colour background(Background());
    const juce::Colour contrast = juce::Colour::contrasting(background, juce::Colour(lightBlue));
    const auto between = [](juce::uint8 value, juce::uint8 a, juce::uint8 b) {
        return std::min(a, b) <= value && value <= std::max(a, b);
    };
    const juce::Image withText = Draw(280, 30, 0.0, "50%");
    const juce::Image withoutText = Draw(280, 30, 0.0, "");
    int textPixels = 0;
    int solidTextPixels = 0;
    int left = 280;
    int right = -1;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 280; ++x) {
            ASSERT_EQ(withoutText.getPixelAt(x, y).getARGB(), background.getARGB()) << x << "," << y;
            const juce::Colour pixel = withText.getPixelAt(x, y);
            if (pixel == background)
                continue;
            ++textPixels;
            solidTextPixels += pixel == contrast ? 1 : 0;
            left = std::min(left, x);
            right = std::max(right, x);
            // Glyph edges blend the text colour into the background, and nothing else.
            EXPECT_TRUE(between(pixel.getRed(), background.getRed(), contrast.getRed()) &&
                        between(pixel.getGreen(), background.getGreen(), contrast.getGreen()) &&
                        between(pixel.getBlue(), background.getBlue(), contrast.getBlue()))
                << x << "," << y;
        }
    }
    EXPECT_GT(textPixels, 20);
    EXPECT_GT(solidTextPixels, 0);
    EXPECT_NEAR((left + right) / 2.0, 140.0, 4.0) << "centred";
}

TEST_F(UpdaterLookAndFeelTest, ColoursSetOnTheBarWin)
{
    bar.setColour(juce::ProgressBar::foregroundColourId, juce::Colours::red);
    bar.setColour(juce::ProgressBar::backgroundColourId, juce::Colours::black);
    const juce::Image image = Draw(100, 10, 0.25, "");
    EXPECT_EQ(image.getPixelAt(24, 5).getARGB(), juce::Colours::red.getARGB());
    EXPECT_EQ(image.getPixelAt(25, 5).getARGB(), juce::Colours::black.getARGB());
}

} // namespace
