// The Win32 stand-in on the web: one window, the page's canvas (a 640 x 480
// drawing buffer, which the page scales to the browser window), and a message
// queue fed by the page's keyboard and by its closing.
//
// Only one window can be alive (the page has one canvas); a second
// CreateWindowExA fails. Its size is the canvas's. Keys come from the page as
// WM_KEYDOWN/WM_CHAR/WM_KEYUP with Windows' virtual keys; closing or leaving
// the page posts WM_CLOSE, whose default handling destroys the window.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cctype>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "page.h"
#include "windows.h"

struct HWND__ {
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    bool visible = false;
    bool needsPaint = true;
    bool destroying = false;
};

namespace web {

const char kCanvasSelector[] = "#canvas";

namespace {

struct WindowClass {
    std::string name;
    WNDPROC procedure;
};

std::vector<WindowClass> g_classes;
HWND__ g_window;
bool g_windowAlive = false;
std::deque<MSG> g_queue;
bool g_quitPosted = false;
int g_quitCode = 0;

bool isLive(HWND hWnd) { return hWnd && hWnd == &g_window && g_windowAlive; }

void post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_queue.push_back(MSG{hWnd, message, wParam, lParam, 0, POINT{0, 0}});
}

// Windows' virtual key for a DOM key code ("Escape", "KeyA", "Digit1"...), or 0.
UINT virtualKey(const char* code) {
    struct Named {
        const char* code;
        UINT key;
    };
    static const Named named[] = {
        {"Escape", VK_ESCAPE}, {"Enter", VK_RETURN},   {"Space", VK_SPACE},
        {"Tab", VK_TAB},       {"Backspace", VK_BACK}, {"ArrowLeft", VK_LEFT},
        {"ArrowUp", VK_UP},    {"ArrowRight", VK_RIGHT}, {"ArrowDown", VK_DOWN},
        {"Home", VK_HOME},     {"End", VK_END},        {"PageUp", VK_PRIOR},
        {"PageDown", VK_NEXT}, {"Insert", VK_INSERT},  {"Delete", VK_DELETE},
        {"ShiftLeft", VK_SHIFT}, {"ShiftRight", VK_SHIFT}, {"ControlLeft", VK_CONTROL},
        {"ControlRight", VK_CONTROL}, {"AltLeft", VK_MENU}, {"AltRight", VK_MENU},
    };
    for (const Named& n : named) {
        if (std::strcmp(code, n.code) == 0) return n.key;
    }
    if (std::strncmp(code, "Key", 3) == 0 && std::isupper(static_cast<unsigned char>(code[3])) && !code[4])
        return static_cast<UINT>(code[3]);
    if (std::strncmp(code, "Digit", 5) == 0 && std::isdigit(static_cast<unsigned char>(code[5])) && !code[6])
        return static_cast<UINT>(code[5]);
    return 0;
}

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void*) {
    if (!g_windowAlive) return EM_FALSE;
    const UINT key = virtualKey(event->code);
    if (key == 0) return EM_FALSE;
    const UINT message = type == EMSCRIPTEN_EVENT_KEYDOWN ? WM_KEYDOWN : WM_KEYUP;
    const LPARAM repeat = event->repeat ? (LPARAM{1} << 30) : 0;
    post(&g_window, message, key, (message == WM_KEYUP ? LPARAM{3} << 30 : repeat) | 1);
    // A printable key also gives its character, as TranslateMessage would.
    if (message == WM_KEYDOWN && event->key[0] && !event->key[1]) {
        post(&g_window, WM_CHAR, static_cast<unsigned char>(event->key[0]), 1);
    }
    return EM_TRUE;
}

const char* onLeave(int, const void*, void*) {
    if (g_windowAlive) post(&g_window, WM_CLOSE, 0, 0);
    return nullptr;
}

void listen() {
    static bool listening = false;
    if (listening) return;
    listening = true;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    emscripten_set_beforeunload_callback(nullptr, onLeave);
}

// Sends WM_PAINT to a visible window whose client area needs drawing.
bool paintIfNeeded(MSG* message) {
    if (!g_windowAlive || !g_window.visible || !g_window.needsPaint) return false;
    *message = MSG{&g_window, WM_PAINT, 0, 0, 0, POINT{0, 0}};
    return true;
}

}  // namespace

HWND pageWindow() { return g_windowAlive ? &g_window : nullptr; }

void yieldToBrowser() { emscripten_sleep(0); }

}  // namespace web

