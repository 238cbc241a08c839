#include "effect_bench.h"

#include "dropeffect.h"
#include "extroeffect.h"
#include "greetingseffect.h"
#include "run_directory.h"
#include "velmoreffect.h"

namespace bench {

const char* const kEffectNames[6] = {"intro", "title and road", "drops", "particles", "closing picture", "greetings"};

void resetEffectStatics() {
    cVelmorEffect::s_fadedIn = false;
    cDropEffect::s_started = false;
    cExtroEffect::s_started = false;
    cGreetingsEffect::s_started = false;
}

bool EffectBench::open(int width, int height, std::string* error) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "BenchWindow";
    RegisterClassExA(&windowClass);  // fails harmlessly the second time
    int windowWidth = 0;
    int windowHeight = 0;
    session::windowSizeFor(width, height, &windowWidth, &windowHeight);
    window_ = CreateWindowExA(0, "BenchWindow", "bench", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              windowWidth, windowHeight, nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(window_, SW_SHOWDEFAULT);
    log_.open("Bench", LOGLEVEL_DEBUG, window_);
    d3d_.setDisplayMode(static_cast<UINT>(width), static_cast<UINT>(height), 60);
    if (!window_ || FAILED(d3d_.init(window_, &log_, nullptr))) {
        *error = "cannot create the device";
        return false;
    }
    demo_.compose();
    for (const sScheduleEntry& entry : demo_.getSchedule()) {
        if (FAILED(entry.effect->init(&d3d_))) {
            *error = "an effect failed to initialise; see the log in the working directory";
            return false;
        }
        effects_.push_back(entry.effect);
    }
    return true;
}

EffectBench::~EffectBench() {
    for (cEffect* effect : effects_) effect->release();
    d3d_.release();
    if (window_) DestroyWindow(window_);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

}  // namespace bench
