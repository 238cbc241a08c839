// Replaces the global allocation functions of a program so that heap
// allocations made through operator new can be counted and the largest request
// seen (the benchmarks, the tests that no frame allocates and that no reader
// sizes memory from a count the file cannot back). Include it in exactly one source file of a
// program.
//
// Every replaceable form that the program (or a library it loads) may pair is
// replaced, all over malloc and free: were only some forms ours, memory taken
// by the sanitizer's operator new(nothrow) could reach our operator delete and
// be reported as a mismatch. Aligned forms are left alone; they pair among
// themselves.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace counting_new {
inline std::atomic<bool> enabled{false};
inline std::atomic<long> allocations{0};
inline std::atomic<std::size_t> largest{0};

inline void noteRequest(std::size_t size) noexcept {
    ++allocations;
    std::size_t seen = largest.load();
    while (size > seen && !largest.compare_exchange_weak(seen, size)) {
    }
}

inline void* allocate(std::size_t size) noexcept {
    if (enabled) noteRequest(size);
    return std::malloc(size ? size : 1);
}

inline void* allocateOrThrow(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
}  // namespace counting_new

void* operator new(std::size_t size) { return counting_new::allocateOrThrow(size); }
void* operator new[](std::size_t size) { return counting_new::allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counting_new::allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counting_new::allocate(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
