// What the capture writes: PNG and WAV files, the frame directory and the
// contact sheet with their temporary names, finding ffmpeg, and the music
// rendered offline.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "capture_output.h"
#include "d3dx8_image.h"
#include "file_formats.h"
#include "music.h"
#include "offline_music.h"

namespace {

namespace fs = std::filesystem;
using session::PixelRows;

class CaptureOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("capture_outputs_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::vector<uint8_t> read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    static d3dx8::DecodedImage decode(const fs::path& path) {
        const std::vector<uint8_t> bytes = read(path);
        d3dx8::DecodedImage image;
        EXPECT_TRUE(d3dx8::decodePng(bytes.data(), bytes.size(), image)) << path;
        return image;
    }

    fs::path dir_;
};

// A frame of one colour per frame number, with rows padded past their width.
struct TestFrame {
    static constexpr int kWidth = 5, kHeight = 3, kPitchWords = 8;
    std::vector<uint32_t> words = std::vector<uint32_t>(kPitchWords * kHeight, 0xDEADBEEF);

    explicit TestFrame(uint32_t color) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) words[y * kPitchWords + x] = color;
    }
    PixelRows rows() const { return {words.data(), kWidth, kHeight, kPitchWords * 4}; }
};

TEST_F(CaptureOutputs, PngKeepsEveryPixelAndDropsAlpha) {
    std::vector<uint32_t> pixels(4 * 3 + 4, 0);  // a pitch of 5 words: the fifth must not show
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) pixels[y * 5 + x] = x == 4 ? 0x12345678u : 0x00102030u + 0x010101u * (y * 4 + x);
    for (session::PngEffort effort : {session::PngEffort::Fast, session::PngEffort::Small}) {
        std::string error;
        const fs::path path = dir_ / "picture.png";
        ASSERT_TRUE(session::writePng(path.string(), PixelRows{pixels.data(), 4, 3, 20}, effort, &error)) << error;
        const d3dx8::DecodedImage image = decode(path);
        ASSERT_EQ(image.image.width, 4u);
        ASSERT_EQ(image.image.height, 3u);
        EXPECT_FALSE(image.hasAlpha);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 4; ++x)
                EXPECT_EQ(image.image.at(x, y), 0xFF000000u | pixels[y * 5 + x]) << x << "," << y;
    }
}

TEST_F(CaptureOutputs, PngAndWavReportFilesThatCannotBeWritten) {
    std::vector<uint32_t> pixel(1, 0);
    std::string error;
    EXPECT_FALSE(session::writePng((dir_ / "no" / "such.png").string(), {pixel.data(), 1, 1, 4},
                                   session::PngEffort::Fast, &error));
    EXPECT_NE(error.find("such.png"), std::string::npos) << error;
    session::WavWriter wav;
    EXPECT_FALSE(wav.open((dir_ / "no" / "such.wav").string(), 2, 44100, &error));
    EXPECT_NE(error.find("such.wav"), std::string::npos) << error;
    const int16_t samples[2] = {0, 0};
    EXPECT_FALSE(wav.append(samples, 1, &error));
    EXPECT_FALSE(wav.finish(&error));
    // A full disk: the reason is the system's, not libpng's "Write Error".
    if (fs::exists("/dev/full")) {
        std::vector<uint32_t> frame(64 * 64, 0x00FF8040u);
        EXPECT_FALSE(session::writePng("/dev/full", {frame.data(), 64, 64, 256}, session::PngEffort::Fast, &error));
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    }
}

