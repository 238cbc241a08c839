// The Win32 stand-in: window classes, windows, the message queue, painting,
// message boxes and the program's icon. Windows are real SDL windows made by
// SDL's offscreen driver, so no display is needed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "message_box_hooks.h"
#include "win32_sdl.h"
#include "windows.h"

namespace {

// Before SDL starts: windows without a display, and message boxes that cannot be shown.
const bool kHeadless = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    return true;
}();

constexpr char kClassName[] = "Win32TestWindow";
constexpr UINT kAppMessage = 0x8000;  // WM_APP

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};

// What the test procedure saw and how it behaves.
std::vector<Received> g_received;
bool g_validatePaint = true;
LRESULT g_createResult = 0;
void* g_createParams = nullptr;

LRESULT CALLBACK testProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_received.push_back({hWnd, message, wParam});
    switch (message) {
        case WM_CREATE:
            g_createParams = reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams;
            return g_createResult;
        case WM_PAINT:
            if (!g_validatePaint) return 0;
            return DefWindowProcA(hWnd, message, wParam, lParam);
        case kAppMessage:
            return static_cast<LRESULT>(wParam) * 2;
        default:
            return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

WNDCLASSEXA testClass(const char* name = kClassName) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = testProcedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(5));
    wc.lpszClassName = name;
    return wc;
}

int countReceived(UINT message) {
    int count = 0;
    for (const Received& r : g_received) count += r.message == message ? 1 : 0;
    return count;
}

class Win32Test : public ::testing::Test {
protected:
    void SetUp() override {
        g_received.clear();
        g_validatePaint = true;
        g_createResult = 0;
        const WNDCLASSEXA wc = testClass();
        ASSERT_NE(RegisterClassExA(&wc), 0);
        drainQueue();
    }

    void TearDown() override {
        for (HWND hWnd : made_) DestroyWindow(hWnd);
        UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
        win32::setMessageBoxAnswerer(nullptr);
        drainQueue();
    }

    HWND makeWindow(DWORD style = WS_OVERLAPPEDWINDOW, int width = 640, int height = 480) {
        HWND hWnd = CreateWindowExA(0, kClassName, "Test window", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                    width, height, GetDesktopWindow(), nullptr, GetModuleHandleA(nullptr),
                                    nullptr);
        if (hWnd) made_.push_back(hWnd);
        return hWnd;
    }

    static void drainQueue() {
        MSG msg;
        g_validatePaint = true;
        for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (msg.message == WM_PAINT) DispatchMessageA(&msg);
        }
    }

    // Every message waiting now, taken in order (WM_QUIT included, WM_PAINT excluded).
    static std::vector<MSG> takeAll() {
        std::vector<MSG> taken;
        MSG msg;
        while (taken.size() < 100 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_PAINT) {
                DispatchMessageA(&msg);
                continue;
            }
            taken.push_back(msg);
        }
        return taken;
    }

    static void pushKey(Uint32 type, SDL_Keycode key, Uint32 windowId) {
        SDL_Event event{};
        event.type = type;
        event.key.type = type;
        event.key.windowID = windowId;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.sym = key;
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    }

    static void pushWindowEvent(Uint8 which, HWND hWnd) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.event = which;
        event.window.windowID = SDL_GetWindowID(win32::sdlWindow(hWnd));
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    }

    std::vector<HWND> made_;
};

TEST_F(Win32Test, ClassRegistrationRefusesDuplicatesAndBadStructures) {
    WNDCLASSEXA wc = testClass();
    EXPECT_EQ(RegisterClassExA(&wc), 0) << "same name twice";
    wc = testClass("WIN32TESTWINDOW");
    EXPECT_EQ(RegisterClassExA(&wc), 0) << "class names ignore case";

    wc = testClass("Win32Other");
    wc.cbSize = 48;  // the 32-bit size, not this build's
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    wc = testClass("Win32Other");
    wc.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    wc = testClass(nullptr);
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(RegisterClassExA(nullptr), 0);

    wc = testClass("Win32Other");
    EXPECT_NE(RegisterClassExA(&wc), 0);
    EXPECT_TRUE(UnregisterClassA("Win32Other", nullptr));
    EXPECT_FALSE(UnregisterClassA("Win32Other", nullptr));
    EXPECT_NE(RegisterClassExA(&wc), 0) << "a name is free again once unregistered";
    EXPECT_TRUE(UnregisterClassA("Win32Other", nullptr));
}

