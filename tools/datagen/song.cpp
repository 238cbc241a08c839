#include "song.h"

#include <map>
#include <sstream>

namespace datagen::song {
namespace {

std::string trim(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return "";
    size_t end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::vector<std::string> splitCells(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t bar; (bar = s.find('|', start)) != std::string::npos; start = bar + 1) {
        out.push_back(s.substr(start, bar - start));
    }
    out.push_back(s.substr(start));
    return out;
}

// A decimal number of digits only, within [low, high].
bool readNumber(const std::string& s, int low, int high, int* value) {
    if (s.empty() || s.size() > 4) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool readNote(const std::string& s, uint8_t* note) {
    if (s == "...") {
        *note = 0;
        return true;
    }
    if (s == "off") {
        *note = xm::kNoteOff;
        return true;
    }
    static const char kNames[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    if (s.size() != 3 || s[2] < '0' || s[2] > '7') return false;
    for (int semitone = 0; semitone < 12; ++semitone) {
        if (s[0] == kNames[semitone * 2] && s[1] == kNames[semitone * 2 + 1]) {
            *note = static_cast<uint8_t>((s[2] - '0') * 12 + semitone + 1);
            return true;
        }
    }
    return false;
}

bool readEffect(const std::string& s, uint8_t* effect, uint8_t* param) {
    if (s == "...") {
        *effect = *param = 0;
        return true;
    }
    if (s.size() != 3) return false;
    int type = -1;
    if (s[0] >= '0' && s[0] <= '9') type = s[0] - '0';
    if (s[0] >= 'A' && s[0] <= 'Z') type = s[0] - 'A' + 10;
    int high = hexDigit(s[1]), low = hexDigit(s[2]);
    if (type < 0 || high < 0 || low < 0) return false;
    *effect = static_cast<uint8_t>(type);
    *param = static_cast<uint8_t>(high * 16 + low);
    return true;
}

class Parser {
public:
    explicit Parser(Song* song) : song_(song) {}

    bool line(const std::string& raw) {
        ++lineNumber_;
        std::string text = trim(raw);
        if (text.empty() || text[0] == '#') return true;
        if (text[0] >= '0' && text[0] <= '9') return row(text);
        std::vector<std::string> w = words(text);
        if (!finishPattern()) return false;
        const std::string& keyword = w[0];
        if (keyword == "module") return moduleName(text);
        if (keyword == "tempo") return number(w, 1, 31, &song_->module.tempo);
        if (keyword == "bpm") return number(w, 32, 255, &song_->module.bpm);
        if (keyword == "channels") return channels(w);
        if (keyword == "instrument") return instrument(w);
        if (keyword == "pattern") return pattern(w);
        if (keyword == "order") return order(w);
        if (keyword == "restart") return number(w, 0, xm::kMaxOrders - 1, &restart_);
        return fail("unknown keyword '" + keyword + "'");
    }

    bool finish() {
        if (!finishPattern()) return false;
        xm::Module& m = song_->module;
        if (m.channels == 0 || channelNames_.empty()) return fail("no channels");
        if (orderNames_.empty()) return fail("empty order");
        for (const std::string& name : orderNames_) {
            auto it = patternIndex_.find(name);
            if (it == patternIndex_.end()) return fail("order names unknown pattern '" + name + "'");
            m.order.push_back(static_cast<uint8_t>(it->second));
        }
        if (restart_ >= static_cast<int>(m.order.size())) return fail("restart position beyond the order");
        m.restartPosition = restart_;
        return true;
    }

    const std::string& error() const { return error_; }

private:
    bool fail(const std::string& why) {
        error_ = "line " + std::to_string(lineNumber_) + ": " + why;
        return false;
    }

    bool number(const std::vector<std::string>& w, int low, int high, int* value) {
        if (w.size() != 2 || !readNumber(w[1], low, high, value)) {
            return fail(w[0] + " needs one number from " + std::to_string(low) + " to " + std::to_string(high));
        }
        return true;
    }

    bool moduleName(const std::string& text) {
        song_->module.name = trim(text.substr(6));
        return true;
    }

    bool channels(const std::vector<std::string>& w) {
        if (!channelNames_.empty()) return fail("channels given twice");
        if (w.size() < 2 || w.size() - 1 > static_cast<size_t>(xm::kMaxChannels)) {
            return fail("between 1 and 32 channels needed");
        }
        channelNames_.assign(w.begin() + 1, w.end());
        song_->module.channels = static_cast<int>(channelNames_.size());
        return true;
    }

    bool instrument(const std::vector<std::string>& w) {
        int number = 0;
        int expected = static_cast<int>(song_->instruments.size()) + 1;
        if (w.size() != 3 || !readNumber(w[1], 1, xm::kMaxInstruments, &number)) {
            return fail("instrument needs a number and a name");
        }
        if (number != expected) return fail("instrument " + std::to_string(expected) + " expected next");
        song_->instruments.push_back(w[2]);
        return true;
    }

    int channelIndex(const std::string& name) const {
        for (size_t i = 0; i < channelNames_.size(); ++i) {
            if (channelNames_[i] == name) return static_cast<int>(i);
        }
        return -1;
    }

    bool pattern(const std::vector<std::string>& w) {
        if (channelNames_.empty()) return fail("channels must come before the first pattern");
        if (w.size() < 2) return fail("pattern needs a name");
        if (patternIndex_.count(w[1])) return fail("pattern '" + w[1] + "' defined twice");
        if (song_->module.patterns.size() >= static_cast<size_t>(xm::kMaxPatterns)) return fail("too many patterns");
        columns_.clear();
        for (size_t i = 2; i < w.size(); ++i) {
            int channel = channelIndex(w[i]);
            if (channel < 0) return fail("unknown channel '" + w[i] + "'");
            columns_.push_back(channel);
        }
        if (columns_.empty()) {
            for (size_t i = 0; i < channelNames_.size(); ++i) columns_.push_back(static_cast<int>(i));
        }
        patternName_ = w[1];
        rows_.clear();
        return true;
    }

    bool order(const std::vector<std::string>& w) {
        if (w.size() < 2) return fail("order needs pattern names");
        orderNames_.insert(orderNames_.end(), w.begin() + 1, w.end());
        if (orderNames_.size() > static_cast<size_t>(xm::kMaxOrders)) return fail("order too long");
        return true;
    }

    bool row(const std::string& text) {
        if (patternName_.empty()) return fail("row outside a pattern");
        std::vector<std::string> fields = splitCells(text);
        int number = -1;
        if (!readNumber(trim(fields[0]), 0, xm::kMaxRows - 1, &number) || number != static_cast<int>(rows_.size())) {
            return fail("row " + std::to_string(rows_.size()) + " expected");
        }
        if (fields.size() - 1 != columns_.size()) {
            return fail(std::to_string(columns_.size()) + " cells expected, " + std::to_string(fields.size() - 1) +
                        " found");
        }
        std::vector<xm::Cell> cells(static_cast<size_t>(song_->module.channels));
        for (size_t c = 0; c < columns_.size(); ++c) {
            if (!cell(fields[c + 1], &cells[static_cast<size_t>(columns_[c])])) return false;
        }
        rows_.push_back(std::move(cells));
        return true;
    }

    bool cell(const std::string& text, xm::Cell* out) {
        std::vector<std::string> f = words(text);
        if (f.empty()) return true;
        if (f.size() != 4) return fail("cell '" + trim(text) + "' needs note, instrument, volume and effect");
        int value = 0;
        if (!readNote(f[0], &out->note)) return fail("bad note '" + f[0] + "'");
        if (f[1] != "..") {
            if (!readNumber(f[1], 1, static_cast<int>(song_->instruments.size()), &value)) {
                return fail("no instrument '" + f[1] + "'");
            }
            out->instrument = static_cast<uint8_t>(value);
        }
        if (f[2] != "..") {
            if (!readNumber(f[2], 0, 64, &value)) return fail("bad volume '" + f[2] + "'");
            out->volume = xm::volumeColumnSet(value);
        }
        if (!readEffect(f[3], &out->effect, &out->param)) return fail("bad effect '" + f[3] + "'");
        return true;
    }

    // Turns the rows read since the last "pattern" line into the module's pattern.
    bool finishPattern() {
        if (patternName_.empty()) return true;
        if (rows_.empty()) return fail("pattern '" + patternName_ + "' has no rows");
        if (rows_.size() > static_cast<size_t>(xm::kMaxRows)) return fail("pattern '" + patternName_ + "' too long");
        xm::Pattern p(static_cast<int>(rows_.size()), song_->module.channels);
        for (size_t r = 0; r < rows_.size(); ++r) {
            for (size_t c = 0; c < rows_[r].size(); ++c) p.at(static_cast<int>(r), static_cast<int>(c)) = rows_[r][c];
        }
        patternIndex_[patternName_] = static_cast<int>(song_->module.patterns.size());
        song_->module.patterns.push_back(std::move(p));
        patternName_.clear();
        rows_.clear();
        return true;
    }

    Song* song_;
    int lineNumber_ = 0;
    std::string error_;
    std::vector<std::string> channelNames_;
    std::map<std::string, int> patternIndex_;
    std::vector<std::string> orderNames_;
    int restart_ = 0;
    std::string patternName_;  // the pattern being read, empty between patterns
    std::vector<int> columns_;
    std::vector<std::vector<xm::Cell>> rows_;
};

}  // namespace

bool parse(const std::string& text, Song* song, std::string* error) {
    *song = Song{};
    song->module.channels = 0;
    Parser parser(song);
    std::istringstream in(text);
    bool ok = true;
    for (std::string line; ok && std::getline(in, line);) ok = parser.line(line);
    if (ok) ok = parser.finish();
    if (!ok && error) *error = parser.error();
    return ok;
}

}  // namespace datagen::song
