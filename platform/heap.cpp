#include "platform/heap.h"

#include <cstdio>
#include <cstdlib>

void* heap_allocate(std::size_t n) {
  // At least one byte is asked for, so that a null answer always means exhaustion.
  void* block = std::malloc(n == 0 ? 1 : n);
  if (block == nullptr) {
    std::fprintf(stderr, "Out of memory: %lu bytes could not be allocated\n",
                 static_cast<unsigned long>(n));
    std::exit(heap_exhausted_exit_code);
  }
  return block;
}
