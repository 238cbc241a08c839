// Clear and Present: the back buffer, its read-back for the present observer,
// its display in the window, and frame pacing.
#include <algorithm>
#include <cmath>
#include <thread>

#include "present_hooks.h"
#include "gl_device.h"

namespace d3d8::gl {

HRESULT Device::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                      DWORD Stencil) {
    if (Count != 0 && !pRects) return D3DERR_INVALIDCALL;
    if (!(Flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    // Depth and stencil can only be cleared when the device has them.
    if ((Flags & D3DCLEAR_ZBUFFER) && !backBuffer_.depthFormat) return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_STENCIL) && !backBuffer_.hasStencil) return D3DERR_INVALIDCALL;
    if (!makeCurrent()) return D3D_OK;

    GLbitfield mask = 0;
    if (Flags & D3DCLEAR_TARGET) {
        const ColorF c = colorFromD3D(Color);
        glClearColor(c.r, c.g, c.b, backBuffer_.hasAlpha ? c.a : 1.0f);
        // Clear ignores COLORWRITEENABLE and ZWRITEENABLE.
        cache_.colorMask(true, true, true, true);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(std::isnan(Z) ? 1.0f : std::min(std::max(Z, 0.0f), 1.0f));
        cache_.depthMask(true);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_STENCIL) {
        glClearStencil(static_cast<GLint>(Stencil & 0xFF));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    dirty_.set(Dirty::ColorMask).set(Dirty::Depth);  // the next draw restores the masks
    cache_.bindDrawFramebuffer(framebuffer_);

    // Clear works on the viewport, or on the given rectangles inside it.
    const auto& vp = state_.viewport;
    const D3DRECT viewport{static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y),
                           static_cast<LONG>(vp.X + vp.Width), static_cast<LONG>(vp.Y + vp.Height)};
    cache_.enable(GL_SCISSOR_TEST, true);
    auto clearRect = [&](const D3DRECT& r) {
        const LONG x1 = std::max(r.x1, viewport.x1), y1 = std::max(r.y1, viewport.y1);
        const LONG x2 = std::min(r.x2, viewport.x2), y2 = std::min(r.y2, viewport.y2);
        if (x1 >= x2 || y1 >= y2) return;
        cache_.scissor(x1, y1, x2 - x1, y2 - y1);  // the back buffer's rows run top-down
        glClear(mask);
    };
    if (Count == 0) {
        clearRect(viewport);
    } else {
        for (DWORD i = 0; i < Count; ++i) clearRect(pRects[i]);
    }
    cache_.enable(GL_SCISSOR_TEST, false);
    return D3D_OK;
}

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                        const RGNDATA* pDirtyRegion) {
    (void)pDirtyRegion;  // only a hint
    const bool copies = backBuffer_.swapEffect == D3DSWAPEFFECT_COPY ||
                        backBuffer_.swapEffect == D3DSWAPEFFECT_COPY_VSYNC;
    // Rectangles are only allowed with the COPY swap effects; presenting into
    // another window is not supported.
    if ((pSourceRect || pDestRect) && !copies) return D3DERR_INVALIDCALL;
    if (hDestWindowOverride && hDestWindowOverride != hwnd_) return D3DERR_INVALIDCALL;
    if (window::surfaceOf(hwnd_) != window_ || !makeCurrent()) return D3DERR_DEVICELOST;

    if (presentObserver()) {
        readBackBuffer();
        presentObserver()(FrameView{frame_.data(), static_cast<int>(backBuffer_.width),
                                    static_cast<int>(backBuffer_.height),
                                    static_cast<int>(backBuffer_.width * 4)});
    }
    // Under a driver whose windows nobody sees (capture, benchmarks), the copy
    // to the window and the swap would cost a frame's blit for nothing.
    if (!window::windowsAreUnseen()) {
        blitToWindow(pSourceRect, pDestRect);
        applySwapInterval();
        window::swap(window_);
    }
    pace();
    return D3D_OK;
}

void Device::readBackBuffer() {
    const auto width = static_cast<GLsizei>(backBuffer_.width);
    const auto height = static_cast<GLsizei>(backBuffer_.height);
    cache_.bindReadFramebuffer(framebuffer_);
    // GL_BGRA with 8_8_8_8_REV gives 0xAARRGGBB words on any byte order, top
    // row first as the back buffer holds them.
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, frame_.data());
}