TEST_F(Win32Test, ClassWithLiveWindowsCannotBeUnregistered) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    EXPECT_FALSE(UnregisterClassA(kClassName, nullptr));
    DestroyWindow(hWnd);
    EXPECT_TRUE(UnregisterClassA(kClassName, nullptr));
    const WNDCLASSEXA wc = testClass();
    EXPECT_NE(RegisterClassExA(&wc), 0);
}

TEST_F(Win32Test, CreateWindowNeedsARegisteredClass) {
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "x", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              640, 480, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(CreateWindowExA(0, MAKEINTRESOURCEA(0xC000), "x", 0, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr)
        << "a class atom is refused, never followed as a pointer";
    EXPECT_TRUE(g_received.empty());
}

TEST_F(Win32Test, CreateWindowMakesAHiddenOpenGlWindowOfTheRequestedSize) {
    int param = 0;
    HWND hWnd = CreateWindowExA(0, kClassName, "Title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                640, 480, GetDesktopWindow(), nullptr, GetModuleHandleA(nullptr), &param);
    ASSERT_NE(hWnd, nullptr);
    made_.push_back(hWnd);
    EXPECT_TRUE(IsWindow(hWnd));
    ASSERT_EQ(countReceived(WM_CREATE), 1);
    EXPECT_EQ(g_received.front().message, static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(g_createParams, &param);

    SDL_Window* sdl = win32::sdlWindow(hWnd);
    ASSERT_NE(sdl, nullptr);
    const Uint32 flags = SDL_GetWindowFlags(sdl);
    EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
    EXPECT_FALSE(flags & SDL_WINDOW_SHOWN);
    EXPECT_FALSE(flags & SDL_WINDOW_BORDERLESS);
    EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Title");

    int width = 0;
    int height = 0;
    SDL_GetWindowSize(sdl, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(hWnd, &rect));
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 480);
    ASSERT_TRUE(GetClientRect(hWnd, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 640);
    EXPECT_EQ(rect.bottom, 480);
}

TEST_F(Win32Test, SysMenuAloneGivesABorderlessWindow) {
    HWND hWnd = makeWindow(WS_SYSMENU);
    ASSERT_NE(hWnd, nullptr);
    const Uint32 flags = SDL_GetWindowFlags(win32::sdlWindow(hWnd));
    EXPECT_TRUE(flags & SDL_WINDOW_BORDERLESS);
    EXPECT_FALSE(flags & SDL_WINDOW_RESIZABLE);
}

TEST_F(Win32Test, CreateRefusedByTheProcedureGivesNoWindow) {
    g_createResult = -1;
    EXPECT_EQ(makeWindow(), nullptr);
    EXPECT_EQ(countReceived(WM_DESTROY), 1);
}

TEST_F(Win32Test, SetWindowPosHonoursNoMoveAndNoSize) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    RECT before{};
    ASSERT_TRUE(GetWindowRect(hWnd, &before));

    ASSERT_TRUE(SetWindowPos(hWnd, nullptr, 0, 0, 800, 600, SWP_NOMOVE));
    RECT after{};
    ASSERT_TRUE(GetWindowRect(hWnd, &after));
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, 800);
    EXPECT_EQ(after.bottom - after.top, 600);
    ASSERT_EQ(countReceived(WM_SIZE), 1);
    EXPECT_EQ(g_received.back().message, static_cast<UINT>(WM_SIZE));

    ASSERT_TRUE(SetWindowPos(hWnd, nullptr, 30, 40, 1, 1, SWP_NOSIZE));
    ASSERT_TRUE(GetWindowRect(hWnd, &after));
    EXPECT_EQ(after.left, 30);
    EXPECT_EQ(after.top, 40);
    EXPECT_EQ(after.right - after.left, 800);
    EXPECT_EQ(countReceived(WM_SIZE), 1) << "no WM_SIZE without a size change";

    // Nonsense sizes are clamped, never handed on as they are.
    ASSERT_TRUE(SetWindowPos(hWnd, nullptr, 0, 0, -5, 0, SWP_NOMOVE));
    ASSERT_TRUE(GetClientRect(hWnd, &after));
    EXPECT_GE(after.right, 1);
    EXPECT_GE(after.bottom, 1);
}

TEST_F(Win32Test, PostedMessagesComeOutFirstInFirstOut) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(PostMessageA(hWnd, kAppMessage, 1, 10));
    ASSERT_TRUE(PostMessageA(nullptr, kAppMessage, 2, 20));
    ASSERT_TRUE(PostMessageA(hWnd, kAppMessage + 1, 3, 30));

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 1u) << "PM_NOREMOVE looks at the oldest";
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 1u) << "and leaves it there";

    const std::vector<MSG> taken = takeAll();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].hwnd, hWnd);
    EXPECT_EQ(taken[0].message, kAppMessage);
    EXPECT_EQ(taken[0].lParam, 10);
    EXPECT_EQ(taken[1].hwnd, nullptr);
    EXPECT_EQ(taken[1].wParam, 2u);
    EXPECT_EQ(taken[2].message, kAppMessage + 1);
    EXPECT_EQ(taken[2].wParam, 3u);
}

