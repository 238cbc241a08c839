// Device creation and teardown, resources, and the state setters and getters.
#include "gl_device.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "device_hooks.h"
#include "message_box_hooks.h"
#include "present_hooks.h"
#include "gl_resources.h"

namespace d3d8::gl {
namespace {

// Set when the window layer refused a context: it has then said why on stderr.
bool g_contextRefused = false;
bool g_explainInABox = true;

// The window layer's explanation, in a box of its own before the program's own
// boxes about the failed device, which know nothing of OpenGL.
void explainRefusedContext() {
    const std::string text = window::contextFailureText();
    if (text.empty() || !g_explainInABox || win32::messageBoxesAreAnswered()) return;
    MessageBoxA(nullptr, text.c_str(), "No OpenGL 3.3", MB_OK | MB_ICONERROR);
}

}  // namespace

// ---------------------------------------------------------------------------
// Resources' link to the device

DeviceChild::DeviceChild(Device* owner) : owner_(owner) {
    next_ = owner->children_;
    if (next_) next_->prev_ = this;
    owner->children_ = this;
}

DeviceChild::~DeviceChild() {
    if (!owner_) return;  // detached: the device already unlinked it
    if (prev_) {
        prev_->next_ = next_;
    } else {
        owner_->children_ = next_;
    }
    if (next_) next_->prev_ = prev_;
}

HRESULT DeviceChild::getDevice(IDirect3DDevice8** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = owner_;
    if (!owner_) return D3DERR_INVALIDCALL;
    owner_->AddRef();
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Creation and teardown

Device::Device(const Setup& setup)
    : hwnd_(setup.window),
      window_(setup.surface),
      backBuffer_(setup.backBuffer),
      refreshRate_(setup.refreshRate ? setup.refreshRate : 60) {
    resetToDefaults(state_, backBuffer_.depthFormat != 0, backBuffer_.width, backBuffer_.height);
}

HRESULT Device::create(const Setup& setup, IDirect3DDevice8** device) {
    *device = nullptr;
    auto* created = new (std::nothrow) Device(setup);
    if (!created) return E_OUTOFMEMORY;
    const HRESULT result = created->initialize();
    if (FAILED(result)) {
        created->Release();
        return result;
    }
    *device = created;
    return D3D_OK;
}

HRESULT Device::initialize() {
    context_ = window::createContext(window_);
    if (!context_) {
        g_contextRefused = true;
        explainRefusedContext();
        return D3DERR_NOTAVAILABLE;
    }
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
    // Texture rows (L8 ones included) are tightly packed; read-back rows too.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // FLAT shading takes the colour of a triangle's first vertex, as Direct3D does.
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    // The back buffer is stored top row first, which mirrors GL's view of it:
    // Direct3D's front faces (clockwise on screen) are GL_CCW there.
    glFrontFace(GL_CCW);

    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    // Values of the elements a vertex format lacks: white diffuse, no specular,
    // a zero normal, coordinates (0, 0, 0, 1).
    glVertexAttrib4f(kAttribNormal, 0.0f, 0.0f, 0.0f, 0.0f);
    glVertexAttrib4f(kAttribDiffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    glVertexAttrib4f(kAttribSpecular, 0.0f, 0.0f, 0.0f, 0.0f);

    glGenBuffers(1, &constantBuffer_);
    glBindBuffer(GL_UNIFORM_BUFFER, constantBuffer_);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(FixedFunctionConstants), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, kConstantsBinding, constantBuffer_);

    createSamplers();
    if (!createBackBuffer()) return D3DERR_NOTAVAILABLE;
    try {
        frame_.resize(size_t{backBuffer_.width} * backBuffer_.height);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    cache_.reset();

    // A new back buffer starts black (opaque where alpha is not stored).
    cache_.bindDrawFramebuffer(framebuffer_);
    glClearColor(0.0f, 0.0f, 0.0f, backBuffer_.hasAlpha ? 0.0f : 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | (backBuffer_.depthFormat ? GL_DEPTH_BUFFER_BIT : 0) |
            (backBuffer_.hasStencil ? GL_STENCIL_BUFFER_BIT : 0));

    if (!backBuffer_.windowed) window::setFullscreen(window_, true);
    applySwapInterval();
    return D3D_OK;
}

bool Device::createBackBuffer() {
    const auto width = static_cast<GLsizei>(backBuffer_.width);
    const auto height = static_cast<GLsizei>(backBuffer_.height);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glGenRenderbuffers(1, &colorBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    if (backBuffer_.depthFormat) {
        glGenRenderbuffers(1, &depthBuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, backBuffer_.depthFormat, width, height);
        glFramebufferRenderbuffer(
            GL_FRAMEBUFFER,
            backBuffer_.hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
            GL_RENDERBUFFER, depthBuffer_);
    }
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) std::fprintf(stderr, "d3d8/gl: the back buffer framebuffer is incomplete\n");
    return complete;
}

void Device::createSamplers() {
    glGenSamplers(kStages, samplers_.data());
    for (int stage = 0; stage < kStages; ++stage) cache_.bindSampler(stage, samplers_[stage]);
}

// Drops the references the device holds on bound resources (which may free them).
void Device::releaseBindings() {
    for (auto& texture : textures_) {
        if (texture) texture->Release();
        texture = nullptr;
    }
    for (auto& stream : streams_) {
        if (stream.buffer) stream.buffer->Release();
        stream.buffer = nullptr;
    }
    if (indices_) indices_->Release();
    indices_ = nullptr;
}

void Device::destroyGl() {
    programs_.destroy();
    glDeleteSamplers(kStages, samplers_.data());
    glDeleteBuffers(1, &constantBuffer_);
    programUniforms_.clear();  // their programs are gone
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteRenderbuffers(1, &colorBuffer_);
    if (depthBuffer_) glDeleteRenderbuffers(1, &depthBuffer_);
}

Device::~Device() {
    const bool current = context_ && makeCurrent();
    if (current) {
        releaseBindings();
        // Resources the application still holds become empty shells.
        while (children_) {
            DeviceChild* child = children_;
            children_ = child->next_;
            if (children_) children_->prev_ = nullptr;
            child->prev_ = child->next_ = nullptr;
            child->detachFromDevice();
        }
        destroyGl();
    } else {
        // The window is gone: deleting the context frees every GL object.
        for (DeviceChild* child = children_; child; child = child->next_) child->owner_ = nullptr;
        children_ = nullptr;
        releaseBindings();
    }
    if (context_) {
        window::deleteContext(current ? window_ : nullptr, context_);
    }
    // Leaving full screen, as Direct3D restores the desktop when the device goes.
    if (!backBuffer_.windowed && current) window::setFullscreen(window_, false);
}

bool Device::makeCurrent() {
    if (context_ && window::isCurrent(context_)) return true;
    // The window layer destroys the drawable with its window; never use a
    // window that is gone.
    if (!context_ || window::surfaceOf(hwnd_) != window_) return false;
    return window::makeCurrent(window_, context_);
}

void Device::textureDeleted(GLuint texture) { cache_.forgetTexture(texture); }

void Device::bufferDeleted(GLuint buffer) {
    cache_.forgetBuffer(buffer);
    // Deleting a buffer also detaches it from the bound vertex array.
    if (attributeBuffer_ == buffer) {
        attributeBuffer_ = 0;
        dirty_.set(Dirty::VertexInput);
    }
    dirty_.set(Dirty::IndexBuffer);
}

// ---------------------------------------------------------------------------
// Resources

HRESULT Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                              D3DPOOL Pool, IDirect3DTexture8** ppTexture) {
    return Texture::create(this, Width, Height, Levels, Usage, Format, Pool, ppTexture);
}

HRESULT Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                   IDirect3DVertexBuffer8** ppVertexBuffer) {
    return VertexBuffer::create(this, Length, Usage, FVF, Pool, ppVertexBuffer);
}

HRESULT Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DIndexBuffer8** ppIndexBuffer) {
    return IndexBuffer::create(this, Length, Usage, Format, Pool, ppIndexBuffer);
}

