// The audio output of a port: a device that pulls 16-bit stereo sound from the
// music player on a thread of its own. Nothing outside platform/ includes this.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sound::output {

// Fills `frames` frames of interleaved 16-bit stereo at `buffer`; called on the
// output's thread.
using FillFunction = void (*)(int16_t* buffer, size_t frames);

// Opens the output at `rate` Hz and starts pulling from `fill`. False when no
// device could be opened (the port says why on stderr, once).
bool open(int rate, FillFunction fill);

// Stops and closes the output; returns once `fill` runs no more. Harmless when
// nothing is open.
void close();

}  // namespace sound::output
