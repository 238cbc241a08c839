// D3DXCreateTextureFromFileExA and D3DXCreateTextureFromFileA.
//
// What the documentation leaves open, as chosen here:
// - A file that cannot be opened or read returns D3DERR_NOTAVAILABLE; one that
//   is read but is not a picture we decode (or is over the size limits) returns
//   D3DXERR_INVALIDDATA.
// - Format D3DFMT_UNKNOWN gives A8R8G8B8 when the file stores transparency or a
//   colour key is given (the key needs alpha to take effect), X8R8G8B8 otherwise,
//   greyscale included (the device samples it like any opaque picture). An
//   explicit A8R8G8B8 or X8R8G8B8 is honoured; other formats are refused with
//   D3DERR_INVALIDCALL. In X8R8G8B8 textures the unused byte is written 0xFF.
// - Width/Height D3DX_DEFAULT or 0 round the picture's size up to a power of
//   two; MipLevels D3DX_DEFAULT or 0 ask for the whole chain down to 1x1, and a
//   larger number is cut to that chain.
// - Filter D3DX_DEFAULT is a triangle filter (the picture covers the texture);
//   MipFilter D3DX_DEFAULT is a box filter from each level to the next. A mip
//   filter of NONE copies the top-left of the level above.
// - pSrcInfo is filled once the file is decoded; pPalette is ignored (the
//   textures made here have no palette).
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <new>

#include "crt.h"
#include "d3dx8_image.h"

