// The JPEG, PNG and BMP decoders behind texture creation, on real-world files
// from other tools, truncated copies of them, and BMPs built field by field.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "d3dx8_image.h"
#include "unit/image_test_files.h"

namespace {

using d3dx8::DecodedImage;
using image_test::BmpFields;
using image_test::fixture;

bool decodeFile(const std::filesystem::path& path, DecodedImage& out) {
    const std::vector<uint8_t> bytes = image_test::readBytes(path);
    return d3dx8::decodeImage(bytes.data(), bytes.size(), out);
}

DecodedImage decodeFixture(const std::string& relative) {
    DecodedImage out;
    EXPECT_TRUE(decodeFile(fixture(relative), out)) << relative;
    return out;
}

bool decodeBytes(const std::vector<uint8_t>& bytes, DecodedImage& out) {
    return d3dx8::decodeImage(bytes.data(), bytes.size(), out);
}

// The mean difference of all channels of two images of one size.
double meanDifference(const d3dx8::Image& a, const d3dx8::Image& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            sum +=
                std::abs(int((a.pixels[i] >> shift) & 0xFF) - int((b.pixels[i] >> shift) & 0xFF));
        }
    }
    return sum / (a.pixels.size() * 4.0);
}

void expectSameImage(const d3dx8::Image& a, const d3dx8::Image& b, const std::string& what) {
    ASSERT_EQ(a.width, b.width) << what;
    ASSERT_EQ(a.height, b.height) << what;
    EXPECT_EQ(a.pixels, b.pixels) << what;
}

TEST(ImageDecode, EveryGoodFixtureDecodesToItsSize) {
    REQUIRE_FIXTURE_FILES();
    for (const auto& path : image_test::goodFixtures()) {
        DecodedImage out;
        ASSERT_TRUE(decodeFile(path, out)) << path;
        const std::string name = path.filename().string();
        const bool small = name.find("7x7") != std::string::npos;
        const bool bmp = path.extension() == ".bmp";
        const uint32_t width = small ? 7 : bmp ? (name == "g__pal8w126.bmp" ? 126 : 127) : 32;
        const uint32_t height = small ? 7 : bmp ? (name == "g__pal8w126.bmp" ? 63 : 64) : 32;
        EXPECT_EQ(out.image.width, width) << name;
        EXPECT_EQ(out.image.height, height) << name;
        EXPECT_EQ(out.image.pixels.size(), size_t{width} * height) << name;
    }
}

TEST(ImageDecode, CorruptAndRefusedFilesFail) {
    REQUIRE_FIXTURE_FILES();
    std::vector<std::filesystem::path> paths = image_test::corruptFixtures();
    for (const auto& path : image_test::fixturesLike("jpeg", "")) {
        if (image_test::refusedJpeg(path)) paths.push_back(path);
    }
    ASSERT_GE(paths.size(), 16u);
    for (const auto& path : paths) {
        DecodedImage out;
        EXPECT_FALSE(decodeFile(path, out)) << path;
    }
}

TEST(ImageDecode, TruncatedCopiesOfGoodFilesFail) {
    REQUIRE_FIXTURE_FILES();
    for (const auto& path : image_test::goodFixtures()) {
        const std::vector<uint8_t> whole = image_test::readBytes(path);
        for (size_t length : image_test::truncatedLengths(whole.size())) {
            // A copy of exactly the prefix, so reading past it is an error a
            // sanitizer or the heap checker would see.
            std::vector<uint8_t> prefix(whole.begin(), whole.begin() + length);
            DecodedImage out;
            EXPECT_FALSE(d3dx8::decodeImage(prefix.data(), prefix.size(), out))
                << path.filename() << " cut to " << length << " of " << whole.size();
        }
    }
}

TEST(ImageDecode, UnknownSignaturesFail) {
    DecodedImage out;
    EXPECT_FALSE(d3dx8::decodeImage(nullptr, 10, out));
    const std::vector<std::string> others = {
        "",   "GIF89a\x01\x00\x01\x00", "\xFF\xD8",
        "BM", "\x89PNG\r\n\x1A\n",      "P6\n1 1\n255\n\x00\x00\x00"};
    for (const std::string& text : others) {
        const std::vector<uint8_t> bytes(text.begin(), text.end());
        EXPECT_FALSE(decodeBytes(bytes, out)) << text;
    }
}

