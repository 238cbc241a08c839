#include "effect.h"

#include "d3d.h"
#include "engine_fixture.h"

namespace {

using d3d8::recording::recorder;

class EffectTest : public testing_support::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(effect.init(&d3d), S_OK);
    }
    void TearDown() override {
        effect.release();
        DeviceTest::TearDown();
    }
    D3DCOLOR blackColor() { return effect.m_blackOverlay.m_ownVertexBuffer->getVertices()[0].diffuse; }
    D3DCOLOR whiteColor() { return effect.m_whiteOverlay.m_ownVertexBuffer->getVertices()[0].diffuse; }

    cEffect effect;
};

TEST_F(EffectTest, OverlaysAreAddedLastAndHidden) {
    ASSERT_EQ(effect.m_children.size(), 2u);
    EXPECT_EQ(effect.m_children[0], &effect.m_whiteOverlay);
    EXPECT_EQ(effect.m_children[1], &effect.m_blackOverlay);
    EXPECT_FALSE(effect.m_whiteOverlay.m_enabled);
    EXPECT_FALSE(effect.m_blackOverlay.m_enabled);
    EXPECT_EQ(whiteColor(), 0xFFFFFFFFu);
    EXPECT_EQ(blackColor(), 0xFF000000u);
    EXPECT_EQ(effect.init(&d3d), S_OK);
    EXPECT_EQ(effect.m_children.size(), 2u) << "a second init adds nothing";
}

TEST_F(EffectTest, FadeToBlackRisesAndStaysOpaque) {
    effect.addTransition(500, 2000, TRANSITION_FADE_TO_BLACK);
    effect.frame(1500);
    EXPECT_TRUE(effect.m_blackOverlay.m_enabled);
    EXPECT_EQ(blackColor(), 127u << 24);
    effect.frame(2500);
    EXPECT_EQ(blackColor(), 255u << 24);
    effect.frame(2501);
    EXPECT_TRUE(effect.m_transitions.empty());
    EXPECT_TRUE(effect.m_blackOverlay.m_enabled);
    EXPECT_EQ(blackColor(), 0xFF000000u);
}

TEST_F(EffectTest, WhiteFlashPeaksAtItsMiddleAndEndsHidden) {
    effect.addTransition(0, 400, TRANSITION_WHITE_FLASH);
    effect.frame(0);
    EXPECT_EQ(whiteColor(), 0u);
    effect.frame(200);
    EXPECT_EQ(whiteColor(), 0xFFFFFFFFu);
    effect.frame(401);
    EXPECT_FALSE(effect.m_whiteOverlay.m_enabled);
}

TEST_F(EffectTest, FadeFromBlackEndsHiddenAndFadeToWhiteEndsWhite) {
    effect.addTransition(0, 1000, TRANSITION_FADE_FROM_BLACK);
    effect.frame(0);
    EXPECT_EQ(blackColor(), 0xFF000000u);
    effect.frame(1001);
    EXPECT_FALSE(effect.m_blackOverlay.m_enabled);

    effect.addTransition(1001, 1000, TRANSITION_FADE_TO_WHITE);
    effect.frame(1501);
    EXPECT_EQ(whiteColor(), 0x7F7F7F7Fu);
    effect.frame(2002);
    EXPECT_TRUE(effect.m_whiteOverlay.m_enabled);
    EXPECT_EQ(whiteColor(), 0xFFFFFFFFu);
}

TEST_F(EffectTest, SecondRecordIsSteppedInTheFrameTheFirstEnds) {
    effect.addTransition(0, 100, TRANSITION_WHITE_FLASH);
    effect.addTransition(0, 1000, TRANSITION_FADE_TO_BLACK);
    effect.frame(500);
    ASSERT_EQ(effect.m_transitions.size(), 1u);
    EXPECT_EQ(blackColor(), 127u << 24);
}

TEST_F(EffectTest, UnknownKindDoesNothingUntilItEnds) {
    effect.m_blackOverlay.m_enabled = true;
    effect.addTransition(0, 100, 9);
    effect.frame(50);
    EXPECT_TRUE(effect.m_blackOverlay.m_enabled);
    effect.frame(101);
    EXPECT_FALSE(effect.m_blackOverlay.m_enabled) << "visibility reset from the keep flags";
}

TEST_F(EffectTest, BumpHopsTheScene) {
    effect.addTransition(0, 1000, TRANSITION_BUMP);
    effect.frame(500);
    EXPECT_NEAR(effect.m_transform._42, 1.0f, 1e-6f);
    effect.frame(1001);
    EXPECT_NEAR(effect.m_transform._42, 1.0f, 1e-6f) << "the last step's offset stays";
}

TEST_F(EffectTest, FutureOrZeroLengthTransitionsAreSafe) {
    effect.addTransition(5000, 100, TRANSITION_FADE_TO_BLACK);  // starts later: huge progress
    effect.addTransition(10, 0, TRANSITION_WHITE_FLASH);
    effect.frame(10);
    EXPECT_EQ(effect.m_transitions.size(), 2u);
    effect.frame(11);
    EXPECT_EQ(effect.m_transitions.size(), 1u);
}

