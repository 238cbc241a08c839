#include "config.h"

#include "engine_fixture.h"

namespace {

class ConfigTest : public testing_support::EngineTest {
protected:
    bool load(const std::string& content) {
        writeFile("Data/Config/direct3d.cfg", content);
        return config.load("Data\\Config\\direct3d.cfg");
    }
    cD3DConfig config;
};

TEST_F(ConfigTest, MissingFileReadsNothing) {
    EXPECT_FALSE(config.load("Data\\Config\\direct3d.cfg"));
    EXPECT_FALSE(config.reswidth.wasRead());
    EXPECT_FALSE(config.fullscreen.wasRead());
}

TEST_F(ConfigTest, EmptyFileIsReadWithNothingMarked) {
    EXPECT_TRUE(load(""));
    EXPECT_FALSE(config.reswidth.wasRead());
    EXPECT_FALSE(config.resheight.wasRead());
    EXPECT_FALSE(config.fullscreen.wasRead());
}

TEST_F(ConfigTest, KeysIgnoreCaseAndTheLastValueWins) {
    EXPECT_TRUE(load("RESWIDTH 800\nResHeight\n600 reswidth 1024"));
    EXPECT_EQ(config.reswidth.getValue(), 1024);
    EXPECT_EQ(config.resheight.getValue(), 600);
    EXPECT_FALSE(config.fullscreen.wasRead());
}

TEST_F(ConfigTest, OnlyTheWordStartingWithSlashesIsAComment) {
    EXPECT_TRUE(load("// reswidth 1024\n//fullscreen 1\n"));
    EXPECT_EQ(config.reswidth.getValue(), 1024);
    EXPECT_FALSE(config.fullscreen.wasRead()) << "'//fullscreen' is one comment word";
}

TEST_F(ConfigTest, BadValueMarksReadKeepsValueAndStopsReading) {
    config.fullscreen.setValue(false);
    EXPECT_TRUE(load("fullscreen 2 reswidth 800"));
    EXPECT_TRUE(config.fullscreen.wasRead());
    EXPECT_FALSE(config.fullscreen.getValue());
    EXPECT_FALSE(config.reswidth.wasRead()) << "reading stops at the failed value";

    cD3DConfig other;
    other.reswidth.setValue(640);
    writeFile("other.cfg", "reswidth 99999999999 resheight 1");
    EXPECT_TRUE(other.load("other.cfg"));
    EXPECT_TRUE(other.reswidth.wasRead());
    EXPECT_EQ(other.reswidth.getValue(), 640) << "an overflowing value keeps the old one";
    EXPECT_FALSE(other.resheight.wasRead());
}

TEST_F(ConfigTest, AFailedValueLeavesTheDefaultModeNotAZeroSide) {
    EXPECT_TRUE(load("resheight = 600"));
    EXPECT_TRUE(config.resheight.wasRead());
    EXPECT_EQ(config.resheight.getValue(), 480);

    cD3DConfig other;
    writeFile("other.cfg", "resheight 300 reswidth");
    EXPECT_TRUE(other.load("other.cfg"));
    EXPECT_TRUE(other.reswidth.wasRead());
    EXPECT_EQ(other.reswidth.getValue(), 640);
    EXPECT_EQ(other.resheight.getValue(), 300);
}

TEST_F(ConfigTest, LastValueWithoutLineFeedAndJoinedWords) {
    EXPECT_TRUE(load("reswidth=800 fullscreen 1"));
    EXPECT_FALSE(config.reswidth.wasRead()) << "'reswidth=800' is no key";
    EXPECT_TRUE(config.fullscreen.wasRead());
    EXPECT_TRUE(config.fullscreen.getValue());
}

TEST_F(ConfigTest, SaveWritesTheHeaderAndEveryEntryAndReadsBack) {
    config.reswidth.setValue(640);
    config.resheight.setValue(480);
    config.fullscreen.setValue(false);
    ASSERT_TRUE(config.save("saved.cfg"));
    std::ifstream in("saved.cfg");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "//Zorbin Engine: Direct3D Config file\nreswidth 640\nresheight 480\nfullscreen 0\n");

    cD3DConfig reread;
    ASSERT_TRUE(reread.load("saved.cfg"));
    EXPECT_EQ(reread.reswidth.getValue(), 640);
    EXPECT_EQ(reread.resheight.getValue(), 480);
    EXPECT_TRUE(reread.fullscreen.wasRead());
    EXPECT_FALSE(config.save("no/such/dir/x.cfg"));
}

TEST_F(ConfigTest, TheRepositoryConfigurationIsWindowed640x480) {
    cD3DConfig repo;
    ASSERT_TRUE(repo.load(std::string(DEMO_SOURCE_DIR) + "/Data/Config/direct3d.cfg"));
    EXPECT_EQ(repo.reswidth.getValue(), 640);
    EXPECT_EQ(repo.resheight.getValue(), 480);
    EXPECT_TRUE(repo.fullscreen.wasRead());
    EXPECT_FALSE(repo.fullscreen.getValue());
}

}  // namespace
