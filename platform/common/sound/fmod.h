// The music API the demo was written against: the subset of its FSOUND/FMUSIC C
// interface that the program calls, with the documented names, arguments and
// results (TRUE or FALSE as a signed char).
//
// Here a song is a tracker module read with libopenmpt and played through the
// port's audio output; it loops forever once played. When the sound system could
// not start, or a song could not be loaded, every call is still safe to make and
// the program simply runs without music.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// A loaded music module; opaque to the program.
typedef struct FMUSIC_MODULE FMUSIC_MODULE;

// Starts the sound system: opens the audio output at `mixrate` Hz, stereo, 16-bit.
// `maxsoftwarechannels` and `flags` are accepted and ignored (the module player
// mixes its own channels). Calling it again restarts the sound system. FALSE when
// no audio output could be opened or the rate is outside 8000..192000 Hz.
signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags);

// Loads the module file `name` (a program path; '\' separators are accepted).
// Null when the file is missing or is not a module the player can read. Loading
// does not need the sound system to be running.
FMUSIC_MODULE* FMUSIC_LoadSong(const char* name);

// Starts `mod` from its beginning, looping forever; it replaces any song that was
// playing. FALSE for a null song or when the sound system is not running.
signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod);

// Stops `mod` if it is playing and frees it. FALSE for a null song.
signed char FMUSIC_FreeSong(FMUSIC_MODULE* mod);

// Stops playback and closes the audio output. Songs stay loaded until freed.
// Harmless when the sound system is not running.
void FSOUND_Close(void);

#ifdef __cplusplus
}
#endif