TEST_F(Win32Test, FiltersSelectByWindowAndMessageRange) {
    HWND first = makeWindow();
    HWND second = makeWindow();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    PostMessageA(first, kAppMessage, 1, 0);
    PostMessageA(second, kAppMessage + 5, 2, 0);

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, kAppMessage + 1, kAppMessage + 9, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, kAppMessage, kAppMessage, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
}

TEST_F(Win32Test, EmptyQueueReturnsFalseAndLeavesTheMessageAlone) {
    MSG msg{};
    msg.hwnd = reinterpret_cast<HWND>(0x1234);
    msg.message = 0x4321;
    msg.wParam = 99;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(msg.message, 0x4321u);
    EXPECT_EQ(msg.wParam, 99u);
    EXPECT_FALSE(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Test, QuitComesAfterQueuedMessagesExactlyOnce) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    PostMessageA(hWnd, kAppMessage, 1, 0);
    PostQuitMessage(-1);
    PostMessageA(hWnd, kAppMessage, 2, 0);  // posted after the quit, still comes before it

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);

    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT)) << "PM_NOREMOVE sees the quit";
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, kAppMessage, kAppMessage, PM_REMOVE))
        << "the quit ignores the filter";
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(static_cast<int>(msg.wParam), -1);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "taken once";

    PostQuitMessage(7);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(static_cast<int>(msg.wParam), 7);
    EXPECT_EQ(DispatchMessageA(&msg), 0) << "a message without a window goes nowhere";
}

