// A private X server (Xvfb) for one test, so that tests running at the same time never see each
// other's windows, with the X tools a user's eyes and hands stand in for: screenshots with xwd
// (turned into pixels by ImageMagick's convert) and pointer clicks with xdotool. Every tool run
// is a child process with a time-out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// RGB pixels of a screenshot.
struct Screenshot
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    // 0xRRGGBB; 0 outside the image.
    uint32_t Pixel(int x, int y) const;
};

// A top-level window as the X server has it.
struct XWindow
{
    std::string id;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class XvfbServer
{
public:
    // Starts Xvfb on a display number that it picks itself, 1024x768 in 24-bit colour. Throws
    // std::runtime_error when it is not ready within 30 seconds.
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    static bool Available();
    // ":N", the DISPLAY value for the programs under test.
    const std::string& Display() const { return display; }

    // The mapped windows whose name is exactly `name`, as they are now.
    std::vector<XWindow> Windows(const std::string& name) const;
    // Waits until one such window is mapped; false when none is after `limitSeconds`.
    bool WaitForWindow(const std::string& name, XWindow& window, int limitSeconds = 30) const;
    // The whole screen; empty (width 0) when a tool failed.
    Screenshot Capture() const;
    // Moves the pointer to the screen position and clicks the left button there.
    bool Click(int x, int y) const;
    bool MovePointer(int x, int y) const;
    // What a window manager sends when the user presses a window's close button.
    bool RequestClose(const XWindow& window) const;

private:
    bool Tool(const std::string& program, const std::vector<std::string>& arguments, std::string* out = nullptr) const;

    int pid = -1;
    std::string display;
};