namespace {

// Swaps a bound resource, holding a reference on the new one as Direct3D does.
template <class T>
void rebind(T*& slot, T* resource) {
    if (resource) resource->AddRef();
    if (slot) slot->Release();
    slot = resource;
}

}  // namespace

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) {
    if (Stage >= kStages) return D3DERR_INVALIDCALL;
    auto* texture = dynamic_cast<Texture*>(pTexture);
    if (pTexture && (!texture || texture->owner() != this)) return D3DERR_INVALIDCALL;
    if (textures_[Stage] == texture) return D3D_OK;
    // Whether a stage has a texture decides whether it runs at all.
    if ((textures_[Stage] == nullptr) != (texture == nullptr)) dirty_.set(Dirty::ShaderKey);
    rebind(textures_[Stage], texture);
    dirty_.set(Dirty::Textures);
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) {
    if (Stage >= kStages || !ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = textures_[Stage];
    if (textures_[Stage]) textures_[Stage]->AddRef();
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData,
                                UINT Stride) {
    if (StreamNumber >= kStreams) return D3DERR_INVALIDCALL;
    auto* buffer = dynamic_cast<VertexBuffer*>(pStreamData);
    if (pStreamData && (!buffer || buffer->owner() != this)) return D3DERR_INVALIDCALL;
    Stream& stream = streams_[StreamNumber];
    if (stream.buffer == buffer && stream.stride == Stride) return D3D_OK;
    rebind(stream.buffer, buffer);
    stream.stride = Stride;
    if (StreamNumber == 0) dirty_.set(Dirty::VertexInput);
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) {
    auto* buffer = dynamic_cast<IndexBuffer*>(pIndexData);
    if (pIndexData && (!buffer || buffer->owner() != this)) return D3DERR_INVALIDCALL;
    baseVertexIndex_ = BaseVertexIndex;
    if (indices_ == buffer) return D3D_OK;
    rebind(indices_, buffer);
    dirty_.set(Dirty::IndexBuffer);
    return D3D_OK;
}

HRESULT Device::SetVertexShader(DWORD Handle) {
    // Only fixed-function handles (FVF codes) exist in this back end.
    const FvfLayout layout = parseFvf(Handle);
    if (!layout.valid) return D3DERR_INVALIDCALL;
    if (state_.vertexShader == Handle) return D3D_OK;
    state_.vertexShader = Handle;
    layout_ = layout;
    dirty_.set(Dirty::VertexInput).set(Dirty::ShaderKey);
    return D3D_OK;
}

HRESULT Device::GetVertexShader(DWORD* pHandle) {
    if (!pHandle) return D3DERR_INVALIDCALL;
    *pHandle = state_.vertexShader;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Render and texture stage states

void Device::markRenderStateDirty(D3DRENDERSTATETYPE state) {
    switch (state) {
        case D3DRS_ZENABLE:
        case D3DRS_ZWRITEENABLE:
        case D3DRS_ZFUNC: dirty_.set(Dirty::Depth); break;
        case D3DRS_ALPHABLENDENABLE:
        case D3DRS_SRCBLEND:
        case D3DRS_DESTBLEND:
        case D3DRS_BLENDOP: dirty_.set(Dirty::Blend); break;
        case D3DRS_CULLMODE:
        case D3DRS_FILLMODE: dirty_.set(Dirty::Raster); break;
        case D3DRS_COLORWRITEENABLE: dirty_.set(Dirty::ColorMask); break;
        case D3DRS_AMBIENT:
        case D3DRS_TEXTUREFACTOR:
        case D3DRS_ALPHAREF: dirty_.set(Dirty::Colors); break;
        case D3DRS_LIGHTING:
        case D3DRS_SPECULARENABLE:
        case D3DRS_LOCALVIEWER:
        case D3DRS_NORMALIZENORMALS:
        case D3DRS_COLORVERTEX:
        case D3DRS_DIFFUSEMATERIALSOURCE:
        case D3DRS_SPECULARMATERIALSOURCE:
        case D3DRS_AMBIENTMATERIALSOURCE:
        case D3DRS_EMISSIVEMATERIALSOURCE:
        case D3DRS_SHADEMODE:
        case D3DRS_ALPHATESTENABLE:
        case D3DRS_ALPHAFUNC: dirty_.set(Dirty::ShaderKey); break;
        case D3DRS_FOGENABLE:
            if (state_.renderStates[state]) warnOnce("fog", "fog is not implemented");
            break;
        case D3DRS_STENCILENABLE:
            if (state_.renderStates[state])
                warnOnce("stencil", "stencil testing is not implemented");
            break;
        case D3DRS_VERTEXBLEND:
            if (state_.renderStates[state])
                warnOnce("vertexblend", "vertex blending is not implemented");
            break;
        default: break;  // kept for Get; no effect on drawing
    }
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    if (static_cast<DWORD>(State) >= kRenderStateCount) return D3DERR_INVALIDCALL;
    DWORD& slot = state_.renderStates[State];
    if (slot == Value) return D3D_OK;
    slot = Value;
    markRenderStateDirty(State);
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    if (static_cast<DWORD>(State) >= kRenderStateCount || !pValue) return D3DERR_INVALIDCALL;
    *pValue = state_.renderStates[State];
    return D3D_OK;
}

void Device::markStageStateDirty(DWORD stage, D3DTEXTURESTAGESTATETYPE type) {
    switch (type) {
        case D3DTSS_COLOROP:
        case D3DTSS_COLORARG1:
        case D3DTSS_COLORARG2:
        case D3DTSS_ALPHAOP:
        case D3DTSS_ALPHAARG1:
        case D3DTSS_ALPHAARG2:
        case D3DTSS_TEXCOORDINDEX:
        case D3DTSS_TEXTURETRANSFORMFLAGS: dirty_.set(Dirty::ShaderKey); break;
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
        case D3DTSS_ADDRESSW:
        case D3DTSS_BORDERCOLOR:
        case D3DTSS_MAGFILTER:
        case D3DTSS_MINFILTER:
        case D3DTSS_MIPFILTER:
        case D3DTSS_MIPMAPLODBIAS:
        case D3DTSS_MAXMIPLEVEL:
        case D3DTSS_MAXANISOTROPY: dirtySamplers_ |= 1u << stage; break;
        default: break;
    }
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
    if (Stage >= kStages || static_cast<DWORD>(Type) >= kStageStateCount) return D3DERR_INVALIDCALL;
    DWORD& slot = state_.stageStates[Stage][Type];
    if (slot == Value) return D3D_OK;
    slot = Value;
    markStageStateDirty(Stage, Type);
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) {
    if (Stage >= kStages || static_cast<DWORD>(Type) >= kStageStateCount || !pValue) {
        return D3DERR_INVALIDCALL;
    }
    *pValue = state_.stageStates[Stage][Type];
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Transforms, viewport, material, lights

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    D3DMATRIX* slot = transformSlot(state_, State);
    if (!slot || !pMatrix) return D3DERR_INVALIDCALL;
    if (std::memcmp(slot, pMatrix, sizeof(D3DMATRIX)) == 0) return D3D_OK;
    *slot = *pMatrix;
    if (State >= D3DTS_TEXTURE0 && State <= D3DTS_TEXTURE7) {
        dirty_.set(Dirty::TextureMatrices);
    } else {
        dirty_.set(Dirty::Transforms);
        // Lights are kept in camera space.
        if (State == D3DTS_VIEW) dirty_.set(Dirty::Lights);
    }
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    D3DMATRIX* slot = transformSlot(state_, State);
    if (!slot || !pMatrix) return D3DERR_INVALIDCALL;
    *pMatrix = *slot;
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* pViewport) {
    if (!pViewport) return D3DERR_INVALIDCALL;
    const D3DVIEWPORT8& v = *pViewport;
    // The viewport must lie inside the render target.
    if (v.Width == 0 || v.Height == 0 || v.X >= backBuffer_.width || v.Y >= backBuffer_.height ||
        v.Width > backBuffer_.width - v.X || v.Height > backBuffer_.height - v.Y ||
        !(v.MinZ >= 0.0f && v.MinZ <= 1.0f && v.MaxZ >= 0.0f && v.MaxZ <= 1.0f)) {
        return D3DERR_INVALIDCALL;
    }
    state_.viewport = v;
    dirty_.set(Dirty::Viewport).set(Dirty::Transforms);
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* pViewport) {
    if (!pViewport) return D3DERR_INVALIDCALL;
    *pViewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* pMaterial) {
    if (!pMaterial) return D3DERR_INVALIDCALL;
    if (std::memcmp(&state_.material, pMaterial, sizeof(D3DMATERIAL8)) == 0) return D3D_OK;
    state_.material = *pMaterial;
    dirty_.set(Dirty::Material);
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL8* pMaterial) {
    if (!pMaterial) return D3DERR_INVALIDCALL;
    *pMaterial = state_.material;
    return D3D_OK;
}

const LightSlot* Device::lightSlot(DWORD index) const {
    if (index < state_.lights.size()) return &state_.lights[index];
    auto found = extraLights_.find(index);
    return found == extraLights_.end() ? nullptr : &found->second;
}

LightSlot& Device::lightSlotForWrite(DWORD index) {
    if (index < state_.lights.size()) return state_.lights[index];
    return extraLights_.emplace(index, LightSlot{defaultLight(), false, false}).first->second;
}

HRESULT Device::SetLight(DWORD Index, const D3DLIGHT8* pLight) {
    if (!pLight || pLight->Type < D3DLIGHT_POINT || pLight->Type > D3DLIGHT_DIRECTIONAL) {
        return D3DERR_INVALIDCALL;
    }
    LightSlot& slot = lightSlotForWrite(Index);
    if (slot.defined && std::memcmp(&slot.light, pLight, sizeof(D3DLIGHT8)) == 0) return D3D_OK;
    if (slot.enabled && slot.light.Type != pLight->Type) dirty_.set(Dirty::ShaderKey);
    slot.light = *pLight;
    slot.defined = true;
    if (slot.enabled) dirty_.set(Dirty::Lights);
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD Index, D3DLIGHT8* pLight) {
    const LightSlot* slot = lightSlot(Index);
    if (!pLight || !slot || !slot->defined) return D3DERR_INVALIDCALL;
    *pLight = slot->light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD Index, BOOL Enable) {
    LightSlot& slot = lightSlotForWrite(Index);
    // Enabling a light that was never set creates the default light.
    if (!slot.defined) {
        slot.light = defaultLight();
        slot.defined = true;
    }
    const bool enable = Enable != FALSE;
    if (slot.enabled == enable) return D3D_OK;
    slot.enabled = enable;
    dirty_.set(Dirty::ActiveLights).set(Dirty::ShaderKey).set(Dirty::Lights);
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD Index, BOOL* pEnable) {
    const LightSlot* slot = lightSlot(Index);
    if (!pEnable || !slot || !slot->defined) return D3DERR_INVALIDCALL;
    *pEnable = slot->enabled ? TRUE : FALSE;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Scenes

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;  // no nesting; the open scene stays open
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

}  // namespace d3d8::gl

namespace d3d8 {

bool deviceFailureExplained() { return gl::g_contextRefused; }
void explainDeviceFailureOnStderrOnly() { gl::g_explainInABox = false; }

}  // namespace d3d8
