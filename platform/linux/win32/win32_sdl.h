// What the OpenGL back end (and the tests) need to know of the Win32 stand-in's
// SDL objects.
#pragma once

#include <SDL.h>

#include "windows.h"

namespace win32 {

// Starts SDL's video on a driver with a screen, or the one SDL_VIDEODRIVER
// names; says on stderr, once, when there is no display. False without video.
bool startVideo();

// Whether SDL's video driver makes windows that nobody can see (its offscreen
// and dummy drivers): nothing shown in them can be seen or read back.
bool windowsAreUnseen();

// The SDL window behind a window handle, or null for a handle that is not a live
// window. The SDL window is destroyed with the window (DestroyWindow), so look it
// up again rather than keeping the pointer across messages.
SDL_Window* sdlWindow(HWND hWnd);

// The images of an icon from LoadIconA: how many there are, and each one as a
// 32-bit ARGB surface owned by the icon (null for a bad handle or index).
int iconImageCount(HICON hIcon);
SDL_Surface* iconImage(HICON hIcon, int index);

}  // namespace win32
