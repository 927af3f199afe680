// The monitors a saver covers, their text density, and the heads that
// follow monitors coming, going and changing.
#include "window/monitors.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_form.h"
#include "window/saver_window.h"

namespace wh::testing {
namespace {

Monitor Mon(int w, int h, int mm_w = 0, int mm_h = 0, int x = 0, int y = 0,
            std::string name = "", bool primary = false) {
  Monitor m;
  m.x = x;
  m.y = y;
  m.width = w;
  m.height = h;
  m.mm_width = mm_w;
  m.mm_height = mm_h;
  m.name = std::move(name);
  m.primary = primary;
  return m;
}

TEST(TextDpi, FollowsEachMonitorsSizeOrTheUsersChoiceAndDistrustsMadeUpSizes) {
  const Monitor uhd27 = Mon(3840, 2160, 597, 336);  // 163 dpi
  const Monitor fhd24 = Mon(1920, 1080, 531, 299);  // 92 dpi
  struct Case {
    const char* what;
    const char* user;
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
      {"the user's choice holds for every monitor", "120", fhd24, 120},
      {"the user's choice holds for a dense monitor too", "120", uhd27, 120},
      {"a choice with a fraction", "144.5", fhd24, 144.5},
      {"a choice below 96", "72", uhd27, 96},
      {"a choice of nonsense", "lots", uhd27, 163.4},
      {"a choice of zero", "0", uhd27, 163.4},
      {"a choice out of reach", "9600", uhd27, 163.4},
  };
  for (const Case& c : cases) EXPECT_NEAR(TextDpi(ParseDpi(c.user), c.m), c.dpi, 0.1) << c.what;
}

TEST(MonitorOf, TheMonitorThatShowsMostOfTheWindow) {
  const std::vector<Monitor> mons = {Mon(1920, 1080), Mon(3840, 2160, 0, 0, 1920)};
  EXPECT_EQ(MonitorOf(mons, 2000, 100, 640, 480).x, 1920);
  EXPECT_EQ(MonitorOf(mons, 1800, 100, 640, 480).x, 1920);  // across the seam, mostly right
  EXPECT_EQ(MonitorOf(mons, 1500, 100, 640, 480).x, 0);
  EXPECT_EQ(MonitorOf(mons, 0, 0, 5760, 2160).x, 1920);  // the root window: the larger part
  EXPECT_EQ(MonitorOf(mons, -900, -900, 100, 100).x, 0);  // on none: the primary one
}

// Each arrangement as "x,y,w,h" per monitor, the primary one marked *.
std::string Describe(const std::vector<Monitor>& mons) {
  std::string out;
  for (const Monitor& m : mons)
    out += (m.primary ? "*" : "") + std::to_string(m.x) + "," + std::to_string(m.y) + "," +
           std::to_string(m.width) + "x" + std::to_string(m.height) + " ";
  return out;
}

TEST(ArrangeMonitors, ClonesOnceSpanningOnesDroppedPrimaryFirstThenLeftToRight) {
  const struct {
    const char* what;
    std::vector<Monitor> in;
    const char* out;
  } cases[] = {
      {"left of the primary, at negative x",
       {Mon(1920, 1080, 0, 0, 0, 0, "A", true), Mon(960, 540, 0, 0, -960, 0, "B")},
       "*0,0,1920x1080 -960,0,960x540 "},
      {"no primary named: the leftmost, then by rows",
       {Mon(100, 100, 0, 0, 100, 0), Mon(100, 100, 0, 0, 0, 100), Mon(100, 100, 0, 0, 0, 0)},
       "*0,0,100x100 0,100,100x100 100,0,100x100 "},
      {"a clone is one monitor, the primary one kept",
       {Mon(800, 600, 0, 0, 0, 0, "A"), Mon(800, 600, 0, 0, 0, 0, "B", true)}, "*0,0,800x600 "},
      {"a monitor spanning two others is not one of its own",
       {Mon(1600, 600, 0, 0, 0, 0, "span", true), Mon(800, 600, 0, 0, 0, 0, "L"),
        Mon(800, 600, 0, 0, 800, 0, "R")},
       "*0,0,800x600 800,0,800x600 "},
      {"an output without pixels is none", {Mon(0, 0), Mon(640, 480, 0, 0, 10, 0)},
       "*10,0,640x480 "},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(ArrangeMonitors(c.in)), c.out) << c.what;
}

TEST(MatchMonitors, ByNameWhereTheSystemNamesThemElseByTheirCorner) {
  const std::vector<Monitor> abc = {Mon(800, 600, 0, 0, 0, 0, "A"), Mon(800, 600, 0, 0, 800, 0, "B"),
                                    Mon(800, 600, 0, 0, 1600, 0, "C")};
  // The middle one unplugged: the last keeps its head, the middle's goes.
  MonitorMatch m = MatchMonitors(abc, {abc[0], abc[2]});
  EXPECT_EQ(m.from, (std::vector<int>{0, 2}));
  EXPECT_EQ(m.gone, (std::vector<int>{1}));
  // Named ones are themselves wherever they went, and a new one is new.
  Monitor c_moved = abc[2], b_grown = abc[1], d = Mon(640, 480, 0, 0, 0, 0, "D");
  c_moved.x = -800;
  b_grown.width = 1024;
  m = MatchMonitors(abc, {c_moved, d, b_grown});
  EXPECT_EQ(m.from, (std::vector<int>{2, -1, 1}));
  EXPECT_EQ(m.gone, (std::vector<int>{0}));
  // Without names only the place tells them apart.
  const std::vector<Monitor> plain = {Mon(800, 600), Mon(800, 600, 0, 0, 800, 0)};
  m = MatchMonitors(plain, {Mon(1024, 768, 0, 0, 800, 0), Mon(640, 480, 0, 0, 0, 600)});
  EXPECT_EQ(m.from, (std::vector<int>{1, -1}));
  EXPECT_EQ(m.gone, (std::vector<int>{0}));
}

// A window system whose windows keep what they were shown.
class FakeLayer : public MonitorLayer {
 public:
  struct Window : MonitorHead, FormHost {
    explicit Window(FakeLayer& l) : layer(l), scene(this) {}
    SaverWindow& frm() override { return scene; }
    void SceneSize(int* w, int* h) const override {
      *w = at.width;
      *h = at.height;
    }
    void Show() override { shown = true; }
    void Cover(const Monitor& m) override {
      at = m;
      ++covers;
    }
    void Close() override { layer.log += "close " + at.name + "; "; }
    void PumpMessages() override {}
    void Present(const Canvas& c) override {
      sizes.push_back(std::to_string(c.image().width) + "x" + std::to_string(c.image().height));
    }
    FakeLayer& layer;
    SaverWindow scene;
    Monitor at;
    bool shown = false;
    int covers = 0;
    std::vector<std::string> sizes;  // of every frame presented
  };

