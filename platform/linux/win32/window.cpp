// Window classes and windows of the Win32 stand-in, over SDL2 windows.
//
// Implemented:
//  [x] RegisterClassExA / UnregisterClassA (names compared without case, as Windows does)
//  [x] CreateWindowExA: a hidden OpenGL-capable SDL window, WM_CREATE, WS_VISIBLE
//  [x] DestroyWindow: WM_DESTROY, queued messages dropped, SDL window destroyed
//  [x] ShowWindow, UpdateWindow, BeginPaint/EndPaint with a one-bit update region
//  [x] GetWindowRect, GetClientRect, SetWindowPos (WM_SIZE on a size change)
//  [x] GetModuleHandleA(nullptr), GetDesktopWindow (a pseudo handle, never a live window)
//
// Window size: the SDL window has no frame of ours, so the outer size that the
// program asks for is the SDL client size. A 640 x 480 window has a 640 x 480
// back buffer, and GetWindowRect reports 640 x 480 back.
//
// Handles are followed only after the registry has found them among the live
// windows, so null, destroyed and made-up handles are all refused safely.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "win32_internal.h"
#include "win32_sdl.h"
#include "windows.h"

struct HINSTANCE__ {
    int unused;
};
struct HDC__ {
    int unused;
};

namespace {

struct WindowClass {
    std::string name;
    ATOM atom;
    WNDPROC procedure;
    HICON icon;
    bool hasBackgroundBrush;
};

// Registered application classes get atoms from this range, as on Windows.
constexpr ATOM kFirstClassAtom = 0xC000;

// The largest window side we hand to SDL; window systems reject larger ones.
constexpr int kMaxWindowSide = 16384;

// Used when the program leaves the size to the system (CW_USEDEFAULT).
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

HINSTANCE__ g_programInstance{};
HWND__ g_desktopWindow{};  // never in the registry: IsWindow refuses it
HDC__ g_paintDc{};

// Never destroyed: windows may still be torn down from other static destructors.
std::vector<WindowClass>& classes() {
    static auto* list = new std::vector<WindowClass>;
    return *list;
}

std::vector<std::unique_ptr<HWND__>>& windows() {
    static auto* list = new std::vector<std::unique_ptr<HWND__>>;
    return *list;
}

// Class names may be given as atoms (small integers); only names are supported,
// and an atom is never followed as a pointer.
bool isClassName(LPCSTR name) { return name != nullptr && !IS_INTRESOURCE(name); }

WindowClass* findClass(LPCSTR name) {
    if (!isClassName(name)) return nullptr;
    for (WindowClass& windowClass : classes()) {
        if (SDL_strcasecmp(windowClass.name.c_str(), name) == 0) return &windowClass;
    }
    return nullptr;
}

ATOM nextClassAtom() {
    static ATOM next = kFirstClassAtom;
    const ATOM atom = next;
    next = next == 0xFFFF ? kFirstClassAtom : next + 1;  // 0 would mean failure
    return atom;
}

int clampSide(int side) { return std::clamp(side, 1, kMaxWindowSide); }

int clampCoordinate(int coordinate) { return std::clamp(coordinate, -kMaxWindowSide, kMaxWindowSide); }

// Asks for at least `minimum` of a GL framebuffer attribute, keeping a larger
// request that someone made before us.
void requestAtLeast(SDL_GLattr attribute, int minimum) {
    int current = 0;
    if (SDL_GL_GetAttribute(attribute, &current) != 0 || current < minimum) {
        SDL_GL_SetAttribute(attribute, minimum);
    }
}

// On X11 and EGL the window's pixel format is chosen when the window is made,
// so the OpenGL back end's framebuffer (8-bit RGB, 24-bit depth, 8-bit stencil,
// double-buffered) has to be asked for here, before any device exists.
void requestBackBufferFormat() {
    requestAtLeast(SDL_GL_RED_SIZE, 8);
    requestAtLeast(SDL_GL_GREEN_SIZE, 8);
    requestAtLeast(SDL_GL_BLUE_SIZE, 8);
    requestAtLeast(SDL_GL_DEPTH_SIZE, 24);
    requestAtLeast(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

Uint32 sdlFlagsForStyle(DWORD style) {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    // Without a caption (WS_SYSMENU alone is the full-screen form) there is no frame.
    if ((style & WS_CAPTION) != WS_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    return flags;
}

std::string& noOpenGlWindow() {
    static std::string reason;
    return reason;
}

// While SDL makes the first OpenGL window on X11 it loads the OpenGL library and
// makes a throwaway context to read its extensions, without catching X errors:
// a broken driver (one that cannot make any context) then ends the process
// through Xlib's default handler, in the middle of CreateWindowExA. Those errors
// are ignored while a window is made; the OpenGL back end finds no usable
// context later and says why. Xlib is looked up, not linked: it is there only
// when SDL has loaded it for its X11 driver.
class IgnoredXErrors {
public:
    IgnoredXErrors() {
        xlib_ = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (!xlib_) return;
        setHandler_ = reinterpret_cast<SetHandler>(dlsym(xlib_, "XSetErrorHandler"));
        if (setHandler_) previous_ = setHandler_(ignore);
    }
    ~IgnoredXErrors() {
        if (setHandler_) setHandler_(previous_);
        if (xlib_) dlclose(xlib_);
    }
    IgnoredXErrors(const IgnoredXErrors&) = delete;
    IgnoredXErrors& operator=(const IgnoredXErrors&) = delete;

private:
    // Xlib's handler type, int (*)(Display*, XErrorEvent*), without its header.
    using Handler = int (*)(void* display, void* event);
    using SetHandler = Handler (*)(Handler);
    static int ignore(void*, void*) { return 0; }

    void* xlib_ = nullptr;
    SetHandler setHandler_ = nullptr;
    Handler previous_ = nullptr;
};

// Makes the SDL window, preferring one the OpenGL back end can render to. Falls
// back to the window system's default pixel format, then to a window without
// OpenGL (device creation then fails later, as on a machine without 3D).
SDL_Window* createSdlWindow(const char* title, int x, int y, int width, int height, DWORD style) {
    const Uint32 flags = sdlFlagsForStyle(style);
    const IgnoredXErrors ignored;
    requestBackBufferFormat();
    noOpenGlWindow().clear();
    if (SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL)) {
        return window;
    }
    SDL_GL_ResetAttributes();
    if (SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL)) {
        return window;
    }
    noOpenGlWindow() = SDL_GetError();
    return SDL_CreateWindow(title, x, y, width, height, flags);
}

bool isShown(const HWND__* window) {
    const Uint32 flags = SDL_GetWindowFlags(window->sdl);
    return (flags & SDL_WINDOW_SHOWN) && !(flags & SDL_WINDOW_MINIMIZED);
}

RECT clientRectOf(const HWND__* window) {
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(window->sdl, &width, &height);
    return RECT{0, 0, width, height};
}

// Picks up a new size of the SDL window: the whole client area needs painting and
// the procedure gets WM_SIZE, sent synchronously as Windows sends it.
void syncSize(HWND hWnd) {
    HWND__* window = win32::detail::liveWindow(hWnd);
    if (!window || window->destroying) return;
    const RECT client = clientRectOf(window);
    if (client.right == window->lastWidth && client.bottom == window->lastHeight) return;
    window->lastWidth = client.right;
    window->lastHeight = client.bottom;
    window->needsPaint = true;
    SendMessageA(hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

void setClassIcon(SDL_Window* sdl, HICON icon) {
    if (SDL_Surface* image = win32::iconImage(icon, 0)) SDL_SetWindowIcon(sdl, image);
}

BOOL desktopRect(LPRECT rect, bool clientCoordinates) {
    SDL_Rect bounds{};
    if (!SDL_WasInit(SDL_INIT_VIDEO) || SDL_GetDisplayBounds(0, &bounds) != 0) return FALSE;
    if (clientCoordinates) bounds.x = bounds.y = 0;
    *rect = RECT{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
    return TRUE;
}

}  // namespace

namespace win32 {

bool startVideo() { return detail::ensureVideo(); }

const std::string& noOpenGlWindowReason() { return noOpenGlWindow(); }

SDL_Window* sdlWindow(HWND hWnd) {
    const HWND__* window = detail::liveWindow(hWnd);
    return window ? window->sdl : nullptr;
}

namespace detail {

namespace {

bool hasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Left to itself, SDL falls back to its offscreen driver when no display can be
// opened, and a program would run in a window nobody sees. Unless a driver was
// chosen (SDL_VIDEODRIVER, as tools and tests choose "offscreen"), only drivers
// with a screen are tried: X11 and Wayland where their variables name a
// display (trying them elsewhere makes their libraries print errors), then the
// console's KMSDRM.
bool initialiseScreenDriver() {
    std::vector<const char*> candidates;
    if (hasEnvironment("DISPLAY")) candidates.push_back("x11");
    if (hasEnvironment("WAYLAND_DISPLAY")) candidates.push_back("wayland");
    candidates.push_back("KMSDRM");
    for (const char* driver : candidates) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, nullptr);
    if (hasEnvironment("DISPLAY") || hasEnvironment("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "No display: the one DISPLAY or WAYLAND_DISPLAY names cannot be opened (%s).\n",
                     SDL_GetError());
    } else {
        std::fprintf(stderr, "No display: DISPLAY is not set. Set it to show the window, or use capture to "
                             "render the demo without a screen.\n");
    }
    return false;
}

}  // namespace

bool ensureVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    // Mesa's GLX and EGL write their own errors to stderr ("libGL error: ..."),
    // beside the one line the OpenGL back end writes when no context can be
    // made. Quiet unless a developer asks for them (LIBGL_DEBUG, EGL_LOG_LEVEL).
    ::setenv("LIBGL_DEBUG", "quiet", 0);
    ::setenv("EGL_LOG_LEVEL", "fatal", 0);
    static bool reported = false;
    if (!hasEnvironment("SDL_VIDEODRIVER")) {
        if (reported) return false;
        reported = !initialiseScreenDriver();
        return !reported;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    if (!reported) {
        reported = true;
        std::fprintf(stderr, "win32: no video (%s)\n", SDL_GetError());
    }
    return false;
}

HWND__* liveWindow(HWND hWnd) {
    if (!hWnd) return nullptr;
    for (const auto& window : windows()) {
        if (window.get() == hWnd) return window.get();
    }
    return nullptr;
}

HWND windowFromSdlId(Uint32 sdlId) {
    if (sdlId == 0) return nullptr;
    for (const auto& window : windows()) {
        if (window->sdlId == sdlId && !window->destroying) return window.get();
    }
    return nullptr;
}

HWND keyboardTarget() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_Window* focus = SDL_GetKeyboardFocus()) {
            if (HWND hWnd = windowFromSdlId(SDL_GetWindowID(focus))) return hWnd;
        }
    }
    for (const auto& window : windows()) {
        if (!window->destroying) return window.get();
    }
    return nullptr;
}

HWND windowNeedingPaint(HWND filter) {
    for (const auto& window : windows()) {
        if (filter && filter != window.get()) continue;
        if (window->needsPaint && !window->destroying && isShown(window.get())) return window.get();
    }
    return nullptr;
}

std::vector<HWND> liveWindows() {
    std::vector<HWND> list;
    for (const auto& window : windows()) {
        if (!window->destroying) list.push_back(window.get());
    }
    return list;
}

void handleWindowEvent(const SDL_WindowEvent& event) {
    const HWND hWnd = windowFromSdlId(event.windowID);
    HWND__* window = liveWindow(hWnd);
    if (!window) return;
    switch (event.event) {
        case SDL_WINDOWEVENT_CLOSE:
            if (!isQueued(hWnd, WM_CLOSE)) PostMessageA(hWnd, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            window->needsPaint = true;
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            syncSize(hWnd);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            SendMessageA(hWnd, WM_ACTIVATE, WA_ACTIVE, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            SendMessageA(hWnd, WM_ACTIVATE, WA_INACTIVE, 0);
            break;
        default:
            break;
    }
}

}  // namespace detail
}  // namespace win32

using win32::detail::liveWindow;

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    // Only the program's own module is known; other modules are "not loaded".
    return lpModuleName == nullptr ? &g_programInstance : nullptr;
}

HWND WINAPI GetDesktopWindow() { return &g_desktopWindow; }

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    if (!lpwcx || lpwcx->cbSize != sizeof(WNDCLASSEXA)) return 0;
    if (!isClassName(lpwcx->lpszClassName) || !lpwcx->lpfnWndProc) return 0;
    if (findClass(lpwcx->lpszClassName)) return 0;  // class already exists
    const ATOM atom = nextClassAtom();
    classes().push_back(WindowClass{lpwcx->lpszClassName, atom, lpwcx->lpfnWndProc,
                                    lpwcx->hIcon, lpwcx->hbrBackground != nullptr});
    return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE /*hInstance*/) {
    const WindowClass* windowClass = findClass(lpClassName);
    if (!windowClass) return FALSE;
    // Windows refuses to unregister a class while windows of it exist.
    for (const auto& window : windows()) {
        if (window->classAtom == windowClass->atom) return FALSE;
    }
    auto& list = classes();
    list.erase(list.begin() + (windowClass - list.data()));
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                            HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
    const WindowClass* windowClass = findClass(lpClassName);
    if (!windowClass || !win32::detail::ensureVideo()) return nullptr;
    // Copied out: the procedure may register classes and move the list.
    const ATOM classAtom = windowClass->atom;
    const WNDPROC procedure = windowClass->procedure;
    const HICON icon = windowClass->icon;
    const bool hasBackgroundBrush = windowClass->hasBackgroundBrush;

    // As on Windows, a default x also makes y the default.
    const bool defaultPosition = X == CW_USEDEFAULT || Y == CW_USEDEFAULT;
    const int x = defaultPosition ? SDL_WINDOWPOS_UNDEFINED : clampCoordinate(X);
    const int y = defaultPosition ? SDL_WINDOWPOS_UNDEFINED : clampCoordinate(Y);
    const bool defaultSize = nWidth == CW_USEDEFAULT;
    const int width = defaultSize ? kDefaultWidth : clampSide(nWidth);
    const int height = defaultSize ? kDefaultHeight : clampSide(nHeight);
    const char* title = lpWindowName ? lpWindowName : "";

    SDL_Window* sdl = createSdlWindow(title, x, y, width, height, dwStyle);
    if (!sdl) return nullptr;
    setClassIcon(sdl, icon);

    auto window = std::make_unique<HWND__>();
    window->procedure = procedure;
    window->classAtom = classAtom;
    window->style = dwStyle;
    window->sdl = sdl;
    window->sdlId = SDL_GetWindowID(sdl);
    SDL_GetWindowSize(sdl, &window->lastWidth, &window->lastHeight);
    window->eraseBackground = !hasBackgroundBrush;
    const HWND hWnd = window.get();
    windows().push_back(std::move(window));

    CREATESTRUCTA create{lpParam, hInstance, hMenu, hWndParent, height, width, y, x,
                         static_cast<LONG>(dwStyle), title, lpClassName, dwExStyle};
    // A procedure that answers WM_CREATE with -1 refuses the window.
    if (SendMessageA(hWnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hWnd);
        return nullptr;
    }
    if (!liveWindow(hWnd)) return nullptr;  // destroyed during WM_CREATE
    if (dwStyle & WS_VISIBLE) ShowWindow(hWnd, SW_SHOW);
    return hWnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    HWND__* window = liveWindow(hWnd);
    if (!window || window->destroying) return FALSE;
    window->destroying = true;
    // Windows hides the window, then sends WM_DESTROY while the handle is still valid.
    SDL_HideWindow(window->sdl);
    SendMessageA(hWnd, WM_DESTROY, 0, 0);
    win32::detail::discardMessagesFor(hWnd);
    // Only this function removes windows and `destroying` keeps it from running
    // twice for one window, so `window` is still valid here.
    SDL_DestroyWindow(window->sdl);
    auto& list = windows();
    list.erase(std::find_if(list.begin(), list.end(),
                            [hWnd](const auto& entry) { return entry.get() == hWnd; }));
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) { return liveWindow(hWnd) ? TRUE : FALSE; }

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    HWND__* window = liveWindow(hWnd);
    if (!window) return FALSE;
    const bool wasVisible = SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_SHOWN;
    if (nCmdShow == SW_HIDE) {
        SDL_HideWindow(window->sdl);
        return wasVisible;
    }
    SDL_ShowWindow(window->sdl);
    if (nCmdShow == SW_MINIMIZE || nCmdShow == SW_SHOWMINIMIZED) {
        SDL_MinimizeWindow(window->sdl);
    } else if (nCmdShow == SW_MAXIMIZE) {
        SDL_MaximizeWindow(window->sdl);
    } else if (nCmdShow == SW_RESTORE) {
        SDL_RestoreWindow(window->sdl);
    }
    // A window that appears has everything to paint.
    if (!wasVisible) window->needsPaint = true;
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    HWND__* window = liveWindow(hWnd);
    if (!window) return FALSE;
    // WM_PAINT goes straight to the procedure, bypassing the queue, and only when
    // there is something to paint.
    if (window->needsPaint && isShown(window)) SendMessageA(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    switch (Msg) {
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_PAINT: {
            // Validates, or WM_PAINT would come back for ever.
            PAINTSTRUCT paint{};
            if (BeginPaint(hWnd, &paint)) EndPaint(hWnd, &paint);
            return 0;
        }
        default:
            return 0;
    }
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    if (!lpRect) return FALSE;
    if (hWnd == GetDesktopWindow()) return desktopRect(lpRect, false);
    const HWND__* window = liveWindow(hWnd);
    if (!window) return FALSE;
    int x = 0;
    int y = 0;
    SDL_GetWindowPosition(window->sdl, &x, &y);
    const RECT client = clientRectOf(window);
    *lpRect = RECT{x, y, x + client.right, y + client.bottom};
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    if (!lpRect) return FALSE;
    if (hWnd == GetDesktopWindow()) return desktopRect(lpRect, true);
    const HWND__* window = liveWindow(hWnd);
    if (!window) return FALSE;
    *lpRect = clientRectOf(window);
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND /*hWndInsertAfter*/, int X, int Y, int cx, int cy,
                         UINT uFlags) {
    HWND__* window = liveWindow(hWnd);
    if (!window || window->destroying) return FALSE;
    if (!(uFlags & SWP_NOMOVE)) SDL_SetWindowPosition(window->sdl, clampCoordinate(X), clampCoordinate(Y));
    if (!(uFlags & SWP_NOSIZE)) {
        SDL_SetWindowSize(window->sdl, clampSide(cx), clampSide(cy));
        syncSize(hWnd);
    }
    return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD /*dwStyle*/, BOOL /*bMenu*/, DWORD /*dwExStyle*/) {
    return lpRect ? TRUE : FALSE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    HWND__* window = liveWindow(hWnd);
    if (!window || !lpPaint) return nullptr;
    // The update region is the whole client area or nothing, so painting once
    // validates all of it.
    window->needsPaint = false;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = &g_paintDc;
    // A class without a background brush leaves erasing to the program.
    lpPaint->fErase = window->eraseBackground ? TRUE : FALSE;
    lpPaint->rcPaint = clientRectOf(window);
    return &g_paintDc;
}

BOOL WINAPI EndPaint(HWND /*hWnd*/, const PAINTSTRUCT* /*lpPaint*/) { return TRUE; }
