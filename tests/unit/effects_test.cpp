// The six effects' frame logic at the times their scenes turn, on the recording
// device (pictures are missing here: their quads draw untextured).
#include <cmath>

#include "engine_fixture.h"
#include "velmordemo.h"

namespace {

using d3d8::recording::recorder;

D3DCOLOR colorOf(cQuad& quad) { return quad.m_ownVertexBuffer->getVertices()[0].diffuse; }
uint32_t alphaOf(cQuad& quad) { return colorOf(quad) >> 24; }

class EffectsTest : public testing_support::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        cVelmorEffect::s_musicStarted = cVelmorEffect::s_fadedIn = false;
        cDropEffect::s_started = cExtroEffect::s_started = cGreetingsEffect::s_started = false;
    }
    template <typename Effect>
    void initialise(Effect& effect) {
        ASSERT_EQ(effect.init(&d3d), S_OK);
    }
};

TEST_F(EffectsTest, IntroRevealsShakesAndCoversTheCredits) {
    cIntroEffect intro;
    initialise(intro);
    EXPECT_EQ(intro.m_clearColor, 0x00FFFFFFu);
    EXPECT_FALSE(intro.m_grain.m_enabled);
    EXPECT_EQ(colorOf(intro.m_grain), 0xBBFFFFFFu);
    EXPECT_EQ(colorOf(intro.m_blackout), 0xFFFFFFFFu) << "black from the first frame";
    const ColorVertex* powered = intro.m_powered.m_ownVertexBuffer->getVertices();
    EXPECT_FLOAT_EQ(powered[0].x, -0.09f - 0.32f);
    EXPECT_FLOAT_EQ(powered[0].y, -0.4f - 0.064f);

    intro.frame(2000);
    EXPECT_TRUE(intro.m_blackout.m_enabled);
    EXPECT_EQ(colorOf(intro.m_blackout), 0xFFFFFFFFu);
    intro.frame(3000);
    EXPECT_EQ(colorOf(intro.m_blackout), 80u);
    intro.frame(3001);
    EXPECT_FALSE(intro.m_blackout.m_enabled);
    EXPECT_TRUE(intro.m_grain.m_enabled);
    const float shake = intro.m_name.m_transform._42;
    // One of 0, 0.1, 0.2, 0.3, 0.4.
    EXPECT_NEAR(shake * 10, std::round(shake * 10), 1e-4f);
    EXPECT_GE(shake, 0.0f);
    EXPECT_LE(shake, 0.4001f);
    EXPECT_EQ(intro.m_icon.m_transform._42, shake);

    intro.frame(4000);
    EXPECT_FALSE(intro.m_grain.m_enabled);
    EXPECT_EQ(intro.m_name.m_transform._42, 0.0f) << "the credits stand still";

    intro.frame(5600);
    EXPECT_EQ(alphaOf(intro.m_icon), 255u - 127u);
    intro.frame(6600);
    EXPECT_FALSE(intro.m_icon.m_enabled);
    EXPECT_EQ(alphaOf(intro.m_powered), 255u - 127u);
    intro.frame(8250);
    EXPECT_TRUE(intro.m_blackout.m_enabled);
    EXPECT_EQ(alphaOf(intro.m_blackout), 127u);
    EXPECT_EQ(colorOf(intro.m_blackout) & 0xFFFFFFu, 0xFFFFFFu);
    EXPECT_EQ(alphaOf(intro.m_name), 255u - 191u);
    intro.frame(8500);
    EXPECT_EQ(alphaOf(intro.m_blackout), 255u);
    intro.frame(8600);
    EXPECT_FALSE(intro.m_name.m_enabled);
    const D3DCOLOR covered = colorOf(intro.m_blackout);
    intro.frame(11000);
    EXPECT_EQ(colorOf(intro.m_blackout), covered) << "nothing changes after 9 s";
    intro.release();
}

