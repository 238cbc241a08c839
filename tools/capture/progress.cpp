#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace capture {
namespace {

constexpr auto kTerminalInterval = std::chrono::milliseconds(250);
constexpr auto kLogInterval = std::chrono::seconds(10);
constexpr auto kRateWindow = std::chrono::seconds(2);

std::string duration(double seconds) {
    const auto whole = static_cast<long long>(std::llround(seconds));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

ProgressLine::ProgressLine(std::FILE* out, uint64_t totalFrames)
    : out_(out),
      total_(totalFrames),
      terminal_(::isatty(::fileno(out)) != 0),
      started_(Clock::now()),
      lastShown_(started_),
      windowStart_(started_) {}

std::string ProgressLine::format(uint64_t done, uint64_t total, double fps) {
    char text[128];
    const double percent = total ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0;
    if (fps > 0) {
        const double left = static_cast<double>(total - std::min(done, total)) / fps;
        std::snprintf(text, sizeof text, "frame %llu/%llu (%.0f%%), %.1f fps, %s left",
                      static_cast<unsigned long long>(done), static_cast<unsigned long long>(total), percent, fps,
                      duration(left).c_str());
    } else {
        std::snprintf(text, sizeof text, "frame %llu/%llu (%.0f%%)", static_cast<unsigned long long>(done),
                      static_cast<unsigned long long>(total), percent);
    }
    return text;
}

void ProgressLine::update(uint64_t done) {
    const Clock::time_point now = Clock::now();
    const auto window = now - windowStart_;
    if (window >= kRateWindow && done >= windowStartFrame_) {
        fps_ = static_cast<double>(done - windowStartFrame_) / std::chrono::duration<double>(window).count();
        windowStart_ = now;
        windowStartFrame_ = done;
    }
    const auto interval = terminal_ ? kTerminalInterval : kLogInterval;
    if (now - lastShown_ >= interval || done == total_) show(done, now);
}

void ProgressLine::show(uint64_t done, Clock::time_point now) {
    lastShown_ = now;
    shown_ = true;
    const std::string text = "capture: " + format(done, total_, fps_);
    if (terminal_) {
        std::fprintf(out_, "\r%s\033[K", text.c_str());  // \033[K clears what a longer line left
    } else {
        std::fprintf(out_, "%s\n", text.c_str());
    }
    std::fflush(out_);
}

void ProgressLine::finish() {
    if (terminal_ && shown_) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
    shown_ = false;
}

}  // namespace capture
