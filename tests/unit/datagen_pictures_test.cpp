// The generated pictures, decoded by the program's own loader, and the writing
// of the data files: sizes fit the quads that show them, each picture has the
// kind of content its blending needs, and every run writes the same bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "d3dx8_image.h"
#include "datagen.h"
#include "pictures.h"
#include "terrat_model.h"

namespace {

namespace fs = std::filesystem;
using datagen::Picture;

struct Decoded {
    std::vector<uint8_t> bytes;
    d3dx8::DecodedImage image;
};

// Every picture drawn and decoded once for the whole program.
const std::map<std::string, Decoded>& pictures() {
    static const std::map<std::string, Decoded> all = [] {
        std::map<std::string, Decoded> out;
        std::vector<Picture> list = datagen::demoPictures();
        for (const Picture& p : datagen::testModelPictures()) list.push_back(p);
        for (const Picture& picture : list) {
            Decoded d;
            std::string error;
            EXPECT_TRUE(datagen::renderPicture(picture, d.bytes, &error))
                << picture.file << ": " << error;
            EXPECT_TRUE(d3dx8::decodeImage(d.bytes.data(), d.bytes.size(), d.image))
                << picture.file;
            out[picture.file] = std::move(d);
        }
        return out;
    }();
    return all;
}

const d3dx8::Image& image(const std::string& file) {
    const auto found = pictures().find(file);
    EXPECT_NE(found, pictures().end()) << file;
    static const d3dx8::Image empty;
    return found == pictures().end() ? empty : found->second.image.image;
}

double luminance(uint32_t argb) {
    return 0.299 * ((argb >> 16) & 0xFF) + 0.587 * ((argb >> 8) & 0xFF) + 0.114 * (argb & 0xFF);
}

struct Stats {
    double mean = 0, darkest = 255, brightest = 0;
    double darkShare = 0;  // share of pixels darker than 100
};

Stats stats(const d3dx8::Image& img, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
    Stats s;
    size_t count = 0, dark = 0;
    for (uint32_t y = y0; y < y1 && y < img.height; ++y) {
        for (uint32_t x = x0; x < x1 && x < img.width; ++x) {
            const double l = luminance(img.at(x, y));
            s.mean += l;
            s.darkest = std::min(s.darkest, l);
            s.brightest = std::max(s.brightest, l);
            if (l < 100) ++dark;
            ++count;
        }
    }
    if (count) {
        s.mean /= static_cast<double>(count);
        s.darkShare = static_cast<double>(dark) / static_cast<double>(count);
    }
    return s;
}

Stats stats(const d3dx8::Image& img) { return stats(img, 0, 0, img.width, img.height); }

// The largest channel of any pixel on the picture's border, `band` pixels deep.
int borderMaximum(const d3dx8::Image& img, uint32_t band) {
    int most = 0;
    for (uint32_t y = 0; y < img.height; ++y) {
        for (uint32_t x = 0; x < img.width; ++x) {
            if (x >= band && y >= band && x + band < img.width && y + band < img.height) continue;
            for (int shift = 0; shift < 24; shift += 8)
                most = std::max(most, int((img.at(x, y) >> shift) & 0xFF));
        }
    }
    return most;
}

// Mean channel difference between two rows (or columns) of a picture.
double edgeDifference(const d3dx8::Image& img, bool rows) {
    const uint32_t n = rows ? img.width : img.height;
    double sum = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t a = rows ? img.at(i, 0) : img.at(0, i);
        const uint32_t b = rows ? img.at(i, img.height - 1) : img.at(img.width - 1, i);
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
    }
    return sum / (3.0 * n);
}

// Mean channel difference between neighbouring rows (or columns) inside the
// picture: what a seamless wrap should look like.
double neighbourDifference(const d3dx8::Image& img, bool rows) {
    const uint32_t n = rows ? img.width : img.height;
    const uint32_t lines = rows ? img.height : img.width;
    double sum = 0;
    for (uint32_t line = 0; line + 1 < lines; ++line) {
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t a = rows ? img.at(i, line) : img.at(line, i);
            const uint32_t b = rows ? img.at(i, line + 1) : img.at(line + 1, i);
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
        }
    }
    return sum / (3.0 * n * (lines - 1));
}

