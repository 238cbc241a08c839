#include "d3d8.h"

#include <cstdlib>

#include "d3d8_backend.h"
#include "device_hooks.h"
#include "gl/gl_direct3d.h"
#include "gl/gl_window.h"
#include "recording/recording.h"

namespace d3d8 {
namespace {

Backend g_backend = Backend::OpenGL;

}  // namespace

void selectBackend(Backend backend) { g_backend = backend; }
Backend selectedBackend() { return g_backend; }

void useOffscreenDevice() {
    gl::window::useOffscreen();
    selectBackend(Backend::OpenGL);
}

}  // namespace d3d8

IDirect3D8* WINAPI Direct3DCreate8(UINT SDKVersion) {
    if (d3d8::selectedBackend() == d3d8::Backend::Recording) {
        auto& recorder = d3d8::recording::recorder();
        HRESULT forced = S_OK;
        const bool fail = recorder.plannedFailure("Direct3DCreate8", forced);
        const bool ok = !fail && SDKVersion == D3D_SDK_VERSION;
        recorder.record("Direct3DCreate8", "Direct3DCreate8(" + std::to_string(SDKVersion) + ")",
                        ok ? S_OK : E_FAIL);
        return ok ? d3d8::recording::createDirect3D() : nullptr;
    }
    if (SDKVersion != D3D_SDK_VERSION) return nullptr;
    return d3d8::gl::createDirect3D();
}
