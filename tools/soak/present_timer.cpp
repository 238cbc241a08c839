// present_timer: an LD_PRELOAD library that notes the time of every frame a
// program presents, so the soak run and the end-to-end tests can watch the real
// demo's frames from outside without a switch in the program.
//
// It wraps SDL_GL_SwapWindow: the real function is looked up with
// dlsym(RTLD_NEXT), called, and then one line with the monotonic time in
// milliseconds (three decimals) is appended to the file named by the environment
// variable PRESENT_TIMER_FILE. Without that variable the library only passes the
// call on. Each line goes out with one write(2) on a descriptor opened with
// O_APPEND, so a reader polling the file never sees half a line for long and
// nothing is lost if the program is killed; at 60 frames a second that is one
// small system call per frame and no allocation.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

using SwapWindowFunction = void (*)(void*);

SwapWindowFunction realSwapWindow() {
    static SwapWindowFunction real =
        reinterpret_cast<SwapWindowFunction>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    return real;
}

// -1 when no file was asked for or it could not be opened: timing is then off.
int timesFile() {
    static const int descriptor = [] {
        const char* path = std::getenv("PRESENT_TIMER_FILE");
        if (!path || !*path) return -1;
        return open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }();
    return descriptor;
}

double monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

void notePresent() {
    const int descriptor = timesFile();
    if (descriptor < 0) return;
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%.3f\n", monotonicMilliseconds());
    if (length <= 0 || length >= static_cast<int>(sizeof line)) return;
    // A short or failed write loses one sample; the program must not notice.
    const ssize_t written = write(descriptor, line, static_cast<size_t>(length));
    (void)written;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void SDL_GL_SwapWindow(void* window) {
    const SwapWindowFunction real = realSwapWindow();
    if (real) real(window);
    notePresent();
}
