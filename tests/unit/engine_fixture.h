// Shared set-up for the engine's unit tests: the recording device, a fresh
// working directory, a fixed calendar time, scripted message-box answers and a
// clean message queue.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crt.h"
#include "d3d.h"
#include "d3d8_backend.h"
#include "message_box_hooks.h"
#include "recording/recording.h"
#include "windows.h"

namespace testing_support {

// 2026-12-06 23:27:32 UTC, a Sunday.
constexpr std::time_t kFixedTime = 1796599652;

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        previousDir_ = std::filesystem::current_path();
        workDir_ = std::filesystem::temp_directory_path() /
                   ("engine_test_" + std::to_string(getpid()) + "_" + std::to_string(counter()++));
        std::filesystem::remove_all(workDir_);
        std::filesystem::create_directories(workDir_);
        std::filesystem::current_path(workDir_);
        crt::setCalendarSource([] { return kFixedTime; });
        d3d8::selectBackend(d3d8::Backend::Recording);
        d3d8::recording::recorder().reset();
        win32::setMessageBoxAnswerer([this](HWND, const char* text, const char* caption, UINT type) {
            boxes.push_back({text, caption, type});
            if (answers.empty()) return (type & MB_TYPEMASK) == MB_OK ? IDOK : IDYES;
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        });
        drainMessages();
    }

    // A real 640 x 480 window (on SDL's offscreen driver), made on first use.
    HWND window() {
        if (!window_) {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "EngineTestWindow";
            RegisterClassExA(&wc);  // fails harmlessly when already registered
            window_ = CreateWindowExA(0, "EngineTestWindow", "test", WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr,
                                      wc.hInstance, nullptr);
            EXPECT_NE(window_, nullptr);
            drainMessages();
        }
        return window_;
    }

    void TearDown() override {
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        drainMessages();
        win32::setMessageBoxAnswerer(nullptr);
        crt::setCalendarSource(nullptr);
        d3d8::recording::recorder().reset();
        std::filesystem::current_path(previousDir_);
        std::filesystem::remove_all(workDir_);
    }

    // Takes every waiting message; returns the exit code of a WM_QUIT among them, or
    // `none` when no quit was posted.
    static int drainMessages(int none = 12345) {
        MSG msg;
        int quitCode = none;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) quitCode = static_cast<int>(msg.wParam);
        }
        return quitCode;
    }

    // The one log file written under Data/Logs.
    std::string readLogFile() const {
        const std::filesystem::path dir = workDir_ / "Data" / "Logs";
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            return text.str();
        }
        return "";
    }

    void writeFile(const std::string& path, const std::string& content) const {
        std::filesystem::create_directories((workDir_ / path).parent_path());
        std::ofstream(workDir_ / path, std::ios::binary) << content;
    }

    std::vector<MessageBoxCall> boxes;
    std::deque<int> answers;  // scripted answers, oldest first; then Yes / OK
    std::filesystem::path workDir_;

private:
    HWND window_ = nullptr;
    static int& counter() {
        static int value = 0;
        return value;
    }
    std::filesystem::path previousDir_;
};

// An engine test with an open log and a device wrapper initialised on the
// recording device (a configuration file is written so no warning box appears).
class DeviceTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        log.open("Demo", LOGLEVEL_DEBUG, nullptr);
        writeFile("Data/Config/direct3d.cfg", "reswidth 640");
        d3d.setDisplayMode(640, 480, 60);
        ASSERT_EQ(d3d.init(window(), &log, nullptr), S_OK);
        d3d8::recording::recorder().clearCalls();
    }
    void TearDown() override {
        d3d.release();
        EngineTest::TearDown();
    }

    cLog log;  // opened in SetUp, once the working directory is the test's
    cD3D d3d;
};

}  // namespace testing_support
