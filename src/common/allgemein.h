// General helpers used everywhere: random integers and reals from a range,
// and splitting a colour into its components.
#pragma once

#include <cstdint>

#include "common/numeric.h"

namespace wh {

// Uniform random integer in [a, b] (one draw, always taken first). A range
// wider than 32767 integers overflows.
Int16 Zz(Int16 a, Int16 b);

// Uniform random real in [a, b) (one draw); the final rounding to single
// precision can give b itself.
float ZzR(float a, float b);

// Splits a 0x00BBGGRR colour into red, green and blue. For -1 (the value a
// pixel read outside a picture gives) the parts are -1, 256 and -1.
void ConvRGB(int32_t colour, Int16& r, Int16& g, Int16& b);

// Builds a 0x00BBGGRR colour; a component above 255 counts as 255.
int32_t RGB(int r, int g, int b);

}  // namespace wh