// --- JPEG ---

TEST(ImageDecodeJpeg, ColourFilesShowTheSamePicture) {
    REQUIRE_FIXTURE_FILES();
    const DecodedImage rgb = decodeFixture("jpeg/baseline__32x32x8_rgb_interleaved.jpg");
    EXPECT_EQ(rgb.image.at(0, 0), 0xFFFFFFFFu);    // white surround
    EXPECT_EQ(rgb.image.at(16, 16), 0xFFFF0000u);  // red middle
    EXPECT_FALSE(rgb.hasAlpha);
    EXPECT_EQ(rgb.fileFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(rgb.fileType, D3DXIFF_JPG);

    const DecodedImage ycbcr = decodeFixture("jpeg/baseline__32x32x8_ycbcr_interleaved.jpg");
    EXPECT_LT(meanDifference(rgb.image, ycbcr.image), 1.0);
    // Chroma at half resolution smears the sharp red edges, nothing more.
    for (const char* name :
         {"jpeg/baseline__32x32x8_ycbcr_2x2_1x1_1x1_interleaved.jpg",
          "jpeg/progressive_huffman__32x32x8_ycbcr_2x2_1x1_1x1_interleaved.jpg"}) {
        const DecodedImage subsampled = decodeFixture(name);
        EXPECT_LT(meanDifference(rgb.image, subsampled.image), 12.0) << name;
        EXPECT_NEAR(int((subsampled.image.at(16, 16) >> 16) & 0xFF), 255, 4) << name;
    }
}

TEST(ImageDecodeJpeg, GreyscaleCodingsAgreeAndReportL8) {
    REQUIRE_FIXTURE_FILES();
    const DecodedImage baseline = decodeFixture("jpeg/baseline__32x32x8_grayscale.jpg");
    EXPECT_EQ(baseline.fileFormat, D3DFMT_L8);
    for (uint32_t pixel : baseline.image.pixels) {
        EXPECT_EQ(pixel >> 24, 0xFFu);
        EXPECT_EQ((pixel >> 16) & 0xFF, pixel & 0xFF);
        EXPECT_EQ((pixel >> 8) & 0xFF, pixel & 0xFF);
    }
    for (const char* name :
         {"jpeg/baseline__32x32x8_restarts.jpg", "jpeg/extended_arithmetic__32x32x8_grayscale.jpg",
          "jpeg/progressive_huffman__32x32x8_grayscale_spectral_all.jpg",
          "jpeg/progressive_huffman__32x32x8_grayscale_successive.jpg"}) {
        expectSameImage(baseline.image, decodeFixture(name).image, name);
    }
}

// A 16 x 16 CMYK JPEG of one colour, written by libjpeg itself.
std::vector<uint8_t> encodeCmyk(const uint8_t ink[4], bool adobeMarker) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 16;
    cinfo.image_height = 16;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(16 * 4);
    for (size_t i = 0; i < row.size(); ++i) row[i] = ink[i % 4];
    while (cinfo.next_scanline < 16) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

// The CMYK fixture is no help here: its writer stores plain inks behind an Adobe
// marker, which Adobe's convention (ours too) reads as inverted.
TEST(ImageDecodeJpeg, CmykPlainAndAdobeInvertedGiveTheSameColour) {
    // 0% cyan, 50% magenta, 100% yellow, 20% black: R = 0.8, G = 0.4, B = 0.
    const uint8_t plain[4] = {0, 128, 255, 51};
    const uint8_t inverted[4] = {255, 127, 0, 204};  // how Adobe's files store it
    DecodedImage a, b;
    ASSERT_TRUE(decodeBytes(encodeCmyk(plain, false), a));
    ASSERT_TRUE(decodeBytes(encodeCmyk(inverted, true), b));
    for (const DecodedImage* image : {&a, &b}) {
        const uint32_t pixel = image->image.at(8, 8);
        EXPECT_EQ(pixel >> 24, 0xFFu);
        EXPECT_NEAR(int((pixel >> 16) & 0xFF), 204, 3);
        EXPECT_NEAR(int((pixel >> 8) & 0xFF), 102, 3);
        EXPECT_NEAR(int(pixel & 0xFF), 0, 3);
    }
}

// --- PNG ---

TEST(ImageDecodePng, KnownPixelsOfEachColourType) {
    REQUIRE_FIXTURE_FILES();
    const DecodedImage rgb = decodeFixture("png/pngsuite__basn2c08.png");
    EXPECT_EQ(rgb.image.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(rgb.image.at(16, 16), 0xFFEFFFFFu);
    EXPECT_EQ(rgb.image.at(0, 5), 0xFFFFFF5Fu);
    EXPECT_EQ(rgb.image.at(0, 31), 0xFF1F1F1Fu);
    EXPECT_EQ(rgb.fileFormat, D3DFMT_R8G8B8);
    EXPECT_FALSE(rgb.hasAlpha);

    const DecodedImage paletted = decodeFixture("png/pngsuite__basn3p08.png");
    EXPECT_EQ(paletted.image.at(0, 5), 0xFF550000u);
    EXPECT_EQ(paletted.image.at(8, 24), 0xFFFFFF88u);
    EXPECT_EQ(paletted.fileFormat, D3DFMT_X8R8G8B8);

    const DecodedImage rgba = decodeFixture("png/pngsuite__basn6a08.png");
    EXPECT_EQ(rgba.image.at(16, 16), 0x8304FF00u);
    EXPECT_EQ(rgba.image.at(0, 0), 0x00FF0008u);
    EXPECT_EQ(rgba.fileFormat, D3DFMT_A8R8G8B8);
    EXPECT_TRUE(rgba.hasAlpha);

    const DecodedImage grey = decodeFixture("png/pngsuite__basn0g08.png");
    EXPECT_EQ(grey.fileFormat, D3DFMT_L8);
    EXPECT_EQ(grey.image.at(16, 16), 0xFF121212u);
}

TEST(ImageDecodePng, InterlacedEqualsProgressiveAndSixteenBitsAreCut) {
    REQUIRE_FIXTURE_FILES();
    expectSameImage(decodeFixture("png/pngsuite__basn6a08.png").image,
                    decodeFixture("png/pngsuite__ibasn6a08.png").image, "interlaced");
    const DecodedImage deep = decodeFixture("png/pngsuite__basn6a16.png");
    EXPECT_EQ(deep.image.at(16, 16), 0xF70000FFu);
    EXPECT_TRUE(deep.hasAlpha);
}

TEST(ImageDecodePng, TransparencyChunkGivesAlpha) {
    REQUIRE_FIXTURE_FILES();
    const DecodedImage keyed = decodeFixture("png/pngsuite__ftbrn2c08.png");
    EXPECT_TRUE(keyed.hasAlpha);
    EXPECT_EQ(keyed.image.at(0, 0), 0x00FFFFFFu);  // the tRNS colour
    EXPECT_EQ(keyed.image.at(16, 16) >> 24, 0xFFu);
    EXPECT_FALSE(decodeFixture("png/pngsuite__ftp0n3p08.png").hasAlpha);
}

// --- BMP ---

TEST(ImageDecodeBmp, TrueColourAndEveryPaletteLayoutShowOnePicture) {
    REQUIRE_FIXTURE_FILES();
    const DecodedImage rgb24 = decodeFixture("bmp/g__rgb24.bmp");
    EXPECT_EQ(rgb24.image.at(0, 0), 0xFFFF0000u);    // top-left red
    EXPECT_EQ(rgb24.image.at(63, 32), 0xFFFFFFFFu);  // white middle
    EXPECT_EQ(rgb24.fileFormat, D3DFMT_R8G8B8);
    const DecodedImage rgb32 = decodeFixture("bmp/g__rgb32.bmp");
    expectSameImage(rgb24.image, rgb32.image, "rgb32");
    EXPECT_EQ(rgb32.fileFormat, D3DFMT_X8R8G8B8);
    EXPECT_FALSE(rgb32.hasAlpha);

    const DecodedImage pal8 = decodeFixture("bmp/g__pal8.bmp");
    // The same picture reduced to 252 colours.
    EXPECT_LT(meanDifference(rgb24.image, pal8.image), 12.0);
    for (const char* name : {"bmp/g__pal8-0.bmp", "bmp/g__pal8os2.bmp", "bmp/g__pal8rle.bmp",
                             "bmp/g__pal8topdown.bmp", "bmp/g__pal8v5.bmp"}) {
        expectSameImage(pal8.image, decodeFixture(name).image, name);
    }
    const DecodedImage grey = decodeFixture("bmp/g__pal8gs.bmp");
    for (uint32_t pixel : grey.image.pixels) {
        EXPECT_EQ((pixel >> 16) & 0xFF, pixel & 0xFF);
        EXPECT_EQ((pixel >> 8) & 0xFF, pixel & 0xFF);
    }
    EXPECT_EQ(decodeFixture("bmp/g__pal8w126.bmp").image.at(0, 0), 0xFFFF0000u);
}

TEST(ImageDecodeBmp, LowBitPalettesReadTheHighBitsFirst) {
    BmpFields one;
    one.width = 3;
    one.height = 2;
    one.bitCount = 1;
    one.palette = {0x000000, 0xFFFFFF};
    one.pixels = {0xA0, 0, 0, 0,   // bottom row: 1 0 1
                  0x40, 0, 0, 0};  // top row:    0 1 0
    DecodedImage out;
    ASSERT_TRUE(decodeBytes(image_test::makeBmp(one), out));
    EXPECT_EQ(out.image.pixels, (std::vector<uint32_t>{0xFF000000, 0xFFFFFFFF, 0xFF000000,  //
                                                       0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}));

    BmpFields four = one;
    four.bitCount = 4;
    four.palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    four.pixels = {0x12, 0x30, 0, 0,  // bottom row: 1 2 3
                   0x00, 0x00, 0, 0};
    ASSERT_TRUE(decodeBytes(image_test::makeBmp(four), out));
    EXPECT_EQ(out.image.at(0, 1), 0xFF0000FFu);
    EXPECT_EQ(out.image.at(1, 1), 0xFF00FF00u);
    EXPECT_EQ(out.image.at(2, 1), 0xFFFF0000u);

    four.colorsUsed = 3;  // index 3 is now past the palette
    four.palette.pop_back();
    EXPECT_FALSE(decodeBytes(image_test::makeBmp(four), out));
}

TEST(ImageDecodeBmp, BitFieldsAndAlpha) {
    BmpFields rgb565;
    rgb565.width = 2;
    rgb565.bitCount = 16;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.pixels = {0x00, 0xF8, 0xE0, 0x07};  // pure red, pure green
    DecodedImage out;
    ASSERT_TRUE(decodeBytes(image_test::makeBmp(rgb565), out));
    EXPECT_EQ(out.image.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(out.image.at(1, 0), 0xFF00FF00u);
    EXPECT_EQ(out.fileFormat, D3DFMT_R5G6B5);

    BmpFields rgba;  // a V5 header with an alpha mask
    rgba.headerSize = 124;
    rgba.bitCount = 32;
    rgba.compression = 3;
    rgba.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    rgba.pixels = {0x30, 0x20, 0x10, 0x80};
    ASSERT_TRUE(decodeBytes(image_test::makeBmp(rgba), out));
    EXPECT_EQ(out.image.at(0, 0), 0x80102030u);
    EXPECT_TRUE(out.hasAlpha);
    EXPECT_EQ(out.fileFormat, D3DFMT_A8R8G8B8);

    rgba.masks = {0x00FF0F00, 0x000000F0, 0x0000000F, 0};  // red mask with a hole
    EXPECT_FALSE(decodeBytes(image_test::makeBmp(rgba), out));
    rgb565.masks = {0x1F0000, 0x07E0, 0x001F};  // beyond 16 bits
    EXPECT_FALSE(decodeBytes(image_test::makeBmp(rgb565), out));
}

BmpFields rle8(std::vector<uint8_t> stream) {
    BmpFields fields;
    fields.width = 4;
    fields.height = 2;
    fields.bitCount = 8;
    fields.compression = 1;
    fields.palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    fields.pixels = std::move(stream);
    return fields;
}

TEST(ImageDecodeBmp, RunLengthCodesAndTheirLimits) {
    // Bottom row: literal 2 3 1 (padded to 16 bits), a run of one 3, end of
    // line. Top row: a delta of (1, 0) leaves its first pixel at index 0, then a
    // run of three 2s, end of bitmap.
    const std::vector<uint8_t> good = {0, 3, 2, 3, 1, 0, 1, 3, 0, 0, 0, 2, 1, 0, 3, 2, 0, 1};
    DecodedImage out;
    ASSERT_TRUE(decodeBytes(image_test::makeBmp(rle8(good)), out));
    EXPECT_EQ(out.image.pixels,
              (std::vector<uint32_t>{0xFF000000, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00,
                                     0xFFFF0000, 0xFF0000FF, 0xFFFF0000}));

    const std::vector<std::vector<uint8_t>> bad = {
        {5, 1, 0, 1},              // run past the end of the row
        {0, 3, 1, 2, 3},           // literal without its padding byte
        {0, 2, 5, 0, 0, 1},        // delta right past the row
        {0, 2, 0, 3, 0, 1},        // delta up past the image
        {0, 0, 0, 0, 4, 1, 0, 1},  // a run after the last row
        {2, 1, 0, 0},              // no end-of-bitmap code
        {2, 9, 0, 1},              // index past the palette
    };
    for (const auto& stream : bad) {
        EXPECT_FALSE(decodeBytes(image_test::makeBmp(rle8(stream)), out)) << stream.size();
    }
    BmpFields topDown = rle8(good);
    topDown.height = -2;  // RLE rows are only defined bottom-up
    EXPECT_FALSE(decodeBytes(image_test::makeBmp(topDown), out));
}

TEST(ImageDecodeBmp, Rle4AlternatesNibbles) {
    BmpFields fields = rle8({4, 0x12, 0, 0, 0, 4, 0x30, 0x21, 0, 1});
    fields.bitCount = 4;
    fields.compression = 2;
    DecodedImage out;
    ASSERT_TRUE(decodeBytes(image_test::makeBmp(fields), out));
    EXPECT_EQ(out.image.at(0, 1), 0xFF0000FFu);  // 1 2 1 2 on the bottom row
    EXPECT_EQ(out.image.at(1, 1), 0xFF00FF00u);
    EXPECT_EQ(out.image.at(0, 0), 0xFFFF0000u);  // literal 3 0 2 1 on the top row
    EXPECT_EQ(out.image.at(3, 0), 0xFF0000FFu);
}

TEST(ImageDecodeBmp, InconsistentHeadersFail) {
    BmpFields base;
    base.width = 2;
    base.height = 2;
    base.pixels.assign(16, 0x80);
    DecodedImage out;
    ASSERT_TRUE(decodeBytes(image_test::makeBmp(base), out));

    auto fails = [&](BmpFields fields, const char* why) {
        EXPECT_FALSE(decodeBytes(image_test::makeBmp(fields), out)) << why;
    };
    BmpFields fields = base;
    fields.pixelOffset = 20;
    fails(fields, "pixel data inside the header");
    fields = base;
    fields.pixels.resize(15);
    fails(fields, "last row one byte short");
    fields = base;
    fields.height = INT32_MIN;
    fails(fields, "height that cannot be negated");
    fields = base;
    fields.width = -2;
    fails(fields, "negative width");
    fields = base;
    fields.width = 70000;
    fields.height = 70000;
    fails(fields, "absurd size in a small file");
    fields = base;
    fields.compression = 4;
    fails(fields, "embedded JPEG");
    fields = base;
    fields.headerSize = 12;
    fields.bitCount = 32;
    fails(fields, "OS/2 header with 32 bits");

    std::vector<uint8_t> bytes = image_test::makeBmp(base);
    bytes[26] = 2;  // planes
    EXPECT_FALSE(decodeBytes(bytes, out));
}

}  // namespace
