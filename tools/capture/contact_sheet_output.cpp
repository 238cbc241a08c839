// A contact sheet: a grid of frames spread evenly over the capture, in one PNG.
#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "capture_output.h"
#include "output_files.h"

namespace capture {
namespace {

namespace fs = std::filesystem;

constexpr int kGap = 4;                    // pixels between the pictures
constexpr uint32_t kGapColor = 0xFF202020;  // a dark grey
constexpr int kMaxSide = 16384;

class ContactSheetOutput final : public CaptureOutput {
public:
    ContactSheetOutput(std::string path, const FrameFormat& format, int columns, int rows, uint64_t frameCount)
        : output_(std::move(path)), format_(format), columns_(columns), rows_(rows), frameCount_(frameCount) {}
    ~ContactSheetOutput() override { abandon(); }

    bool open(std::string* error) override {
        std::error_code status;
        if (fs::is_directory(output_.finalPath(), status)) {
            *error = output_.finalPath() + " is a directory";
            return false;
        }
        sheetWidth_ = columns_ * format_.width + (columns_ - 1) * kGap;
        sheetHeight_ = rows_ * format_.height + (rows_ - 1) * kGap;
        if (sheetWidth_ > kMaxSide || sheetHeight_ > kMaxSide) {
            *error = "the contact sheet would be " + std::to_string(sheetWidth_) + "x" +
                     std::to_string(sheetHeight_) + " pixels (at most " + std::to_string(kMaxSide) +
                     " a side): use a smaller --size or fewer pictures";
            return false;
        }
        if (!output_.createFile(error)) return false;
        sheet_.assign(static_cast<size_t>(sheetWidth_) * sheetHeight_, kGapColor);
        return true;
    }

    bool writeFrame(const session::PixelRows& frame, std::string* error) override {
        (void)error;
        const int tiles = columns_ * rows_;
        // Several tiles may show one frame when there are fewer frames than tiles.
        while (nextTile_ < tiles && contactSheetFrame(nextTile_, tiles, frameCount_) == frames_) {
            place(frame, nextTile_++);
        }
        ++frames_;
        return true;
    }

    bool writeSound(const int16_t*, size_t, std::string*) override { return true; }

    bool finish(std::string* error) override {
        const session::PixelRows image{sheet_.data(), sheetWidth_, sheetHeight_, sheetWidth_ * 4};
        return session::writePng(output_.temporary(), image, session::PngEffort::Small, error) &&
               output_.commit(error);
    }

    void abandon() override {
        output_.discard();
    }

    std::string temporaryPath() const override { return output_.temporary(); }

private:
    void place(const session::PixelRows& frame, int tile) {
        const int left = (tile % columns_) * (format_.width + kGap);
        const int top = (tile / columns_) * (format_.height + kGap);
        const int width = std::min(frame.width, format_.width);
        const int height = std::min(frame.height, format_.height);
        const auto* base = reinterpret_cast<const uint8_t*>(frame.pixels);
        for (int y = 0; y < height; ++y) {
            const auto* source = reinterpret_cast<const uint32_t*>(base + static_cast<size_t>(y) * frame.pitch);
            std::copy_n(source, width, sheet_.begin() + static_cast<ptrdiff_t>(top + y) * sheetWidth_ + left);
        }
    }

    files::PendingOutput output_;
    FrameFormat format_;
    int columns_;
    int rows_;
    uint64_t frameCount_;
    int sheetWidth_ = 0;
    int sheetHeight_ = 0;
    std::vector<uint32_t> sheet_;
    uint64_t frames_ = 0;
    int nextTile_ = 0;
};

}  // namespace

uint64_t contactSheetFrame(int tile, int tiles, uint64_t frameCount) {
    return (2 * static_cast<uint64_t>(tile) + 1) * frameCount / (2 * static_cast<uint64_t>(tiles));
}

std::unique_ptr<CaptureOutput> makeContactSheetOutput(const std::string& path, const FrameFormat& format,
                                                      int columns, int rows, uint64_t frameCount) {
    return std::make_unique<ContactSheetOutput>(path, format, columns, rows, frameCount);
}

}  // namespace capture
