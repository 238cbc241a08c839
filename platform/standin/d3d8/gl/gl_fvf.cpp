#include "gl_fvf.h"

namespace d3d8::gl {
namespace {

constexpr DWORD kPositionMask = 0x00E;
constexpr DWORD kXyzB1 = 0x006;
constexpr DWORD kXyzB5 = 0x00E;
constexpr int kTexCoordSizeShift = 16;

// Floats per texture coordinate set, from its two format bits.
int texCoordFloats(DWORD fvf, int set) {
    switch ((fvf >> (kTexCoordSizeShift + 2 * set)) & 3) {
        case 0: return 2;
        case 1: return 3;
        case 2: return 4;
        default: return 1;
    }
}

}  // namespace

FvfLayout parseFvf(DWORD fvf) {
    FvfLayout layout;
    const DWORD position = fvf & kPositionMask;
    UINT offset = 0;
    if (position == D3DFVF_XYZ) {
        layout.positionFloats = 3;
        offset = 12;
    } else if (position == D3DFVF_XYZRHW) {
        layout.positionFloats = 4;
        layout.pretransformed = true;
        offset = 16;
    } else if (position >= kXyzB1 && position <= kXyzB5) {
        // XYZ followed by 1..5 blend weights; vertex blending is off, so the
        // weights are skipped.
        layout.positionFloats = 3;
        offset = 12 + 4 * ((position - kXyzB1) / 2 + 1);
    } else {
        return layout;  // no position: not a format that can be drawn
    }
    // Pre-transformed vertices are already lit: Direct3D rejects a normal on them.
    if (layout.pretransformed && (fvf & D3DFVF_NORMAL)) return layout;

    if (fvf & D3DFVF_NORMAL) {
        layout.normalOffset = static_cast<int>(offset);
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) offset += 4;
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuseOffset = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        layout.specularOffset = static_cast<int>(offset);
        offset += 4;
    }
    const int sets = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (sets > kMaxTexCoordSets) return layout;
    layout.texCoordSets = sets;
    for (int set = 0; set < sets; ++set) {
        layout.texCoordOffset[set] = static_cast<int>(offset);
        layout.texCoordFloats[set] = texCoordFloats(fvf, set);
        offset += 4 * static_cast<UINT>(layout.texCoordFloats[set]);
    }
    layout.size = offset;
    layout.valid = true;
    return layout;
}

}  // namespace d3d8::gl
