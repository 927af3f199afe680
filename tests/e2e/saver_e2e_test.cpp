// The saver as a person meets it: started on an X server, looked at through
// screenshots, ended with the mouse and the keyboard. Each test runs the
// real program from a private folder with a private home, so the wallpaper,
// the error log and the settings file it leaves can be checked.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "test_support/run_command.h"
#include "test_support/xvfb.h"
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/fake_system.h"
#include "gfx/dib.h"
#include "gfx/png.h"
#include "platform/x11/x11_window.h"

namespace {

using namespace std::chrono_literals;

constexpr int kScreenW = 800, kScreenH = 600;

using wh::testing::Capture;
using wh::testing::OnPath;
using wh::testing::ReadFile;
using wh::testing::Sh;
using wh::testing::XServer;

// One Xvfb for the whole suite, made the $DISPLAY of everything the tests start.
XServer& SuiteServer() {
  static XServer s(kScreenW, kScreenH, 24);
  static bool first = true;
  if (first && s.ok()) {
    first = false;
    setenv("DISPLAY", s.display().c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
    unsetenv("XSCREENSAVER_WINDOW");
    // These are the X11 saver's tests, even inside a Wayland session.
    unsetenv("WAYLAND_DISPLAY");
  }
  return s;
}

class Saver : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SuiteServer().ok()) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"xdotool", "import", "xwininfo", "xev"})
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
    char tmpl[] = "/tmp/wh-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    home_ = dir_ + "/home";
    mkdir(home_.c_str(), 0700);
    // A copy of the program in a folder of its own: nothing may land beside
    // it (the wallpaper and the log go to the private home).
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
      // As some launchers hand it down: inherited across exec.
      if (ignore_sigchld_) signal(SIGCHLD, SIG_IGN);
      setenv("HOME", home_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
      setenv("XDG_DATA_HOME", (home_ + "/.local/share").c_str(), 1);
      setenv("XDG_STATE_HOME", (home_ + "/.local/state").c_str(), 1);
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> argv{const_cast<char*>(exe_.c_str())};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      if (!freopen((dir_ + "/stdout.txt").c_str(), "w", stdout) ||
          !freopen((dir_ + "/stderr.txt").c_str(), "w", stderr))
        _exit(127);
      execv(exe_.c_str(), argv.data());
      _exit(127);
    }
  }

  // The exit status once the saver ended within `limit`; -1 while it runs.
  int WaitEnd(std::chrono::milliseconds limit) { return wh::testing::WaitExit(pid_, limit); }
  bool Running() { return WaitEnd(0ms) == -1; }

  // Waits until a window called WinterHollow is on screen; its id or 0.
  // `env` names another X server ("DISPLAY=:n ") for both waits.
  unsigned long WaitForWindow(const std::string& env = "") {
    for (int i = 0; i < 200; ++i) {
      const std::string out =
          Capture(env + "xdotool search --onlyvisible --name '^WinterHollow$' 2>/dev/null");
      if (!out.empty()) return std::stoul(out);
      if (!Running()) return 0;
      std::this_thread::sleep_for(50ms);
    }
    return 0;
  }

  // Whether the saver's window shows its animation (its first scene is
  // composed) within `limit`; a slow build (sanitizers) may take seconds.
  bool WaitAnimating(unsigned long win, std::chrono::seconds limit = 90s,
                     const std::string& env = "") {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until && Running()) {
      if (Capture(env + "xprop -id " + std::to_string(win) + " _WINTERHOLLOW_ANIMATING 2>/dev/null")
              .find("= 1") != std::string::npos)
        return true;
      std::this_thread::sleep_for(100ms);
    }
    return false;
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
    std::remove(fifo.c_str());  // an earlier host's id must not be read for this one's
    host_pid_ = fork();
    if (host_pid_ == 0) {
      freopen(fifo.c_str(), "w", stdout);
      const std::string geo = std::to_string(w) + "x" + std::to_string(h) + "+50+50";
      execlp("xev", "xev", "-geometry", geo.c_str(), "-event", "structure",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      const std::string out = ReadFile(fifo);
      const size_t at = out.find("Outer window is ");
      if (at != std::string::npos) return std::stoul(out.substr(at + 16), nullptr, 16);
      std::this_thread::sleep_for(50ms);
    }
    return 0;
  }

  // Where Linux keeps the program's files: the user's XDG folders, never
  // the program's own folder.
  std::string LogPath() const { return home_ + "/.local/state/WinterHollow/winterhollow.FLG"; }
  std::string WallpaperPath() const { return home_ + "/.local/share/WinterHollow/WinterHollow.bmp"; }
  std::string Log() { return ReadFile(LogPath()); }
  // What the last run printed.
  std::string Out() { return ReadFile(dir_ + "/stdout.txt"); }
  std::string Err() { return ReadFile(dir_ + "/stderr.txt"); }

  // Starts the saver and waits until its window animates; the window, or 0
  // (and a failure) when none did. `on` names another X server ("DISPLAY=:n ").
  unsigned long StartAnimating(std::vector<std::string> args, std::vector<std::string> env = {},
                               const std::string& on = "") {
    Start(std::move(args), std::move(env));
    const unsigned long win = WaitForWindow(on);
    if (win != 0 && WaitAnimating(win, 90s, on)) return win;
    ADD_FAILURE() << "no animating window\n" << Log() << Err();
    return 0;
  }
  // Ends the saver with a key; its exit status.
  int KeyEnds(const std::string& key = "x", const std::string& on = "") {
    Sh(on + "xdotool key " + key);
    return WaitEnd(5s);
  }
  // Starts the saver, lets it run a moment and ends it with a key.
  void RunOnce(std::vector<std::string> args, std::vector<std::string> env = {}) {
    ASSERT_NE(StartAnimating(std::move(args), std::move(env)), 0u);
    ASSERT_EQ(KeyEnds(), 0);
  }
  // Whether xwininfo finds the window at x, y with size w x h.
  static void ExpectPlace(unsigned long win, int x, int y, int w, int h) {
    const std::string info = Capture("xwininfo -id " + std::to_string(win));
    for (const std::string& line :
         {"Absolute upper-left X:  " + std::to_string(x) + "\n",
          "Absolute upper-left Y:  " + std::to_string(y) + "\n",
          "Width: " + std::to_string(w) + "\n", "Height: " + std::to_string(h) + "\n"})
      EXPECT_NE(info.find(line), std::string::npos) << line << info;
  }
  bool NoWindowLeft() { return Capture("xdotool search --name '^WinterHollow$' 2>/dev/null").empty(); }
  // How many error protocols the log holds.
  static size_t Protocols(const std::string& log) {
    size_t n = 0;
    for (size_t at = log.find("F E H L E R"); at != std::string::npos; at = log.find("F E H L E R", at + 1)) ++n;
    return n;
  }

  // Stand-ins for the desktops' settings tools in dir_/bin: they record how
  // they were called in calls.txt and keep the values set in store.txt, as
  // the real ones do; WH_SLOW=<seconds> makes them hang first. Returns the
  // PATH entry that finds them.
  std::string InstallSettingsTools() {
    const std::string bin = dir_ + "/bin", calls = Calls(), store = StoreFile();
    Sh("mkdir -p '" + bin + "'");
    const std::string slow = "[ -z \"$WH_SLOW\" ] || sleep \"$WH_SLOW\"\n";
    std::ofstream(bin + "/gsettings")
        << "#!/bin/sh\necho \"gsettings $*\" >> '" << calls << "'\n" << slow
        << "case \"$1\" in\n"
        << "get) v=$(grep \"^$2 $3 \" '" << store << "' | tail -n 1); [ -n \"$v\" ] || exit 1;"
        << " echo \"${v#\"$2 $3 \"}\";;\n"
        // gsettings keeps a plain text as a quoted string.
        << "set) v=\"$4\"; case \"$v\" in \\'*) ;; *) v=\"'$v'\";; esac;"
        << " echo \"$2 $3 $v\" >> '" << store << "';;\nesac\n";
    std::ofstream(bin + "/xfconf-query")
        << "#!/bin/sh\necho \"xfconf-query $*\" >> '" << calls << "'\n" << slow
        << "case \"$*\" in\n"
        << "*' -l') echo /backdrop/screen0/monitor0/workspace0/last-image;"
        << " echo /backdrop/screen0/monitor0/workspace0/color-style;;\n"
        << "*' -s '*) echo \"$4 $6\" >> '" << store << "';;\n"
        << "*) v=$(grep \"^$4 \" '" << store << "' | tail -n 1); [ -n \"$v\" ] || exit 1;"
        << " echo \"${v#\"$4 \"}\";;\nesac\n";
    // Plasma's tool writes the picture into Plasma's own settings file, where
    // the saver reads the user's.
    const std::string applets = home_ + "/.config/plasma-org.kde.plasma.desktop-appletsrc";
    std::ofstream(bin + "/plasma-apply-wallpaperimage")
        << "#!/bin/sh\necho \"plasma-apply-wallpaperimage $*\" >> '" << calls << "'\n" << slow
        << "echo \"plasma $1\" >> '" << store << "'\n"
        << "mkdir -p \"$(dirname '" << applets << "')\"\n"
        << "printf '[Containments][1][Wallpaper][org.kde.image][General]\\nImage=file://%s\\n' \"$1\""
        << " > '" << applets << "'\n";
    // sway's configuration names the user's picture; its IPC sets another.
    std::ofstream(bin + "/swaymsg")
        << "#!/bin/sh\necho \"swaymsg $*\" >> '" << calls << "'\n" << slow
        << "case \"$*\" in\n"
        << "'-p -t get_config') echo 'output * bg /home/u/pictures/mountains.jpg fill';;\n"
        << "'output '*) o=\"$2\"; shift 3; echo \"sway $o $*\" >> '" << store << "';;\n"
        << "*) exit 1;;\nesac\n";
    Sh("chmod +x '" + bin + "/gsettings' '" + bin + "/xfconf-query' '" + bin +
       "/plasma-apply-wallpaperimage' '" + bin + "/swaymsg'");
    return "PATH=" + bin + ":" + std::getenv("PATH");
  }
  std::string Calls() const { return dir_ + "/calls.txt"; }
  std::string StoreFile() const { return dir_ + "/store.txt"; }
  // The latest value the stand-ins hold for a key.
  std::string Latest(const std::string& key) {
    std::istringstream in(ReadFile(StoreFile()));
    std::string line, value;
    while (std::getline(in, line))
      if (line.rfind(key + " ", 0) == 0) value = line.substr(key.size() + 1);
    return value;
  }

  std::string dir_, home_, exe_;
  pid_t pid_ = -1, host_pid_ = -1;
  bool ignore_sigchld_ = false;
};

