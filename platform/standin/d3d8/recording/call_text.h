// How the recording back end spells arguments in its call texts (see recording.h
// for the conventions). Internal to the recording back end. In the recorder's
// quiet mode every function here returns an empty text at once.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "d3d8.h"

namespace d3d8::recording::text {

std::string dec(unsigned long long value);
std::string hex(DWORD value);          // flags, usages, FVF codes: "0x142"
std::string color(D3DCOLOR value);     // "0xff000000"
std::string number(float value);       // %g
std::string outPointer(const void* pointer);  // "out", or "null" for a null pointer
std::string window(HWND window);       // "hwnd" or "null"
std::string object(IUnknown* object);  // the object's name, as nameOf gives it

std::string vector(const D3DVECTOR& v);
std::string colorValue(const D3DCOLORVALUE& c);
std::string matrix(const D3DMATRIX* m);
std::string light(const D3DLIGHT8* light);
std::string material(const D3DMATERIAL8* material);
std::string viewport(const D3DVIEWPORT8* viewport);
std::string rect(const RECT* rect);
std::string rects(DWORD count, const D3DRECT* rects);
std::string displayMode(const D3DDISPLAYMODE& mode);
std::string presentParameters(const D3DPRESENT_PARAMETERS* parameters);
std::string surfaceDesc(const D3DSURFACE_DESC& desc);
std::string vertexBufferDesc(const D3DVERTEXBUFFER_DESC& desc);
std::string indexBufferDesc(const D3DINDEXBUFFER_DESC& desc);

// A render state or texture stage state value, in the form its meaning suggests:
// colours as D3DCOLORs, masks and coordinate-generation flags in hex, the rest
// in decimal.
std::string renderStateValue(D3DRENDERSTATETYPE state, DWORD value);
std::string stageStateValue(D3DTEXTURESTAGESTATETYPE type, DWORD value);

// "head(a, b, c)".
std::string call(std::string_view head, std::initializer_list<std::string> args);

// Appends what a call handed back: text + " -> " + value.
std::string gave(std::string text, const std::string& value);

}  // namespace d3d8::recording::text
