// Set-up for render tests of the engine: a small real window on SDL's offscreen
// driver, the OpenGL device behind cD3D, and the presented frames captured
// through the present observer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "crt.h"
#include "d3d.h"
#include "d3d8_backend.h"
#include "message_box_hooks.h"
#include "windows.h"

namespace testing_support {

class EngineRenderTest : public ::testing::Test {
protected:
    static constexpr int kSize = 64;

    void SetUp() override {
        workDir_ = std::filesystem::temp_directory_path() /
                   ("engine_render_" + std::to_string(::getpid()));
        std::filesystem::create_directories(workDir_ / "Data" / "Config");
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(workDir_);
        std::ofstream("Data/Config/direct3d.cfg") << "fullscreen 0\n";

        d3d8::selectBackend(d3d8::Backend::OpenGL);
        d3d8::setPresentPacing(false);
        d3d8::setPresentObserver([this](const d3d8::FrameView& frame) {
            width_ = frame.width;
            height_ = frame.height;
            pixels_.assign(static_cast<size_t>(frame.width) * frame.height, 0);
            for (int y = 0; y < frame.height; ++y) {
                const auto* row = reinterpret_cast<const uint8_t*>(frame.pixels) + y * frame.pitch;
                std::copy_n(reinterpret_cast<const uint32_t*>(row), frame.width,
                            pixels_.begin() + static_cast<ptrdiff_t>(y) * frame.width);
            }
        });
        win32::setMessageBoxAnswerer([](HWND, const char*, const char*, UINT) { return IDYES; });

        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "EngineRenderTest";
        RegisterClassExA(&wc);
        window_ = CreateWindowExA(0, "EngineRenderTest", "render test", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, windowWidth_, windowHeight_, nullptr,
                                  nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        d3d.setDisplayMode(windowWidth_, windowHeight_, 60);
        ASSERT_EQ(d3d.init(window_, nullptr, nullptr), S_OK);
    }

    void TearDown() override {
        d3d.release();
        DestroyWindow(window_);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        d3d8::setPresentObserver(nullptr);
        win32::setMessageBoxAnswerer(nullptr);
        std::filesystem::current_path(previousDir_);
        std::filesystem::remove_all(workDir_);
    }

    uint32_t pixel(int x, int y) const {
        return pixels_.at(static_cast<size_t>(y) * width_ + x);
    }
    static int red(uint32_t c) { return (c >> 16) & 0xFF; }
    static int green(uint32_t c) { return (c >> 8) & 0xFF; }
    static int blue(uint32_t c) { return c & 0xFF; }

    // Writes a 24-bit BMP of one colour, so tests have a picture to load.
    static void writeSolidBmp(const std::string& path, int size, uint8_t r, uint8_t g, uint8_t b) {
        const int rowBytes = (size * 3 + 3) & ~3;
        const uint32_t imageBytes = static_cast<uint32_t>(rowBytes * size);
        std::vector<uint8_t> file(54 + imageBytes, 0);
        auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        file[0] = 'B';
        file[1] = 'M';
        put32(2, static_cast<uint32_t>(file.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, static_cast<uint32_t>(size));
        put32(22, static_cast<uint32_t>(size));
        file[26] = 1;
        file[28] = 24;
        put32(34, imageBytes);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                uint8_t* p = &file[54 + y * rowBytes + x * 3];
                p[0] = b;
                p[1] = g;
                p[2] = r;
            }
        }
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }

    // The window's size; a test that needs another shape sets it in its constructor.
    int windowWidth_ = kSize;
    int windowHeight_ = kSize;
    cD3D d3d;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;

private:
    HWND window_ = nullptr;
    std::filesystem::path workDir_;
    std::filesystem::path previousDir_;
};

}  // namespace testing_support
