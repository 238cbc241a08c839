// Shared between the Linux port's Win32 files; nothing outside platform/linux
// includes this.
#pragma once

#include <SDL.h>

#include <vector>

#include "windows.h"

// A window. Handles point at one of these, but a handle is only followed after
// the registry has confirmed that it belongs to a live window (win32::detail::liveWindow).
struct HWND__ {
    WNDPROC procedure = nullptr;
    ATOM classAtom = 0;
    DWORD style = 0;
    SDL_Window* sdl = nullptr;
    Uint32 sdlId = 0;
    int lastWidth = 0;    // the client size last reported with WM_SIZE
    int lastHeight = 0;
    bool needsPaint = false;  // the update region is not empty
    bool eraseBackground = false;
    bool destroying = false;
};

namespace win32::detail {

// Initialises SDL's video subsystem on first use. False when there is no video.
bool ensureVideo();

// The window behind a handle, or null for null, dead or bogus handles.
HWND__* liveWindow(HWND hWnd);

// The live window made on this SDL window, or null.
HWND windowFromSdlId(Uint32 sdlId);

// The window that keyboard input goes to: the one with SDL's keyboard focus,
// else the oldest live window. Null when no window is alive.
HWND keyboardTarget();

// The oldest visible window with a non-empty update region that the filter accepts
// (a null filter accepts every window), or null.
HWND windowNeedingPaint(HWND filter);

// Every live window that is not being destroyed, oldest first.
std::vector<HWND> liveWindows();

// Brings a window's state up to date with an SDL window event (size, exposure,
// focus) and sends the messages Windows sends for it. WM_CLOSE is posted.
void handleWindowEvent(const SDL_WindowEvent& event);

// Drops every queued message of a window that is being destroyed, as Windows does.
void discardMessagesFor(HWND hWnd);

// Whether a message of this kind for this window is waiting in the queue.
bool isQueued(HWND hWnd, UINT message);

// The Windows virtual key for an SDL key, or 0 when there is none.
UINT virtualKeyFromSdl(SDL_Keycode key);

// The character that TranslateMessage makes of a key press with these modifiers,
// or 0 when the key makes none.
unsigned characterFromVirtualKey(UINT virtualKey, SDL_Keymod modifiers);

}  // namespace win32::detail
