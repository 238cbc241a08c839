// Which back end Direct3DCreate8 hands its call to. The program never changes
// it and gets the port's own, the OpenGL back end; tests and tools that want
// another install it (the recording device of the d3d8_recording library,
// through selectBackend in its d3d8_backend.h).
#pragma once

#include "d3d8.h"

namespace d3d8 {

// Makes a back end's IDirect3D8 object for Direct3DCreate8, which passes on the
// SDK version it was asked for; null when the back end refuses.
using Direct3DFactory = IDirect3D8* (*)(UINT sdkVersion);

// Hands every Direct3DCreate8 from now on to `factory`; null hands them back to
// the port's own back end.
void installDirect3DFactory(Direct3DFactory factory);

// The port's own back end, defined by the back end the port links (the OpenGL
// one on Linux and the web).
IDirect3D8* createPortDirect3D(UINT sdkVersion);

}  // namespace d3d8
