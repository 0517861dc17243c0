#pragma once

// The largest heap request made while a Probe lives, so a test can tell that a hostile file was
// refused before anything its size cannot justify was allocated. It wraps glibc's malloc, where
// operator new and Qt's containers end; include it in one file of a program. Under
// AddressSanitizer, which owns malloc, it sees nothing and reports 0.

#include <atomic>
#include <cstddef>

namespace AllocationProbe {
inline std::atomic<bool> Recording{false};
inline std::atomic<std::size_t> LargestRequest{0};
inline void Note(std::size_t size) {
    if (Recording && size > LargestRequest)
        LargestRequest = size;
}
struct Probe {
    Probe() { LargestRequest = 0, Recording = true; }
    ~Probe() { Recording = false; }
    std::size_t Largest() const { return LargestRequest; }
};
} // namespace AllocationProbe

#if !defined(__SANITIZE_ADDRESS__) && defined(__GLIBC__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
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
}
#endif
