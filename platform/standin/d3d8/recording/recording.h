// The recording Direct3D 8 back end, for unit tests and tools: the library
// d3d8_recording, chosen with selectBackend (d3d8_backend.h).
//
// Every call on the IDirect3D8 object, the device and the resources it creates is
// appended to one shared log, in order, with its arguments and result. The device
// keeps the state it is given, so the Get calls return it (starting from Direct3D
// 8's documented defaults). Any call can be made to fail with a chosen result:
// the Nth call of a method from now on, or every call of it.
//
// How calls are written down:
// - `method` is the bare name for IDirect3D8 and device calls ("CreateDevice",
//   "SetRenderState") and "Interface::Name" for resource calls and for every
//   AddRef and Release ("IDirect3DVertexBuffer8::Lock", "IDirect3DDevice8::Release").
// - `text` spells the call: "SetRenderState(137, 0)", "vb1->Lock(0, 0, out, 0x0)",
//   "dev1->Release()". Objects are named by kind and order of creation: d3d1, dev1,
//   tex1, vb1, ib1 (counted from the last Recorder::reset); null pointers read
//   "null", other out-pointers "out", a window "hwnd". Integers and enumerations
//   are decimal; D3DCOLORs read 0xaarrggbb, flags, usages and FVF codes 0x-hex;
//   floats use %g; matrices list their 16 values row by row; structures list
//   their fields by name. What a successful call hands back through an out-pointer
//   follows " -> " ("CreateVertexBuffer(96, 0x8, 0x142, 1, out) -> vb1",
//   "GetRenderState(7, out) -> 1"); locked memory is not written.
// - `result` is the HRESULT returned. AddRef, Release, GetAdapterCount,
//   GetLevelCount and GetType return no HRESULT: for them it holds the value
//   returned (the new reference count, the number of adapters or levels, the
//   resource type).
//
// Planned failures: every call that returns an HRESULT (and GetAdapterCount and
// GetLevelCount, which then return 0) asks the recorder first and, when a failure
// is planned, returns it without doing anything else; out-pointers are set to null
// where Direct3D clears them on failure (created objects, GetTexture, GetDevice,
// Lock). AddRef, Release and GetType never fail: COM reference counting has no
// failure to report.
//
// Reference counts follow Direct3D 8: every resource holds a reference on its
// device and the device one on its IDirect3D8 object, so each shows in the counts
// those return. A texture, vertex buffer or index buffer set on the device is kept
// alive by the device until it is replaced or the device goes, without changing
// the count its AddRef and Release report.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "d3d8.h"
#include "d3d8_state.h"

namespace d3d8::recording {

struct Call {
    std::string method;  // "SetRenderState", "Direct3DCreate8", "IDirect3DVertexBuffer8::Lock"...
    std::string text;    // the whole call: "SetRenderState(137, 0)"
    HRESULT result;      // what the call returned (for Direct3DCreate8: E_FAIL when it gave null)
};

// A draw the device accepted: its arguments, and whether it used the indices.
struct DrawCall {
    bool indexed;
    D3DPRIMITIVETYPE type;
    UINT first;  // StartVertex, or StartIndex for an indexed draw
    UINT primitiveCount;
    UINT minIndex;     // indexed draws only
    UINT numVertices;  // indexed draws only
};

// Told of every draw the device accepted, with the device as it stands then: its
// state, streams, indices and textures (see the look-ups at the end).
using DrawObserver = std::function<void(IDirect3DDevice8* device, const DrawCall& draw)>;

// The arguments of a CreateDevice call, as the caller passed them.
struct DeviceCreation {
    UINT adapter;
    D3DDEVTYPE deviceType;
    HWND focusWindow;
    DWORD behaviorFlags;
    D3DPRESENT_PARAMETERS parameters;
};

class Recorder {
public:
    // The calls recorded so far, oldest first.
    const std::vector<Call>& calls() const { return calls_; }
    // The calls of one method, or their texts, in order.
    std::vector<Call> callsOf(const std::string& method) const;
    std::vector<std::string> texts() const;
    size_t count(const std::string& method) const;
    void clearCalls() { calls_.clear(); }