TEST_F(CaptureOutputs, WavHeaderDescribesLittleEndianStereoPcmWrittenInPieces) {
    const int16_t samples[] = {1, -1, 0x1234, -32768};
    std::string error;
    const fs::path path = dir_ / "sound.wav";
    session::WavWriter wav;
    ASSERT_TRUE(wav.open(path.string(), 2, 44100, &error)) << error;
    ASSERT_TRUE(wav.append(samples, 1, &error)) << error;
    ASSERT_TRUE(wav.append(samples + 2, 0, &error)) << error;
    ASSERT_TRUE(wav.append(samples + 2, 1, &error)) << error;
    ASSERT_TRUE(wav.finish(&error)) << error;
    const std::vector<uint8_t> bytes = read(path);
    ASSERT_EQ(bytes.size(), 44u + 8u);
    auto u32 = [&](size_t at) { return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24; };
    auto u16 = [&](size_t at) { return bytes[at] | bytes[at + 1] << 8; };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), 36u + 8u);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u16(20), 1);          // PCM
    EXPECT_EQ(u16(22), 2);          // channels
    EXPECT_EQ(u32(24), 44100u);     // rate
    EXPECT_EQ(u32(28), 44100u * 4); // bytes a second
    EXPECT_EQ(u16(32), 4);          // bytes a sample frame
    EXPECT_EQ(u16(34), 16);         // bits
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(u32(40), 8u);
    const std::vector<uint8_t> data(bytes.begin() + 44, bytes.end());
    EXPECT_EQ(data, (std::vector<uint8_t>{0x01, 0x00, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80}));
}

TEST_F(CaptureOutputs, FrameDirectoryAppearsOnlyWhenFinished) {
    const fs::path out = dir_ / "frames";
    auto output = capture::makeFrameDirectoryOutput(out.string(), {TestFrame::kWidth, TestFrame::kHeight, 60, 44100});
    std::string error;
    ASSERT_TRUE(output->open(&error)) << error;
    const int16_t sound[4] = {100, -100, 200, -200};
    for (uint32_t color : {0xFF0000FFu, 0xFF00FF00u}) {
        ASSERT_TRUE(output->writeSound(sound, 2, &error)) << error;
        ASSERT_TRUE(output->writeFrame(TestFrame(color).rows(), &error)) << error;
    }
    EXPECT_FALSE(fs::exists(out)) << "visible before the capture is complete";
    ASSERT_TRUE(fs::is_directory(output->temporaryPath()));
    EXPECT_EQ(fs::path(output->temporaryPath()).parent_path(), dir_) << "not beside the final name";

    ASSERT_TRUE(output->finish(&error)) << error;
    EXPECT_EQ(names(), std::vector<std::string>{"frames"});
    EXPECT_EQ(decode(out / "frame_000000.png").image.at(0, 0), 0xFF0000FFu);
    EXPECT_EQ(decode(out / "frame_000001.png").image.at(4, 2), 0xFF00FF00u);
    EXPECT_FALSE(fs::exists(out / "frame_000002.png"));
    EXPECT_EQ(fs::file_size(out / "audio.wav"), 44u + 4 * 4);
    // Readable as any new directory is, not only by its owner.
    struct stat info;
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IROTH, 0u);
}

TEST_F(CaptureOutputs, FrameDirectoryNeverMixesWithExistingFiles) {
    const fs::path out = dir_ / "frames";
    fs::create_directories(out);
    std::ofstream(out / "old.png") << "x";
    auto output = capture::makeFrameDirectoryOutput(out.string(), {4, 4, 60, 44100});
    std::string error;
    EXPECT_FALSE(output->open(&error));
    EXPECT_NE(error.find("not an empty directory"), std::string::npos) << error;
    EXPECT_EQ(names(), std::vector<std::string>{"frames"});

    // An empty directory of that name is fine: it is replaced.
    fs::remove(out / "old.png");
    output = capture::makeFrameDirectoryOutput(out.string(), {TestFrame::kWidth, TestFrame::kHeight, 60, 44100});
    ASSERT_TRUE(output->open(&error)) << error;
    ASSERT_TRUE(output->writeFrame(TestFrame(0xFF000000u).rows(), &error));
    ASSERT_TRUE(output->finish(&error)) << error;
    EXPECT_TRUE(fs::exists(out / "frame_000000.png"));
}

TEST_F(CaptureOutputs, AbandonedOutputsLeaveNothing) {
    std::string error;
    auto frames = capture::makeFrameDirectoryOutput((dir_ / "frames").string(), {5, 3, 60, 44100});
    ASSERT_TRUE(frames->open(&error)) << error;
    ASSERT_TRUE(frames->writeFrame(TestFrame(0xFFFFFFFFu).rows(), &error));
    auto sheet = capture::makeContactSheetOutput((dir_ / "sheet.png").string(), {5, 3, 60, 44100}, 2, 2, 10);
    ASSERT_TRUE(sheet->open(&error)) << error;
    EXPECT_EQ(names().size(), 2u);
    frames->abandon();
    sheet.reset();  // destroying an unfinished output abandons it too
    EXPECT_TRUE(names().empty());
}

