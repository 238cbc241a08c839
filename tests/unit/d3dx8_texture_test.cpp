// D3DXCreateTextureFromFileExA / D3DXCreateTextureFromFileA on the recording
// device: sizes, mip chains, filters, colour keys, formats, and failures that
// leave no texture behind.
#include <gtest/gtest.h>

#include <cstring>

#include "d3d8_backend.h"
#include "d3dx8.h"
#include "d3dx8_image.h"
#include "recording/recording.h"
#include "unit/image_test_files.h"

namespace {

namespace recording = d3d8::recording;
using image_test::fixture;

struct LoadOptions {
    UINT width = D3DX_DEFAULT;
    UINT height = D3DX_DEFAULT;
    UINT levels = D3DX_DEFAULT;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD filter = D3DX_DEFAULT;
    DWORD mipFilter = D3DX_DEFAULT;
    D3DCOLOR colorKey = 0;
};

class TextureFromFile : public ::testing::Test {
protected:
    void SetUp() override {
        d3d8::selectBackend(d3d8::Backend::Recording);
        recording::recorder().reset();
        liveAtStart_ = recording::liveObjects();
        d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS parameters{};
        parameters.Windowed = TRUE;
        parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
        parameters.BackBufferWidth = 64;
        parameters.BackBufferHeight = 64;
        parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
        parameters.hDeviceWindow = reinterpret_cast<HWND>(1);
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, parameters.hDeviceWindow,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device_),
                  D3D_OK);
    }

    void TearDown() override {
        for (IDirect3DTexture8* texture : textures_) texture->Release();
        if (device_ != nullptr) device_->Release();
        if (d3d_ != nullptr) d3d_->Release();
        recording::recorder().reset();
        EXPECT_EQ(recording::liveObjects(), liveAtStart_);
    }

    HRESULT load(const std::string& path, const LoadOptions& o, IDirect3DTexture8** texture,
                 D3DXIMAGE_INFO* info = nullptr) {
        const HRESULT hr = D3DXCreateTextureFromFileExA(
            device_, path.c_str(), o.width, o.height, o.levels, 0, o.format, o.pool, o.filter,
            o.mipFilter, o.colorKey, info, nullptr, texture);
        if (SUCCEEDED(hr) && *texture != nullptr) textures_.push_back(*texture);
        return hr;
    }

    // Loads a file that must load.
    IDirect3DTexture8* loaded(const std::string& path, const LoadOptions& options = {}) {
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(load(path, options, &texture), D3D_OK) << path;
        return texture;
    }

    // A file that must not load: a negative result, a null texture, nothing created.
    void expectRefused(const std::string& path, HRESULT expected, const LoadOptions& options = {}) {
        const int liveBefore = recording::liveObjects();
        IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(this);
        EXPECT_EQ(load(path, options, &texture), expected) << path;
        EXPECT_EQ(texture, nullptr) << path;
        EXPECT_EQ(recording::liveObjects(), liveBefore) << path;
    }

    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    std::vector<IDirect3DTexture8*> textures_;
    int liveAtStart_ = 0;
};

D3DSURFACE_DESC levelDesc(IDirect3DTexture8* texture, UINT level) {
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    return desc;
}

std::vector<uint32_t> levelPixels(IDirect3DTexture8* texture, UINT level) {
    const std::vector<BYTE> bytes = recording::contentsOf(texture, level);
    std::vector<uint32_t> pixels(bytes.size() / 4);
    std::memcpy(pixels.data(), bytes.data(), pixels.size() * 4);
    return pixels;
}

double meanOfBlue(const std::vector<uint32_t>& pixels) {
    double sum = 0;
    for (uint32_t p : pixels) sum += p & 0xFF;
    return sum / pixels.size();
}

// A 24-bit BMP of `width` x `height` 0xRRGGBB colours, top row first.
std::vector<uint8_t> bmpOf(int32_t width, int32_t height, const std::vector<uint32_t>& colors) {
    image_test::BmpFields fields;
    fields.width = width;
    fields.height = -height;  // top-down
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    fields.pixels.assign(stride * height, 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t c = colors[size_t(y) * width + x];
            uint8_t* p = &fields.pixels[y * stride + x * 3];
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    }
    return image_test::makeBmp(fields);
}

// A grey square, for the tests that need some picture file whatever its kind.
std::string writeGreySquare(const std::filesystem::path& path, int32_t size) {
    image_test::writeBytes(path, bmpOf(size, size, std::vector<uint32_t>(size_t(size) * size, 0x808080)));
    return path.string();
}

