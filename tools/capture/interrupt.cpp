#include "interrupt.h"

#include <csignal>
#include <cstdlib>

namespace capture {
namespace {

volatile std::sig_atomic_t g_signal = 0;

void onSignal(int number) { g_signal = number; }

}  // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking write is interrupted and the writer sees the flag.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    ::setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
}

int interruptSignal() { return g_signal; }

}  // namespace capture
