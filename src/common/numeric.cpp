#include "common/numeric.h"

namespace wh {

double RoundHalfEven(double v) {
  // The floating-point unit rounds to nearest, ties to even, unless told
  // otherwise, and nothing here tells it otherwise.
  return std::nearbyint(v);
}

namespace {
template <typename T>
Checked<T> FromWhole(double whole) {
  if (!(whole >= std::numeric_limits<T>::min() && whole <= std::numeric_limits<T>::max())) {
    Raise(kErrOverflow);
  }
  return Checked<T>(static_cast<T>(whole));
}
}  // namespace

Int16 Round16(double v) { return FromWhole<int16_t>(RoundHalfEven(v)); }
Int32 Round32(double v) { return FromWhole<int32_t>(RoundHalfEven(v)); }
Int16 Floor16(double v) { return FromWhole<int16_t>(std::floor(v)); }
Int32 Floor32(double v) { return FromWhole<int32_t>(std::floor(v)); }

double Divide(double a, double b) {
  if (b == 0.0) Raise(kErrDivisionByZero);
  return a / b;
}

}  // namespace wh
