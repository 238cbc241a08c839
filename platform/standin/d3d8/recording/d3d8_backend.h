// Chooses the Direct3D 8 back end, for the tests and tools that link the
// d3d8_recording library: the recording device or the port's own. The program
// never calls this (it gets the OpenGL back end). The hooks on Present and on
// devices come with it.
#pragma once

#include "device_hooks.h"
#include "present_hooks.h"

namespace d3d8 {

enum class Backend {
    OpenGL,     // the real device: OpenGL 3.3 core (WebGL2 on the web) in a window (the default)
    Recording,  // records every call (recording.h)
};

// Chooses what the next Direct3DCreate8 returns.
void selectBackend(Backend backend);

}  // namespace d3d8
