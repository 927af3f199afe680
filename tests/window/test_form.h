// A saver form on made-up pictures: every resource id gives a picture of the
// size the real one has, coloured by its id, and every load is recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "../core/fake_system.h"
#include "common/random.h"
#include "gfx/canvas.h"
#include "gfx/text.h"
#include "scene/frm_main.h"
#include "startup/settings.h"

namespace wh::testing {

// Sheets are 80 wide with a colour per column (so mirroring shows), birds
// 80 x 390, the aeroplane 330 x 200; anything else a 64 x 48 block.
inline Picture MadeUpPicture(int id) {
  int w = 64, h = 48;
  if (id >= 201 && id <= 215) {
    w = 80;
    h = 390;
  } else if (id == 221 || id == 222) {
    w = 330;
    h = 200;
  }
  auto img = std::make_shared<Image>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img->at(x, y) = static_cast<uint32_t>(id << 12 | x);
  return img;
}

// v within lo .. hi, with v in the message when not.
inline ::testing::AssertionResult InRange(int64_t v, int64_t lo, int64_t hi) {
  if (v >= lo && v <= hi) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << v << " is not within " << lo << " .. " << hi;
}

// The tick counter as the machine gives it: milliseconds modulo 2^32, read
// as a signed value, so it passes 2^31 after 24.9 days and 0 after 49.7.
inline int32_t Ticks(int64_t ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}
constexpr int64_t kWrap31 = int64_t{1} << 31;
constexpr int64_t kWrap32 = int64_t{1} << 32;

// The text renderer's calls, for checking where and what is printed.
struct RecordingText : TextRenderer {
  struct Call {
    double x, y;
    std::string text;
    int32_t colour;
  };
  std::vector<Call> calls;
  void Draw(Image&, double x, double y, const std::string& t, const Font&, int32_t c) override {
    calls.push_back({x, y, t, c});
  }
  double LineHeight(const Font&) override { return 16; }
  double TextWidth(const std::string& t, const Font&) override { return 7.0 * t.size(); }
};

class WithForm : public WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    SaverSettings = DefaultSettings();
    minFl = 55;
    SeedRandom(12345);
    SetTextRenderer(&text);
  }
  void TearDown() override {
    SetTextRenderer(nullptr);
    WithFakeSystem::TearDown();
  }
  void UseMadeUpPictures(FrmMain& f) {
    f.load_picture = [this](int id) {
      loads.push_back(id);
      return MadeUpPicture(id);
    };
    f.load_picture_at = nullptr;  // grown from the made-up ones
  }
  // Every text is somewhere in the error log.
  void ExpectLogged(std::initializer_list<const char*> texts) {
    const std::string log = Log();
    for (const char* t : texts)
      EXPECT_NE(log.find(t), std::string::npos) << t << " not in:\n" << log;
  }
  std::vector<int> loads;
  RecordingText text;
};

}  // namespace wh::testing
