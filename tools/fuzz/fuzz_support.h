// What the fuzz targets share: a quiet process without a display, a private
// working directory, the input written where a reader that takes file names
// finds it, and the engine's device wrapper on the recording back end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class cD3D;

namespace fuzz {

// Once per process, before anything else: SDL's dummy video and audio drivers,
// message boxes answered without a word (as closed), and a fresh private
// directory for the files the target writes (under FUZZ_TMPDIR, else /dev/shm,
// else the system's temporary directory), removed at exit. The working
// directory is left alone (libFuzzer resolves its paths against it); relative
// names the input gives, such as a model's texture names, are looked up there,
// so run.sh starts each target in an empty directory.
void setUpQuietProcess(const char* targetName);

// The absolute path of the file that holds the current input.
const char* inputPath();

// An absolute path for a file of this name in the private directory.
std::string privatePath(const std::string& name);

// Replaces the input file's contents with these bytes. Aborts if it cannot be
// written: a target that silently read an old input would prove nothing.
void writeInput(const uint8_t* data, size_t size);

// The engine's device wrapper, initialised once on the recording back end
// (quiet: nothing is recorded, so memory stays flat across iterations) for a
// 640 x 480 window on SDL's dummy driver. Its log drops every message.
cD3D& recordingDevice();

// The window the device was made for.
void* deviceWindow();

// Stops the process the way libFuzzer reports a finding, for properties a
// target checks itself (a sanitizer reports the rest).
[[noreturn]] void fail(const char* what);

}  // namespace fuzz
