#pragma once
// Kept apart from the tests: Xlib's macros (None, Bool, Status) clash with GoogleTest's names.

#include <sys/types.h>

namespace torvex::emulated {

// Sends the close request a window manager sends when the user closes a window, to the visible top-level
// window of process `pid` on $DISPLAY. False when there is no such window (yet).
bool closeWindowOf(pid_t pid);

} // namespace torvex::emulated
