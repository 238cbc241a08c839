// The music generator: the XM writer read back by libopenmpt, the song
// notation's parser, the synthesised instruments' tuning, and the demo's module
// itself (loads cleanly, long enough, never clips, never falls silent).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <libopenmpt/libopenmpt.hpp>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "music.h"
#include "song.h"
#include "synth.h"
#include "xm.h"

namespace {

using datagen::xm::Cell;
using datagen::xm::Module;
using datagen::xm::Pattern;

constexpr int kRate = 44100;

// A module read by libopenmpt, with everything its loader said.
struct Loaded {
    std::ostringstream log;
    std::unique_ptr<openmpt::module> module;
};

std::unique_ptr<Loaded> load(const std::vector<uint8_t>& bytes) {
    auto loaded = std::make_unique<Loaded>();
    loaded->module = std::make_unique<openmpt::module>(bytes, loaded->log);
    return loaded;
}

std::vector<uint8_t> written(const Module& module) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(datagen::xm::write(module, &bytes, &error)) << error;
    return bytes;
}

// Mono float frames of the module from its start.
std::vector<float> render(openmpt::module& module, double seconds) {
    std::vector<float> out(static_cast<size_t>(seconds * kRate));
    out.resize(module.read(kRate, out.size(), out.data()));
    return out;
}

// A sample of `frames` 16-bit values, a square wave of `period` frames.
std::vector<int16_t> square(size_t frames, size_t period, int16_t level) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = (i % period) < period / 2 ? level : static_cast<int16_t>(-level);
    return s;
}

// One channel, one instrument, one pattern of `rows` rows; notes go in by hand.
Module tinyModule(int rows, datagen::xm::Instrument instrument) {
    Module m;
    m.name = "tiny";
    m.channels = 2;
    m.tempo = 6;
    m.bpm = 125;
    m.order = {0};
    m.patterns.emplace_back(rows, m.channels);
    m.instruments.push_back(std::move(instrument));
    return m;
}

datagen::xm::Instrument squareInstrument() {
    datagen::xm::Instrument in;
    in.name = "square";
    in.sample.data = square(44100, 100, 20000);
    in.sample.loopStart = 0;
    in.sample.loopLength = 44100;
    datagen::xm::tune(&in.sample, 44100.0, datagen::xm::kNoteC4);
    return in;
}

size_t firstSound(const std::vector<float>& frames) {
    for (size_t i = 0; i < frames.size(); ++i) {
        if (std::fabs(frames[i]) > 1e-3f) return i;
    }
    return frames.size();
}

// The fundamental of a steady tone, by the strongest autocorrelation lag
// between 25 Hz and 2 kHz, refined by a parabola through its neighbours.
double fundamental(const std::vector<float>& x) {
    const int minLag = kRate / 2000, maxLag = kRate / 25;
    const size_t n = x.size() - static_cast<size_t>(maxLag) - 1;
    std::vector<double> corr(static_cast<size_t>(maxLag) + 2, 0.0);
    for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) {
        double sum = 0.0;
        for (size_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * x[i + static_cast<size_t>(lag)];
        corr[static_cast<size_t>(lag)] = sum;
    }
    // The first lag whose correlation comes close to the best is the period, not a multiple.
    double best = 0.0;
    for (int lag = minLag; lag <= maxLag; ++lag) best = std::max(best, corr[static_cast<size_t>(lag)]);
    int lag = minLag;
    for (int l = minLag; l <= maxLag; ++l) {
        const double c = corr[static_cast<size_t>(l)];
        if (c > 0.9 * best && c >= corr[static_cast<size_t>(l - 1)] && c >= corr[static_cast<size_t>(l + 1)]) {
            lag = l;
            break;
        }
    }
    double a = corr[static_cast<size_t>(lag - 1)], b = corr[static_cast<size_t>(lag)], c = corr[static_cast<size_t>(lag + 1)];
    double shift = (a - c) / (2.0 * (a - 2.0 * b + c));
    return kRate / (lag + shift);
}

