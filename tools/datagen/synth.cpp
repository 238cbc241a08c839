#include "synth.h"

#include <algorithm>
#include <cmath>

namespace datagen::synth {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDrumRate = 44100.0;
constexpr double kCymbalRate = 32000.0;

// XM note numbers (C-0 is 1).
constexpr int kNoteC2 = 25;
constexpr int kNoteC4 = 49;
constexpr int kNoteC5 = 61;
constexpr int kNoteA4 = 58;

// Volume envelopes count ticks; at the song's 120 BPM a tick is 1/48 s.
using Point = xm::Envelope::Point;

double noteFrequency(int note) { return 440.0 * std::pow(2.0, (note - kNoteA4) / 12.0); }

int samplesFor(double seconds, double rate) { return static_cast<int>(std::lround(seconds * rate)); }

// A second-order filter from the usual analogue prototypes, bilinear-transformed.
class Biquad {
public:
    static Biquad lowpass(double rate, double freq, double q) { return make(rate, freq, q, Kind::Low); }
    static Biquad highpass(double rate, double freq, double q) { return make(rate, freq, q, Kind::High); }
    static Biquad bandpass(double rate, double freq, double q) { return make(rate, freq, q, Kind::Band); }

    float process(float x) {
        double y = b0_ * x + z1_;
        z1_ = b1_ * x - a1_ * y + z2_;
        z2_ = b2_ * x - a2_ * y;
        return static_cast<float>(y);
    }

private:
    enum class Kind { Low, High, Band };
    static Biquad make(double rate, double freq, double q, Kind kind) {
        double w = 2.0 * kPi * freq / rate;
        double alpha = std::sin(w) / (2.0 * q);
        double c = std::cos(w);
        double a0 = 1.0 + alpha;
        Biquad f;
        switch (kind) {
        case Kind::Low:
            f.b0_ = (1.0 - c) / 2.0;
            f.b1_ = 1.0 - c;
            f.b2_ = (1.0 - c) / 2.0;
            break;
        case Kind::High:
            f.b0_ = (1.0 + c) / 2.0;
            f.b1_ = -(1.0 + c);
            f.b2_ = (1.0 + c) / 2.0;
            break;
        case Kind::Band:
            f.b0_ = alpha;
            f.b1_ = 0.0;
            f.b2_ = -alpha;
            break;
        }
        f.b0_ /= a0;
        f.b1_ /= a0;
        f.b2_ /= a0;
        f.a1_ = -2.0 * c / a0;
        f.a2_ = (1.0 - alpha) / a0;
        return f;
    }

    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double z1_ = 0, z2_ = 0;
};

// Brings the last `seconds` of a one-shot sound down to zero, so it ends without a click.
void fadeTail(std::vector<float>* signal, double rate, double seconds) {
    size_t n = std::min(signal->size(), static_cast<size_t>(samplesFor(seconds, rate)));
    for (size_t i = 0; i < n; ++i) {
        (*signal)[signal->size() - 1 - i] *= static_cast<float>(i) / static_cast<float>(n);
    }
}

// The gain of a two-pole low-pass at `freq` for cut-off `cutoff`.
double lowpassGain(double freq, double cutoff) {
    double r = freq / cutoff;
    return 1.0 / std::sqrt(1.0 + r * r * r * r);
}

// Six square waves at unrelated frequencies: the metallic ring of a cymbal.
float metal(double t) {
    static const double kFrequencies[] = {587.0, 845.0, 1015.0, 1280.0, 1657.0, 2121.0};
    float sum = 0.0f;
    for (double f : kFrequencies) sum += std::sin(2.0 * kPi * f * t) >= 0.0 ? 1.0f : -1.0f;
    return sum / 6.0f;
}

// --- drums ----------------------------------------------------------------------------

std::vector<float> kickSignal() {
    const double rate = kDrumRate;
    std::vector<float> out(static_cast<size_t>(samplesFor(0.42, rate)));
    Noise noise(0x4B1C4u);
    Biquad clickFilter = Biquad::lowpass(rate, 3000.0, 0.7);
    double phase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        // The pitch falls fast from a knock to the low body of the drum.
        double freq = 47.0 + 115.0 * std::exp(-t / 0.028) + 260.0 * std::exp(-t / 0.004);
        phase += 2.0 * kPi * freq / rate;
        double attack = std::min(1.0, t / 0.0015);
        double body = std::sin(phase) * attack * std::exp(-t / 0.2);
        double click = clickFilter.process(noise.next()) * 0.5 * std::exp(-t / 0.002);
        out[i] = static_cast<float>(std::tanh(1.7 * (body + click)));
    }
    fadeTail(&out, rate, 0.03);
    return out;
}