namespace d3dx8 {
namespace {

uint32_t nextPowerOfTwo(uint32_t v) {
    uint32_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

uint32_t fullChainLength(uint32_t width, uint32_t height) {
    uint32_t levels = 1;
    for (uint32_t side = std::max(width, height); side > 1; side >>= 1) ++levels;
    return levels;
}

// The whole file, or false when it cannot be read or is over kMaxFileBytes
// (`tooLarge` tells the two apart).
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, bool& tooLarge) {
    tooLarge = false;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return false;
    if (size > kMaxFileBytes) {
        tooLarge = true;
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.resize(static_cast<size_t>(size));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file.gcount() == static_cast<std::streamsize>(bytes.size());
}

HRESULT loadPicture(LPCSTR programPath, DecodedImage& decoded) {
    std::vector<uint8_t> bytes;
    bool tooLarge = false;
    if (!readWholeFile(crt::hostPath(programPath), bytes, tooLarge)) {
        return tooLarge ? D3DXERR_INVALIDDATA : D3DERR_NOTAVAILABLE;
    }
    return decodeImage(bytes.data(), bytes.size(), decoded) ? D3D_OK : D3DXERR_INVALIDDATA;
}

// What the caller asked for, with the defaults resolved.
struct TextureRequest {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t levels = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    Filter filter = Filter::Triangle;
    Filter mipFilter = Filter::Box;
};

uint32_t resolveSide(UINT requested, uint32_t pictureSide) {
    return requested == D3DX_DEFAULT || requested == 0 ? nextPowerOfTwo(pictureSide) : requested;
}

HRESULT resolveRequest(const DecodedImage& decoded, UINT width, UINT height, UINT mipLevels,
                       D3DFORMAT format, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                       TextureRequest& request) {
    request.width = resolveSide(width, decoded.image.width);
    request.height = resolveSide(height, decoded.image.height);
    if (request.width > kMaxImageSide || request.height > kMaxImageSide) {
        return D3DERR_INVALIDCALL;
    }
    const uint32_t chain = fullChainLength(request.width, request.height);
    request.levels =
        mipLevels == D3DX_DEFAULT || mipLevels == 0 ? chain : std::min(mipLevels, chain);

    if (format == D3DFMT_UNKNOWN) {
        request.format = decoded.hasAlpha || colorKey != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    } else if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
        request.format = format;
    } else {
        return D3DERR_INVALIDCALL;
    }
    if (!filterFromD3DX(filter, Filter::Triangle, request.filter) ||
        !filterFromD3DX(mipFilter, Filter::Box, request.mipFilter)) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

// The key is compared with each source pixel in A8R8G8B8, so a key for an opaque
// picture needs alpha 0xFF; matching pixels become transparent black.
void applyColorKey(Image& image, D3DCOLOR key) {
    if (key == 0) return;
    for (uint32_t& pixel : image.pixels) {
        if (pixel == key) pixel = 0x00000000;
    }
}

HRESULT writeLevel(IDirect3DTexture8* texture, UINT level, const Image& image, bool opaque) {
    D3DLOCKED_RECT locked{};
    const HRESULT hr = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (locked.pBits == nullptr || locked.Pitch < static_cast<INT>(image.width * 4)) {
        texture->UnlockRect(level);
        return E_FAIL;
    }
    const uint32_t forceAlpha = opaque ? 0xFF000000u : 0u;
    auto* base = static_cast<uint8_t*>(locked.pBits);
    for (uint32_t y = 0; y < image.height; ++y) {
        auto* dst = reinterpret_cast<uint32_t*>(base + static_cast<ptrdiff_t>(y) * locked.Pitch);
        const uint32_t* src = image.row(y);
        for (uint32_t x = 0; x < image.width; ++x) dst[x] = src[x] | forceAlpha;
    }
    return texture->UnlockRect(level);
}

// Level 0 from the picture with `filter`, each further level from the one above
// with `mipFilter`.
HRESULT fillTexture(IDirect3DTexture8* texture, const Image& picture,
                    const TextureRequest& request) {
    const bool opaque = request.format == D3DFMT_X8R8G8B8;
    Image level = resampleImage(picture, request.width, request.height, request.filter);
    for (UINT i = 0;; ++i) {
        const HRESULT hr = writeLevel(texture, i, level, opaque);
        if (FAILED(hr) || i + 1 >= request.levels) return hr;
        const uint32_t w = std::max(1u, level.width / 2);
        const uint32_t h = std::max(1u, level.height / 2);
        level = resampleImage(level, w, h, request.mipFilter);
    }
}

void describeFile(const DecodedImage& decoded, D3DXIMAGE_INFO& info) {
    info.Width = decoded.image.width;
    info.Height = decoded.image.height;
    info.Depth = 1;
    info.MipLevels = 1;
    info.Format = decoded.fileFormat;
    info.ResourceType = D3DRTYPE_TEXTURE;
    info.ImageFileFormat = decoded.fileType;
}

HRESULT createTexture(IDirect3DDevice8* device, LPCSTR srcFile, UINT width, UINT height,
                      UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                      DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                      IDirect3DTexture8** result) {
    DecodedImage decoded;
    HRESULT hr = loadPicture(srcFile, decoded);
    if (FAILED(hr)) return hr;
    if (srcInfo != nullptr) describeFile(decoded, *srcInfo);
    TextureRequest request;
    hr = resolveRequest(decoded, width, height, mipLevels, format, filter, mipFilter, colorKey,
                        request);
    if (FAILED(hr)) return hr;
    applyColorKey(decoded.image, colorKey);

    IDirect3DTexture8* texture = nullptr;
    hr = device->CreateTexture(request.width, request.height, request.levels, usage, request.format,
                               pool, &texture);
    if (FAILED(hr)) return hr;
    if (texture == nullptr) return E_FAIL;
    try {
        hr = fillTexture(texture, decoded.image, request);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        texture->Release();
        return hr;
    }
    *result = texture;
    return D3D_OK;
}

}  // namespace
}  // namespace d3dx8

HRESULT WINAPI D3DXCreateTextureFromFileExA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile, UINT Width,
                                            UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
                                            DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* /*pPalette*/,
                                            IDirect3DTexture8** ppTexture) {
    if (ppTexture != nullptr) *ppTexture = nullptr;
    if (pDevice == nullptr || pSrcFile == nullptr || ppTexture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    try {
        return d3dx8::createTexture(pDevice, pSrcFile, Width, Height, MipLevels, Usage, Format,
                                    Pool, Filter, MipFilter, ColorKey, pSrcInfo, ppTexture);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI D3DXCreateTextureFromFileA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile,
                                          IDirect3DTexture8** ppTexture) {
    return D3DXCreateTextureFromFileExA(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                        0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                        D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}
