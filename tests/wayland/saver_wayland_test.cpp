// The real saver on real compositors: headless sway (layer shell, one
// surface per output) and headless weston (fullscreen xdg toplevels),
// driven with a virtual pointer and keyboard, looked at with grim. Each test
// has its compositor to itself, so they run side by side.
//
// WH_TEST_SHOTS=DIR keeps the pictures the tests look at in DIR.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gfx/png.h"
#include "test_support/corner_mark.h"
#include "test_support/wayland_compositor.h"

namespace {

using namespace std::chrono_literals;
using wh::testing::Colours;
using wh::testing::HeadlessSway;
using wh::testing::HeadlessWeston;
using wh::testing::MarkAt;
using wh::testing::MissingTool;
using wh::testing::ShellQuote;
using wh::testing::VirtualMouse;
using wh::testing::WaylandCompositor;
using wh::testing::WaylandOutput;

const std::string kSaver = WH_SAVER_BIN;
const std::string kPointer = WH_VIRTUAL_POINTER_BIN;
// Settings that make the scene alone: no wallpaper to leave behind, no
// clock text over the corner.
const std::vector<std::string> kQuiet = {"--no-wallpaper", "--no-date", "--no-time"};

std::string SaverMissing() { return kSaver.empty() ? "the saver was built without Wayland" : ""; }

std::string SwayMissing() {
  const std::string why = SaverMissing();
  return why.empty() ? wh::testing::SwayRigMissing(kPointer) : why;
}

// Whether `done` holds within about 5 s.
bool Within5s(const std::function<bool()>& done) {
  for (int i = 0; i < 50; ++i, std::this_thread::sleep_for(100ms))
    if (done()) return true;
  return done();
}

// Keeps a picture for people to look at when WH_TEST_SHOTS asks for them.
void Keep(const std::string& path, const std::string& name) {
  if (const char* to = std::getenv("WH_TEST_SHOTS"))
    std::system(("mkdir -p " + ShellQuote(to) + " && cp " + ShellQuote(path) + " " +
                 ShellQuote(std::string(to) + "/" + name))
                    .c_str());
}

class SaverOnSway : public ::testing::Test {
 protected:
  // Sway with these outputs (and lines for its configuration), a mouse on
  // its seat, the pointer in the middle of the first output before the
  // saver starts.
  void Up(const std::vector<WaylandOutput>& outputs, const std::string& config = "") {
    sway_ = std::make_unique<HeadlessSway>(outputs, config);
    ASSERT_TRUE(sway_->ok()) << sway_->error();
    mouse_ = std::make_unique<VirtualMouse>(*sway_, kPointer);
    ASSERT_TRUE(mouse_->ok()) << "the virtual pointer did not start";
    ASSERT_TRUE(mouse_->Do(To(outputs[0].LogicalWidth() / 2, outputs[0].LogicalHeight() / 2)));
    saver_bin_ = sway_->Install(kSaver);
    ASSERT_FALSE(saver_bin_.empty());
  }
  // The pointer to (x, y) of the layout.
  std::string To(int x, int y) {
    const auto [w, h] = sway_->LayoutSize();
    return "to " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " +
           std::to_string(h);
  }
  // The saver with kQuiet after `options` (`wallpaper`: without --no-wallpaper).
  void StartSaver(int seed, std::vector<std::string> options = {}, bool wallpaper = false) {
    std::vector<std::string> argv = {saver_bin_, "--wayland", "--seed", std::to_string(seed)};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), kQuiet.begin() + (wallpaper ? 1 : 0), kQuiet.end());
    saver_ = sway_->Start(argv, "saver.log");
  }
  std::string SaverLog() { return WaylandCompositor::ReadFile(sway_->dir() + "/saver.log"); }

  // The output's picture once its scene is up (the corner mark at
  // `times` the usual density in its corner), or an empty image when it
  // did not come within `limit`. A slow build (sanitizers) takes long.
  wh::Image WaitScene(const std::string& output, double times,
                      std::chrono::seconds limit = 90s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    const std::string file = output + ".png";
    do {
      if (sway_->Shot(output, file)) {
        wh::Image shot = wh::LoadPng(sway_->dir() + "/" + file);
        if (MarkAt(shot, shot.width, shot.height, times)) return shot;
      }
      if (sway_->Wait(saver_, 0ms) != -1) break;
      std::this_thread::sleep_for(500ms);
    } while (std::chrono::steady_clock::now() < until);
    return {};
  }

  // Types a key (wtype's arguments) until the saver ends (the seat has no
  // keyboard before wtype makes one; -s gives the saver time to take it);
  // the exit status, -1 when it kept running.
  int KeyEnds(const std::string& key = "x") {
    for (int i = 0; i < 10; ++i) {
      sway_->Run("wtype -s 300 " + key);
      if (const int status = sway_->Wait(saver_, 500ms); status != -1) return status;
    }
    return -1;
  }

  std::unique_ptr<HeadlessSway> sway_;
  std::unique_ptr<VirtualMouse> mouse_;
  std::string saver_bin_;
  pid_t saver_ = -1;
};

