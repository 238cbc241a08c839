// Textures, vertex buffers and index buffers of the OpenGL back end.
//
// Each keeps a CPU copy of its contents: Lock/LockRect hand out a pointer into
// it and Unlock/UnlockRect upload the range that was locked. The copy also makes
// locked memory readable for any flags, and lets the device check draws against
// what the buffers really hold.
#pragma once

#include "gl_api.h"

#include <cstdint>
#include <vector>

#include "d3d8.h"
#include "gl_common.h"
#include "gl_device.h"

namespace d3d8::gl {

// How a Direct3D texture format is stored and uploaded in GL.
struct TextureFormat {
    D3DFORMAT format;
    GLenum internalFormat;
    GLenum uploadFormat;
    GLenum uploadType;
    UINT bytesPerPixel;
    GLint swizzle[4];  // GL_TEXTURE_SWIZZLE_RGBA
};

// The GL storage of a format, or null when textures of it are not supported.
const TextureFormat* findTextureFormat(D3DFORMAT format);

class Texture final : public RefCounted<IDirect3DTexture8>, public DeviceChild {
public:
    static HRESULT create(Device* device, UINT width, UINT height, UINT levels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture);

    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override { return getDevice(ppDevice); }
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
                     DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;

    GLuint glName() const { return name_; }

private:
    struct Level {
        UINT width;
        UINT height;
        std::vector<uint8_t> pixels;  // rows top-down, width * bytesPerPixel apart
        bool locked = false;
        bool readOnly = false;
        RECT lockedRect{};
    };

    Texture(Device* device, const TextureFormat& format, DWORD usage, D3DPOOL pool);
    ~Texture() override;
    bool allocate(UINT width, UINT height, UINT levels);
    void upload(UINT level, const RECT& area);
    void detachFromDevice() override;

    const TextureFormat& format_;
    DWORD usage_;
    D3DPOOL pool_;
    std::vector<Level> levels_;
    GLuint name_ = 0;
};

// The storage and locking rules shared by vertex and index buffers.
class BufferStorage {
public:
    // Index buffers pass the device's cache: their buffer is bound as the
    // element buffer before anything else (see allocate).
    bool allocate(UINT length, DWORD usage, GlCache* elementBinding = nullptr);
    HRESULT lock(UINT offset, UINT size, BYTE** data, DWORD flags);
    // Uploads the locked range; `device` may be null once the device is gone.
    HRESULT unlock(Device* device);
    void release(Device* device);

    GLuint glName() const { return name_; }
    UINT length() const { return static_cast<UINT>(data_.size()); }
    const uint8_t* data() const { return data_.data(); }
    // The range of the last Unlock, for index buffers to scan.
    UINT lastUploadOffset() const { return lockOffset_; }
    UINT lastUploadSize() const { return lockSize_; }

private:
    std::vector<uint8_t> data_;
    GLuint name_ = 0;
    DWORD usage_ = 0;
    bool locked_ = false;
    UINT lockOffset_ = 0;
    UINT lockSize_ = 0;
    DWORD lockFlags_ = 0;
};

class VertexBuffer final : public RefCounted<IDirect3DVertexBuffer8>, public DeviceChild {
public:
    static HRESULT create(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                          IDirect3DVertexBuffer8** buffer);

    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override { return getDevice(ppDevice); }
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

    const BufferStorage& storage() const { return storage_; }

private:
    VertexBuffer(Device* device, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~VertexBuffer() override;
    void detachFromDevice() override;

    BufferStorage storage_;
    DWORD usage_;
    DWORD fvf_;
    D3DPOOL pool_;
};

class IndexBuffer final : public RefCounted<IDirect3DIndexBuffer8>, public DeviceChild {
public:
    static HRESULT create(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DIndexBuffer8** buffer);

    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override { return getDevice(ppDevice); }
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

    const BufferStorage& storage() const { return storage_; }
    UINT indexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
    GLenum glIndexType() const {
        return format_ == D3DFMT_INDEX32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    }
    // No index in the buffer is above this (an upper bound; it may be stale high).
    uint32_t maxIndexBound() const { return maxIndex_; }
    // The largest index among `count` indices from `first` (exact, scans them).
    uint32_t maxIndexIn(UINT first, UINT count) const;

private:
    IndexBuffer(Device* device, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~IndexBuffer() override;
    void detachFromDevice() override;

    BufferStorage storage_;
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    uint32_t maxIndex_ = 0;
};

}  // namespace d3d8::gl
