// The capture program's arithmetic and command line: where frames fall on the
// demo's clock and the sound track, which frames a contact sheet shows, and
// which arguments are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_output.h"
#include "frame_timing.h"
#include "options.h"
#include "progress.h"

namespace {

using session::FrameTiming;
using capture::Options;
using capture::OutputKind;
using capture::ParseOutcome;

TEST(CaptureFrameTiming, RatesThatDoNotDivideASecondNeverDrift) {
    const FrameTiming timing(7);
    // floor(k * 1000 / 7): 0, 142, 285, 428, 571, 714, 857, and exactly 1000 at frame 7.
    const uint64_t expected[] = {0, 142, 285, 428, 571, 714, 857, 1000};
    for (uint64_t k = 0; k < 8; ++k) EXPECT_EQ(timing.timeOf(k), expected[k]) << "frame " << k;
    // An hour later still exact: 7 × 3600 frames is 3600 s to the millisecond.
    EXPECT_EQ(timing.timeOf(7 * 3600), 3600000u);
    EXPECT_EQ(FrameTiming(60).timeOf(720), 12000u);
    EXPECT_EQ(FrameTiming(60).timeOf(721), 12016u);
}

TEST(CaptureFrameTiming, FirstFrameAtOrAfterIsTheInverseOfTimeOf) {
    for (uint32_t fps : {1u, 7u, 24u, 30u, 60u, 144u, 240u}) {
        const FrameTiming timing(fps);
        for (uint64_t ms : {0ull, 1ull, 999ull, 1000ull, 4000ull, 11999ull, 12000ull, 12001ull, 64000ull}) {
            const uint64_t k = timing.firstFrameAtOrAfter(ms);
            EXPECT_GE(timing.timeOf(k), ms) << fps << " fps, " << ms << " ms";
            if (k > 0) {
                EXPECT_LT(timing.timeOf(k - 1), ms) << fps << " fps, " << ms << " ms";
            }
        }
    }
    // The same span holds half the frames at half the rate, starting at half the index.
    EXPECT_EQ(FrameTiming(30).firstFrameAtOrAfter(4000) * 2, FrameTiming(60).firstFrameAtOrAfter(4000));
    EXPECT_EQ(FrameTiming(60).firstFrameAtOrAfter(64000), 3840u);
}

TEST(CaptureFrameTiming, SoundSamplesAddUpToTheRateEverySecond) {
    const FrameTiming sixty(60);
    EXPECT_EQ(sixty.samplesIn(0, 44100), 735u);
    for (uint32_t fps : {7u, 24u, 60u, 144u}) {
        const FrameTiming timing(fps);
        uint64_t total = 0;
        for (uint64_t k = 0; k < fps; ++k) {
            const uint64_t n = timing.samplesIn(k, 44100);
            // Frames differ by at most one sample.
            EXPECT_TRUE(n == 44100 / fps || n == 44100 / fps + 1) << fps << " fps, frame " << k << ": " << n;
            total += n;
        }
        EXPECT_EQ(total, 44100u) << fps << " fps";
        EXPECT_EQ(timing.firstSampleOf(fps * 64, 44100), 64u * 44100) << fps << " fps";
    }
}

TEST(CaptureContactSheet, TilesShowTheMiddleOfEqualParts) {
    // 3840 frames in 12 parts of 320: frames 160, 480, ..., 3680.
    for (int tile = 0; tile < 12; ++tile) {
        EXPECT_EQ(capture::contactSheetFrame(tile, 12, 3840), 160u + 320u * tile) << "tile " << tile;
    }
    // More tiles than frames: every tile still names a frame that exists, in order.
    uint64_t previous = 0;
    for (int tile = 0; tile < 12; ++tile) {
        const uint64_t frame = capture::contactSheetFrame(tile, 12, 5);
        EXPECT_LT(frame, 5u);
        EXPECT_GE(frame, previous);
        previous = frame;
    }
}

ParseOutcome parse(std::vector<std::string> args, Options* options, std::string* error) {
    return capture::parseOptions(args, options, error);
}

TEST(CaptureOptions, DefaultsAndEveryOption) {
    Options options;
    std::string error;
    ASSERT_EQ(parse({"--out", "frames"}, &options, &error), ParseOutcome::Run) << error;
    EXPECT_EQ(options.fromMs, 0u);
    EXPECT_EQ(options.toMs, 64000u);
    EXPECT_EQ(options.fps, 60u);
    EXPECT_EQ(options.width, 640);
    EXPECT_EQ(options.height, 480);
    EXPECT_EQ(options.calendarTime, Options::kDefaultCalendarTime);
    EXPECT_EQ(options.kind, OutputKind::FrameDirectory);
    EXPECT_EQ(options.dataDir, ".");

    ASSERT_EQ(parse({"--from", "11500", "--to=12500", "--fps", "30", "--size", "320x240", "--time", "0", "--data",
                     "/srv/demo", "--out", "clip.MP4"},
                    &options, &error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(options.fromMs, 11500u);
    EXPECT_EQ(options.toMs, 12500u);
    EXPECT_EQ(options.fps, 30u);
    EXPECT_EQ(options.width, 320);
    EXPECT_EQ(options.height, 240);
    EXPECT_EQ(options.calendarTime, 0);
    EXPECT_EQ(options.dataDir, "/srv/demo");
    EXPECT_EQ(options.kind, OutputKind::Video);

    ASSERT_EQ(parse({"--sheet", "4x3", "--out", "docs/sheet.png"}, &options, &error), ParseOutcome::Run) << error;
    EXPECT_EQ(options.kind, OutputKind::ContactSheet);
    EXPECT_EQ(options.sheetColumns, 4);
    EXPECT_EQ(options.sheetRows, 3);

    // A directory given with a slash is the directory itself.
    ASSERT_EQ(parse({"--out", "captures/frames//"}, &options, &error), ParseOutcome::Run) << error;
    EXPECT_EQ(options.out, "captures/frames");
    EXPECT_EQ(options.kind, OutputKind::FrameDirectory);

    EXPECT_EQ(parse({"--out", "x", "--help"}, &options, &error), ParseOutcome::Help);
}

TEST(CaptureOptions, RefusesWhatCannotBeCaptured) {
    const std::vector<std::vector<std::string>> refused = {
        {},                                              // no output
        {"--out"},                                       // no value
        {"--out", ""},                                   // empty value
        {"--out", "x", "--fps", "0"},                    // no frames at all
        {"--out", "x", "--fps", "241"},                  // past the limit
        {"--out", "x", "--fps", "-5"},                   // a sign
        {"--out", "x", "--fps", "60fps"},                // trailing text
        {"--out", "x", "--fps", "99999999999999999999999"},  // overflow
        {"--out", "x", "--from", "5000", "--to", "5000"},    // an empty span
        {"--out", "x", "--to", "86400001"},              // the clock's limit
        {"--out", "x", "--size", "640"},                 // one side
        {"--out", "x", "--size", "15x480"},              // too small
        {"--out", "x", "--size", "640x8193"},            // too large
        {"--out", "x", "--size", "640x"},
        {"--out", "x.mp4", "--size", "641x480"},         // 4:2:0 video needs even sides
        {"--out", "x", "--time", "2147483648"},
        {"--out", "x.png"},                              // a picture without --sheet
        {"--out", "x.mp4", "--sheet", "4x3"},            // a sheet that is not a picture
        {"--out", "x.png", "--sheet", "0x3"},
        {"--out", "x.png", "--sheet", "17x16"},          // too many pictures
        {"--out", "x", "--frobnicate"},
        {"--out", "x", "stray"},
    };
    for (const auto& args : refused) {
        Options options;
        std::string error;
        std::string joined;
        for (const std::string& arg : args) joined += arg + " ";
        EXPECT_EQ(parse(args, &options, &error), ParseOutcome::Error) << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}

TEST(CaptureProgress, LineShowsFramesRateAndTimeLeft) {
    EXPECT_EQ(capture::ProgressLine::format(960, 3840, 0), "frame 960/3840 (25%)");
    EXPECT_EQ(capture::ProgressLine::format(960, 3840, 48), "frame 960/3840 (25%), 48.0 fps, 1:00 left");
    EXPECT_EQ(capture::ProgressLine::format(0, 400000, 100), "frame 0/400000 (0%), 100.0 fps, 1:06:40 left");
    EXPECT_EQ(capture::ProgressLine::format(3840, 3840, 48), "frame 3840/3840 (100%), 48.0 fps, 0:00 left");
}

}  // namespace
