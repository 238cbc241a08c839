// Chooses the Direct3D 8 back end: tests and tools call this, the program never
// does (it only calls Direct3DCreate8). The hooks on Present come with it.
#pragma once

#include "present_hooks.h"

namespace d3d8 {

enum class Backend {
    OpenGL,     // the real device: OpenGL 3.3 core (WebGL2 on the web) in a window (the default)
    Recording,  // records every call; for unit tests
};

// Chooses what the next Direct3DCreate8 returns.
void selectBackend(Backend backend);
Backend selectedBackend();

}  // namespace d3d8
