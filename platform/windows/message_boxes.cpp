// The message-box answerer on Windows. MessageBoxA is the real one; while an
// answerer is set, a CBT hook on the thread that set it sees each box as it is
// activated, reads its caption, text and buttons, asks the answerer and presses
// the button it names, so a tool's run never waits for a person.
#include <windows.h>

#include <string>

#include "message_box_answerer.h"

namespace {

// The dialog class of message boxes, and the identifier of their text.
constexpr char kDialogClass[] = "#32770";
constexpr int kTextItem = 0xFFFF;

HHOOK g_hook = nullptr;

std::string windowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool isMessageBox(HWND window) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return lstrcmpA(name, kDialogClass) == 0 && GetDlgItem(window, kTextItem) != nullptr;
}

// The box's style, as far as its buttons tell it.
UINT typeFromButtons(HWND box) {
    const bool yes = GetDlgItem(box, IDYES) != nullptr;
    const bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    if (yes) return cancel ? MB_YESNOCANCEL : MB_YESNO;
    return cancel ? MB_OKCANCEL : MB_OK;
}

void answer(HWND box) {
    const std::string caption = windowText(box);
    const std::string text = windowText(GetDlgItem(box, kTextItem));
    int button = 0;
    if (!win32::askMessageBoxAnswerer(GetWindow(box, GW_OWNER), text.c_str(), caption.c_str(),
                                      typeFromButtons(box), button)) {
        return;  // removed since the hook was set: the box waits for a person
    }
    // The box ends with the pressed button's identifier as its result.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

LRESULT CALLBACK watchActivations(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (isMessageBox(window)) answer(window);
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

void win32::port::messageBoxAnswererChanged(bool set) {
    if (set && !g_hook) {
        g_hook = SetWindowsHookExA(WH_CBT, watchActivations, nullptr, GetCurrentThreadId());
    } else if (!set && g_hook) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
}
