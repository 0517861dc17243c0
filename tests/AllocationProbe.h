#pragma once

// Records the largest single heap request made while a probe is alive, so a test can tell that
// a hostile file was refused before anything its size cannot justify was allocated. It wraps
// glibc's allocator (operator new and Qt's containers both end in malloc); include it in one
// file of a test program only. Under AddressSanitizer, which owns malloc, it is unavailable.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>

namespace AllocationProbe {
inline std::atomic<bool> Recording{false};
inline std::atomic<std::size_t> LargestRequest{0};

inline void Note(std::size_t size) {
    if (!Recording.load(std::memory_order_relaxed))
        return;
    std::size_t seen = LargestRequest.load(std::memory_order_relaxed);
    while (size > seen && !LargestRequest.compare_exchange_weak(seen, size))
        ;
}

#if defined(__SANITIZE_ADDRESS__) || !defined(__GLIBC__)
inline constexpr bool Available = false;
#else
inline constexpr bool Available = true;
#endif

// Scope of a measurement.
class Probe {
public:
    Probe() {
        LargestRequest = 0;
        Recording = true;
    }
    ~Probe() { Recording = false; }
    std::size_t Largest() const { return LargestRequest; }
};
} // namespace AllocationProbe

#if !defined(__SANITIZE_ADDRESS__) && defined(__GLIBC__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size) noexcept {
    AllocationProbe::Note(size);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    AllocationProbe::Note(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) noexcept {
    AllocationProbe::Note(size);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) noexcept {
    __libc_free(pointer);
}
}
#endif
