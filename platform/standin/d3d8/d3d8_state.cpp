#include "d3d8_state.h"

#include <cstring>

namespace d3d8 {

const D3DMATRIX& identityMatrix() {
    static const D3DMATRIX identity = [] {
        D3DMATRIX m;
        std::memset(&m, 0, sizeof m);
        m._11 = m._22 = m._33 = m._44 = 1.0f;
        return m;
    }();
    return identity;
}

D3DLIGHT8 defaultLight() {
    D3DLIGHT8 light;
    std::memset(&light, 0, sizeof light);
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    return light;
}

static void setDefaultRenderStates(DeviceState& s, bool autoDepthStencil) {
    s.renderStates.fill(0);
    auto rs = [&](D3DRENDERSTATETYPE state, DWORD value) { s.renderStates[state] = value; };
    rs(D3DRS_ZENABLE, autoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE);
    rs(D3DRS_FILLMODE, D3DFILL_SOLID);
    rs(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    rs(D3DRS_ZWRITEENABLE, TRUE);
    rs(D3DRS_ALPHATESTENABLE, FALSE);
    rs(D3DRS_LASTPIXEL, TRUE);
    rs(D3DRS_SRCBLEND, D3DBLEND_ONE);
    rs(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    rs(D3DRS_CULLMODE, D3DCULL_CCW);
    rs(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    rs(D3DRS_ALPHAREF, 0);
    rs(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    rs(D3DRS_DITHERENABLE, FALSE);
    rs(D3DRS_ALPHABLENDENABLE, FALSE);
    rs(D3DRS_FOGENABLE, FALSE);
    rs(D3DRS_SPECULARENABLE, FALSE);
    rs(D3DRS_STENCILENABLE, FALSE);
    rs(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    rs(D3DRS_CLIPPING, TRUE);
    rs(D3DRS_LIGHTING, TRUE);
    rs(D3DRS_AMBIENT, 0);
    rs(D3DRS_COLORVERTEX, TRUE);
    rs(D3DRS_LOCALVIEWER, TRUE);
    rs(D3DRS_NORMALIZENORMALS, FALSE);
    rs(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    rs(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2);
    rs(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    rs(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    rs(D3DRS_VERTEXBLEND, 0);
    rs(D3DRS_COLORWRITEENABLE, 0x0000000F);
    rs(D3DRS_BLENDOP, D3DBLENDOP_ADD);
}

static void setDefaultStageStates(DeviceState& s) {
    for (int stage = 0; stage < kMaxTextureStages; ++stage) {
        auto& ts = s.stageStates[stage];
        ts.fill(0);
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(stage);
        ts[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        ts[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        ts[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        ts[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        ts[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        ts[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        ts[D3DTSS_MAXANISOTROPY] = 1;
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
}

void resetToDefaults(DeviceState& state, bool autoDepthStencil, UINT width, UINT height) {
    setDefaultRenderStates(state, autoDepthStencil);
    setDefaultStageStates(state);
    state.world = state.view = state.projection = identityMatrix();
    state.textureTransforms.fill(identityMatrix());
    std::memset(&state.material, 0, sizeof state.material);
    for (auto& slot : state.lights) slot = LightSlot{defaultLight(), false, false};
    state.viewport = D3DVIEWPORT8{0, 0, width, height, 0.0f, 1.0f};
    state.vertexShader = 0;
}

D3DMATRIX* transformSlot(DeviceState& state, D3DTRANSFORMSTATETYPE type) {
    if (type == D3DTS_WORLD) return &state.world;
    if (type == D3DTS_VIEW) return &state.view;
    if (type == D3DTS_PROJECTION) return &state.projection;
    if (type >= D3DTS_TEXTURE0 && type <= D3DTS_TEXTURE7) {
        return &state.textureTransforms[type - D3DTS_TEXTURE0];
    }
    return nullptr;
}

}  // namespace d3d8
