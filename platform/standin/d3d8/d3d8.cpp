// Direct3DCreate8, the stand-in's entry point: it makes the IDirect3D8 object of
// the back end installed (direct3d_factory.h).
#include "d3d8.h"

#include "direct3d_factory.h"

namespace d3d8 {
namespace {

Direct3DFactory g_factory = createPortDirect3D;  // constant-initialised: ready before any static object asks

}  // namespace

void installDirect3DFactory(Direct3DFactory factory) { g_factory = factory ? factory : createPortDirect3D; }

}  // namespace d3d8

IDirect3D8* WINAPI Direct3DCreate8(UINT SDKVersion) { return d3d8::g_factory(SDKVersion); }
