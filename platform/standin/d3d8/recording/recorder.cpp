// The call log and failure plans of the recording back end, the live-object
// count, and the look-ups tests use to inspect recording objects.
#include <algorithm>

#include "objects.h"
#include "recording.h"

namespace d3d8::recording {
namespace {

int g_liveObjects = 0;

}  // namespace

// ---------------------------------------------------------------------------
// Recorder

std::vector<Call> Recorder::callsOf(const std::string& method) const {
    std::vector<Call> found;
    for (const Call& call : calls_) {
        if (call.method == method) found.push_back(call);
    }
    return found;
}

std::vector<std::string> Recorder::texts() const {
    std::vector<std::string> texts;
    texts.reserve(calls_.size());
    for (const Call& call : calls_) texts.push_back(call.text);
    return texts;
}

size_t Recorder::count(const std::string& method) const {
    return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(),
                                             [&](const Call& call) { return call.method == method; }));
}

void Recorder::failNth(const std::string& method, int nth, HRESULT result) {
    if (nth < 1) return;  // there is no call before the next one
    plans_.push_back(Plan{method, nth - 1, result});
}

void Recorder::failAlways(const std::string& method, HRESULT result) {
    plans_.push_back(Plan{method, -1, result});
}

void Recorder::clearFailures() { plans_.clear(); }

void Recorder::reset() {
    calls_.clear();
    plans_.clear();
    adapterMode_ = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
    lastCreation_.reset();
    nameCounts_.clear();
}

// Every plan for the method counts this call, so plans made for different call
// numbers of one method all fire on time; when several fire together the oldest
// plan gives the result.
bool Recorder::plannedFailure(std::string_view method, HRESULT& forced) {
    if (plans_.empty()) return false;  // the usual case, and cheap in quiet mode
    bool fails = false;
    for (auto plan = plans_.begin(); plan != plans_.end();) {
        if (plan->method != method) {
            ++plan;
            continue;
        }
        const bool fires = plan->remaining <= 0;
        if (fires && !fails) {
            forced = plan->result;
            fails = true;
        }
        if (plan->remaining == 0) {
            plan = plans_.erase(plan);  // a one-off plan is used up
        } else {
            if (plan->remaining > 0) --plan->remaining;
            ++plan;
        }
    }
    return fails;
}

void Recorder::record(std::string_view method, const std::string& text, HRESULT result) {
    if (quiet_) return;
    calls_.push_back(Call{std::string(method), text, result});
}

std::string Recorder::nextName(const std::string& prefix) {
    return prefix + std::to_string(++nameCounts_[prefix]);
}

Recorder& recorder() {
    static Recorder instance;
    return instance;
}

int liveObjects() { return g_liveObjects; }

// ---------------------------------------------------------------------------
// RecordingObject

RecordingObject::RecordingObject(const char* prefix) : name_(recorder().nextName(prefix)) {
    ++g_liveObjects;
}

RecordingObject::~RecordingObject() { --g_liveObjects; }

RecordingObject* asRecording(IUnknown* object) { return dynamic_cast<RecordingObject*>(object); }

std::string nameFor(IUnknown* object) {
    if (!object) return "null";
    const RecordingObject* recording = asRecording(object);
    return recording ? recording->name() : "foreign";
}

// ---------------------------------------------------------------------------
// Look-ups for tests

std::string nameOf(IUnknown* object) { return nameFor(object); }

ULONG refCountOf(IUnknown* object) {
    const RecordingObject* recording = asRecording(object);
    return recording ? recording->refCount() : 0;
}

const DeviceState* stateOf(IDirect3DDevice8* device) {
    const Device* recording = dynamic_cast<Device*>(device);
    return recording ? &recording->state() : nullptr;
}

IDirect3DVertexBuffer8* streamSourceOf(IDirect3DDevice8* device, UINT stream, UINT* stride) {
    const Device* recording = dynamic_cast<Device*>(device);
    return recording ? recording->streamSource(stream, stride) : nullptr;
}

IDirect3DIndexBuffer8* indicesOf(IDirect3DDevice8* device, UINT* baseVertexIndex) {
    const Device* recording = dynamic_cast<Device*>(device);
    return recording ? recording->indices(baseVertexIndex) : nullptr;
}

bool inScene(IDirect3DDevice8* device) {
    const Device* recording = dynamic_cast<Device*>(device);
    return recording && recording->inScene();
}

IDirect3DBaseTexture8* textureOf(IDirect3DDevice8* device, DWORD stage) {
    const Device* recording = dynamic_cast<Device*>(device);
    return recording ? recording->texture(stage) : nullptr;
}

std::vector<BYTE> contentsOf(IDirect3DResource8* resource, UINT level) {
    if (auto* buffer = dynamic_cast<VertexBuffer*>(resource)) {
        return level == 0 ? buffer->memory().bytes() : std::vector<BYTE>{};
    }
    if (auto* buffer = dynamic_cast<IndexBuffer*>(resource)) {
        return level == 0 ? buffer->memory().bytes() : std::vector<BYTE>{};
    }
    if (auto* texture = dynamic_cast<Texture*>(resource)) {
        const std::vector<BYTE>* bytes = texture->levelBytes(level);
        return bytes ? *bytes : std::vector<BYTE>{};
    }
    return {};
}

}  // namespace d3d8::recording
