// The desktop background against what real desktops do: settings tools that
// hang, a memory file someone tampered with, a record that cannot be
// written, a data folder that moved. A stand-in for gsettings on PATH keeps
// its values in a file, as the real tool keeps them in dconf; the GNOME way
// needs no X display.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/fake_system.h"
#include "platform/x11/background_memory.h"
#include "platform/x11/desktop_background.h"
#include "system/files.h"

namespace wh::x11 {
namespace {

using testing::ReadFile;
using testing::Watchdog;
using testing::WriteFile;

const std::string kGnome = "org.gnome.desktop.background";

class Background : public testing::WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    bin = dir.path() + "/bin";
    mkdir(bin.c_str(), 0700);
    // gsettings as the stand-in: "get" prints the latest value set (exit 1
    // when there is none), "set" appends it; WH_SLOW makes it hang first.
    WriteFile(bin + "/gsettings",
              "#!/bin/sh\necho \"$*\" >> '" + Calls() + "'\n"
              "echo $$ >> '" + dir.path() + "/pids'\n"
              "if [ -n \"$WH_SLOW\" ]; then sleep \"$WH_SLOW\" & echo $! >> '" + dir.path() +
                  "/pids'; wait; fi\n"
              "case \"$1\" in\n"
              "get) v=$(grep \"^$2 $3 \" '" + Store() + "' | tail -n 1); [ -n \"$v\" ] || exit 1;"
              " echo \"${v#\"$2 $3 \"}\";;\n"
              "set) v=\"$4\"; case \"$v\" in \\'*) ;; *) v=\"'$v'\";; esac;"
              " echo \"$2 $3 $v\" >> '" + Store() + "';;\nesac\n");
    chmod((bin + "/gsettings").c_str(), 0700);
    for (const char* v : {"PATH", "XDG_CURRENT_DESKTOP", "WH_SLOW", "DISPLAY"}) {
      const char* old = std::getenv(v);
      saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
    }
    setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    unsetenv("DISPLAY");  // the root window's way stays out of these tests
    unsetenv("WH_SLOW");
    wallpaper = dir.path() + "/data/WinterHollow/WinterHollow.bmp";
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    WithFakeSystem::TearDown();
  }
  std::string Calls() const { return dir.path() + "/calls"; }
  std::string Store() const { return dir.path() + "/store"; }
  std::string MemoryFile() const { return sys.state_dir + "/WinterHollow/previous-background"; }
  // What the desktop shows for a key now.
  std::string Now(const std::string& key) {
    std::string v;
    std::istringstream in(ReadFile(Store()));
    for (std::string line; std::getline(in, line);)
      if (line.rfind(kGnome + " " + key + " ", 0) == 0) v = line.substr(kGnome.size() + key.size() + 2);
    return v;
  }
  void Holds(const std::string& uri, const std::string& dark) {
    WriteFile(Store(), kGnome + " picture-uri " + uri + "\n" + kGnome + " picture-uri-dark " + dark + "\n");
    std::remove(Calls().c_str());
  }
  bool Set() { return SetDesktopBackground(wallpaper, nullptr, 0, 0); }
  int SetCalls() {
    const std::string calls = ReadFile(Calls());
    int n = 0;
    for (size_t at = calls.find("set "); at != std::string::npos; at = calls.find("set ", at + 1)) ++n;
    return n;
  }

