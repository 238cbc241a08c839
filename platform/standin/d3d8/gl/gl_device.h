// The Direct3D 8 device of the OpenGL back end.
//
// Implemented:
//  [x] a GL 3.3 core context on the device window; the back buffer is an FBO
//      (RGBA8; depth D16 / D24X8 / D24S8 / D32 when EnableAutoDepthStencil is set)
//      that Present blits to the window, stretched in a window and scaled with
//      its aspect kept (black bars) in full screen
//  [x] every Get call answers from the shadow state (d3d8_state.h)
//  [x] Clear (viewport or rectangles; colour, depth, stencil), Begin/EndScene
//      bracket checks, Present with the present observer and frame pacing
//  [x] vertex and index buffers, textures (A8R8G8B8, X8R8G8B8, L8, R5G6B5,
//      X1R5G5B5, A1R5G5B5, A4R4G4B4) with per-stage sampler states
//  [x] DrawPrimitive / DrawIndexedPrimitive for every FVF with XYZ, XYZRHW or
//      blend weights, normal, diffuse, specular and up to 8 coordinate sets
//  [x] fixed-function emulation (gl_ffp.h): transforms, per-vertex lighting
//      (directional, point, spot), material sources, texture stage cascade,
//      camera-space coordinate generation with texture matrices, alpha test
//  [x] render states: Z enable/write/func, culling, fill mode, shade mode,
//      alpha blending with BLENDOP, colour write mask
//  [ ] fog, stencil operations, vertex blending, clip planes: ignored (warned once)
//
// Choices where Direct3D's documentation leaves room:
//  - positions move by exactly half a pixel, so that Direct3D's pixel centres
//    (integer window coordinates) are GL's, and the back buffer is stored top
//    row first (the vertex shader turns y over; the present blit turns it back):
//    rasterisers break ties at pixel centres with a top-left rule in the rows of
//    their memory, which is then Direct3D's top-left rule
//  - a stage whose colour operation reads an unset texture is skipped with all
//    later stages; an alpha operation alone reading one reads (0, 0, 0, 0)
//  - ALPHAOP DISABLE under an enabled colour operation passes alpha through
//  - a back buffer without alpha (X8R8G8B8...) keeps alpha at 1, so DESTALPHA
//    reads 1 and the present observer sees opaque pixels
//  - Present paces to the display refresh whenever presentPacing() is on, in a
//    window too (swap interval 1, plus a wait for the rest of the period)
//  - Unlock after a DISCARD lock gives the GL buffer new storage with the whole
//    CPU copy; other unlocks upload just the locked range
//
// Lifetime: like Direct3D, the device holds a reference on every texture and
// buffer bound to it (SetTexture, SetStreamSource, SetIndices), so releasing
// the application's reference to a bound resource is safe. Resources do not
// keep the device alive: releasing the device frees every GL object and the
// context, and resources still alive then become empty shells whose calls fail
// with D3DERR_INVALIDCALL (Release still works). If the window is destroyed
// first, Present returns D3DERR_DEVICELOST and draws are dropped.
#pragma once

#include "gl_api.h"

#include <array>
#include <chrono>
#include <map>
#include <unordered_map>
#include <vector>

#include "d3d8.h"
#include "d3d8_state.h"
#include "gl_cache.h"
#include "gl_common.h"
#include "gl_ffp.h"
#include "gl_fvf.h"
#include "gl_window.h"

namespace d3d8::gl {

class Device;
class Texture;
class VertexBuffer;
class IndexBuffer;

// Base of every resource a device creates. The device keeps a list of them so
// that, if it goes first, it can free their GL objects while its context exists.
class DeviceChild {
public:
    DeviceChild(const DeviceChild&) = delete;
    DeviceChild& operator=(const DeviceChild&) = delete;

    // The owning device, or null once it has been destroyed.
    Device* owner() const { return owner_; }

protected:
    explicit DeviceChild(Device* owner);
    virtual ~DeviceChild();
    // Frees the GL objects (the device's context is current) and forgets the device.
    virtual void detachFromDevice() = 0;
    // Hands out the owner with a reference, as GetDevice does.
    HRESULT getDevice(IDirect3DDevice8** device);

    Device* owner_;

private:
    friend class Device;
    DeviceChild* prev_ = nullptr;
    DeviceChild* next_ = nullptr;
};

// The back buffer and how it is shown, decided from the present parameters.
struct BackBufferDesc {
    UINT width = 0;
    UINT height = 0;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    bool hasAlpha = false;   // A8R8G8B8; otherwise alpha always reads 1
    GLenum depthFormat = 0;  // 0: no depth buffer
    bool hasStencil = false;
    bool windowed = true;
    D3DSWAPEFFECT swapEffect = D3DSWAPEFFECT_COPY;
};

class Device final : public RefCounted<IDirect3DDevice8> {
public:
    struct Setup {
        HWND window;
        window::Surface* surface;
        BackBufferDesc backBuffer;
        UINT refreshRate;  // of the display, for pacing (60 when unknown)
    };

    // Creates the context and the device. D3DERR_NOTAVAILABLE when the window
    // cannot get an OpenGL 3.3 core context.
    static HRESULT create(const Setup& setup, IDirect3DDevice8** device);