TEST_F(EffectTest, FrameDrawsAndPresentsOnce) {
    recorder().clearCalls();
    EXPECT_TRUE(effect.frame(0));
    EXPECT_EQ(recorder().count("BeginScene"), 1u);
    EXPECT_EQ(recorder().count("Present"), 1u);
    EXPECT_EQ(recorder().count("DrawIndexedPrimitive"), 0u) << "hidden overlays draw nothing";
}

TEST_F(EffectTest, QuadGeometryAndRects) {
    cQuad quad;
    quad.setRect(1, 1, 0, 0, 1, true);  // before init: nothing happens
    EXPECT_EQ(quad.m_ownVertexBuffer, nullptr);
    ASSERT_EQ(quad.init(&d3d), S_OK);
    const ColorVertex* v = quad.m_ownVertexBuffer->getVertices();
    EXPECT_EQ(v[0].x, -1);
    EXPECT_EQ(v[0].y, -1);
    EXPECT_EQ(v[0].u, 0);
    EXPECT_EQ(v[0].v, 1);
    EXPECT_EQ(v[3].x, 1);
    EXPECT_EQ(v[3].y, 1);
    const uint16_t* t = quad.m_ownIndexBuffer->triangle(0);
    EXPECT_EQ(t[0], 2);
    EXPECT_EQ(t[1], 1);
    EXPECT_EQ(t[2], 0);
    EXPECT_EQ(quad.m_ownIndexBuffer->triangle(1)[1], 3);

    quad.setRect(1, 1, 0, 0, 1, true);
    EXPECT_EQ(v[0].x, -1);
    EXPECT_EQ(v[0].y, -1);
    EXPECT_EQ(v[3].y, 1);
    quad.setRect(2, 1, 0.5f, 0, 0.4f, true);
    EXPECT_FLOAT_EQ(v[0].x, 0.1f);
    EXPECT_FLOAT_EQ(v[0].y, -0.2f);
    EXPECT_FLOAT_EQ(v[3].y, 0.2f);
    quad.setRect(1, 1, 0, 0, 0.5f, false);
    EXPECT_FLOAT_EQ(v[0].y, 1.0f);
    EXPECT_FLOAT_EQ(v[3].x, 1.0f);
    EXPECT_FLOAT_EQ(v[3].y, 0.0f);
    EXPECT_TRUE(quad.release());
    EXPECT_EQ(quad.m_ownVertexBuffer, nullptr);
    EXPECT_EQ(quad.m_vertexBuffer, nullptr);
}

TEST_F(EffectTest, SharedAdditiveStateStaysAttached) {
    s_AdditiveBlend.init(&d3d);
    EXPECT_TRUE(s_AdditiveBlend.release());
    EXPECT_EQ(s_AdditiveBlend.m_d3d, &d3d);
    cAdditiveBlendState own;
    own.init(&d3d);
    EXPECT_TRUE(own.release());
    EXPECT_EQ(own.m_d3d, nullptr);
    s_AdditiveBlend.m_d3d = nullptr;
}

TEST_F(EffectTest, BlendStatesSetAndWithdraw) {
    cAlphaBlendState alpha;
    alpha.init(&d3d);
    alpha.begin();
    DWORD value = 0;
    d3d.m_device->GetRenderState(D3DRS_SRCBLEND, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DBLEND_SRCALPHA));
    d3d.m_device->GetTextureStageState(0, D3DTSS_ALPHAOP, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_MODULATE));
    alpha.end();
    d3d.m_device->GetRenderState(D3DRS_ALPHABLENDENABLE, &value);
    EXPECT_EQ(value, 0u);

    answers = {IDYES};
    recorder().failNth("SetRenderState", 1, E_FAIL);
    cAdditiveBlendState additive;
    additive.init(&d3d);
    recorder().clearCalls();
    EXPECT_EQ(additive.begin(), E_FAIL);
    EXPECT_EQ(recorder().count("SetRenderState"), 1u) << "nothing else is set after the failure";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("SetRenderState(D3DRS_ALPHABLENDENABLE, true)"), std::string::npos);
}

TEST_F(EffectTest, ScreenSpaceStateRestoresTheCamera) {
    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, 1, 2, 3);
    d3d.m_device->SetTransform(D3DTS_VIEW, &view);
    cScreenSpaceState screen;
    screen.init(&d3d);
    screen.begin();
    D3DMATRIX current;
    d3d.m_device->GetTransform(D3DTS_VIEW, &current);
    EXPECT_EQ(current._41, 0);
    screen.end();
    d3d.m_device->GetTransform(D3DTS_VIEW, &current);
    EXPECT_EQ(current._43, 3);
}

}  // namespace
