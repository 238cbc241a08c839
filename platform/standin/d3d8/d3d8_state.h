// The state a Direct3D 8 device keeps, with the documented defaults of a freshly
// created device. Both back ends hold one of these as their shadow copy, so the
// Get calls answer the same way on both.
#pragma once

#include <array>

#include "d3d8.h"

namespace d3d8 {

constexpr int kMaxTextureStages = 8;
constexpr int kMaxLights = 8;  // lights a draw takes into account
constexpr int kRenderStateCount = 256;
constexpr int kStageStateCount = 32;

struct LightSlot {
    D3DLIGHT8 light;
    bool defined;  // SetLight was called, or LightEnable created the default light
    bool enabled;
};

struct DeviceState {
    std::array<DWORD, kRenderStateCount> renderStates;
    std::array<std::array<DWORD, kStageStateCount>, kMaxTextureStages> stageStates;
    D3DMATRIX world;
    D3DMATRIX view;
    D3DMATRIX projection;
    std::array<D3DMATRIX, kMaxTextureStages> textureTransforms;
    D3DMATERIAL8 material;
    // Light indices are not bounded in Direct3D; indices past this table are kept
    // by the back ends elsewhere if ever used. The program uses a handful.
    std::array<LightSlot, 64> lights;
    D3DVIEWPORT8 viewport;
    DWORD vertexShader;  // the FVF code
};

// The state of a device just created. ZENABLE depends on whether the device got
// an automatic depth buffer.
void resetToDefaults(DeviceState& state, bool autoDepthStencil, UINT width, UINT height);

// The light LightEnable creates for an index that was never set.
D3DLIGHT8 defaultLight();

const D3DMATRIX& identityMatrix();

// Which slot of DeviceState a transform type names; null for an unknown type.
D3DMATRIX* transformSlot(DeviceState& state, D3DTRANSFORMSTATETYPE type);

}  // namespace d3d8
