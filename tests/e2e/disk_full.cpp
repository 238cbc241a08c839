// disk_full: an LD_PRELOAD library that makes one directory's file system fill
// up while a program runs, exactly where a test wants it: once DISK_FULL_AFTER
// bytes in all have been written to files below DISK_FULL_DIR (an absolute,
// resolved path), every further write there fails with ENOSPC, the last one
// that reaches the limit only in part, as a real full disk does. Writes
// anywhere else pass untouched.
//
// A real small file system (a tmpfs) cannot do this for a file smaller than
// its page: the file's first page is taken when the file is made, so it never
// fills in the middle of a few hundred bytes of log.
//
// It wraps write(2) and writev(2), through which the C++ streams write; the
// target of each descriptor is read from /proc/self/fd.
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);
using WritevFunction = ssize_t (*)(int, const struct iovec*, int);

WriteFunction realWrite() {
    static const auto real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
    return real;
}

WritevFunction realWritev() {
    static const auto real = reinterpret_cast<WritevFunction>(dlsym(RTLD_NEXT, "writev"));
    return real;
}

std::atomic<size_t> g_written{0};

size_t limit() {
    static const size_t bytes = [] {
        const char* text = std::getenv("DISK_FULL_AFTER");
        return text ? static_cast<size_t>(std::strtoull(text, nullptr, 10)) : 0;
    }();
    return bytes;
}

bool onTheFullDisk(int descriptor) {
    const char* directory = std::getenv("DISK_FULL_DIR");
    if (!directory || !*directory) return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    char target[PATH_MAX];
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0) return false;
    target[length] = '\0';
    const size_t prefix = std::strlen(directory);
    return std::strncmp(target, directory, prefix) == 0 && target[prefix] == '/';
}

// How many of `wanted` bytes still fit, taken from what is left; 0 sets ENOSPC.
size_t takeRoom(size_t wanted) {
    size_t used = g_written.load();
    for (;;) {
        const size_t room = used < limit() ? limit() - used : 0;
        const size_t granted = wanted < room ? wanted : room;
        if (g_written.compare_exchange_weak(used, used + granted)) {
            if (granted == 0 && wanted > 0) errno = ENOSPC;
            return granted;
        }
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ssize_t write(int fd, const void* buffer, size_t count) {
    if (!onTheFullDisk(fd)) return realWrite()(fd, buffer, count);
    const size_t granted = takeRoom(count);
    if (granted == 0 && count > 0) return -1;
    return realWrite()(fd, buffer, granted);
}

extern "C" __attribute__((visibility("default"))) ssize_t writev(int fd, const struct iovec* parts, int count) {
    if (!onTheFullDisk(fd) || count < 0) return realWritev()(fd, parts, count);
    size_t wanted = 0;
    for (int i = 0; i < count; ++i) wanted += parts[i].iov_len;
    size_t granted = takeRoom(wanted);
    if (granted == 0 && wanted > 0) return -1;
    // The parts cut to what fits.
    std::vector<struct iovec> fitting;
    for (int i = 0; i < count && granted > 0; ++i) {
        const size_t length = parts[i].iov_len < granted ? parts[i].iov_len : granted;
        fitting.push_back({parts[i].iov_base, length});
        granted -= length;
    }
    return realWritev()(fd, fitting.data(), static_cast<int>(fitting.size()));
}