std::vector<float> snareSignal() {
    const double rate = kDrumRate;
    std::vector<float> out(static_cast<size_t>(samplesFor(0.32, rate)));
    Noise noise(0x5A4Eu);
    Biquad high = Biquad::highpass(rate, 1400.0, 0.7);
    Biquad low = Biquad::lowpass(rate, 9000.0, 0.7);
    double phase1 = 0.0, phase2 = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double bend = 1.0 + 0.35 * std::exp(-t / 0.012);
        phase1 += 2.0 * kPi * 185.0 * bend / rate;
        phase2 += 2.0 * kPi * 330.0 * bend / rate;
        double attack = std::min(1.0, t / 0.001);
        double body = 0.6 * std::sin(phase1) * std::exp(-t / 0.05) + 0.3 * std::sin(phase2) * std::exp(-t / 0.03);
        double rattle = low.process(high.process(noise.next())) * 1.4 * std::exp(-t / 0.08);
        out[i] = static_cast<float>(std::tanh(1.3 * attack * (body + rattle)));
    }
    fadeTail(&out, rate, 0.05);
    return out;
}

// Hi-hats and the crash: high-passed noise with the metallic ring, decaying with `decay`.
std::vector<float> cymbalSignal(double rate, double seconds, double attackSeconds, double decay,
                                double cutoff, uint32_t seed) {
    std::vector<float> out(static_cast<size_t>(samplesFor(seconds, rate)));
    Noise noise(seed);
    Biquad high1 = Biquad::highpass(rate, cutoff, 0.7);
    Biquad high2 = Biquad::highpass(rate, cutoff, 0.7);
    Biquad shine = Biquad::bandpass(rate, std::min(10000.0, rate * 0.35), 1.2);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        float raw = 0.65f * noise.next() + 0.35f * metal(t);
        float hp = high2.process(high1.process(raw));
        float x = hp + 0.5f * shine.process(hp);
        double attack = attackSeconds > 0.0 ? std::min(1.0, t / attackSeconds) : 1.0;
        out[i] = static_cast<float>(x * attack * std::exp(-t / decay));
    }
    fadeTail(&out, rate, std::min(0.2, seconds * 0.25));
    return out;
}

// --- pitched instruments ---------------------------------------------------------------

// A pitched sound whose fundamental repeats every `samplesPerCycle` samples at
// `recordedNote`; its sample rate follows from the two.
struct Tone {
    int recordedNote;
    int samplesPerCycle;
    double rate() const { return noteFrequency(recordedNote) * samplesPerCycle; }
    double fundamental() const { return noteFrequency(recordedNote); }
};

// One cycle of a sine, `length` entries; every partial below makes a whole
// number of cycles over `length` samples, so it is read from this table exactly.
std::vector<float> sineTable(int length) {
    std::vector<float> table(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) table[static_cast<size_t>(i)] = static_cast<float>(std::sin(2.0 * kPi * i / length));
    return table;
}

// Sums partials that each make `cycles` whole cycles over `length` samples, for
// `length` samples: a loop that repeats seamlessly.
struct Partial {
    int cycles;
    float amplitude;
    int phase;  // starting offset into the table
};

std::vector<float> sumPartials(int length, const std::vector<Partial>& partials) {
    std::vector<float> table = sineTable(length);
    std::vector<float> out(static_cast<size_t>(length), 0.0f);
    for (const Partial& p : partials) {
        int64_t index = p.phase;
        for (int i = 0; i < length; ++i) {
            out[static_cast<size_t>(i)] += p.amplitude * table[static_cast<size_t>(index)];
            index += p.cycles;
            if (index >= length) index %= length;
        }
    }
    return out;
}

// Detuned saw-like oscillators (harmonics 1/h, softened by a low-pass at
// `cutoff` Hz, odd harmonics raised by `hollow`), each making cycles[k] whole
// cycles over the loop of `cyclesPerLoop` fundamental cycles.
std::vector<float> detunedLoop(const Tone& tone, int cyclesPerLoop, const std::vector<int>& oscillatorCycles,
                               double cutoff, double hollow, double highestHz, uint32_t seed) {
    int length = tone.samplesPerCycle * cyclesPerLoop;
    Noise phases(seed);
    std::vector<Partial> partials;
    for (int cycles : oscillatorCycles) {
        double f0 = tone.fundamental() * cycles / cyclesPerLoop;
        for (int h = 1; h * f0 < highestHz; ++h) {
            double amplitude = lowpassGain(h * f0, cutoff) / h * ((h % 2) ? 1.0 + hollow : 1.0);
            int phase = static_cast<int>((phases.next() * 0.5f + 0.5f) * static_cast<float>(length - 1));
            partials.push_back({cycles * h, static_cast<float>(amplitude), phase});
        }
    }
    return sumPartials(length, partials);
}