  std::string bin, wallpaper;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Whether the process still runs (a zombie no longer does).
bool Runs(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

const std::string kBeach = "'file:///usr/share/backgrounds/beach.jpg'";
const std::string kNight = "'file:///usr/share/backgrounds/night.jpg'";

// The record is written before the background changes; a record that
// cannot be written leaves the user's background where it is.
TEST_F(Background, AnUnwritableRecordLeavesTheBackgroundAlone) {
  const std::string folder = sys.state_dir + "/WinterHollow";
  struct Case {
    const char* name;
    std::function<void()> spoil;
  } cases[] = {
      {"a read-only record", [&] { WriteFile(MemoryFile(), ""); chmod(MemoryFile().c_str(), 0444); }},
      {"a folder at the record's place", [&] { mkdir(MemoryFile().c_str(), 0700); }},
      {"a state folder all may write into", [&] { chmod(folder.c_str(), 0777); }},
  };
  for (const Case& c : cases) {
    std::system(("rm -rf '" + sys.state_dir + "'").c_str());
    ASSERT_TRUE(files::MakeOwnFolder(folder));
    c.spoil();
    Holds(kBeach, kNight);
    EXPECT_THROW(Set(), RuntimeError) << c.name;
    EXPECT_EQ(SetCalls(), 0) << c.name << ": " << ReadFile(Calls());
    EXPECT_EQ(Now("picture-uri"), kBeach) << c.name;
  }
  // Writable again: recorded in a folder for the user alone, then replaced.
  std::system(("rm -rf '" + sys.state_dir + "'").c_str());
  Holds(kBeach, kNight);
  EXPECT_TRUE(Set());
  EXPECT_EQ(ReadFile(MemoryFile()), "gsettings " + kGnome + " picture-uri\t" + kBeach + "\n" +
                                        "gsettings " + kGnome + " picture-uri-dark\t" + kNight + "\n");
  EXPECT_EQ(Now("picture-uri"), "'file://" + wallpaper + "'");
  struct stat st {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// A picture of the saver's, from wherever its data folder was, is never
// taken for the user's: the user's own stays recorded and comes back.
TEST_F(Background, TheSaversOwnPicturesAreNeverRecordedAsTheUsers) {
  struct Case {
    std::string there;  // what the desktop shows before this run
    bool users;         // whether that is the user's own
  } cases[] = {
      {"'file://" + wallpaper + "'", false},
      {"'file:///home/old/.local/share/WinterHollow/WinterHollow.bmp'", false},
      {"'file:///media/my%20data/WinterHollow/WinterHollow.bmp'", false},
      {"'file:///home/u/Pictures/WinterHollow.bmp'", true},  // the user's copy, kept elsewhere
      {"'file:///home/u/Pictures/forest.png'", true},
  };
  for (const Case& c : cases) {
    std::system(("rm -rf '" + sys.state_dir + "'").c_str());
    Holds(kBeach, kNight);
    ASSERT_TRUE(Set());  // the user's beach is recorded
    WriteFile(Store(), ReadFile(Store()) + kGnome + " picture-uri " + c.there + "\n");
    ASSERT_TRUE(Set());
    std::string message;
    ASSERT_TRUE(RestoreDesktopBackground(message)) << message;
    EXPECT_EQ(Now("picture-uri"), c.users ? c.there : kBeach) << c.there;
    EXPECT_EQ(Now("picture-uri-dark"), kNight);
  }
  EXPECT_EQ(Protocols(), 0);
}

// A settings tool that hangs is killed after its limit, with what it
// started, and the saver goes on.
TEST_F(Background, AHangingSettingsToolIsKilled) {
  Holds(kBeach, kNight);
  setenv("WH_SLOW", "30", 1);
  Watchdog watchdog(20);
  EXPECT_FALSE(Set());
  std::istringstream pids(ReadFile(dir.path() + "/pids"));
  int n = 0;
  for (pid_t pid; pids >> pid; ++n) {
    // What the tool started dies of the same kill, a moment later.
    for (int i = 0; i < 100 && Runs(pid); ++i) usleep(10000);
    EXPECT_FALSE(Runs(pid)) << "process " << pid;
  }
  EXPECT_GE(n, 2);
  EXPECT_EQ(SetCalls(), 0) << "what the user had could not be read: nothing is changed";
  EXPECT_EQ(Now("picture-uri"), kBeach);
}

// The memory file is read bounded and without waiting: a pipe, a device,
// a folder or a huge file there is reported, never hung on.
TEST_F(Background, AMemoryFileThatIsNoFileIsReportedNotWaitedOn) {
  const std::string folder = sys.state_dir + "/WinterHollow";
  std::string huge = "gsettings " + kGnome + " picture-uri\t" + kBeach + "\n";
  while (huge.size() <= BackgroundMemory::kMaxFileSize) huge += "#" + std::string(100, 'x') + "\n";
  // What is there, and whether a new record may replace it (a regular file
  // may; anything else is left alone, and so is the background).
  const std::vector<std::pair<std::function<void()>, bool>> plants = {
      {[&] { ASSERT_EQ(mkfifo(MemoryFile().c_str(), 0600), 0); }, false},
      {[&] { ASSERT_EQ(symlink("/dev/zero", MemoryFile().c_str()), 0); }, false},
      {[&] { ASSERT_EQ(mkdir(MemoryFile().c_str(), 0700), 0); }, false},
      {[&] { WriteFile(MemoryFile(), huge); }, true},
  };
  Watchdog watchdog(20);
  int n = 0;
  for (const auto& [plant, replaceable] : plants) {
    ++n;
    std::system(("rm -rf '" + folder + "'").c_str());
    ASSERT_TRUE(files::MakeOwnFolder(folder));
    plant();
    ErrScribe::Instance().Reset();
    const int before = Protocols();
    std::string message;
    EXPECT_FALSE(RestoreDesktopBackground(message)) << n;
    EXPECT_EQ(Protocols(), before + 1) << n;
    Holds(kBeach, kNight);
    if (replaceable) {
      EXPECT_TRUE(Set()) << n;
      EXPECT_EQ(ReadFile(MemoryFile()).find('#'), std::string::npos) << n;
    } else {
      EXPECT_THROW(Set(), RuntimeError) << n << ": nothing can be recorded over it";
      EXPECT_EQ(SetCalls(), 0) << n;
    }
  }
  EXPECT_NE(Log().find("Prozedur / procedure:\tReadBackgroundMemory\r\n"), std::string::npos);
}

// Only the entries the saver itself writes are acted on: a line planted in
// the file cannot set any other setting.
TEST_F(Background, OnlyTheSaversOwnEntriesArePutBack) {
  ASSERT_TRUE(files::MakeOwnFolder(sys.state_dir + "/WinterHollow"));
  WriteFile(MemoryFile(),
            "gsettings " + kGnome + " picture-uri\t" + kBeach + "\n"
            "gsettings org.gnome.desktop.interface gtk-theme\t'Evil'\n"
            "gsettings org.gnome.desktop.screensaver lock-enabled\tfalse\n"
            "gsettings " + kGnome + " picture-uri-dark\tunquoted\n"
            "xfconf /general/some-setting\t/x\n"
            "xfconf /backdrop/screen0/monitor0/workspace0/last-image\trelative/path\n"
            "xfconf /backdrop/../../general/last-image\t/x\n"
            "root\tsomething\n"
            "rm -rf /\t\n"
            "no tab at all\n");
  std::remove(Calls().c_str());
  std::string message;
  EXPECT_TRUE(RestoreDesktopBackground(message)) << message;
  EXPECT_EQ(ReadFile(Calls()), "set " + kGnome + " picture-uri " + kBeach + "\n");
  EXPECT_EQ(Protocols(), 1);
  EXPECT_NE(Log().find("321 (Invalid file format)"), std::string::npos);
  for (const char* property : {"/backdrop/screen0/monitorHDMI-1/workspace0/last-image",
                               "/backdrop/screen0/monitor0/workspace1/last-image"})
    EXPECT_TRUE(IsXfconfPictureProperty(property)) << property;
  // KDE Plasma's picture and sway's output backgrounds: only what sway's
  // "bg" takes, nothing that ends its command and starts another.
  const struct {
    const char* key;
    const char* value;
    bool acts;
  } entries[] = {
      {"plasma", "/home/u/Pictures/a b.jpg", true},
      {"plasma", "a.jpg", false},
      {"sway HDMI-A-1", "/home/u/bg.png fill", true},
      {"sway *", "\"/home/u/my pics/bg.png\" fit", true},
      {"sway eDP-1", "#203040 solid_color", true},
      {"sway eDP-1", "/x fill; exec rm -rf ~", false},
      {"sway eDP-1", "/x fill, output * disable", false},
      {"sway a;b", "/x fill", false},
      {"sway eDP-1", "/x sparkle", false},
      {"sway eDP-1", "/x y fill", false},
      {"sway eDP-1", "\"/x\" \"/y\" fill", false},
  };
  for (const auto& e : entries)
    EXPECT_EQ(BackgroundMemory::Acts(e.key, e.value), e.acts) << e.key << " " << e.value;
}

}  // namespace
}  // namespace wh::x11
