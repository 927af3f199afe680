// A saver form on made-up pictures, for checking where the scene procedures
// draw. Every picture has the size of the real one; images are fully
// covered by their masks and carry their id and column in every pixel, so a
// pixel tells which picture and which column of it landed there.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../core/fake_system.h"
#include "common/allgemein.h"
#include "common/random.h"
#include "errors/err_scribe.h"
#include "gfx/canvas.h"
#include "platform/headless/headless_host.h"
#include "scene/frm_main.h"
#include "startup/settings.h"

namespace wh::testing {

struct PicSize {
  int w, h;
};

inline PicSize RealSize(int id) {
  if (id >= 101 && id <= 107) return {20, 480};
  if (id >= 111 && id <= 124) return {738, 119};
  if (id >= 131 && id <= 138) return {640, 100};
  if (id == 141 || id == 142) return {200, 250};
  if (id == 143 || id == 144) return {100, 500};
  if (id == 151 || id == 152) return {245, 500};
  if (id == 153 || id == 154) return {245, 100};
  if (id >= 161 && id <= 164) return {153, 115};
  if (id == 165 || id == 166) return {400, 28};
  if (id == 181 || id == 182) return {285, 300};
  if (id == 183) return {157, 74};
  return {0, 0};
}

// Sky strips: a colour per row, different for every scheme.
inline int32_t StripColour(int id, int row) {
  return RGB(row % 256, 40 + row / 8, 10 * (id - 100));
}
// Cloud bands and masked images: a colour per column, different per id.
inline int32_t ColumnColour(int id, int col) {
  return static_cast<int32_t>((col + 1) | ((id - 100) << 16));
}
constexpr int kShadowBlack = 1704;

inline bool IsShadowBlack(int x, int y) {
  // 1704 scattered pixels: k * 7919 mod (157 * 74) for k < 1704 never repeats.
  static const std::vector<bool> black = [] {
    std::vector<bool> b(157 * 74);
    for (int k = 0; k < kShadowBlack; ++k) b[k * 7919 % (157 * 74)] = true;
    return b;
  }();
  return black[y * 157 + x];
}

inline Picture MadeUpPicture(int id) {
  const PicSize s = RealSize(id);
  if (s.w == 0) return nullptr;
  auto img = std::make_shared<Image>(s.w, s.h);
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < s.w; ++x) {
      int32_t c;
      if (id <= 107)
        c = StripColour(id, y);
      else if (id <= 124)
        c = ColumnColour(id, x);
      else if (id == 183)
        c = IsShadowBlack(x, y) ? 0 : 0xFFFFFF;
      else if (id % 2 == 0)
        c = 0;  // masks: the whole picture is object
      else
        c = ColumnColour(id, x);
      img->at(x, y) = PixelFromColour(c);
    }
  return img;
}

// The same pictures every time, decoded once.
inline Picture CachedMadeUpPicture(int id) {
  static std::map<int, Picture> cache;
  auto it = cache.find(id);
  if (it != cache.end()) return it->second;
  return cache[id] = MadeUpPicture(id);
}

// FNV-1a over the size and the colour bits of every pixel.
inline uint64_t PixelHash(const Image& img) {
  uint64_t h = 1469598103934665603ULL;
  auto mix = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 1099511628211ULL;
    }
  };
  mix(img.width);
  mix(img.height);
  for (uint32_t p : img.px) mix(p & 0xFFFFFF);
  return h;
}

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys_.exe_path = dir_.path() + "/winterhollow";
    platform::SetSystem(&sys_);
    ErrScribe::Instance().Reset();
    SetSettingsStore(&store_);
    LoadConfig();
    Restart(1, 1024, 768);
  }
  void TearDown() override {
    EXPECT_EQ(sys_.beeps, 0) << "a run-time error was reported:\n"
                             << ReadFile(dir_.path() + "/winterhollow.FLG");
    frm_.reset();
    SetSettingsStore(nullptr);
    platform::SetSystem(nullptr);
  }

  // A setting as the store holds it, then loaded.
  void Set(const std::string& key, const std::string& value) {
    store_.Save(kAppName, kSettingsSection, key, value);
    LoadConfig();
  }
  // A fresh form (as the saver has for its first scene) and a fresh seed.
  // Without sizes the form keeps the size it had.
  void Restart(uint64_t seed, int width = 0, int height = 0) {
    if (frm_ && width == 0) {
      width = frm_->form.ScaleWidth();
      height = frm_->form.ScaleHeight();
    }
    frm_ = std::make_unique<FrmMain>(&host_);
    frm_->load_picture = [this](int id) {
      loads_.push_back(id);
      return CachedMadeUpPicture(id);
    };
    frm_->load_picture_at = nullptr;  // grown from the made-up ones
    frm_->on_draw = [this](const SceneDraw& d) { draws_.push_back(d); };
    frm_->form.SetSize(width, height);
    draws_.clear();
    loads_.clear();
    host_.frames.clear();
    SeedRandom(seed);
  }
  // picBG as BuildBG prepares it: 640 x 480, all white.
  void WhiteScene() {
    frm_->picBG.SetSize(640, 480);
    frm_->picBG.BackColor = 0xFFFFFF;
    frm_->picBG.Cls();
  }
  std::vector<SceneDraw> DrawsOf(const char* proc, int pic_id = -1) const {
    std::vector<SceneDraw> out;
    for (const auto& d : draws_)
      if (std::string(d.procedure) == proc && (pic_id < 0 || d.pic_id == pic_id)) out.push_back(d);
    return out;
  }

  TempDir dir_;
  FakeSystem sys_;
  MemorySettingsStore store_;
  HeadlessHost host_;
  std::unique_ptr<FrmMain> frm_;
  std::vector<SceneDraw> draws_;
  std::vector<int> loads_;
};

}  // namespace wh::testing
