// Text density per monitor, and which monitor a window belongs to.
#include <gtest/gtest.h>

#include <vector>

// After GoogleTest: Xlib's macros (None, Bool) would break its templates.
#include "platform/x11/monitors.h"

namespace wh::x11 {
namespace {

Monitor Mon(int w, int h, int mm_w, int mm_h, int x = 0) { return {x, 0, w, h, mm_w, mm_h, false}; }

TEST(TextDpi, FollowsEachMonitorsSizeOrTheUsersChoiceAndDistrustsMadeUpSizes) {
  const Monitor uhd27 = Mon(3840, 2160, 597, 336);  // 163 dpi
  const Monitor fhd24 = Mon(1920, 1080, 531, 299);  // 92 dpi
  struct Case {
    const char* what;
    const char* xft;
    Monitor m;
    double dpi;
  } cases[] = {
      {"a 4K 27-inch monitor", nullptr, uhd27, 163.4},
      {"a 4K 13-inch laptop", nullptr, Mon(3840, 2160, 294, 165), 331.9},
      {"below 96 dpi: the designed size", nullptr, fhd24, 96},
      {"a nested server's made-up size", nullptr, Mon(640, 480, 400, 300), 96},
      {"turned, its size given as mounted", nullptr, Mon(2160, 3840, 597, 336), 163.4},
      {"turned, its size given as built", nullptr, Mon(2160, 3840, 336, 597), 163.4},
      {"no size", nullptr, Mon(1920, 1080, 0, 0), 96},
      {"one side unknown", nullptr, Mon(3840, 2160, 597, 0), 96},
      {"aspect ratio in mm", nullptr, Mon(1920, 1080, 16, 9), 96},
      {"aspect ratio in cm", nullptr, Mon(1920, 1080, 160, 90), 96},
      {"aspect ratio 16:10 in cm", nullptr, Mon(1920, 1200, 160, 100), 96},
      {"aspect ratio, turned", nullptr, Mon(2160, 3840, 90, 160), 96},
      {"aspect ratio times a hundred", nullptr, Mon(3840, 2160, 1600, 900), 96},
      {"a side of fancy", nullptr, Mon(3840, 2160, 597, 40), 96},
      {"Xft.dpi holds for every monitor", "120", fhd24, 120},
      {"Xft.dpi holds for a dense monitor too", "120", uhd27, 120},
      {"Xft.dpi with a fraction", "144.5", fhd24, 144.5},
      {"Xft.dpi below 96", "72", uhd27, 96},
      {"Xft.dpi of nonsense", "lots", uhd27, 163.4},
      {"Xft.dpi of zero", "0", uhd27, 163.4},
      {"Xft.dpi out of reach", "9600", uhd27, 163.4},
  };
  for (const Case& c : cases) EXPECT_NEAR(TextDpi(c.xft, c.m), c.dpi, 0.1) << c.what;
}

TEST(MonitorOf, TheMonitorThatShowsMostOfTheWindow) {
  const std::vector<Monitor> mons = {Mon(1920, 1080, 0, 0), Mon(3840, 2160, 0, 0, 1920)};
  EXPECT_EQ(MonitorOf(mons, 2000, 100, 640, 480).x, 1920);
  EXPECT_EQ(MonitorOf(mons, 1800, 100, 640, 480).x, 1920);  // across the seam, mostly right
  EXPECT_EQ(MonitorOf(mons, 1500, 100, 640, 480).x, 0);
  EXPECT_EQ(MonitorOf(mons, 0, 0, 5760, 2160).x, 1920);  // the root window: the larger part
  EXPECT_EQ(MonitorOf(mons, -900, -900, 100, 100).x, 0);  // on none: the primary one
}

}  // namespace
}  // namespace wh::x11