// ---------------------------------------------------------------------------
// Sizes

TEST(DatagenPictures, EveryPictureDecodesWithTheProgramsLoaderAtItsSize) {
    std::vector<Picture> list = datagen::demoPictures();
    for (const Picture& p : datagen::testModelPictures()) list.push_back(p);
    for (const Picture& picture : list) {
        const Decoded& d = pictures().at(picture.file);
        EXPECT_EQ(d.image.image.width, static_cast<uint32_t>(picture.width)) << picture.file;
        EXPECT_EQ(d.image.image.height, static_cast<uint32_t>(picture.height)) << picture.file;
        EXPECT_FALSE(d.image.hasAlpha) << picture.file;
        const bool bmp =
            picture.file.size() > 4 && picture.file.substr(picture.file.size() - 4) == ".bmp";
        EXPECT_EQ(d.image.fileType, bmp ? D3DXIFF_BMP : D3DXIFF_JPG) << picture.file;
        if (bmp) {
            ASSERT_GE(d.bytes.size(), 30u);
            EXPECT_EQ(d.bytes[28], 24) << picture.file << " is not a 24-bit BMP";
        } else {
            // Baseline: a start-of-frame 0 marker and no progressive one.
            const auto has = [&](uint8_t marker) {
                for (size_t i = 0; i + 1 < d.bytes.size(); ++i) {
                    if (d.bytes[i] == 0xFF && d.bytes[i + 1] == marker) return true;
                }
                return false;
            };
            EXPECT_TRUE(has(0xC0)) << picture.file;
            EXPECT_FALSE(has(0xC2)) << picture.file;
        }
    }
}

TEST(DatagenPictures, ProportionsMatchTheQuadsOnScreen) {
    // Half-sizes in clip space of the quads that show each picture; a quad
    // covers 640 hw x 480 hh pixels of the window.
    struct Quad {
        const char* file;
        double hw, hh;
    };
    const Quad quads[] = {{"loading.jpg", 1, 1},         {"zorbinIcon.jpg", 0.2, 0.25},
                          {"zorbinText.jpg", 0.7, 0.28}, {"poweredText.jpg", 0.32, 0.064},
                          {"black.bmp", 1, 1},           {"filmgrain1.jpg", 1, 1},
                          {"filmgrain2.jpg", 1, 1},      {"filmgrain3.jpg", 1, 1},
                          {"extro.jpg", 1, 1},           {"pink.jpg", 1, 1},
                          {"greetbkgnd.jpg", 1, 1},      {"zorbinshine.jpg", 0.2, 0.2},
                          {"juxgrt.jpg", 0.1, 0.1},      {"qovgrt.jpg", 0.1, 0.1},
                          {"grtu.jpg", 0.1, 0.1}};
    for (const Quad& q : quads) {
        const d3dx8::Image& img = image(q.file);
        const double screenW = 640 * q.hw, screenH = 480 * q.hh;
        const double aspect = static_cast<double>(img.width) / img.height;
        EXPECT_NEAR(aspect / (screenW / screenH), 1.0, 0.02) << q.file;
        if (std::string(q.file) != "black.bmp") {
            EXPECT_GE(img.width, std::floor(screenW)) << q.file << " is magnified on screen";
        }
    }
    // The title sheet is square in the world but drawn through a projection of
    // aspect 1 in a 4:3 window; the road, drop and particle pictures are square.
    const d3dx8::Image& title = image("velmor.jpg");
    EXPECT_EQ(title.width * 3, title.height * 4);
    for (const char* square :
         {"road.jpg", "droptex.jpg", "particle.jpg", "terraT_skin.jpg", "terraT_chrome.jpg"}) {
        EXPECT_EQ(image(square).width, image(square).height) << square;
    }
}

