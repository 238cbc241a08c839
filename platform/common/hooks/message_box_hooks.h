// Hooks on message boxes for tests and tools, on every port. Nothing in the
// program itself calls these.
#pragma once

#include <functional>

#include "windows.h"

namespace win32 {

// Answers message boxes instead of leaving them to the user. Receives the box's
// text, caption and style and returns IDOK, IDYES, IDNO or IDCANCEL. An empty
// function restores the normal behaviour: a real box where there is a display,
// otherwise (on ports that can tell) the box is written to stderr and answered as
// if it had been closed.
using MessageBoxAnswerer = std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
void setMessageBoxAnswerer(MessageBoxAnswerer answerer);
bool messageBoxesAreAnswered();

// What closing a box of this style answers (Cancel where there is a Cancel
// button, No for Yes/No, OK for OK), and an answer's button label ("OK",
// "Cancel", "Yes", "No"; "?" for anything else). For answerers that print.
int messageBoxClosedAnswer(UINT type);
const char* messageBoxAnswerName(int answer);

}  // namespace win32
