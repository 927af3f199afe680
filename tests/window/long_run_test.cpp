// The saver left running for days on a machine whose millisecond counter
// passes 2^31 (24.9 days of uptime) and wraps to 0 (49.7 days): headless, on
// a small screen, with the clock moved by the frame interval at every tick.
// Any run-time error would end the saver (it runs in saver mode), so running
// to the end means no error; the restarts must keep their period, the
// aeroplane must keep coming, and memory must stay flat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "animation/animation.h"
#include "common/random.h"
#include "gfx/resources.h"
#include "platform/headless/headless_host.h"
#include "startup/saver.h"
#include "startup/settings.h"
#include "test_form.h"
#include "test_support/sanitizers.h"
#include "window/saver_window.h"

namespace wh::testing {
namespace {

// How long each run lasts: a day, or what $WH_LONG_RUN_HOURS says (the
// sanitizer build, many times slower, runs two hours).
int64_t RunLength() {
  const char* hours = std::getenv("WH_LONG_RUN_HOURS");
  const int h = hours ? std::atoi(hours) : 0;
  return (h > 0 ? h : 24) * 3600 * int64_t{1000};
}

class LongRun : public WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    // The date line asks for the local time every tick; with a zone given
    // in the environment the C library does not look for its file each time.
    if (const char* tz = std::getenv("TZ")) old_tz_ = tz;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    if (old_tz_)
      setenv("TZ", old_tz_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    WithFakeSystem::TearDown();
  }
  // Runs the saver for RunLength() around the clock's `wrap`.
  void Day(int width, int height, float cloud_speed, bool restart, int64_t wrap) {
    SaverSettings = DefaultSettings();
    // Little snow in small flakes keeps the days quick; the clock, the
    // restarts and the clouds are what this is about.
    SaverSettings.maxFl = 22;
    SaverSettings.Size = 2.08f;
    SaverSettings.SpeedS = cloud_speed;
    SaverSettings.Restart = restart ? 1 : 0;
    minFl = 11;
    SaverMode = true;  // an error would end the saver: the test with it
    SeedRandom(2026);

    std::vector<int64_t> restarts, planes;  // the uptime at each
    size_t heap_settled = 0, heap_most = 0;
    const int64_t start = wrap - RunLength() / 2;
    int64_t uptime = start;
    HeadlessHost host;
    host.keep_frames = false;
    SaverWindow frm(&host);
    frm.load_picture = [&](int id) {
      if (id == 221) planes.push_back(uptime);
      return LoadResPicture(id);
    };
    frm.anim.tick_count = [&] { return Ticks(uptime); };
    frm.form.SetSize(width, height);
    frm.Form_Load();
    const int64_t interval = frm.tmrAnimation.Interval.value();
    EXPECT_EQ(interval, 40) << "the default speed";
    frm.Form_Resize();
    uint64_t presents = host.presents;

    const int64_t hour = 3600 * 1000;
    for (int64_t next_sample = start + hour; uptime < start + RunLength();) {
      if (frm.tmrAnimation.Enabled) {
        const uint64_t before = host.presents;
        frm.tmrAnimation_Timer();
        // A restart presents the stages of the new scene too.
        if (host.presents > before + 1) restarts.push_back(uptime);
      }
      uptime += interval;
      if (uptime >= next_sample) {
        next_sample += hour;
        const size_t heap = HeapInUse();
        if (heap_settled == 0) heap_settled = heap;
        heap_most = std::max(heap_most, heap);
      }
    }
    EXPECT_GT(host.presents, presents);
    SaverMode = false;
    EXPECT_EQ(Protocols(), 0);
    // A new scene every 600 s (and the first tick after them), on either
    // side of the wrap.
    if (restart) {
      ASSERT_GE(restarts.size(), static_cast<size_t>(RunLength() / 600040 - 1));
      for (size_t i = 1; i < restarts.size(); ++i)
        ASSERT_EQ(restarts[i] - restarts[i - 1], 600040) << "restart " << i;
      EXPECT_LT(restarts.front(), wrap);
      EXPECT_GT(restarts.back(), wrap);
    } else {
      EXPECT_TRUE(restarts.empty());
    }
    // Aeroplanes on either side too, never two within five minutes.
    ASSERT_GE(planes.size(), 2u);
    EXPECT_LT(planes.front(), wrap);
    EXPECT_GT(planes.back(), wrap);
    for (size_t i = 1; i < planes.size(); ++i) EXPECT_GE(planes[i] - planes[i - 1], kPlanePauseMs);
    EXPECT_LT(heap_most - heap_settled, 8u << 20) << "flat memory";
  }

  std::optional<std::string> old_tz_;
};

TEST_F(LongRun, ADayAcrossTwoToThe31WithRestartsOnTime) {
  Day(64, 48, 0.53f, true, kWrap31);
}

// Restart off: the cloud counter is never reset by a new scene; on a narrow
// screen the slowest band still wraps before it overflows.
TEST_F(LongRun, ADayAcrossTheWrapToZeroWithoutRestartsAndTheSlowestClouds) {
  Day(32, 96, 0.04f, false, kWrap32);
}

}  // namespace
}  // namespace wh::testing