TEST_F(Win32Test, KeysArriveAsVirtualKeyMessages) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    const Uint32 id = SDL_GetWindowID(win32::sdlWindow(hWnd));
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE, id);
    pushKey(SDL_KEYUP, SDLK_ESCAPE, id);
    pushKey(SDL_KEYDOWN, SDLK_q, id);
    pushKey(SDL_KEYDOWN, SDLK_7, id);
    pushKey(SDL_KEYDOWN, SDLK_RETURN, id);
    pushKey(SDL_KEYDOWN, SDLK_SPACE, id);
    pushKey(SDL_KEYDOWN, SDLK_LEFT, id);
    pushKey(SDL_KEYDOWN, SDLK_DOWN, 0);  // no window: goes to the keyboard's window
    pushKey(SDL_KEYDOWN, SDLK_F5, id);

    const std::vector<MSG> taken = takeAll();
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, VK_ESCAPE}, {WM_KEYUP, VK_ESCAPE}, {WM_KEYDOWN, 'Q'},
        {WM_KEYDOWN, '7'},       {WM_KEYDOWN, VK_RETURN}, {WM_KEYDOWN, VK_SPACE},
        {WM_KEYDOWN, VK_LEFT},   {WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_F1 + 4},
    };
    ASSERT_EQ(taken.size(), expected.size());
    for (size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].hwnd, hWnd) << i;
        EXPECT_EQ(taken[i].message, expected[i].first) << i;
        EXPECT_EQ(taken[i].wParam, expected[i].second) << i;
    }
    EXPECT_EQ(taken[0].wParam, 27u) << "Escape is virtual key 27";
    EXPECT_EQ(taken[1].lParam & (LPARAM(1) << 31), LPARAM(1) << 31) << "key up: transition bit";
    EXPECT_EQ(taken[0].lParam & (LPARAM(1) << 31), 0);
}

TEST_F(Win32Test, TranslateMessagePostsTheCharacterNext) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    SDL_SetModState(KMOD_NONE);
    pushKey(SDL_KEYDOWN, SDLK_a, SDL_GetWindowID(win32::sdlWindow(hWnd)));

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    ASSERT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
    PostMessageA(hWnd, kAppMessage, 0, 0);  // older than the character to come
    EXPECT_TRUE(TranslateMessage(&msg));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>('a'));
    EXPECT_FALSE(TranslateMessage(&msg)) << "only key messages are translated";
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, kAppMessage);

    MSG keyUp{hWnd, WM_KEYUP, 'A', 0, 0, {0, 0}};
    EXPECT_TRUE(TranslateMessage(&keyUp)) << "TRUE for every key message";
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "but no character for a key up";
    EXPECT_FALSE(TranslateMessage(nullptr));
}

TEST_F(Win32Test, CloseRequestLeadsToDestroyThroughDefWindowProc) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE, hWnd);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);  // SDL follows a last window's close with a quit

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(msg.hwnd, hWnd);
    g_received.clear();
    DispatchMessageA(&msg);
    ASSERT_EQ(g_received.size(), 2u);
    EXPECT_EQ(g_received[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(g_received[1].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(win32::sdlWindow(hWnd), nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "one close, not two";
}

TEST_F(Win32Test, QuitEventAsksEveryWindowToClose) {
    HWND first = makeWindow();
    HWND second = makeWindow();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);

    const std::vector<MSG> taken = takeAll();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(taken[0].hwnd, first);
    EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(taken[1].hwnd, second);
}

TEST_F(Win32Test, QuitEventWithoutWindowsQuitsTheProgram) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST_F(Win32Test, DestroyedAndBogusHandlesAreRefusedSafely) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    PostMessageA(hWnd, kAppMessage, 1, 0);
    const MSG stale{hWnd, kAppMessage, 1, 0, 0, {0, 0}};
    ASSERT_TRUE(DestroyWindow(hWnd));
    EXPECT_FALSE(DestroyWindow(hWnd));

    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "a dead window's messages are dropped";

    int notAWindow = 0;
    HWND bogus = reinterpret_cast<HWND>(&notAWindow);
    for (HWND bad : {hWnd, bogus, static_cast<HWND>(nullptr), GetDesktopWindow()}) {
        g_received.clear();
        RECT rect{1, 2, 3, 4};
        PAINTSTRUCT paint{};
        EXPECT_FALSE(IsWindow(bad));
        EXPECT_EQ(win32::sdlWindow(bad), nullptr);
        if (bad) {
            EXPECT_FALSE(PostMessageA(bad, kAppMessage, 0, 0));
        }
        EXPECT_EQ(SendMessageA(bad, kAppMessage, 21, 0), 0);
        MSG toDead = stale;
        toDead.hwnd = bad;
        EXPECT_EQ(DispatchMessageA(&toDead), 0);
        EXPECT_FALSE(ShowWindow(bad, SW_SHOW));
        EXPECT_FALSE(UpdateWindow(bad));
        EXPECT_FALSE(SetWindowPos(bad, nullptr, 0, 0, 10, 10, SWP_NOMOVE));
        EXPECT_EQ(BeginPaint(bad, &paint), nullptr);
        EXPECT_EQ(DefWindowProcA(bad, WM_CLOSE, 0, 0), 0);
        if (bad != GetDesktopWindow()) {
            EXPECT_FALSE(GetWindowRect(bad, &rect));
            EXPECT_FALSE(GetClientRect(bad, &rect));
        }
        EXPECT_TRUE(g_received.empty());
    }
}

TEST_F(Win32Test, SendAndDispatchReturnTheProcedureResult) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(SendMessageA(hWnd, kAppMessage, 21, 0), 42);
    const MSG msg{hWnd, kAppMessage, 50, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageA(&msg), 100);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
}