// Two outputs of different sizes, one of them dense (scale 2), each with a
// scene of its own at its real pixels; outputs that come and go while it
// runs, one at scale 1.5; the compositor going away ends it cleanly.
TEST_F(SaverOnSway, EachOutputItsOwnScene_HiDpiAtRealPixels_OutputsComeAndGo) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  Up({{"", 1280, 720, 0, 0, 1}, {"", 1920, 1080, 0, 0, 2}});
  StartSaver(11);
  const wh::Image one = WaitScene("HEADLESS-1", 1);
  ASSERT_GT(one.width, 0) << "no scene on HEADLESS-1\n" << SaverLog();
  // At scale 2 the buffer has the output's pixels and the mark its density.
  const wh::Image two = WaitScene("HEADLESS-2", 2);
  ASSERT_GT(two.width, 0) << "no scene at 192 dpi on HEADLESS-2\n" << SaverLog();
  Keep(sway_->dir() + "/HEADLESS-1.png", "sway-1280x720.png");
  Keep(sway_->dir() + "/HEADLESS-2.png", "sway-1920x1080-scale2.png");
  EXPECT_EQ(one.width, 1280);
  EXPECT_EQ(two.width, 1920);
  EXPECT_EQ(two.height, 1080);
  EXPECT_GT(Colours(one), 16u);
  EXPECT_GT(Colours(two), 16u);
  // Not a buffer at half the pixels blown up: neighbours in a row differ.
  long odd = 0;
  for (int y = 0; y < two.height; y += 5)
    for (int x = 0; x + 1 < two.width; x += 2) odd += two.at(x, y) != two.at(x + 1, y);
  EXPECT_GT(odd, 216L * 960 / 20) << "the scale-2 output shows doubled pixels";
  // Its own scene on each: the same place of each picture differs.
  long differ = 0;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 160; ++x)
      differ += (one.at(x * 8, y * 8) & 0xFFFFFF) != (two.at(x * 12, y * 12) & 0xFFFFFF);
  EXPECT_GT(differ, 160L * 90 / 2) << "both outputs show the same scene";

  const std::string added = sway_->AddOutput(1024, 768);
  ASSERT_FALSE(added.empty());
  EXPECT_GT(WaitScene(added, 1).width, 0) << "no scene on the output added while running\n"
                                          << SaverLog();
  // An output that goes (its wl_output withdrawn) takes its surface along;
  // the saver runs on, and the output gets a scene again when it is back.
  ASSERT_EQ(sway_->Run("swaymsg output HEADLESS-2 disable"), 0);
  std::this_thread::sleep_for(1s);
  ASSERT_EQ(sway_->Wait(saver_, 0ms), -1) << "an output going ended the saver\n" << SaverLog();
  ASSERT_EQ(sway_->Run("swaymsg output HEADLESS-2 enable"), 0);
  EXPECT_GT(WaitScene("HEADLESS-2", 2).width, 0) << "no scene on the output back again\n"
                                                 << SaverLog();
  EXPECT_EQ(sway_->Wait(saver_, 0ms), -1) << SaverLog();

  // A fractional scale (sway 1.7 has viewports, not the fractional
  // protocol): the buffer has the mode's pixels, the mark 144 dpi.
  const std::string third = sway_->AddOutput(1920, 1080);
  ASSERT_FALSE(third.empty());
  ASSERT_EQ(sway_->Run("swaymsg output " + third + " scale 1.5"), 0);
  const wh::Image frac = WaitScene(third, 1.5);
  EXPECT_EQ(frac.width, 1920) << "no scene with a mark at 144 dpi at scale 1.5\n" << SaverLog();
  Keep(sway_->dir() + "/" + third + ".png", "sway-1920x1080-scale1.5.png");

  sway_->Quit();
  EXPECT_EQ(sway_->Wait(saver_, 5s), 0) << "the compositor went and the saver did not end cleanly\n"
                                        << SaverLog();
}

