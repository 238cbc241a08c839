// What Present shows in a window that can be seen: the back buffer the right
// way up, stretched over the client area. The present observer reads the back
// buffer itself, so only a real window (an X server: run under xvfb-run) can
// show the copy to the window turned over or misplaced.
#include "render/gl_test_util.h"
#include "win32_sdl.h"

// Xlib's headers define macros (None, Bool, Status) that clash with names in
// Google Test's: they come last.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace gltest;

constexpr D3DCOLOR kRed = D3DCOLOR_XRGB(0xFF, 0, 0);
constexpr D3DCOLOR kBlue = D3DCOLOR_XRGB(0, 0, 0xFF);

class WindowPresentTest : public DeviceTest {
protected:
    void SetUp() override {
        const char* driver = std::getenv("SDL_VIDEODRIVER");
        if (!std::getenv("DISPLAY") || (driver && std::strcmp(driver, "x11") != 0)) {
            GTEST_SKIP() << "needs an X server and SDL's x11 driver";
        }
        DeviceTest::SetUp();
    }

    // The window's pixel at (x, y), counted from its top left corner, as the X
    // server shows it: 0xRRGGBB.
    uint32_t shownAt(int x, int y) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        SDL_Window* window = win32::sdlWindow(window_);
        if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
            ADD_FAILURE() << "no X11 window";
            return 0;
        }
        XImage* image = XGetImage(info.info.x11.display, info.info.x11.window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) {
            ADD_FAILURE() << "XGetImage failed";
            return 0;
        }
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return static_cast<uint32_t>(pixel & 0xFFFFFF);
    }
};

TEST_F(WindowPresentTest, TheWindowShowsTheBackBufferRightWayUpStretchedToItsClientArea) {
    DeviceOptions options;
    options.width = 32;  // half the window each way
    options.height = 32;
    createDevice(options);
    if (HasFatalFailure() || IsSkipped()) return;
    ShowWindow(window_, SW_SHOW);

    clear(kBlue);
    const D3DRECT topLeft{0, 0, 16, 16};
    ASSERT_EQ(device_->Clear(1, &topLeft, D3DCLEAR_TARGET, kRed, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    EXPECT_EQ(shownAt(8, 8), 0xFF0000u) << "top left";
    EXPECT_EQ(shownAt(28, 28), 0xFF0000u) << "inside the stretched quarter";
    EXPECT_EQ(shownAt(56, 8), 0x0000FFu) << "top right";
    EXPECT_EQ(shownAt(8, 56), 0x0000FFu) << "bottom left";
    EXPECT_EQ(shownAt(56, 56), 0x0000FFu) << "bottom right";
}

}  // namespace
