// SDL keys as Windows virtual keys, and the characters TranslateMessage makes of them.
//
// SDL's key codes follow the keyboard layout, as Windows' virtual keys do for
// letters and digits, so 'a' on the layout is 'A' (0x41) whatever key carries it.
// Keys with no virtual key here produce no message.
#include "win32_internal.h"

namespace win32::detail {
namespace {

struct KeyPair {
    SDL_Keycode sdl;
    UINT virtualKey;
};

constexpr KeyPair kNamedKeys[] = {
    {SDLK_BACKSPACE, VK_BACK},      {SDLK_TAB, VK_TAB},           {SDLK_RETURN, VK_RETURN},
    {SDLK_KP_ENTER, VK_RETURN},     {SDLK_ESCAPE, VK_ESCAPE},     {SDLK_SPACE, VK_SPACE},
    {SDLK_LSHIFT, VK_SHIFT},        {SDLK_RSHIFT, VK_SHIFT},      {SDLK_LCTRL, VK_CONTROL},
    {SDLK_RCTRL, VK_CONTROL},       {SDLK_LALT, VK_MENU},         {SDLK_RALT, VK_MENU},
    {SDLK_PAUSE, VK_PAUSE},         {SDLK_CAPSLOCK, VK_CAPITAL},  {SDLK_PAGEUP, VK_PRIOR},
    {SDLK_PAGEDOWN, VK_NEXT},       {SDLK_END, VK_END},           {SDLK_HOME, VK_HOME},
    {SDLK_LEFT, VK_LEFT},           {SDLK_UP, VK_UP},             {SDLK_RIGHT, VK_RIGHT},
    {SDLK_DOWN, VK_DOWN},           {SDLK_PRINTSCREEN, VK_SNAPSHOT}, {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE},       {SDLK_KP_MULTIPLY, VK_MULTIPLY}, {SDLK_KP_PLUS, VK_ADD},
    {SDLK_KP_MINUS, VK_SUBTRACT},   {SDLK_KP_PERIOD, VK_DECIMAL}, {SDLK_KP_DIVIDE, VK_DIVIDE},
    {SDLK_KP_0, VK_NUMPAD0},
};

}  // namespace

UINT virtualKeyFromSdl(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + static_cast<UINT>(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + static_cast<UINT>(key - SDLK_0);
    // F1..F12 and keypad 1..9 are consecutive in SDL as in Windows (keypad 0 is not).
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<UINT>(key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VK_NUMPAD0 + 1 + static_cast<UINT>(key - SDLK_KP_1);
    for (const KeyPair& pair : kNamedKeys) {
        if (pair.sdl == key) return pair.virtualKey;
    }
    return 0;
}

unsigned characterFromVirtualKey(UINT virtualKey, SDL_Keymod modifiers) {
    const bool shift = (modifiers & KMOD_SHIFT) != 0;
    const bool capsLock = (modifiers & KMOD_CAPS) != 0;
    const bool control = (modifiers & KMOD_CTRL) != 0;
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        if (control) return virtualKey - 'A' + 1;  // Ctrl+A is 1, as on Windows
        return shift != capsLock ? virtualKey : virtualKey - 'A' + 'a';
    }
    if (control) return 0;
    // Shifted digits give layout-dependent symbols that are not known here.
    if (virtualKey >= '0' && virtualKey <= '9') return shift ? 0 : virtualKey;
    if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD0 + 9) return '0' + (virtualKey - VK_NUMPAD0);
    switch (virtualKey) {
        case VK_BACK: return '\b';
        case VK_TAB: return '\t';
        case VK_RETURN: return '\r';
        case VK_ESCAPE: return 0x1B;
        case VK_SPACE: return ' ';
        case VK_MULTIPLY: return '*';
        case VK_ADD: return '+';
        case VK_SUBTRACT: return '-';
        case VK_DECIMAL: return '.';
        case VK_DIVIDE: return '/';
        default: return 0;
    }
}

}  // namespace win32::detail
