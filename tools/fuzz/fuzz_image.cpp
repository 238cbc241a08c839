// Fuzz target: pictures, through D3DXCreateTextureFromFileExA as the engine's
// textures call it (the decoder is chosen from the file's first bytes): loaded
// into a managed texture with the default filters, and, when that succeeds,
// again as a colour-keyed texture without scaling. On the recording device.
#include <cstddef>
#include <cstdint>

#include "d3d.h"
#include "fuzz_support.h"
#include "texture.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpQuietProcess("fuzz_image");
    fuzz::recordingDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeInput(data, size);
    cD3D& d3d = fuzz::recordingDevice();

    cTexture texture;
    if (SUCCEEDED(texture.load(&d3d, fuzz::inputPath()))) {
        if (!texture.getTexture()) fuzz::fail("a texture that loaded is null");
        texture.loadFileKeyed(fuzz::inputPath(), 0xFF000000);
    } else if (texture.getTexture()) {
        fuzz::fail("a texture that failed to load is not null");
    }
    texture.release();
    return 0;
}
