// The demo's music rendered offline: the module that the program starts playing
// is read again here and rendered with libopenmpt at the capture's pace, frame by
// frame, so the sound stays with the pictures however fast they are drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace openmpt {
class module;
}

namespace capture {

class OfflineMusic {
public:
    static constexpr uint32_t kRate = 44100;  // what the demo asks the sound system for
    static constexpr int kChannels = 2;

    OfflineMusic();
    ~OfflineMusic();
    OfflineMusic(const OfflineMusic&) = delete;
    OfflineMusic& operator=(const OfflineMusic&) = delete;

    // Starts the module in `path` from its beginning, looping forever, as the
    // program's FMUSIC_PlaySong does; it replaces anything playing. False, with
    // the reason, when the file cannot be read as a module (the music then stays
    // silent).
    bool start(const std::string& path, std::string* error);
    bool playing() const { return module_ != nullptr; }

    // The next `frames` sample frames, interleaved left/right, 16-bit: the music
    // when it plays, silence before it starts. The samples are rendered as floats
    // and rounded here without dither, so the same start gives the same samples
    // on every run.
    void render(int16_t* out, size_t frames);

private:
    std::unique_ptr<openmpt::module> module_;
    std::vector<float> scratch_;
};

}  // namespace capture
