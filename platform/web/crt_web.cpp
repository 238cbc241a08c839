// The web port's clock, and the start of the demo: the program's clock stands at
// 0 until the viewer clicks the page and counts wall-clock milliseconds from
// then on, so the render loop, and the music cue 12 s into it, start on the
// click. The page calls webStart() on the click (or at once in frame mode).
#include <emscripten.h>

#include "crt_port.h"
#include "page.h"
#include "web_start.h"

namespace {

bool g_started = false;
double g_startMs = 0.0;

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void webStart() {
    if (g_started) return;
    g_started = true;
    g_startMs = emscripten_get_now();
}

namespace web {

bool started() { return g_started; }

}  // namespace web

namespace crt {

uint32_t port::systemClock() {
    if (!g_started) return 0;
    // Wraps after about 49.7 days, as the 32-bit millisecond clock of the original does.
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now() - g_startMs));
}

}  // namespace crt
