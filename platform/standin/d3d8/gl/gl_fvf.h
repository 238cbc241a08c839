// Flexible vertex format codes: where each vertex element sits.
//
// Element order inside a vertex is fixed by Direct3D: position (XYZ, XYZRHW or
// XYZ with 1..5 blend weights), normal, point size, diffuse, specular, then the
// texture coordinate sets. Each set holds 1..4 floats, chosen by two bits per set
// from bit 16 up (00 = 2 floats, 01 = 3, 10 = 4, 11 = 1); 0x142, 0x152 and 0x252
// all use 2-float sets.
#pragma once

#include <array>

#include "d3d8.h"

namespace d3d8::gl {

constexpr int kMaxTexCoordSets = 8;

struct FvfLayout {
    bool valid = false;           // a position is present and the code is one Direct3D accepts
    bool pretransformed = false;  // XYZRHW: screen-space x, y, z and 1/w
    UINT size = 0;                // bytes of one vertex
    int positionFloats = 0;       // 3, or 4 for XYZRHW
    int normalOffset = -1;        // -1 when absent
    int diffuseOffset = -1;
    int specularOffset = -1;
    int texCoordSets = 0;
    std::array<int, kMaxTexCoordSets> texCoordOffset{};
    std::array<int, kMaxTexCoordSets> texCoordFloats{};
};

FvfLayout parseFvf(DWORD fvf);

}  // namespace d3d8::gl
