// The recording IDirect3DDevice8: records every call, keeps the state it is
// given (starting from the documented defaults of a new device) and returns it
// from the Get calls, and checks arguments where Direct3D 8 documents a failure.
#include <new>

#include "call_text.h"
#include "objects.h"

namespace d3d8::recording {
namespace {

bool below(DWORD value, int count) { return value < static_cast<DWORD>(count); }

bool validPrimitiveType(D3DPRIMITIVETYPE type) {
    return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN;
}

bool validPool(D3DPOOL pool) { return pool >= D3DPOOL_DEFAULT && pool <= D3DPOOL_SCRATCH; }

bool validLightType(D3DLIGHTTYPE type) { return type >= D3DLIGHT_POINT && type <= D3DLIGHT_DIRECTIONAL; }

bool isWorldMatrix(DWORD type) { return type >= 256 && type < 512; }  // D3DTS_WORLDMATRIX(0..255)

// A resource passed to the device must be one of this back end's, made by this device.
template <class Recording, class Interface>
Recording* ownResource(Interface* resource, const Device& device) {
    auto* recording = dynamic_cast<Recording*>(resource);
    return recording && &recording->device() == &device ? recording : nullptr;
}

}  // namespace

Device::Device(Direct3D& parent, const D3DPRESENT_PARAMETERS& parameters, UINT backBufferWidth,
               UINT backBufferHeight)
    : RecordingObject("dev"), parent_(parent), parameters_(parameters) {
    parent_.addRefInternal();
    resetToDefaults(state_, parameters.EnableAutoDepthStencil != FALSE, backBufferWidth, backBufferHeight);
}

// The device lets go of everything still set on it.
Device::~Device() {
    for (Texture*& texture : textures_) {
        if (texture) texture->unbind();
        texture = nullptr;
    }
    for (Stream& stream : streams_) {
        if (stream.buffer) stream.buffer->unbind();
        stream.buffer = nullptr;
    }
    if (indices_) indices_->unbind();
    indices_ = nullptr;
    parent_.releaseInternal();
}

HRESULT Device::finish(const char* method, const std::string& callText, HRESULT result) {
    recorder().record(method, callText, result);
    return result;
}

bool Device::planned(const char* method, HRESULT& forced) {
    return recorder().plannedFailure(method, forced);
}

// ---------------------------------------------------------------------------
// Reference counting

ULONG Device::AddRef() {
    ++refs_;
    recorder().record("IDirect3DDevice8::AddRef", name() + "->AddRef()", static_cast<HRESULT>(refs_));
    return refs_;
}

ULONG Device::Release() {
    const ULONG count = refs_ > 0 ? refs_ - 1 : 0;
    recorder().record("IDirect3DDevice8::Release", name() + "->Release()", static_cast<HRESULT>(count));
    if (refs_ > 0) releaseInternal();
    return count;
}

void Device::releaseInternal() {
    if (--refs_ == 0) delete this;
}

// ---------------------------------------------------------------------------
// Frames

HRESULT Device::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                      DWORD Stencil) {
    const std::string callText =
        text::call("Clear", {text::dec(Count), text::rects(Count, pRects), text::hex(Flags),
                             text::color(Color), text::number(Z), text::dec(Stencil)});
    HRESULT result = D3D_OK;
    if (!planned("Clear", result)) result = clear(Count, pRects, Flags);
    return finish("Clear", callText, result);
}

// Clearing depth or stencil needs a depth-stencil surface that has them. A count
// without rectangles clears the whole target, as Direct3D does.
HRESULT Device::clear(DWORD, const D3DRECT*, DWORD flags) {
    if ((flags & D3DCLEAR_ZBUFFER) && !parameters_.EnableAutoDepthStencil) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && !hasStencil()) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

bool Device::hasStencil() const {
    return parameters_.EnableAutoDepthStencil && parameters_.AutoDepthStencilFormat == D3DFMT_D24S8;
}

HRESULT Device::BeginScene() {
    HRESULT result = D3D_OK;
    if (!planned("BeginScene", result)) {
        if (inScene_) {
            result = D3DERR_INVALIDCALL;  // scenes do not nest; the open one stays open
        } else {
            inScene_ = true;
        }
    }
    return finish("BeginScene", "BeginScene()", result);
}

