// Fuzz target: MS3D model files, along the path the demo takes with its test
// model: read and built into sub-meshes, materials, textures and a skeleton on
// the recording device, uploaded, then drawn as two frames of its animation,
// one inside the animation and one past its end (where it starts over).
//
// Texture names in the input are looked up relative to the working directory,
// which run.sh leaves empty, so every texture load fails and is reported (the
// image target covers pictures).
#include <cstddef>
#include <cstdint>

#include "crt.h"
#include "d3d.h"
#include "fuzz_support.h"
#include "model.h"

namespace {

// The test model's scene with the file name chosen by the fuzzer's input file.
class FuzzedModelScene : public cTestModel {
public:
    HRESULT initWith(cD3D* d3d, const std::string& fileName) { return initWithModel(d3d, fileName); }
};

crt::VirtualClock g_clock;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpQuietProcess("fuzz_model");
    fuzz::recordingDevice();
    crt::setClockSource(g_clock.source());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeInput(data, size);
    cD3D& d3d = fuzz::recordingDevice();

    g_clock.set(0);  // the animation starts when the model is made
    FuzzedModelScene scene;
    if (FAILED(scene.initWith(&d3d, fuzz::inputPath()))) fuzz::fail("the scene did not initialise");
    if (scene.m_model.m_skeleton) {
        const uint32_t length = scene.m_model.m_skeleton->m_totalLength;
        g_clock.set(length / 3);
        scene.frame(g_clock.now());
        g_clock.set(length + 1);  // past the end: starts over at 0
        scene.frame(g_clock.now());
    } else {
        scene.frame(0);
    }
    scene.release();
    return 0;
}
