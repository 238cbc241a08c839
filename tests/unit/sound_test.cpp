// The music API stand-in, heard through SDL's disk audio driver: the device's
// output goes to a file, so the test can see silence before FMUSIC_PlaySong and
// music after it. Also the failure paths (no file, no module, no device, null
// songs) and the hooks a capture uses.
#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "fmod.h"
#include "music.h"
#include "sound_hooks.h"

namespace {

// The same path as the program writes it, with Windows separators.
std::string programPath(const std::string& hostPath) {
    std::string p = hostPath;
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    return p;
}

std::vector<char> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

long fileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long>(in.tellg()) : -1;
}

// Waits (at most `limit`) until the file holds at least `bytes` bytes.
bool waitForSize(const std::string& path, long bytes, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (fileSize(path) < bytes) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The loudest 16-bit sample among bytes [from, to) of raw stereo output.
int loudest(const std::vector<char>& raw, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from & ~size_t{1}; i + 1 < std::min(to, raw.size()); i += 2) {
        int16_t s = static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return peak;
}

class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing::TempDir();
        sound::setDeviceSuppressed(false);
        sound::setStartObserver(nullptr);
        // The demo's own module, as the data generator writes it: any module will do.
        module_ = tempFile("sound_test_module.xm");
        std::string error;
        ASSERT_TRUE(datagen::writeMusic(module_, &error)) << error;
    }
    void TearDown() override {
        FSOUND_Close();
        sound::setDeviceSuppressed(false);
        sound::setStartObserver(nullptr);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        for (const std::string& f : files_) std::remove(f.c_str());
    }
    // A file name of this process's own, since other builds may run these tests at the same time.
    std::string tempFile(const std::string& name) {
        files_.push_back(dir_ + std::to_string(getpid()) + "_" + name);
        return files_.back();
    }

    std::string dir_;
    std::vector<std::string> files_;
    std::string module_;
};

TEST_F(Sound, PlaysMusicOnlyAfterPlaySong) {
    const std::string out = tempFile("sound_test_output.raw");
    std::remove(out.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);

    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1) << SDL_GetError();
    FMUSIC_MODULE* song = FMUSIC_LoadSong(programPath(module_).c_str());
    ASSERT_NE(song, nullptr);

    // A quarter of a second of output before the song starts (44100 Hz, 4 bytes a frame).
    const long second = 44100 * 4;
    ASSERT_TRUE(waitForSize(out, second / 4, std::chrono::seconds(5)));
    const long beforePlay = fileSize(out);
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    ASSERT_TRUE(waitForSize(out, beforePlay + second, std::chrono::seconds(10)));
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    FSOUND_Close();

    std::vector<char> raw = readAll(out);
    ASSERT_GE(static_cast<long>(raw.size()), beforePlay + second);
    EXPECT_EQ(loudest(raw, 0, static_cast<size_t>(beforePlay)), 0) << "sound before FMUSIC_PlaySong";
    EXPECT_GT(loudest(raw, static_cast<size_t>(beforePlay), raw.size()), 1000) << "no music after FMUSIC_PlaySong";
}

TEST_F(Sound, MissingOrUnreadableModulesGiveNoSong) {
    const std::string text = tempFile("sound_test_text.xm");
    writeAll(text, std::vector<char>(4096, 'x'));
    const std::string truncated = tempFile("sound_test_truncated.xm");
    std::vector<char> module = readAll(module_);
    ASSERT_GT(module.size(), 100u);
    writeAll(truncated, std::vector<char>(module.begin(), module.begin() + 60));  // half a header
    const std::string empty = tempFile("sound_test_empty.xm");
    writeAll(empty, {});

    EXPECT_EQ(FMUSIC_LoadSong((dir_ + "no_such_module.xm").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(text.c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(truncated.c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(empty.c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(dir_.c_str()), nullptr);  // a directory
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
}

TEST_F(Sound, NullSongsAndAMissingSoundSystemAreHarmless) {
    int started = 0;
    sound::setStartObserver([&](const std::string&) { ++started; });

    // Never initialised.
    FSOUND_Close();
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    EXPECT_EQ(FMUSIC_FreeSong(nullptr), 0);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(module_.c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(FMUSIC_PlaySong(song), 0);

    // No audio driver at all: FSOUND_Init fails cleanly and everything after it is harmless.
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    EXPECT_EQ(FSOUND_Init(44100, 32, 0), 0);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_EQ(FMUSIC_PlaySong(song), 0);
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    FSOUND_Close();
    FSOUND_Close();
    EXPECT_EQ(started, 0);

    // A rate outside what can be mixed.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EQ(FSOUND_Init(0, 32, 0), 0);
    EXPECT_EQ(FSOUND_Init(1000000, 32, 0), 0);
}

TEST_F(Sound, FreeingThePlayingSongAndClosingInEitherOrderIsSafe) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1) << SDL_GetError();
    FMUSIC_MODULE* first = FMUSIC_LoadSong(module_.c_str());
    FMUSIC_MODULE* second = FMUSIC_LoadSong(module_.c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(FMUSIC_PlaySong(first), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(FMUSIC_PlaySong(second), 1);  // replaces the first
    EXPECT_EQ(FMUSIC_FreeSong(first), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(FMUSIC_FreeSong(second), 1);  // while it plays
    // Initialising again restarts the sound system; songs outlive it.
    ASSERT_EQ(FSOUND_Init(22050, 32, 0), 1);
    FMUSIC_MODULE* third = FMUSIC_LoadSong(module_.c_str());
    EXPECT_EQ(FMUSIC_PlaySong(third), 1);
    FSOUND_Close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_EQ(FMUSIC_PlaySong(third), 0);
    EXPECT_EQ(FMUSIC_FreeSong(third), 1);
}

TEST_F(Sound, CaptureHooksReportTheStartWithoutADevice) {
    std::vector<std::string> started;
    sound::setStartObserver([&](const std::string& path) { started.push_back(path); });
    sound::setDeviceSuppressed(true);
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);  // would fail if a device were opened

    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(programPath(module_).c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_TRUE(started.empty()) << "loading is not playing";
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_EQ(started, std::vector<std::string>{module_});
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    FSOUND_Close();
    EXPECT_EQ(started.size(), 1u);
}

}  // namespace
