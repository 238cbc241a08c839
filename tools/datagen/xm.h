// A writer of FastTracker 2 extended modules (XM, format version 0x0104).
//
// The module is described in memory (channels, patterns of cells, an order
// list, instruments with one 16-bit sample each) and written in one call. The
// writer checks the format's limits and refuses a module that breaks them
// rather than writing a file a player would misread.
//
// Layout written, all numbers little-endian:
//   header   "Extended Module: ", name (20), 0x1A, tracker name (20), version
//            0x0104, header size 276 (counted from the header-size field: the
//            fields below plus the 256-byte order table), song length, restart
//            position, channels, patterns, instruments, flags (bit 0: linear
//            frequency table), default tempo (ticks per row), default BPM, order
//            table (256 bytes)
//   patterns header length 9, packing type 0, rows, packed size, packed cells
//   instruments header of 263 bytes (name, sample map, envelopes, auto-vibrato,
//            fadeout), one 40-byte sample header, delta-coded sample data
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen::xm {

// Notes are numbered as XM stores them: 1 is C-0, 49 is C-4, 96 is B-7.
constexpr uint8_t kNoteC4 = 49;
constexpr uint8_t kLastNote = 96;
constexpr uint8_t kNoteOff = 97;  // releases the note (sustain ends, fadeout starts)

constexpr int kMaxChannels = 32;
constexpr int kMaxRows = 256;
constexpr int kMaxPatterns = 256;
constexpr int kMaxInstruments = 128;
constexpr int kMaxOrders = 256;
constexpr int kMaxEnvelopePoints = 12;

// The volume column byte that sets the volume to `volume` (0..64).
constexpr uint8_t volumeColumnSet(int volume) { return static_cast<uint8_t>(0x10 + volume); }

// One channel of one row. Zero in a field means "nothing there", as in the file.
struct Cell {
    uint8_t note = 0;        // 1..96, kNoteOff, or 0
    uint8_t instrument = 0;  // 1..128 or 0
    uint8_t volume = 0;      // the raw volume-column byte (see volumeColumnSet)
    uint8_t effect = 0;      // effect type: 0..9 and A..Z as 10..35
    uint8_t param = 0;       // effect parameter
};

struct Pattern {
    int rows = 64;
    int channels = 0;
    std::vector<Cell> cells;  // rows * channels, row by row

    Pattern() = default;
    Pattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount),
          cells(static_cast<size_t>(rowCount) * static_cast<size_t>(channelCount)) {}
    Cell& at(int row, int channel) { return cells[static_cast<size_t>(row * channels + channel)]; }
    const Cell& at(int row, int channel) const {
        return cells[static_cast<size_t>(row * channels + channel)];
    }
};

// An envelope: points of (tick, value 0..64), the first at tick 0, ticks rising.
struct Envelope {
    struct Point {
        uint16_t tick;
        uint16_t value;
    };
    std::vector<Point> points;  // empty: envelope off
    int sustainPoint = -1;      // index held until key-off, or -1
};

// A 16-bit mono sample with an optional forward loop. Positions are in samples
// (the writer converts them to the byte counts the file stores).
struct Sample {
    std::string name;
    std::vector<int16_t> data;
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;  // 0: no loop
    uint8_t volume = 64;      // 0..64
    int8_t finetune = 0;      // 1/128 semitone
    uint8_t panning = 128;    // 0 left .. 255 right
    int8_t relativeNote = 0;  // semitones added to the played note
};

// Auto-vibrato applied by the instrument to every note it plays.
struct Vibrato {
    uint8_t type = 0;  // 0 sine, 1 square, 2 ramp down, 3 ramp up
    uint8_t sweep = 0;
    uint8_t depth = 0;
    uint8_t rate = 0;
};

// An instrument with a single sample mapped to every note.
struct Instrument {
    std::string name;
    Sample sample;
    Envelope volumeEnvelope;
    uint16_t fadeout = 0;  // subtracted per tick from the fade volume after key-off
    Vibrato vibrato;
};

struct Module {
    std::string name;
    std::string tracker = "datagen XM writer";
    int channels = 8;
    int tempo = 6;   // ticks per row
    int bpm = 125;
    int restartPosition = 0;       // index into order where the song loops to
    std::vector<uint8_t> order;    // pattern indices in play order
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// The file's bytes for `module`. False, with the broken limit in `error`, when
// the module cannot be written as an XM.
bool write(const Module& module, std::vector<uint8_t>* bytes, std::string* error);

// The packed cells of one pattern: each cell either as five plain bytes (note,
// instrument, volume, effect, parameter) when all are present, or as a byte with
// bit 7 set whose bits 0..4 say which of the five follow.
std::vector<uint8_t> packPattern(const Pattern& pattern);

// 16-bit sample data as XM stores it: each value the difference from the one
// before (the first from zero), wrapping modulo 2^16, little-endian.
std::vector<uint8_t> deltaEncode(const std::vector<int16_t>& samples);

// Sets the relative note and finetune of `sample` so that playing `recordedNote`
// (1..96) plays the data back at `sampleRate` Hz, that is at the pitch it was
// recorded at. A linear-frequency module plays C-4 at 8363 Hz when both are zero.
void tune(Sample* sample, double sampleRate, int recordedNote);

}  // namespace datagen::xm
