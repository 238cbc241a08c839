// The program's icon as a Windows .ico file, written from the stand-in's drawing
// of it (program_icon.h), so that the Windows build's resource 5 shows the same
// picture as the Linux port's windows.
#pragma once

#include <cstdint>
#include <vector>

namespace windows_icon {

// The .ico bytes of the program's icon: its 32 x 32 images, each as a 32-bit
// bitmap with alpha and a transparency mask.
std::vector<uint8_t> programIconFile();

}  // namespace windows_icon
