#include "window/saver_window.h"

#include <gtest/gtest.h>

#include "errors/trap.h"
#include "test_form.h"
#include "gfx/dib.h"
#include "window/frm_preview.h"
#include "window/wallpaper.h"

namespace wh::testing {
namespace {

struct CountingExit : ExitHost {
  int unloads = 0;
  void UnloadAll() override { ++unloads; }
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

TEST_F(Window, SlowMouseDriftNeverEndsTheSaverButAJumpDoes) {
  SaverMode = true;
  double x = 100, y = 100;
  for (int i = 0; i < 500; ++i) {
    x += (i % 2) ? 2 : 1;
    y += (i % 3 == 0) ? -2 : 1;
    ASSERT_FALSE(Ends([&] { w.Form_MouseMove(0, 0, x, y); })) << "step " << i;
  }
  EXPECT_FALSE(Ends([&] { w.Form_MouseMove(0, 0, x + 2.9, y - 2.9); }));
  EXPECT_TRUE(Ends([&] { w.Form_MouseMove(0, 0, x + 2.9, y - 5.9); })) << "3 pixels on one axis";
  EXPECT_EQ(exits.unloads, 1);
  EXPECT_TRUE(sys.cursor_shown);
}

TEST_F(Window, TheFirstMovementAndMovementsFromTheCornerOnlyRecord) {
  SaverMode = true;
  EXPECT_FALSE(Ends([&] { w.Form_MouseMove(0, 0, 600, 400); })) << "nothing recorded yet";
  EXPECT_FALSE(Ends([&] { w.Form_MouseMove(0, 0, 601, 401); }));
  w.MausX = 0;
  w.MausY = 0;
  EXPECT_FALSE(Ends([&] { w.Form_MouseMove(0, 0, 300, 200); })) << "resting at (0, 0)";
  EXPECT_TRUE(Ends([&] { w.Form_MouseMove(0, 0, 310, 200); }));
}

TEST_F(Window, EveryButtonAndKeyEndsTheSaver) {
  SaverMode = true;
  EXPECT_TRUE(Ends([&] { w.Form_MouseDown(1, 0, 5, 5); }));
  EXPECT_TRUE(Ends([&] { w.Form_Click(); }));
  EXPECT_TRUE(Ends([&] { w.Form_DblClick(); }));
  EXPECT_TRUE(Ends([&] { w.Form_KeyDown(16, 0); })) << "even shift";
  EXPECT_TRUE(Ends([&] { w.Form_KeyPress('a'); }));
  EXPECT_TRUE(Ends([&] { w.Form_Unload(); }));
  SaverMode = false;
  EXPECT_FALSE(Ends([&] { w.Form_KeyPress('a'); })) << "not in saver mode";
}

TEST_F(Window, LoadSetsTheFlakeCountAndTheFrameInterval) {
  SaverSettings.maxFl = 110;
  minFl = 55;
  SaverSettings.Speed = 5;
  w.Form_Load();
  EXPECT_EQ(w.tmrAnimation.Interval, 40);
  EXPECT_FALSE(w.tmrAnimation.Enabled);
  EXPECT_GE(AnzFl, 55);
  EXPECT_LE(AnzFl, 110);
  EXPECT_EQ(w.anim.Obj[21].Y, 50);
  SaverSettings.Speed = 0.1f;
  w.Form_Load();
  EXPECT_EQ(w.tmrAnimation.Interval, 2000);
  SaverSettings.Speed = 10;
  w.Form_Load();
  EXPECT_EQ(w.tmrAnimation.Interval, 20);
  SaverSettings.Speed = 1.6f;  // 125 ms exactly, no rounding needed
  w.Form_Load();
  EXPECT_EQ(w.tmrAnimation.Interval, 125);
  EXPECT_EQ(Protocols(), 0);
}

TEST_F(Window, ABadSpeedIsReportedAndLeavesTheTimerAlone) {
  SaverSettings.Speed = 0;
  w.Form_Load();
  EXPECT_EQ(Protocols(), 1);
  EXPECT_NE(Log().find("11 (Division by zero)"), std::string::npos);
  EXPECT_NE(Log().find("Prozedur / procedure:\tForm_Load"), std::string::npos);
  EXPECT_EQ(w.tmrAnimation.Interval, 0);
  EXPECT_EQ(w.anim.Obj[21].Y, 50) << "the statements after it still run";

  SaverSettings.Speed = 0.001f;  // 200000 ms: more than a timer takes
  w.Form_Load();
  EXPECT_EQ(Protocols(), 2);
  EXPECT_NE(Log().find("380 (Invalid property value)"), std::string::npos);
}

TEST_F(Window, ABadSpeedInTheSaverEndsIt) {
  SaverMode = true;
  SaverSettings.Speed = 0;
  EXPECT_TRUE(Ends([&] { w.Form_Load(); }));
  EXPECT_EQ(Protocols(), 1);
  EXPECT_EQ(sys.beeps, 1);
}

TEST_F(Window, TooManyFlakesFailTheScatterAtIndex501) {
  w.form.SetSize(100, 80);
  Trap trap("frmMain", "Form_Resize");
  AnzFl = 501;
  w.anim.ScatterFlakes(trap);
  EXPECT_EQ(Protocols(), 1);
  EXPECT_NE(Log().find("9 (Subscript out of range)"), std::string::npos);
}

TEST_F(Window, ScatterAndSlotsFollowTheFormSize) {
  w.form.SetSize(1024, 768);
  w.form.BackColor = 0;
  w.form.Cls();
  SaverSettings.Size = 6;
  AnzFl = 55;
  Trap trap("frmMain", "Form_Resize");
  ASSERT_TRUE(w.anim.ScatterFlakes(trap));
  ASSERT_TRUE(w.anim.ResetSlots(trap));
  for (int i = 0; i <= 55; ++i) {
    EXPECT_GE(w.anim.Fl[i].X, 0);
    EXPECT_LE(w.anim.Fl[i].X, 1024);
    EXPECT_LE(w.anim.Fl[i].Y, 384) << "upper half";
    EXPECT_GE(w.anim.Fl[i].D, 4);
    EXPECT_LE(w.anim.Fl[i].D, 10);
  }
  EXPECT_EQ(w.anim.Fl[56].D, 0) << "56 flakes, indices 0..55";
  const FlakeRec& fl = w.anim.Fl[0];
  EXPECT_EQ(w.form.GetPixel(fl.X + fl.D.value() / 2, fl.Y + fl.D.value() / 2), 0xFFFFFF) << "drawn on the form";
  for (int i = 1; i <= 6; ++i) {
    EXPECT_EQ(w.anim.Obj[i].X, -150);
    EXPECT_GE(w.anim.Obj[i].Y, 38);
    EXPECT_LE(w.anim.Obj[i].Y, 307);
  }
  for (int i = 11; i <= 16; ++i) {
    EXPECT_EQ(w.anim.Obj[i].X, 1024);
    EXPECT_GE(w.anim.Obj[i].Y, 38);
    EXPECT_LE(w.anim.Obj[i].Y, 192);
  }
  EXPECT_EQ(w.anim.Obj[21].X, 1024);
  EXPECT_GE(w.anim.Obj[21].Y, 38);
  EXPECT_LE(w.anim.Obj[21].Y, 115);
}

struct KeptFrames : FormHost {
  std::vector<Image> frames;
  void Present(const Canvas& c) override { frames.push_back(c.image()); }
  void PumpMessages() override {}
};

TEST_F(Window, PreviewStretchesTheStillOverTheWholeWindow) {
  auto still = std::make_shared<Image>(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) still->at(x, y) = (x < 128 ? 0xFF0000u : 0x0000FFu) | (y < 96 ? 0x00FF00u : 0u);
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

}  // namespace
}  // namespace wh::testing

namespace wh::testing {
namespace {

TEST_F(Window, WallpaperIsTheSignedBackgroundBesideTheProgramOrInTheDataFolder) {
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
  const Image saved = LoadBmpFile(path);
  EXPECT_EQ(saved, w.picBG.image());
  EXPECT_EQ(w.picBG.GetPicture()->width, 320) << "the signed picture is picBG's picture now";

  // A program folder that cannot take the file: the user's data folder does.
  ASSERT_EQ(std::system(("rm '" + path + "' && mkdir '" + path + "'").c_str()), 0);
  EXPECT_EQ(SignAndSaveWallpaper(w), sys.state_dir + "/WinterHollow/WinterHollow.bmp");
  // Neither: a run-time error for the caller's trap.
  ASSERT_EQ(std::system(("rm '" + sys.state_dir + "/WinterHollow/WinterHollow.bmp' && mkdir '" +
                         sys.state_dir + "/WinterHollow/WinterHollow.bmp'").c_str()),
            0);
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

TEST_F(Window, AWallpaperThatCannotBeWrittenWholeLeavesTheOldOne) {
  w.picBG.BackColor = 0x336699;
  w.picBG.SetSize(320, 200);
  w.picBG.Cls();
  const std::string path = SignAndSaveWallpaper(w);
  const std::string old_bytes = ReadFile(path);
  ASSERT_EQ(std::system(("mkdir -p '" + sys.state_dir + "/WinterHollow'").c_str()), 0);
  const std::vector<std::string> names = FolderNames(dir.path());
  w.picBG.BackColor = 0x112233;
  w.picBG.Cls();
  {
    FileSizeLimit full_disk(4096);  // the new picture does not fit
    EXPECT_THROW(SignAndSaveWallpaper(w), RuntimeError);
  }
  EXPECT_EQ(ReadFile(path), old_bytes) << "the old picture survives";
  EXPECT_EQ(FolderNames(dir.path()), names) << "no half-written file is left";
  EXPECT_EQ(FolderNames(sys.state_dir + "/WinterHollow"), std::vector<std::string>{});
}

}  // namespace
}  // namespace wh::testing

namespace wh::testing {
namespace {

// A window whose message queue holds one key press, delivered the third
// time the build lets messages run.
struct KeyDuringBuild : FormHost {
  SaverWindow* w = nullptr;
  int pumps = 0, presents = 0;
  void Present(const Canvas&) override { ++presents; }
  void PumpMessages() override {
    if (++pumps == 3) w->Form_KeyDown(65, 0);
  }
};

TEST_F(Window, AKeyInTheMiddleOfABuildEndsTheSaverThere) {
  SaverMode = true;
  KeyDuringBuild host;
  SaverWindow sw(&host);
  host.w = &sw;
  sw.form.SetSize(640, 480);
  sw.Form_Load();
  EXPECT_TRUE(Ends([&] { sw.Form_Resize(); }));
  EXPECT_EQ(host.pumps, 3);
  EXPECT_EQ(host.presents, 3) << "each stage shown before its messages run";
  EXPECT_FALSE(sw.tmrAnimation.Enabled) << "the scene never started";
  EXPECT_EQ(exits.unloads, 1);
}

TEST_F(Window, AWholeStartShowsStagesThenEnablesTheTimer) {
  KeyDuringBuild host;
  SaverWindow sw(&host);
  host.w = nullptr;
  host.pumps = -1000;  // no key this time
  sw.form.SetSize(800, 600);
  sw.Form_Load();
  sw.Form_Resize();
  EXPECT_GT(host.presents, 5);
  EXPECT_EQ(host.pumps + 1000, host.presents);
  EXPECT_TRUE(sw.tmrAnimation.Enabled);
  EXPECT_EQ(sw.picBG.ScaleWidth(), 800);
  EXPECT_EQ(sw.picBG.ScaleHeight(), 600);
  EXPECT_EQ(sw.picBuffer.ScaleWidth(), 0) << "frames are drawn in the form's own image";
  EXPECT_EQ(Protocols(), 0) << Log();
  // The form shows the background with the scattered flakes over it.
  int differing = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 800; ++x) differing += sw.form.GetPixel(x, y) != sw.picBG.GetPixel(x, y);
  EXPECT_GT(differing, 0);
  const int before = host.presents;
  sw.tmrAnimation_Timer();
  EXPECT_EQ(host.presents, before + 1) << "a tick presents once";
}

}  // namespace
}  // namespace wh::testing
