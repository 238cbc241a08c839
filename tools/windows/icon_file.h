// The program's icon as a Windows .ico file, written from the Linux port's
// drawing of it, so that the Windows build's resource 5 shows the same picture.
#pragma once

#include <cstdint>
#include <vector>

namespace windows_icon {

// The .ico bytes of the icon LoadIconA gives for resource 5 on the Linux port:
// its 32 x 32 images, each as a 32-bit bitmap with alpha and a transparency mask.
std::vector<uint8_t> programIconFile();

}  // namespace windows_icon
