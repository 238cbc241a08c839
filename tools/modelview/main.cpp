// modelview [--test-scene] [FILE]: shows one MS3D model file (default
// "terraT.ms3d", relative to the working directory) in a window on the OpenGL
// device.
//
// The viewer frames the model's bind pose in the window and lets the user turn,
// zoom, play and step it (see controlsText); the title bar names the file, its
// counts, the frame and the frame rate. Textures are looked for as the model
// names them and then beside it (findTexture).
//
// --test-scene shows the file in the test model's scene instead: one directional
// light, the camera at (0, 0, 100) looking at the origin, the scene swaying about
// y, the skeleton animating and looping, textures only as the model names them
// relative to the working directory.
//
// Escape or closing the window quits. Exit codes: 0 after a normal quit; 1 when
// the file cannot be read as an MS3D version 4 model or the device cannot be
// created; 2 for a wrong command line. A texture that cannot be loaded is named
// on stderr and the model is drawn without it.
#include <cstdio>
#include <fstream>
#include <string>

#include "config.h"
#include "crt.h"
#include "d3d.h"
#include "device_hooks.h"
#include "model.h"
#include "viewer_input.h"
#include "sdl_window.h"
#include "viewer_scene.h"
#include "windows.h"

namespace {

const char kWindowClass[] = "ModelViewWindow";
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kTitleInterval = 100;     // ms between title updates, at the most
constexpr uint32_t kFrameRateInterval = 500;  // ms the frame rate is averaged over

// The test model's scene around any model file: only the file name differs.
class cModelViewScene : public cTestModel {
public:
    explicit cModelViewScene(std::string fileName) : m_fileName(std::move(fileName)) {}
    HRESULT init(cD3D* d3d) override { return initWithModel(d3d, m_fileName); }

private:
    std::string m_fileName;
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            // Drawing happens in the main loop; painting only validates the window.
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND createWindow(const std::string& fileName) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExA(&windowClass)) return nullptr;
    const std::string title = "Model viewer - " + fileName;
    HWND window = CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, kWidth, kHeight,
                                  GetDesktopWindow(), nullptr, windowClass.hInstance, nullptr);
    if (!window) return nullptr;
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    return window;
}

// Checks the file before any window opens, so a bad file gives a plain message
// and no empty window.
bool checkModelFile(const std::string& fileName) {
    if (!std::ifstream(crt::hostPath(fileName), std::ios::binary)) {
        std::fprintf(stderr, "modelview: cannot open '%s'\n", fileName.c_str());
        return false;
    }
    cModel probe;
    if (!probe.load(fileName, "")) {
        std::fprintf(stderr,
                     "modelview: '%s' is not a readable MS3D version 4 model file "
                     "(wrong header or version, truncated, or inconsistent indices)\n",
                     fileName.c_str());
        return false;
    }
    return true;
}

void reportMissingTextures(cModel& model) {
    for (size_t i = 0; i < model.m_textures.size(); ++i) {
        if (model.m_textures[i]->m_texture) continue;
        std::fprintf(stderr, "modelview: texture '%s' could not be loaded; drawn without it\n",
                     (model.m_textureDirectory + model.m_textureNames[i]).c_str());
    }
}

// The demo's loop: a message is handled on a pass of its own, every other pass
// draws one frame. `drawFrame` is given the milliseconds since the start.
template <class DrawFrame>
void runLoop(DrawFrame drawFrame) {
    const uint32_t start = crt::clock();
    MSG message{};
    while (message.message != WM_QUIT) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        drawFrame(crt::clock() - start);
    }
}

// The title bar: rewritten when its text changes, at most every kTitleInterval
// ms, with the frames a second counted over the last kFrameRateInterval.
class TitleBar {
public:
    explicit TitleBar(HWND window) : m_window(window) {}

    void update(const modelview::cViewerScene& scene, uint32_t now) {
        ++m_frames;
        if (now - m_countStart >= kFrameRateInterval) {
            m_frameRate = m_frames * 1000.0 / (now - m_countStart);
            m_frames = 0;
            m_countStart = now;
        }
        if (now - m_shownAt < kTitleInterval) return;
        const std::string text = modelview::titleText(scene.m_facts, scene.m_animation.frame(),
                                                      scene.m_animation.totalFrames(), m_frameRate);
        if (text == m_shown) return;
        if (SDL_Window* sdl = win32::sdlWindow(m_window)) SDL_SetWindowTitle(sdl, text.c_str());
        m_shown = text;
        m_shownAt = now;
    }

private:
    HWND m_window;
    std::string m_shown;
    uint32_t m_shownAt = 0;
    uint32_t m_countStart = 0;
    int m_frames = 0;
    double m_frameRate = 0;
};

// Shows the model in the viewer's scene until the user quits.
int runViewer(const std::string& fileName, HWND window, cD3D& d3d) {
    modelview::cViewerScene scene;
    if (!scene.load(fileName) || FAILED(scene.init(&d3d))) {
        std::fprintf(stderr, "modelview: '%s' could not be loaded\n", fileName.c_str());
        return 1;
    }
    reportMissingTextures(scene.m_model);
    modelview::ViewerInput input(scene);
    TitleBar title(window);
    uint32_t last = 0;
    runLoop([&](uint32_t now) {
        scene.frame(now - last);
        last = now;
        title.update(scene, now);
    });
    return 0;
}

// Shows the model in the test model's scene until the user quits.
int runTestScene(const std::string& fileName, cD3D& d3d) {
    int exitCode = 0;
    cModelViewScene scene(fileName);
    scene.init(&d3d);
    if (!scene.m_model.m_skeleton) {
        std::fprintf(stderr, "modelview: '%s' could not be loaded\n", fileName.c_str());
        exitCode = 1;
    } else {
        reportMissingTextures(scene.m_model);
        runLoop([&](uint32_t now) { scene.frame(now); });
    }
    scene.release();
    return exitCode;
}

int view(const std::string& fileName, bool testScene) {
    if (!checkModelFile(fileName)) return 1;
    HWND window = createWindow(fileName);
    if (!window) {
        std::fprintf(stderr, "modelview: cannot create the window\n");
        return 1;
    }
    cD3D d3d;
    cD3DConfig windowed;  // nothing read: a window of the display mode below
    d3d.setDisplayMode(kWidth, kHeight, 60);
    // No log: the engine's messages (and their boxes) are dropped; what matters
    // to the viewer's user is written to stderr here.
    d3d8::explainDeviceFailureOnStderrOnly();
    if (FAILED(d3d.init(window, nullptr, &windowed))) {
        // The port may have said why already (no OpenGL 3.3), in one line.
        if (!d3d8::deviceFailureExplained()) std::fprintf(stderr, "modelview: cannot create the Direct3D device\n");
        d3d.release();
        DestroyWindow(window);
        return 1;
    }
    const int exitCode = testScene ? runTestScene(fileName, d3d) : runViewer(fileName, window, d3d);
    d3d.release();
    if (IsWindow(window)) DestroyWindow(window);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    bool testScene = false;
    std::string fileName;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--test-scene" && !testScene) {
            testScene = true;
        } else if (fileName.empty() && !arg.empty() && arg[0] != '-') {
            fileName = arg;
        } else {
            std::fprintf(stderr, "usage: modelview [--test-scene] [FILE]   (default: terraT.ms3d)\n%s",
                         modelview::controlsText());
            return 2;
        }
    }
    return view(fileName.empty() ? "terraT.ms3d" : fileName, testScene);
}
