// Hooks on the devices Direct3DCreate8 makes, for tools, on every port. The
// program itself never calls these.
#pragma once

namespace d3d8 {

// Readies the next device for a tool that draws frames nobody watches: the
// Linux port draws offscreen, with no display needed; the Windows port draws in
// an ordinary window (Direct3D 8 needs one).
void useOffscreenDevice();

// True once the port has said on stderr, in one plain line of its own, why no
// device could be made (on Linux: no OpenGL 3.3, with the version found). A
// tool then adds no lines of its own about the failed device, only its exit code.
bool deviceFailureExplained();

// That line is also shown in a message box, for a viewer who started the program
// without a terminal, unless an answerer takes the boxes. A tool that reports on
// stderr alone calls this first: the line then stays on stderr.
void explainDeviceFailureOnStderrOnly();

}  // namespace d3d8
