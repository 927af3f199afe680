// The full-screen saver window of Win32Modes on the real desktop (Wine's, in
// the suite): beside it, a saver form that draws every frame whole runs on
// the same random draws, and what the window shows, read back from its
// device context, must be that form's picture after every tick, after a
// repaint and after its monitor's density changed. The window draws only
// what changed, with the cloud band from its picture.
#include <gtest/gtest.h>
#include <windows.h>

#include <wtsapi32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/random.h"
#include "gfx/dib.h"
#include "platform/win32/dpi.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/win32_saver.h"
#include "platform/win32/win32_system.h"
#include "startup/saver.h"
#include "startup/settings.h"
#include "win32/win_test_util.h"
#include "window/saver_window.h"

namespace {

using namespace wh;
using namespace wh::win32;
using wh::testing::Shown;

// The real machine with a clock the test sets, and its beeps (one per
// reported error) counted.
struct TestSystem : Win32System {
  platform::LocalDateTime now {2026, 12, 24, 18, 5, 9};
  int beeps = 0;
  platform::LocalDateTime Now() override { return now; }
  void Beep() override { ++beeps; }
};

// The reference's screen: the last form it was given whole, at the density
// the test gives.
struct Reference : FormHost {
  double dpi = 96;
  Image shown;
  void Present(const Canvas& form) override { shown = form.image(); }
  void PumpMessages() override {}
  double DotsPerInch() const override { return dpi; }
  double TextDotsPerInch() const override { return dpi; }
};

Image Opaque(Image img) {
  for (uint32_t& p : img.px) p &= 0x00FFFFFF;
  return img;
}

class SaverOnTheDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetSystem(&sys);
    SetTextRenderer(&text);
    saved_ = SaverSettings;
    SaverSettings = DefaultSettings();
    minFl = 55;
    SaverSettings.Restart = 1;
    SaverSettings.rTime = 4;          // a new scene every 100 ticks
    SaverSettings.SpeedS = 1.03f;     // the band moves every tick
    SaverSettings.SpeedO = 10;
    SaverSettings.Date = 1;
    SaverSettings.Time = 1;
    modes.set_text(&text);
    ref.incremental = false;
    ref.anim.tick_count = [this] { return clock; };
  }
  void TearDown() override {
    modes.UnloadAll();
    wh::testing::Pump(50);  // and the quit message of the last window
    SaverSettings = saved_;
    SetTextRenderer(nullptr);
    platform::SetSystem(nullptr);
  }

  // The reference takes a step on the random draws from `seed`, at the
  // density the window has, then the window does the same through its
  // messages.
  template <class RefStep, class WindowStep>
  void Both(uint64_t seed, RefStep ref_step, WindowStep window_step) {
    SeedRandom(seed);
    const Int16 outer = AnzFl;
    AnzFl = ref_flakes;
    text.set_dpi(static_cast<int>(ref_host.dpi));
    ref_step();
    text.set_dpi(96);
    ref_flakes = AnzFl;
    AnzFl = outer;
    const uint64_t draws = RandomDrawCount();
    SeedRandom(seed);
    window_step();
    ASSERT_EQ(RandomDrawCount(), draws) << "not the same random draws";
    // The test gives the ticks, not the window's timer.
    KillTimer(hwnd, 1);
  }

  void Compare(const std::string& where) {
    const Image shown = Shown(hwnd);
    const Image want = Opaque(ref_host.shown);
    ASSERT_EQ(shown.width, want.width) << where;
    ASSERT_EQ(shown.height, want.height) << where;
    if (shown == want) return;
    int wrong = 0, x0 = want.width, y0 = want.height, x1 = -1, y1 = -1;
    for (int y = 0; y < want.height; ++y)
      for (int x = 0; x < want.width; ++x)
        if (shown.at(x, y) != want.at(x, y)) {
          ++wrong;
          x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
    if (const char* dir = std::getenv("WH_TEST_DUMP")) {
      SaveBmpFile(std::string(dir) + "\\shown.bmp", EncodeBmp24(shown));
      SaveBmpFile(std::string(dir) + "\\want.bmp", EncodeBmp24(want));
    }
    FAIL() << where << ": " << wrong << " pixels differ in (" << x0 << "," << y0 << ")-(" << x1
           << "," << y1 << ")";
  }

  void Start(uint64_t seed) {
    Both(
        seed,
        [&] {
          RECT mon {};
          GetWindowRect(GetDesktopWindow(), &mon);
          ref.form.SetSize(mon.right - mon.left, mon.bottom - mon.top);
          ref.Form_Load();
          ref.Form_Resize();
        },
        [&] { modes.StartSaver(); });
    ASSERT_FALSE(modes.screens().empty());
    screen = modes.screens().front().get();
    hwnd = screen->hwnd();
    KillTimer(hwnd, 1);
    screen->frm->anim.tick_count = [this] { return clock; };
    Compare("the first scene");
  }

  void Ticks(uint64_t seed, int n) {
    for (int k = 0; k < n && !HasFatalFailure(); ++k) {
      clock += 40;
      if (k % 25 == 0) sys.now.second = (sys.now.second + 1) % 60;  // the clock line changes
      Both(
          seed * 1000003 + static_cast<uint64_t>(k), [&] { ref.tmrAnimation_Timer(); },
          [&] { SendMessageW(hwnd, WM_TIMER, 1, 0); });
      Compare("tick " + std::to_string(k));
      stale += screen->frm->anim.FormIsStale();
    }
  }

  TestSystem sys;
  GdiTextRenderer text {96};
  Win32Modes modes {GetModuleHandleW(nullptr)};
  Reference ref_host;
  SaverWindow ref {&ref_host};
  Int16 ref_flakes;
  Screen* screen = nullptr;
  HWND hwnd = nullptr;
  int32_t clock = 400000;
  int stale = 0;

 private:
  SaverSettingsRecord saved_;
};

