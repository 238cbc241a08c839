// Hooks on Present that tools and tests use on every port: the finished frame,
// and whether Present waits for the display. The program itself never calls these.
#pragma once

#include <cstdint>
#include <functional>

namespace d3d8 {

// A finished frame, as Present is about to show it: top-down rows of 32-bit
// pixels in D3DCOLOR layout (0xAARRGGBB), `pitch` bytes apart.
struct FrameView {
    const uint32_t* pixels;
    int width;
    int height;
    int pitch;
};

// Called by the device's Present with the back buffer before it is shown.
// An empty function removes the observer.
using PresentObserver = std::function<void(const FrameView& frame)>;
void setPresentObserver(PresentObserver observer);

// Whether Present waits for the display's refresh (on by default). Capture and
// benchmarks run with a virtual clock and turn it off.
void setPresentPacing(bool paced);

// What the ports' Present reads of the settings above.
const PresentObserver& presentObserver();
bool presentPacing();

}  // namespace d3d8