    // The `nth` call (1 = the next one) of `method` from now on returns `result`
    // without doing anything else.
    void failNth(const std::string& method, int nth, HRESULT result);
    // Every call of `method` from now on returns `result`.
    void failAlways(const std::string& method, HRESULT result);
    void clearFailures();

    // What GetAdapterDisplayMode reports (1024 x 768, 60 Hz, X8R8G8B8 by default).
    void setAdapterMode(const D3DDISPLAYMODE& mode) { adapterMode_ = mode; }
    const D3DDISPLAYMODE& adapterMode() const { return adapterMode_; }

    // The last CreateDevice call that passed presentation parameters (whether it
    // succeeded or not); empty before any.
    const std::optional<DeviceCreation>& lastDeviceCreation() const { return lastCreation_; }

    // Clears calls, failures and the last device creation, restores the default
    // adapter mode and starts object names again at 1 (objects alive keep theirs).
    void reset();

    // Quiet mode, for measuring the code above the device (tools/bench): every
    // call still does all it does to the state and the resources, and planned
    // failures still fire, but no call is recorded and no call text is built,
    // so the recorder neither grows nor costs its formatting. Off by default;
    // reset() leaves it as it is.
    void setQuiet(bool quiet) { quiet_ = quiet; }
    bool quiet() const { return quiet_; }

    // Draws reach the observer, quiet or not; an empty one removes it. reset()
    // leaves it as it is.
    void setDrawObserver(DrawObserver observer) { drawObserver_ = std::move(observer); }
    const DrawObserver& drawObserver() const { return drawObserver_; }

    // Used by the recording objects: records a call and says what it must return.
    // Returns true (and sets `forced`) when a failure was planned for this call.
    bool plannedFailure(std::string_view method, HRESULT& forced);
    void record(std::string_view method, const std::string& text, HRESULT result);
    void noteDeviceCreation(const DeviceCreation& creation) { lastCreation_ = creation; }
    // The name of the next object of a kind: nextName("vb") gives "vb1", "vb2"...
    std::string nextName(const std::string& prefix);

private:
    struct Plan {
        std::string method;
        int remaining;  // calls still to let through; -1: fail every call
        HRESULT result;
    };
    std::vector<Call> calls_;
    std::vector<Plan> plans_;
    D3DDISPLAYMODE adapterMode_{1024, 768, 60, D3DFMT_X8R8G8B8};
    std::optional<DeviceCreation> lastCreation_;
    std::map<std::string, int> nameCounts_;
    bool quiet_ = false;
    DrawObserver drawObserver_;
};

// The one recorder that all recording objects report to.
Recorder& recorder();

// The number of recording objects (Direct3D objects, devices, buffers, textures)
// alive now: lets tests check that everything created was released.
int liveObjects();

// Direct looks at recording objects, for tests. None of these is recorded as a
// call or changes a reference count.

// The name calls use for an object ("vb1"); "null" for null, "foreign" for an
// object of another back end.
std::string nameOf(IUnknown* object);
// The count AddRef and Release would report; 0 for null or a foreign object.
ULONG refCountOf(IUnknown* object);
// The state a recording device holds; null for anything else.
const DeviceState* stateOf(IDirect3DDevice8* device);
// What is set on a recording device's stream, its indices, and whether a scene is open.
IDirect3DVertexBuffer8* streamSourceOf(IDirect3DDevice8* device, UINT stream, UINT* stride = nullptr);
IDirect3DIndexBuffer8* indicesOf(IDirect3DDevice8* device, UINT* baseVertexIndex = nullptr);
bool inScene(IDirect3DDevice8* device);
// The texture set on a recording device's stage; null for none.
IDirect3DBaseTexture8* textureOf(IDirect3DDevice8* device, DWORD stage);
// A copy of the bytes of a buffer, or of one level of a texture (rows packed,
// width x bytes per pixel each); empty for anything else.
std::vector<BYTE> contentsOf(IDirect3DResource8* resource, UINT level = 0);

}  // namespace d3d8::recording
