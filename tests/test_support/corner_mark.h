// Whether a scene is on screen: the program's corner mark sits in its
// bottom-right corner once the scene is composed, and a scene has many
// colours where an empty screen has one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "gfx/image.h"
#include "gfx/resources.h"

namespace wh::testing {

// Whether the corner mark sits with its bottom-right corner at (right,
// bottom) of `img`, pixel for pixel as the saver makes it for `times` the
// usual density (a few snowflakes falling over it aside; 1.5 for 144 dpi).
// At another size it does not match.
inline bool MarkAt(const wh::Image& img, int right, int bottom, double times = 1) {
  constexpr int kMark = 301;  // the program's mark, 130 x 18 pixels at 96 dpi
  const wh::Picture mark =
      times == 1 ? wh::LoadResPicture(kMark)
                 : wh::LoadResPictureSized(kMark, static_cast<int>(130 * times + 0.5),
                                           static_cast<int>(18 * times + 0.5));
  if (!mark || right < mark->width || bottom < mark->height || right > img.width ||
      bottom > img.height)
    return false;
  long same = 0;
  for (int y = 0; y < mark->height; ++y)
    for (int x = 0; x < mark->width; ++x)
      same += ((img.at(right - mark->width + x, bottom - mark->height + y) ^ mark->at(x, y)) &
               0xFFFFFF) == 0;
  return same >= mark->width * mark->height * 9 / 10;
}

// Distinct colours among every 7th pixel, up to 64: a screen of one colour
// (a compositor's background) has 1, a scene dozens.
inline size_t Colours(const wh::Image& img) {
  std::vector<uint32_t> seen;
  for (size_t i = 0; i < img.px.size() && seen.size() < 64; i += 7) {
    const uint32_t c = img.px[i] & 0xFFFFFF;
    if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
  }
  return seen.size();
}

}  // namespace wh::testing
