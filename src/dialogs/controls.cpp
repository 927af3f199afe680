#include "dialogs/controls.h"

#include <algorithm>
#include <cmath>

namespace wh::dialogs {

int Scrolled(const ScrollRange& bar, int value, ScrollAction action) {
  switch (action) {
    case ScrollAction::kLineUp:
      value -= bar.small_change;
      break;
    case ScrollAction::kLineDown:
      value += bar.small_change;
      break;
    case ScrollAction::kPageUp:
      value -= bar.large_change;
      break;
    case ScrollAction::kPageDown:
      value += bar.large_change;
      break;
    case ScrollAction::kTop:
      value = bar.min;
      break;
    case ScrollAction::kBottom:
      value = bar.max;
      break;
  }
  return std::clamp(value, bar.min, bar.max);
}

int WheelNotches::Add(double notches) {
  if ((notches > 0 && pending_ < 0) || (notches < 0 && pending_ > 0)) pending_ = 0;
  pending_ += notches;
  // Tenths of a notch must add up to one.
  const double whole = std::trunc(pending_ + std::copysign(1e-9, pending_));
  pending_ -= whole;
  return static_cast<int>(whole);
}

}  // namespace wh::dialogs
