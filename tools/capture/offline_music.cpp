#include "offline_music.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iterator>
#include <libopenmpt/libopenmpt.hpp>
#include <sstream>

namespace capture {
namespace {

int16_t toSample(float value) {
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

OfflineMusic::OfflineMusic() = default;
OfflineMusic::~OfflineMusic() = default;

bool OfflineMusic::start(const std::string& path, std::string* error) {
    module_.reset();
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        *error = "cannot read the music file " + path;
        return false;
    }
    try {
        std::ostringstream loaderLog;  // libopenmpt's remarks on the file; not shown
        module_ = std::make_unique<openmpt::module>(bytes, loaderLog);
        module_->set_repeat_count(-1);
    } catch (const std::exception& e) {
        module_.reset();
        *error = "cannot play the music file " + path + ": " + e.what();
        return false;
    }
    return true;
}

void OfflineMusic::render(int16_t* out, size_t frames) {
    const size_t values = frames * kChannels;
    size_t rendered = 0;
    if (module_) {
        scratch_.resize(values);
        try {
            // A module that loops forever renders every frame asked for; anything
            // short of that is filled with silence below.
            rendered = module_->read_interleaved_stereo(static_cast<int32_t>(kRate), frames, scratch_.data());
        } catch (const std::exception&) {
            rendered = 0;
        }
        std::transform(scratch_.begin(), scratch_.begin() + static_cast<ptrdiff_t>(rendered * kChannels), out,
                       toSample);
    }
    std::fill(out + rendered * kChannels, out + values, int16_t{0});
}

}  // namespace capture
