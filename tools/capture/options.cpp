#include "options.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace capture {
namespace {

// A whole decimal number with no sign, spaces or anything after it.
bool parseUnsigned(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (result > (max - digit) / 10) return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

// "WxH" with both sides whole numbers.
bool parsePair(const std::string& text, char separator, uint64_t max, uint64_t* first, uint64_t* second) {
    const size_t at = text.find(separator);
    if (at == std::string::npos) return false;
    return parseUnsigned(text.substr(0, at), max, first) && parseUnsigned(text.substr(at + 1), max, second);
}

bool endsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

// The checks that involve more than one option.
bool checkTogether(Options* options, std::string* error) {
    if (options->out.empty()) {
        *error = "no output given: use --out DIR, --out FILE.mp4 or --sheet CxR --out FILE.png";
        return false;
    }
    if (options->fromMs >= options->toMs) {
        *error = "--from must be earlier than --to";
        return false;
    }
    const bool png = endsWithNoCase(options->out, ".png");
    if (options->sheetColumns > 0) {
        if (!png) {
            *error = "--sheet writes one PNG image: give --out a file name ending in .png";
            return false;
        }
        options->kind = OutputKind::ContactSheet;
        return true;
    }
    if (png) {
        *error = "--out ending in .png makes a contact sheet: add --sheet COLUMNSxROWS";
        return false;
    }
    if (endsWithNoCase(options->out, ".mp4")) {
        // H.264 in 4:2:0 halves the colour planes in both directions.
        if (options->width % 2 != 0 || options->height % 2 != 0) {
            *error = "an MP4 needs an even width and height";
            return false;
        }
        options->kind = OutputKind::Video;
        return true;
    }
    options->kind = OutputKind::FrameDirectory;
    return true;
}

}  // namespace

ParseOutcome parseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    *options = Options{};
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        if (name == "-h" || name == "--help") return ParseOutcome::Help;

        const bool known = name == "--from" || name == "--to" || name == "--fps" || name == "--size" ||
                           name == "--time" || name == "--out" || name == "--sheet" || name == "--data";
        if (!known) {
            *error = "unknown argument '" + args[i] + "'";
            return ParseOutcome::Error;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return ParseOutcome::Error;
            }
            value = args[++i];
        }

        uint64_t a = 0, b = 0;
        if (name == "--from" || name == "--to") {
            if (!parseUnsigned(value, kMaxTimeMs, &a)) {
                *error = name + " takes milliseconds from 0 to " + std::to_string(kMaxTimeMs) + ", not '" + value + "'";
                return ParseOutcome::Error;
            }
            (name == "--from" ? options->fromMs : options->toMs) = static_cast<uint32_t>(a);
        } else if (name == "--fps") {
            if (!parseUnsigned(value, kMaxFps, &a) || a == 0) {
                *error = "--fps takes frames a second from 1 to " + std::to_string(kMaxFps) + ", not '" + value + "'";
                return ParseOutcome::Error;
            }
            options->fps = static_cast<uint32_t>(a);
        } else if (name == "--size") {
            if (!parsePair(value, 'x', kMaxSide, &a, &b) || a < kMinSide || b < kMinSide) {
                *error = "--size takes WIDTHxHEIGHT, each from " + std::to_string(kMinSide) + " to " +
                         std::to_string(kMaxSide) + ", not '" + value + "'";
                return ParseOutcome::Error;
            }
            options->width = static_cast<int>(a);
            options->height = static_cast<int>(b);
        } else if (name == "--time") {
            if (!parseUnsigned(value, std::numeric_limits<int32_t>::max(), &a)) {
                *error = "--time takes seconds since 1970 from 0 to 2147483647, not '" + value + "'";
                return ParseOutcome::Error;
            }
            options->calendarTime = static_cast<std::time_t>(a);
        } else if (name == "--sheet") {
            if (!parsePair(value, 'x', kMaxSheetTiles, &a, &b) || a == 0 || b == 0 || a * b > kMaxSheetTiles) {
                *error = "--sheet takes COLUMNSxROWS, at most " + std::to_string(kMaxSheetTiles) +
                         " pictures, not '" + value + "'";
                return ParseOutcome::Error;
            }
            options->sheetColumns = static_cast<int>(a);
            options->sheetRows = static_cast<int>(b);
        } else if (value.empty()) {
            *error = name + " needs a non-empty value";
            return ParseOutcome::Error;
        } else if (name == "--out") {
            // "frames/" names the directory "frames": its temporary name goes beside it, not in it.
            while (value.size() > 1 && value.back() == '/') value.pop_back();
            options->out = value;
        } else {
            options->dataDir = value;
        }
    }
    return checkTogether(options, error) ? ParseOutcome::Run : ParseOutcome::Error;
}

std::string usageText() {
    return "usage: capture [--from MS] [--to MS] [--fps N] [--size WxH] [--time SECONDS]\n"
           "               [--data DIR] [--sheet CxR] --out PATH\n"
           "Renders the demo offline, frame by frame at an exact rate, with its music.\n"
           "  --out DIR        numbered PNG frames (frame_000000.png ...) and audio.wav\n"
           "  --out FILE.mp4   H.264 video and AAC sound, encoded by ffmpeg\n"
           "  --sheet CxR --out FILE.png\n"
           "                   a contact sheet: C x R frames spread evenly over the span\n"
           "  --from MS        first moment written, in ms of the demo (default 0); the\n"
           "                   frames before it are drawn but not written\n"
           "  --to MS          end of the capture, in ms (default 64000)\n"
           "  --fps N          frames a second, 1 to 240 (default 60)\n"
           "  --size WxH       frame size (default 640x480)\n"
           "  --time SECONDS   the calendar time the demo sees, seconds since 1970\n"
           "                   (default 1262304000); it seeds the demo's random numbers\n"
           "  --data DIR       the directory holding the demo's Data/ (default: the\n"
           "                   current one); missing pictures and music are generated\n";
}

}  // namespace capture