// --- the XM writer --------------------------------------------------------------------

TEST(XmWriter, PacksEachCellInItsShortestForm) {
    Pattern p(1, 4);
    p.at(0, 1) = Cell{49, 1, 0x50, 0, 0};     // note, instrument, volume
    p.at(0, 2) = Cell{97, 0, 0, 0x0F, 0x03};  // key-off and F03
    p.at(0, 3) = Cell{61, 2, 0x30, 0x0C, 0x20};  // every field: five plain bytes
    std::vector<uint8_t> expected = {0x80,                          // empty cell
                                     0x87, 49, 1, 0x50,             // bits 0..2
                                     0x99, 97, 0x0F, 0x03,          // bits 0, 3, 4
                                     61, 2, 0x30, 0x0C, 0x20};
    EXPECT_EQ(datagen::xm::packPattern(p), expected);
}

TEST(XmWriter, DeltaCodesSamplesModulo16Bits) {
    std::vector<uint8_t> bytes = datagen::xm::deltaEncode({0, 100, -100, 32767, -32768, -32768});
    // Deltas 0, 100, -200, 32867 (wraps to -32669), -65535 (wraps to 1), 0.
    std::vector<uint8_t> expected = {0x00, 0x00, 0x64, 0x00, 0x38, 0xFF, 0x63, 0x80, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(bytes, expected);
}

TEST(XmWriter, TunesARecordedRateToItsNote) {
    datagen::xm::Sample s;
    datagen::xm::tune(&s, 8363.0, datagen::xm::kNoteC4);
    EXPECT_EQ(s.relativeNote, 0);
    EXPECT_EQ(s.finetune, 0);
    datagen::xm::tune(&s, 16726.0, datagen::xm::kNoteC4 + 12);  // an octave up, played an octave up
    EXPECT_EQ(s.relativeNote, 0);
    EXPECT_EQ(s.finetune, 0);
    datagen::xm::tune(&s, 44100.0, datagen::xm::kNoteC4);  // 28.784 semitones above 8363 Hz
    EXPECT_EQ(s.relativeNote, 28);
    EXPECT_EQ(s.finetune, 100);
}

uint32_t le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<size_t>(i));
    return v;
}

