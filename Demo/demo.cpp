#include "demo.h"

#include <cstdio>

#include "crt.h"
#include "d3d.h"
#include "texture.h"

namespace {

const char kWindowClass[] = "DemoWindow";
const WORD kIconResource = 5;

}  // namespace

cDemo::cDemo() : m_hasLoadingImage(false), m_windowTitle("Demo"), m_window(nullptr) {}

int runDemo(cDemo& demo) {
    if (demo.run()) return 0;
    MessageBoxA(nullptr, "Something went wrong...", "Error:", MB_OK);
    return -1;
}

cDemo::~cDemo() = default;

LRESULT CALLBACK cDemo::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            // Drawing happens only in the main loop; this just validates the window.
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

HWND cDemo::createWindow(bool fullscreen) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconResource));
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExA(&windowClass)) return nullptr;

    const DWORD style = fullscreen ? WS_SYSMENU : WS_OVERLAPPEDWINDOW;
    HWND window = CreateWindowExA(0, kWindowClass, m_windowTitle.c_str(), style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 640, 480, GetDesktopWindow(), nullptr, instance,
                                  nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    return window;
}

// The latest effect whose start has passed, never one that starts earlier than
// the current one; index 0 when none has.
unsigned cDemo::selectEffect(uint32_t elapsed, unsigned current) const {
    const float now = static_cast<float>(elapsed);
    unsigned candidate = 0;
    for (unsigned j = 0; j < m_schedule.size(); ++j) {
        if (now > m_schedule[j].start && m_schedule[current].start <= m_schedule[j].start) {
            candidate = j;
        }
    }
    return candidate;
}

bool cDemo::run() {
    const float length = compose();
    // An empty schedule has no effect to run: refuse it rather than index past it.
    if (length == 0.0f || m_schedule.empty()) return false;

    HWND window = createWindow(false);
    m_window = window;
    cD3D d3d;
    cLog log("Demo", LOGLEVEL_DEBUG, window);
    d3d.setDisplayMode(640, 480, 60);
    if (FAILED(d3d.init(window, &log, nullptr))) {
        // Whatever init created before it failed is released, not left to the exit.
        d3d.release();
        return false;
    }

    cScene loadingScene;
    cQuad loadingQuad;
    cTexture loadingTexture;
    if (m_hasLoadingImage) {
        loadingTexture.load(&d3d, "Data\\Textures\\" + m_loadingImage);
        loadingQuad.setTexture(&loadingTexture, 0);
        loadingScene.addChild(&loadingQuad);
        loadingScene.init(&d3d);
        loadingScene.begin();
        loadingScene.end();
        loadingScene.present();
    }

    for (size_t i = 0; i < m_schedule.size(); ++i) {
        if (FAILED(m_schedule[i].effect->init(&d3d))) {
            // Start-up stops here. The effects initialised so far, the failing one
            // (which may have created part of its resources) and the device are
            // released, so nothing is left behind.
            for (size_t j = 0; j <= i; ++j) m_schedule[j].effect->release();
            if (m_hasLoadingImage) loadingScene.release();
            d3d.release();
            return false;
        }
    }
    if (m_hasLoadingImage) loadingScene.release();

    renderLoop(log, length);

    log.write(cLogMessage("End of render loop.<br>", LOGLEVEL_LOG, LOGINDENT_END));
    for (const sScheduleEntry& entry : m_schedule) entry.effect->release();
    d3d.release();
    return true;
}

void cDemo::renderLoop(cLog& log, float length) {
    uint32_t start = crt::clock();
    unsigned current = 0;
    uint32_t switchTime = 0;
    MSG message{};

    log.write(cLogBlockBegin("Start of render loop.", LOGLEVEL_LOG));
    log.write(cLogMessage("Started rendering new effect: #0", LOGLEVEL_LOG, LOGINDENT_NONE));

    do {
        const uint32_t elapsed = crt::clock() - start;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            // A pass that handles a message draws nothing.
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }

        const unsigned candidate = selectEffect(elapsed, current);
        if (candidate != current) {
            char text[64];
            std::snprintf(text, sizeof text, "Started rendering new effect: #%i",
                          static_cast<int>(candidate));
            log.write(cLogMessage(text, LOGLEVEL_LOG, LOGINDENT_NONE));
            switchTime = elapsed;
        }
        current = candidate;
        if (!m_schedule[current].effect->frame(elapsed - switchTime)) PostQuitMessage(-1);

        // Past the demo's length the schedule starts over from the first effect.
        if (static_cast<float>(elapsed) > length) start = crt::clock();
    } while (message.message != WM_QUIT);
}
