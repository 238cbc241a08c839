// A model's animation as the viewer plays it: on its own clock, paused and
// stepped a frame at a time by the user, looping at its end.
#pragma once

#include <cstdint>

namespace modelview {

class AnimationPlayer {
public:
    // The file's animation header: frames and frames a second. A count or rate
    // that gives no length makes an animation of no frames, which stays at 0 ms.
    AnimationPlayer(int32_t totalFrames, float fps);

    // While playing, moves on by `elapsedMs`, starting over past the end.
    void advance(uint32_t elapsedMs);
    void togglePlaying() { playing_ = !playing_; }
    // While paused, moves `frames` frames on (or back), wrapping at either end.
    void step(int frames);
    // To the first frame, playing or not.
    void rewind() { timeMs_ = 0; }

    bool playing() const { return playing_; }
    uint32_t timeMs() const { return timeMs_; }
    // 1 to totalFrames(), or 0 for an animation of no frames.
    int frame() const;
    int totalFrames() const { return totalFrames_; }

private:
    uint32_t timeOfFrame(int index) const;

    int totalFrames_;
    double fps_;
    uint32_t lengthMs_;
    uint32_t timeMs_ = 0;
    bool playing_ = true;
};

}  // namespace modelview
