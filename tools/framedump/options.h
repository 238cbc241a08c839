// framedump's command line.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace framedump {

struct Options {
    std::vector<uint64_t> times;      // demo times in ms, ascending, no repeats
    std::filesystem::path out;        // the directory the frames go to
    std::filesystem::path data = ".";  // the directory holding Data/
    int width = 640;                  // the back buffer's size
    int height = 480;
    uint32_t fps = 60;
    std::time_t calendarTime = 1262304000;  // 2010-01-01 00:00:00 UTC, as capture uses
};

extern const char kUsage[];

// Reads the arguments after the program name. False, with the reason, for
// anything it does not understand.
bool parseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

// The file a frame at `ms` is written to: "frame_012000.png" for 12000.
std::string frameFileName(uint64_t ms);

}  // namespace framedump
