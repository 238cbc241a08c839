// The OpenGL interface the Direct3D 8 back end draws with, on Linux: OpenGL 3.3
// core through libepoxy, and the shaders' GLSL 3.30.
#pragma once

#include <epoxy/gl.h>

namespace d3d8::gl {

// Opens every shader the back end builds. Vertex colours are read as GL_BGRA,
// which gives them in RGBA order already.
constexpr const char kShaderPreamble[] =
    "#version 330 core\n"
    "#define VERTEX_COLOR(c) (c)\n";

}  // namespace d3d8::gl