// Moves of a pixel around the first position keep the saver; then a jump,
// a button or a key each end it.
class SaverInput : public SaverOnSway, public ::testing::WithParamInterface<const char*> {};

TEST_P(SaverInput, SmallMovesKeepIt_ThisEndsIt) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  Up({{"", 1280, 720, 0, 0, 1}});
  StartSaver(5);
  ASSERT_GT(WaitScene("HEADLESS-1", 1).width, 0) << SaverLog();
  for (const char* steps : {"by 1 0", "by 0 1", "by -1 1", "by -1 0", "by 2 -2"}) {
    ASSERT_TRUE(mouse_->Do(steps));
    std::this_thread::sleep_for(150ms);
  }
  ASSERT_EQ(sway_->Wait(saver_, 1s), -1) << "a move of 2 pixels ended the saver\n" << SaverLog();
  const std::string input = GetParam();
  int status = -1;
  if (input == "key") {
    status = KeyEnds();
  } else {
    ASSERT_TRUE(mouse_->Do(input == "jump" ? "by 40 25" : "click 272"));
    status = sway_->Wait(saver_, 5s);
  }
  EXPECT_EQ(status, 0) << input << " did not end the saver cleanly\n" << SaverLog();
}

INSTANTIATE_TEST_SUITE_P(Input, SaverInput, ::testing::Values("jump", "button", "key"),
                         [](const auto& info) { return std::string(info.param); });

// The pointer is hidden over the saver: a frame every 2 s leaves time to
// take two pictures between frames, a pixel's move apart, and where the
// pointer is drawn they always differ.
TEST_F(SaverOnSway, ThePointerIsHidden) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  Up({{"", 1280, 720, 0, 0, 1}});
  StartSaver(9, {"--speed", "0.1"});
  ASSERT_GT(WaitScene("HEADLESS-1", 1).width, 0) << SaverLog();
  bool same = false;
  for (int i = 0; i < 8 && !same; ++i) {
    ASSERT_TRUE(sway_->Shot("HEADLESS-1", "a.png"));
    ASSERT_TRUE(mouse_->Do(i % 2 ? "by -1 0" : "by 1 0"));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(sway_->Shot("HEADLESS-1", "b.png"));
    same = wh::LoadPng(sway_->dir() + "/a.png").px == wh::LoadPng(sway_->dir() + "/b.png").px;
  }
  EXPECT_TRUE(same) << "a pointer moved by a pixel changed the picture every time";
  EXPECT_EQ(sway_->Wait(saver_, 0ms), -1) << SaverLog();
}

// The compositor's own idle tool starts the saver after its timeout, as the
// README tells people to set it up, and a key ends it.
TEST_F(SaverOnSway, SwayidleStartsItAfterItsTimeout_AKeyEndsIt) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  if (MissingTool({"swayidle"}) != "") GTEST_SKIP() << "swayidle is not installed";
  Up({{"", 1280, 720, 0, 0, 1}});
  // The saver's process id, for the test to follow it.
  std::string command = "echo $$ > saver.pid; exec " + ShellQuote(saver_bin_) + " --seed 7";
  for (const std::string& a : kQuiet) command += " " + a;
  const auto started = std::chrono::steady_clock::now();
  const pid_t idle = sway_->Start({"swayidle", "-w", "timeout", "2", command}, "swayidle.log");
  const std::string pidfile = sway_->dir() + "/saver.pid";
  std::string pid;
  while (pid.find('\n') == std::string::npos && std::chrono::steady_clock::now() - started < 20s) {
    std::this_thread::sleep_for(100ms);
    pid = WaylandCompositor::ReadFile(pidfile);
  }
  ASSERT_NE(pid.find('\n'), std::string::npos)
      << "swayidle did not start the saver\n" << sway_->ReadFile(sway_->dir() + "/swayidle.log");
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1900ms) << "started before the timeout";
  const pid_t saver = std::stoi(pid);
  // The saver is swayidle's child, not ours: follow it through kill(0).
  const auto gone = [&](std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (kill(saver, 0) == 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(50ms);
    return kill(saver, 0) != 0;
  };
  saver_ = idle;  // WaitScene stops early if swayidle itself went
  ASSERT_GT(WaitScene("HEADLESS-1", 1).width, 0) << "no scene from the saver swayidle started";
  ASSERT_FALSE(gone(0ms));
  bool ended = false;
  for (int i = 0; i < 10 && !ended; ++i) {
    sway_->Run("wtype -s 300 x");
    ended = gone(500ms);
  }
  EXPECT_TRUE(ended) << "a key did not end the saver swayidle started";
  EXPECT_EQ(sway_->Wait(idle, 0ms), -1) << "swayidle ended with the saver";
}