    // IDirect3DDevice8
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                  DWORD Stencil) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const RGNDATA* pDirtyRegion) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                                 DWORD* pValue) override;
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

    // For the resources of this device.
    // Makes the device's context current; false when its window is gone.
    bool makeCurrent();
    GlCache& glCache() { return cache_; }
    GLint maxTextureSize() const { return maxTextureSize_; }
    void textureDeleted(GLuint texture);
    void bufferDeleted(GLuint buffer);

    // For the bench tool and tests: fixed-function programs built so far.
    size_t programCount() const { return programs_.size(); }

private:
    friend class DeviceChild;
    static constexpr int kStreams = 16;

    // Groups of state that the pre-draw flush brings to GL.
    enum class Dirty {
        ShaderKey,     // anything that changes the generated program
        ActiveLights,  // which lights are enabled
        Transforms,    // world, view, projection, viewport offsets
        TextureMatrices,
        Material,
        Colors,  // ambient, texture factor, alpha reference
        Lights,
        VertexInput,  // stream 0 or the vertex format
        IndexBuffer,
        Textures,
        Depth,
        Blend,
        Raster,  // culling, fill mode
        ColorMask,
        Viewport,
    };

    explicit Device(const Setup& setup);
    ~Device() override;

    HRESULT initialize();
    bool createBackBuffer();
    void createSamplers();
    void releaseBindings();
    void destroyGl();

    // state helpers
    const LightSlot* lightSlot(DWORD index) const;
    LightSlot& lightSlotForWrite(DWORD index);
    void markRenderStateDirty(D3DRENDERSTATETYPE state);
    void markStageStateDirty(DWORD stage, D3DTEXTURESTAGESTATETYPE type);

    // drawing
    bool prepareDraw();
    void updateActiveLights();
    void buildShaderKey(ShaderKey& key) const;
    int runningStages() const;
    void uploadConstants();
    void uploadProgramUniforms();
    void computeTransformConstants();
    void computeTextureMatrixConstants();
    void computeMaterialConstants();
    void computeColorConstants();
    void computeLightConstants();
    void applyVertexInput();
    void applyTextures();
    void applySampler(int stage);
    void applyDepth();
    void applyBlend();
    void applyRaster();
    void applyColorMask();
    void applyViewport();
    // Whether stream 0 holds every byte of these vertices.
    bool streamHolds(uint64_t firstVertex, uint64_t vertexCount) const;
    bool indicesInRange(UINT startIndex, UINT indexCount) const;

    // presentation
    void readBackBuffer();
    void blitToWindow(const RECT* source, const RECT* dest);
    void pace();
    void applySwapInterval();
    // The lowest GL row (GL counts from the bottom) of a rectangle whose
    // Direct3D rows (counted from the top) end before row `bottom`.

    // Direct3D state
    DeviceState state_;
    std::map<DWORD, LightSlot> extraLights_;  // indices past state_.lights
    FvfLayout layout_;
    std::array<Texture*, kStages> textures_{};
    struct Stream {
        VertexBuffer* buffer = nullptr;
        UINT stride = 0;
    };
    std::array<Stream, kStreams> streams_{};
    IndexBuffer* indices_ = nullptr;
    UINT baseVertexIndex_ = 0;
    bool inScene_ = false;

    // what the flush has to do
    Flags<Dirty> dirty_ = Flags<Dirty>::all();
    uint32_t dirtySamplers_ = 0xFF;
    std::array<DWORD, kActiveLights> activeLights_{};
    int activeLightCount_ = 0;
    ShaderKey key_{};
    GLuint program_ = 0;
    FixedFunctionConstants constants_{};
    FragmentConstants fragmentConstants_{};
    TransformConstants transforms_{};
    // Plain uniforms belong to a program: each program's locations of the
    // transforms and the fragment constants, and which change of each it was
    // last given (0: never).
    struct ProgramUniforms {
        bool located = false;
        GLint transforms[5] = {-1, -1, -1, -1, -1};
        GLint fragment[2] = {-1, -1};
        uint64_t transformsVersion = 0;
        uint64_t fragmentVersion = 0;
    };
    std::unordered_map<GLuint, ProgramUniforms> programUniforms_;
    uint64_t transformsVersion_ = 1;
    uint64_t fragmentConstantsVersion_ = 1;
    // Groups of the block's constants to upload, bits in the order of the
    // ConstantRange groups (bit 0, the transforms, are plain uniforms now).
    static constexpr uint32_t kTextureMatrixGroup = 1u << 1;
    static constexpr uint32_t kMaterialGroup = 1u << 2;
    static constexpr uint32_t kColorGroup = 1u << 3;
    static constexpr uint32_t kLightGroup = 1u << 4;
    uint32_t dirtyConstants_ = 0;
    GLuint attributeBuffer_ = 0;  // the buffer the attribute pointers read

    // window and GL objects
    HWND hwnd_;
    window::Surface* window_;
    window::Context* context_ = nullptr;
    BackBufferDesc backBuffer_;
    GLuint framebuffer_ = 0;
    GLuint colorBuffer_ = 0;
    GLuint depthBuffer_ = 0;
    GLuint vertexArray_ = 0;
    GLuint constantBuffer_ = 0;
    std::array<GLuint, kStages> samplers_{};
    GlCache cache_;
    ProgramCache programs_;
    GLint maxTextureSize_ = 0;
    DeviceChild* children_ = nullptr;

    // presentation
    std::vector<uint32_t> frame_;  // the back buffer, top-down, for the present observer
    UINT refreshRate_;
    std::chrono::steady_clock::time_point lastPresent_{};
    bool presentedBefore_ = false;
    int swapInterval_ = -1;
};

}  // namespace d3d8::gl
