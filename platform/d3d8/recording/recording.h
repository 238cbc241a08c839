// The recording Direct3D 8 back end, for unit tests.
//
// Every call on the IDirect3D8 object, the device and the resources it creates is
// appended to one shared log, in order, with its arguments and result. The device
// keeps the state it is given, so the Get calls return it (starting from Direct3D
// 8's documented defaults). Any call can be made to fail with a chosen result:
// the Nth call of a method from now on, or every call of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "d3d8.h"

namespace d3d8::recording {

struct Call {
    std::string method;  // "SetRenderState", "Direct3DCreate8", "IDirect3DVertexBuffer8::Lock"...
    std::string text;    // the whole call: "SetRenderState(137, 0)"
    HRESULT result;      // what the call returned (for Direct3DCreate8: E_FAIL when it gave null)
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

    // Clears calls and failures and restores the default adapter mode.
    void reset();

    // Used by the recording objects: records a call and says what it must return.
    // Returns true (and sets `forced`) when a failure was planned for this call.
    bool plannedFailure(const std::string& method, HRESULT& forced);
    void record(const std::string& method, const std::string& text, HRESULT result);

private:
    struct Plan {
        std::string method;
        int remaining;  // calls still to let through; -1: fail every call
        HRESULT result;
    };
    std::vector<Call> calls_;
    std::vector<Plan> plans_;
    D3DDISPLAYMODE adapterMode_{1024, 768, 60, D3DFMT_X8R8G8B8};
};

// The one recorder that all recording objects report to.
Recorder& recorder();

// The IDirect3D8 object of this back end (Direct3DCreate8 returns it when the
// recording back end is selected).
IDirect3D8* createDirect3D();

// The number of recording objects (Direct3D objects, devices, buffers, textures)
// alive now: lets tests check that everything created was released.
int liveObjects();

}  // namespace d3d8::recording
