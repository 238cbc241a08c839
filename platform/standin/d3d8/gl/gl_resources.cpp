#include "gl_resources.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace d3d8::gl {
namespace {

// Direct3D 8 pools: DEFAULT, MANAGED and SYSTEMMEM. All are kept the same way here.
bool validPool(D3DPOOL pool) {
    return pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED || pool == D3DPOOL_SYSTEMMEM;
}

UINT fullMipChain(UINT width, UINT height) {
    UINT levels = 1;
    for (UINT size = std::max(width, height); size > 1; size >>= 1) ++levels;
    return levels;
}

}  // namespace

const TextureFormat* findTextureFormat(D3DFORMAT format) {
    // The 32-bit formats are 0xAARRGGBB words: bytes B, G, R, A in memory, which
    // GL_BGRA with GL_UNSIGNED_INT_8_8_8_8_REV reads on any byte order. Formats
    // without alpha sample alpha as 1 whatever their X bits hold.
    static const TextureFormat kFormats[] = {
        {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4,
         {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}},
        {D3DFMT_X8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4,
         {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
        {D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, {GL_RED, GL_RED, GL_RED, GL_ONE}},
        {D3DFMT_R5G6B5, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2,
         {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
        {D3DFMT_X1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2,
         {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
        {D3DFMT_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2,
         {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}},
        {D3DFMT_A4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2,
         {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}},
    };
    for (const auto& entry : kFormats) {
        if (entry.format == format) return &entry;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Texture

Texture::Texture(Device* device, const TextureFormat& format, DWORD usage, D3DPOOL pool)
    : DeviceChild(device), format_(format), usage_(usage), pool_(pool) {}

Texture::~Texture() {
    if (owner_ && name_ && owner_->makeCurrent()) {
        glDeleteTextures(1, &name_);
        owner_->textureDeleted(name_);
    }
}

void Texture::detachFromDevice() {
    if (name_) {
        glDeleteTextures(1, &name_);
        owner_->textureDeleted(name_);
        name_ = 0;
    }
    owner_ = nullptr;
}

HRESULT Texture::create(Device* device, UINT width, UINT height, UINT levels, DWORD usage,
                        D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const TextureFormat* glFormat = findTextureFormat(format);
    if (!glFormat || !validPool(pool) || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    // Render-target and depth textures are not needed by the program.
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    const UINT limit = static_cast<UINT>(device->maxTextureSize());
    if (width > limit || height > limit) return D3DERR_INVALIDCALL;
    const UINT fullChain = fullMipChain(width, height);
    if (levels == 0) levels = fullChain;  // 0 asks for the whole chain down to 1x1
    if (levels > fullChain) return D3DERR_INVALIDCALL;
    if (!device->makeCurrent()) return D3DERR_INVALIDCALL;

    auto* created = new (std::nothrow) Texture(device, *glFormat, usage, pool);
    if (!created) return E_OUTOFMEMORY;
    if (!created->allocate(width, height, levels)) {
        created->Release();
        return E_OUTOFMEMORY;
    }
    *texture = created;
    return D3D_OK;
}

bool Texture::allocate(UINT width, UINT height, UINT levels) {
    try {
        levels_.resize(levels);
        for (UINT i = 0; i < levels; ++i) {
            Level& level = levels_[i];
            level.width = std::max(1u, width >> i);
            level.height = std::max(1u, height >> i);
            level.pixels.assign(size_t{level.width} * level.height * format_.bytesPerPixel, 0);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    glGenTextures(1, &name_);
    owner_->glCache().bindTextureForUpload(name_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels) - 1);
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, format_.swizzle);
    // Every level gets storage now, so the texture is complete for any filter.
    for (UINT i = 0; i < levels; ++i) {
        const Level& level = levels_[i];
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i),
                     static_cast<GLint>(format_.internalFormat), static_cast<GLsizei>(level.width),
                     static_cast<GLsizei>(level.height), 0, format_.uploadFormat,
                     format_.uploadType, level.pixels.data());
    }
    return true;
}

HRESULT Texture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) {
    if (!pDesc || Level >= levels_.size()) return D3DERR_INVALIDCALL;
    const auto& level = levels_[Level];
    pDesc->Format = format_.format;
    pDesc->Type = D3DRTYPE_SURFACE;
    pDesc->Usage = usage_;
    pDesc->Pool = pool_;
    pDesc->Size = static_cast<UINT>(level.pixels.size());
    pDesc->MultiSampleType = D3DMULTISAMPLE_NONE;
    pDesc->Width = level.width;
    pDesc->Height = level.height;
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) {
    if (!owner_ || !pLockedRect || Level >= levels_.size()) return D3DERR_INVALIDCALL;
    auto& level = levels_[Level];
    if (level.locked) return D3DERR_INVALIDCALL;
    RECT area{0, 0, static_cast<LONG>(level.width), static_cast<LONG>(level.height)};
    if (pRect) {
        const RECT& r = *pRect;
        if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom ||
            r.right > area.right || r.bottom > area.bottom) {
            return D3DERR_INVALIDCALL;
        }
        area = *pRect;
    }
    const size_t pitch = size_t{level.width} * format_.bytesPerPixel;
    pLockedRect->Pitch = static_cast<INT>(pitch);
    pLockedRect->pBits = level.pixels.data() + static_cast<size_t>(area.top) * pitch +
                         static_cast<size_t>(area.left) * format_.bytesPerPixel;
    level.locked = true;
    level.readOnly = (Flags & D3DLOCK_READONLY) != 0;
    level.lockedRect = area;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT Level) {
    if (Level >= levels_.size() || !levels_[Level].locked) return D3DERR_INVALIDCALL;
    auto& level = levels_[Level];
    level.locked = false;
    if (!level.readOnly && owner_ && owner_->makeCurrent()) upload(Level, level.lockedRect);
    return D3D_OK;
}

void Texture::upload(UINT index, const RECT& area) {
    const Level& level = levels_[index];
    const size_t pitch = size_t{level.width} * format_.bytesPerPixel;
    const uint8_t* first = level.pixels.data() + static_cast<size_t>(area.top) * pitch +
                           static_cast<size_t>(area.left) * format_.bytesPerPixel;
    owner_->glCache().bindTextureForUpload(name_);
    // Rows of the CPU copy are whole level widths apart, even for a sub-rectangle.
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(level.width));
    // Row 0 of the CPU copy is the top of the image, where v = 0; uploaded
    // first, it is also where GL's t = 0 is, so coordinates need no flip.
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(index), area.left, area.top,
                    area.right - area.left, area.bottom - area.top, format_.uploadFormat,
                    format_.uploadType, first);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// ---------------------------------------------------------------------------
// Buffers

bool BufferStorage::allocate(UINT length, DWORD usage, GlCache* elementBinding) {
    try {
        data_.assign(length, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    usage_ = usage;
    glGenBuffers(1, &name_);
    // WebGL2 gives a buffer its kind at its first binding, and an upload target
    // makes it a data buffer that can never hold indices: an index buffer is
    // bound as the element buffer first.
    if (elementBinding) elementBinding->bindElementBuffer(name_);
    // GL_COPY_WRITE_BUFFER is bound for uploads only: binding it disturbs
    // neither the vertex array's element buffer nor the attribute source.
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    glBufferData(GL_COPY_WRITE_BUFFER, length, data_.data(),
                 (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    return true;
}

HRESULT BufferStorage::lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (locked_ || offset >= data_.size()) return D3DERR_INVALIDCALL;
    const UINT available = static_cast<UINT>(data_.size()) - offset;
    if (size == 0) size = available;  // size 0 locks to the end of the buffer
    if (size > available) return D3DERR_INVALIDCALL;
    locked_ = true;
    lockOffset_ = offset;
    lockSize_ = size;
    lockFlags_ = flags;
    *data = data_.data() + offset;
    return D3D_OK;
}

HRESULT BufferStorage::unlock(Device* device) {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if ((lockFlags_ & D3DLOCK_READONLY) || !device || !name_ || !device->makeCurrent()) {
        return D3D_OK;
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    if (lockFlags_ & D3DLOCK_DISCARD) {
        // DISCARD leaves the old contents undefined: give GL fresh storage so a
        // draw still reading the old data need not finish first.
        glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(data_.size()), data_.data(),
                     (usage_ & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    } else {
        glBufferSubData(GL_COPY_WRITE_BUFFER, lockOffset_, lockSize_, data_.data() + lockOffset_);
    }
    return D3D_OK;
}

void BufferStorage::release(Device* device) {
    if (name_ && device && device->makeCurrent()) {
        glDeleteBuffers(1, &name_);
        device->bufferDeleted(name_);
    }
    name_ = 0;
}

// ---------------------------------------------------------------------------
// Vertex buffer

VertexBuffer::VertexBuffer(Device* device, DWORD usage, DWORD fvf, D3DPOOL pool)
    : DeviceChild(device), usage_(usage), fvf_(fvf), pool_(pool) {}

VertexBuffer::~VertexBuffer() { storage_.release(owner_); }

void VertexBuffer::detachFromDevice() {
    storage_.release(owner_);
    owner_ = nullptr;
}

HRESULT VertexBuffer::create(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer8** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || !validPool(pool)) return D3DERR_INVALIDCALL;
    // A buffer made for a vertex format must hold at least one vertex of it.
    if (fvf != 0) {
        const FvfLayout layout = parseFvf(fvf);
        if (!layout.valid || length < layout.size) return D3DERR_INVALIDCALL;
    }
    if (!device->makeCurrent()) return D3DERR_INVALIDCALL;
    auto* created = new (std::nothrow) VertexBuffer(device, usage, fvf, pool);
    if (!created) return E_OUTOFMEMORY;
    if (!created->storage_.allocate(length, usage)) {
        created->Release();
        return E_OUTOFMEMORY;
    }
    *buffer = created;
    return D3D_OK;
}

HRESULT VertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) {
    if (!owner_) {
        if (ppbData) *ppbData = nullptr;
        return D3DERR_INVALIDCALL;
    }
    return storage_.lock(OffsetToLock, SizeToLock, ppbData, Flags);
}

HRESULT VertexBuffer::Unlock() { return storage_.unlock(owner_); }

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    pDesc->Format = D3DFMT_VERTEXDATA;
    pDesc->Type = D3DRTYPE_VERTEXBUFFER;
    pDesc->Usage = usage_;
    pDesc->Pool = pool_;
    pDesc->Size = storage_.length();
    pDesc->FVF = fvf_;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Index buffer

IndexBuffer::IndexBuffer(Device* device, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : DeviceChild(device), usage_(usage), format_(format), pool_(pool) {}

IndexBuffer::~IndexBuffer() { storage_.release(owner_); }

void IndexBuffer::detachFromDevice() {
    storage_.release(owner_);
    owner_ = nullptr;
}

HRESULT IndexBuffer::create(Device* device, UINT length, DWORD usage, D3DFORMAT format,
                            D3DPOOL pool, IDirect3DIndexBuffer8** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || !validPool(pool)) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (!device->makeCurrent()) return D3DERR_INVALIDCALL;
    auto* created = new (std::nothrow) IndexBuffer(device, usage, format, pool);
    if (!created) return E_OUTOFMEMORY;
    if (!created->storage_.allocate(length, usage, &device->glCache())) {
        created->Release();
        return E_OUTOFMEMORY;
    }
    *buffer = created;
    return D3D_OK;
}

HRESULT IndexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) {
    if (!owner_) {
        if (ppbData) *ppbData = nullptr;
        return D3DERR_INVALIDCALL;
    }
    return storage_.lock(OffsetToLock, SizeToLock, ppbData, Flags);
}

HRESULT IndexBuffer::Unlock() {
    const HRESULT result = storage_.unlock(owner_);
    if (SUCCEEDED(result)) {
        // Keep an upper bound of the indices so draws can be checked against the
        // vertex buffer without scanning the indices every time.
        const UINT size = indexSize();
        const UINT first = (storage_.lastUploadOffset() + size - 1) / size;
        const UINT end = (storage_.lastUploadOffset() + storage_.lastUploadSize()) / size;
        if (end > first) maxIndex_ = std::max(maxIndex_, maxIndexIn(first, end - first));
    }
    return result;
}

uint32_t IndexBuffer::maxIndexIn(UINT first, UINT count) const {
    const UINT size = indexSize();
    const uint8_t* data = storage_.data();
    uint32_t highest = 0;
    for (UINT i = 0; i < count; ++i) {
        const size_t at = (size_t{first} + i) * size;
        if (size == 2) {
            uint16_t index;
            std::memcpy(&index, data + at, 2);
            highest = std::max<uint32_t>(highest, index);
        } else {
            uint32_t index;
            std::memcpy(&index, data + at, 4);
            highest = std::max(highest, index);
        }
    }
    return highest;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    pDesc->Format = format_;
    pDesc->Type = D3DRTYPE_INDEXBUFFER;
    pDesc->Usage = usage_;
    pDesc->Pool = pool_;
    pDesc->Size = storage_.length();
    return D3D_OK;
}

}  // namespace d3d8::gl
