#include "x11_close.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace torvex::emulated {

namespace {

// The top-level window that the process `pid` made, found by the _NET_WM_PID that Qt sets on it.
Window windowOf(Display *display, pid_t pid)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data)
                == Success
            && data != nullptr) {
            XWindowAttributes attributes{};
            if (items == 1 && *reinterpret_cast<unsigned long *>(data) == static_cast<unsigned long>(pid)
                && XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
                found = children[i];
            XFree(data);
        }
    }
    XFree(children);
    return found;
}

} // namespace

bool closeWindowOf(pid_t pid)
{
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    const Window window = windowOf(display, pid);
    if (window != 0) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }
    XCloseDisplay(display);
    return window != 0;
}

} // namespace torvex::emulated
