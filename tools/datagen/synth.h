// The music's instruments, synthesised in code into 16-bit samples.
//
// Every instrument is made from sines, a seeded noise generator and simple
// filters, so the same bytes come out on every run. Drums are one-shot samples
// recorded at 44100 Hz (32000 Hz for the long cymbal) and play at their recorded
// pitch on C-4. Pitched instruments are built from whole cycles of a fundamental
// with a fixed number of samples per cycle, so their sustained part loops
// without a click; each one is tuned so that its recorded note plays back at
// its recorded pitch.
#pragma once

#include <string>
#include <vector>

#include "xm.h"

namespace datagen::synth {

// The instrument called `name`: kick, snare, hat, openhat, crash, bass, lead,
// echo (the lead, softer and to the right, for a delay line written as notes),
// pad or pluck. False for a name that is not one of these.
bool makeInstrument(const std::string& name, xm::Instrument* instrument);

// The names makeInstrument knows, in the order above.
const std::vector<std::string>& instrumentNames();

// The noise source of the drums: a 32-bit xorshift generator with a fixed seed,
// giving values in [-1, 1).
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 1) {}
    float next();

private:
    uint32_t state_;
};

// Floating-point signal (about -1..1) to 16-bit samples, scaled so that the
// loudest value reaches `peak` of full scale; silence stays silence.
std::vector<int16_t> toPcm(const std::vector<float>& signal, float peak);

}  // namespace datagen::synth
