// Text is set at the density of the monitor whose scene draws it. The text
// renderer is one for the process, so it is switched around every call into
// a scene, and switched back after (a scene being built lets the events of
// the other monitors' scenes run).
#pragma once

#include <functional>
#include <utility>

namespace wh {

class TextDensity {
 public:
  explicit TextDensity(double dpi) : previous_(current_) { Use(dpi); }
  ~TextDensity() {
    if (previous_ > 0) Use(previous_);
  }
  TextDensity(const TextDensity&) = delete;
  TextDensity& operator=(const TextDensity&) = delete;

  // Puts the text renderer at `dpi` from now on.
  static void Use(double dpi) {
    if (dpi == current_) return;
    current_ = dpi;
    if (switch_) switch_(dpi);
  }
  // How the platform puts its text renderer at a density; set once, first.
  static void SetSwitch(std::function<void(double dpi)> to) { switch_ = std::move(to); }

 private:
  static inline double current_ = 0;
  static inline std::function<void(double)> switch_;
  double previous_;
};

}  // namespace wh