void Device::blitToWindow(const RECT* source, const RECT* dest) {
    int drawableWidth = 0, drawableHeight = 0;
    window::drawableSize(window_, drawableWidth, drawableHeight);
    int windowWidth = 0, windowHeight = 0;
    window::clientSize(window_, windowWidth, windowHeight);
    if (drawableWidth <= 0 || drawableHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) return;

    // Source in back-buffer pixels, Direct3D's top-down rows.
    const LONG bbWidth = static_cast<LONG>(backBuffer_.width);
    const LONG bbHeight = static_cast<LONG>(backBuffer_.height);
    RECT src{0, 0, bbWidth, bbHeight};
    if (source) {
        src = RECT{std::max<LONG>(source->left, 0), std::max<LONG>(source->top, 0),
                   std::min(source->right, bbWidth), std::min(source->bottom, bbHeight)};
        if (src.left >= src.right || src.top >= src.bottom) return;
    }
    // Destination in drawable pixels, also top-down.
    RECT dst{0, 0, drawableWidth, drawableHeight};
    if (dest) {
        const double sx = static_cast<double>(drawableWidth) / windowWidth;
        const double sy = static_cast<double>(drawableHeight) / windowHeight;
        dst = RECT{static_cast<LONG>(dest->left * sx), static_cast<LONG>(dest->top * sy),
                   static_cast<LONG>(dest->right * sx), static_cast<LONG>(dest->bottom * sy)};
    } else if (!backBuffer_.windowed) {
        // Full screen: scale to the screen keeping the aspect ratio, with black bars.
        const double scale = std::min(static_cast<double>(drawableWidth) / bbWidth,
                                      static_cast<double>(drawableHeight) / bbHeight);
        const LONG w = static_cast<LONG>(bbWidth * scale + 0.5);
        const LONG h = static_cast<LONG>(bbHeight * scale + 0.5);
        dst = RECT{(drawableWidth - w) / 2, (drawableHeight - h) / 2, 0, 0};
        dst.right = dst.left + w;
        dst.bottom = dst.top + h;
    }
    // In a window, Direct3D stretches the back buffer over the client area.

    cache_.bindReadFramebuffer(framebuffer_);
    cache_.bindDrawFramebuffer(0);
    cache_.enable(GL_SCISSOR_TEST, false);
    cache_.colorMask(true, true, true, true);
    const bool fillsWindow =
        dst.left <= 0 && dst.top <= 0 && dst.right >= drawableWidth && dst.bottom >= drawableHeight;
    if (!fillsWindow) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    const bool sameSize = (src.right - src.left) == (dst.right - dst.left) &&
                          (src.bottom - src.top) == (dst.bottom - dst.top);
    // The back buffer's rows run top-down, the window's bottom-up: the blit turns them over.
    glBlitFramebuffer(src.left, src.top, src.right, src.bottom, dst.left, drawableHeight - dst.top,
                      dst.right, drawableHeight - dst.bottom,
                      GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
    if (backBuffer_.hasAlpha) {
        // The window shows colour only: keep its alpha opaque.
        cache_.colorMask(false, false, false, true);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    cache_.bindDrawFramebuffer(framebuffer_);
    dirty_.set(Dirty::ColorMask);
}

void Device::applySwapInterval() {
    const int wanted = presentPacing() ? 1 : 0;
    if (wanted == swapInterval_) return;
    // Vertical sync where the driver gives it; when it does not, pace() still
    // keeps the loop at the refresh rate.
    window::setSwapInterval(wanted);
    swapInterval_ = wanted;
}

void Device::pace() {
    using Clock = std::chrono::steady_clock;
    if (!presentPacing()) {
        presentedBefore_ = false;
        return;
    }
    // Never faster than the display: wait out the rest of the refresh period
    // since the previous Present.
    const auto period = std::chrono::nanoseconds(1000000000LL / refreshRate_);
    auto now = Clock::now();
    if (presentedBefore_ && now < lastPresent_ + period) {
        std::this_thread::sleep_until(lastPresent_ + period);
        now = Clock::now();
    }
    lastPresent_ = now;
    presentedBefore_ = true;
}

}  // namespace d3d8::gl