HRESULT Device::EndScene() {
    HRESULT result = D3D_OK;
    if (!planned("EndScene", result)) {
        if (!inScene_) {
            result = D3DERR_INVALIDCALL;
        } else {
            inScene_ = false;
        }
    }
    return finish("EndScene", "EndScene()", result);
}

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                        const RGNDATA* pDirtyRegion) {
    const std::string callText =
        text::call("Present", {text::rect(pSourceRect), text::rect(pDestRect),
                               text::window(hDestWindowOverride), pDirtyRegion ? "rgn" : "null"});
    HRESULT result = D3D_OK;
    planned("Present", result);  // nothing to do beyond recording, inside a scene or not
    return finish("Present", callText, result);
}

// ---------------------------------------------------------------------------
// Render states, texture stage states, transforms, viewport

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    const std::string callText =
        text::call("SetRenderState", {text::dec(State), text::renderStateValue(State, Value)});
    HRESULT result = D3D_OK;
    if (!planned("SetRenderState", result)) {
        if (below(State, kRenderStateCount)) {
            state_.renderStates[State] = Value;
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("SetRenderState", callText, result);
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    std::string callText = text::call("GetRenderState", {text::dec(State), text::outPointer(pValue)});
    HRESULT result = D3D_OK;
    if (!planned("GetRenderState", result)) {
        if (pValue && below(State, kRenderStateCount)) {
            *pValue = state_.renderStates[State];
            callText = text::gave(callText, text::renderStateValue(State, *pValue));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetRenderState", callText, result);
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
    const std::string callText = text::call(
        "SetTextureStageState", {text::dec(Stage), text::dec(Type), text::stageStateValue(Type, Value)});
    HRESULT result = D3D_OK;
    if (!planned("SetTextureStageState", result)) {
        if (below(Stage, kMaxTextureStages) && below(Type, kStageStateCount)) {
            state_.stageStates[Stage][Type] = Value;
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("SetTextureStageState", callText, result);
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) {
    std::string callText = text::call("GetTextureStageState",
                                      {text::dec(Stage), text::dec(Type), text::outPointer(pValue)});
    HRESULT result = D3D_OK;
    if (!planned("GetTextureStageState", result)) {
        if (pValue && below(Stage, kMaxTextureStages) && below(Type, kStageStateCount)) {
            *pValue = state_.stageStates[Stage][Type];
            callText = text::gave(callText, text::stageStateValue(Type, *pValue));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetTextureStageState", callText, result);
}

// The slot of a transform type; world matrices past the first are made on first
// use when `create` is set. Null for a type Direct3D 8 does not have (or an
// extra world matrix never set, when not creating).
D3DMATRIX* Device::transform(D3DTRANSFORMSTATETYPE type, bool create) {
    if (D3DMATRIX* slot = transformSlot(state_, type)) return slot;
    if (!isWorldMatrix(type)) return nullptr;
    auto found = extraWorlds_.find(type);
    if (found != extraWorlds_.end()) return &found->second;
    if (!create) return nullptr;
    return &extraWorlds_.emplace(type, identityMatrix()).first->second;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    const std::string callText = text::call("SetTransform", {text::dec(State), text::matrix(pMatrix)});
    HRESULT result = D3D_OK;
    if (!planned("SetTransform", result)) {
        D3DMATRIX* slot = pMatrix ? transform(State, true) : nullptr;
        if (slot) {
            *slot = *pMatrix;
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("SetTransform", callText, result);
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    std::string callText = text::call("GetTransform", {text::dec(State), text::outPointer(pMatrix)});
    HRESULT result = D3D_OK;
    if (!planned("GetTransform", result)) {
        const D3DMATRIX* slot = transform(State, false);
        if (!slot && isWorldMatrix(State)) slot = &identityMatrix();  // never set: still the default
        if (pMatrix && slot) {
            *pMatrix = *slot;
            callText = text::gave(callText, text::matrix(pMatrix));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetTransform", callText, result);
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* pViewport) {
    const std::string callText = text::call("SetViewport", {text::viewport(pViewport)});
    HRESULT result = D3D_OK;
    if (!planned("SetViewport", result)) {
        if (pViewport) {
            state_.viewport = *pViewport;
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("SetViewport", callText, result);
}

HRESULT Device::GetViewport(D3DVIEWPORT8* pViewport) {
    std::string callText = text::call("GetViewport", {text::outPointer(pViewport)});
    HRESULT result = D3D_OK;
    if (!planned("GetViewport", result)) {
        if (pViewport) {
            *pViewport = state_.viewport;
            callText = text::gave(callText, text::viewport(pViewport));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetViewport", callText, result);
}

// ---------------------------------------------------------------------------
// Lights and material

// The slot of a light index; indices past the shared table live in a map, made
// on first use when `create` is set.
LightSlot* Device::light(DWORD index, bool create) {
    if (below(index, static_cast<int>(state_.lights.size()))) return &state_.lights[index];
    auto found = extraLights_.find(index);
    if (found != extraLights_.end()) return &found->second;
    if (!create) return nullptr;
    return &extraLights_.emplace(index, LightSlot{defaultLight(), false, false}).first->second;
}

HRESULT Device::SetLight(DWORD Index, const D3DLIGHT8* pLight) {
    const std::string callText = text::call("SetLight", {text::dec(Index), text::light(pLight)});
    HRESULT result = D3D_OK;
    if (!planned("SetLight", result)) {
        if (pLight && validLightType(pLight->Type)) {
            LightSlot* slot = light(Index, true);
            slot->light = *pLight;
            slot->defined = true;  // keeps its enabled flag
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("SetLight", callText, result);
}

HRESULT Device::GetLight(DWORD Index, D3DLIGHT8* pLight) {
    std::string callText = text::call("GetLight", {text::dec(Index), text::outPointer(pLight)});
    HRESULT result = D3D_OK;
    if (!planned("GetLight", result)) {
        const LightSlot* slot = light(Index, false);
        if (pLight && slot && slot->defined) {
            *pLight = slot->light;
            callText = text::gave(callText, text::light(pLight));
        } else {
            result = D3DERR_INVALIDCALL;  // never set: Direct3D has nothing to return
        }
    }
    return finish("GetLight", callText, result);
}

// Enabling (or disabling) an index that was never set first creates the default
// light there, as Direct3D documents.
HRESULT Device::LightEnable(DWORD Index, BOOL Enable) {
    const std::string callText = text::call("LightEnable", {text::dec(Index), std::to_string(Enable)});
    HRESULT result = D3D_OK;
    if (!planned("LightEnable", result)) {
        LightSlot* slot = light(Index, true);
        if (!slot->defined) {
            slot->light = defaultLight();
            slot->defined = true;
        }
        slot->enabled = Enable != FALSE;
    }
    return finish("LightEnable", callText, result);
}

HRESULT Device::GetLightEnable(DWORD Index, BOOL* pEnable) {
    std::string callText = text::call("GetLightEnable", {text::dec(Index), text::outPointer(pEnable)});
    HRESULT result = D3D_OK;
    if (!planned("GetLightEnable", result)) {
        const LightSlot* slot = light(Index, false);
        if (pEnable && slot && slot->defined) {
            *pEnable = slot->enabled ? TRUE : FALSE;
            callText = text::gave(callText, std::to_string(*pEnable));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetLightEnable", callText, result);
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* pMaterial) {
    const std::string callText = text::call("SetMaterial", {text::material(pMaterial)});
    HRESULT result = D3D_OK;
    if (!planned("SetMaterial", result)) {
        if (pMaterial) {
            state_.material = *pMaterial;
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("SetMaterial", callText, result);
}

HRESULT Device::GetMaterial(D3DMATERIAL8* pMaterial) {
    std::string callText = text::call("GetMaterial", {text::outPointer(pMaterial)});
    HRESULT result = D3D_OK;
    if (!planned("GetMaterial", result)) {
        if (pMaterial) {
            *pMaterial = state_.material;
            callText = text::gave(callText, text::material(pMaterial));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetMaterial", callText, result);
}

// ---------------------------------------------------------------------------
// Textures

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) {
    const std::string callText = text::call("SetTexture", {text::dec(Stage), text::object(pTexture)});
    HRESULT result = D3D_OK;
    if (!planned("SetTexture", result)) result = setTexture(Stage, pTexture);
    return finish("SetTexture", callText, result);
}

HRESULT Device::setTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    if (!below(stage, kMaxTextureStages)) return D3DERR_INVALIDCALL;
    Texture* next = nullptr;
    if (texture) {
        next = ownResource<Texture>(texture, *this);
        if (!next) return D3DERR_INVALIDCALL;
        next->bind();  // before letting go of the old one, which may be the same texture
    }
    if (textures_[stage]) textures_[stage]->unbind();
    textures_[stage] = next;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) {
    std::string callText = text::call("GetTexture", {text::dec(Stage), text::outPointer(ppTexture)});
    if (ppTexture) *ppTexture = nullptr;
    HRESULT result = D3D_OK;
    if (!planned("GetTexture", result)) {
        if (ppTexture && below(Stage, kMaxTextureStages)) {
            Texture* texture = textures_[Stage];
            if (texture) texture->addRefInternal();  // documented: the caller must Release it
            *ppTexture = texture;
            callText = text::gave(callText, text::object(texture));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetTexture", callText, result);
}

// ---------------------------------------------------------------------------
// Resource creation. Out-pointers are cleared first: Direct3D leaves them null
// on every failure.

HRESULT Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                              D3DPOOL Pool, IDirect3DTexture8** ppTexture) {
    std::string callText = text::call(
        "CreateTexture", {text::dec(Width), text::dec(Height), text::dec(Levels), text::hex(Usage),
                          text::dec(Format), text::dec(Pool), text::outPointer(ppTexture)});
    if (ppTexture) *ppTexture = nullptr;
    HRESULT result = D3D_OK;
    if (!planned("CreateTexture", result)) {
        result = createTexture(Width, Height, Levels, Usage, Format, Pool, ppTexture);
        if (SUCCEEDED(result)) callText = text::gave(callText, text::object(*ppTexture));
    }
    return finish("CreateTexture", callText, result);
}

// Levels 0 asks for the full chain down to 1 x 1; more levels than that chain has
// is an error, as are sizes of 0 or past what the device supports.
HRESULT Device::createTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize) {
        return D3DERR_INVALIDCALL;
    }
    const UINT pixelBytes = bytesPerPixel(format);
    if (pixelBytes == 0 || !validPool(pool)) return D3DERR_INVALIDCALL;
    const UINT chain = fullChainLevels(width, height);
    if (levels > chain) return D3DERR_INVALIDCALL;
    try {
        *texture = new Texture(*this, width, height, levels == 0 ? chain : levels, usage, format, pool,
                               pixelBytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                   IDirect3DVertexBuffer8** ppVertexBuffer) {
    std::string callText =
        text::call("CreateVertexBuffer", {text::dec(Length), text::hex(Usage), text::hex(FVF),
                                          text::dec(Pool), text::outPointer(ppVertexBuffer)});
    if (ppVertexBuffer) *ppVertexBuffer = nullptr;
    HRESULT result = D3D_OK;
    if (!planned("CreateVertexBuffer", result)) {
        result = createVertexBuffer(Length, Usage, FVF, Pool, ppVertexBuffer);
        if (SUCCEEDED(result)) callText = text::gave(callText, text::object(*ppVertexBuffer));
    }
    return finish("CreateVertexBuffer", callText, result);
}

HRESULT Device::createVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer8** buffer) {
    if (!buffer || length == 0 || !validPool(pool)) return D3DERR_INVALIDCALL;
    if (length > kMaxBufferLength) return D3DERR_OUTOFVIDEOMEMORY;
    try {
        *buffer = new VertexBuffer(*this, length, usage, fvf, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DIndexBuffer8** ppIndexBuffer) {
    std::string callText =
        text::call("CreateIndexBuffer", {text::dec(Length), text::hex(Usage), text::dec(Format),
                                         text::dec(Pool), text::outPointer(ppIndexBuffer)});
    if (ppIndexBuffer) *ppIndexBuffer = nullptr;
    HRESULT result = D3D_OK;
    if (!planned("CreateIndexBuffer", result)) {
        result = createIndexBuffer(Length, Usage, Format, Pool, ppIndexBuffer);
        if (SUCCEEDED(result)) callText = text::gave(callText, text::object(*ppIndexBuffer));
    }
    return finish("CreateIndexBuffer", callText, result);
}

HRESULT Device::createIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer8** buffer) {
    if (!buffer || length == 0 || !validPool(pool)) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (length > kMaxBufferLength) return D3DERR_OUTOFVIDEOMEMORY;
    try {
        *buffer = new IndexBuffer(*this, length, usage, format, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Streams, indices, vertex format and drawing

HRESULT Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) {
    const std::string callText =
        text::call("SetStreamSource", {text::dec(StreamNumber), text::object(pStreamData), text::dec(Stride)});
    HRESULT result = D3D_OK;
    if (!planned("SetStreamSource", result)) result = setStreamSource(StreamNumber, pStreamData, Stride);
    return finish("SetStreamSource", callText, result);
}

HRESULT Device::setStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
    if (stream >= kMaxStreams) return D3DERR_INVALIDCALL;
    VertexBuffer* next = nullptr;
    if (buffer) {
        next = ownResource<VertexBuffer>(buffer, *this);
        if (!next) return D3DERR_INVALIDCALL;
        next->bind();
    }
    if (streams_[stream].buffer) streams_[stream].buffer->unbind();
    streams_[stream] = Stream{next, stride};
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) {
    const std::string callText = text::call("SetIndices", {text::object(pIndexData), text::dec(BaseVertexIndex)});
    HRESULT result = D3D_OK;
    if (!planned("SetIndices", result)) result = setIndices(pIndexData, BaseVertexIndex);
    return finish("SetIndices", callText, result);
}

HRESULT Device::setIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) {
    IndexBuffer* next = nullptr;
    if (buffer) {
        next = ownResource<IndexBuffer>(buffer, *this);
        if (!next) return D3DERR_INVALIDCALL;
        next->bind();
    }
    if (indices_) indices_->unbind();
    indices_ = next;
    baseVertexIndex_ = baseVertexIndex;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(DWORD Handle) {
    HRESULT result = D3D_OK;
    if (!planned("SetVertexShader", result)) state_.vertexShader = Handle;
    return finish("SetVertexShader", text::call("SetVertexShader", {text::hex(Handle)}), result);
}

HRESULT Device::GetVertexShader(DWORD* pHandle) {
    std::string callText = text::call("GetVertexShader", {text::outPointer(pHandle)});
    HRESULT result = D3D_OK;
    if (!planned("GetVertexShader", result)) {
        if (pHandle) {
            *pHandle = state_.vertexShader;
            callText = text::gave(callText, text::hex(*pHandle));
        } else {
            result = D3DERR_INVALIDCALL;
        }
    }
    return finish("GetVertexShader", callText, result);
}

// Draws are recorded, not carried out; only what Direct3D refuses outright fails.
HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) {
    const std::string callText = text::call(
        "DrawPrimitive", {text::dec(PrimitiveType), text::dec(StartVertex), text::dec(PrimitiveCount)});
    HRESULT result = D3D_OK;
    if (!planned("DrawPrimitive", result) && !validPrimitiveType(PrimitiveType)) {
        result = D3DERR_INVALIDCALL;
    }
    if (result == D3D_OK) tellDrawObserver({false, PrimitiveType, StartVertex, PrimitiveCount, 0, 0});
    return finish("DrawPrimitive", callText, result);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT MinIndex, UINT NumVertices,
                                     UINT StartIndex, UINT PrimitiveCount) {
    const std::string callText =
        text::call("DrawIndexedPrimitive", {text::dec(PrimitiveType), text::dec(MinIndex),
                                            text::dec(NumVertices), text::dec(StartIndex),
                                            text::dec(PrimitiveCount)});
    HRESULT result = D3D_OK;
    if (!planned("DrawIndexedPrimitive", result)) {
        if (!validPrimitiveType(PrimitiveType) || !indices_) result = D3DERR_INVALIDCALL;
    }
    if (result == D3D_OK) {
        tellDrawObserver({true, PrimitiveType, StartIndex, PrimitiveCount, MinIndex, NumVertices});
    }
    return finish("DrawIndexedPrimitive", callText, result);
}

void Device::tellDrawObserver(const DrawCall& draw) {
    if (const DrawObserver& observer = recorder().drawObserver()) observer(this, draw);
}

// ---------------------------------------------------------------------------
// Look-ups for tests

VertexBuffer* Device::streamSource(UINT stream, UINT* stride) const {
    if (stream >= kMaxStreams) return nullptr;
    if (stride) *stride = streams_[stream].stride;
    return streams_[stream].buffer;
}

IndexBuffer* Device::indices(UINT* baseVertexIndex) const {
    if (baseVertexIndex) *baseVertexIndex = baseVertexIndex_;
    return indices_;
}

}  // namespace d3d8::recording
