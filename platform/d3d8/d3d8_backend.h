// Hooks that tests and tools use to choose and observe the Direct3D 8 back end.
// The program itself never calls these: it only calls Direct3DCreate8.
#pragma once

#include <cstdint>
#include <functional>

namespace d3d8 {

enum class Backend {
    OpenGL,     // the real device: OpenGL 3.3 core in an SDL2 window (the default)
    Recording,  // records every call; for unit tests
};

// Chooses what the next Direct3DCreate8 returns.
void selectBackend(Backend backend);
Backend selectedBackend();

// A finished frame, as Present is about to show it: top-down rows of 32-bit
// pixels in D3DCOLOR layout (0xAARRGGBB), `pitch` bytes apart.
struct FrameView {
    const uint32_t* pixels;
    int width;
    int height;
    int pitch;
};

// Called by the OpenGL back end's Present with the back buffer before it is shown.
// An empty function removes the observer.
using PresentObserver = std::function<void(const FrameView& frame)>;
void setPresentObserver(PresentObserver observer);

// Whether Present waits for the display's refresh (on by default). Capture and
// benchmarks run with a virtual clock and turn it off.
void setPresentPacing(bool paced);

}  // namespace d3d8
