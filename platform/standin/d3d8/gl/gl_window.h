// What the OpenGL back end needs of the window system under it. Each port
// implements these over its own windows: SDL2 windows with OpenGL 3.3 core
// contexts on Linux, the page's canvas with a WebGL2 context on the web.
#pragma once

#include <string>

#include "windows.h"

namespace d3d8::gl::window {

// A port's drawable window and GL context; the back end only passes them back.
struct Surface;
struct Context;

struct DisplayMode {
    int width = 0;
    int height = 0;
    int refreshRate = 0;  // 0 when unknown
};

// Starts the port's video; false when there is no display to draw on.
bool startVideo();

// Makes every window from now on one that nobody sees (capture, benchmarks).
void useOffscreen();

// Whether windows are ones that nobody can see: showing a frame in them would
// cost a copy and a swap for nothing.
bool windowsAreUnseen();

// The drawable behind a window handle, or null for a handle that is not a live
// window. Look it up again rather than keep it across messages: it dies with
// its window.
Surface* surfaceOf(HWND hWnd);

// The size of a window's client area in window units, and of its drawable in pixels.
void clientSize(Surface* surface, int& width, int& height);
void drawableSize(Surface* surface, int& width, int& height);

// The desktop's mode: of the display that shows the surface, or of the first
// display for null. False when it cannot be told.
bool desktopMode(Surface* surface, DisplayMode& mode);

// A context for the surface, current on return; null (with a line on stderr)
// when the surface cannot have one the back end can use.
Context* createContext(Surface* surface);
// Why no context could be made, in plain words for a viewer (the OpenGL found and
// the OpenGL needed); empty where the port has nothing to add to the failure.
std::string contextFailureText();
bool makeCurrent(Surface* surface, Context* context);
bool isCurrent(Context* context);
// Deletes a context; surface is null when its window is gone.
void deleteContext(Surface* surface, Context* context);

// Shows the drawable's frame, waiting for vertical sync when the interval is 1.
void swap(Surface* surface);
void setSwapInterval(int interval);

// Full screen on the surface's display, or back to a window.
void setFullscreen(Surface* surface, bool fullscreen);

}  // namespace d3d8::gl::window
