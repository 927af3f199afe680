#include "window/saver_window.h"

#include <gtest/gtest.h>

#include "errors/trap.h"
#include "gfx/dib.h"
#include "test_form.h"
#include "window/frm_preview.h"
#include "window/wallpaper.h"

namespace wh::testing {
namespace {

struct CountingExit : ExitHost {
  int unloads = 0;
  void UnloadAll() override { ++unloads; }
};

// A window that keeps what it is shown; its message queue may hold one key
// press, delivered the `key_at`th time a build lets messages run.
struct KeptFrames : FormHost {
  SaverWindow* w = nullptr;
  int key_at = -1, pumps = 0;
  std::vector<Image> frames;
  void Present(const Canvas& c) override { frames.push_back(c.image()); }
  void PumpMessages() override {
    if (++pumps == key_at) w->Form_KeyDown(65, 0);
  }
};

class Window : public WithForm {
 protected:
  void SetUp() override {
    WithForm::SetUp();
    SetExitHost(&exits);
    SaverSettings.Wallpaper = 0;
  }
  // True when the call ended the saver.
  template <typename F>
  bool Ends(F&& f) {
    try {
      f();
    } catch (const ProcessEnded&) {
      return true;
    }
    return false;
  }
  SaverWindow w;
  CountingExit exits;
};

TEST_F(Window, AMouseJumpOfThreePixelsAndEveryButtonAndKeyEndTheSaver) {
  SaverMode = true;
  auto moved = [&](double x, double y) { return Ends([&] { w.Form_MouseMove(0, 0, x, y); }); };
  EXPECT_FALSE(moved(600, 400)) << "nothing recorded yet";
  EXPECT_FALSE(moved(601, 401));
  w.MausX = 0;
  w.MausY = 0;
  EXPECT_FALSE(moved(300, 200)) << "resting at (0, 0)";
  double x = 300, y = 200;
  for (int i = 0; i < 500; ++i) {
    x += (i % 2) ? 2 : 1;
    y += (i % 3 == 0) ? -2 : 1;
    ASSERT_FALSE(moved(x, y)) << "a slow drift, step " << i;
  }
  EXPECT_FALSE(moved(x + 2.9, y - 2.9));
  EXPECT_TRUE(moved(x + 2.9, y - 5.9)) << "3 pixels on one axis";
  EXPECT_TRUE(moved(x + 5.9, y - 2.9)) << "or on the other";
  EXPECT_EQ(exits.unloads, 2);
  EXPECT_TRUE(sys.cursor_shown);
  EXPECT_TRUE(Ends([&] { w.Form_MouseDown(1, 0, 5, 5); }));
  EXPECT_TRUE(Ends([&] { w.Form_Click(); }));
  EXPECT_TRUE(Ends([&] { w.Form_DblClick(); }));
  EXPECT_TRUE(Ends([&] { w.Form_KeyDown(16, 0); })) << "even shift";
  EXPECT_TRUE(Ends([&] { w.Form_KeyPress('a'); }));
  EXPECT_TRUE(Ends([&] { w.Form_Unload(); }));
  SaverMode = false;
  EXPECT_FALSE(Ends([&] { w.Form_KeyPress('a'); })) << "not in saver mode";
}

TEST_F(Window, LoadSetsTheFlakeCountAndTheFrameIntervalOrReportsABadSpeed) {
  SaverSettings.maxFl = 110;
  minFl = 55;
  const struct {
    float speed;
    int interval;
    const char* error;
  } cases[] = {
      {5, 40, nullptr},
      {0.1f, 2000, nullptr},
      {10, 20, nullptr},
      {1.6f, 125, nullptr},  // 125 ms exactly, no rounding needed
      {0, 0, "11 (Division by zero)"},
      {0.001f, 0, "380 (Invalid property value)"},  // 200000 ms: more than a timer takes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.speed);
    SaverWindow win;
    const int reports = Protocols();
    SaverSettings.Speed = c.speed;
    win.Form_Load();
    EXPECT_EQ(win.tmrAnimation.Interval, c.interval) << "a bad speed leaves the timer alone";
    EXPECT_FALSE(win.tmrAnimation.Enabled);
    EXPECT_TRUE(InRange(AnzFl, 55, 110));
    EXPECT_EQ(win.anim.Obj[21].Y, 50) << "the statements after a failing one still run";
    EXPECT_EQ(Protocols(), reports + (c.error ? 1 : 0));
    if (c.error) ExpectLogged({c.error, "Prozedur / procedure:\tForm_Load"});
  }
  // In the saver, a bad speed ends it.
  SaverMode = true;
  SaverSettings.Speed = 0;
  const int beeps = sys.beeps, reports = Protocols();
  EXPECT_TRUE(Ends([&] { w.Form_Load(); }));
  EXPECT_EQ(Protocols(), reports + 1);
  EXPECT_EQ(sys.beeps, beeps + 1);
}

TEST_F(Window, PreviewStretchesTheStillOverTheWholeWindow) {
  auto still = std::make_shared<Image>(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      still->at(x, y) = (x < 128 ? 0xFF0000u : 0x0000FFu) | (y < 96 ? 0x00FF00u : 0u);
  KeptFrames host;
  FrmPreview p(host, still);
  p.form.SetSize(200, 100);  // squeezed, nothing cut off
  p.Form_Resize();
  ASSERT_EQ(host.frames.size(), 1u);
  const Image& img = host.frames[0];
  EXPECT_EQ(img.at(0, 0), 0xFFFF00u);
  EXPECT_EQ(img.at(99, 49), 0xFFFF00u);
  EXPECT_EQ(img.at(100, 49), 0x00FFFFu);
  EXPECT_EQ(img.at(99, 50), 0xFF0000u);
  EXPECT_EQ(img.at(199, 99), 0x0000FFu);
  SaverMode = false;
  EXPECT_NO_THROW(p.Form_Unload());
}

TEST_F(Window, WallpaperIsTheSignedBackgroundWrittenWholeBesideTheProgramOrInTheDataFolder) {
  w.picBG.BackColor = 0x336699;
  w.picBG.SetSize(320, 200);
  w.picBG.Cls();
  const std::string path = SignAndSaveWallpaper(w);
  EXPECT_EQ(path, dir.path() + "/WinterHollow.bmp");
  ASSERT_EQ(text.calls.size(), 1u);
  EXPECT_EQ(text.calls[0].text, kNoticeLine);
  EXPECT_EQ(text.calls[0].x, 10);
  EXPECT_EQ(text.calls[0].y, 200 - 16 - 10) << "bottom edge 10 pixels above the picture's";
  EXPECT_EQ(text.calls[0].colour, 0x800000);
  EXPECT_EQ(LoadBmpFile(path), w.picBG.image());
  EXPECT_EQ(w.picBG.GetPicture()->width, 320) << "the signed picture is picBG's picture now";

  // A new picture that does not fit on the disk leaves the old one, whole.
  const std::string old_bytes = ReadFile(path);
  const std::string data = sys.state_dir + "/WinterHollow";
  ASSERT_EQ(std::system(("mkdir -p '" + data + "'").c_str()), 0);
  const std::vector<std::string> names = FolderNames(dir.path());
  w.picBG.BackColor = 0x112233;
  w.picBG.Cls();
  {
    FileSizeLimit full_disk(4096);
    EXPECT_THROW(SignAndSaveWallpaper(w), RuntimeError);
  }
  EXPECT_EQ(ReadFile(path), old_bytes) << "the old picture survives";
  EXPECT_EQ(FolderNames(dir.path()), names) << "no half-written file is left";
  EXPECT_EQ(FolderNames(data), std::vector<std::string>{});

  // A program folder that cannot take the file: the user's data folder does.
  auto block = [](const std::string& file) {
    return std::system(("rm '" + file + "' && mkdir '" + file + "'").c_str());
  };
  ASSERT_EQ(block(path), 0);
  EXPECT_EQ(SignAndSaveWallpaper(w), data + "/WinterHollow.bmp");
  // Neither: a run-time error for the caller's trap.
  ASSERT_EQ(block(data + "/WinterHollow.bmp"), 0);
  EXPECT_THROW(SignAndSaveWallpaper(w), RuntimeError);
  // No place at all (no home): nothing is written anywhere.
  sys.folders = std::vector<std::string>{};
  try {
    SignAndSaveWallpaper(w);
    ADD_FAILURE() << "nowhere to write must be an error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kErrPathNotFound);
  }
}

TEST_F(Window, AStartShowsEachStageBeforeItsMessagesRunThenScattersTheFlakesAndSlots) {
  KeptFrames host;
  SaverWindow sw(&host);
  host.w = &sw;
  sw.form.SetSize(800, 600);
  sw.Form_Load();
  sw.Form_Resize();
  EXPECT_GT(host.frames.size(), 5u);
  EXPECT_EQ(static_cast<size_t>(host.pumps), host.frames.size());
  EXPECT_TRUE(sw.tmrAnimation.Enabled);
  EXPECT_EQ(sw.picBG.ScaleWidth(), 800);
  EXPECT_EQ(sw.picBG.ScaleHeight(), 600);
  EXPECT_EQ(sw.picBuffer.ScaleWidth(), 0) << "frames are drawn in the form's own image";
  EXPECT_EQ(Protocols(), 0) << Log();
  // AnzFl + 1 white flakes in the upper half, over the background.
  const Animation& an = sw.anim;
  for (int i = 0; i <= AnzFl; ++i) {
    EXPECT_TRUE(InRange(an.Fl[i].X, 0, 800)) << i;
    EXPECT_TRUE(InRange(an.Fl[i].Y, 0, 300)) << i;
    EXPECT_TRUE(InRange(an.Fl[i].D, 4, 10)) << i;
    EXPECT_EQ(sw.form.GetPixel(an.Fl[i].X + 1, an.Fl[i].Y + an.Fl[i].D.value() / 2), 0xFFFFFF) << i;
  }
  EXPECT_EQ(an.Fl[AnzFl + 1].D, 0);
  int differing = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 800; ++x) differing += sw.form.GetPixel(x, y) != sw.picBG.GetPixel(x, y);
  EXPECT_GT(differing, 0);
  // Right birds wait left of the screen, left birds and the aeroplane right of it.
  const struct {
    int first, last, x, y_hi;
  } slots[] = {{1, 6, -150, 240}, {11, 16, 800, 150}, {21, 21, 800, 90}};
  for (const auto& s : slots) {
    for (int i = s.first; i <= s.last; ++i) {
      EXPECT_EQ(an.Obj[i].X, s.x) << i;
      EXPECT_TRUE(InRange(an.Obj[i].Y, 30, s.y_hi)) << i;
    }
  }
  const size_t before = host.frames.size();
  sw.tmrAnimation_Timer();
  EXPECT_EQ(host.frames.size(), before + 1) << "a tick presents once";

  // A key in the middle of the next scene's build ends the saver there.
  SaverMode = true;
  sw.tmrAnimation.Enabled = false;
  host.frames.clear();
  host.pumps = 0;
  host.key_at = 3;
  EXPECT_TRUE(Ends([&] { sw.Form_Resize(); }));
  EXPECT_EQ(host.pumps, 3);
  EXPECT_EQ(host.frames.size(), 3u) << "each stage shown before its messages run";
  EXPECT_FALSE(sw.tmrAnimation.Enabled) << "the scene never started";
  EXPECT_EQ(exits.unloads, 1);
}

}  // namespace
}  // namespace wh::testing