// The last landscape stays as sway's background (through swaybg), and
// --restore-wallpaper puts back the user's own from sway's configuration.
TEST_F(SaverOnSway, TheLandscapeStaysAsBackground_RestoreBringsBackTheUsersOwn) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  if (MissingTool({"swaybg"}) != "") GTEST_SKIP() << "swaybg is not installed";
  // The pointer's picture would be in grim's: sway hides it when still.
  Up({{"", 1280, 720, 0, 0, 1}}, "output * bg #204060 solid_color\nseat * hide_cursor 100");
  const auto background = [&] {
    return sway_->Shot("HEADLESS-1", "bg.png") ? wh::LoadPng(sway_->dir() + "/bg.png")
                                               : wh::Image();
  };
  // The user's own: one colour once swaybg has drawn it.
  const auto users_own = [&] {
    const wh::Image bg = background();
    return Colours(bg) == 1 && (bg.at(10, 10) & 0xFFFFFF) == 0x204060u;
  };
  ASSERT_TRUE(Within5s(users_own)) << "swaybg did not draw the configured colour";

  StartSaver(13, {}, true);
  ASSERT_GT(WaitScene("HEADLESS-1", 1).width, 0) << SaverLog();
  ASSERT_TRUE(mouse_->Do("click 272"));
  ASSERT_EQ(sway_->Wait(saver_, 10s), 0) << SaverLog();
  EXPECT_TRUE(Within5s([&] { return Colours(background()) > 16; }))
      << "the landscape did not stay as the background\n" << SaverLog();
  Keep(sway_->dir() + "/bg.png", "sway-background.png");

  const pid_t restore = sway_->Start({saver_bin_, "--restore-wallpaper"}, "restore.log");
  ASSERT_EQ(sway_->Wait(restore, 10s), 0) << sway_->ReadFile(sway_->dir() + "/restore.log");
  EXPECT_TRUE(Within5s(users_own)) << "the user's own background did not come back\n"
                    << sway_->ReadFile(sway_->dir() + "/restore.log");
}

// --window: an ordinary window (here tiled over the whole output, without
// borders) that q and Escape close.
TEST_F(SaverOnSway, AWindowThatQAndEscapeClose) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  Up({{"", 1280, 720, 0, 0, 1}}, "default_border none");
  for (const char* key : {"q", "Escape"}) {
    SCOPED_TRACE(key);
    StartSaver(17, {"--window"});
    const wh::Image shot = WaitScene("HEADLESS-1", 1);
    ASSERT_GT(shot.width, 0) << "no scene in the window\n" << SaverLog();
    // Moves and clicks do not close a window.
    ASSERT_TRUE(mouse_->Do("by 50 40 click 272"));
    ASSERT_EQ(sway_->Wait(saver_, 1s), -1) << "input other than its keys closed the window";
    EXPECT_EQ(KeyEnds(std::string("-k ") + key), 0) << key << " did not close the window\n"
                                                    << SaverLog();
  }
}

