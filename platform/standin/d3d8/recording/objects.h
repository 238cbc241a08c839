// The recording back end's objects. Internal: tests reach them through the
// Direct3D 8 interfaces and the look-ups in recording.h.
//
// Reference counting (see recording.h): `refs_` is the count AddRef and Release
// report. A resource's first reference holds one on its device, a device's
// existence one on its IDirect3D8 object; these are taken and dropped with the
// unrecorded addRefInternal/releaseInternal, since the program never made those
// calls. A resource set on the device is also held by a binding, which keeps it
// alive after its count reaches 0 but is not part of the count.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "d3d8.h"
#include "d3d8_state.h"
#include "recording.h"

namespace d3d8::recording {

// What every recording object has: its name in call texts and a place in the
// live-object count.
class RecordingObject {
public:
    explicit RecordingObject(const char* prefix);
    virtual ~RecordingObject();
    RecordingObject(const RecordingObject&) = delete;
    RecordingObject& operator=(const RecordingObject&) = delete;

    const std::string& name() const { return name_; }
    virtual ULONG refCount() const = 0;

private:
    std::string name_;
};

// Looks a Direct3D interface pointer up as a recording object (null when the
// pointer is null or belongs to another back end).
RecordingObject* asRecording(IUnknown* object);
// The name a call text gives an object.
std::string nameFor(IUnknown* object);

class Device;

class Direct3D final : public IDirect3D8, public RecordingObject {
public:
    Direct3D();

    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override;
    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                         DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                         IDirect3DDevice8** ppReturnedDeviceInterface) override;

    ULONG refCount() const override { return refs_; }
    void addRefInternal() { ++refs_; }
    void releaseInternal();

private:
    ~Direct3D() override = default;
    HRESULT createDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD flags,
                         const D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice8** device);

    ULONG refs_ = 1;
};

// Resource bookkeeping shared by textures and buffers: naming of their methods,
// the reference on the device, bindings, GetDevice and GetType.
template <class Interface>
class Resource : public Interface, public RecordingObject {
public:
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
    D3DRESOURCETYPE GetType() override;

    ULONG refCount() const override { return refs_; }
    Device& device() const { return *device_; }
    // An unrecorded AddRef, for the references Direct3D hands out itself (GetTexture).
    void addRefInternal();
    // The device's hold on a resource set on it.
    void bind() { ++bindings_; }
    void unbind();

protected:
    Resource(Device& device, const char* prefix, const char* interfaceName, D3DRESOURCETYPE type);
    ~Resource() override = default;

    // "IDirect3DTexture8::LockRect" and "tex1->LockRect".
    std::string method(const char* name) const;
    std::string head(const char* name) const;

private:
    void dropLastReference();

    Device* device_;
    const char* interfaceName_;
    D3DRESOURCETYPE type_;
    ULONG refs_ = 1;
    int bindings_ = 0;
};

// The memory behind a vertex or index buffer, with Direct3D 8's lock rules.
class BufferMemory {
public:
    explicit BufferMemory(UINT length) : bytes_(length) {}
    HRESULT lock(UINT offset, UINT size, BYTE** data);
    HRESULT unlock();
    UINT length() const { return static_cast<UINT>(bytes_.size()); }
    const std::vector<BYTE>& bytes() const { return bytes_; }

private:
    std::vector<BYTE> bytes_;
    int locks_ = 0;
};

class VertexBuffer final : public Resource<IDirect3DVertexBuffer8> {
public:
    VertexBuffer(Device& device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);

    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

    const BufferMemory& memory() const { return memory_; }

private:
    BufferMemory memory_;
    D3DVERTEXBUFFER_DESC desc_;
};

class IndexBuffer final : public Resource<IDirect3DIndexBuffer8> {
public:
    IndexBuffer(Device& device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);

    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

    const BufferMemory& memory() const { return memory_; }

private:
    BufferMemory memory_;
    D3DINDEXBUFFER_DESC desc_;
};

class Texture final : public Resource<IDirect3DTexture8> {
public:
    // `levels` must already be resolved (0 replaced by the full chain) and valid.
    Texture(Device& device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
            D3DPOOL pool, UINT bytesPerPixel);

    DWORD GetLevelCount() override;
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
                     DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;

