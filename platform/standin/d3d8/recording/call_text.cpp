#include "call_text.h"

#include <cstdio>

#include "objects.h"
#include "recording.h"

namespace d3d8::recording::text {
namespace {

std::string format(const char* pattern, unsigned long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

// "{a, b, c}"
std::string braces(std::initializer_list<std::string> items) {
    std::string out = "{";
    bool first = true;
    for (const std::string& item : items) {
        if (!first) out += ", ";
        out += item;
        first = false;
    }
    return out + "}";
}

std::string field(const char* name, const std::string& value) { return std::string(name) + "=" + value; }

// In the recorder's quiet mode no call is kept, so no text is built either.
bool quiet() { return recorder().quiet(); }

}  // namespace

std::string dec(unsigned long long value) {
    if (quiet()) return {};
    return format("%llu", value);
}
std::string hex(DWORD value) {
    if (quiet()) return {};
    return format("0x%llx", value);
}
std::string color(D3DCOLOR value) {
    if (quiet()) return {};
    return format("0x%08llx", value);
}

std::string number(float value) {
    if (quiet()) return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

std::string outPointer(const void* pointer) { return pointer ? "out" : "null"; }
std::string window(HWND window) { return window ? "hwnd" : "null"; }

std::string object(IUnknown* object) {
    if (quiet()) return {};
    return nameFor(object);
}

std::string vector(const D3DVECTOR& v) {
    if (quiet()) return {};
    return braces({number(v.x), number(v.y), number(v.z)});
}

std::string colorValue(const D3DCOLORVALUE& c) {
    if (quiet()) return {};
    return braces({number(c.r), number(c.g), number(c.b), number(c.a)});
}

std::string matrix(const D3DMATRIX* m) {
    if (quiet()) return {};
    if (!m) return "null";
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i) out += ", ";
        out += number(m->m[i / 4][i % 4]);
    }
    return out + "}";
}

std::string light(const D3DLIGHT8* l) {
    if (quiet()) return {};
    if (!l) return "null";
    return braces({field("Type", dec(l->Type)), field("Diffuse", colorValue(l->Diffuse)),
                   field("Specular", colorValue(l->Specular)),
                   field("Ambient", colorValue(l->Ambient)), field("Position", vector(l->Position)),
                   field("Direction", vector(l->Direction)), field("Range", number(l->Range)),
                   field("Falloff", number(l->Falloff)),
                   field("Attenuation0", number(l->Attenuation0)),
                   field("Attenuation1", number(l->Attenuation1)),
                   field("Attenuation2", number(l->Attenuation2)), field("Theta", number(l->Theta)),
                   field("Phi", number(l->Phi))});
}

std::string material(const D3DMATERIAL8* m) {
    if (quiet()) return {};
    if (!m) return "null";
    return braces({field("Diffuse", colorValue(m->Diffuse)), field("Ambient", colorValue(m->Ambient)),
                   field("Specular", colorValue(m->Specular)),
                   field("Emissive", colorValue(m->Emissive)), field("Power", number(m->Power))});
}

std::string viewport(const D3DVIEWPORT8* v) {
    if (quiet()) return {};
    if (!v) return "null";
    return braces({field("X", dec(v->X)), field("Y", dec(v->Y)), field("Width", dec(v->Width)),
                   field("Height", dec(v->Height)), field("MinZ", number(v->MinZ)),
                   field("MaxZ", number(v->MaxZ))});
}

std::string rect(const RECT* r) {
    if (quiet()) return {};
    if (!r) return "null";
    return braces({std::to_string(r->left), std::to_string(r->top), std::to_string(r->right),
                   std::to_string(r->bottom)});
}

std::string rects(DWORD count, const D3DRECT* list) {
    if (quiet()) return {};
    if (!list) return "null";
    std::string out = "{";
    for (DWORD i = 0; i < count; ++i) {
        if (i) out += ", ";
        out += braces({std::to_string(list[i].x1), std::to_string(list[i].y1),
                       std::to_string(list[i].x2), std::to_string(list[i].y2)});
    }
    return out + "}";
}

std::string displayMode(const D3DDISPLAYMODE& mode) {
    if (quiet()) return {};
    return braces({field("Width", dec(mode.Width)), field("Height", dec(mode.Height)),
                   field("RefreshRate", dec(mode.RefreshRate)), field("Format", dec(mode.Format))});
}

std::string presentParameters(const D3DPRESENT_PARAMETERS* p) {
    if (quiet()) return {};
    if (!p) return "null";
    return braces({field("BackBufferWidth", dec(p->BackBufferWidth)),
                   field("BackBufferHeight", dec(p->BackBufferHeight)),
                   field("BackBufferFormat", dec(p->BackBufferFormat)),
                   field("BackBufferCount", dec(p->BackBufferCount)),
                   field("MultiSampleType", dec(p->MultiSampleType)),
                   field("SwapEffect", dec(p->SwapEffect)),
                   field("hDeviceWindow", window(p->hDeviceWindow)),
                   field("Windowed", dec(static_cast<unsigned>(p->Windowed))),
                   field("EnableAutoDepthStencil", dec(static_cast<unsigned>(p->EnableAutoDepthStencil))),
                   field("AutoDepthStencilFormat", dec(p->AutoDepthStencilFormat)),
                   field("Flags", hex(p->Flags)),
                   field("FullScreen_RefreshRateInHz", dec(p->FullScreen_RefreshRateInHz)),
                   field("FullScreen_PresentationInterval", hex(p->FullScreen_PresentationInterval))});
}

std::string surfaceDesc(const D3DSURFACE_DESC& d) {
    if (quiet()) return {};
    return braces({field("Format", dec(d.Format)), field("Type", dec(d.Type)),
                   field("Usage", hex(d.Usage)), field("Pool", dec(d.Pool)), field("Size", dec(d.Size)),
                   field("MultiSampleType", dec(d.MultiSampleType)), field("Width", dec(d.Width)),
                   field("Height", dec(d.Height))});
}

std::string vertexBufferDesc(const D3DVERTEXBUFFER_DESC& d) {
    if (quiet()) return {};
    return braces({field("Format", dec(d.Format)), field("Type", dec(d.Type)),
                   field("Usage", hex(d.Usage)), field("Pool", dec(d.Pool)), field("Size", dec(d.Size)),
                   field("FVF", hex(d.FVF))});
}

std::string indexBufferDesc(const D3DINDEXBUFFER_DESC& d) {
    if (quiet()) return {};
    return braces({field("Format", dec(d.Format)), field("Type", dec(d.Type)),
                   field("Usage", hex(d.Usage)), field("Pool", dec(d.Pool)), field("Size", dec(d.Size))});
}

std::string renderStateValue(D3DRENDERSTATETYPE state, DWORD value) {
    switch (state) {
        case D3DRS_AMBIENT:
        case D3DRS_TEXTUREFACTOR:
            return color(value);
        case D3DRS_COLORWRITEENABLE:
            return hex(value);
        default:
            return dec(value);
    }
}

std::string stageStateValue(D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    switch (type) {
        case D3DTSS_BORDERCOLOR:
            return color(value);
        case D3DTSS_TEXCOORDINDEX:  // a coordinate set OR'd with D3DTSS_TCI_ flags
            return hex(value);
        default:
            return dec(value);
    }
}

std::string call(std::string_view head, std::initializer_list<std::string> args) {
    if (quiet()) return {};
    std::string out(head);
    out += '(';
    bool first = true;
    for (const std::string& arg : args) {
        if (!first) out += ", ";
        out += arg;
        first = false;
    }
    out += ')';
    return out;
}

std::string gave(std::string text, const std::string& value) {
    if (quiet()) return {};
    return text + " -> " + value;
}

}  // namespace d3d8::recording::text
