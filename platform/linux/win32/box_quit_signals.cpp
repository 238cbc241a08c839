#include "box_quit_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <mutex>

namespace win32::detail {
namespace {

volatile sig_atomic_t g_boxShown = 0;
volatile sig_atomic_t g_quitSignal = 0;
volatile sig_atomic_t g_boxProcess = 0;  // 0 until the box's process has said who it is
// The box's process writes its id here as it starts; the signal handler reads it.
int g_processIdPipe[2] = {-1, -1};
struct sigaction g_previous[2];

constexpr int kQuitSignals[2] = {SIGINT, SIGTERM};

void killBoxProcess() {
    if (g_boxProcess == 0) {
        pid_t child = 0;
        if (read(g_processIdPipe[0], &child, sizeof child) == static_cast<ssize_t>(sizeof child)) {
            g_boxProcess = child;
        }
    }
    if (g_boxProcess != 0) kill(g_boxProcess, SIGTERM);
}

// Only async-signal-safe calls: a flag, read, kill, and what the signal did
// before: SDL's handler (its quit event), or the default end of the process.
void onQuitSignal(int number) {
    g_quitSignal = number;
    if (g_boxShown) killBoxProcess();
    const struct sigaction& previous = g_previous[number == SIGINT ? 0 : 1];
    if (previous.sa_flags & SA_SIGINFO) return;
    if (previous.sa_handler == SIG_DFL) {
        signal(number, SIG_DFL);
        raise(number);
    } else if (previous.sa_handler != SIG_IGN) {
        previous.sa_handler(number);
    }
}

// In every child forked while a box is shown (SDL's box process): the default
// end on a quit signal, an end with the program, and its id for the program.
void onForkInChild() {
    if (!g_boxShown) return;
    if (g_quitSignal) _exit(1);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const pid_t self = getpid();
    if (write(g_processIdPipe[1], &self, sizeof self) < 0) return;  // then it cannot be passed a signal
}

}  // namespace

BoxQuitSignals::BoxQuitSignals() {
    static std::once_flag registered;
    std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, onForkInChild); });
    g_boxProcess = 0;
    if (pipe2(g_processIdPipe, O_CLOEXEC | O_NONBLOCK) != 0) g_processIdPipe[0] = g_processIdPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i) sigaction(kQuitSignals[i], &action, &g_previous[i]);
    g_boxShown = 1;
}

BoxQuitSignals::~BoxQuitSignals() {
    g_boxShown = 0;
    for (int i = 0; i < 2; ++i) sigaction(kQuitSignals[i], &g_previous[i], nullptr);
    for (int& end : g_processIdPipe) {
        if (end >= 0) close(end);
        end = -1;
    }
}

bool quitSignalled() { return g_quitSignal != 0; }

}  // namespace win32::detail