TEST_F(TextureFromFile, SevenBySevenJpegGetsAPowerOfTwoTextureWithFullChain) {
    REQUIRE_FIXTURE_FILES();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(
                  device_, fixture("jpeg/baseline__7x7x8_grayscale.jpg").c_str(), &texture),
              D3D_OK);
    textures_.push_back(texture);
    EXPECT_EQ(recording::recorder().callsOf("CreateTexture").at(0).text,
              "CreateTexture(8, 8, 4, 0x0, 22, 1, out) -> tex1");
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    for (UINT level = 0; level < 4; ++level) {
        EXPECT_EQ(levelDesc(texture, level).Width, 8u >> level);
        EXPECT_EQ(levelDesc(texture, level).Height, 8u >> level);
    }
    // The picture (a white border around a black ring) is stretched over the
    // whole texture: its border is the texture's border.
    const std::vector<uint32_t> top = levelPixels(texture, 0);
    for (UINT i = 0; i < 8; ++i) {
        EXPECT_EQ(top[i], 0xFFFFFFFFu) << i;
        EXPECT_EQ(top[i * 8], 0xFFFFFFFFu) << i;
    }
    EXPECT_LT(top[3 * 8 + 1] & 0xFF, 0x40u);
    for (uint32_t p : top) EXPECT_EQ(p >> 24, 0xFFu);
    // Each smaller level averages the one above.
    double mean = meanOfBlue(top);
    for (UINT level = 1; level < 4; ++level) {
        const double levelMean = meanOfBlue(levelPixels(texture, level));
        EXPECT_NEAR(levelMean, mean, 2.0) << level;
        mean = levelMean;
    }
}

