// Hooks of the sound stand-in for tools and tests (the program never calls
// these): an offline capture renders the music itself, so it wants to know when
// playback starts and does not want a real audio device.
#pragma once

#include <functional>
#include <string>

namespace sound {

// Told, on the calling thread, each time FMUSIC_PlaySong starts a song, with the
// module file's host path (its separators already mapped). An empty function
// removes the observer.
using StartObserver = std::function<void(const std::string& modulePath)>;
void setStartObserver(StartObserver observer);

// While set, FSOUND_Init opens no audio device but still succeeds: songs load and
// "play" without a sound, and the start observer is told as usual. Takes effect
// at the next FSOUND_Init.
void setDeviceSuppressed(bool suppressed);
bool deviceSuppressed();

}  // namespace sound
