// What the Linux port's files, and its tests, know of the Win32 stand-in's SDL
// objects. Tools include sdl_window.h instead.
#pragma once

#include <SDL.h>

#include <string>

#include "sdl_window.h"
#include "windows.h"

namespace win32 {

// Starts SDL's video on a driver with a screen, or the one SDL_VIDEODRIVER
// names; says on stderr, once, when there is no display. False without video.
bool startVideo();

// Whether SDL's video driver makes windows that nobody can see (its offscreen
// and dummy drivers): nothing shown in them can be seen or read back.
bool windowsAreUnseen();

// Why the last window was made without OpenGL (SDL's words), or empty when it
// has OpenGL. The OpenGL back end says it when it finds no context there.
const std::string& noOpenGlWindowReason();

// The images of an icon from LoadIconA: how many there are, and each one as a
// 32-bit ARGB surface owned by the icon (null for a bad handle or index).
int iconImageCount(HICON hIcon);
SDL_Surface* iconImage(HICON hIcon, int index);

}  // namespace win32