TEST_F(EffectsTest, IntroGrainShowsOnlyTheFirstTwoPictures) {
    cIntroEffect intro;
    initialise(intro);
    for (uint32_t ms = 3001; ms < 3500; ms += 7) {
        intro.frame(ms);
        const cTexture* shown = intro.m_grain.m_textures[0];
        EXPECT_TRUE(shown == &intro.m_grainTextures[0] || shown == &intro.m_grainTextures[1]);
    }
    intro.release();
}

TEST_F(EffectsTest, VelmorStartsOnItsFirstFrameAndFadesOutAtTheEnd) {
    cVelmorEffect velmor;
    initialise(velmor);
    velmor.frame(0);
    EXPECT_TRUE(cVelmorEffect::s_musicStarted);
    EXPECT_TRUE(velmor.m_sheet.m_transform == identityMatrix()) << "not animated at 0";
    ASSERT_FALSE(velmor.m_transitions.empty());
    EXPECT_EQ(velmor.m_transitions[0].kind, static_cast<uint32_t>(TRANSITION_FADE_FROM_BLACK));
    EXPECT_EQ(velmor.m_transitions[0].duration, 2000u);

    auto fadesToBlack = [&] {
        int count = 0;
        for (const sTransition& t : velmor.m_transitions) count += t.kind == TRANSITION_FADE_TO_BLACK;
        return count;
    };
    velmor.frame(9950);
    EXPECT_EQ(fadesToBlack(), 0);
    velmor.frame(9951);
    velmor.frame(10000);
    EXPECT_EQ(fadesToBlack(), 2);
    EXPECT_TRUE(velmor.m_sheet.m_transform == identityMatrix()) << "only the reset at 10000";
    velmor.frame(10001);
    EXPECT_NEAR(velmor.m_sheet.m_transform._22, std::cos(10.001f), 1e-4f);
    velmor.release();
}

TEST_F(EffectsTest, RoadCurveComesBackAfterAHundredFrames) {
    cVelmorEffect velmor;
    initialise(velmor);
    float initial[cRoad::kSide];
    std::copy(std::begin(velmor.m_road.m_curve), std::end(velmor.m_road.m_curve), initial);
    EXPECT_FLOAT_EQ(initial[1], std::sin(0.25132742f));
    for (int frame = 0; frame < 100; ++frame) velmor.m_road.animate(0);
    for (int k = 0; k < cRoad::kSide; ++k) EXPECT_EQ(velmor.m_road.m_curve[k], initial[k]) << k;
    EXPECT_EQ(velmor.m_road.m_indices.m_count, 19602u);
    EXPECT_EQ(velmor.m_sheet.m_indices.m_count, 9604u);
    velmor.release();
}

TEST_F(EffectsTest, DropSizesAndRisingDrops) {
    cDropMesh standard;
    ASSERT_EQ(standard.init(&d3d), S_OK);
    EXPECT_EQ(standard.m_vertexArray.m_count, 800u);
    EXPECT_EQ(standard.m_indexArray.m_count, 1444u);
    standard.release();

    cDropEffect drops;
    initialise(drops);
    EXPECT_EQ(drops.m_bigDrop.m_vertexArray.m_count, 2500u);
    EXPECT_EQ(drops.m_bigDrop.m_indexArray.m_count, 4704u);
    EXPECT_EQ(drops.m_templateDrop.m_vertexArray.m_count, 100u);
    EXPECT_EQ(drops.m_templateDrop.m_indexArray.m_count, 144u);
    for (float height : drops.m_heights) {
        EXPECT_GE(height, -100.0f);
        EXPECT_LE(height, 100.0f);
    }
    drops.m_heights[0] = 97;  // one step to exactly 100, then past it
    const float before = drops.m_drops[0].m_transform._42;
    drops.frame(0);
    EXPECT_EQ(drops.m_heights[0], 100.0f);
    EXPECT_FLOAT_EQ(drops.m_drops[0].m_transform._42, before + 3);
    drops.frame(16);
    EXPECT_EQ(drops.m_heights[0], -100.0f);
    EXPECT_FLOAT_EQ(drops.m_drops[0].m_transform._42, -100.0f);
    EXPECT_FLOAT_EQ(drops.m_drops[0].m_transform._22, 2.0f) << "back to the saved scale";
    drops.release();
}

