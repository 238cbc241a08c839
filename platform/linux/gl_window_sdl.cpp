// The OpenGL back end's windows on Linux: the Win32 stand-in's SDL windows, with
// OpenGL 3.3 core contexts.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>

#include "gl_window.h"
#include "win32_sdl.h"

namespace d3d8::gl::window {
namespace {

SDL_Window* sdl(Surface* surface) { return reinterpret_cast<SDL_Window*>(surface); }

}  // namespace

bool startVideo() { return win32::startVideo(); }

void useOffscreen() { ::setenv("SDL_VIDEODRIVER", "offscreen", 1); }

bool windowsAreUnseen() { return win32::windowsAreUnseen(); }

Surface* surfaceOf(HWND hWnd) { return reinterpret_cast<Surface*>(win32::sdlWindow(hWnd)); }

void clientSize(Surface* surface, int& width, int& height) {
    SDL_GetWindowSize(sdl(surface), &width, &height);
}

void drawableSize(Surface* surface, int& width, int& height) {
    SDL_GL_GetDrawableSize(sdl(surface), &width, &height);
}

bool desktopMode(Surface* surface, DisplayMode& mode) {
    const int display = surface ? SDL_GetWindowDisplayIndex(sdl(surface)) : 0;
    SDL_DisplayMode sdlMode;
    if (display < 0 || SDL_GetDesktopDisplayMode(display, &sdlMode) != 0) return false;
    mode = DisplayMode{sdlMode.w, sdlMode.h, sdlMode.refresh_rate > 0 ? sdlMode.refresh_rate : 0};
    return true;
}

Context* createContext(Surface* surface) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GLContext context = SDL_GL_CreateContext(sdl(surface));
    if (!context) {
        std::fprintf(stderr, "d3d8/gl: no OpenGL 3.3 core context: %s\n", SDL_GetError());
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(sdl(surface), context) != 0 || epoxy_gl_version() < 33) {
        std::fprintf(stderr, "d3d8/gl: OpenGL 3.3 core is not available\n");
        SDL_GL_DeleteContext(context);
        return nullptr;
    }
    return static_cast<Context*>(context);
}

bool makeCurrent(Surface* surface, Context* context) {
    return SDL_GL_MakeCurrent(sdl(surface), context) == 0;
}

bool isCurrent(Context* context) { return SDL_GL_GetCurrentContext() == context; }

void deleteContext(Surface* surface, Context* context) {
    SDL_GL_MakeCurrent(sdl(surface), nullptr);
    SDL_GL_DeleteContext(context);
}

void swap(Surface* surface) { SDL_GL_SwapWindow(sdl(surface)); }

void setSwapInterval(int interval) { SDL_GL_SetSwapInterval(interval); }

void setFullscreen(Surface* surface, bool fullscreen) {
    SDL_SetWindowFullscreen(sdl(surface), fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

}  // namespace d3d8::gl::window