// ---------------------------------------------------------------------------
// Content that the blending of each picture relies on

TEST(DatagenPictures, CreditsAreDarkOnWhite) {
    // Alpha-blended over a white clear colour: white paper, dark ink.
    for (const char* file : {"zorbinIcon.jpg", "zorbinText.jpg", "poweredText.jpg"}) {
        const d3dx8::Image& img = image(file);
        const Stats all = stats(img);
        EXPECT_GT(all.mean, 180) << file;
        EXPECT_LT(all.darkest, 90) << file << " has no dark ink";
        EXPECT_GT(all.darkShare, 0.02) << file;
        EXPECT_GT(stats(img, 0, 0, img.width, 2).darkest, 245) << file << " top edge not white";
        EXPECT_GT(stats(img, 0, img.height - 2, img.width, img.height).darkest, 245)
            << file << " bottom edge not white";
    }
    // The powered-by quad covers the name's top-left corner (its left 234 pixels,
    // top 23 rows), so the name leaves that area blank.
    EXPECT_GT(stats(image("zorbinText.jpg"), 0, 0, 240, 26).darkest, 240);
}

TEST(DatagenPictures, AdditiveLayersAreLightOnBlack) {
    for (const char* file : {"zorbinshine.jpg", "juxgrt.jpg", "qovgrt.jpg", "grtu.jpg"}) {
        const d3dx8::Image& img = image(file);
        EXPECT_LE(borderMaximum(img, 1), 12) << file << ": edges add a visible frame";
        EXPECT_GT(stats(img).brightest, 200) << file;
        EXPECT_LT(stats(img).mean, 90) << file;
    }
    // The pink layer is pink: red and blue above green, on average.
    const d3dx8::Image& pink = image("pink.jpg");
    double r = 0, g = 0, b = 0;
    for (uint32_t p : pink.pixels) {
        r += (p >> 16) & 0xFF;
        g += (p >> 8) & 0xFF;
        b += p & 0xFF;
    }
    EXPECT_GT(r, 1.5 * g);
    EXPECT_GT(b, 1.2 * g);
}

TEST(DatagenPictures, ParticleIsAGlowFadingToPureBlack) {
    // Drawn on an opaque quad: anything but black at its edges shows as a square.
    const d3dx8::Image& img = image("particle.jpg");
    EXPECT_LE(borderMaximum(img, 8), 2);
    const uint32_t c = img.width / 2;
    EXPECT_GT(luminance(img.at(c, c)), 240);
    EXPECT_GT(luminance(img.at(c, c)), luminance(img.at(c + img.width / 5, c)));
}

TEST(DatagenPictures, FilmGrainIsMostlyWhiteWithDarkMarksDifferentInEachFile) {
    std::vector<const d3dx8::Image*> grains;
    for (const char* file : {"filmgrain1.jpg", "filmgrain2.jpg", "filmgrain3.jpg"}) {
        const d3dx8::Image& img = image(file);
        const Stats s = stats(img);
        EXPECT_GT(s.mean, 225) << file;
        EXPECT_LT(s.darkest, 90) << file << " has no specks";
        EXPECT_GT(s.darkShare, 0.0003) << file;
        EXPECT_LT(s.darkShare, 0.02) << file;
        grains.push_back(&img);
    }
    for (size_t a = 0; a < grains.size(); ++a) {
        for (size_t b = a + 1; b < grains.size(); ++b)
            EXPECT_NE(grains[a]->pixels, grains[b]->pixels);
    }
    for (uint32_t p : image("black.bmp").pixels) ASSERT_EQ(p & 0xFFFFFF, 0u);
}

