// Counts heap allocations made through operator new while an effect with nested
// nodes draws steady-state frames on the real device: there must be none.
#include "camera.h"
#include "effect.h"
#include "engine_render_fixture.h"
#include "light.h"
#include "material.h"
#include "texture.h"
#include "counting_new.h"


namespace {

// Nested nodes with states of every kind the effects use.
class NestedEffect : public cEffect {
public:
    HRESULT init(cD3D* d3d) override {
        picture.load(d3d, "Data\\Textures\\picture.bmp");
        inner.setTexture(&picture, 0);
        inner.addState(&material);
        middle.addState(&light);
        middle.addChild(&inner);
        middle.addChild(&second);
        outer.addState(&camera);
        outer.addChild(&middle);
        addChild(&outer);
        return cEffect::init(d3d);
    }
    bool frame(uint32_t ms) override {
        middle.resetTransform()->rotateY(ms * 0.001f);
        second.setColor(0xFF000000u | ms);
        return cEffect::frame(ms);
    }
    cNode outer, middle;
    cQuad inner, second;
    cTexture picture;
    cCamera camera;
    cLight light;
    cMaterial material;
};

class FrameAllocationTest : public testing_support::EngineRenderTest {};

TEST_F(FrameAllocationTest, SteadyStateFramesAllocateNothing) {
    writeSolidBmp("Data/Textures/picture.bmp", 8, 255, 255, 255);
    NestedEffect effect;
    ASSERT_EQ(effect.init(&d3d), S_OK);
    for (uint32_t ms = 0; ms < 10; ++ms) {
        effect.addTransition(ms, 5, TRANSITION_WHITE_FLASH);
        effect.frame(ms);  // warm-up: the matrix stack and caches reach their size
    }
    counting_new::allocations = 0;
    counting_new::enabled = true;
    for (uint32_t ms = 10; ms < 110; ++ms) {
        if (ms % 10 == 0) effect.addTransition(ms, 5, TRANSITION_WHITE_FLASH);
        effect.frame(ms);
    }
    counting_new::enabled = false;
    EXPECT_EQ(counting_new::allocations.load(), 0);
    effect.release();
}

}  // namespace
