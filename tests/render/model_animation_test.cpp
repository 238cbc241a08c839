// The test model on the OpenGL device: a jointed model drawn at two animation
// times shows its animated part in two places.
#include "engine_render_fixture.h"
#include "model.h"
#include "unit/model_file_builder.h"

namespace {

using testing_support::Ms3dBuilder;

// A white square of half-size 20 around the origin, on joint "slider", whose
// keys move it 30 units along x over one second. Both windings are present so
// the square shows from either side.
Ms3dBuilder slidingSquare() {
    Ms3dBuilder b;
    const float h = 20;
    b.addTriangle(0, -h, -h, h, -h, h, h, 0, 0);
    b.addTriangle(0, -h, -h, h, h, -h, h, 0, 0);
    b.addTriangle(0, -h, -h, h, h, h, -h, 0, 0);
    b.addTriangle(0, -h, -h, -h, h, h, h, 0, 0);
    b.groups = {testing_support::group("square", {}, 0)};
    ms3d::Material white = testing_support::material();
    for (float& c : white.emissive) c = 1;
    b.materials = {white};
    b.animationFps = 10;
    b.totalFrames = 20;  // 2000 ms
    ms3d::Joint slider;
    slider.name = "slider";
    slider.translationKeys = {{0, {0, 0, 0}}, {1, {30, 0, 0}}};
    b.joints = {slider};
    return b;
}

class ModelAnimationTest : public testing_support::EngineRenderTest {
protected:
    void TearDown() override {
        crt::setClockSource(nullptr);
        EngineRenderTest::TearDown();
    }
    bool lit(int x, int y) const { return red(pixel(x, y)) > 128 && blue(pixel(x, y)) > 128; }
};

TEST_F(ModelAnimationTest, TheAnimatedJointMovesWhatItCarries) {
    slidingSquare().save("terraT.ms3d");
    crt::VirtualClock clock(0);
    crt::setClockSource(clock.source());
    cTestModel scene;
    ASSERT_EQ(scene.init(&d3d), S_OK);
    ASSERT_TRUE(scene.m_model.m_animate);

    // At 100 units the view is 2 × 57.7 units high: the square spans about 22
    // pixels, and the keys move it about 17 pixels along x. The camera looks
    // down -z from +z in a left-handed frame, so +x is on the screen's left.
    const int centre = kSize / 2;
    const int moved = centre - 17;
    scene.frame(0);
    ASSERT_EQ(width_, kSize);
    EXPECT_TRUE(lit(centre, centre));
    EXPECT_TRUE(lit(centre + 8, centre));
    EXPECT_FALSE(lit(moved - 6, centre));

    clock.set(1000);
    scene.frame(0);  // no sway: only the animation differs
    EXPECT_FALSE(lit(centre + 8, centre));
    EXPECT_TRUE(lit(moved, centre));
    EXPECT_TRUE(lit(moved - 6, centre));
    EXPECT_FALSE(lit(2, 2));

    clock.set(2001);  // past the length: back to the start
    scene.frame(0);
    EXPECT_TRUE(lit(centre + 8, centre));
    EXPECT_FALSE(lit(moved - 6, centre));
    scene.release();
}

}  // namespace
