// SIGINT and SIGTERM as a request to stop: the tools finish the frame in hand,
// clean up after themselves and exit with 128 + the signal's number.
#pragma once

namespace capture {

// Installs the handlers (before SDL starts, which would otherwise turn the
// signals into a window-close event that the demo takes as a normal end). The
// first signal only sets the flag; a second one ends the program at once.
// Also ignores SIGPIPE, so writing to a program that has gone fails with EPIPE.
void installInterruptHandlers();

// The signal that asked to stop, or 0.
int interruptSignal();

}  // namespace capture
