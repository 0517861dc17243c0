#pragma once

#include <cstddef>

// Asks the system to back a large buffer with huge pages where it can: a map of 4096 x 4096
// cells is 64 MiB, and faulting it in 4 KiB pages costs about as much as filling it. Only the
// whole huge pages inside the buffer are affected; small buffers and other systems are left
// alone. Purely a hint: the buffer's content and size do not change.
void AdviseLargePages(void* data, std::size_t bytes);