// Where there is no layer shell, a fullscreen xdg toplevel shows the scene;
// SIGTERM ends the saver cleanly.
TEST(SaverOnWeston, XdgShellFullscreenShowsAScene) {
  if (const std::string why = SaverMissing(); !why.empty()) GTEST_SKIP() << why;
  if (const std::string tool = MissingTool({"weston", "weston-info", "weston-screenshooter"});
      !tool.empty())
    GTEST_SKIP() << tool << " is not installed";
  HeadlessWeston weston(1024, 768);
  ASSERT_TRUE(weston.ok()) << weston.error();
  std::vector<std::string> argv = {weston.Install(kSaver), "--wayland", "--seed", "3"};
  argv.insert(argv.end(), kQuiet.begin(), kQuiet.end());
  const pid_t saver = weston.Start(argv, "saver.log");
  bool shown = false;
  for (auto until = std::chrono::steady_clock::now() + 90s;
       !shown && std::chrono::steady_clock::now() < until && weston.Wait(saver, 0ms) == -1;) {
    std::this_thread::sleep_for(500ms);
    if (!weston.Shot("weston.png")) continue;
    const wh::Image shot = wh::LoadPng(weston.dir() + "/weston.png");
    shown = shot.width == 1024 && MarkAt(shot, 1024, 768, 1) && Colours(shot) > 16;
  }
  const std::string log = WaylandCompositor::ReadFile(weston.dir() + "/saver.log");
  ASSERT_TRUE(shown) << "no scene on weston\n" << log << weston.Log();
  Keep(weston.dir() + "/weston.png", "weston-1024x768.png");
  kill(saver, SIGTERM);
  EXPECT_EQ(weston.Wait(saver, 5s), 0) << log;
}

// CPU time the kernel booked for a process, all its threads, in
// nanoseconds.
long long CpuNs(pid_t pid) {
  long long sum = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* d = opendir(tasks.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      long long ns = 0;
      std::ifstream(tasks + "/" + e->d_name + "/schedstat") >> ns;
      sum += ns;
    }
    closedir(d);
  }
  return sum;
}

// An output the compositor puts to sleep (weston's idle time) asks for no
// frames, and the saver draws and commits none; it keeps running.
TEST(SaverOnWeston, AnOutputAsleepGetsNoFrames) {
  if (const std::string why = SaverMissing(); !why.empty()) GTEST_SKIP() << why;
  if (const std::string tool = MissingTool({"weston", "weston-info"}); !tool.empty())
    GTEST_SKIP() << tool << " is not installed";
  // Large enough that drawing 25 frames a second shows in the CPU time.
  HeadlessWeston weston(1920, 1080, 10);
  ASSERT_TRUE(weston.ok()) << weston.error();
  std::vector<std::string> argv = {weston.Install(kSaver), "--wayland", "--seed", "3"};
  argv.insert(argv.end(), kQuiet.begin(), kQuiet.end());
  // The client library writes every request it sends to the log.
  const pid_t saver = weston.Start(argv, "saver.log", {"WAYLAND_DEBUG=1"});
  const std::string log = weston.dir() + "/saver.log";
  const auto commits = [&] {
    const std::string text = WaylandCompositor::ReadFile(log);
    size_t n = 0;
    for (size_t at = text.find(".commit("); at != std::string::npos; at = text.find(".commit(", at + 1)) ++n;
    return n;
  };
  auto until = std::chrono::steady_clock::now() + 60s;
  while (commits() < 8 && std::chrono::steady_clock::now() < until && weston.Wait(saver, 0ms) == -1)
    std::this_thread::sleep_for(200ms);
  ASSERT_GE(commits(), 8u) << "no frames while the output was awake\n" << weston.Log();
  bool stopped = false;
  long long spent = 0;
  until = std::chrono::steady_clock::now() + 60s;
  while (!stopped && std::chrono::steady_clock::now() < until) {
    const size_t before = commits();
    const long long cpu = CpuNs(saver);
    std::this_thread::sleep_for(3s);
    stopped = commits() == before;
    spent = CpuNs(saver) - cpu;
  }
  EXPECT_TRUE(stopped) << "frames went on after the output fell asleep\n" << weston.Log();
  // Awake it spends some 40 ms of 3 s drawing; asleep next to nothing.
  EXPECT_LT(spent, 10'000'000) << "the saver kept drawing while no frame was asked for";
  ASSERT_EQ(weston.Wait(saver, 0ms), -1) << "the saver ended while the output slept";
  kill(saver, SIGTERM);
  EXPECT_EQ(weston.Wait(saver, 5s), 0);
}

}  // namespace
