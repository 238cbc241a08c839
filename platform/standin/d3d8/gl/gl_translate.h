// Direct3D 8's enumerations in OpenGL's terms, and the matrix product, as the
// OpenGL back end draws with them: plain tables without state, so that the
// benchmark's bare-GL ceiling (tools/bench/ceiling.cpp) translates the draws it
// replays with the very same ones. Inline: the device calls them per draw.
#pragma once

#include <cstdint>

#include "d3d8.h"
#include "gl_api.h"

namespace d3d8::gl {

// The GL mode of a primitive type; false for a type Direct3D 8 does not have.
inline bool primitiveMode(D3DPRIMITIVETYPE type, GLenum& mode) {
    switch (type) {
        case D3DPT_POINTLIST: mode = GL_POINTS; return true;
        case D3DPT_LINELIST: mode = GL_LINES; return true;
        case D3DPT_LINESTRIP: mode = GL_LINE_STRIP; return true;
        case D3DPT_TRIANGLELIST: mode = GL_TRIANGLES; return true;
        case D3DPT_TRIANGLESTRIP: mode = GL_TRIANGLE_STRIP; return true;
        case D3DPT_TRIANGLEFAN: mode = GL_TRIANGLE_FAN; return true;
        default: return false;
    }
}

// Vertices (or indices) that `count` primitives of `type` use.
inline uint64_t verticesFor(D3DPRIMITIVETYPE type, UINT count) {
    const uint64_t n = count;
    switch (type) {
        case D3DPT_POINTLIST: return n;
        case D3DPT_LINELIST: return 2 * n;
        case D3DPT_LINESTRIP: return n + 1;
        case D3DPT_TRIANGLELIST: return 3 * n;
        default: return n + 2;  // strips and fans
    }
}

// A source blend factor (the two BOTH... settings set both factors at once and
// are the caller's to handle).
inline GLenum blendFactor(DWORD blend) {
    switch (blend) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        default: return GL_ONE;
    }
}

// A destination blend factor: as the source's, but SRCALPHASAT blends as ONE.
inline GLenum destinationBlendFactor(DWORD blend) {
    const GLenum factor = blendFactor(blend);
    return factor == GL_SRC_ALPHA_SATURATE ? GL_ONE : factor;
}

inline GLenum blendEquation(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN: return GL_MIN;
        case D3DBLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

inline GLenum compareFunc(DWORD func) {
    switch (func) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

inline GLint addressMode(DWORD address) {
    switch (address) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        default: return GL_REPEAT;
    }
}

inline GLint magFilter(DWORD mag) { return mag >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST; }

// The minifying filter of a MINFILTER and a MIPFILTER.
inline GLint minFilter(DWORD min, DWORD mip) {
    const bool linear = min >= D3DTEXF_LINEAR;
    if (mip == D3DTEXF_NONE) return linear ? GL_LINEAR : GL_NEAREST;  // base level only
    if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

// a · b: Direct3D's row vectors go through `a` first, then `b`.
inline D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX out;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] +
                          a.m[r][3] * b.m[3][c];
        }
    }
    return out;
}

}  // namespace d3d8::gl
