// Recording textures, vertex buffers and index buffers. They hold real memory,
// so what a test (or the code under test) writes through a lock can be read back.
#include <algorithm>
#include <cstdint>

#include "call_text.h"
#include "objects.h"

namespace d3d8::recording {
namespace {

// Records a resource call and returns its result.
HRESULT finish(const std::string& method, const std::string& callText, HRESULT result) {
    recorder().record(method, callText, result);
    return result;
}

bool planned(const std::string& method, HRESULT& forced) {
    return recorder().plannedFailure(method, forced);
}

}  // namespace

// ---------------------------------------------------------------------------
// Resource

template <class Interface>
Resource<Interface>::Resource(Device& device, const char* prefix, const char* interfaceName,
                              D3DRESOURCETYPE type)
    : RecordingObject(prefix), device_(&device), interfaceName_(interfaceName), type_(type) {
    device_->addRefInternal();
}

template <class Interface>
std::string Resource<Interface>::method(const char* methodName) const {
    return std::string(interfaceName_) + "::" + methodName;
}

template <class Interface>
std::string Resource<Interface>::head(const char* methodName) const {
    return name() + "->" + methodName;
}

template <class Interface>
void Resource<Interface>::addRefInternal() {
    // A resource revived from 0 (possible while the device still holds it) takes
    // its reference on the device again.
    if (refs_++ == 0) device_->addRefInternal();
}

template <class Interface>
ULONG Resource<Interface>::AddRef() {
    addRefInternal();
    recorder().record(method("AddRef"), head("AddRef") + "()", static_cast<HRESULT>(refs_));
    return refs_;
}

template <class Interface>
ULONG Resource<Interface>::Release() {
    const ULONG count = refs_ > 0 ? refs_ - 1 : 0;
    recorder().record(method("Release"), head("Release") + "()", static_cast<HRESULT>(count));
    if (refs_ > 0 && --refs_ == 0) dropLastReference();
    return count;
}

template <class Interface>
void Resource<Interface>::dropLastReference() {
    Device* device = device_;
    if (bindings_ == 0) delete this;
    // May destroy the device, which lets go of what it still holds (this too).
    device->releaseInternal();
}

template <class Interface>
void Resource<Interface>::unbind() {
    if (--bindings_ == 0 && refs_ == 0) delete this;
}

template <class Interface>
HRESULT Resource<Interface>::GetDevice(IDirect3DDevice8** ppDevice) {
    const std::string methodName = method("GetDevice");
    std::string callText = text::call(head("GetDevice"), {text::outPointer(ppDevice)});
    HRESULT result = D3D_OK;
    if (planned(methodName, result)) {
        if (ppDevice) *ppDevice = nullptr;
    } else if (!ppDevice) {
        result = D3DERR_INVALIDCALL;
    } else {
        device_->addRefInternal();  // the caller owns the reference it gets
        *ppDevice = device_;
        callText = text::gave(callText, device_->name());
    }
    return finish(methodName, callText, result);
}

template <class Interface>
D3DRESOURCETYPE Resource<Interface>::GetType() {
    recorder().record(method("GetType"), head("GetType") + "()", static_cast<HRESULT>(type_));
    return type_;
}

template class Resource<IDirect3DTexture8>;
template class Resource<IDirect3DVertexBuffer8>;
template class Resource<IDirect3DIndexBuffer8>;

// ---------------------------------------------------------------------------
// Buffers

// Size 0 locks from the offset to the end; a range past the end is refused.
// Buffers may be locked again while locked (each lock needs its unlock).
HRESULT BufferMemory::lock(UINT offset, UINT size, BYTE** data) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (offset >= bytes_.size()) return D3DERR_INVALIDCALL;
    const uint64_t end = static_cast<uint64_t>(offset) + (size == 0 ? bytes_.size() - offset : size);
    if (end > bytes_.size()) return D3DERR_INVALIDCALL;
    *data = bytes_.data() + offset;
    ++locks_;
    return D3D_OK;
}

