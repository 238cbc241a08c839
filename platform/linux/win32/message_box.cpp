// Message boxes on Linux (the stand-in's MessageBoxA has asked the answerer of a
// test or tool first): shown with SDL where there is a display, and otherwise
// written to stderr and answered as if they had been closed.
//
// Implemented: MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL (any other type shows
// OK), the error/warning/information icons, MB_DEFBUTTON1..3 for Return.
// Closing a box answers what Windows answers: Cancel where there is a Cancel
// button, No for Yes/No, OK for OK. Escape gives the same answer.
// Standard input is never read, and nothing waits when there is no display.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "box_quit_signals.h"
#include "message_box_hooks.h"
#include "win32_internal.h"
#include "win32_port.h"
#include "win32_sdl.h"
#include "windows.h"

namespace {

constexpr int kMaxButtons = 3;

struct ButtonSet {
    int count;
    int ids[kMaxButtons];
    const char* labels[kMaxButtons];
};

ButtonSet buttonsFor(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {2, {IDOK, IDCANCEL, 0}, {"OK", "Cancel", nullptr}};
        case MB_YESNOCANCEL:
            return {3, {IDYES, IDNO, IDCANCEL}, {"Yes", "No", "Cancel"}};
        case MB_YESNO:
            return {2, {IDYES, IDNO, 0}, {"Yes", "No", nullptr}};
        default:
            return {1, {IDOK, 0, 0}, {"OK", nullptr, nullptr}};
    }
}

// The button Return presses: the first unless MB_DEFBUTTON2/3 names another one.
int defaultButtonIndex(UINT type, int buttonCount) {
    int index = 0;
    if ((type & MB_DEFMASK) == MB_DEFBUTTON2) index = 1;
    if ((type & MB_DEFMASK) == MB_DEFBUTTON3) index = 2;
    return index < buttonCount ? index : 0;
}

Uint32 sdlIconFlags(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: return SDL_MESSAGEBOX_ERROR;
        case MB_ICONWARNING: return SDL_MESSAGEBOX_WARNING;
        case MB_ICONINFORMATION:
        case MB_ICONQUESTION: return SDL_MESSAGEBOX_INFORMATION;
        default: return 0;
    }
}


bool startsWithNoCase(const char* text, const char* prefix) {
    return text && SDL_strncasecmp(text, prefix, SDL_strlen(prefix)) == 0;
}

bool hasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// SDL's offscreen and dummy drivers make windows that nobody can see, so a box
// shown "there" would wait for an answer that never comes.
bool hasDisplay() {
    if (win32::windowsAreUnseen()) return false;
    return hasEnvironment("DISPLAY") || hasEnvironment("WAYLAND_DISPLAY");
}

}  // namespace

bool win32::windowsAreUnseen() {
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver()
                                                     : SDL_GetHint(SDL_HINT_VIDEODRIVER);
    return startsWithNoCase(driver, "offscreen") || startsWithNoCase(driver, "dummy");
}

namespace {

// Shows a modal SDL box. False when SDL could not show one.
bool showSdlBox(HWND owner, const char* text, const char* caption, UINT type, int* answer) {
    const ButtonSet set = buttonsFor(type);
    const int defaultIndex = defaultButtonIndex(type, set.count);
    const int closedAnswer = win32::messageBoxClosedAnswer(type);
    SDL_MessageBoxButtonData buttons[kMaxButtons]{};
    for (int i = 0; i < set.count; ++i) {
        buttons[i].buttonid = set.ids[i];
        buttons[i].text = set.labels[i];
        if (i == defaultIndex) buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (set.ids[i] == closedAnswer) buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    }
    SDL_MessageBoxData box{};
    box.flags = sdlIconFlags(type) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = win32::sdlWindow(owner);
    box.title = caption;
    box.message = text;
    box.numbuttons = set.count;
    box.buttons = buttons;
    int pressed = -1;
    int shown = 0;
    {
        const win32::detail::BoxQuitSignals quitSignalsCloseIt;
        shown = SDL_ShowMessageBox(&box, &pressed);
    }
    if (shown != 0 && !win32::detail::quitSignalled()) {
        std::fprintf(stderr, "win32: no message box (%s)\n", SDL_GetError());
        return false;
    }
    if (shown != 0) pressed = -1;  // a quit signal closed it
    // -1: closed without a button.
    *answer = pressed < 0 ? closedAnswer : pressed;
    return true;
}

int writeToStderr(const char* text, const char* caption, UINT type) {
    const ButtonSet set = buttonsFor(type);
    const int closedAnswer = win32::messageBoxClosedAnswer(type);
    std::string buttons;
    for (int i = 0; i < set.count; ++i) {
        buttons += std::string(i ? " [" : "[") + set.labels[i] + "]";
    }
    std::fprintf(stderr, "[message box] %s\n%s\n%s -> %s (no box could be shown: answered as if closed)\n",
                 caption, text, buttons.c_str(), win32::messageBoxAnswerName(closedAnswer));
    std::fflush(stderr);
    return closedAnswer;
}

}  // namespace

int win32::port::showMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    // The program is ending on a signal: no more boxes, each answered as if closed.
    if (win32::detail::quitSignalled()) return win32::messageBoxClosedAnswer(type);
    int answer = 0;
    if (hasDisplay() && showSdlBox(owner, text, caption, type, &answer)) return answer;
    return writeToStderr(text, caption, type);
}

