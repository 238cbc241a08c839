#include "xm.h"

#include <cmath>

namespace datagen::xm {
namespace {

constexpr char kIdText[] = "Extended Module: ";
constexpr uint16_t kVersion = 0x0104;
constexpr uint32_t kHeaderSize = 276;  // from the header-size field to the end of the order table
constexpr uint32_t kPatternHeaderSize = 9;
constexpr uint32_t kInstrumentHeaderSize = 263;
constexpr uint32_t kSampleHeaderSize = 40;
constexpr uint16_t kFlagLinearFrequencies = 1;
constexpr uint8_t kEnvelopeOn = 1;
constexpr uint8_t kEnvelopeSustain = 2;
constexpr uint8_t kSampleLoopForward = 1;
constexpr uint8_t kSample16Bit = 0x10;
constexpr double kC4Rate = 8363.0;

// Appends little-endian numbers and fixed-width texts to a byte vector.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>* out) : out_(out) {}
    void u8(uint32_t v) { out_->push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    // Exactly `width` bytes: the text cut to fit, padded with zeros.
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void zeros(size_t count) { out_->insert(out_->end(), count, 0); }
    void bytes(const std::vector<uint8_t>& b) { out_->insert(out_->end(), b.begin(), b.end()); }
    size_t size() const { return out_->size(); }

private:
    std::vector<uint8_t>* out_;
};

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool checkCell(const Cell& cell, int instruments, std::string* why) {
    if (cell.note > kLastNote && cell.note != kNoteOff) {
        *why = "note " + std::to_string(cell.note) + " out of range";
        return false;
    }
    if (cell.instrument > instruments) {
        *why = "instrument " + std::to_string(cell.instrument) + " does not exist";
        return false;
    }
    if (cell.effect > 35) {
        *why = "effect type " + std::to_string(cell.effect) + " out of range";
        return false;
    }
    return true;
}

bool checkPattern(const Pattern& pattern, int channels, int instruments, std::string* why) {
    if (pattern.rows < 1 || pattern.rows > kMaxRows) {
        *why = "row count " + std::to_string(pattern.rows) + " out of range";
        return false;
    }
    if (pattern.channels != channels ||
        pattern.cells.size() != static_cast<size_t>(pattern.rows) * static_cast<size_t>(channels)) {
        *why = "cells do not match the module's channels";
        return false;
    }
    for (const Cell& cell : pattern.cells) {
        if (!checkCell(cell, instruments, why)) return false;
    }
    return true;
}

bool checkEnvelope(const Envelope& envelope, std::string* why) {
    if (envelope.points.size() > static_cast<size_t>(kMaxEnvelopePoints)) {
        *why = "too many envelope points";
        return false;
    }
    for (size_t i = 0; i < envelope.points.size(); ++i) {
        const Envelope::Point& p = envelope.points[i];
        bool ticksRise = i == 0 ? p.tick == 0 : p.tick > envelope.points[i - 1].tick;
        if (!ticksRise || p.value > 64) {
            *why = "envelope points must start at tick 0, rise in ticks and stay within 0..64";
            return false;
        }
    }
    if (envelope.sustainPoint >= static_cast<int>(envelope.points.size())) {
        *why = "envelope sustain point does not exist";
        return false;
    }
    return true;
}

bool checkInstrument(const Instrument& instrument, std::string* why) {
    const Sample& s = instrument.sample;
    // Sample lengths are stored in bytes in 32 bits.
    if (s.data.size() > 0x7FFFFFFF / 2) {
        *why = "sample too long";
        return false;
    }
    if (s.loopLength > 0 && (s.loopStart >= s.data.size() || s.loopLength > s.data.size() - s.loopStart)) {
        *why = "sample loop outside the sample in " + instrument.name;
        return false;
    }
    if (s.volume > 64) {
        *why = "sample volume above 64 in " + instrument.name;
        return false;
    }
    return checkEnvelope(instrument.volumeEnvelope, why);
}

bool checkModule(const Module& m, std::string* why) {
    if (m.channels < 1 || m.channels > kMaxChannels) {
        *why = "channel count out of range";
        return false;
    }
    if (m.patterns.empty() || m.patterns.size() > static_cast<size_t>(kMaxPatterns)) {
        *why = "pattern count out of range";
        return false;
    }
    if (m.instruments.size() > static_cast<size_t>(kMaxInstruments)) {
        *why = "too many instruments";
        return false;
    }
    if (m.order.empty() || m.order.size() > static_cast<size_t>(kMaxOrders)) {
        *why = "order length out of range";
        return false;
    }
    for (uint8_t index : m.order) {
        if (index >= m.patterns.size()) {
            *why = "order names pattern " + std::to_string(index) + ", which does not exist";
            return false;
        }
    }
    if (m.restartPosition < 0 || m.restartPosition >= static_cast<int>(m.order.size())) {
        *why = "restart position outside the order";
        return false;
    }
    // Speed and tempo as the Fxx effect reads them: 1..31 ticks, 32..255 BPM.
    if (m.tempo < 1 || m.tempo > 31 || m.bpm < 32 || m.bpm > 255) {
        *why = "tempo or BPM out of range";
        return false;
    }
    int instruments = static_cast<int>(m.instruments.size());
    for (const Pattern& p : m.patterns) {
        if (!checkPattern(p, m.channels, instruments, why)) return false;
    }
    for (const Instrument& i : m.instruments) {
        if (!checkInstrument(i, why)) return false;
    }
    return true;
}

void writeHeader(ByteWriter& w, const Module& m) {
    w.text(kIdText, 17);
    w.text(m.name, 20);
    w.u8(0x1A);
    w.text(m.tracker, 20);
    w.u16(kVersion);
    w.u32(kHeaderSize);
    w.u16(static_cast<uint32_t>(m.order.size()));
    w.u16(static_cast<uint32_t>(m.restartPosition));
    w.u16(static_cast<uint32_t>(m.channels));
    w.u16(static_cast<uint32_t>(m.patterns.size()));
    w.u16(static_cast<uint32_t>(m.instruments.size()));
    w.u16(kFlagLinearFrequencies);
    w.u16(static_cast<uint32_t>(m.tempo));
    w.u16(static_cast<uint32_t>(m.bpm));
    for (size_t i = 0; i < 256; ++i) w.u8(i < m.order.size() ? m.order[i] : 0);
}

void writePattern(ByteWriter& w, const Pattern& p) {
    std::vector<uint8_t> packed = packPattern(p);
    w.u32(kPatternHeaderSize);
    w.u8(0);  // packing type
    w.u16(static_cast<uint32_t>(p.rows));
    w.u16(static_cast<uint32_t>(packed.size()));
    w.bytes(packed);
}

void writeEnvelopePoints(ByteWriter& w, const Envelope& e) {
    for (int i = 0; i < kMaxEnvelopePoints; ++i) {
        bool used = i < static_cast<int>(e.points.size());
        w.u16(used ? e.points[static_cast<size_t>(i)].tick : 0);
        w.u16(used ? e.points[static_cast<size_t>(i)].value : 0);
    }
}

uint8_t envelopeType(const Envelope& e) {
    if (e.points.empty()) return 0;
    return static_cast<uint8_t>(kEnvelopeOn | (e.sustainPoint >= 0 ? kEnvelopeSustain : 0));
}

void writeSampleHeader(ByteWriter& w, const Sample& s) {
    bool looped = s.loopLength > 0;
    w.u32(static_cast<uint32_t>(s.data.size() * 2));
    w.u32(looped ? s.loopStart * 2 : 0);
    w.u32(looped ? s.loopLength * 2 : 0);
    w.u8(s.volume);
    w.u8(static_cast<uint8_t>(s.finetune));
    w.u8(static_cast<uint8_t>((looped ? kSampleLoopForward : 0) | kSample16Bit));
    w.u8(s.panning);
    w.u8(static_cast<uint8_t>(s.relativeNote));
    w.u8(0);  // reserved
    w.text(s.name, 22);
}

void writeInstrument(ByteWriter& w, const Instrument& in) {
    const size_t start = w.size();
    const Envelope& vol = in.volumeEnvelope;
    w.u32(kInstrumentHeaderSize);
    w.text(in.name, 22);
    w.u8(0);   // type
    w.u16(1);  // one sample
    w.u32(kSampleHeaderSize);
    w.zeros(96);  // every note plays sample 0
    writeEnvelopePoints(w, vol);
    writeEnvelopePoints(w, Envelope{});  // panning envelope, unused
    w.u8(static_cast<uint32_t>(vol.points.size()));
    w.u8(0);
    w.u8(vol.sustainPoint >= 0 ? static_cast<uint32_t>(vol.sustainPoint) : 0);
    w.u8(0);  // volume loop start
    w.u8(0);  // volume loop end
    w.u8(0);  // panning sustain, loop start, loop end
    w.u8(0);
    w.u8(0);
    w.u8(envelopeType(vol));
    w.u8(0);  // panning envelope type
    w.u8(in.vibrato.type);
    w.u8(in.vibrato.sweep);
    w.u8(in.vibrato.depth);
    w.u8(in.vibrato.rate);
    w.u16(in.fadeout);
    w.zeros(kInstrumentHeaderSize - (w.size() - start));  // reserved to the declared size
    writeSampleHeader(w, in.sample);
    w.bytes(deltaEncode(in.sample.data));
}

}  // namespace

std::vector<uint8_t> packPattern(const Pattern& pattern) {
    std::vector<uint8_t> out;
    out.reserve(pattern.cells.size() * 2);
    for (const Cell& c : pattern.cells) {
        const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
        uint8_t mask = 0;
        for (int i = 0; i < 5; ++i) {
            if (fields[i] != 0) mask = static_cast<uint8_t>(mask | (1 << i));
        }
        // A first byte below 0x80 is a note and says all five bytes follow;
        // that is also the shortest form when every field is present.
        if (mask != 0x1F) out.push_back(static_cast<uint8_t>(0x80 | mask));
        for (int i = 0; i < 5; ++i) {
            if (mask & (1 << i)) out.push_back(fields[i]);
        }
    }
    return out;
}

std::vector<uint8_t> deltaEncode(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    out.reserve(samples.size() * 2);
    uint16_t previous = 0;
    for (int16_t s : samples) {
        uint16_t value = static_cast<uint16_t>(s);
        uint16_t delta = static_cast<uint16_t>(value - previous);
        out.push_back(static_cast<uint8_t>(delta & 0xFF));
        out.push_back(static_cast<uint8_t>(delta >> 8));
        previous = value;
    }
    return out;
}

void tune(Sample* sample, double sampleRate, int recordedNote) {
    // Playing note n gives 8363 * 2^((n - C-4 + relative + finetune/128) / 12) Hz.
    double semitones = 12.0 * std::log2(sampleRate / kC4Rate) + (kNoteC4 - recordedNote);
    double whole = std::floor(semitones);
    long fine = std::lround((semitones - whole) * 128.0);
    if (fine == 128) {
        whole += 1.0;
        fine = 0;
    }
    sample->relativeNote = static_cast<int8_t>(whole);
    sample->finetune = static_cast<int8_t>(fine);
}

bool write(const Module& module, std::vector<uint8_t>* bytes, std::string* error) {
    std::string why;
    if (!checkModule(module, &why)) return fail(error, "cannot write XM: " + why);
    bytes->clear();
    ByteWriter w(bytes);
    writeHeader(w, module);
    for (const Pattern& p : module.patterns) writePattern(w, p);
    for (const Instrument& i : module.instruments) writeInstrument(w, i);
    return true;
}

}  // namespace datagen::xm
