#pragma once

// Counts the heap in use, and its peak, at glibc's malloc, where operator new and Qt's
// containers end, at the allocator's usable size. Include it in one file of a program; it
// replaces malloc, calloc, realloc and free. Under AddressSanitizer, which owns malloc, it is
// left out and counts nothing.

#include <atomic>
#include <cstddef>

namespace HeapCounter {
inline std::atomic<long long> Live{0};
inline std::atomic<long long> Peak{0};
// Starts a new peak from what is in use now.
inline void ResetPeak() {
    Peak = Live.load();
}
} // namespace HeapCounter

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define KORVANE_HEAP_COUNTED 1
#include <malloc.h>

namespace HeapCounter {
inline void Grew(void* p) {
    if (!p)
        return;
    const long long now = Live += (long long)(malloc_usable_size(p));
    long long peak = Peak;
    while (now > peak && !Peak.compare_exchange_weak(peak, now)) {
    }
}
inline void Shrinks(void* p) {
    if (p)
        Live -= (long long)(malloc_usable_size(p));
}
} // namespace HeapCounter

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
void* malloc(std::size_t size) noexcept {
    void* p = __libc_malloc(size);
    HeapCounter::Grew(p);
    return p;
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    void* p = __libc_calloc(count, size);
    HeapCounter::Grew(p);
    return p;
}
void* realloc(void* pointer, std::size_t size) noexcept {
    HeapCounter::Shrinks(pointer);
    void* p = __libc_realloc(pointer, size);
    HeapCounter::Grew(p ? p : pointer);
    return p;
}
void free(void* pointer) noexcept {
    HeapCounter::Shrinks(pointer);
    __libc_free(pointer);
}
}
#endif
