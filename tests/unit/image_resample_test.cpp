// Fitting pictures to texture levels: the D3DX filter kinds.
#include <gtest/gtest.h>

#include "d3dx8_image.h"

namespace {

using d3dx8::Filter;
using d3dx8::Image;

Image imageOf(uint32_t width, uint32_t height, std::vector<uint32_t> pixels) {
    Image image;
    image.width = width;
    image.height = height;
    image.pixels = std::move(pixels);
    return image;
}

uint32_t channel(uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFF;
}

TEST(ImageResample, FilterValuesFromD3DX) {
    Filter filter = Filter::None;
    EXPECT_TRUE(d3dx8::filterFromD3DX(D3DX_DEFAULT, Filter::Box, filter));
    EXPECT_EQ(filter, Filter::Box);
    EXPECT_TRUE(
        d3dx8::filterFromD3DX(D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, Filter::Box, filter));
    EXPECT_EQ(filter, Filter::Triangle);
    EXPECT_TRUE(d3dx8::filterFromD3DX(D3DX_FILTER_POINT | D3DX_FILTER_MIRROR, Filter::Box, filter));
    EXPECT_EQ(filter, Filter::Point);
    EXPECT_TRUE(d3dx8::filterFromD3DX(D3DX_FILTER_NONE, Filter::Box, filter));
    EXPECT_EQ(filter, Filter::None);
    EXPECT_FALSE(d3dx8::filterFromD3DX(0, Filter::Box, filter));
    EXPECT_FALSE(d3dx8::filterFromD3DX(6, Filter::Box, filter));
}

TEST(ImageResample, NoneCopiesToTheTopLeftAndCrops) {
    const Image src = imageOf(2, 2, {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004});
    const Image grown = d3dx8::resampleImage(src, 4, 3, Filter::None);
    EXPECT_EQ(grown.pixels, (std::vector<uint32_t>{0xFF000001, 0xFF000002, 0, 0,  //
                                                   0xFF000003, 0xFF000004, 0, 0,  //
                                                   0, 0, 0, 0}));
    const Image cropped = d3dx8::resampleImage(src, 1, 2, Filter::None);
    EXPECT_EQ(cropped.pixels, (std::vector<uint32_t>{0xFF000001, 0xFF000003}));
}

TEST(ImageResample, BoxHalvingAveragesEachChannelAlphaIncluded) {
    // Alpha is averaged like any channel: no premultiplication.
    const Image src = imageOf(4, 2,
                              {0x00000000, 0xFFFFFFFF, 0xFF102030, 0xFF102030,  //
                               0x00000000, 0xFFFFFFFF, 0xFF305070, 0xFF305070});
    const Image half = d3dx8::resampleImage(src, 2, 1, Filter::Box);
    EXPECT_EQ(half.pixels, (std::vector<uint32_t>{0x80808080, 0xFF203850}));
    // Down to one pixel in one step; and a side already at 1 stays 1.
    EXPECT_EQ(d3dx8::resampleImage(half, 1, 1, Filter::Box).pixels[0], 0xC0505C68u);
    const Image column = imageOf(1, 4, {0xFF000000, 0xFF000010, 0xFF000020, 0xFF000030});
    EXPECT_EQ(d3dx8::resampleImage(column, 1, 2, Filter::Box).pixels,
              (std::vector<uint32_t>{0xFF000008, 0xFF000028}));
}

TEST(ImageResample, PointRepeatsPixels) {
    const Image src = imageOf(2, 1, {0xFF0000FF, 0xFFFF0000});
    EXPECT_EQ(d3dx8::resampleImage(src, 4, 1, Filter::Point).pixels,
              (std::vector<uint32_t>{0xFF0000FF, 0xFF0000FF, 0xFFFF0000, 0xFFFF0000}));
}

TEST(ImageResample, TriangleStretchesThePictureOverTheWholeTexture) {
    // A 7 x 7 picture with a black left half and a white right column block:
    // the 8 x 8 result keeps its edges at the texture's edges.
    std::vector<uint32_t> pixels(49, 0xFF000000);
    for (uint32_t y = 0; y < 7; ++y) {
        for (uint32_t x = 4; x < 7; ++x) pixels[y * 7 + x] = 0xFFFFFFFF;
    }
    const Image src = imageOf(7, 7, pixels);
    for (Filter filter : {Filter::Triangle, Filter::Linear, Filter::Box}) {
        const Image out = d3dx8::resampleImage(src, 8, 8, filter);
        ASSERT_EQ(out.pixels.size(), 64u);
        for (uint32_t y = 0; y < 8; ++y) {
            EXPECT_EQ(out.at(0, y), 0xFF000000u);
            EXPECT_EQ(out.at(7, y), 0xFFFFFFFFu);
            // Brightness never falls from left to right.
            for (uint32_t x = 1; x < 8; ++x) {
                EXPECT_GE(channel(out.at(x, y), 0), channel(out.at(x - 1, y), 0));
            }
        }
    }
    // A flat picture stays flat whatever the scale.
    const Image flat = imageOf(3, 5, std::vector<uint32_t>(15, 0x80406080));
    for (uint32_t pixel : d3dx8::resampleImage(flat, 16, 2, Filter::Triangle).pixels) {
        EXPECT_EQ(pixel, 0x80406080u);
    }
}

TEST(ImageResample, TriangleShrinkingUsesEverySourcePixel) {
    // One white pixel at the edge of a destination pixel's footprint, 8 -> 2:
    // the two-tap linear filter misses it, the triangle widens and keeps it.
    std::vector<uint32_t> pixels(8, 0xFF000000);
    pixels[0] = 0xFFFFFFFF;
    const Image src = imageOf(8, 1, pixels);
    EXPECT_EQ(d3dx8::resampleImage(src, 2, 1, Filter::Linear).pixels[0], 0xFF000000u);
    const Image out = d3dx8::resampleImage(src, 2, 1, Filter::Triangle);
    EXPECT_GT(channel(out.pixels[0], 0), 0u);
    EXPECT_EQ(channel(out.pixels[0], 24), 0xFFu);
    EXPECT_EQ(out.pixels[1], 0xFF000000u);
}

}  // namespace