// The largest channel difference between the average of an 8 x 8 block in the
// top half of a picture and the block half a picture further down.
double halfShiftDifference(const d3dx8::Image& img) {
    double most = 0;
    for (uint32_t by = 0; by < img.height / 2; by += 8) {
        for (uint32_t bx = 0; bx + 8 <= img.width; bx += 8) {
            for (int shift = 0; shift < 24; shift += 8) {
                double top = 0, bottom = 0;
                for (uint32_t y = by; y < by + 8; ++y) {
                    for (uint32_t x = bx; x < bx + 8; ++x) {
                        top += (img.at(x, y) >> shift) & 0xFF;
                        bottom += (img.at(x, y + img.height / 2) >> shift) & 0xFF;
                    }
                }
                most = std::max(most, std::fabs(top - bottom) / 64);
            }
        }
    }
    return most;
}

TEST(DatagenPictures, RepeatingSurfacesJoinWithoutSeams) {
    // The road scrolls by half its picture every frame: its markings repeat every
    // half picture (so they stand still instead of flickering), which also makes
    // the top and bottom meet. Only the asphalt's fine grain differs.
    const d3dx8::Image& road = image("road.jpg");
    EXPECT_LT(halfShiftDifference(road), 25.0);
    // The model's panels repeat both ways: across the picture's edge the change
    // is no larger than between neighbouring lines inside it.
    const d3dx8::Image& skin = image("terraT_skin.jpg");
    EXPECT_LT(edgeDifference(skin, true), 1.5 * neighbourDifference(skin, true) + 2);
    EXPECT_LT(edgeDifference(skin, false), 1.5 * neighbourDifference(skin, false) + 2);
}

TEST(DatagenPictures, FullScreenPicturesAreNotBlank) {
    for (const char* file :
         {"loading.jpg", "velmor.jpg", "extro.jpg", "greetbkgnd.jpg", "droptex.jpg", "road.jpg"}) {
        const Stats s = stats(image(file));
        EXPECT_GT(s.brightest - s.darkest, 120) << file;
    }
    // The reflection has its sky above its ground, brightest at the horizon.
    const d3dx8::Image& drop = image("droptex.jpg");
    const uint32_t h = drop.height, w = drop.width;
    const double horizon = stats(drop, w / 4, h / 2 - 4, 3 * w / 4, h / 2 + 4).mean;
    EXPECT_GT(horizon, stats(drop, w / 4, h / 8, 3 * w / 4, h / 4).mean);
    EXPECT_GT(horizon, stats(drop, w / 4, 3 * h / 4, 3 * w / 4, 7 * h / 8).mean);
}

// ---------------------------------------------------------------------------
// Writing the files

class DatagenWriting : public ::testing::Test {
protected:
    fs::path scratch(const std::string& name) {
        const fs::path dir =
            fs::temp_directory_path() / ("datagen_test_" + std::to_string(getpid()) + "_" + name);
        fs::remove_all(dir);
        made_.push_back(dir);
        return dir;
    }
    void TearDown() override {
        for (const fs::path& dir : made_) fs::remove_all(dir);
    }

    static std::string contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    // Relative path -> bytes of every regular file below `dir`.
    static std::map<std::string, std::string> tree(const fs::path& dir) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            if (entry.is_regular_file())
                files[fs::relative(entry.path(), dir).string()] = contents(entry.path());
        }
        return files;
    }

private:
    std::vector<fs::path> made_;
};

