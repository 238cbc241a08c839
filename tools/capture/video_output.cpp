// An MP4 file encoded by the ffmpeg program. The raw frames go to its standard
// input and the sound, as raw 16-bit stereo samples, to a second pipe that it
// reads as /dev/fd/3; nothing is written to disk but the video itself.
//
// ffmpeg reads its two inputs on threads of its own and buffers a little of
// each, but how far it reads one ahead of the other is up to its muxer. So the
// sound is written by a thread of ours from a queue that never blocks the
// capture: the frames alone set the pace, and neither pipe can wait on the other.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "capture_output.h"
#include "interrupt.h"
#include "output_files.h"

extern char** environ;

namespace capture {
namespace {

namespace fs = std::filesystem;

constexpr int kSoundDescriptor = 3;  // where ffmpeg finds the sound: pipe:3
constexpr int kFirstSpareDescriptor = 10;

// How many frames may wait for ffmpeg: enough for the capture to render ahead
// while the encoder works on a hard frame, little enough to keep memory small.
constexpr size_t kQueuedFrames = 4;
constexpr int kVideoPipeBytes = 1 << 20;  // Linux's default ceiling for a user's pipe
size_t queuedFrameBytes(const FrameFormat& format) {
    return kQueuedFrames * static_cast<size_t>(format.width) * static_cast<size_t>(format.height) * 4;
}

// Writes all of `bytes`, through short writes. False when the reader has gone
// (EPIPE: SIGPIPE is ignored), on any other error, and when the capture was
// asked to stop (errno EINTR): a write to an encoder that has stopped reading
// must not hold that up. The signal interrupts a blocked write, which then
// returns EINTR, or what it had written so far.
bool writeAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        if (interruptSignal()) {
            errno = EINTR;
            return false;
        }
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;  // the check above decides
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

void closeDescriptor(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A pipe whose ends are closed when a program is started, with the reading end
// moved out of the way of the descriptors the child's are copied to.
bool makePipe(int* readEnd, int* writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    const int moved = ::fcntl(ends[0], F_DUPFD_CLOEXEC, kFirstSpareDescriptor);
    ::close(ends[0]);
    if (moved < 0) {
        ::close(ends[1]);
        return false;
    }
    *readEnd = moved;
    *writeEnd = ends[1];
    return true;
}

// Bytes on their way to one of ffmpeg's pipes, written by a thread of their
// own, so that the capture goes on to the next frame while ffmpeg encodes.
// Written chunks are kept for reuse: no allocation per frame once it runs.
// A writer with a limit makes push wait while that many bytes are queued; one
// without never waits (the sound, which must not hold up the frames).
class PipeWriter {
public:
    PipeWriter(int fd, size_t limit) : fd_(fd), limit_(limit) {
        // The thread takes no signals: the capture's thread must get them, to
        // leave a push that waits on ffmpeg.
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
        thread_ = std::thread([this] { run(); });
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    ~PipeWriter() { close(); }
    PipeWriter(const PipeWriter&) = delete;
    PipeWriter& operator=(const PipeWriter&) = delete;

    // Queues `size` bytes made by `fill`, which writes them into the buffer it
    // is given. False when the pipe has failed, or when the capture was asked to
    // stop while this waited for room (errno EINTR).
    template <typename Fill>
    bool push(size_t size, Fill fill) {
        std::vector<uint8_t> chunk;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!failed_ && limit_ != 0 && queuedBytes_ + size > limit_ && queuedBytes_ != 0) {
                if (interruptSignal()) {
                    errno = EINTR;
                    return false;
                }
                roomMade_.wait_for(lock, std::chrono::milliseconds(20));
            }
            if (failed_) return false;
            if (!spare_.empty()) {
                chunk.swap(spare_.back());
                spare_.pop_back();
            }
        }
        chunk.resize(size);
        fill(chunk.data());
        std::lock_guard<std::mutex> lock(mutex_);
        queuedBytes_ += size;
        queue_.push_back(std::move(chunk));
        wake_.notify_one();
        return true;
    }

    bool failed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failed_;
    }

