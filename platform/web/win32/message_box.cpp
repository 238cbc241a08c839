// MessageBoxA on the web: answered by a test's or tool's answerer when one is
// set, otherwise shown as a dialog in the page (the page's showMessageBox), and
// the program waits for its answer as it would for a real box. Closing the
// dialog answers what closing a box answers in Windows.
//
// A box that cannot be waited for (the page is being closed, or it has no
// dialog) is written to the console and answered as if it had been closed.
#include <emscripten.h>

#include <cstdio>
#include <utility>

#include "message_box_hooks.h"
#include "page.h"
#include "windows.h"

namespace {

win32::MessageBoxAnswerer& answerer() {
    static win32::MessageBoxAnswerer instance;
    return instance;
}

// The page's answer, or 0 when it cannot show a dialog now.
EM_ASYNC_JS(int, askPage, (const char* text, const char* caption, unsigned type), {
    if (typeof Module.showMessageBox !== 'function' || Module.pageClosing) return 0;
    return await Module.showMessageBox(UTF8ToString(text), UTF8ToString(caption), type);
});

}  // namespace

namespace win32 {

void setMessageBoxAnswerer(MessageBoxAnswerer newAnswerer) { answerer() = std::move(newAnswerer); }

}  // namespace win32

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    const char* text = lpText ? lpText : "";
    const char* caption = lpCaption ? lpCaption : "Error";
    if (answerer()) return answerer()(hWnd, text, caption, uType);
    const int answer = askPage(text, caption, uType);
    if (answer == IDOK || answer == IDCANCEL || answer == IDYES || answer == IDNO) return answer;
    const int closed = win32::messageBoxClosedAnswer(uType);
    std::fprintf(stderr, "Message box \"%s\": %s -- not shown (it cannot be waited for now), answered %s\n",
                 caption, text, win32::messageBoxAnswerName(closed));
    return closed;
}
