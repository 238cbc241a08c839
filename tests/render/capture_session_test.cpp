// The demo run by a capture session on the real OpenGL device: every frame of
// the render loop reaches the listener once, in order, at the size asked for,
// drawn at exactly its time on the virtual clock, and the music starts on the
// first frame past 12 s. The session can run only once per process (the demo
// registers its window class for good), so this is one test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "crt.h"
#include "demo_data.h"
#include "demo_session.h"
#include "frame_timing.h"

namespace {

class RecordingListener : public session::SessionListener {
public:
    bool onFrame(uint64_t index, const d3d8::FrameView& frame) override {
        indices.push_back(index);
        clockAtFrame.push_back(crt::clock());
        sizes.push_back(std::to_string(frame.width) + "x" + std::to_string(frame.height));
        calendar = crt::time(nullptr);
        return true;
    }
    void onMusicStart(uint64_t index, const std::string& modulePath) override {
        musicStarts.push_back(index);
        music = modulePath;
    }
    void onMessageBox(const std::string& caption, const std::string& text, const char*) override {
        boxes.push_back(caption + ": " + text);
    }

    std::vector<uint64_t> indices;
    std::vector<uint32_t> clockAtFrame;
    std::vector<std::string> sizes;
    std::vector<uint64_t> musicStarts;
    std::vector<std::string> boxes;
    std::string music;
    std::time_t calendar = 0;
};

TEST(CaptureSession, DrawsEveryFrameAtItsTimeAndStartsTheMusicPast12Seconds) {
    std::string error;
    auto workDir = capture::DemoWorkDir::create(DEMO_TEST_DATA_DIR, 64, 48, &error);
    ASSERT_TRUE(workDir) << error;

    // 7 fps does not divide a second: the clock must still read floor(k * 1000 / 7).
    const session::FrameTiming timing(7);
    const uint64_t frames = timing.firstFrameAtOrAfter(12500);
    RecordingListener listener;
    session::SessionResult result{session::SessionEnd::StartUpFailed, 0};
    {
        capture::ScopedWorkingDirectory inWorkDir(workDir->path());
        ASSERT_TRUE(inWorkDir.entered());
        result = session::runDemoSession({7, frames, 1262304000}, listener);
    }

    EXPECT_EQ(result.end, session::SessionEnd::Completed);
    EXPECT_EQ(result.framesDrawn, frames);
    ASSERT_EQ(listener.indices.size(), frames) << "the loading picture is not a frame of the loop";
    for (uint64_t k = 0; k < frames; ++k) {
        EXPECT_EQ(listener.indices[k], k);
        EXPECT_EQ(listener.clockAtFrame[k], timing.timeOf(k)) << "frame " << k;
        EXPECT_EQ(listener.sizes[k], "64x48") << "frame " << k;
    }
    EXPECT_EQ(listener.calendar, 1262304000);

    // The title scene starts once 12000 ms have passed: frame 85 (12142 ms) at 7 fps.
    ASSERT_EQ(listener.musicStarts.size(), 1u);
    EXPECT_EQ(listener.musicStarts[0], 85u);
    EXPECT_EQ(std::filesystem::path(listener.music).filename(), "onehitw.xm");
    EXPECT_TRUE(listener.boxes.empty()) << listener.boxes.front();

    // The demo wrote its log in the working directory, named after the fixed time.
    EXPECT_FALSE(workDir->logFile().empty());
    // And the hooks are the program's own again.
    EXPECT_NE(crt::time(nullptr), 1262304000);
}

}  // namespace
