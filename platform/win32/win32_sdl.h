// What the OpenGL back end needs to know of a window made by the Win32 stand-in.
#pragma once

#include <SDL.h>

#include "windows.h"

namespace win32 {

// The SDL window behind a window handle, or null for a handle that is not a live window.
SDL_Window* sdlWindow(HWND hWnd);

}  // namespace win32