HRESULT BufferMemory::unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    --locks_;
    return D3D_OK;
}

namespace {

HRESULT lockBuffer(const std::string& method, const std::string& head, BufferMemory& memory,
                   UINT offset, UINT size, BYTE** data, DWORD flags) {
    const std::string callText =
        text::call(head, {text::dec(offset), text::dec(size), text::outPointer(data), text::hex(flags)});
    HRESULT result = D3D_OK;
    if (planned(method, result)) {
        if (data) *data = nullptr;
    } else {
        result = memory.lock(offset, size, data);
    }
    return finish(method, callText, result);
}

HRESULT unlockBuffer(const std::string& method, const std::string& head, BufferMemory& memory) {
    HRESULT result = D3D_OK;
    if (!planned(method, result)) result = memory.unlock();
    return finish(method, head + "()", result);
}

}  // namespace

VertexBuffer::VertexBuffer(Device& device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : Resource(device, "vb", "IDirect3DVertexBuffer8", D3DRTYPE_VERTEXBUFFER),
      memory_(length),
      desc_{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf} {}

HRESULT VertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) {
    return lockBuffer(method("Lock"), head("Lock"), memory_, OffsetToLock, SizeToLock,
                                    ppbData, Flags);
}

HRESULT VertexBuffer::Unlock() { return unlockBuffer(method("Unlock"), head("Unlock"), memory_); }

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    const std::string methodName = method("GetDesc");
    std::string callText = text::call(head("GetDesc"), {text::outPointer(pDesc)});
    HRESULT result = D3D_OK;
    if (!planned(methodName, result)) {
        if (!pDesc) {
            result = D3DERR_INVALIDCALL;
        } else {
            *pDesc = desc_;
            callText = text::gave(callText, text::vertexBufferDesc(desc_));
        }
    }
    return finish(methodName, callText, result);
}

IndexBuffer::IndexBuffer(Device& device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : Resource(device, "ib", "IDirect3DIndexBuffer8", D3DRTYPE_INDEXBUFFER),
      memory_(length),
      desc_{format, D3DRTYPE_INDEXBUFFER, usage, pool, length} {}

HRESULT IndexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) {
    return lockBuffer(method("Lock"), head("Lock"), memory_, OffsetToLock, SizeToLock,
                                   ppbData, Flags);
}

HRESULT IndexBuffer::Unlock() { return unlockBuffer(method("Unlock"), head("Unlock"), memory_); }

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
    const std::string methodName = method("GetDesc");
    std::string callText = text::call(head("GetDesc"), {text::outPointer(pDesc)});
    HRESULT result = D3D_OK;
    if (!planned(methodName, result)) {
        if (!pDesc) {
            result = D3DERR_INVALIDCALL;
        } else {
            *pDesc = desc_;
            callText = text::gave(callText, text::indexBufferDesc(desc_));
        }
    }
    return finish(methodName, callText, result);
}

// ---------------------------------------------------------------------------
// Textures

UINT bytesPerPixel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_D32:
        case D3DFMT_D24S8:
        case D3DFMT_D24X8:
            return 4;
        case D3DFMT_R8G8B8:
            return 3;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_D16_LOCKABLE:
        case D3DFMT_D16:
            return 2;
        case D3DFMT_L8:
            return 1;
        default:
            return 0;
    }
}

UINT fullChainLevels(UINT width, UINT height) {
    UINT levels = 1;
    for (UINT size = std::max(width, height); size > 1; size /= 2) ++levels;
    return levels;
}

Texture::Texture(Device& device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                 D3DPOOL pool, UINT bytesPerPixel)
    : Resource(device, "tex", "IDirect3DTexture8", D3DRTYPE_TEXTURE),
      format_(format),
      usage_(usage),
      pool_(pool),
      bytesPerPixel_(bytesPerPixel) {
    levels_.reserve(levels);
    for (UINT i = 0; i < levels; ++i) {
        const UINT w = std::max(1u, width >> i);
        const UINT h = std::max(1u, height >> i);
        levels_.push_back(Level{w, h, std::vector<BYTE>(size_t{w} * h * bytesPerPixel), false});
    }
}

