// Each scene drawn on the real device with the generated pictures, at a moment
// whose look is known, checked by pixel statistics.
#include <filesystem>

#include "engine_render_fixture.h"
#include "velmordemo.h"

namespace {

struct Statistics {
    double meanLuminance = 0;
    int darkPixels = 0;    // luminance below 60
    int brightPixels = 0;  // luminance above 200
    int pixels = 0;
    int maxLuminance = 0;
};

class DemoEffectsTest : public testing_support::EngineRenderTest {
protected:
    void SetUp() override {
        EngineRenderTest::SetUp();
        const std::filesystem::path data = std::filesystem::path(DEMO_TEST_DATA_DIR) / "Data";
        ASSERT_TRUE(std::filesystem::exists(data / "Textures" / "loading.jpg"))
            << "the generated data is missing: " << data;
        std::filesystem::create_symlink(data / "Textures", "Data/Textures");
        std::filesystem::create_symlink(data / "Music", "Data/Music");
        crt::setCalendarSource([] { return std::time_t(1796599652); });
        cVelmorEffect::s_musicStarted = cVelmorEffect::s_fadedIn = false;
        cDropEffect::s_started = cExtroEffect::s_started = cGreetingsEffect::s_started = false;
    }
    void TearDown() override {
        crt::setCalendarSource(nullptr);
        EngineRenderTest::TearDown();
    }

    Statistics statistics() const {
        Statistics s;
        for (uint32_t c : pixels_) {
            const int luminance = (red(c) * 299 + green(c) * 587 + blue(c) * 114) / 1000;
            s.meanLuminance += luminance;
            s.darkPixels += luminance < 60;
            s.brightPixels += luminance > 200;
            s.maxLuminance = std::max(s.maxLuminance, luminance);
            ++s.pixels;
        }
        if (s.pixels) s.meanLuminance /= s.pixels;
        return s;
    }

    // Runs frames from `from` to `to` ms in steps, as the main loop would.
    void play(cEffect& effect, uint32_t from, uint32_t to, uint32_t step = 16) {
        for (uint32_t ms = from; ms < to; ms += step) effect.frame(ms);
        effect.frame(to);
    }
};

TEST_F(DemoEffectsTest, IntroIsBlackFirstThenCreditsOnWhite) {
    cIntroEffect intro;
    ASSERT_EQ(intro.init(&d3d), S_OK);
    play(intro, 0, 1000);
    const Statistics black = statistics();
    EXPECT_EQ(black.maxLuminance, 0) << "entirely black at 1 s";
    play(intro, 1000, 4000);
    const Statistics credits = statistics();
    EXPECT_GT(credits.meanLuminance, 170) << "mostly white";
    EXPECT_GT(credits.darkPixels, credits.pixels / 100) << "with dark credits on it";
    intro.release();
}

TEST_F(DemoEffectsTest, TitleSheetAndRoadShowAfterTheFadeIn) {
    cVelmorEffect velmor;
    ASSERT_EQ(velmor.init(&d3d), S_OK);
    play(velmor, 0, 5000);
    const Statistics scene = statistics();
    EXPECT_GT(scene.meanLuminance, 20);
    EXPECT_GT(scene.darkPixels + scene.brightPixels, 0);
    EXPECT_LT(scene.brightPixels, scene.pixels) << "not a white flash everywhere";
    velmor.release();
}

TEST_F(DemoEffectsTest, DropsAndParticlesDrawSomethingBright) {
    cDropEffect drops;
    ASSERT_EQ(drops.init(&d3d), S_OK);
    play(drops, 0, 4000);
    EXPECT_GT(statistics().maxLuminance, 100);
    drops.release();

    cParticleEffect particles;
    ASSERT_EQ(particles.init(&d3d), S_OK);
    play(particles, 0, 3000);
    const Statistics cloud = statistics();
    EXPECT_GT(cloud.maxLuminance, 150);
    EXPECT_GT(cloud.darkPixels, cloud.pixels / 4) << "particles on a dark background";
    particles.release();
}

TEST_F(DemoEffectsTest, ClosingPictureThenGreetingsEndInBlack) {
    cExtroEffect extro;
    ASSERT_EQ(extro.init(&d3d), S_OK);
    play(extro, 0, 4000);
    EXPECT_GT(statistics().meanLuminance, 40);
    extro.release();

    cGreetingsEffect greetings;
    ASSERT_EQ(greetings.init(&d3d), S_OK);
    play(greetings, 0, 5000);
    EXPECT_GT(statistics().meanLuminance, 20);
    play(greetings, 5000, 10500);
    EXPECT_EQ(statistics().maxLuminance, 0) << "black after 10.5 s";
    greetings.release();
}

}  // namespace
