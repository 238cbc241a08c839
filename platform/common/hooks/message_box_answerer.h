// The message-box answerer as the ports' message boxes meet it (tests and tools
// set it through message_box_hooks.h). Nothing outside platform/ includes this.
#pragma once

#include "windows.h"

namespace win32 {

// Puts a box to the answerer a test or tool set: true, with its answer, when one
// is set. The answerer may replace itself, or remove itself, while it answers.
bool askMessageBoxAnswerer(HWND owner, const char* text, const char* caption, UINT type, int& answer);

namespace port {

// Told each time the answerer is set (true) or removed (false). The stand-in's
// MessageBoxA asks the answerer itself and has nothing to do; the Windows port
// watches the real boxes of the thread that set it.
void messageBoxAnswererChanged(bool set);

}  // namespace port
}  // namespace win32