// Full screen, with and without shared memory: the window covers the
// screen, carries its title and class, animates, and a key, a click or a
// mouse jump ends it; a slow drift of the mouse does not.
TEST_F(Saver, CoversTheScreenAnimatesAndAKeyAClickOrAJumpEndsIt) {
  WriteSettings("Wallpaper=0\n");
  const struct {
    std::vector<std::string> args;
    const char* end;
  } cases[] = {{{"/S", "--seed", "11"}, "key x"},
               {{"-no-shm", "--seed", "12"}, "key Escape"},
               {{"--seed", "4"}, "click 1"},
               {{"--seed", "3"}, "mousemove_relative -- 0 3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.end);
    const unsigned long win = StartAnimating(c.args);
    ASSERT_NE(win, 0u);
    const std::string id = std::to_string(win);
    ExpectPlace(win, 0, 0, kScreenW, kScreenH);
    EXPECT_NE(Capture("xprop -id " + id + " WM_CLASS").find("\"WinterHollow\""), std::string::npos);
    const wh::Image a = Shot();
    std::this_thread::sleep_for(700ms);
    const wh::Image b = Shot();
    ASSERT_EQ(a.width, kScreenW);
    EXPECT_GT(Colours(a), 50u) << "a landscape, not an empty window";
    EXPECT_NE(a, b) << "snow falls between two frames";
    for (int i = 0; i < 40; ++i) {
      Sh("xdotool mousemove_relative -- " + std::string(i % 2 ? "1 1" : "1 0"));
      std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(Running()) << "40 pixels in 1-pixel steps\n" << Log();
    Sh(std::string("xdotool ") + c.end);
    EXPECT_EQ(WaitEnd(5s), 0);
  }
  EXPECT_EQ(Log(), "") << "no errors on the way";
  EXPECT_NE(access(WallpaperPath().c_str(), F_OK), 0) << "wallpaper is off";
}

TEST_F(Saver, LeavesAScreenSizedWallpaperAndSetsTheRootPixmap) {
  WriteSettings("Wallpaper=1\n");
  ASSERT_NE(StartAnimating({"/s", "--seed", "7"}), 0u);
  ASSERT_EQ(KeyEnds("space"), 0);
  const std::string bmp = WallpaperPath();
  const wh::Image wall = wh::LoadBmpFile(bmp);
  EXPECT_NE(access((dir_ + "/WinterHollow.bmp").c_str(), F_OK), 0) << "not beside the program";
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

// Stand-ins for the desktops' settings tools record how they were called and
// keep the values set, as the real ones do: the user's own background goes,
// and --restore-wallpaper brings it back. GNOME's runs as under a launcher
// that ignores SIGCHLD and hands that down: the tools' answers must still be
// heard, or the user's background is never recorded.
TEST_F(Saver, DesktopsGetTheWallpaperTheirOwnWayAndGiveTheUsersBack) {
  const std::string path = InstallSettingsTools(), calls = Calls(), store = StoreFile();
  const std::string applets = home_ + "/.config/plasma-org.kde.plasma.desktop-appletsrc";
  WriteSettings("Wallpaper=1\n");
  const std::string bmp = WallpaperPath();
  const std::string gnome = "org.gnome.desktop.background ";
  const std::string xfce = "/backdrop/screen0/monitor0/workspace0/last-image";
  struct Case {
    const char* desktop;
    std::string users;    // what the stand-in holds before the saver runs
    std::string expected;  // the call that sets the saver's picture
    std::vector<std::pair<std::string, std::string>> keys;  // key, the user's value
  } cases[] = {
      {"ubuntu:GNOME",
       gnome + "picture-uri 'file:///usr/share/backgrounds/beach.jpg'\n" + gnome +
           "picture-uri-dark 'file:///usr/share/backgrounds/beach-night.jpg'\n",
       "gsettings set " + gnome + "picture-uri file://" + bmp,
       {{gnome + "picture-uri", "'file:///usr/share/backgrounds/beach.jpg'"},
        {gnome + "picture-uri-dark", "'file:///usr/share/backgrounds/beach-night.jpg'"}}},
      {"XFCE", xfce + " /usr/share/backgrounds/xfce/forest.png\n",
       "xfconf-query -c xfce4-desktop -p " + xfce + " -s " + bmp,
       {{xfce, "/usr/share/backgrounds/xfce/forest.png"}}},
      {"KDE", "plasma /usr/share/wallpapers/Next.png\n", "plasma-apply-wallpaperimage " + bmp,
       {{"plasma", "/usr/share/wallpapers/Next.png"}}},
      {"sway", "sway * /home/u/pictures/mountains.jpg fill\n",
       "swaymsg output * bg \"" + bmp + "\" fill",
       {{"sway *", "/home/u/pictures/mountains.jpg fill"}}},
  };
  for (const Case& c : cases) {
    ignore_sigchld_ = std::string(c.desktop) == "ubuntu:GNOME";
    Sh("rm -f '" + calls + "' '" + applets + "'");
    std::ofstream(store) << c.users;
    if (std::string(c.desktop) == "KDE")
      std::ofstream(applets) << "[Containments][1][Wallpaper][org.kde.image][General]\n"
                                "Image=file:///usr/share/wallpapers/Next.png\n";
    const std::vector<std::string> env{path, std::string("XDG_CURRENT_DESKTOP=") + c.desktop};
    RunOnce({"--seed", "2"}, env);
    const std::string got = ReadFile(calls);
    EXPECT_NE(got.find(c.expected + "\n"), std::string::npos) << c.desktop << ":\n" << got;
    EXPECT_EQ(got.find("color-style -s"), std::string::npos) << "only the picture is changed";
    for (const auto& [key, users] : c.keys) EXPECT_NE(Latest(key), users) << key;
    // A second run finds its own picture there and must not take it for the user's.
    RunOnce({"--seed", "3"}, env);
    Start({"--restore-wallpaper"}, env);
    EXPECT_EQ(WaitEnd(5s), 0) << Err();
    EXPECT_NE(Out().find("back"), std::string::npos) << Out();
    for (const auto& [key, users] : c.keys) EXPECT_EQ(Latest(key), users) << c.desktop << " " << key;
    // Once back, there is nothing more to restore.
    Start({"-restore-wallpaper"}, env);
    EXPECT_EQ(WaitEnd(5s), 1);
    EXPECT_NE(Err().find("there is no background to put back"), std::string::npos) << Err();
  }
  EXPECT_EQ(Log(), "");
}

// A settings tool that hangs must not keep the saver on the screen: the
// windows go at the key, and the tool is killed after its limit.
TEST_F(Saver, AHangingSettingsToolNeitherHoldsTheScreenNorTheExit) {
  const std::string path = InstallSettingsTools();
  std::ofstream(StoreFile()) << "org.gnome.desktop.background picture-uri 'file:///beach.jpg'\n";
  WriteSettings("Wallpaper=1\n");
  ASSERT_NE(StartAnimating({"--seed", "6"}, {path, "XDG_CURRENT_DESKTOP=GNOME", "WH_SLOW=30"}), 0u);
  Sh("xdotool key x");
  // Within a second of the key, the saver still busy with the tool.
  bool hidden = false, busy = false;
  for (int i = 0; i < 20 && !hidden; ++i) {
    hidden = Capture("xdotool search --onlyvisible --name '^WinterHollow$' 2>/dev/null").empty();
    siginfo_t info{};
    busy = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
    if (!hidden) std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(hidden) << "the desktop shows while the tool still runs";
  EXPECT_TRUE(busy) << "(the tool was to take its full limit)";
  EXPECT_EQ(WaitEnd(20s), 0) << "the hanging tool was not cut off";
  EXPECT_EQ(Latest("org.gnome.desktop.background picture-uri"), "'file:///beach.jpg'");
}

// Without a desktop's settings tool the picture goes on the root window; the
// picture another setter had there comes back with --restore-wallpaper.
TEST_F(Saver, TheRootWindowsOwnPictureComesBack) {
  ::Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  const ::Window root = DefaultRootWindow(d);
  const unsigned w = kScreenW, h = kScreenH;
  Pixmap pm = XCreatePixmap(d, root, w, h, 24);
  GC gc = XCreateGC(d, pm, 0, nullptr);
  XSetForeground(d, gc, 0xB03020);  // a brick red no scene has
  XFillRectangle(d, pm, gc, 0, 0, w, h);
  XFreeGC(d, gc);
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
    XChangeProperty(d, root, XInternAtom(d, name, False), XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pm), 1);
  XSetWindowBackgroundPixmap(d, root, pm);
  XClearWindow(d, root);
  XSetCloseDownMode(d, RetainPermanent);
  XCloseDisplay(d);
  auto centre = [&] {
    const wh::Image shot = Shot();
    return shot.px[static_cast<size_t>(kScreenH / 2) * kScreenW + kScreenW / 2] & 0xFFFFFF;
  };
  ASSERT_EQ(centre(), 0xB03020u);
  WriteSettings("Wallpaper=1\n");
  RunOnce({"--seed", "4"});
  EXPECT_NE(centre(), 0xB03020u) << "the landscape is the background now";
  // The kept picture is read bounded: a pipe put in its place is refused at
  // once, and the record stays for another try.
  const std::string kept = home_ + "/.local/state/WinterHollow/previous-background.bmp";
  const std::string aside = kept + ".aside";
  ASSERT_EQ(rename(kept.c_str(), aside.c_str()), 0);
  ASSERT_EQ(mkfifo(kept.c_str(), 0600), 0);
  Start({"--restore-wallpaper"});
  EXPECT_EQ(WaitEnd(10s), 1) << "no hang on the pipe";
  EXPECT_NE(Err().find("could not put back"), std::string::npos) << Err();
  ASSERT_EQ(rename(aside.c_str(), kept.c_str()), 0);
  Start({"--restore-wallpaper"});
  EXPECT_EQ(WaitEnd(5s), 0) << Err();
  EXPECT_EQ(centre(), 0xB03020u);
  EXPECT_EQ(Log(), "");
}

// Inside another program's window (a preview's host, the daemon's window):
// it paints there, follows the window's size, ignores input over it, and
// ends when the window goes away.
TEST_F(Saver, InsideAnotherProgramsWindowItFollowsItIgnoresInputAndEndsWithIt) {
  const struct {
    bool preview;
    int w, h, new_w, new_h;
  } cases[] = {{true, 320, 240, 200, 100}, {false, 400, 300, 500, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.preview ? "preview" : "daemon's window");
    const unsigned long host = StartHostWindow(c.w, c.h);
    ASSERT_NE(host, 0u);
    const std::string id = std::to_string(host);
    char idhex[32];
    std::snprintf(idhex, sizeof idhex, "0x%lx", host);
    if (c.preview)
      Start({"/p", id});
    else
      Start({"--density", "150", "--seed", "9"}, {std::string("XSCREENSAVER_WINDOW=") + idhex});
    std::this_thread::sleep_for(2500ms);
    ASSERT_TRUE(Running()) << Log();
    const wh::Image a = Shot(id);
    EXPECT_EQ(a.width, c.w);
    EXPECT_GT(Colours(a), c.preview ? 20u : 50u) << "the scene, not the host's own background";
    Sh("xdotool mousemove 100 100 mousemove 120 90 click 1 key x");
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(Running()) << "input over it changes nothing";
    if (!c.preview) {
      EXPECT_NE(Shot(id), a) << "the daemon's window animates";
    }
    Sh("xdotool windowsize " + id + " " + std::to_string(c.new_w) + " " + std::to_string(c.new_h));
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(Shot(id).width, c.new_w);
    if (c.preview) {
      // xwininfo lists the child with its size, its name and its class.
      const std::string tree = Capture("xwininfo -children -id " + id);
      EXPECT_NE(tree.find("200x100+0+0"), std::string::npos) << tree;
      EXPECT_NE(tree.find("\"WinterHollow\": (\"winterhollow\" \"WinterHollow\")"),
                std::string::npos)
          << tree;
      EXPECT_NE(access(WallpaperPath().c_str(), F_OK), 0) << "no wallpaper from a preview";
    }
    EXPECT_TRUE(Running());
    kill(host_pid_, SIGTERM);
    waitpid(host_pid_, nullptr, 0);
    host_pid_ = -1;
    EXPECT_EQ(WaitEnd(5s), 0);
  }
  EXPECT_EQ(Log(), "");
}

TEST_F(Saver, AScreenOfAnotherDepthGetsTheSameColours) {
  XServer deep16(kScreenW, kScreenH, 16);
  ASSERT_TRUE(deep16.ok());
  const std::string display = "DISPLAY=" + deep16.display();
  WriteSettings("Wallpaper=0\n");
  // One frame every two seconds: the clouds and the snow hardly move.
  const std::vector<std::string> args{"--seed", "21", "--no-date", "--no-time", "--speed",
                                      "0.1", "--cloud-speed", "0.04", "--density", "22"};
  ASSERT_NE(StartAnimating(args, {display}, display + " "), 0u);
  const std::string png = dir_ + "/deep16.png";
  Sh(display + " import -window root '" + png + "'");
  const wh::Image shot = wh::LoadPng(png);
  EXPECT_EQ(KeyEnds("x", display + " "), 0);
  // A 5-6-5 screen keeps the top bits of each component: compare with the
  // 24-bit screen's picture of the same scene, reduced the same way.
  ASSERT_NE(StartAnimating(args), 0u);
  const wh::Image full = Shot();
  EXPECT_EQ(KeyEnds(), 0);
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
  // A folder where the file should go: it cannot take the place.
  Sh("mkdir -p '" + WallpaperPath() + "'");
  Start({"--seed", "8"});
  ASSERT_NE(WaitForWindow(), 0u) << Log();
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(KeyEnds(), 0);
  const std::string log = Log();
  EXPECT_EQ(Protocols(log), 1u) << log;
  EXPECT_NE(log.find("exitScreensaver"), std::string::npos) << log;
  EXPECT_TRUE(NoWindowLeft());
}

TEST_F(Saver, ASpeedOfZeroIsLoggedAndEndsTheSaverWithoutAWallpaper) {
  // With the wallpaper on, the exit comes before any scene: there is no
  // picture to leave, so nothing is written and the background stays.
  for (const char* wallpaper : {"0", "1"}) {
    Sh("xprop -root -remove _XROOTPMAP_ID; xprop -root -remove ESETROOT_PMAP_ID");
    Sh("rm -rf '" + home_ + "/.local'");
    WriteSettings(std::string("Speed=0\nWallpaper=") + wallpaper + "\n");
    Start({});
    EXPECT_EQ(WaitEnd(10s), 0) << "no hang";
    const std::string log = Log();
    EXPECT_NE(log.find("11 (Division by zero)"), std::string::npos) << log;
    EXPECT_NE(log.find("Form_Load"), std::string::npos);
    EXPECT_EQ(Protocols(log), 1u) << log;
    EXPECT_TRUE(NoWindowLeft());
    // A person at a terminal learns where the protocol went, in one line.
    EXPECT_EQ(Err(), "winterhollow: run-time errors were written to " + LogPath() + "\n");
    EXPECT_NE(access(WallpaperPath().c_str(), F_OK), 0) << "Wallpaper=" << wallpaper;
    EXPECT_EQ(Capture("xprop -root _XROOTPMAP_ID").find("pixmap id #"), std::string::npos)
        << "Wallpaper=" << wallpaper;
  }
}

// Every refusal is one line on standard error that says what is wrong, and
// its status tells a bad command line (2) from a missing display or window (1).
// (Each range message is pinned by the option parsers' own tests.)
TEST_F(Saver, BadArgumentsAndMissingWindowsSayWhyAndExitNonZero) {
  const std::string no_display = "DISPLAY=";
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> env;
    int status;
    std::string message;
  } cases[] = {
      {{"--density", "5000"}, {}, 2, "--density: '5000' is not a whole number from 22 to 200"},
      {{"--speed", "0"}, {}, 2, "--speed: '0' is not a number from 0.1 to 10"},
      {{"--density", "many"}, {}, 2, "--density: 'many' is not a whole number"},
      {{"-root=1"}, {}, 2, "--root: takes no value"},
      {{"--sparkle"}, {}, 2, "--sparkle: unknown option"},
      {{"/P"}, {}, 2, "/P needs the decimal id of the window to draw into"},
      {{"/p:abc"}, {}, 2, "/P needs the decimal id of the window to draw into"},
      {{"/p", "0x2a00007"}, {}, 2, "/P needs the decimal id of the window to draw into"},
      {{"/p", "123456789"}, {}, 1, "/P: there is no window 123456789 to draw into"},
      {{"-window-id", "0x7ffffff"}, {}, 1, "--window-id: there is no window 0x7ffffff to draw into"},
      {{}, {no_display, "DISPLAY=:9999"}, 1, "cannot open the X display ':9999'"},
      {{"-root"}, {no_display, "WAYLAND_DISPLAY="}, 1, "DISPLAY is not set"},
      {{"-root"}, {no_display, "WAYLAND_DISPLAY=wh-wl-absent"}, 1,
       "needs XWayland, which sets DISPLAY"},
      // A saver built without Wayland is an X program in a Wayland session.
      {{}, {no_display, "WAYLAND_DISPLAY=wh-wl-absent"}, 1,
       WH_SAVER_HAS_WAYLAND
           ? "no Wayland compositor answers at 'wh-wl-absent', and DISPLAY is not set"
           : "needs XWayland, which sets DISPLAY"},
      {{"--wayland"}, {no_display, "WAYLAND_DISPLAY=wh-wl-absent"}, 1,
       WH_SAVER_HAS_WAYLAND ? "--wayland: no Wayland compositor answers at 'wh-wl-absent'"
                            : "--wayland: this winterhollow was built without Wayland"},
  };
  for (const auto& c : cases) {
    const std::string what = c.args.empty() ? c.env.back() : c.args[0];
    Start(c.args, c.env);
    EXPECT_EQ(WaitEnd(5s), c.status) << what;
    const std::string err = Err();
    EXPECT_EQ(err.rfind("winterhollow: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line: " << err;
  }
  EXPECT_TRUE(NoWindowLeft());
  Start({"/C"});
  EXPECT_EQ(WaitEnd(5s), 1) << "no settings dialog program beside this copy of the saver";
  for (const char* v : {"--version", "-version"}) {
    Start({v});
    EXPECT_EQ(WaitEnd(5s), 0);
    EXPECT_EQ(Out().rfind("winterhollow ", 0), 0u) << Out();
  }
}

// A window of its own, as a stock hack's -window: it fits the screen or
// takes the size and place asked for, carries a title and a class, ignores
// other input and closes on q, Q or Escape.
TEST_F(Saver, AWindowOfItsOwnFitsTheScreenAndClosesOnQ) {
  WriteSettings("Wallpaper=0\n");
  const struct {
    std::vector<std::string> args;
    int x, y, w, h;
    const char* close_key;
  } cases[] = {
      // 3/4 of the 800 x 600 screen, 4:3, centred.
      {{"-window", "--seed", "2"}, 100, 75, 600, 450, "q"},
      {{"--window", "-geometry", "320x200+30+40"}, 30, 40, 320, 200, "shift+q"},
      {{"--geometry=200x150-0-0"}, 600, 450, 200, 150, "Escape"},
  };
  for (const auto& c : cases) {
    Start(c.args);
    const unsigned long win = WaitForWindow();
    ASSERT_NE(win, 0u) << Err();
    const std::string id = std::to_string(win);
    ExpectPlace(win, c.x, c.y, c.w, c.h);
    EXPECT_NE(Capture("xprop -id " + id + " WM_CLASS").find("\"winterhollow\", \"WinterHollow\""),
              std::string::npos);
    // With no window manager the keyboard follows the pointer.
    Sh("xdotool mousemove " + std::to_string(c.x + 10) + " " + std::to_string(c.y + 10));
    std::this_thread::sleep_for(500ms);
    Sh("xdotool click 1 key x key space");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(Running()) << "only q and Escape close it";
    Sh(std::string("xdotool key ") + c.close_key);
    EXPECT_EQ(WaitEnd(5s), 0) << c.close_key;
  }
}

// --fps, the settings program's "Show frame rate", puts the rate in a black
// box in the top-left corner.
TEST_F(Saver, TheFrameRateShowsWhenAsked) {
  WriteSettings("Wallpaper=0\n");
  // Black pixels in the top-left corner once the animation runs (the box
  // comes with the frames after it); a loaded machine may take a while for
  // the first ones, so look again.
  auto black_corner = [&](std::vector<std::string> args, bool box) {
    const unsigned long win = StartAnimating(args);
    int black = -1;
    if (win == 0) return black;
    for (int tries = 0; tries < 8; ++tries) {
      std::this_thread::sleep_for(tries == 0 ? 1500ms : 1000ms);
      const wh::Image shot = Shot(std::to_string(win));
      black = 0;
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 40; ++x)
          black += (shot.px[static_cast<size_t>(y) * shot.width + x] & 0xFFFFFF) == 0;
      if (box ? black == 120 : black < 10) break;
    }
    kill(pid_, SIGTERM);
    WaitEnd(5s);
    return black;
  };
  EXPECT_EQ(black_corner({"--window", "--seed", "21", "--fps"}, true), 120);
  EXPECT_LT(black_corner({"--window", "--seed", "21"}, false), 10) << "the sky, without the box";
}

TEST_F(Saver, AHandleTooLargeIsReportedUnderMainAndTheProgramGoesOn) {
  const std::vector<std::vector<std::string>> cases = {
      {"/p", "99999999999"}, {"/p", "3e9"}, {"/a", "2147483648"}, {"/P:-2147483649"}};
  for (const auto& args : cases) {
    Sh("rm -f '" + LogPath() + "'");
    const std::string handle = args.back();
    Start(args);
    EXPECT_EQ(WaitEnd(5s), 0) << handle << ": no abort, nothing to show";
    const std::string log = Log();
    EXPECT_NE(log.find("6 (Overflow)"), std::string::npos) << handle << "\n" << log;
    EXPECT_NE(log.find("Modul:\tSaver\r\n"), std::string::npos) << handle;
    EXPECT_NE(log.find("Prozedur / procedure:\tMain\r\n"), std::string::npos) << handle;
  }
  EXPECT_NE(access((dir_ + "/winterhollow.FLG").c_str(), F_OK), 0) << "not beside the program";
}

// The window layer alone: whatever mix of whole frames, rectangles and
// copies of a kept picture it is given, the window ends up showing the frame.
TEST(X11Present, PiecesAddUpToTheFrameWithAndWithoutSharedMemory) {
  if (!SuiteServer().ok()) GTEST_SKIP() << "Xvfb is not installed";
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
