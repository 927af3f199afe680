// The saver as a person meets it: started on an X server, looked at through
// screenshots, ended with the mouse and the keyboard. Each test runs the
// real program from a private folder with a private home, so the wallpaper,
// the error log and the settings file it leaves can be checked.
#include <gtest/gtest.h>

#include "test_support/run_command.h"
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gfx/dib.h"
#include "gfx/png.h"
#include "platform/x11/x11_window.h"

namespace {

using namespace std::chrono_literals;

constexpr int kScreenW = 800, kScreenH = 600;

using wh::testing::Capture;

int Sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

bool OnPath(const char* tool) { return Sh(std::string("command -v ") + tool) == 0; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// One Xvfb for the whole suite, on a display nobody uses.
class XServer {
 public:
  // The suite's server, made the $DISPLAY of everything the tests start.
  static XServer& Get() {
    static XServer s(24);
    static bool first = true;
    if (first && s.ok()) {
      first = false;
      setenv("DISPLAY", s.display().c_str(), 1);
      unsetenv("XDG_CURRENT_DESKTOP");
      unsetenv("XSCREENSAVER_WINDOW");
    }
    return s;
  }
  explicit XServer(int depth) {
    Start(depth);
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return pid_ > 0; }
  const std::string& display() const { return display_; }

 private:
  void Start(int depth) {
    if (!OnPath("Xvfb")) return;
    // Xvfb picks a free display itself and tells us which: no race with
    // other tests starting their own servers at the same moment.
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      const std::string screen =
          std::to_string(kScreenW) + "x" + std::to_string(kScreenH) + "x" + std::to_string(depth);
      const std::string fd = std::to_string(fds[1]);
      // -noreset: the wallpaper's root pixmap must outlive the saver's
      // connection, as it does on a desktop where other clients stay.
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
             "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      return;
    }
    pid_ = pid;
    display_ = ":" + number;
  }
  pid_t pid_ = -1;
  std::string display_;
};

class Saver : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XServer::Get().ok()) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"xdotool", "import", "xwininfo", "xev"})
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
    char tmpl[] = "/tmp/wh-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    home_ = dir_ + "/home";
    mkdir(home_.c_str(), 0700);
    // A copy of the program: its wallpaper and error log land beside it.
    exe_ = dir_ + "/winterhollow";
    ASSERT_EQ(Sh("cp '" + std::string(WH_SAVER_BIN) + "' '" + exe_ + "'"), 0);
    Sh("xdotool mousemove 400 300");
  }
  void TearDown() override {
    for (pid_t p : {pid_, host_pid_}) {
      if (p > 0) {
        kill(p, SIGKILL);
        waitpid(p, nullptr, 0);
      }
    }
    if (!dir_.empty()) Sh("rm -rf '" + dir_ + "'");
  }

  void WriteSettings(const std::string& lines) {
    const std::string d = home_ + "/.config/WinterHollow";
    Sh("mkdir -p '" + d + "'");
    std::ofstream(d + "/settings.ini") << "[Settings]\n" << lines;
  }

  void Start(std::vector<std::string> args, std::vector<std::string> env = {}) {
    pid_ = fork();
    if (pid_ == 0) {
      setenv("HOME", home_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
      setenv("XDG_DATA_HOME", (home_ + "/.local/share").c_str(), 1);
      setenv("XDG_STATE_HOME", (home_ + "/.local/state").c_str(), 1);
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> argv{const_cast<char*>(exe_.c_str())};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      freopen("/dev/null", "w", stdout);
      execv(exe_.c_str(), argv.data());
      _exit(127);
    }
  }

  // The exit status once the saver ended within `limit`; -1 while it runs.
  int WaitEnd(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    do {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < until);
    return -1;
  }
  bool Running() { return WaitEnd(0ms) == -1; }

  // Waits until a window called WinterHollow is on screen; its id or 0.
  unsigned long WaitForWindow() {
    for (int i = 0; i < 200; ++i) {
      const std::string out = Capture("xdotool search --onlyvisible --name '^WinterHollow$' 2>/dev/null");
      if (!out.empty()) return std::stoul(out);
      if (!Running()) return 0;
      std::this_thread::sleep_for(50ms);
    }
    return 0;
  }

  // What the screen (or one window) shows now.
  wh::Image Shot(const std::string& window = "root") {
    const std::string png = dir_ + "/shot.png";
    Sh("import -window " + window + " '" + png + "'");
    return wh::LoadPng(png);
  }

  static size_t Colours(const wh::Image& img) {
    std::set<uint32_t> c;
    for (uint32_t p : img.px) c.insert(p & 0xFFFFFF);
    return c.size();
  }

  // Starts `xev` as a stand-in for another program's window; returns its id.
  unsigned long StartHostWindow(int w, int h) {
    const std::string fifo = dir_ + "/xev.out";
    host_pid_ = fork();
    if (host_pid_ == 0) {
      freopen(fifo.c_str(), "w", stdout);
      const std::string geo = std::to_string(w) + "x" + std::to_string(h) + "+50+50";
      execlp("xev", "xev", "-geometry", geo.c_str(), "-event", "structure",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      const std::string out = ReadAll(fifo);
      const size_t at = out.find("Outer window is ");
      if (at != std::string::npos) return std::stoul(out.substr(at + 16), nullptr, 16);
      std::this_thread::sleep_for(50ms);
    }
    return 0;
  }

  std::string Log() { return ReadAll(dir_ + "/winterhollow.FLG"); }

  std::string dir_, home_, exe_;
  pid_t pid_ = -1, host_pid_ = -1;
};

TEST_F(Saver, CoversTheScreenAnimatesAndAKeyEndsIt) {
  WriteSettings("Wallpaper=0\n");
  Start({"/S", "--seed", "11"});
  const unsigned long win = WaitForWindow();
  ASSERT_NE(win, 0u) << Log();
  const std::string info = Capture("xwininfo -id " + std::to_string(win));
  EXPECT_NE(info.find("Width: " + std::to_string(kScreenW)), std::string::npos) << info;
  EXPECT_NE(info.find("Height: " + std::to_string(kScreenH)), std::string::npos) << info;
  EXPECT_NE(info.find("Absolute upper-left X:  0"), std::string::npos) << info;
  std::this_thread::sleep_for(2500ms);
  const wh::Image a = Shot();
  std::this_thread::sleep_for(700ms);
  const wh::Image b = Shot();
  ASSERT_EQ(a.width, kScreenW);
  EXPECT_GT(Colours(a), 50u) << "a landscape, not an empty window";
  EXPECT_NE(a, b) << "snow falls between two frames";
  ASSERT_TRUE(Running()) << Log();
  Sh("xdotool key x");
  EXPECT_EQ(WaitEnd(5s), 0);
  EXPECT_EQ(Log(), "") << "no errors on the way";
  EXPECT_NE(access((dir_ + "/WinterHollow.bmp").c_str(), F_OK), 0) << "wallpaper is off";
}

TEST_F(Saver, SlowMouseDriftKeepsItRunningAJumpEndsIt) {
  WriteSettings("Wallpaper=0\n");
  Start({"--seed", "3"});
  ASSERT_NE(WaitForWindow(), 0u) << Log();
  std::this_thread::sleep_for(1500ms);
  for (int i = 0; i < 40; ++i) {
    Sh("xdotool mousemove_relative -- " + std::string(i % 2 ? "1 1" : "1 0"));
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(Running()) << "40 pixels in 1-pixel steps";
  Sh("xdotool mousemove_relative -- 0 3");
  EXPECT_EQ(WaitEnd(5s), 0);
}

TEST_F(Saver, AClickEndsIt) {
  WriteSettings("Wallpaper=0\n");
  Start({"--seed", "4"});
  ASSERT_NE(WaitForWindow(), 0u) << Log();
  std::this_thread::sleep_for(1000ms);
  Sh("xdotool click 1");
  EXPECT_EQ(WaitEnd(5s), 0);
}

TEST_F(Saver, LeavesAScreenSizedWallpaperAndSetsTheRootPixmap) {
  WriteSettings("Wallpaper=1\n");
  Start({"/s", "--seed", "7"});
  ASSERT_NE(WaitForWindow(), 0u) << Log();
  std::this_thread::sleep_for(2000ms);
  Sh("xdotool key space");
  ASSERT_EQ(WaitEnd(5s), 0);
  const std::string bmp = dir_ + "/WinterHollow.bmp";
  const wh::Image wall = wh::LoadBmpFile(bmp);
  EXPECT_EQ(wall.width, kScreenW);
  EXPECT_EQ(wall.height, kScreenH);
  EXPECT_GT(Colours(wall), 50u);
  // An independent reader agrees.
  const std::string identified = Capture("identify -format '%m %wx%h' '" + bmp + "'");
  EXPECT_EQ(identified.rfind("BMP", 0), 0u) << identified;
  EXPECT_NE(identified.find(" 800x600"), std::string::npos) << identified;
  EXPECT_NE(Capture("xprop -root _XROOTPMAP_ID").find("pixmap id #"), std::string::npos);
  // The renderer composes the same background from the same seed and size.
  const std::string render = WH_RENDER_BIN;
  if (!render.empty() && Sh("'" + render + "' --help | grep -q -- --wallpaper") == 0) {
    const std::string out = dir_ + "/rendered.png";
    ASSERT_EQ(Sh("'" + render + "' --seed 7 --size 800x600 --set Wallpaper=1 --wallpaper -o '" + out + "'"), 0);
    EXPECT_EQ(wh::LoadPng(out), wall);
  }
  EXPECT_EQ(Log(), "");
}

// Stand-ins for the desktops' settings tools record how they were called.
TEST_F(Saver, DesktopsGetTheWallpaperTheirOwnWay) {
  const std::string bin = dir_ + "/bin", calls = dir_ + "/calls.txt";
  Sh("mkdir -p '" + bin + "'");
  for (const char* tool : {"gsettings", "xfconf-query"}) {
    std::ofstream(bin + "/" + tool)
        << "#!/bin/sh\necho \"" << tool << " $*\" >> '" << calls << "'\n"
        << "case \"$*\" in *' -l') echo /backdrop/screen0/monitor0/workspace0/last-image;"
        << " echo /backdrop/screen0/monitor0/workspace0/color-style;; esac\n";
    Sh("chmod +x '" + bin + "/" + tool + "'");
  }
  const std::string path = "PATH=" + bin + ":" + std::getenv("PATH");
  WriteSettings("Wallpaper=1\n");
  const std::string bmp = dir_ + "/WinterHollow.bmp";
  struct Case {
    const char* desktop;
    std::string expected;
  } cases[] = {
      {"ubuntu:GNOME", "gsettings set org.gnome.desktop.background picture-uri file://" + bmp},
      {"XFCE", "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitor0/workspace0/last-image -s " + bmp},
  };
  for (const Case& c : cases) {
    Sh("rm -f '" + calls + "'");
    Start({"--seed", "2"}, {path, std::string("XDG_CURRENT_DESKTOP=") + c.desktop});
    ASSERT_NE(WaitForWindow(), 0u) << Log();
    std::this_thread::sleep_for(800ms);
    Sh("xdotool key x");
    ASSERT_EQ(WaitEnd(5s), 0);
    const std::string got = ReadAll(calls);
    EXPECT_NE(got.find(c.expected + "\n"), std::string::npos) << c.desktop << ":\n" << got;
    EXPECT_EQ(got.find("color-style -s"), std::string::npos) << "only the picture is changed";
  }
  EXPECT_EQ(Log(), "");
}

TEST_F(Saver, PreviewPaintsIntoTheHostFollowsItAndEndsWithIt) {
  const unsigned long host = StartHostWindow(320, 240);
  ASSERT_NE(host, 0u);
  Start({"/p", std::to_string(host)});
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(Running()) << Log();
  const wh::Image shot = Shot(std::to_string(host));
  EXPECT_EQ(shot.width, 320);
  EXPECT_GT(Colours(shot), 20u) << "the still, not the host's own background";
  Sh("xdotool windowsize " + std::to_string(host) + " 200 100");
  std::this_thread::sleep_for(700ms);
  const std::string tree = Capture("xwininfo -children -id " + std::to_string(host));
  EXPECT_NE(tree.find("200x100+0+0"), std::string::npos) << tree;
  // Input over the preview changes nothing; the host going away ends it.
  Sh("xdotool mousemove 120 90 click 1 key x");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(Running());
  kill(host_pid_, SIGTERM);
  waitpid(host_pid_, nullptr, 0);
  host_pid_ = -1;
  EXPECT_EQ(WaitEnd(5s), 0);
  EXPECT_NE(access((dir_ + "/WinterHollow.bmp").c_str(), F_OK), 0) << "no wallpaper from a preview";
}

TEST_F(Saver, HackModeDrawsIntoTheGivenWindowAndIgnoresInput) {
  const unsigned long host = StartHostWindow(400, 300);
  ASSERT_NE(host, 0u);
  char idhex[32];
  std::snprintf(idhex, sizeof idhex, "0x%lx", host);
  Start({"--density", "150", "--seed", "9"}, {std::string("XSCREENSAVER_WINDOW=") + idhex});
  std::this_thread::sleep_for(2500ms);
  ASSERT_TRUE(Running()) << Log();
  const wh::Image a = Shot(std::to_string(host));
  EXPECT_GT(Colours(a), 50u);
  Sh("xdotool mousemove 100 100 mousemove 300 250 click 1 key x");
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(Running()) << "the daemon decides when it ends";
  const wh::Image b = Shot(std::to_string(host));
  EXPECT_NE(a, b);
  // A new size is a new scene at that size.
  Sh("xdotool windowsize " + std::to_string(host) + " 500 200");
  std::this_thread::sleep_for(1500ms);
  const wh::Image c = Shot(std::to_string(host));
  EXPECT_EQ(c.width, 500);
  EXPECT_TRUE(Running());
  kill(host_pid_, SIGTERM);
  waitpid(host_pid_, nullptr, 0);
  host_pid_ = -1;
  EXPECT_EQ(WaitEnd(5s), 0);
  EXPECT_EQ(Log(), "");
}

TEST_F(Saver, FramesAlsoArriveWithoutSharedMemory) {
  WriteSettings("Wallpaper=0\n");
  Start({"-no-shm", "--seed", "12"});
  ASSERT_NE(WaitForWindow(), 0u) << Log();
  std::this_thread::sleep_for(2000ms);
  const wh::Image a = Shot();
  std::this_thread::sleep_for(500ms);
  const wh::Image b = Shot();
  EXPECT_GT(Colours(a), 50u);
  EXPECT_NE(a, b);
  Sh("xdotool key Escape");
  EXPECT_EQ(WaitEnd(5s), 0);
}

TEST_F(Saver, AScreenOfAnotherDepthGetsTheSameColours) {
  XServer deep16(16);
  ASSERT_TRUE(deep16.ok());
  const std::string display = "DISPLAY=" + deep16.display();
  WriteSettings("Wallpaper=0\n");
  // Still clouds and little snow, so that two runs show nearly the same.
  const std::vector<std::string> args{"--seed", "21", "--no-date", "--no-time",
                                      "--cloud-speed", "0", "--density", "20"};
  Start(args, {display});
  std::this_thread::sleep_for(2500ms);
  ASSERT_TRUE(Running()) << Log();
  const std::string png = dir_ + "/deep16.png";
  Sh(display + " import -window root '" + png + "'");
  const wh::Image shot = wh::LoadPng(png);
  Sh(display + " xdotool key x");
  EXPECT_EQ(WaitEnd(5s), 0);
  // A 5-6-5 screen keeps the top bits of each component: compare with the
  // 24-bit screen's picture of the same scene, reduced the same way.
  Start(args);
  ASSERT_NE(WaitForWindow(), 0u) << Log();
  std::this_thread::sleep_for(2500ms);
  const wh::Image full = Shot();
  Sh("xdotool key x");
  EXPECT_EQ(WaitEnd(5s), 0);
  ASSERT_EQ(shot.width, full.width);
  size_t same = 0;
  for (size_t i = 0; i < shot.px.size(); ++i) {
    const uint32_t a = shot.px[i], b = full.px[i];
    if (((a ^ b) & 0xF8FCF8) == 0) ++same;
  }
  // Snow and birds move between the two shots; the landscape does not.
  EXPECT_GT(same, shot.px.size() * 97 / 100);
}

TEST_F(Saver, RootModeDrawsOnTheRootWindowUntilTheDaemonStopsIt) {
  Start({"-root", "--seed", "5"});
  std::this_thread::sleep_for(2500ms);
  ASSERT_TRUE(Running()) << Log();
  EXPECT_GT(Colours(Shot()), 50u);
  Sh("xdotool mousemove 10 10 mousemove 700 500 click 1 key x");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(Running());
  kill(pid_, SIGTERM);
  EXPECT_EQ(WaitEnd(5s), 128 + SIGTERM);
}

TEST_F(Saver, AWallpaperThatCannotBeWrittenIsLoggedOnceAndTheSaverStillEnds) {
  WriteSettings("Wallpaper=1\n");
  // Directories where the file should go: neither place can take it.
  Sh("mkdir -p '" + dir_ + "/WinterHollow.bmp' '" + home_ + "/.local/share/WinterHollow/WinterHollow.bmp'");
  Start({"--seed", "8"});
  ASSERT_NE(WaitForWindow(), 0u) << Log();
  std::this_thread::sleep_for(1500ms);
  Sh("xdotool key x");
  EXPECT_EQ(WaitEnd(5s), 0);
  const std::string log = Log();
  size_t protocols = 0;
  for (size_t at = log.find("F E H L E R"); at != std::string::npos; at = log.find("F E H L E R", at + 1))
    ++protocols;
  EXPECT_EQ(protocols, 1u) << log;
  EXPECT_NE(log.find("exitScreensaver"), std::string::npos) << log;
  EXPECT_EQ(Capture("xdotool search --name '^WinterHollow$' 2>/dev/null"), "") << "no window left";
}

TEST_F(Saver, ASpeedOfZeroIsLoggedAndEndsTheSaver) {
  WriteSettings("Speed=0\nWallpaper=0\n");
  Start({});
  EXPECT_EQ(WaitEnd(10s), 0) << "no hang";
  const std::string log = Log();
  EXPECT_NE(log.find("11 (Division by zero)"), std::string::npos) << log;
  EXPECT_NE(log.find("Form_Load"), std::string::npos);
  EXPECT_EQ(Capture("xdotool search --name '^WinterHollow$' 2>/dev/null"), "") << "no window left";
}

TEST_F(Saver, BadArgumentsExitWithStatusTwoAndNoWindow) {
  Start({"--density", "many"});
  EXPECT_EQ(WaitEnd(5s), 2);
  Start({"/C"});
  EXPECT_EQ(WaitEnd(5s), 0) << "the settings mode needs no window yet";
  Start({"-window-id", "0x7ffffff"});
  EXPECT_EQ(WaitEnd(5s), 1) << "a daemon's window that is not there";
  Start({"/p", "123456789"});
  EXPECT_EQ(WaitEnd(5s), 0) << "a preview host that is not there: nothing to show";
}

// The window layer alone: whatever mix of whole frames, rectangles and
// copies of a kept picture it is given, the window ends up showing the frame.
TEST(X11Present, PiecesAddUpToTheFrameWithAndWithoutSharedMemory) {
  if (!XServer::Get().ok()) GTEST_SKIP() << "Xvfb is not installed";
  for (const bool shm : {true, false}) {
    SCOPED_TRACE(shm ? "shared memory" : "plain requests");
    wh::x11::Connection c;
    if (!shm) c.DisableShm();
    auto win = wh::x11::X11Window::CreateChild(c, c.root(), "present test");
    ASSERT_TRUE(win);
    XResizeWindow(c.display(), win->id(), kScreenW, kScreenH);
    win->Show();
    const int w = kScreenW, h = kScreenH;
    uint32_t seed = shm ? 7u : 8u;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint32_t> frame(static_cast<size_t>(w) * h);
    for (uint32_t& p : frame) p = next() >> 8;
    auto shown = [&] {
      XImage* img = XGetImage(c.display(), win->id(), 0, 0, w, h, AllPlanes, ZPixmap);
      size_t wrong = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          wrong += (XGetPixel(img, x, y) & 0xFFFFFF) != frame[static_cast<size_t>(y) * w + x];
      XDestroyImage(img);
      return wrong;
    };
    win->Present(frame.data(), w, h);
    ASSERT_EQ(shown(), 0u);
    // A picture wider than the frame (a band), copied twice per round.
    const int pw = w + 150, ph = 120;
    std::vector<uint32_t> band(static_cast<size_t>(pw) * ph), kept;
    for (int round = 0; round < 6; ++round) {
      // A new picture (and id) every other round; in between the id stays
      // and what the host is handed is garbage it must not look at.
      for (uint32_t& p : band) p = next() >> 8;
      if (round % 2 == 0) kept = band;
      std::vector<wh::x11::X11Window::Copy> copies;
      for (const int bx : {static_cast<int>(next() % 100) - 120, static_cast<int>(next() % 300)}) {
        const int x0 = std::max(bx, 0), x1 = std::min(bx + pw, w);
        copies.push_back({x0, 0, x1 - x0, ph, x0 - bx, 0});
        for (int y = 0; y < ph; ++y)
          for (int x = x0; x < x1; ++x)
            frame[static_cast<size_t>(y) * w + x] = kept[static_cast<size_t>(y) * pw + x - bx];
      }
      // Rectangles: many small ones, some overlapping the copies, and in
      // round 3 three whole frames, more than the shared segment holds.
      std::vector<wh::x11::X11Window::Area> areas;
      const int n = round == 3 ? 3 : 150;
      for (int i = 0; i < n; ++i) {
        wh::x11::X11Window::Area a {0, 0, w, h};
        if (round != 3)
          a = {static_cast<int>(next() % (w + 20)) - 10, static_cast<int>(next() % (h + 20)) - 10,
               1 + static_cast<int>(next() % 60), 1 + static_cast<int>(next() % 40)};
        const uint32_t colour = next() >> 8;
        for (int y = std::max(a.y, 0); y < std::min(a.y + a.h, h); ++y)
          for (int x = std::max(a.x, 0); x < std::min(a.x + a.w, w); ++x)
            frame[static_cast<size_t>(y) * w + x] = colour ^ static_cast<uint32_t>(x);
        areas.push_back(a);
      }
      win->PresentCopies(frame.data(), w, h, band.data(), pw, ph, 100 + round / 2, copies, areas);
      ASSERT_EQ(shown(), 0u) << "round " << round;
    }
    win->Close();
  }
}

}  // namespace
