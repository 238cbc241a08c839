// Fuzz target: the settings file ("Data\Config\direct3d.cfg"). The input is read
// as the device wrapper reads it, then checked and used:
// - written back and read again, every setting must come back as it was read
//   (the file the program writes is one it reads the same way);
// - applied to a device as the program applies it (window size, windowed or
//   full screen), on the recording back end.
#include <cstddef>
#include <cstdint>

#include "config.h"
#include "d3d.h"
#include "fuzz_support.h"

namespace {

void expectSameSettings(const cD3DConfig& read, const cD3DConfig& reread) {
    if (reread.reswidth.getValue() != read.reswidth.getValue() ||
        reread.resheight.getValue() != read.resheight.getValue() ||
        reread.fullscreen.getValue() != read.fullscreen.getValue()) {
        fuzz::fail("a setting changed when written and read back");
    }
    if (!reread.reswidth.wasRead() || !reread.resheight.wasRead() || !reread.fullscreen.wasRead()) {
        fuzz::fail("a written setting was not read back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpQuietProcess("fuzz_config");
    fuzz::recordingDevice();  // selects the quiet recording back end
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeInput(data, size);
    cD3DConfig config;
    if (!config.load(fuzz::inputPath())) fuzz::fail("an existing settings file did not open");

    static const std::string writtenBack = fuzz::privatePath("written.cfg");
    if (!config.save(writtenBack)) fuzz::fail("the settings could not be written");
    cD3DConfig reread;
    if (!reread.load(writtenBack)) fuzz::fail("the written settings did not open");
    expectSameSettings(config, reread);

    // Applied as the program does, to a device made for them and released. The
    // window starts each input at the same size: settings resize it.
    HWND window = static_cast<HWND>(fuzz::deviceWindow());
    SetWindowPos(window, nullptr, 0, 0, 640, 480, SWP_NOMOVE);
    cD3D d3d;
    d3d.setDisplayMode(640, 480, 60);
    d3d.init(window, nullptr, &config);
    d3d.release();
    return 0;
}