TEST(XmWriter, WritesHeaderAndInstrumentFieldsAtTheirOffsets) {
    datagen::xm::Instrument in = squareInstrument();
    in.sample.data.resize(1000);
    in.sample.loopStart = 100;
    in.sample.loopLength = 800;
    in.sample.volume = 40;
    in.sample.panning = 200;
    in.volumeEnvelope.points = {{0, 0}, {10, 64}, {40, 32}};
    in.volumeEnvelope.sustainPoint = 1;
    in.fadeout = 512;
    Module m = tinyModule(4, in);
    m.order = {0, 0, 0};
    m.restartPosition = 2;
    std::vector<uint8_t> b = written(m);

    EXPECT_EQ(std::string(b.begin(), b.begin() + 17), "Extended Module: ");
    EXPECT_EQ(std::string(b.begin() + 17, b.begin() + 21), "tiny");
    EXPECT_EQ(b[21], 0);  // the name padded with zeros
    EXPECT_EQ(b[37], 0x1A);
    EXPECT_EQ(le(b, 58, 2), 0x0104u);
    EXPECT_EQ(le(b, 60, 4), 276u);
    EXPECT_EQ(le(b, 64, 2), 3u);  // song length
    EXPECT_EQ(le(b, 66, 2), 2u);  // restart position
    EXPECT_EQ(le(b, 68, 2), 2u);  // channels
    EXPECT_EQ(le(b, 70, 2), 1u);  // patterns
    EXPECT_EQ(le(b, 72, 2), 1u);  // instruments
    EXPECT_EQ(le(b, 74, 2), 1u);  // linear frequency table
    EXPECT_EQ(le(b, 76, 2), 6u);
    EXPECT_EQ(le(b, 78, 2), 125u);

    // The pattern follows the order table: 9-byte header, 8 empty cells of one byte each.
    const size_t pattern = 60 + 276;
    EXPECT_EQ(le(b, pattern, 4), 9u);
    EXPECT_EQ(le(b, pattern + 5, 2), 4u);
    EXPECT_EQ(le(b, pattern + 7, 2), 8u);
    const size_t instrument = pattern + 9 + 8;
    EXPECT_EQ(le(b, instrument, 4), 263u);
    EXPECT_EQ(le(b, instrument + 27, 2), 1u);   // samples
    EXPECT_EQ(le(b, instrument + 29, 4), 40u);  // sample header size
    EXPECT_EQ(le(b, instrument + 129 + 4, 2), 10u);  // second envelope point: tick 10, value 64
    EXPECT_EQ(le(b, instrument + 129 + 6, 2), 64u);
    EXPECT_EQ(b[instrument + 225], 3);  // envelope points
    EXPECT_EQ(b[instrument + 227], 1);  // sustain point
    EXPECT_EQ(b[instrument + 233], 3);  // envelope on, with sustain
    EXPECT_EQ(le(b, instrument + 239, 2), 512u);
    const size_t sample = instrument + 263;
    EXPECT_EQ(le(b, sample, 4), 2000u);  // lengths in bytes
    EXPECT_EQ(le(b, sample + 4, 4), 200u);
    EXPECT_EQ(le(b, sample + 8, 4), 1600u);
    EXPECT_EQ(b[sample + 12], 40);
    EXPECT_EQ(b[sample + 14], 0x11);  // forward loop, 16-bit
    EXPECT_EQ(b[sample + 15], 200);
    EXPECT_EQ(static_cast<int8_t>(b[sample + 16]), in.sample.relativeNote);
    EXPECT_EQ(b.size(), sample + 40 + 2000);
}

TEST(XmWriter, RefusesModulesThatBreakTheFormat) {
    struct Case {
        const char* what;
        void (*spoil)(Module&);
    };
    const Case cases[] = {
        {"order names a missing pattern", [](Module& m) { m.order = {0, 1}; }},
        {"note beyond B-7", [](Module& m) { m.patterns[0].at(0, 0).note = 98; }},
        {"instrument that does not exist", [](Module& m) { m.patterns[0].at(0, 0).instrument = 2; }},
        {"loop past the sample's end", [](Module& m) { m.instruments[0].sample.loopLength = 44101; }},
        {"too many channels", [](Module& m) { m.channels = 33; }},
        {"cells not matching the channels", [](Module& m) { m.patterns[0].cells.pop_back(); }},
        {"restart outside the order", [](Module& m) { m.restartPosition = 1; }},
        {"envelope not starting at tick 0", [](Module& m) {
             m.instruments[0].volumeEnvelope.points = {{2, 64}};
         }},
        {"empty order", [](Module& m) { m.order.clear(); }},
    };
    for (const Case& c : cases) {
        Module m = tinyModule(4, squareInstrument());
        c.spoil(m);
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(datagen::xm::write(m, &bytes, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST(XmWriter, OneNotePatternReadsBackAndPlaysOnItsRow) {
    Module m = tinyModule(16, squareInstrument());
    m.patterns[0].at(8, 1) = Cell{datagen::xm::kNoteC4, 1, datagen::xm::volumeColumnSet(48), 0, 0};
    auto loaded = load(written(m));
    openmpt::module& mod = *loaded->module;
    EXPECT_EQ(loaded->module->get_metadata("warnings"), "");
    EXPECT_EQ(mod.get_num_channels(), 2);
    EXPECT_EQ(mod.get_num_patterns(), 1);
    EXPECT_EQ(mod.get_num_instruments(), 1);
    EXPECT_EQ(mod.get_pattern_num_rows(0), 16);
    // libopenmpt names notes an octave above FastTracker 2: the file's C-4 shows as C-5.
    EXPECT_EQ(mod.format_pattern_row_channel_command(0, 8, 1, openmpt::module::command_note), "C-5");
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 8, 1, openmpt::module::command_instrument), 1);
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 8, 1, openmpt::module::command_volume), 48);
    EXPECT_EQ(mod.format_pattern_row_channel_command(0, 7, 1, openmpt::module::command_note), "...");

    // Row 8 starts after 8 rows of 6 ticks of 2.5/125 s: 0.96 s.
    std::vector<float> frames = render(mod, 1.5);
    double onset = static_cast<double>(firstSound(frames)) / kRate;
    EXPECT_NEAR(onset, 0.96, 0.005);
}