TEST_F(Win32Test, UpdateWindowPaintsOnceUntilInvalidatedAgain) {
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    EXPECT_TRUE(UpdateWindow(hWnd));
    EXPECT_EQ(countReceived(WM_PAINT), 0) << "a hidden window has nothing to paint";

    EXPECT_FALSE(ShowWindow(hWnd, SW_SHOWDEFAULT)) << "was hidden";
    EXPECT_TRUE(SDL_GetWindowFlags(win32::sdlWindow(hWnd)) & SDL_WINDOW_SHOWN);
    EXPECT_TRUE(UpdateWindow(hWnd));
    EXPECT_EQ(countReceived(WM_PAINT), 1) << "sent at once, not queued";
    EXPECT_TRUE(UpdateWindow(hWnd));
    EXPECT_EQ(countReceived(WM_PAINT), 1) << "BeginPaint/EndPaint validated the window";

    pushWindowEvent(SDL_WINDOWEVENT_EXPOSED, hWnd);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(msg.hwnd, hWnd);
    DispatchMessageA(&msg);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(ShowWindow(hWnd, SW_HIDE)) << "was visible";
}

TEST_F(Win32Test, PaintStaysUntilValidatedAndYieldsToQuit) {
    HWND hWnd = makeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_NE(hWnd, nullptr);
    g_validatePaint = false;
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageA(&msg);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT)) << "not validated: comes again";

    PostQuitMessage(0);
    PostMessageA(hWnd, kAppMessage, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, kAppMessage);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));

    PAINTSTRUCT paint{};
    ASSERT_NE(BeginPaint(hWnd, &paint), nullptr);
    EXPECT_EQ(paint.rcPaint.right, 640);
    EXPECT_EQ(paint.rcPaint.bottom, 480);
    EXPECT_TRUE(paint.fErase) << "the class has no background brush";
    EXPECT_TRUE(EndPaint(hWnd, &paint));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Test, MessageBoxAnswererSeesTheBox) {
    HWND hWnd = makeWindow();
    std::string text;
    std::string caption;
    UINT type = 0;
    HWND owner = nullptr;
    win32::setMessageBoxAnswerer([&](HWND o, const char* t, const char* c, UINT s) {
        owner = o;
        text = t;
        caption = c;
        type = s;
        return IDYES;
    });
    EXPECT_EQ(MessageBoxA(hWnd, "Could not open log file.\nDo you want to continue?", "Demo: Error",
                          MB_YESNO | MB_ICONWARNING),
              IDYES);
    EXPECT_EQ(owner, hWnd);
    EXPECT_EQ(text, "Could not open log file.\nDo you want to continue?");
    EXPECT_EQ(caption, "Demo: Error");
    EXPECT_EQ(type, 0x34u);

    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDYES);
    EXPECT_EQ(text, "");
    EXPECT_EQ(caption, "Error") << "Windows' caption for a null one";
}

