// The capture program's command line.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace capture {

enum class OutputKind {
    FrameDirectory,  // numbered PNG frames and the sound as a WAV file, in a directory
    Video,           // an MP4 file: H.264 video and AAC sound, encoded by ffmpeg
    ContactSheet,    // one PNG of evenly spaced frames side by side (--sheet)
};

struct Options {
    uint32_t fromMs = 0;
    uint32_t toMs = 64000;
    uint32_t fps = 60;
    int width = 640;
    int height = 480;
    // The calendar time the demo reads (its log's name, its random seeds). Fixed,
    // so that two captures with the same options are identical frame for frame.
    std::time_t calendarTime = kDefaultCalendarTime;
    std::string out;
    OutputKind kind = OutputKind::FrameDirectory;
    int sheetColumns = 0;  // with --sheet only
    int sheetRows = 0;
    std::string dataDir = ".";  // holds the demo's Data/ directory

    static constexpr std::time_t kDefaultCalendarTime = 1262304000;  // 2010-01-01 00:00:00 UTC
};

// Limits that keep every derived quantity meaningful (and the demo's unsigned
// 32-bit millisecond clock far from wrapping).
constexpr uint32_t kMaxFps = 240;
constexpr uint32_t kMaxTimeMs = 24u * 60 * 60 * 1000;
constexpr int kMinSide = 16;
constexpr int kMaxSide = 8192;
constexpr int kMaxSheetTiles = 256;

enum class ParseOutcome { Run, Help, Error };

// Reads the arguments (without the program name). On Error, `error` says what
// was wrong in one line.
ParseOutcome parseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

std::string usageText();

}  // namespace capture