  std::function<void(SaverWindow&)> prepare;
  std::string log;
  int changes = 0;
  std::vector<Window*> open;  // every window opened, in order

  std::unique_ptr<MonitorHead> Open(const Monitor& m) override {
    if (m.name == "broken") return nullptr;
    auto w = std::make_unique<Window>(*this);
    w->at = m;
    prepare(w->scene);
    log += "open " + m.name + "; ";
    open.push_back(w.get());
    return w;
  }
  void HeadsChanged() override { ++changes; }
};

class Heads : public WithForm {
 protected:
  void SetUp() override {
    WithForm::SetUp();
    SaverSettings.Wallpaper = 0;
    layer.prepare = [this](SaverWindow& w) { UseMadeUpPictures(w); };
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (const auto& h : heads.heads()) out.push_back(h->monitor().name);
    return out;
  }
  static FakeLayer::Window& W(MonitorHead* h) { return static_cast<FakeLayer::Window&>(*h); }
  FakeLayer layer;
  MonitorHeads heads{layer};
};

TEST_F(Heads, EachMonitorItsSceneAtItsSizeAndTheyFollowMonitorsThatComeGoAndChange) {
  const Monitor a = Mon(64, 48, 0, 0, 0, 0, "A", true), b = Mon(80, 60, 0, 0, -80, 0, "B");
  heads.Start({b, a, Mon(32, 24, 0, 0, 64, 0, "broken")});
  ASSERT_EQ(Names(), (std::vector<std::string>{"A", "B"}));  // the primary's scene first
  EXPECT_EQ(layer.changes, 1);
  for (const auto& h : heads.heads()) {
    EXPECT_TRUE(W(h.get()).shown);
    const Monitor& m = h->monitor();
    EXPECT_EQ(W(h.get()).sizes.back(), std::to_string(m.width) + "x" + std::to_string(m.height));
  }
  FakeLayer::Window& wa = W(heads.primary());
  FakeLayer::Window& wb = W(heads.heads()[1].get());

  EXPECT_FALSE(heads.Sync({a, b}));  // the same monitors: nothing to do
  EXPECT_EQ(layer.changes, 1);

  // A moves (no new scene), B grows (a new one at its size), C comes.
  Monitor a2 = a, b2 = b;
  a2.x = 80;
  b2.x = 0;
  b2.width = 96;
  const Monitor c = Mon(40, 30, 0, 0, 176, 0, "C");
  const size_t a_frames = wa.sizes.size();
  layer.log.clear();
  EXPECT_TRUE(heads.Sync({c, b2, a2}));
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(layer.log, "open C; ");
  EXPECT_EQ(wa.covers, 1);
  EXPECT_EQ(wa.at.x, 80);
  EXPECT_EQ(wa.sizes.size(), a_frames) << "a move alone keeps the scene";
  EXPECT_EQ(wb.covers, 1);
  EXPECT_EQ(wb.sizes.back(), "96x60");
  EXPECT_EQ(W(heads.heads()[2].get()).sizes.back(), "40x30");

  // A denser monitor is another scene too, at the same size.
  Monitor c2 = c;
  c2.dpi = 192;
  FakeLayer::Window& wc = W(heads.heads()[2].get());
  const size_t c_frames = wc.sizes.size();
  EXPECT_TRUE(heads.Sync({a2, b2, c2}));
  EXPECT_GT(wc.sizes.size(), c_frames);

  // The primary one unplugged: its window closes and B's scene is the
  // wallpaper's now.
  layer.log.clear();
  EXPECT_TRUE(heads.Sync({b2, c2}));
  EXPECT_EQ(layer.log, "close A; ");
  EXPECT_EQ(Names(), (std::vector<std::string>{"B", "C"}));
  EXPECT_TRUE(heads.primary()->monitor().primary);
  EXPECT_EQ(heads.primary(), &wb);
  EXPECT_EQ(layer.changes, 4);
}

}  // namespace
}  // namespace wh::testing
