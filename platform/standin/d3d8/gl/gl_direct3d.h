// The OpenGL 3.3 core back end of the Direct3D 8 stand-in.
#pragma once

#include "d3d8.h"

namespace d3d8::gl {

// The IDirect3D8 object of this back end (Direct3DCreate8 returns it by default).
IDirect3D8* createDirect3D();

}  // namespace d3d8::gl
