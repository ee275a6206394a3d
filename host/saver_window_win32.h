// The screen-saver window on Windows: the window class, the preview child or
// the full-screen popup, the message loop, and the host's window procedure
// and default procedure around the engine window procedure.
//
// This build runs on the NT line of Windows only (64-bit), which keeps no
// screen-saver password of its own: input closes the saver without asking.
#pragma once

#include <windows.h>

namespace kelvo {

inline constexpr const char* kSaverClassName = "WindowsScreenSaverClass";
inline constexpr const char* kFullScreenTitle = "Screen Saver";
inline constexpr const char* kPreviewTitle = "Preview";

// Runs the screen saver until its window is closed: as a child of `parent`
// (preview) or, with no parent, full screen. A full-screen start while
// another full-screen saver runs brings that one to the front and returns 0.
// Returns the exit status.
int run_saver(HINSTANCE instance, HWND parent);

}  // namespace kelvo
