// Integer widths are part of the program's behaviour: plain integers are
// 16-bit, long integers 32-bit, and arithmetic that leaves the range raises
// "Overflow" instead of wrapping. Reals become integers by rounding half to
// even unless a floor is asked for.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "common/runtime_error.h"

namespace wh {

namespace detail {
template <typename T>
constexpr T CheckedNarrow(long long v) {
  if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) Raise(kErrOverflow);
  return static_cast<T>(v);
}
}  // namespace detail

// A signed integer of a fixed width whose arithmetic is overflow-checked.
// Mixing it with a plain C++ integer keeps its width (the plain value must fit);
// mixing two widths gives the wider one; mixing it with a real gives a double.
// Division is deliberately absent: use IntDiv for integer division or convert
// to double for a real quotient.
template <typename T>
class Checked {
  static_assert(std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t>);

 public:
  using value_type = T;

  constexpr Checked() = default;
  template <typename I, std::enable_if_t<std::is_integral_v<I>, int> = 0>
  constexpr Checked(I v) : v_(detail::CheckedNarrow<T>(static_cast<long long>(v))) {}
  template <typename U>
  constexpr Checked(Checked<U> v) : v_(detail::CheckedNarrow<T>(v.value())) {}

  constexpr T value() const { return v_; }
  constexpr operator T() const { return v_; }

  Checked& operator+=(Checked o) { return *this = *this + o; }
  Checked& operator-=(Checked o) { return *this = *this - o; }
  Checked& operator*=(Checked o) { return *this = *this * o; }
  Checked& operator++() { return *this += Checked(1); }
  Checked& operator--() { return *this -= Checked(1); }
  Checked operator++(int) {
    Checked old = *this;
    ++*this;
    return old;
  }
  Checked operator--(int) {
    Checked old = *this;
    --*this;
    return old;
  }
  Checked operator-() const { return Checked(-static_cast<long long>(v_)); }

  friend Checked operator+(Checked a, Checked b) {
    return Checked(static_cast<long long>(a.v_) + b.v_);
  }
  friend Checked operator-(Checked a, Checked b) {
    return Checked(static_cast<long long>(a.v_) - b.v_);
  }
  friend Checked operator*(Checked a, Checked b) {
    return Checked(static_cast<long long>(a.v_) * b.v_);
  }

 private:
  T v_ = 0;
};

using Int16 = Checked<int16_t>;
using Int32 = Checked<int32_t>;

template <typename A, typename B>
using WiderOf = Checked<std::conditional_t<(sizeof(A) >= sizeof(B)), A, B>>;

// Two different widths: computed in the wider one.
template <typename A, typename B, std::enable_if_t<!std::is_same_v<A, B>, int> = 0>
WiderOf<A, B> operator+(Checked<A> a, Checked<B> b) {
  return WiderOf<A, B>(a) + WiderOf<A, B>(b);
}
template <typename A, typename B, std::enable_if_t<!std::is_same_v<A, B>, int> = 0>
WiderOf<A, B> operator-(Checked<A> a, Checked<B> b) {
  return WiderOf<A, B>(a) - WiderOf<A, B>(b);
}
template <typename A, typename B, std::enable_if_t<!std::is_same_v<A, B>, int> = 0>
WiderOf<A, B> operator*(Checked<A> a, Checked<B> b) {
  return WiderOf<A, B>(a) * WiderOf<A, B>(b);
}

// With a plain integer: the result keeps the checked type's width.
#define WH_CHECKED_INT_OP(op)                                                     \
  template <typename T, typename I, std::enable_if_t<std::is_integral_v<I>, int> = 0> \
  Checked<T> operator op(Checked<T> a, I b) {                                     \
    return a op Checked<T>(b);                                                    \
  }                                                                               \
  template <typename T, typename I, std::enable_if_t<std::is_integral_v<I>, int> = 0> \
  Checked<T> operator op(I a, Checked<T> b) {                                     \
    return Checked<T>(a) op b;                                                    \
  }
WH_CHECKED_INT_OP(+)
WH_CHECKED_INT_OP(-)
WH_CHECKED_INT_OP(*)
#undef WH_CHECKED_INT_OP

// With a real: computed in double precision.
#define WH_CHECKED_REAL_OP(op)                                                          \
  template <typename T, typename F, std::enable_if_t<std::is_floating_point_v<F>, int> = 0> \
  double operator op(Checked<T> a, F b) {                                               \
    return static_cast<double>(a.value()) op static_cast<double>(b);                   \
  }                                                                                     \
  template <typename T, typename F, std::enable_if_t<std::is_floating_point_v<F>, int> = 0> \
  double operator op(F a, Checked<T> b) {                                               \
    return static_cast<double>(a) op static_cast<double>(b.value());                   \
  }
WH_CHECKED_REAL_OP(+)
WH_CHECKED_REAL_OP(-)
WH_CHECKED_REAL_OP(*)
WH_CHECKED_REAL_OP(/)
#undef WH_CHECKED_REAL_OP

// Integer division would silently truncate; ask for it by name.
template <typename A, typename B>
void operator/(Checked<A>, Checked<B>) = delete;
template <typename T, typename I, std::enable_if_t<std::is_integral_v<I>, int> = 0>
void operator/(Checked<T>, I) = delete;
template <typename T, typename I, std::enable_if_t<std::is_integral_v<I>, int> = 0>
void operator/(I, Checked<T>) = delete;

// Integer division truncating towards zero; a zero divisor is "Division by zero".
template <typename T>
Checked<T> IntDiv(Checked<T> a, Checked<T> b) {
  if (b.value() == 0) Raise(kErrDivisionByZero);
  return Checked<T>(static_cast<long long>(a.value()) / b.value());
}

// Rounds to the nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double v);

// Real -> integer with rounding half to even; out of range (or not a number)
// raises "Overflow".
Int16 Round16(double v);
Int32 Round32(double v);
// Real -> integer rounding down.
Int16 Floor16(double v);
Int32 Floor32(double v);

// Real division: a zero divisor is "Division by zero", as for the integers.
double Divide(double a, double b);

// An array with fixed inclusive bounds whose indexing is range-checked:
// an index outside Lo..Hi raises "Subscript out of range".
template <typename T, long Lo, long Hi>
class FixedArray {
  static_assert(Lo <= Hi);

 public:
  static constexpr long kLower = Lo;
  static constexpr long kUpper = Hi;

  T& operator[](long i) { return items_[Index(i)]; }
  const T& operator[](long i) const { return items_[Index(i)]; }
  static constexpr long size() { return Hi - Lo + 1; }
  T* begin() { return items_; }
  T* end() { return items_ + size(); }
  const T* begin() const { return items_; }
  const T* end() const { return items_ + size(); }

 private:
  static long Index(long i) {
    if (i < Lo || i > Hi) Raise(kErrSubscript);
    return i - Lo;
  }
  T items_[Hi - Lo + 1] = {};
};

}  // namespace wh
