#include "animation_player.h"

#include <algorithm>
#include <cmath>

#include "model.h"

namespace modelview {

AnimationPlayer::AnimationPlayer(int32_t totalFrames, float fps)
    : totalFrames_(0), fps_(fps), lengthMs_(ms3dAnimationLength(totalFrames, fps)) {
    // The same length the model's skeleton uses, so both loop together.
    if (lengthMs_ > 0) totalFrames_ = totalFrames;
}

void AnimationPlayer::advance(uint32_t elapsedMs) {
    if (!playing_ || lengthMs_ == 0) return;
    const uint64_t time = static_cast<uint64_t>(timeMs_) + elapsedMs;
    // A time exactly at the end still shows the last pose, as the engine's model does.
    timeMs_ = static_cast<uint32_t>(time > lengthMs_ ? time % lengthMs_ : time);
}

void AnimationPlayer::step(int frames) {
    if (playing_ || totalFrames_ == 0) return;
    const int index = ((frame() - 1 + frames) % totalFrames_ + totalFrames_) % totalFrames_;
    timeMs_ = timeOfFrame(index);
}

int AnimationPlayer::frame() const {
    if (totalFrames_ == 0) return 0;
    const int index = static_cast<int>(std::floor(timeMs_ * fps_ / 1000.0));
    return std::min(index, totalFrames_ - 1) + 1;
}

// The first whole millisecond inside frame `index` (0-based).
uint32_t AnimationPlayer::timeOfFrame(int index) const {
    return static_cast<uint32_t>(std::ceil(index * 1000.0 / fps_));
}

}  // namespace modelview
