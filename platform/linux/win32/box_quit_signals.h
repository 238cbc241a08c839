// SIGINT and SIGTERM while a message box waits for its answer. SDL shows a box
// from a child process and waits for it, so a signal sent to the program alone
// would wait for the box, and a box whose program was killed would stay on the
// screen. While a box is shown, a quit signal closes it as if the user had
// closed it, and from then on every box is answered so without being shown;
// the signal still reaches SDL, whose quit event ends the program as closing its
// window does. The box's process dies with the program.
#pragma once

namespace win32::detail {

class BoxQuitSignals {
public:
    BoxQuitSignals();  // from here to the destructor, one box is being shown
    ~BoxQuitSignals();
    BoxQuitSignals(const BoxQuitSignals&) = delete;
    BoxQuitSignals& operator=(const BoxQuitSignals&) = delete;
};

// True once SIGINT or SIGTERM came while a box was shown: the program is ending.
bool quitSignalled();

}  // namespace win32::detail
