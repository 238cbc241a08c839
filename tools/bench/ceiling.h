// The bare-GL ceiling of an effect: its frames as the engine hands them to the
// device, recorded on the recording device, then replayed through a minimal,
// hand-written OpenGL 3.3 path: the same vertex data (uploaded again whenever
// the engine changed it), the same triangles, textures, blend, depth and cull
// modes, each draw with one fixed simple shader (position times one matrix;
// vertex colour times up to two textures), no Direct3D state emulation. How
// fast that path draws the frames is the most this renderer can give for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "d3d8.h"

class cEffect;

namespace bench::ceiling {

struct Texture {
    UINT width = 0;
    UINT height = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    std::vector<std::vector<BYTE>> levels;  // rows packed, level 0 first
};

// One content of one vertex or index buffer of the engine (its source).
struct Snapshot {
    size_t source = 0;
    std::vector<BYTE> bytes;
};

constexpr size_t kNone = SIZE_MAX;

struct Draw {
    bool indexed = false;
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT first = 0;  // first vertex, or first index
    UINT primitiveCount = 0;
    UINT baseVertex = 0;
    size_t vertices = kNone;  // snapshot
    size_t indices = kNone;   // snapshot, indexed draws only
    DWORD fvf = 0;
    UINT stride = 0;
    float worldViewProj[16] = {};  // Direct3D's world · view · projection
    size_t textures[2] = {kNone, kNone};
    DWORD filters[2][3] = {};  // min, mag, mip filter of each stage
    UINT secondTexCoordSet = 0;
    bool blend = false;
    DWORD sourceBlend = D3DBLEND_ONE;
    DWORD destBlend = D3DBLEND_ZERO;
    DWORD blendOp = D3DBLENDOP_ADD;
    bool depthTest = true;
    bool depthWrite = true;
    DWORD cull = D3DCULL_CCW;
};

struct Frame {
    std::vector<Draw> draws;
};

struct Recording {
    D3DFORMAT depthFormat = D3DFMT_UNKNOWN;  // the device's depth buffer; UNKNOWN for none
    std::vector<Texture> textures;
    std::vector<Snapshot> snapshots;
    size_t sources = 0;
    std::vector<Frame> frames;
};

// Records `frames` frames of `effect` at `fps` as bench plays them; the
// recording back end must be the selected one and the effect initialised on it.
Recording record(cEffect& effect, uint32_t fps, uint32_t spanMs);

// A GL 3.3 core context of its own on a hidden window, and an offscreen target
// of the size given; replays recordings, every frame finished with glFinish.
class Replayer {
public:
    Replayer();
    ~Replayer();
    Replayer(const Replayer&) = delete;
    Replayer& operator=(const Replayer&) = delete;

    bool open(int width, int height, std::string* error);
    // Frames a second of one pass over the recording's frames.
    double framesPerSecond(const Recording& recording);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace bench::ceiling
