#include "effect.h"
#include "engine_render_fixture.h"
#include "texture.h"

namespace {

// An effect that shows one picture over the whole screen.
class PictureEffect : public cEffect {
public:
    HRESULT init(cD3D* d3d) override {
        picture.load(d3d, "Data\\Textures\\picture.bmp");
        quad.setTexture(&picture, 0);
        addChild(&quad);
        return cEffect::init(d3d);
    }
    cQuad quad;
    cTexture picture;
};

class EffectFadeTest : public testing_support::EngineRenderTest {};

TEST_F(EffectFadeTest, FadeToBlackShowsPictureThenHalfCoveredThenBlack) {
    writeSolidBmp("Data/Textures/picture.bmp", 16, 200, 100, 50);
    PictureEffect effect;
    ASSERT_EQ(effect.init(&d3d), S_OK);
    effect.addTransition(0, 2000, TRANSITION_FADE_TO_BLACK);

    effect.frame(0);
    ASSERT_EQ(width_, kSize);
    const uint32_t atStart = pixel(kSize / 2, kSize / 2);
    EXPECT_NEAR(red(atStart), 200, 1);
    EXPECT_NEAR(green(atStart), 100, 1);
    EXPECT_NEAR(blue(atStart), 50, 1);

    effect.frame(1000);  // black at alpha 127 over the picture
    const uint32_t halfway = pixel(kSize / 2, kSize / 2);
    EXPECT_NEAR(red(halfway), 200 * (255 - 127) / 255, 2);
    EXPECT_NEAR(green(halfway), 100 * (255 - 127) / 255, 2);
    EXPECT_NEAR(blue(halfway), 50 * (255 - 127) / 255, 2);

    effect.frame(2001);
    for (int y = 0; y < kSize; y += 7) {
        for (int x = 0; x < kSize; x += 7) {
            EXPECT_EQ(pixel(x, y) & 0x00FFFFFFu, 0u) << x << "," << y;
        }
    }
    effect.release();
}

}  // namespace
