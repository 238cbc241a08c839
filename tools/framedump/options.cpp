#include "options.h"

#include <algorithm>
#include <cstdio>

namespace framedump {

const char kUsage[] =
    "usage: framedump --times MS[,MS...] --out DIR [--data DIR] [--size WxH] [--fps N] [--time SECONDS]\n"
    "  Writes the demo's frame at each demo time (ms) as DIR/frame_NNNNNN.png, drawn on a virtual\n"
    "  clock (frame k at floor(k * 1000 / fps) ms; each time takes the first frame at or after it)\n"
    "  with a fixed calendar time (the random seeds), so that every build draws the same frames.\n"
    "  --data: the directory holding Data/ (default: the current one); --size: the back buffer\n"
    "  (default 640x480); --fps: default 60; --time: the calendar time, default 1262304000.\n";

namespace {

bool parseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stoull(text);
    return *value <= max;
}

bool parseTimes(const std::string& text, std::vector<uint64_t>* times) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        uint64_t ms = 0;
        if (!parseNumber(text.substr(start, comma - start), 24ull * 3600 * 1000, &ms)) return false;
        times->push_back(ms);
        start = comma + 1;
    }
    std::sort(times->begin(), times->end());
    times->erase(std::unique(times->begin(), times->end()), times->end());
    return !times->empty();
}

bool parseSize(const std::string& text, int* width, int* height) {
    const size_t x = text.find('x');
    uint64_t w = 0;
    uint64_t h = 0;
    if (x == std::string::npos || !parseNumber(text.substr(0, x), 4096, &w) ||
        !parseNumber(text.substr(x + 1), 4096, &h) || w < 16 || h < 16) {
        return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            *error = name + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        uint64_t number = 0;
        bool ok = true;
        if (name == "--times") {
            ok = parseTimes(value, &options->times);
        } else if (name == "--out") {
            options->out = value;
        } else if (name == "--data") {
            options->data = value;
        } else if (name == "--size") {
            ok = parseSize(value, &options->width, &options->height);
        } else if (name == "--fps") {
            ok = parseNumber(value, 1000, &number) && number > 0;
            options->fps = static_cast<uint32_t>(number);
        } else if (name == "--time") {
            ok = parseNumber(value, 0x7FFFFFFF, &number);
            options->calendarTime = static_cast<std::time_t>(number);
        } else {
            *error = "unknown option " + name;
            return false;
        }
        if (!ok) {
            *error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    if (options->times.empty() || options->out.empty()) {
        *error = "--times and --out are needed";
        return false;
    }
    return true;
}

std::string frameFileName(uint64_t ms) {
    char name[40];
    std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(ms));
    return name;
}

}  // namespace framedump
