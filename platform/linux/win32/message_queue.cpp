// The program's one message queue (it is single-threaded), fed by PostMessageA
// and by SDL's events.
//
// Implemented:
//  [x] PeekMessageA with PM_REMOVE / PM_NOREMOVE and simple filters
//  [x] SDL events -> WM_KEYDOWN / WM_KEYUP (virtual keys), WM_CLOSE, WM_PAINT, WM_SIZE, WM_ACTIVATE
//  [x] PostMessageA, SendMessageA, DispatchMessageA, TranslateMessage (WM_CHAR)
//  [x] PostQuitMessage: a flag, not a message, as on Windows
//
// What PeekMessageA returns, in this order:
//  1. the oldest posted or input message (they share one FIFO);
//  2. WM_QUIT, if PostQuitMessage was called: it waits until nothing else is queued;
//  3. WM_PAINT for the oldest visible window with an update region. It is made
//     on demand and stays until the window is validated (BeginPaint/EndPaint).
// A call that finds nothing returns FALSE and leaves the MSG alone.
#include <algorithm>
#include <deque>
#include <vector>

#include "win32_internal.h"
#include "windows.h"

namespace {

// Windows refuses to post beyond 10 000 messages per queue; so do we, and input
// events beyond it are dropped rather than growing the queue without bound.
constexpr size_t kQueueLimit = 10000;

// SDL events translated per PeekMessageA; the rest stay in SDL's queue for the next call.
constexpr int kMaxEventsPerPump = 256;

constexpr UINT kSysKeyDown = 0x0104;
constexpr UINT kSysKeyUp = 0x0105;

// Bits of a key message's lParam: the repeat count is in the low word.
constexpr LPARAM kKeyWasDown = LPARAM(1) << 30;
constexpr LPARAM kKeyReleased = LPARAM(1) << 31;

// A window filter of -1 asks for the messages that belong to no window.
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(intptr_t(-1));

struct Queue {
    std::deque<MSG> messages;
    bool quitPosted = false;
    int quitCode = 0;
};

Queue& queue() {
    static auto* instance = new Queue;
    return *instance;
}

MSG makeMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = SDL_GetTicks();
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        int x = 0;
        int y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        msg.pt = POINT{x, y};
    }
    return msg;
}

bool enqueue(const MSG& msg) {
    Queue& q = queue();
    if (q.messages.size() >= kQueueLimit) return false;
    q.messages.push_back(msg);
    return true;
}

bool windowAccepted(HWND filter, HWND target) {
    if (!filter) return true;
    if (filter == kThreadMessagesOnly) return target == nullptr;
    return filter == target;
}

bool messageAccepted(UINT filterMin, UINT filterMax, UINT message) {
    if (filterMin == 0 && filterMax == 0) return true;
    return message >= filterMin && message <= filterMax;
}

LPARAM keyLParam(const SDL_KeyboardEvent& key) {
    LPARAM lParam = 1;  // repeat count
    if (key.type == SDL_KEYUP) {
        lParam |= kKeyWasDown | kKeyReleased;
    } else if (key.repeat) {
        lParam |= kKeyWasDown;
    }
    return lParam;
}

void queueKey(const SDL_KeyboardEvent& key) {
    const UINT virtualKey = win32::detail::virtualKeyFromSdl(key.keysym.sym);
    if (virtualKey == 0) return;
    HWND target = win32::detail::windowFromSdlId(key.windowID);
    if (!target) target = win32::detail::keyboardTarget();
    if (!target) return;  // no window to type into
    const UINT message = key.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP;
    enqueue(makeMessage(target, message, virtualKey, keyLParam(key)));
}

// SDL_QUIT (the last window closed, or SIGINT/SIGTERM) asks every window to close.
// With no window left to ask, the program is told to quit, so that an interrupt
// is never swallowed.
void closeEveryWindow() {
    const std::vector<HWND> windows = win32::detail::liveWindows();
    if (windows.empty()) PostQuitMessage(0);
    for (HWND hWnd : windows) {
        if (!win32::detail::isQueued(hWnd, WM_CLOSE)) PostMessageA(hWnd, WM_CLOSE, 0, 0);
    }
}

void translateEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            queueKey(event.key);
            break;
        case SDL_WINDOWEVENT:
            win32::detail::handleWindowEvent(event.window);
            break;
        case SDL_QUIT:
            closeEveryWindow();
            break;
        default:
            break;
    }
}

// Events are taken one at a time: a procedure called while one is handled may
// itself peek messages and so pump again.
void pumpSdlEvents() {
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
    SDL_PumpEvents();
    SDL_Event event;
    for (int i = 0; i < kMaxEventsPerPump; ++i) {
        if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) != 1) break;
        translateEvent(event);
    }
}

bool takeQueued(LPMSG msg, HWND hWnd, UINT filterMin, UINT filterMax, bool remove) {
    auto& messages = queue().messages;
    const auto found = std::find_if(messages.begin(), messages.end(), [&](const MSG& queued) {
        return windowAccepted(hWnd, queued.hwnd) && messageAccepted(filterMin, filterMax, queued.message);
    });
    if (found == messages.end()) return false;
    *msg = *found;
    if (remove) messages.erase(found);
    return true;
}

// WM_QUIT is returned whatever the filter, as PeekMessage documents.
bool takeQuit(LPMSG msg, bool remove) {
    Queue& q = queue();
    if (!q.quitPosted) return false;
    *msg = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<intptr_t>(q.quitCode)), 0);
    if (remove) q.quitPosted = false;
    return true;
}

bool takePaint(LPMSG msg, HWND hWnd, UINT filterMin, UINT filterMax) {
    if (hWnd == kThreadMessagesOnly || !messageAccepted(filterMin, filterMax, WM_PAINT)) return false;
    const HWND target = win32::detail::windowNeedingPaint(hWnd);
    if (!target) return false;
    *msg = makeMessage(target, WM_PAINT, 0, 0);
    return true;
}

}  // namespace

namespace win32::detail {

void discardMessagesFor(HWND hWnd) {
    auto& messages = queue().messages;
    messages.erase(std::remove_if(messages.begin(), messages.end(),
                                  [hWnd](const MSG& msg) { return msg.hwnd == hWnd; }),
                   messages.end());
}

bool isQueued(HWND hWnd, UINT message) {
    const auto& messages = queue().messages;
    return std::any_of(messages.begin(), messages.end(), [&](const MSG& msg) {
        return msg.hwnd == hWnd && msg.message == message;
    });
}

}  // namespace win32::detail

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    if (!lpMsg) return FALSE;
    pumpSdlEvents();
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    if (takeQueued(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, remove)) return TRUE;
    if (takeQuit(lpMsg, remove)) return TRUE;
    // WM_PAINT is never removed here: it stops when the window is validated.
    if (takePaint(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax)) return TRUE;
    return FALSE;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    // A null window makes a message for the thread; anything else must be a live window.
    if (hWnd && !win32::detail::liveWindow(hWnd)) return FALSE;
    return enqueue(makeMessage(hWnd, Msg, wParam, lParam)) ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    Queue& q = queue();
    q.quitPosted = true;
    q.quitCode = nExitCode;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const HWND__* window = win32::detail::liveWindow(hWnd);
    if (!window) return 0;
    // Copied before the call: the procedure may destroy its own window.
    const WNDPROC procedure = window->procedure;
    return procedure(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg || !lpMsg->hwnd) return 0;
    return SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg) return FALSE;
    const UINT message = lpMsg->message;
    if (message != WM_KEYDOWN && message != WM_KEYUP && message != kSysKeyDown && message != kSysKeyUp) {
        return FALSE;
    }
    if (message == WM_KEYDOWN && win32::detail::liveWindow(lpMsg->hwnd)) {
        const unsigned character =
            win32::detail::characterFromVirtualKey(static_cast<UINT>(lpMsg->wParam), SDL_GetModState());
        auto& messages = queue().messages;
        // The character is the next message the program reads, ahead of older ones.
        if (character != 0 && messages.size() < kQueueLimit) {
            messages.push_front(makeMessage(lpMsg->hwnd, WM_CHAR, character, lpMsg->lParam));
        }
    }
    // Documented: nonzero for every key message, whether or not a character was made.
    return TRUE;
}
