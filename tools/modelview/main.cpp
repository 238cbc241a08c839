// modelview [FILE]: shows one MS3D model file (default "terraT.ms3d", relative to
// the working directory) in the test model's scene: one directional light, the
// camera at (0, 0, 100) looking at the origin, the scene swaying about y, the
// skeleton animating and looping. Escape or closing the window quits.
//
// Exit codes: 0 after a normal quit; 1 when the file cannot be read as an MS3D
// version 4 model or the device cannot be created; 2 for a wrong command line.
// Texture files are looked for as the material names them, relative to the
// working directory; one that cannot be loaded is named on stderr and the model
// is drawn without it.
#include <cstdio>
#include <fstream>
#include <string>

#include "config.h"
#include "crt.h"
#include "d3d.h"
#include "model.h"
#include "windows.h"

namespace {

const char kWindowClass[] = "ModelViewWindow";
constexpr int kWidth = 640;
constexpr int kHeight = 480;

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
// draws one frame at the milliseconds since the start.
void runLoop(cModelViewScene& scene) {
    const uint32_t start = crt::clock();
    MSG message{};
    while (message.message != WM_QUIT) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        scene.frame(crt::clock() - start);
    }
}

int view(const std::string& fileName) {
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
    if (FAILED(d3d.init(window, nullptr, &windowed))) {
        std::fprintf(stderr, "modelview: cannot create the Direct3D device\n");
        d3d.release();
        DestroyWindow(window);
        return 1;
    }
    int exitCode = 0;
    cModelViewScene scene(fileName);
    scene.init(&d3d);
    if (!scene.m_model.m_skeleton) {
        std::fprintf(stderr, "modelview: '%s' could not be loaded\n", fileName.c_str());
        exitCode = 1;
    } else {
        reportMissingTextures(scene.m_model);
        runLoop(scene);
    }
    scene.release();
    d3d.release();
    if (IsWindow(window)) DestroyWindow(window);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: modelview [FILE]   (default: terraT.ms3d)\n");
        return 2;
    }
    return view(argc == 2 ? argv[1] : "terraT.ms3d");
}
