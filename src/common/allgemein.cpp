#include "common/allgemein.h"

#include <cmath>

#include "common/random.h"
#include "errors/trap.h"

namespace wh {

Int16 Zz(Int16 a, Int16 b) {
  Trap trap("Allgemein", "Zz");
  Int16 result = 0;
  float r = 0;
  Int16 n = 0;
  trap([&] { r = Rnd(); }) &&
      trap([&] { n = b - a + 1; }) &&
      trap([&] { result = Floor16(static_cast<double>(n) * r + static_cast<double>(a)); });
  return result;
}

float ZzR(float a, float b) {
  Trap trap("Allgemein", "ZzR");
  float result = 0;
  float r = 0;
  trap([&] { r = Rnd(); }) && trap([&] {
    double v = (static_cast<double>(b) - a) * r + a;
    if (!std::isfinite(v) || std::fabs(v) > 3.4028234663852886e38) Raise(kErrOverflow);
    result = static_cast<float>(v);
  });
  return result;
}

void ConvRGB(int32_t colour, Int16& r, Int16& g, Int16& b) {
  Trap trap("Allgemein", "ConvRGB");
  trap([&] { r = Int16(colour % 256); }) &&
      trap([&] { b = Floor16(colour / 65536.0); }) &&
      trap([&] {
        g = Round16((static_cast<double>(colour) - static_cast<double>(b) * 65536.0 - r) / 256.0);
      });
}

int32_t RGB(int r, int g, int b) {
  if (r < 0 || g < 0 || b < 0) Raise(kErrInvalidCall);
  if (r > 255) r = 255;
  if (g > 255) g = 255;
  if (b > 255) b = 255;
  return r | (g << 8) | (b << 16);
}

}  // namespace wh
