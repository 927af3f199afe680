// Whether the tests run under AddressSanitizer (gcc and clang say it
// differently), and the heap as the allocator in use counts it.
#pragma once

#include <malloc.h>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define WH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WH_ASAN 1
#endif
#endif

#if defined(WH_ASAN)
// The sanitizer's allocator keeps its own books (its header is not always installed).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace wh::testing {

// Bytes the program holds on the heap now.
inline size_t HeapInUse() {
#if defined(WH_ASAN)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
#endif
}

}  // namespace wh::testing