TEST_F(EffectsTest, ParticlesStayInTheirCubeAndDrawTwice) {
    cParticleEffect particles;
    initialise(particles);
    for (cParticle& particle : particles.m_particles) {
        for (float c : {particle.m_transform._41, particle.m_transform._42, particle.m_transform._43}) {
            EXPECT_GE(c, -50.0f);
            EXPECT_LE(c, 50.0f);
        }
    }
    recorder().clearCalls();
    particles.frame(0);
    EXPECT_EQ(recorder().count("DrawIndexedPrimitive"), 200u);
    D3DXMATRIX expected;
    D3DXMatrixRotationY(&expected, 1.0f);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR((&particles.m_transform._11)[i], (&expected._11)[i], 1e-6f);
    particles.release();
}

TEST_F(EffectsTest, ExtroRampsThePinkLayer) {
    cExtroEffect extro;
    initialise(extro);
    EXPECT_EQ(colorOf(extro.m_pink), 0u);
    extro.frame(0);
    ASSERT_EQ(extro.m_transitions.size(), 1u);
    extro.frame(3500);
    EXPECT_EQ(colorOf(extro.m_pink), 127u * 0x010101u);
    extro.frame(5000);
    EXPECT_EQ(colorOf(extro.m_pink), 127u * 0x010101u) << "5000 exactly changes nothing";
    extro.frame(5025);
    EXPECT_EQ(colorOf(extro.m_pink), 0x00FFFFFFu);
    extro.frame(7990);
    EXPECT_EQ(extro.m_transitions.back().kind, static_cast<uint32_t>(TRANSITION_FADE_TO_BLACK));
    EXPECT_EQ(extro.init(&d3d), S_OK);
    EXPECT_EQ(extro.m_children.size(), 4u) << "a second init only runs the inherited one";
    extro.release();
}

TEST_F(EffectsTest, GreetingsFadeInOneAfterAnother) {
    cGreetingsEffect greetings;
    initialise(greetings);
    greetings.frame(0);
    EXPECT_EQ(colorOf(greetings.m_shine), 0xFFFFFFFFu) << "no ramp at 0";
    for (cQuad& greeting : greetings.m_greetings) EXPECT_EQ(colorOf(greeting), 0u);
    greetings.frame(2000);
    EXPECT_EQ(colorOf(greetings.m_greetings[0]), 127u * 0x010101u);
    EXPECT_EQ(colorOf(greetings.m_shine), 102u * 0x010101u);
    greetings.frame(3000);
    EXPECT_EQ(colorOf(greetings.m_greetings[0]), 127u * 0x010101u) << "3000 exactly: kept";
    greetings.frame(3020);
    EXPECT_EQ(colorOf(greetings.m_greetings[0]), 0x00FFFFFFu);
    const size_t before = greetings.m_transitions.size();
    greetings.frame(6950);
    EXPECT_EQ(greetings.m_transitions.size(), before);
    greetings.frame(6951);
    greetings.frame(7000);
    EXPECT_EQ(greetings.m_transitions.size(), before + 2);
    greetings.release();
}

TEST_F(EffectsTest, TheDemoComposesSixEffectsInScheduleOrder) {
    cVelmorDemo demo;
    EXPECT_EQ(demo.getWindowTitle(), "Velmors Demo - Release version");
    EXPECT_TRUE(demo.getSchedule().empty());
    EXPECT_EQ(demo.compose(), 1000000000.0f);
    const auto& schedule = demo.getSchedule();
    ASSERT_EQ(schedule.size(), 6u);
    const float starts[] = {0, 12000, 24000, 36000, 42000, 52000};
    const cEffect* effects[] = {&demo.m_intro, &demo.m_velmor, &demo.m_drop, &demo.m_particles,
                                &demo.m_extro, &demo.m_greetings};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(schedule[i].start, starts[i]);
        EXPECT_EQ(schedule[i].effect, effects[i]);
    }
    ASSERT_NE(demo.getLoadingImage(), nullptr);
    EXPECT_EQ(*demo.getLoadingImage(), "loading.jpg");
}

}  // namespace
