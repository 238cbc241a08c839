// Message boxes on the web (the stand-in's MessageBoxA has asked the answerer of
// a test or tool first): shown as a dialog in the page (the page's
// showMessageBox), and the program waits for its answer as it would for a real
// box. Closing the dialog answers what closing a box answers in Windows.
//
// A box that cannot be waited for (the page is being closed, or it has no
// dialog) is written to the console and answered as if it had been closed.
#include <emscripten.h>

#include <cstdio>

#include "message_box_hooks.h"
#include "win32_port.h"
#include "windows.h"

namespace {

// The page's answer, or 0 when it cannot show a dialog now.
EM_ASYNC_JS(int, askPage, (const char* text, const char* caption, unsigned type), {
    if (typeof Module.showMessageBox !== 'function' || Module.pageClosing) return 0;
    return await Module.showMessageBox(UTF8ToString(text), UTF8ToString(caption), type);
});

}  // namespace

int win32::port::showMessageBox(HWND, const char* text, const char* caption, UINT type) {
    const int answer = askPage(text, caption, type);
    if (answer == IDOK || answer == IDCANCEL || answer == IDYES || answer == IDNO) return answer;
    const int closed = win32::messageBoxClosedAnswer(type);
    std::fprintf(stderr, "Message box \"%s\": %s -- not shown (it cannot be waited for now), answered %s\n",
                 caption, text, win32::messageBoxAnswerName(closed));
    return closed;
}