void loopWhole(xm::Sample* sample) {
    sample->loopStart = 0;
    sample->loopLength = static_cast<uint32_t>(sample->data.size());
}

// The bass: a bright pluck whose filter closes over the first fifth of a second,
// then one steady cycle that loops. Every harmonic keeps its phase throughout, so
// the steady cycle joins the attack seamlessly.
std::vector<float> bassSignal(const Tone& tone, int* loopStart) {
    const int n = tone.samplesPerCycle;
    const double rate = tone.rate();
    const double f0 = tone.fundamental();
    const double tau = 0.05;
    const int attackCycles = static_cast<int>(std::ceil(0.2 * rate / n));
    const double attackEnd = attackCycles * n / rate;
    const int harmonics = 80;
    std::vector<float> table = sineTable(n);
    std::vector<float> out(static_cast<size_t>((attackCycles + 1) * n));
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        // Falls from 1 to exactly 0 at the end of the attack, then stays there.
        double env = t >= attackEnd ? 0.0 : (std::exp(-t / tau) - std::exp(-attackEnd / tau)) / (1.0 - std::exp(-attackEnd / tau));
        double cutoff = 420.0 + 2600.0 * env;
        double sum = 0.6 * table[i % static_cast<size_t>(n)];  // a sub sine under the saw
        for (int h = 1; h <= harmonics; ++h) {
            double hz = h * f0;
            double resonance = 1.0 + 1.2 * std::exp(-std::pow((hz - cutoff) / (0.3 * cutoff), 2.0));
            double amplitude = lowpassGain(hz, cutoff) * resonance / h;
            sum += amplitude * table[(i * static_cast<size_t>(h)) % static_cast<size_t>(n)];
        }
        out[i] = static_cast<float>(sum);
    }
    *loopStart = attackCycles * n;
    return out;
}

// A soft mallet: partials of a triangle-like tone, the higher ones dying sooner.
std::vector<float> pluckSignal(const Tone& tone) {
    const double rate = tone.rate();
    const int n = tone.samplesPerCycle;
    std::vector<float> table = sineTable(n);
    std::vector<float> out(static_cast<size_t>(samplesFor(0.9, rate)));
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double sum = 0.0;
        for (int h = 1; h <= 12; ++h) {
            double amplitude = (h == 2 ? 0.35 : 1.0) / std::pow(h, 1.6);
            double decay = 0.32 / (1.0 + 0.7 * (h - 1));
            sum += amplitude * std::exp(-t / decay) * table[(i * static_cast<size_t>(h)) % static_cast<size_t>(n)];
        }
        out[i] = static_cast<float>(sum * std::min(1.0, t / 0.002));
    }
    fadeTail(&out, rate, 0.25);
    return out;
}

// --- instruments ---------------------------------------------------------------------

xm::Instrument drum(const std::string& name, std::vector<float> signal, double rate, uint8_t volume,
                    uint8_t panning) {
    xm::Instrument in;
    in.name = name;
    in.sample.name = name;
    in.sample.data = toPcm(signal, 0.95f);
    in.sample.volume = volume;
    in.sample.panning = panning;
    xm::tune(&in.sample, rate, kNoteC4);
    return in;
}

xm::Instrument kick() { return drum("kick", kickSignal(), kDrumRate, 64, 128); }
xm::Instrument snare() { return drum("snare", snareSignal(), kDrumRate, 64, 120); }
xm::Instrument hat() {
    return drum("hat", cymbalSignal(kDrumRate, 0.12, 0.0, 0.028, 7000.0, 0x4A7u), kDrumRate, 48, 160);
}
xm::Instrument openHat() {
    return drum("openhat", cymbalSignal(kDrumRate, 0.6, 0.0, 0.2, 6500.0, 0x0BE4u), kDrumRate, 40, 160);
}
xm::Instrument crash() {
    return drum("crash", cymbalSignal(kCymbalRate, 2.2, 0.002, 0.7, 3500.0, 0xC4A5u), kCymbalRate, 34, 100);
}