    // Writes what is queued, closes the pipe (ffmpeg sees the input end) and
    // waits for the thread. True when every byte was taken.
    bool close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
            wake_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
        closeDescriptor(fd_);
        return !failed_;
    }

private:
    void run() {
        for (;;) {
            std::vector<uint8_t> sending;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
                if (queue_.empty()) return;  // closing, and everything sent
                sending.swap(queue_.front());
                queue_.pop_front();
            }
            const bool written = writeAll(fd_, sending.data(), sending.size());
            std::lock_guard<std::mutex> lock(mutex_);
            queuedBytes_ -= sending.size();
            spare_.push_back(std::move(sending));
            roomMade_.notify_one();
            if (!written) {
                failed_ = true;
                queue_.clear();
                queuedBytes_ = 0;
                return;
            }
        }
    }

    int fd_;
    size_t limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable roomMade_;
    std::deque<std::vector<uint8_t>> queue_;
    std::vector<std::vector<uint8_t>> spare_;
    size_t queuedBytes_ = 0;
    bool closing_ = false;
    bool failed_ = false;
    std::thread thread_;
};

std::vector<std::string> ffmpegArguments(const std::string& ffmpeg, const FrameFormat& format,
                                         const std::string& output) {
    const std::string size = std::to_string(format.width) + "x" + std::to_string(format.height);
    return {
        ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
        // Both inputs are raw and fully described here. Left to itself, ffmpeg
        // would read ahead in each of them in turn while opening them, and wait
        // for sound that only comes with frames it is not yet reading.
        "-nofind_stream_info",
        // The frames: 0xAARRGGBB words, which are B, G, R, A bytes in memory.
        "-f", "rawvideo", "-pix_fmt", "bgra", "-video_size", size, "-framerate", std::to_string(format.fps),
        "-i", "pipe:0",
        // The sound, with a deep queue so that ffmpeg never stalls on it.
        "-thread_queue_size", "4096", "-f", "s16le", "-ar", std::to_string(format.soundRate), "-ac", "2",
        "-i", "pipe:" + std::to_string(kSoundDescriptor),
        "-map", "0:v", "-map", "1:a",
        // Broadly playable H.264 with BT.709 colours, tagged as such.
        // The output rate must be given: without the stream analysis skipped
        // above, ffmpeg would otherwise fall back to 25 frames a second.
        "-r", std::to_string(format.fps), "-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p",
        "-vf", "scale=out_color_matrix=bt709:out_range=tv", "-colorspace", "bt709",
        "-color_primaries", "bt709", "-color_trc", "bt709",
        "-c:a", "aac", "-b:a", "192k",
        "-movflags", "+faststart", "-f", "mp4", output,
    };
}

class VideoOutput final : public CaptureOutput {
public:
    VideoOutput(std::string path, std::string ffmpeg, const FrameFormat& format)
        : output_(std::move(path)), ffmpeg_(std::move(ffmpeg)), format_(format) {}
    ~VideoOutput() override { abandon(); }

    bool open(std::string* error) override {
        std::error_code status;
        if (fs::is_directory(output_.finalPath(), status)) {
            *error = output_.finalPath() + " is a directory";
            return false;
        }
        return output_.createFile(error) && start(error);
    }

    bool writeFrame(const session::PixelRows& frame, std::string* error) override {
        const auto* base = reinterpret_cast<const uint8_t*>(frame.pixels);
        const size_t rowBytes = static_cast<size_t>(frame.width) * 4;
        const bool ok = frames_->push(rowBytes * static_cast<size_t>(frame.height), [&](uint8_t* packed) {
            for (int y = 0; y < frame.height; ++y) {
                std::memcpy(packed + static_cast<size_t>(y) * rowBytes, base + static_cast<size_t>(y) * frame.pitch,
                            rowBytes);
            }
        });
        if (ok) return true;
        if (interruptSignal()) {
            *error = "interrupted";
        } else {
            frames_->close();  // ffmpeg, if it still runs, sees its input end
            *error = encoderStopped();
        }
        return false;
    }