TEST(XmWriter, SixteenBitSampleDataSurvivesTheRoundTrip) {
    // A square wave of 100 frames at its own rate crosses zero 882 times a second;
    // data that was not delta-coded would decode to a different shape entirely.
    Module m = tinyModule(64, squareInstrument());
    m.patterns[0].at(0, 0) = Cell{datagen::xm::kNoteC4, 1, 0, 0, 0};
    auto loaded = load(written(m));
    std::vector<float> frames = render(*loaded->module, 1.0);
    int crossings = 0;
    for (size_t i = 4410; i + 1 < frames.size(); ++i) {
        if ((frames[i] < 0.0f) != (frames[i + 1] < 0.0f)) ++crossings;
    }
    EXPECT_NEAR(crossings, 0.9 * 882, 10);
}

// --- the song notation ----------------------------------------------------------------

const char kTinySong[] = R"(
# a comment
module tiny song
tempo 5
bpm 130
channels drums tune
instrument 01 kick
instrument 02 lead
pattern a tune
00 | C#4 02 40 A04
01 |
02 | off .. .. ...
pattern b
00 | C-4 01 .. ... | B-7 .. 64 F10
order a b
order a
restart 1
)";

TEST(SongParser, ReadsTheNotation) {
    datagen::song::Song song;
    std::string error;
    ASSERT_TRUE(datagen::song::parse(kTinySong, &song, &error)) << error;
    const Module& m = song.module;
    EXPECT_EQ(m.name, "tiny song");
    EXPECT_EQ(m.tempo, 5);
    EXPECT_EQ(m.bpm, 130);
    EXPECT_EQ(m.channels, 2);
    EXPECT_EQ(song.instruments, (std::vector<std::string>{"kick", "lead"}));
    EXPECT_EQ(m.order, (std::vector<uint8_t>{0, 1, 0}));
    EXPECT_EQ(m.restartPosition, 1);
    ASSERT_EQ(m.patterns.size(), 2u);
    const Pattern& a = m.patterns[0];
    ASSERT_EQ(a.rows, 3);
    // Pattern a names only the tune channel: the drums stay empty.
    const Cell& sharp = a.at(0, 1);
    EXPECT_EQ(sharp.note, 50);  // C#4
    EXPECT_EQ(sharp.instrument, 2);
    EXPECT_EQ(sharp.volume, 0x10 + 40);
    EXPECT_EQ(sharp.effect, 10);  // A
    EXPECT_EQ(sharp.param, 0x04);
    EXPECT_EQ(a.at(0, 0).note, 0);
    EXPECT_EQ(a.at(1, 1).note, 0);  // a blank cell
    EXPECT_EQ(a.at(2, 1).note, datagen::xm::kNoteOff);
    const Pattern& b = m.patterns[1];
    EXPECT_EQ(b.at(0, 0).note, datagen::xm::kNoteC4);
    EXPECT_EQ(b.at(0, 0).volume, 0);  // "..": the instrument's own volume
    EXPECT_EQ(b.at(0, 1).note, datagen::xm::kLastNote);
    EXPECT_EQ(b.at(0, 1).effect, 15);  // F
    EXPECT_EQ(b.at(0, 1).param, 0x10);
}