TEST_F(SaverOnTheDesktop, ShowsEveryFrameDrawingOnlyWhatChanged_AndANewDensityGivesANewScene) {
  ASSERT_NO_FATAL_FAILURE(Start(11));
  ASSERT_NO_FATAL_FAILURE(Ticks(11, 150));

  // Uncovered: the window paints what it shows again.
  InvalidateRect(hwnd, nullptr, TRUE);
  UpdateWindow(hwnd);
  Compare("after a repaint");

  ASSERT_NO_FATAL_FAILURE(Ticks(12, 150));
  // The band went from its picture, not from the form.
  EXPECT_GT(stale, 50);

  // The monitor goes to 150 %: Windows suggests the old size scaled, but a
  // saver keeps covering its monitor.
  RECT before;
  GetWindowRect(hwnd, &before);
  RECT suggested {before.left, before.top, before.left + (before.right - before.left) * 3 / 2,
                  before.top + (before.bottom - before.top) * 3 / 2};
  ref_host.dpi = 144;
  Both(
      22,
      [&] {
        ref.form.SetSize(before.right - before.left, before.bottom - before.top);
        ref.Form_Resize();
      },
      [&] {
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
      });
  RECT after;
  GetWindowRect(hwnd, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_EQ(screen->TextDotsPerInch(), 144);
  Compare("the scene at 144 dots per inch");
  // The date and time line and the mark are drawn at it frame after frame.
  ASSERT_NO_FATAL_FAILURE(Ticks(23, 60));
  EXPECT_EQ(sys.beeps, 0) << "an error was reported";
}

TEST_F(SaverOnTheDesktop, RestsWhileTheDisplayIsOffOrTheSessionAwayAndResumesAfter) {
  ASSERT_NO_FATAL_FAILURE(Start(31));
  // The power broadcast of the console display's state, as the system sends it.
  const auto display = [&](DWORD state) {
    std::vector<unsigned char> buf(sizeof(POWERBROADCAST_SETTING) + sizeof state);
    auto* ps = reinterpret_cast<POWERBROADCAST_SETTING*>(buf.data());
    ps->PowerSetting = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
    ps->DataLength = sizeof state;
    std::memcpy(ps->Data, &state, sizeof state);
    SendMessageW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(ps));
  };
  const auto session = [&](WPARAM event) { SendMessageW(hwnd, WM_WTSSESSION_CHANGE, event, 0); };
  struct Case {
    const char* what;
    std::function<void()> rest, resume;
  } cases[] = {
      {"display off", [&] { display(0); }, [&] { display(1); }},
      {"session locked", [&] { session(WTS_SESSION_LOCK); }, [&] { session(WTS_SESSION_UNLOCK); }},
      {"console disconnected", [&] { session(WTS_CONSOLE_DISCONNECT); },
       [&] { session(WTS_CONSOLE_CONNECT); }},
      {"remote session disconnected", [&] { session(WTS_REMOTE_DISCONNECT); },
       [&] { session(WTS_REMOTE_CONNECT); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.rest();
    EXPECT_TRUE(modes.resting());
    EXPECT_FALSE(screen->timer_on) << "the frame timer runs on";
    // A tick queued before the timer stopped draws nothing.
    const Image before = Shown(hwnd);
    clock += 40;
    SendMessageW(hwnd, WM_TIMER, 1, 0);
    EXPECT_TRUE(Shown(hwnd) == before) << "a frame was drawn while resting";
    c.resume();
    EXPECT_FALSE(modes.resting());
    EXPECT_TRUE(screen->timer_on) << "the frame timer did not start again";
    KillTimer(hwnd, 1);  // the test gives the ticks
  }
  // Locked and then the display off: both must end before frames come back.
  session(WTS_SESSION_LOCK);
  display(0);
  session(WTS_SESSION_UNLOCK);
  EXPECT_TRUE(modes.resting());
  display(2);  // dimmed still shows
  EXPECT_FALSE(modes.resting());
  KillTimer(hwnd, 1);
  const Image before = Shown(hwnd);
  clock += 40;
  SendMessageW(hwnd, WM_TIMER, 1, 0);
  EXPECT_FALSE(Shown(hwnd) == before) << "no frame after resuming";
}

TEST(Dpi, TheWindowsOwnElseItsMonitorsWhenDrawnPerMonitorElseTheScreens) {
  struct Case {
    DpiReadings r;
    UINT want;
  };
  const Case cases[] = {
      {{144, 192, true, 96}, 144},   // Windows 10: the window's, whatever else is known
      {{0, 192, true, 96}, 192},     // 8.1: the monitor's
      {{0, 192, false, 120}, 120},   // scaled by the system: drawn at its density
      {{0, 0, true, 120}, 120},      // Windows 7
      {{0, 0, false, 0}, 96},        // nothing known
      {{0, 65535, true, 144}, 144},  // no monitor has that
      {{20, 0, false, 96}, 96},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.r.window << " " << c.r.monitor << " " << c.r.per_monitor
                                      << " " << c.r.device);
    EXPECT_EQ(ChooseDpi(c.r), c.want);
  }
  // The machine's own answer is one of its readings.
  HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  const DpiReadings real = ReadDpi(w);
  const UINT dpi = WindowDpi(w);
  EXPECT_TRUE(dpi == real.window || dpi == real.monitor || static_cast<int>(dpi) == real.device);
  EXPECT_GE(dpi, 48u);
  DestroyWindow(w);
}

}  // namespace
