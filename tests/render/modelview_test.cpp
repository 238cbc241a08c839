// The model viewer on the OpenGL device: it frames whatever model it opens, and
// finds textures where files made elsewhere leave them.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine_render_fixture.h"
#include "fixture_files.h"
#include "texture_lookup.h"
#include "viewer_scene.h"

namespace {

namespace fs = std::filesystem;

class ModelViewTest : public testing_support::EngineRenderTest {
protected:
    // The viewer's own window shape, at a quarter of its size.
    ModelViewTest() {
        windowWidth_ = 160;
        windowHeight_ = 120;
    }

    // The share of the last frame's pixels that are not the background.
    double coverage(D3DCOLOR background) const {
        size_t covered = 0;
        for (uint32_t pixel : pixels_) covered += (pixel & 0xFFFFFF) != (background & 0xFFFFFF);
        return pixels_.empty() ? 0 : static_cast<double>(covered) / pixels_.size();
    }
};

std::vector<fs::path> modelsToFrame() {
    std::vector<fs::path> models;
    for (const fs::directory_entry& entry : fs::directory_iterator(fixture_files::file("ms3d"))) {
        if (entry.path().extension() == ".ms3d") models.push_back(entry.path());
    }
    models.push_back(fs::path(DEMO_TEST_DATA_DIR) / "terraT.ms3d");
    return models;
}

// The real-world models span a house a few hundred units tall to a sphere of
// less than one; each must be seen whole and not as a speck.
TEST_F(ModelViewTest, EveryModelIsFramedToAFairShareOfTheWindow) {
    REQUIRE_FIXTURE_FILES();
    const std::vector<fs::path> models = modelsToFrame();
    ASSERT_GE(models.size(), 8u);
    for (const fs::path& model : models) {
        SCOPED_TRACE(model.filename().string());
        modelview::cViewerScene scene;
        ASSERT_TRUE(scene.load(model.string()));
        ASSERT_EQ(scene.init(&d3d), S_OK);
        scene.frame(0);
        ASSERT_EQ(width_, windowWidth_);
        const double share = coverage(scene.m_clearColor);
        EXPECT_GE(share, 0.05);
        EXPECT_LE(share, 0.80);
    }
}

// Names as other tools write them: a Windows path of the author's machine, a
// path relative to the model, a different case. The picture lies beside the model.
TEST_F(ModelViewTest, TexturesAreFoundBesideTheModelWhateverPathTheFileNames) {
    fs::create_directories("models");
    std::ofstream("models/Zombie.JPG") << "picture";
    std::ofstream("here.jpg") << "picture";
    for (const char* name : {"C:/work/art/Zombie.jpg", ".\\zombie.jpg", "data\\ZOMBIE.JPG", "zombie.jpg"}) {
        EXPECT_EQ(modelview::findTexture(name, "models/walker.ms3d"), "models/Zombie.JPG") << name;
    }
    EXPECT_EQ(modelview::findTexture(".\\here.jpg", "models/walker.ms3d"), ".\\here.jpg")
        << "a file where the name points comes first";
    EXPECT_EQ(modelview::findTexture("C:\\art\\gone.jpg", "models/walker.ms3d"), "C:\\art\\gone.jpg");

    // A whole model: its textures are named ".\terraT_skin.jpg" and the like, as
    // other tools write them, and the working directory is elsewhere.
    modelview::cViewerScene scene;
    ASSERT_TRUE(scene.load((fs::path(DEMO_TEST_DATA_DIR) / "terraT.ms3d").string()));
    ASSERT_EQ(scene.init(&d3d), S_OK);
    ASSERT_FALSE(scene.m_model.m_textures.empty());
    for (const auto* texture : scene.m_model.m_textures) EXPECT_NE(texture->m_texture, nullptr);
}

}  // namespace
