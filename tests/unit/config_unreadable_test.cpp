// A configuration that exists but cannot be read, met by the end-to-end bad-data
// test: a directory where the file should be.
#include <filesystem>

#include "config.h"
#include "d3d.h"
#include "engine_fixture.h"

namespace {

using testing_support::EngineTest;

class UnreadableConfigTest : public EngineTest {};

TEST_F(UnreadableConfigTest, ADirectoryInPlaceOfTheFileCountsAsNotOpened) {
    std::filesystem::create_directories("Data/Config/direct3d.cfg");
    cD3DConfig config;
    EXPECT_FALSE(config.load("Data\\Config\\direct3d.cfg"));
    EXPECT_FALSE(config.reswidth.wasRead());
    EXPECT_FALSE(config.resheight.wasRead());
    EXPECT_FALSE(config.fullscreen.wasRead());
}

TEST_F(UnreadableConfigTest, AnEmptyFileIsStillReadAsEmpty) {
    writeFile("Data/Config/direct3d.cfg", "");
    cD3DConfig config;
    EXPECT_TRUE(config.load("Data\\Config\\direct3d.cfg"));
    EXPECT_FALSE(config.reswidth.wasRead());
}

TEST_F(UnreadableConfigTest, TheDeviceWrapperWarnsAboutADirectoryAndRunsWithDefaults) {
    std::filesystem::create_directories("Data/Config/direct3d.cfg");
    cLog log("Demo", LOGLEVEL_DEBUG, nullptr);
    cD3D d3d;
    d3d.setDisplayMode(640, 480, 60);
    ASSERT_TRUE(SUCCEEDED(d3d.init(window(), &log, nullptr)));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Demo: Warning");
    EXPECT_EQ(boxes[0].text, "Error while loading file: 'Data\\Config\\direct3d.cfg'");
    d3d.release();
    log.close();
    EXPECT_NE(readLogFile().find("Resolution: 640x480 (Windowed)"), std::string::npos);
}

}  // namespace