    UINT levelCount() const { return static_cast<UINT>(levels_.size()); }
    const std::vector<BYTE>* levelBytes(UINT level) const;

private:
    struct Level {
        UINT width;
        UINT height;
        std::vector<BYTE> bytes;  // rows of width * bytesPerPixel bytes, no padding
        bool locked;
    };
    HRESULT lockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect);
    HRESULT unlockRect(UINT level);

    std::vector<Level> levels_;
    D3DFORMAT format_;
    DWORD usage_;
    D3DPOOL pool_;
    UINT bytesPerPixel_;
};

// Bytes per pixel of the formats a texture may have; 0 for one it may not.
UINT bytesPerPixel(D3DFORMAT format);
// Levels of a full mip chain down to 1 x 1.
UINT fullChainLevels(UINT width, UINT height);

class Device final : public IDirect3DDevice8, public RecordingObject {
public:
    static constexpr UINT kMaxStreams = 16;
    static constexpr UINT kMaxTextureSize = 4096;
    static constexpr UINT kMaxBufferLength = 64u << 20;

    Device(Direct3D& parent, const D3DPRESENT_PARAMETERS& parameters, UINT backBufferWidth,
           UINT backBufferHeight);

    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                  DWORD Stencil) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const RGNDATA* pDirtyRegion) override;

    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT SetViewport(const D3DVIEWPORT8* pViewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* pViewport) override;

    HRESULT SetLight(DWORD Index, const D3DLIGHT8* pLight) override;
    HRESULT GetLight(DWORD Index, D3DLIGHT8* pLight) override;
    HRESULT LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT GetLightEnable(DWORD Index, BOOL* pEnable) override;
    HRESULT SetMaterial(const D3DMATERIAL8* pMaterial) override;
    HRESULT GetMaterial(D3DMATERIAL8* pMaterial) override;

    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) override;
    HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) override;

    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                          D3DPOOL Pool, IDirect3DTexture8** ppTexture) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer8** ppVertexBuffer) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer8** ppIndexBuffer) override;

    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData,
                            UINT Stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) override;
    HRESULT SetVertexShader(DWORD Handle) override;
    HRESULT GetVertexShader(DWORD* pHandle) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                          UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT MinIndex, UINT NumVertices,
                                 UINT StartIndex, UINT PrimitiveCount) override;

    ULONG refCount() const override { return refs_; }
    void addRefInternal() { ++refs_; }
    void releaseInternal();

    const DeviceState& state() const { return state_; }
    VertexBuffer* streamSource(UINT stream, UINT* stride) const;
    IndexBuffer* indices(UINT* baseVertexIndex) const;
    bool inScene() const { return inScene_; }
    Texture* texture(DWORD stage) const { return stage < textures_.size() ? textures_[stage] : nullptr; }

private:
    struct Stream {
        VertexBuffer* buffer = nullptr;
        UINT stride = 0;
    };

    ~Device() override;
    // Records a call made on the device and returns its result.
    HRESULT finish(const char* method, const std::string& text, HRESULT result);
    // Asks the recorder whether this call is to fail.
    static bool planned(const char* method, HRESULT& forced);
    void tellDrawObserver(const DrawCall& draw);

    HRESULT clear(DWORD count, const D3DRECT* rects, DWORD flags);
    HRESULT setTexture(DWORD stage, IDirect3DBaseTexture8* texture);
    HRESULT setStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride);
    HRESULT setIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex);
    HRESULT createTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture8** texture);
    HRESULT createVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer);
    HRESULT createIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** buffer);
    D3DMATRIX* transform(D3DTRANSFORMSTATETYPE type, bool create);
    LightSlot* light(DWORD index, bool create);
    bool hasStencil() const;

    Direct3D& parent_;
    ULONG refs_ = 1;
    D3DPRESENT_PARAMETERS parameters_;
    DeviceState state_;
    // World matrices past the first (D3DTS_WORLDMATRIX(1..255)) and lights past
    // the shared state's table, kept only if ever set.
    std::map<DWORD, D3DMATRIX> extraWorlds_;
    std::map<DWORD, LightSlot> extraLights_;
    std::array<Texture*, kMaxTextureStages> textures_{};
    std::array<Stream, kMaxStreams> streams_{};
    IndexBuffer* indices_ = nullptr;
    UINT baseVertexIndex_ = 0;
    bool inScene_ = false;
};

}  // namespace d3d8::recording
