// The SDL window behind a window handle, for the Linux port's tools and tests
// that use SDL beside the Win32 stand-in (a title bar's text, a window's flags).
#pragma once

#include <SDL.h>

#include "windows.h"

namespace win32 {

// The SDL window behind a window handle, or null for a handle that is not a live
// window. The SDL window is destroyed with the window (DestroyWindow), so look it
// up again rather than keeping the pointer across messages.
SDL_Window* sdlWindow(HWND hWnd);

}  // namespace win32