xm::Instrument bass() {
    const Tone tone{kNoteC2, 512};
    xm::Instrument in;
    in.name = in.sample.name = "bass";
    int loopStart = 0;
    in.sample.data = toPcm(bassSignal(tone, &loopStart), 0.95f);
    in.sample.loopStart = static_cast<uint32_t>(loopStart);
    in.sample.loopLength = static_cast<uint32_t>(in.sample.data.size()) - in.sample.loopStart;
    in.sample.volume = 50;
    xm::tune(&in.sample, tone.rate(), tone.recordedNote);
    // A pluck that settles a little and holds; a quick release on key-off.
    in.volumeEnvelope.points = {Point{0, 64}, Point{6, 54}, Point{18, 46}};
    in.volumeEnvelope.sustainPoint = 2;
    in.fadeout = 3000;
    return in;
}

// The lead's sample: three saws a few cents apart (their beat repeats every loop).
xm::Sample leadSample(const std::string& name) {
    const Tone tone{kNoteC5, 64};
    xm::Sample s;
    s.name = name;
    s.data = toPcm(detunedLoop(tone, 256, {255, 256, 257}, 4200.0, 0.5, 11000.0, 0x1EADu), 0.95f);
    loopWhole(&s);
    xm::tune(&s, tone.rate(), tone.recordedNote);
    return s;
}

xm::Instrument lead() {
    xm::Instrument in;
    in.name = "lead";
    in.sample = leadSample("lead");
    in.sample.volume = 64;
    in.sample.panning = 118;
    // A one-tick rise hides the waveform's non-zero start; then a settle to the held level.
    in.volumeEnvelope.points = {Point{0, 24}, Point{1, 64}, Point{8, 50}, Point{30, 42}};
    in.volumeEnvelope.sustainPoint = 3;
    in.fadeout = 1400;
    in.vibrato = xm::Vibrato{0, 24, 3, 12};  // a gentle sine vibrato that fades in
    return in;
}

xm::Instrument echo() {
    xm::Instrument in = lead();
    in.name = in.sample.name = "echo";
    in.sample.volume = 28;
    in.sample.panning = 196;
    return in;
}

xm::Instrument pad() {
    const Tone tone{kNoteC4, 128};
    xm::Instrument in;
    in.name = in.sample.name = "pad";
    in.sample.data = toPcm(detunedLoop(tone, 256, {252, 255, 256, 257, 260}, 1500.0, 0.0, 9000.0, 0x9ADu), 0.95f);
    loopWhole(&in.sample);
    in.sample.volume = 20;
    xm::tune(&in.sample, tone.rate(), tone.recordedNote);
    // Swells in over a second, holds, and dies away slowly after key-off.
    in.volumeEnvelope.points = {Point{0, 0}, Point{20, 44}, Point{48, 64}};
    in.volumeEnvelope.sustainPoint = 2;
    in.fadeout = 360;
    return in;
}

xm::Instrument pluck() {
    const Tone tone{kNoteC5, 64};
    xm::Instrument in;
    in.name = in.sample.name = "pluck";
    in.sample.data = toPcm(pluckSignal(tone), 0.95f);
    in.sample.volume = 36;
    in.sample.panning = 84;
    xm::tune(&in.sample, tone.rate(), tone.recordedNote);
    return in;
}

struct Maker {
    const char* name;
    xm::Instrument (*make)();
};

const Maker kMakers[] = {
    {"kick", kick}, {"snare", snare}, {"hat", hat},   {"openhat", openHat}, {"crash", crash},
    {"bass", bass}, {"lead", lead},   {"echo", echo}, {"pad", pad},         {"pluck", pluck},
};

}  // namespace

float Noise::next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<float>(state_ >> 8) / static_cast<float>(1u << 23) - 1.0f;
}

std::vector<int16_t> toPcm(const std::vector<float>& signal, float peak) {
    float loudest = 0.0f;
    for (float v : signal) loudest = std::max(loudest, std::fabs(v));
    float scale = loudest > 0.0f ? peak * 32767.0f / loudest : 0.0f;
    std::vector<int16_t> out(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) {
        long v = std::lround(signal[i] * scale);
        out[i] = static_cast<int16_t>(std::clamp(v, -32767L, 32767L));
    }
    return out;
}

bool makeInstrument(const std::string& name, xm::Instrument* instrument) {
    for (const Maker& m : kMakers) {
        if (name == m.name) {
            *instrument = m.make();
            return true;
        }
    }
    return false;
}

const std::vector<std::string>& instrumentNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const Maker& m : kMakers) v.push_back(m.name);
        return v;
    }();
    return names;
}

}  // namespace datagen::synth