using web::g_window;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    if (!lpwcx || !lpwcx->lpszClassName || !lpwcx->lpfnWndProc) return 0;
    for (const auto& c : web::g_classes) {
        if (c.name == lpwcx->lpszClassName) return 0;  // already registered
    }
    web::g_classes.push_back({lpwcx->lpszClassName, lpwcx->lpfnWndProc});
    return static_cast<ATOM>(web::g_classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    for (auto it = web::g_classes.begin(); it != web::g_classes.end(); ++it) {
        if (lpClassName && it->name == lpClassName) {
            web::g_classes.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                            HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
    if (web::g_windowAlive || !lpClassName) return nullptr;
    WNDPROC procedure = nullptr;
    for (const auto& c : web::g_classes) {
        if (c.name == lpClassName) procedure = c.procedure;
    }
    if (!procedure) return nullptr;
    g_window = HWND__{procedure, dwStyle, false, true, false};
    web::g_windowAlive = true;
    web::listen();
    if (lpWindowName) emscripten_set_window_title(lpWindowName);
    int width = 0, height = 0;
    emscripten_get_canvas_element_size(web::kCanvasSelector, &width, &height);
    CREATESTRUCTA create{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                         static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    if (procedure(&g_window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        web::g_windowAlive = false;
        return nullptr;
    }
    procedure(&g_window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    return &g_window;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    if (!web::isLive(hWnd) || hWnd->destroying) return FALSE;
    hWnd->destroying = true;
    hWnd->procedure(hWnd, WM_DESTROY, 0, 0);
    web::g_windowAlive = false;
    // Messages for a destroyed window are dropped, as Windows drops them.
    std::deque<MSG> kept;
    for (const MSG& m : web::g_queue) {
        if (m.hwnd != hWnd) kept.push_back(m);
    }
    web::g_queue.swap(kept);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) { return web::isLive(hWnd) ? TRUE : FALSE; }

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    if (!web::isLive(hWnd)) return FALSE;
    const BOOL wasVisible = hWnd->visible ? TRUE : FALSE;
    hWnd->visible = nCmdShow != SW_HIDE && nCmdShow != SW_MINIMIZE;
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    if (!web::isLive(hWnd)) return FALSE;
    MSG paint;
    if (web::paintIfNeeded(&paint)) hWnd->procedure(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
    switch (Msg) {
        case WM_CLOSE: DestroyWindow(hWnd); return 0;
        case WM_PAINT:
            if (web::isLive(hWnd)) hWnd->needsPaint = false;
            return 0;
        default: return 0;
    }
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    if (!web::isLive(hWnd) || !lpRect) return FALSE;
    int width = 0, height = 0;
    emscripten_get_canvas_element_size(web::kCanvasSelector, &width, &height);
    *lpRect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) { return GetClientRect(hWnd, lpRect); }

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD, BOOL, DWORD) { return lpRect ? TRUE : FALSE; }

// The canvas keeps its size: the page lays it out, not the program.
BOOL WINAPI SetWindowPos(HWND hWnd, HWND, int, int, int, int, UINT) {
    return web::isLive(hWnd) ? TRUE : FALSE;
}

HWND WINAPI GetDesktopWindow() { return nullptr; }

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    static int self;
    return lpModuleName ? nullptr : reinterpret_cast<HMODULE>(&self);
}

// The page shows its own icon (the site's favicon).
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    if (!lpMsg) return FALSE;
    // Before the viewer starts the demo the loop waits here, with the loading
    // picture on the page; a key or closing the page still ends it.
    while (!web::started() && web::g_queue.empty() && !web::g_quitPosted) web::yieldToBrowser();
    for (auto it = web::g_queue.begin(); it != web::g_queue.end(); ++it) {
        const bool windowMatches = !hWnd || it->hwnd == hWnd;
        const bool rangeMatches = (wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
                                  (it->message >= wMsgFilterMin && it->message <= wMsgFilterMax);
        if (!windowMatches || !rangeMatches) continue;
        *lpMsg = *it;
        if (wRemoveMsg & PM_REMOVE) web::g_queue.erase(it);
        return TRUE;
    }
    if (web::paintIfNeeded(lpMsg)) return TRUE;
    if (web::g_quitPosted && !hWnd) {
        *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(web::g_quitCode), 0, 0, POINT{0, 0}};
        if (wRemoveMsg & PM_REMOVE) web::g_quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    // The page's key events come with their characters already (see onKey).
    return lpMsg && lpMsg->message == WM_KEYDOWN ? TRUE : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg || !web::isLive(lpMsg->hwnd)) return 0;
    return lpMsg->hwnd->procedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!web::isLive(hWnd)) return 0;
    return hWnd->procedure(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd && !web::isLive(hWnd)) return FALSE;
    web::post(hWnd, Msg, wParam, lParam);
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    web::g_quitPosted = true;
    web::g_quitCode = nExitCode;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    if (!web::isLive(hWnd) || !lpPaint) return nullptr;
    hWnd->needsPaint = false;
    *lpPaint = PAINTSTRUCT{};
    GetClientRect(hWnd, &lpPaint->rcPaint);
    static int deviceContext;
    lpPaint->hdc = reinterpret_cast<HDC>(&deviceContext);
    return lpPaint->hdc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT*) { return web::isLive(hWnd) ? TRUE : FALSE; }