TEST_F(DatagenWriting, TwoRunsWriteTheSameBytesInTheExpectedPlaces) {
    const fs::path a = scratch("a"), b = scratch("b");
    std::string error;
    ASSERT_TRUE(datagen::writeFiles(a.string(), datagen::dataFiles(), {}, &error)) << error;
    ASSERT_TRUE(datagen::writeFiles(b.string(), datagen::dataFiles(), {}, &error)) << error;
    const auto first = tree(a);
    EXPECT_EQ(first, tree(b));

    std::set<std::string> expected;
    for (const Picture& p : datagen::demoPictures()) expected.insert("Data/Textures/" + p.file);
    for (const Picture& p : datagen::testModelPictures()) expected.insert(p.file);
    expected.insert(datagen::kTestModelFile);
    std::set<std::string> written;
    for (const auto& [path, bytes] : first) {
        written.insert(path);
        EXPECT_FALSE(bytes.empty()) << path;
    }
    EXPECT_EQ(written, expected);  // nothing else: no leftover temporary files, no configuration
    for (const char* name :
         {"loading.jpg", "zorbinIcon.jpg", "zorbinText.jpg", "poweredText.jpg", "black.bmp",
          "filmgrain1.jpg", "filmgrain2.jpg", "filmgrain3.jpg", "velmor.jpg", "road.jpg",
          "droptex.jpg", "particle.jpg", "extro.jpg", "pink.jpg", "greetbkgnd.jpg",
          "zorbinshine.jpg", "juxgrt.jpg", "qovgrt.jpg", "grtu.jpg"}) {
        EXPECT_TRUE(written.count(std::string("Data/Textures/") + name)) << name;
    }
}

TEST_F(DatagenWriting, OnlyMissingKeepsWhatExistsAndFillsTheRest) {
    const fs::path dir = scratch("missing");
    fs::create_directories(dir / "Data/Textures");
    { std::ofstream(dir / "Data/Textures/road.jpg") << "kept"; }
    std::ostringstream progress;
    datagen::WriteOptions options;
    options.onlyMissing = true;
    options.progress = &progress;
    std::string error;
    ASSERT_TRUE(datagen::writeFiles(dir.string(), datagen::dataFiles(), options, &error)) << error;
    EXPECT_EQ(contents(dir / "Data/Textures/road.jpg"), "kept");
    EXPECT_TRUE(fs::is_regular_file(dir / "Data/Textures/droptex.jpg"));
    EXPECT_TRUE(fs::is_regular_file(dir / "terraT.ms3d"));
    EXPECT_NE(progress.str().find("kept"), std::string::npos);

    // Without the option every file is written again.
    ASSERT_TRUE(datagen::writeFiles(dir.string(), datagen::dataFiles(), {}, &error)) << error;
    EXPECT_NE(contents(dir / "Data/Textures/road.jpg"), "kept");
}

TEST_F(DatagenWriting, FailuresNameTheFileAndLeaveNothingHalfWritten) {
    // A directory that cannot be made: its parent is a regular file.
    const fs::path dir = scratch("blocked");
    fs::create_directories(dir);
    { std::ofstream(dir / "Data") << "not a directory"; }
    std::string error;
    EXPECT_FALSE(datagen::writeFiles(dir.string(), datagen::dataFiles(), {}, &error));
    EXPECT_NE(error.find("Data"), std::string::npos) << error;

    // A producer that fails: reported with the file's name, no file left behind.
    const fs::path other = scratch("failing");
    const std::vector<datagen::OutputFile> files = {
        datagen::bytesFile("a/ok.bin",
                           [](std::vector<uint8_t>& bytes, std::string*) {
                               bytes = {1, 2, 3};
                               return true;
                           }),
        {"a/bad.bin",
         [](const std::string& path, std::string* why) {
             std::ofstream(path) << "partial";
             *why = "broken on purpose";
             return false;
         }},
        datagen::bytesFile("a/never.bin", [](std::vector<uint8_t>&, std::string*) { return true; }),
    };
    EXPECT_FALSE(datagen::writeFiles(other.string(), files, {}, &error));
    EXPECT_NE(error.find("bad.bin"), std::string::npos) << error;
    EXPECT_NE(error.find("broken on purpose"), std::string::npos) << error;
    EXPECT_EQ(contents(other / "a/ok.bin"), std::string("\x01\x02\x03"));
    EXPECT_FALSE(fs::exists(other / "a/bad.bin"));
    EXPECT_FALSE(fs::exists(other / "a/bad.bin.part"));
    EXPECT_FALSE(fs::exists(other / "a/never.bin"));
}

}  // namespace