TEST_F(TextureFromFile, ReportsTheFile) {
    REQUIRE_FIXTURE_FILES();
    D3DXIMAGE_INFO info{};
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(load(fixture("jpeg/baseline__7x7x8_grayscale.jpg"), {}, &texture, &info), D3D_OK);
    EXPECT_EQ(info.Width, 7u);
    EXPECT_EQ(info.Height, 7u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_L8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    ASSERT_EQ(load(fixture("png/pngsuite__basn6a08.png"), {}, &texture, &info), D3D_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    EXPECT_EQ(levelDesc(texture, 0).Format, D3DFMT_A8R8G8B8);  // the file has alpha
}

TEST_F(TextureFromFile, ExplicitSizesAndLevels) {
    image_test::TempDir dir;
    const std::string file = writeGreySquare(dir.path() / "grey.bmp", 32);
    LoadOptions options;
    options.width = 16;
    options.height = 4;
    IDirect3DTexture8* texture = loaded(file, options);
    EXPECT_EQ(levelDesc(texture, 0).Width, 16u);
    EXPECT_EQ(levelDesc(texture, 0).Height, 4u);
    EXPECT_EQ(texture->GetLevelCount(), 5u);

    options.width = 20;  // not a power of two: used as given
    options.height = 12;
    options.levels = 99;  // more than the chain has: the whole chain
    texture = loaded(file, options);
    EXPECT_EQ(levelDesc(texture, 0).Width, 20u);
    EXPECT_EQ(texture->GetLevelCount(), 5u);  // 20, 10, 5, 2, 1
    EXPECT_EQ(levelDesc(texture, 4).Width, 1u);

    options = {};
    options.levels = 1;
    EXPECT_EQ(loaded(file, options)->GetLevelCount(), 1u);
}

TEST_F(TextureFromFile, FilterNonePlacesThePictureTopLeft) {
    image_test::TempDir dir;
    const auto path = dir.path() / "three.bmp";
    image_test::writeBytes(path, bmpOf(3, 2,
                                       {0x102030, 0x405060, 0x708090,  //
                                        0xA0B0C0, 0xD0E0F0, 0x000000}));
    LoadOptions options;
    options.filter = D3DX_FILTER_NONE;
    options.format = D3DFMT_A8R8G8B8;
    IDirect3DTexture8* texture = loaded(path.string(), options);
    ASSERT_EQ(texture->GetLevelCount(), 3u);  // 4x2, 2x1, 1x1
    EXPECT_EQ(levelPixels(texture, 0),
              (std::vector<uint32_t>{0xFF102030, 0xFF405060, 0xFF708090, 0x00000000,  //
                                     0xFFA0B0C0, 0xFFD0E0F0, 0xFF000000, 0x00000000}));
    // The box filter averages the transparent black in like any pixel.
    const std::vector<uint32_t> half = levelPixels(texture, 1);
    EXPECT_EQ(half[0], 0xFF708090u);
    EXPECT_EQ(half[1], 0x801C2024u);
}

TEST_F(TextureFromFile, ColourKeyMakesMatchingPixelsTransparentBlack) {
    const uint32_t m = 0xFF00FF;  // magenta
    image_test::TempDir dir;
    const auto path = dir.path() / "keyed.bmp";
    image_test::writeBytes(path, bmpOf(2, 2, {m, 0x123456, 0xFF00FE, m}));

    // As the engine loads keyed pictures: no scaling, default pool, format from the file.
    LoadOptions options;
    options.pool = D3DPOOL_DEFAULT;
    options.filter = D3DX_FILTER_NONE;
    options.colorKey = 0xFFFF00FF;
    IDirect3DTexture8* texture = loaded(path.string(), options);
    EXPECT_EQ(levelDesc(texture, 0).Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(levelPixels(texture, 0),
              (std::vector<uint32_t>{0x00000000, 0xFF123456, 0xFFFF00FE, 0x00000000}));

    // The key is compared in A8R8G8B8: with alpha 00 it matches no opaque pixel.
    options.colorKey = 0x00FF00FF;
    texture = loaded(path.string(), options);
    EXPECT_EQ(levelPixels(texture, 0)[0], 0xFFFF00FFu);
}

TEST_F(TextureFromFile, FormatsFromTheCaller) {
    REQUIRE_FIXTURE_FILES();
    const std::string file = fixture("png/pngsuite__basn6a08.png").string();
    LoadOptions options;
    options.format = D3DFMT_X8R8G8B8;
    IDirect3DTexture8* texture = loaded(file, options);
    EXPECT_EQ(levelDesc(texture, 0).Format, D3DFMT_X8R8G8B8);
    for (uint32_t p : levelPixels(texture, 0)) EXPECT_EQ(p >> 24, 0xFFu);  // the unused byte

    options.format = D3DFMT_A8R8G8B8;
    EXPECT_EQ(levelPixels(loaded(file, options), 0)[0] >> 24, 0x00u);

    options.format = D3DFMT_R5G6B5;
    expectRefused(file, D3DERR_INVALIDCALL, options);
    options = {};
    options.filter = 0;
    expectRefused(file, D3DERR_INVALIDCALL, options);
}

TEST_F(TextureFromFile, BackslashPathLoads) {
    image_test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "Textures");
    std::string windowsPath = writeGreySquare(dir.path() / "Textures" / "grey.bmp", 4);
    for (char& c : windowsPath) {
        if (c == '/') c = '\\';
    }
    EXPECT_NE(loaded(windowsPath), nullptr);
}

TEST_F(TextureFromFile, BadArgumentsAndMissingFiles) {
    image_test::TempDir dir;
    const std::string file = writeGreySquare(dir.path() / "grey.bmp", 4);
    IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(this);
    EXPECT_EQ(D3DXCreateTextureFromFileA(nullptr, file.c_str(), &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device_, nullptr, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device_, file.c_str(), nullptr), D3DERR_INVALIDCALL);

    expectRefused((dir.path() / "absent.jpg").string(), D3DERR_NOTAVAILABLE);
    expectRefused(dir.path().string(), D3DERR_NOTAVAILABLE);  // a directory
    EXPECT_EQ(recording::recorder().count("CreateTexture"), 0u);
}

TEST_F(TextureFromFile, CorruptAndTruncatedFilesCreateNothing) {
    REQUIRE_FIXTURE_FILES();
    for (const auto& path : image_test::corruptFixtures()) {
        expectRefused(path.string(), D3DXERR_INVALIDDATA);
    }
    image_test::TempDir dir;
    for (const auto& path : image_test::goodFixtures()) {
        const std::vector<uint8_t> whole = image_test::readBytes(path);
        for (size_t length : {whole.size() / 3, whole.size() - 1}) {
            const auto cut = dir.path() / path.filename();
            image_test::writeBytes(cut,
                                   std::vector<uint8_t>(whole.begin(), whole.begin() + length));
            expectRefused(cut.string(), D3DXERR_INVALIDDATA);
        }
    }
    EXPECT_EQ(recording::recorder().count("CreateTexture"), 0u);
}

TEST_F(TextureFromFile, DeviceFailuresAreReturnedAndTheTextureReleased) {
    image_test::TempDir dir;
    const std::string file = writeGreySquare(dir.path() / "seven.bmp", 7);  // four levels from 8 x 8
    recording::recorder().failNth("CreateTexture", 1, D3DERR_OUTOFVIDEOMEMORY);
    expectRefused(file, D3DERR_OUTOFVIDEOMEMORY);

    recording::recorder().failNth("IDirect3DTexture8::LockRect", 3, D3DERR_INVALIDCALL);
    expectRefused(file, D3DERR_INVALIDCALL);
    EXPECT_EQ(recording::recorder().count("IDirect3DTexture8::Release"), 1u);

    recording::recorder().failNth("IDirect3DTexture8::UnlockRect", 1, E_FAIL);
    expectRefused(file, E_FAIL);
}

}  // namespace
