// The program's icon, resource 5 of its module: a road running to the horizon
// under a setting, striped sun, drawn in code. The Linux port's LoadIconA gives
// it to windows, and tools/windows writes it as the Windows build's demo.ico.
#pragma once

#include <cstdint>

namespace program_icon {

constexpr int kResourceId = 5;
// Two square images, as an icon group holds them:
//  0: 32-bit colour with alpha: smooth gradients, 4 x 4 supersampled, rounded corners;
//  1: a flat variant: a few solid colours, square and fully opaque, one sample per pixel.
constexpr int kImageCount = 2;
constexpr int kSide = 32;

// The pixels of image `index`: kSide rows of kSide, top-down, each 0xAARRGGBB;
// null for an index out of range. Drawn on first use and kept for the life of
// the program.
const uint32_t* image(int index);

}  // namespace program_icon