const std::vector<BYTE>* Texture::levelBytes(UINT level) const {
    return level < levels_.size() ? &levels_[level].bytes : nullptr;
}

DWORD Texture::GetLevelCount() {
    HRESULT forced = D3D_OK;
    const DWORD count = planned(method("GetLevelCount"), forced) ? 0 : levelCount();
    recorder().record(method("GetLevelCount"), head("GetLevelCount") + "()", static_cast<HRESULT>(count));
    return count;
}

HRESULT Texture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) {
    const std::string methodName = method("GetLevelDesc");
    std::string callText = text::call(head("GetLevelDesc"), {text::dec(Level), text::outPointer(pDesc)});
    HRESULT result = D3D_OK;
    if (!planned(methodName, result)) {
        if (Level >= levels_.size() || !pDesc) {
            result = D3DERR_INVALIDCALL;
        } else {
            const auto& level = levels_[Level];
            *pDesc = D3DSURFACE_DESC{format_, D3DRTYPE_SURFACE, usage_, pool_,
                                     static_cast<UINT>(level.bytes.size()), D3DMULTISAMPLE_NONE,
                                     level.width, level.height};
            callText = text::gave(callText, text::surfaceDesc(*pDesc));
        }
    }
    return finish(methodName, callText, result);
}

HRESULT Texture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) {
    const std::string methodName = method("LockRect");
    const std::string callText = text::call(
        head("LockRect"), {text::dec(Level), text::outPointer(pLockedRect), text::rect(pRect), text::hex(Flags)});
    HRESULT result = D3D_OK;
    if (planned(methodName, result)) {
        if (pLockedRect) *pLockedRect = D3DLOCKED_RECT{0, nullptr};
    } else {
        result = lockRect(Level, pLockedRect, pRect);
    }
    return finish(methodName, callText, result);
}

// A level is locked once at a time; the rectangle must lie inside it.
HRESULT Texture::lockRect(UINT levelIndex, D3DLOCKED_RECT* locked, const RECT* rect) {
    if (!locked) return D3DERR_INVALIDCALL;
    *locked = D3DLOCKED_RECT{0, nullptr};
    if (levelIndex >= levels_.size()) return D3DERR_INVALIDCALL;
    Level& level = levels_[levelIndex];
    if (level.locked) return D3DERR_INVALIDCALL;
    RECT area{0, 0, static_cast<LONG>(level.width), static_cast<LONG>(level.height)};
    if (rect) {
        const bool inside = rect->left >= 0 && rect->top >= 0 && rect->left < rect->right &&
                            rect->top < rect->bottom && rect->right <= area.right &&
                            rect->bottom <= area.bottom;
        if (!inside) return D3DERR_INVALIDCALL;
        area = *rect;
    }
    const size_t pitch = size_t{level.width} * bytesPerPixel_;
    locked->Pitch = static_cast<INT>(pitch);
    locked->pBits = level.bytes.data() + size_t(area.top) * pitch + size_t(area.left) * bytesPerPixel_;
    level.locked = true;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT Level) {
    const std::string methodName = method("UnlockRect");
    HRESULT result = D3D_OK;
    if (!planned(methodName, result)) result = unlockRect(Level);
    return finish(methodName, text::call(head("UnlockRect"), {text::dec(Level)}), result);
}

HRESULT Texture::unlockRect(UINT levelIndex) {
    if (levelIndex >= levels_.size() || !levels_[levelIndex].locked) return D3DERR_INVALIDCALL;
    levels_[levelIndex].locked = false;
    return D3D_OK;
}

}  // namespace d3d8::recording
