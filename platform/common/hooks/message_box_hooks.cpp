#include "message_box_hooks.h"

#include <utility>

#include "message_box_answerer.h"

namespace win32 {
namespace {

// Never destroyed: a box may be shown while the program's statics are.
MessageBoxAnswerer& answerer() {
    static auto* instance = new MessageBoxAnswerer;
    return *instance;
}

}  // namespace

void setMessageBoxAnswerer(MessageBoxAnswerer newAnswerer) {
    answerer() = std::move(newAnswerer);
    port::messageBoxAnswererChanged(static_cast<bool>(answerer()));
}

bool messageBoxesAreAnswered() { return static_cast<bool>(answerer()); }

bool askMessageBoxAnswerer(HWND owner, const char* text, const char* caption, UINT type, int& answer) {
    // A copy, so that an answerer may replace itself while it answers.
    const MessageBoxAnswerer current = answerer();
    if (!current) return false;
    answer = current(owner, text, caption, type);
    return true;
}

int messageBoxClosedAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
        case MB_YESNOCANCEL: return IDCANCEL;
        case MB_YESNO: return IDNO;
        default: return IDOK;
    }
}

const char* messageBoxAnswerName(int answer) {
    switch (answer) {
        case IDOK: return "OK";
        case IDCANCEL: return "Cancel";
        case IDYES: return "Yes";
        case IDNO: return "No";
        default: return "?";
    }
}

}  // namespace win32
