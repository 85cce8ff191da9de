// Asks an X window to close the way a window manager does when its close button is pressed: a
// WM_DELETE_WINDOW message of the WM_PROTOCOLS kind. With --atoms, only makes the atoms of that
// protocol exist, as a running window manager has them before any program starts (programs such
// as JUCE's only look them up and do not create them). The display is $DISPLAY.
//
// Usage: close_window WINDOW_ID | --atoms
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: close_window WINDOW_ID\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "close_window: cannot open the display\n");
        return 1;
    }
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XInternAtom(display, "WM_TAKE_FOCUS", False);
    XInternAtom(display, "_NET_WM_PING", False);
    if (std::strcmp(argv[1], "--atoms") == 0) {
        XSync(display, False);
        XCloseDisplay(display);
        return 0;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return sent != 0 ? 0 : 1;
}