    bool writeSound(const int16_t* samples, size_t frames, std::string* error) override {
        (void)error;
        sound_->push(frames * 4, [&](uint8_t* bytes) {
            for (size_t i = 0; i < frames * 2; ++i) {  // s16le whatever this machine's order is
                const auto value = static_cast<uint16_t>(samples[i]);
                bytes[2 * i] = static_cast<uint8_t>(value);
                bytes[2 * i + 1] = static_cast<uint8_t>(value >> 8);
            }
        });
        return true;
    }

    bool finish(std::string* error) override {
        const bool framesTaken = frames_->close();
        const bool soundTaken = sound_->close();
        const int status = waitForEncoder();
        if (status != 0 || !soundTaken || !framesTaken) {
            *error = status != 0 ? "ffmpeg failed (" + describeStatus(status) + "); its messages are above"
                                 : encoderStopped();
            return false;
        }
        return output_.commit(error);
    }

    void abandon() override {
        if (pid_ > 0) ::kill(pid_, SIGKILL);  // the file is thrown away: no need to let it finish
        if (frames_) frames_->close();
        if (sound_) sound_->close();
        waitForEncoder();
        output_.discard();
    }

    std::string temporaryPath() const override { return output_.temporary(); }

private:
    bool start(std::string* error) {
        int videoRead = -1, soundRead = -1, soundWrite = -1;
        if (!makePipe(&videoRead, &videoFd_) || !makePipe(&soundRead, &soundWrite)) {
            *error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
            closeDescriptor(videoRead);
            closeDescriptor(videoFd_);
            return false;
        }
        // A frame in fewer, larger writes: fewer switches between us and ffmpeg.
        // Only a hint; a smaller pipe works as well.
        ::fcntl(videoFd_, F_SETPIPE_SZ, kVideoPipeBytes);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, videoRead, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, soundRead, kSoundDescriptor);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // Its own process group: a Ctrl-C at the terminal reaches only us, and we
        // decide what happens to the half-made file.
        posix_spawnattr_setpgroup(&attributes, 0);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

        const std::vector<std::string> arguments = ffmpegArguments(ffmpeg_, format_, output_.temporary());
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, ffmpeg_.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        closeDescriptor(videoRead);
        closeDescriptor(soundRead);
        if (spawned != 0) {
            pid_ = -1;
            *error = "cannot run " + ffmpeg_ + ": " + std::strerror(spawned);
            closeDescriptor(videoFd_);
            closeDescriptor(soundWrite);
            return false;
        }
        frames_ = std::make_unique<PipeWriter>(videoFd_, queuedFrameBytes(format_));
        videoFd_ = -1;  // the writer owns it now
        sound_ = std::make_unique<PipeWriter>(soundWrite, 0);
        return true;
    }

    // Waits for ffmpeg to end; its wait status, or 0 when it was not running.
    int waitForEncoder() {
        if (pid_ <= 0) return 0;
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    std::string encoderStopped() {
        const int status = waitForEncoder();
        return "ffmpeg stopped reading" + (status != 0 ? " (" + describeStatus(status) + ")" : std::string()) +
               "; its messages are above";
    }

    static std::string describeStatus(int status) {
        std::ostringstream text;
        if (WIFEXITED(status)) {
            text << "exit status " << WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            text << "killed by signal " << WTERMSIG(status);
        } else {
            text << "wait status " << status;
        }
        return text.str();
    }

    files::PendingOutput output_;
    std::string ffmpeg_;
    FrameFormat format_;
    pid_t pid_ = -1;
    int videoFd_ = -1;
    std::unique_ptr<PipeWriter> frames_;
    std::unique_ptr<PipeWriter> sound_;
};

}  // namespace

std::unique_ptr<CaptureOutput> makeVideoOutput(const std::string& path, const std::string& ffmpegPath,
                                               const FrameFormat& format) {
    return std::make_unique<VideoOutput>(path, ffmpegPath, format);
}

std::string findProgram(const std::string& name, const char* pathVariable) {
    if (!pathVariable) return {};
    std::stringstream directories(pathVariable);
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        if (directory.empty()) continue;  // an empty entry would mean the working directory: not trusted here
        const std::string candidate = directory + "/" + name;
        struct stat info;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

}  // namespace capture