TEST(SongParser, ReportsTheLineOfAMistake) {
    struct Case {
        const char* text;
        const char* expected;  // the start of the error
    };
    const std::string head = "channels a b\ninstrument 01 kick\n";  // lines 1 and 2
    const Case cases[] = {
        {"pattern p\n00 | H-4 01 .. ... |\norder p\n", "line 4: bad note"},
        {"pattern p\n01 | ... .. .. ... |\norder p\n", "line 4: row 0 expected"},
        {"pattern p\n00 | C-4 01 .. ...\norder p\n", "line 4: 2 cells expected"},
        {"pattern p\n00 | C-4 02 .. ... |\norder p\n", "line 4: no instrument"},
        {"pattern p\n00 | C-4 01 65 ... |\norder p\n", "line 4: bad volume"},
        {"pattern p\n00 | C-4 01 .. G4 |\norder p\n", "line 4: bad effect"},
        {"pattern p\n00 | C-4 01 .. |\norder p\n", "line 4: cell"},
        {"pattern p c\n", "line 3: unknown channel"},
        {"pattern p\norder p\n", "line 4: pattern 'p' has no rows"},
        {"pattern p\n00 | | \norder q\n", "line 5: order names unknown pattern"},
        {"pattern p\n00 | | \norder p\nrestart 1\n", "line 6: restart position"},
        {"tempo 0\n", "line 3: tempo needs"},
        {"volume 3\n", "line 3: unknown keyword"},
    };
    for (const Case& c : cases) {
        datagen::song::Song song;
        std::string error;
        EXPECT_FALSE(datagen::song::parse(head + c.text, &song, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.expected, 0), 0u) << c.text << " gave: " << error;
    }
}

// --- the instruments ------------------------------------------------------------------

TEST(Synth, PitchedInstrumentsPlayInTune) {
    struct Case {
        const char* name;
        int note;  // XM note number
        double hz;
    };
    const Case cases[] = {
        {"bass", 34, 110.0},   // A-2
        {"lead", 58, 440.0},   // A-4
        {"echo", 58, 440.0},
        {"pad", 46, 220.0},    // A-3
        {"pluck", 58, 440.0},
    };
    for (const Case& c : cases) {
        datagen::xm::Instrument in;
        ASSERT_TRUE(datagen::synth::makeInstrument(c.name, &in)) << c.name;
        in.vibrato = {};  // a steady pitch to measure
        Module m = tinyModule(64, in);
        m.patterns[0].at(0, 0) = Cell{static_cast<uint8_t>(c.note), 1, 0, 0, 0};
        auto loaded = load(written(m));
        std::vector<float> frames = render(*loaded->module, 1.2);
        // Past the attack (the pad swells in over a second); the pluck has died down by then.
        size_t from = std::string(c.name) == "pad" ? kRate : kRate / 10;
        std::vector<float> steady(frames.begin() + static_cast<long>(from), frames.begin() + static_cast<long>(from) + kRate / 8);
        EXPECT_NEAR(fundamental(steady), c.hz, c.hz * 0.004) << c.name;
    }
}

TEST(Synth, InstrumentsAreDeterministicAndLoopInsideTheirData) {
    for (const std::string& name : datagen::synth::instrumentNames()) {
        datagen::xm::Instrument first, second;
        ASSERT_TRUE(datagen::synth::makeInstrument(name, &first));
        ASSERT_TRUE(datagen::synth::makeInstrument(name, &second));
        const datagen::xm::Sample& s = first.sample;
        EXPECT_EQ(s.data, second.sample.data) << name;
        ASSERT_FALSE(s.data.empty()) << name;
        EXPECT_LE(static_cast<size_t>(s.loopStart) + s.loopLength, s.data.size()) << name;
        if (s.loopLength > 0) {
            // The value after the loop's end would be its first: the join is small.
            int join = std::abs(s.data[s.loopStart] - s.data[s.loopStart + s.loopLength - 1]);
            EXPECT_LT(join, 6000) << name;
        } else {
            EXPECT_LT(std::abs(s.data.back()), 200) << name << " ends with a click";
        }
    }
    datagen::xm::Instrument none;
    EXPECT_FALSE(datagen::synth::makeInstrument("theremin", &none));
}

