// The OpenGL back end's window on the web: the page's canvas with a WebGL2
// context. A frame is shown when control goes back to the browser, which the
// swap does once per frame, waiting for the browser's next animation frame: the
// program's blocking loop runs as written (under ASYNCIFY), paced by the page.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstdio>

#include "gl_window.h"
#include "page.h"

namespace d3d8::gl::window {
namespace {

// The one drawable: the canvas. Its address is the surface's handle.
struct CanvasSurface {
} g_canvas;

bool g_unseen = false;

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handleOf(Context* context) {
    return static_cast<EMSCRIPTEN_WEBGL_CONTEXT_HANDLE>(reinterpret_cast<intptr_t>(context));
}

EM_ASYNC_JS(void, waitForAnimationFrame, (), {
    await new Promise(function(resolve) { requestAnimationFrame(function() { resolve(); }); });
});

EM_JS(int, screenWidth, (), { return screen.width | 0; });
EM_JS(int, screenHeight, (), { return screen.height | 0; });

}  // namespace

bool startVideo() { return true; }

void useOffscreen() { g_unseen = true; }

bool windowsAreUnseen() { return g_unseen; }

Surface* surfaceOf(HWND hWnd) {
    return hWnd && hWnd == web::pageWindow() ? reinterpret_cast<Surface*>(&g_canvas) : nullptr;
}

void clientSize(Surface*, int& width, int& height) {
    emscripten_get_canvas_element_size(web::kCanvasSelector, &width, &height);
}

void drawableSize(Surface* surface, int& width, int& height) { clientSize(surface, width, height); }

// The browser does not tell the display's refresh rate: pacing takes 60 Hz, and
// the animation frames the swap waits for keep to the real one.
bool desktopMode(Surface*, DisplayMode& mode) {
    mode = DisplayMode{screenWidth(), screenHeight(), 0};
    return mode.width > 0 && mode.height > 0;
}

Context* createContext(Surface*) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // The back end draws into a framebuffer of its own and copies it over: the
    // canvas needs colour only, opaque, without antialiasing. It keeps its last
    // frame, so that the loading picture stays while the page waits for a click
    // (a canvas whose drawing buffer is not kept may show nothing once shown).
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context(web::kCanvasSelector, &attributes);
    if (context <= 0) {
        std::fprintf(stderr, "d3d8/gl: no WebGL2 context (%d)\n", static_cast<int>(context));
        return nullptr;
    }
    emscripten_webgl_make_context_current(context);
    return reinterpret_cast<Context*>(static_cast<intptr_t>(context));
}

// The page says what the browser lacks before the program is loaded.
std::string contextFailureText() { return {}; }

bool makeCurrent(Surface*, Context* context) {
    return emscripten_webgl_make_context_current(handleOf(context)) == EMSCRIPTEN_RESULT_SUCCESS;
}

bool isCurrent(Context* context) { return emscripten_webgl_get_current_context() == handleOf(context); }

void deleteContext(Surface*, Context* context) { emscripten_webgl_destroy_context(handleOf(context)); }

void swap(Surface*) { waitForAnimationFrame(); }

// The browser shows a frame at each of its animation frames, whatever the interval.
void setSwapInterval(int) {}

// A page can only go full screen from the viewer's own gesture (the page's
// full-screen button): the program's request leaves the canvas where it is.
void setFullscreen(Surface*, bool) {}

}  // namespace d3d8::gl::window
