// MessageBoxA of the Win32 stand-in: answered by a test's or tool's answerer
// when one is set, otherwise shown by the port (win32_port.h).
#include "message_box_answerer.h"
#include "win32_port.h"
#include "windows.h"

// MessageBoxA below asks the answerer on every box: nothing to watch.
void win32::port::messageBoxAnswererChanged(bool) {}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    // Windows shows an empty text for null and "Error" as the caption for null.
    const char* text = lpText ? lpText : "";
    const char* caption = lpCaption ? lpCaption : "Error";
    int answer = 0;
    if (win32::askMessageBoxAnswerer(hWnd, text, caption, uType, answer)) return answer;
    return win32::port::showMessageBox(hWnd, text, caption, uType);
}