// --- the demo's module ----------------------------------------------------------------

class DemoMusic : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bytes_ = new std::vector<uint8_t>;
        std::string error;
        ASSERT_TRUE(datagen::composeMusic(bytes_, &error)) << error;
    }
    static void TearDownTestSuite() {
        delete bytes_;
        bytes_ = nullptr;
    }
    static std::vector<uint8_t>* bytes_;
};
std::vector<uint8_t>* DemoMusic::bytes_ = nullptr;

TEST_F(DemoMusic, LoadsWithoutWarningsAsComposed) {
    auto loaded = load(*bytes_);
    openmpt::module& mod = *loaded->module;
    EXPECT_EQ(loaded->log.str(), "");
    EXPECT_EQ(mod.get_metadata("warnings"), "");
    EXPECT_EQ(mod.get_metadata("type"), "xm");
    EXPECT_EQ(mod.get_metadata("title"), "onehitw");
    EXPECT_EQ(mod.get_num_channels(), 12);
    EXPECT_EQ(mod.get_num_patterns(), 15);
    EXPECT_EQ(mod.get_num_instruments(), 10);
    EXPECT_EQ(mod.get_num_samples(), 10);
    EXPECT_GE(mod.get_duration_seconds(), 64.0);
    EXPECT_EQ(mod.get_current_speed(), 6);
    EXPECT_EQ(mod.get_current_tempo(), 120);
}

TEST_F(DemoMusic, NeverClipsAndNeverFallsQuietAfterTheFirstBar) {
    auto loaded = load(*bytes_);
    openmpt::module& mod = *loaded->module;
    std::vector<int16_t> frames(static_cast<size_t>(mod.get_duration_seconds() * kRate) * 2);
    frames.resize(mod.read_interleaved_stereo(kRate, frames.size() / 2, frames.data()) * 2);
    ASSERT_GE(frames.size(), static_cast<size_t>(64 * kRate * 2));

    int peak = 0;
    for (int16_t s : frames) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32767) << "the mix clips";
    EXPECT_GT(peak, 32767 / 4) << "the mix is far too quiet";

    // Every 4-second window from the second bar (2 s) on, in 1-second steps.
    const size_t window = 4 * kRate * 2, step = kRate * 2;
    double quietest = 1.0;
    for (size_t start = 2 * step; start + window <= frames.size(); start += step) {
        double sum = 0.0;
        for (size_t i = start; i < start + window; ++i) sum += static_cast<double>(frames[i]) * frames[i];
        quietest = std::min(quietest, std::sqrt(sum / window) / 32768.0);
    }
    EXPECT_GT(20.0 * std::log10(quietest), -30.0) << "a stretch of near silence";
}

TEST_F(DemoMusic, LoopsBackToTheMainPart) {
    auto loaded = load(*bytes_);
    openmpt::module& mod = *loaded->module;
    mod.set_repeat_count(-1);
    double length = mod.get_duration_seconds();
    mod.set_position_seconds(length - 0.5);
    std::vector<float> frames = render(mod, 1.0);
    EXPECT_EQ(frames.size(), static_cast<size_t>(kRate)) << "playback stopped at the end";
    EXPECT_EQ(mod.get_current_order(), 3);
}

TEST_F(DemoMusic, IsTheSameOnEveryRunAndWrittenAsComposed) {
    std::vector<uint8_t> again;
    std::string error;
    ASSERT_TRUE(datagen::composeMusic(&again, &error)) << error;
    EXPECT_EQ(again, *bytes_);

    std::string path = testing::TempDir() + std::to_string(getpid()) + "_onehitw_test.xm";
    ASSERT_TRUE(datagen::writeMusic(path, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(file, *bytes_);
    std::remove(path.c_str());

    EXPECT_FALSE(datagen::writeMusic(testing::TempDir() + "no/such/dir/onehitw.xm", &error));
    EXPECT_NE(error.find("no/such/dir"), std::string::npos);
}

}  // namespace
