// The OpenGL back end's windows on Linux: the Win32 stand-in's SDL windows, with
// OpenGL 3.3 core contexts.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gl_window.h"
#include "win32_sdl.h"

namespace d3d8::gl::window {
namespace {

SDL_Window* sdl(Surface* surface) { return reinterpret_cast<SDL_Window*>(surface); }

constexpr int kNeededVersion = 33;  // as libepoxy counts: major * 10 + minor

void requestCoreContext() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

const char* glText(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "unknown";
}

// What the driver offers when it refuses the context the back end needs: a
// context of its own choosing (no version or profile asked for, the oldest way
// of making one) is made only to read its version and renderer.
struct OfferedOpenGl {
    int version = 0;  // 0: not even such a context could be made
    std::string description;
};

OfferedOpenGl offeredOpenGl(Surface* surface) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GLContext probe = SDL_GL_CreateContext(sdl(surface));
    requestCoreContext();
    OfferedOpenGl offered;
    if (!probe) return offered;
    if (SDL_GL_MakeCurrent(sdl(surface), probe) == 0) {
        offered.version = epoxy_gl_version();
        offered.description = "OpenGL " + std::to_string(offered.version / 10) + "." +
                              std::to_string(offered.version % 10) + " (" + glText(GL_VERSION) + ", " +
                              glText(GL_RENDERER) + ")";
    }
    SDL_GL_MakeCurrent(sdl(surface), nullptr);
    SDL_GL_DeleteContext(probe);
    return offered;
}

std::string& failureText() {
    static std::string text;
    return text;
}

// Says once per process, in plain words, what was found and what is needed:
// the viewer on an old machine learns why nothing is drawn. One line on stderr;
// the back end may also show it in a box (contextFailureText).
void reportNoCoreContext(Surface* surface, std::string why) {
    if (!failureText().empty()) return;
    const std::string& noOpenGlWindow = win32::noOpenGlWindowReason();
    if (!noOpenGlWindow.empty()) why = "no window for OpenGL: " + noOpenGlWindow;
    const OfferedOpenGl offered = noOpenGlWindow.empty() ? offeredOpenGl(surface) : OfferedOpenGl{};
    if (offered.version == 0) {
        failureText() = "No OpenGL 3.3: no OpenGL context could be made at all (" + why +
                        "). This program needs OpenGL 3.3; check that a graphics driver is installed.";
    } else if (offered.version < kNeededVersion) {
        failureText() = "No OpenGL 3.3: the graphics driver offers only " + offered.description +
                        ". This program needs OpenGL 3.3; a newer driver or graphics card is needed.";
    } else {
        // New enough, but not as a core profile context: a driver's own limit.
        failureText() = "No OpenGL 3.3: the graphics driver offers " + offered.description +
                        " but no OpenGL 3.3 core profile context (" + why + "). This program needs one.";
    }
    std::fprintf(stderr, "%s\n", failureText().c_str());
}

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
    requestCoreContext();
    SDL_GLContext context = SDL_GL_CreateContext(sdl(surface));
    if (!context) {
        reportNoCoreContext(surface, SDL_GetError());
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(sdl(surface), context) != 0 || epoxy_gl_version() < kNeededVersion) {
        reportNoCoreContext(surface, "the context made is older than 3.3");
        SDL_GL_DeleteContext(context);
        return nullptr;
    }
    return static_cast<Context*>(context);
}

std::string contextFailureText() { return failureText(); }

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