TEST_F(Win32Test, MessageBoxAnswererMayReplaceItselfWhileAnswering) {
    // The answerer reads its own capture after replacing itself: freed memory,
    // which the sanitizer build reports, unless the box holds on to it.
    std::string seen;
    win32::setMessageBoxAnswerer([&seen, tag = std::string(64, 'a')](HWND, const char*, const char*, UINT) {
        win32::setMessageBoxAnswerer([](HWND, const char*, const char*, UINT) { return IDNO; });
        seen = tag;
        return IDYES;
    });
    EXPECT_EQ(MessageBoxA(nullptr, "Continue?", "Demo", MB_YESNO), IDYES);
    EXPECT_EQ(seen, std::string(64, 'a'));
    EXPECT_EQ(MessageBoxA(nullptr, "Continue?", "Demo", MB_YESNO), IDNO) << "the replacement answers next";
}

TEST_F(Win32Test, MessageBoxWithoutDisplayGoesToStderrAnsweredAsClosed) {
    struct Case {
        UINT type;
        int answer;
        const char* buttons;
    };
    const Case cases[] = {
        {MB_YESNOCANCEL | MB_ICONERROR, IDCANCEL, "[Yes] [No] [Cancel]"},
        {MB_YESNO | MB_ICONWARNING, IDNO, "[Yes] [No]"},
        {MB_OK | MB_ICONERROR, IDOK, "[OK]"},
        {MB_OKCANCEL, IDCANCEL, "[OK] [Cancel]"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        const int answer = MessageBoxA(nullptr, "Something went wrong...", "Error:", c.type);
        const std::string written = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(answer, c.answer) << c.type;
        EXPECT_EQ(win32::messageBoxClosedAnswer(c.type), c.answer) << c.type;
        EXPECT_NE(written.find(std::string("] -> ") + win32::messageBoxAnswerName(c.answer)),
                  std::string::npos)
            << written;
        EXPECT_NE(written.find("Error:"), std::string::npos) << written;
        EXPECT_NE(written.find("Something went wrong..."), std::string::npos) << written;
        EXPECT_NE(written.find(c.buttons), std::string::npos) << written;
    }
}

TEST_F(Win32Test, ProgramIconIsTwo32By32Images) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_NE(instance, nullptr);
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(5));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(5)), icon);
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(4)), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(5)), nullptr);
    EXPECT_EQ(LoadIconA(instance, "5"), nullptr);

    ASSERT_EQ(win32::iconImageCount(icon), 2);
    EXPECT_EQ(win32::iconImage(icon, 2), nullptr);
    EXPECT_EQ(win32::iconImage(icon, -1), nullptr);
    int notAnIcon = 0;
    EXPECT_EQ(win32::iconImageCount(reinterpret_cast<HICON>(&notAnIcon)), 0);

    for (int i = 0; i < 2; ++i) {
        SDL_Surface* image = win32::iconImage(icon, i);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->w, 32);
        EXPECT_EQ(image->h, 32);
        ASSERT_EQ(image->format->format, static_cast<Uint32>(SDL_PIXELFORMAT_ARGB8888));
        const auto* pixels = static_cast<const uint32_t*>(image->pixels);
        const auto pixel = [&](int x, int y) { return pixels[y * image->pitch / 4 + x]; };
        std::set<uint32_t> colours(pixels, pixels + 32 * 32);
        EXPECT_GE(colours.size(), 6u) << "a picture, not a flat square";
        EXPECT_EQ(pixel(16, 16) >> 24, 0xFFu) << "opaque in the middle";
        if (i == 0) {
            EXPECT_EQ(pixel(0, 0) >> 24, 0u) << "rounded corners are transparent";
        } else {
            EXPECT_EQ(pixel(0, 0) >> 24, 0xFFu) << "the flat image is opaque everywhere";
        }
    }
}

TEST_F(Win32Test, ModuleAndDesktopHandles) {
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleA(nullptr));
    HWND desktop = GetDesktopWindow();
    EXPECT_NE(desktop, nullptr);
    EXPECT_FALSE(IsWindow(desktop));
    HWND hWnd = makeWindow();
    ASSERT_NE(hWnd, nullptr);
    EXPECT_NE(hWnd, desktop);
}

}  // namespace
