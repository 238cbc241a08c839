// What each port on the Win32 stand-in supplies to the stand-in's own shared
// functions. Nothing outside platform/ includes this.
#pragma once

#include "windows.h"

namespace win32::port {

// Shows a message box and returns the button pressed; where no box can be shown
// or waited for, answers as if the box had been closed (saying so where the port
// can). `text` and `caption` are never null.
int showMessageBox(HWND owner, const char* text, const char* caption, UINT type);

}  // namespace win32::port