TEST_F(CaptureOutputs, ContactSheetTilesChosenFramesInReadingOrder) {
    const fs::path out = dir_ / "sheet.png";
    // Four frames on two tiles: frames 1 and 3 (the middles of 0-1 and 2-3).
    auto output = capture::makeContactSheetOutput(out.string(), {TestFrame::kWidth, TestFrame::kHeight, 60, 44100}, 2,
                                                  1, 4);
    std::string error;
    ASSERT_TRUE(output->open(&error)) << error;
    const uint32_t colors[] = {0xFF110000u, 0xFF220000u, 0xFF330000u, 0xFF440000u};
    for (uint32_t color : colors) ASSERT_TRUE(output->writeFrame(TestFrame(color).rows(), &error));
    ASSERT_TRUE(output->finish(&error)) << error;
    const d3dx8::Image sheet = decode(out).image;
    ASSERT_EQ(sheet.width, 2u * TestFrame::kWidth + 4);  // a gap of 4 between the pictures
    ASSERT_EQ(sheet.height, uint32_t{TestFrame::kHeight});
    EXPECT_EQ(sheet.at(0, 0), colors[1]);
    EXPECT_EQ(sheet.at(4, 2), colors[1]);
    EXPECT_NE(sheet.at(5, 1), colors[1]);  // the gap
    EXPECT_EQ(sheet.at(9, 0), colors[3]);
    EXPECT_EQ(sheet.at(13, 2), colors[3]);
}

TEST_F(CaptureOutputs, ContactSheetRefusesASheetTooLargeToHold) {
    auto output = capture::makeContactSheetOutput((dir_ / "sheet.png").string(), {8192, 8192, 60, 44100}, 16, 16, 256);
    std::string error;
    EXPECT_FALSE(output->open(&error));
    EXPECT_NE(error.find("smaller"), std::string::npos) << error;
    EXPECT_TRUE(names().empty());
}

TEST_F(CaptureOutputs, FindProgramTakesOnlyExecutableFiles) {
    const fs::path plain = dir_ / "plain", runnable = dir_ / "runnable";
    fs::create_directories(plain / "ffmpeg");  // a directory of that name
    fs::create_directories(runnable);
    std::ofstream(plain / "other") << "";
    std::ofstream(runnable / "ffmpeg") << "#!/bin/sh\n";
    fs::permissions(runnable / "ffmpeg", fs::perms::owner_all);
    const std::string path = "::" + plain.string() + ":" + runnable.string();
    EXPECT_EQ(capture::findProgram("ffmpeg", path.c_str()), (runnable / "ffmpeg").string());
    EXPECT_EQ(capture::findProgram("ffmpeg", plain.string().c_str()), "");
    EXPECT_EQ(capture::findProgram("ffmpeg", ""), "");
    EXPECT_EQ(capture::findProgram("ffmpeg", nullptr), "");
}

TEST_F(CaptureOutputs, MusicIsSilentUntilStartedAndTheSameOnEveryRun) {
    capture::OfflineMusic before;
    std::vector<int16_t> samples(2 * 1000, 7);
    before.render(samples.data(), 1000);
    EXPECT_EQ(samples, std::vector<int16_t>(2 * 1000, 0));

    std::string error;
    EXPECT_FALSE(before.start((dir_ / "missing.xm").string(), &error));
    EXPECT_NE(error.find("missing.xm"), std::string::npos) << error;
    std::ofstream(dir_ / "garbage.xm") << "not a module";
    EXPECT_FALSE(before.start((dir_ / "garbage.xm").string(), &error));
    EXPECT_FALSE(before.playing());

    const fs::path module = dir_ / "song.xm";
    ASSERT_TRUE(datagen::writeMusic(module.string(), &error)) << error;
    std::vector<int16_t> runs[2];
    for (auto& run : runs) {
        capture::OfflineMusic music;
        ASSERT_TRUE(music.start(module.string(), &error)) << error;
        run.assign(2 * 44100, 0);
        music.render(run.data(), 44100);  // the first second
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(runs[0], std::vector<int16_t>(2 * 44100, 0)) << "the first second of the song is silent";
}

}  // namespace
