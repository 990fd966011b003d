// Heap blocks for the platform layer and the support library. Heap exhaustion is not an error
// a caller can mend: the process ends with a message on standard error and exit code
// heap_exhausted_exit_code, through the normal exit path (buffered streams flushed).
#pragma once

#include <cstddef>

inline constexpr int heap_exhausted_exit_code = 3;

// A new block of n bytes (std::free), contents undefined; never null, also for n = 0.
void* heap_allocate(std::size_t n);
