// The 256-bit vector instructions, for the few loops that gain from them:
// compiled in on x86 with GCC or Clang, and used only where the processor
// running the program has them.
#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define WH_WIDE_VECTORS 1
#include <immintrin.h>
#endif

namespace wh {
namespace detail {

// Whether the wider instructions may be used where the processor has them
// (true); tests turn it off to hold the narrower paths to the same pixels.
extern bool wide_vectors;

// Whether to use them now: allowed, and the processor has them.
bool WideVectors();

}  // namespace detail
}  // namespace wh
