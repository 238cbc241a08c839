// Hooks on the devices Direct3DCreate8 makes, for tools, on every port. The
// program itself never calls these.
#pragma once

namespace d3d8 {

// Readies the next device for a tool that draws frames nobody watches: the
// Linux port draws offscreen, with no display needed; the Windows port draws in
// an ordinary window (Direct3D 8 needs one).
void useOffscreenDevice();

}  // namespace d3d8
