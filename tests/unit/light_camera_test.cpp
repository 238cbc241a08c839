#include "camera.h"

#include <cstdint>
#include <cstring>

#include "d3d.h"
#include "engine_fixture.h"
#include "light.h"
#include "spheremap.h"

namespace {

using d3d8::recording::recorder;

class LightCameraTest : public testing_support::DeviceTest {
protected:
    BOOL lightEnabled(DWORD index) {
        BOOL enabled = FALSE;
        d3d.m_device->GetLightEnable(index, &enabled);
        return enabled;
    }
    DWORD renderState(D3DRENDERSTATETYPE state) {
        DWORD value = 0;
        d3d.m_device->GetRenderState(state, &value);
        return value;
    }
};

// A state that notes which lights are on while its node draws.
struct LightProbe : cRenderObject {
    HRESULT begin() override {
        countSeen = cLight::s_LightCount;
        return S_OK;
    }
    int countSeen = -1;
};

TEST_F(LightCameraTest, FreshLightDefaults) {
    cLight light;
    EXPECT_EQ(light.m_light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.m_light.Diffuse.a, 0);
    EXPECT_EQ(light.m_light.Direction.z, 1);
    EXPECT_EQ(light.m_light.Range, 1000000.0f);
    EXPECT_EQ(light.m_light.Attenuation2, 3);
}

TEST_F(LightCameraTest, TwoLightsOnOneNodeStackAndUnstack) {
    cScene scene;
    cLight first, second;
    first.setDirection(1, 0, 0);
    scene.addState(&first);
    scene.addState(&second);
    scene.init(&d3d);
    scene.begin();
    EXPECT_EQ(cLight::s_LightCount, 2);
    EXPECT_TRUE(lightEnabled(0));
    EXPECT_TRUE(lightEnabled(1));
    D3DLIGHT8 slot0;
    d3d.m_device->GetLight(0, &slot0);
    EXPECT_EQ(slot0.Direction.x, 1);
    scene.end();
    EXPECT_EQ(cLight::s_LightCount, 0);
    EXPECT_FALSE(lightEnabled(0));
    EXPECT_FALSE(lightEnabled(1));
    EXPECT_EQ(renderState(D3DRS_LIGHTING), 0u);
    const auto enables = recorder().callsOf("LightEnable");
    ASSERT_EQ(enables.size(), 4u);
    EXPECT_EQ(enables[2].text, "LightEnable(1, 0)") << "slot 1 goes first";
    EXPECT_EQ(enables[3].text, "LightEnable(0, 0)");
}

TEST_F(LightCameraTest, NestedLightsKeepLightingOnUntilTheOuterEnds) {
    cScene scene;
    cNode child;
    cLight outer, inner;
    LightProbe probe;
    scene.addState(&outer);
    child.addState(&inner);
    child.addState(&probe);
    scene.addChild(&child);
    scene.init(&d3d);
    scene.begin();  // draws the child completely inside
    EXPECT_EQ(probe.countSeen, 2);
    EXPECT_EQ(renderState(D3DRS_LIGHTING), 1u) << "the outer light is still applied";
    EXPECT_EQ(cLight::s_LightCount, 1);
    scene.end();
    EXPECT_EQ(cLight::s_LightCount, 0);
    EXPECT_EQ(renderState(D3DRS_LIGHTING), 0u);
}

TEST_F(LightCameraTest, FailedLightBeginKeepsTheCountBalanced) {
    answers = {IDYES};
    cLight light;
    light.init(&d3d);
    recorder().failNth("SetLight", 1, E_FAIL);
    EXPECT_EQ(light.begin(), E_FAIL);
    EXPECT_EQ(cLight::s_LightCount, 0);
    light.end();
    EXPECT_EQ(cLight::s_LightCount, 0) << "no slot was taken, none is given back";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("'IDirect3DDevice8::SetLight' failed"), std::string::npos);
}

TEST_F(LightCameraTest, FreshCameraLooksDownZ) {
    cCamera camera;
    D3DXVECTOR3 origin(0, 0, 0), transformed;
    D3DXVec3TransformCoord(&transformed, &origin, &camera.m_view);
    EXPECT_NEAR(transformed.z, 2, 1e-6f) << "the origin lies 2 units in front of the eye";
    D3DXVECTOR3 nearPoint(0, 0, 0.001f), farPoint(0, 0, 10000);
    D3DXVec3TransformCoord(&transformed, &nearPoint, &camera.m_projection);
    EXPECT_NEAR(transformed.z, 0, 1e-4f);
    D3DXVec3TransformCoord(&transformed, &farPoint, &camera.m_projection);
    EXPECT_NEAR(transformed.z, 1, 1e-4f);
}

TEST_F(LightCameraTest, FieldOfViewIsTheFloatNearestPiOverThree) {
    // A literal one digit short ("1.0471975f") rounds to the float below.
    const cCamera camera;
    uint32_t bits = 0;
    std::memcpy(&bits, &camera.m_fieldOfView, sizeof bits);
    EXPECT_EQ(bits, 0x3F860A92u);
}

TEST_F(LightCameraTest, DegenerateEyeKeepsThePreviousView) {
    cCamera camera;
    const D3DXMATRIX before = camera.m_view;
    camera.setEye(0, 0, 0);  // on the look-at point
    EXPECT_TRUE(camera.m_view == before);
    camera.setEye(0, 5, 0);  // straight above
    EXPECT_TRUE(camera.m_view == before);
    camera.setEye(0, 0, 100);
    EXPECT_FALSE(camera.m_view == before);
}

TEST_F(LightCameraTest, NestedCamerasRestoreTheirParents) {
    cScene scene;
    cNode child;
    cCamera outer, inner;
    outer.setEye(0, 0, -10);
    inner.setEye(3, 0, 0);
    scene.addState(&outer);
    child.addState(&inner);
    scene.addChild(&child);
    scene.init(&d3d);
    scene.begin();
    D3DMATRIX view;
    d3d.m_device->GetTransform(D3DTS_VIEW, &view);
    EXPECT_TRUE(D3DXMATRIX(view) == outer.m_view) << "after the child, the parent's view is back";
    scene.end();
    d3d.m_device->GetTransform(D3DTS_VIEW, &view);
    EXPECT_TRUE(D3DXMATRIX(view) == identityMatrix());
    EXPECT_TRUE(inner.release());
    EXPECT_EQ(inner.m_d3d, &d3d) << "a camera keeps its device wrapper";
}

TEST_F(LightCameraTest, SphereMapSetsAndClearsGeneration) {
    cSphereMapState state;
    state.init(&d3d);
    state.begin();
    DWORD value = 0;
    d3d.m_device->GetTextureStageState(0, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTSS_TCI_CAMERASPACENORMAL));
    d3d.m_device->GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTTFF_COUNT2));
    D3DMATRIX matrix;
    d3d.m_device->GetTransform(D3DTS_TEXTURE0, &matrix);
    EXPECT_EQ(matrix._22, -0.5f);
    EXPECT_EQ(matrix._41, 0.5f);
    state.end();
    d3d.m_device->GetTextureStageState(0, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, 0u);

    cNode holder;
    holder.addState(&s_SphereMapState);
    holder.init(&d3d);
    holder.release();
    EXPECT_EQ(s_SphereMapState.m_d3d, &d3d) << "the shared instance stays attached";
    s_SphereMapState.m_d3d = nullptr;
}

}  // namespace
