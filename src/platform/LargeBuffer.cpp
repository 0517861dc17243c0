#include "platform/LargeBuffer.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void AdviseLargePages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t HugePage = std::uintptr_t(2) << 20;
    if (!data || bytes < 4 * HugePage)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(HugePage - 1);
    if (last > first)
        madvise(static_cast<char*>(data) + (first - begin), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
