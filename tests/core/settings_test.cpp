#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <optional>
#include <functional>
#include <utility>
#include <vector>

#include "common/numtext.h"
#include "fake_system.h"
#include "platform/posix/ini_store.h"
#include "startup/settings.h"

namespace wh {
namespace {

using testing::FileSizeLimit;
using testing::FolderNames;
using testing::ReadFile;
using testing::Watchdog;
using testing::WithFakeSystem;
using testing::WriteFile;

class Config : public WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    SetSettingsStore(&store);
  }
  void Put(const std::string& key, const std::string& text) {
    store.Save(kAppName, kSettingsSection, key, text);
  }
  MemorySettingsStore store;
};

// Switches the numeric locale for one test and back.
class GermanNumbers {
 public:
  GermanNumbers() {
    old_ = std::setlocale(LC_NUMERIC, nullptr);
    ok_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }
  ~GermanNumbers() { std::setlocale(LC_NUMERIC, old_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_;
};

TEST_F(Config, FirstRunGivesTheDefaults) {
  LoadConfig();
  const SaverSettingsRecord& s = SaverSettings;
  EXPECT_EQ(s.maxFl, 110);
  EXPECT_EQ(s.SpeedF, 6.0f);
  EXPECT_EQ(s.Size, 6.0f);
  EXPECT_EQ(s.SpeedS, 0.53f);
  EXPECT_EQ(s.SpeedO, 6.0f);
  EXPECT_EQ(s.Speed, 5.0f);
  EXPECT_EQ(s.Date, 1);
  EXPECT_EQ(s.Time, 1);
  EXPECT_EQ(s.Snowman, 1);
  EXPECT_EQ(s.Restart, 1);
  EXPECT_EQ(s.rTime, 600);
  EXPECT_EQ(s.Wallpaper, 1);
  EXPECT_EQ(s.Sharp, 1);  // sharp scenes are on unless turned off
  EXPECT_EQ(minFl, 55);
  EXPECT_EQ(Protocols(), 0);
}

TEST_F(Config, MinFlIsHalfOfMaxFlTiesToEven) {
  for (auto [stored, expected] : {std::pair{"111", 56}, {"113", 56}, {"20", 10}, {"110", 55},
                                  {"0", 0}, {"1", 0}, {"3", 2}}) {
    Put("maxFl", stored);
    LoadConfig();
    EXPECT_EQ(minFl, expected) << "maxFl " << stored;
  }
}

TEST_F(Config, StoredValuesAreTakenAsTheyStand) {
  Put("Wallpaper", "-1");
  Put("Date", "-1");
  Put("rTime", "5940");
  Put("Speed", "0");
  Put("maxFl", " 42.5 ");  // rounds half to even
  LoadConfig();
  EXPECT_EQ(SaverSettings.Wallpaper, -1);
  EXPECT_EQ(SaverSettings.Date, -1);
  EXPECT_EQ(SaverSettings.rTime, 5940);
  EXPECT_EQ(SaverSettings.Speed, 0.0f);
  EXPECT_EQ(SaverSettings.maxFl, 42);
  EXPECT_EQ(Protocols(), 0);
}

TEST_F(Config, SaveWritesEveryFieldAsText) {
  SaverSettings = DefaultSettings();
  SaverSettings.SpeedS = 1.03f;
  SaverSettings.Speed = 0.1f;
  SaverSettings.maxFl = 200;
  SaveConfig();
  auto get = [&](const char* key) { return store.Get(kAppName, kSettingsSection, key, "?"); };
  EXPECT_EQ(get("SpeedS"), "1.03");
  EXPECT_EQ(get("Speed"), "0.1");
  EXPECT_EQ(get("SpeedF"), "6");
  EXPECT_EQ(get("maxFl"), "200");
  EXPECT_EQ(get("rTime"), "600");
  EXPECT_EQ(get("Sharp"), "1");
  EXPECT_EQ(store.values().size(), 13u);
  SaverSettings = SaverSettingsRecord{};
  LoadConfig();
  EXPECT_EQ(SaverSettings.SpeedS, 1.03f);
  EXPECT_EQ(SaverSettings.Speed, 0.1f);
  EXPECT_EQ(minFl, 100);
}

TEST_F(Config, DecimalCommaRoundTripsUnderAGermanLocale) {
  GermanNumbers german;
  if (!german.ok()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  SaverSettings = DefaultSettings();
  SaverSettings.SpeedS = 0.53f;
  SaverSettings.Size = 2.08f;
  SaveConfig();
  EXPECT_EQ(store.Get(kAppName, kSettingsSection, "SpeedS", ""), "0,53");
  EXPECT_EQ(store.Get(kAppName, kSettingsSection, "Size", ""), "2,08");
  EXPECT_EQ(store.Get(kAppName, kSettingsSection, "Speed", ""), "5");
  EXPECT_EQ(SingleToText(10.0f), "10");
  EXPECT_EQ(SingleToText(0.1f), "0,1");
  SaverSettings = SaverSettingsRecord{};
  LoadConfig();
  EXPECT_EQ(SaverSettings.SpeedS, 0.53f);
  EXPECT_EQ(SaverSettings.Size, 2.08f);
  EXPECT_EQ(Protocols(), 0);

  // The defaults take the same route, so a first run works too.
  MemorySettingsStore empty;
  SetSettingsStore(&empty);
  LoadConfig();
  EXPECT_EQ(SaverSettings.SpeedS, 0.53f);
  EXPECT_EQ(Protocols(), 0);
}

// A daemon started without LANG reads the file the dialog wrote under a
// German locale, and the other way round: both separators mean the same.
TEST_F(Config, StoredNumbersReadTheSameWithEitherSeparatorUnderAnyLocale) {
  struct Case {
    const char* speeds;
    const char* speed;
  };
  const Case cases[] = {{"0,53", "5,5"}, {"0.53", "5.5"}, {" 0,53 ", "5,50"}, {"0.53", "55e-1"}};
  for (const bool german_locale : {false, true}) {
    GermanNumbers german;
    if (!german_locale) std::setlocale(LC_NUMERIC, "C");
    else if (!german.ok()) continue;  // de_DE.UTF-8 not installed: the C half still runs
    for (const Case& c : cases) {
      Put("SpeedS", c.speeds);
      Put("Speed", c.speed);
      Put("maxFl", "42,5");  // rounds half to even, as with a point
      SaverSettings = SaverSettingsRecord{};
      LoadConfig();
      const std::string where =
          std::string(german_locale ? "de_DE " : "C ") + c.speeds + " " + c.speed;
      EXPECT_EQ(SaverSettings.SpeedS, 0.53f) << where;
      EXPECT_EQ(SaverSettings.Speed, 5.5f) << where;
      EXPECT_EQ(SaverSettings.maxFl, 42) << where;
    }
    // Writing keeps the locale's own separator.
    EXPECT_EQ(SingleToText(0.53f), german_locale ? "0,53" : "0.53");
  }
  EXPECT_EQ(Protocols(), 0);
  // Text that is not a number still takes the error route.
  Put("SpeedS", "0,5,3");
  LoadConfig();
  EXPECT_EQ(Protocols(), 1);
  EXPECT_NE(Log().find("13 (Type mismatch)"), std::string::npos);
}

TEST_F(Config, BadStoredTextIsReportedAndLoadingGoesOn) {
  Put("maxFl", "lots");
  Put("Date", "99999");
  Put("SpeedO", "");
  Put("Speed", "7");
  LoadConfig();
  EXPECT_EQ(Protocols(), 3);
  const std::string log = Log();
  EXPECT_NE(log.find("13 (Type mismatch)"), std::string::npos);
  EXPECT_NE(log.find("6 (Overflow)"), std::string::npos);
  EXPECT_NE(log.find("Modul:\tSaver\r\n"), std::string::npos);
  EXPECT_NE(log.find("Prozedur / procedure:\tLoadConfig\r\n"), std::string::npos);
  // The failing fields keep what they had (zero at start), the rest is read.
  EXPECT_EQ(SaverSettings.maxFl, 0);
  EXPECT_EQ(SaverSettings.Date, 0);
  EXPECT_EQ(SaverSettings.SpeedO, 0.0f);
  EXPECT_EQ(SaverSettings.Speed, 7.0f);
  EXPECT_EQ(SaverSettings.rTime, 600);
  EXPECT_EQ(SaverSettings.Wallpaper, 1);
}

TEST(NumberText, ParsingAndFormatting) {
  EXPECT_EQ(TextToDouble(" 1.5e2 "), 150.0);
  EXPECT_EQ(TextToDouble("-.5"), -0.5);
  EXPECT_EQ(TextToDouble("+7."), 7.0);
  for (const char* bad : {"", " ", "abc", "1.2.3", "1,2.3", "1,,5", "1.5,", "1 000", "e5", "5e",
                          "--1", "0x10", ",", "."}) {
    EXPECT_THROW(TextToDouble(bad), RuntimeError) << bad;
  }
  EXPECT_THROW(TextToInt16("32768"), RuntimeError);
  EXPECT_EQ(TextToInt16("-32768"), -32768);
  EXPECT_THROW(TextToInt32("1e10"), RuntimeError);
  EXPECT_THROW(TextToSingle("1e39"), RuntimeError);
  // Shortest digits; plain digits up to 7 of them (10 is never "1E+01").
  const std::pair<float, const char*> texts[] = {
      {0.53f, "0.53"},       {6.0f, "6"},          {2.08f, "2.08"},
      {1.0f / 3.0f, "0.3333333"}, {-0.04f, "-0.04"}, {10.0f, "10"},
      {5940.0f, "5940"},     {600.0f, "600"},      {200.0f, "200"},
      {0.1f, "0.1"},         {1.03f, "1.03"},      {1234567.0f, "1234567"},
      {0.00001f, "0.00001"}, {0.0f, "0"},          {1e-6f, "1E-06"},
      // Past 7 significant digits the text is rounded, and reads back close.
      {26866868.0f, "2.686687E+07"}, {12345678.0f, "1.234568E+07"}};
  for (const auto& [value, text] : texts) EXPECT_EQ(SingleToText(value), text) << text;
  EXPECT_NEAR(TextToSingle(SingleToText(26866868.0f)), 26866868.0f, 2);
}

// An INI store in the temporary folder, installed as the settings store.
class IniFile : public WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    SetSettingsStore(&ini);
  }
  std::string Path() const { return dir.path() + "/config/WinterHollow/settings.ini"; }
  std::string Folder() const { return dir.path() + "/config/WinterHollow"; }
  platform::IniFileStore ini{dir.path() + "/config"};
};

TEST_F(IniFile, SaveCreatesTheFileAndKeepsWhatItDoesNotKnow) {
  EXPECT_EQ(ini.Get(kAppName, kSettingsSection, "maxFl", "110"), "110");
  ini.Save(kAppName, kSettingsSection, "maxFl", "150");
  EXPECT_EQ(ReadFile(Path()), "[Settings]\nmaxFl=150\n");

  WriteFile(Path(), "; my notes\n[Other]\nmaxFl=1\n\n[Settings]\nmaxFl=150\nSpeed=5\n\n[Last]\nx=y\n");
  ini.Save(kAppName, kSettingsSection, "maxFl", "22");
  ini.Save(kAppName, kSettingsSection, "Date", "0");
  EXPECT_EQ(ReadFile(Path()),
            "; my notes\n[Other]\nmaxFl=1\n\n[Settings]\nmaxFl=22\nSpeed=5\nDate=0\n\n[Last]\nx=y\n");
  EXPECT_EQ(ini.Get(kAppName, kSettingsSection, "maxFl", ""), "22");
  EXPECT_EQ(ini.Get(kAppName, "Other", "maxFl", ""), "1");
  EXPECT_EQ(ini.Get(kAppName, kSettingsSection, "missing", "dflt"), "dflt");
  EXPECT_EQ(FolderNames(Folder()), std::vector<std::string>{"settings.ini"})
      << "no temporary file is left behind";
}

TEST_F(IniFile, CorruptAndTruncatedFilesAreReportedAndSurvived) {
  ini.Save(kAppName, kSettingsSection, "Speed", "5");
  // Garbage, a 16-bit field too large, and a file cut off in the middle of a line.
  WriteFile(Path(), "[Settings]\nmaxFl=\x01\x02garbage\nTime=99999\nSpeedF=6\nSize=");
  LoadConfig();
  EXPECT_EQ(Protocols(), 3);
  EXPECT_EQ(SaverSettings.SpeedF, 6.0f);
  EXPECT_EQ(SaverSettings.Speed, 5.0f);  // missing now: the default
  EXPECT_EQ(SaverSettings.Size, 0.0f);
  EXPECT_EQ(SaverSettings.Time, 0);
  EXPECT_EQ(SaverSettings.Wallpaper, 1);

  WriteFile(Path(), "[Settin");  // cut off inside the section header
  LoadConfig();
  EXPECT_EQ(SaverSettings.maxFl, 110);
  EXPECT_EQ(Protocols(), 3);
}

TEST_F(IniFile, AFileThatIsNoFileOrAFolderThatCannotBeIsNeverWritten) {
  SaverSettings = DefaultSettings();
  SaveConfig();
  ASSERT_EQ(unlink(Path().c_str()), 0);
  ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);
  SaveConfig();
  EXPECT_GE(Protocols(), 1);
  EXPECT_NE(Log().find("Prozedur / procedure:\tSaveConfig\r\n"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(lstat(Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "what it cannot read it does not replace";

  // A store whose folder cannot exist at all.
  WriteFile(dir.path() + "/file", "x");
  platform::IniFileStore nowhere(dir.path() + "/file");
  EXPECT_THROW(nowhere.Save(kAppName, kSettingsSection, "maxFl", "1"), RuntimeError);
  EXPECT_EQ(nowhere.Get(kAppName, kSettingsSection, "maxFl", "110"), "110");
}

TEST_F(IniFile, OnlyARegularFileOfSensibleSizeIsRead) {
  ini.Save(kAppName, kSettingsSection, "maxFl", "150");
  ASSERT_EQ(unlink(Path().c_str()), 0);
  // A pipe (it would wait for a writer for ever), a device that never ends,
  // a folder, and a file far larger than settings ever are.
  Watchdog watchdog(20);
  std::string huge = "[Settings]\n";
  while (huge.size() <= 2 * platform::IniFileStore::kMaxFileSize) huge += "Comment=" + std::string(60, 'x') + "\n";
  huge += "maxFl=150\n";
  const std::vector<std::function<void()>> plants = {
      [&] { ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0); },
      [&] { ASSERT_EQ(symlink("/dev/zero", Path().c_str()), 0); },
      [&] { ASSERT_EQ(mkdir(Path().c_str(), 0700), 0); },
      [&] { WriteFile(Path(), huge); },
  };
  int expected = 0;
  for (const auto& plant : plants) {
    std::system(("rm -rf '" + Path() + "'").c_str());
    plant();
    ErrScribe::Instance().Reset();  // each its own first report
    LoadConfig();
    EXPECT_EQ(Protocols(), ++expected) << "one report per load, case " << expected;
    EXPECT_EQ(SaverSettings.maxFl, 110) << "the defaults, case " << expected;
    EXPECT_NE(Log().find("Prozedur / procedure:\tLoadConfig\r\n"), std::string::npos);
  }
}

TEST_F(IniFile, OneLoadReadsTheFileOnce) {
  SaverSettings = DefaultSettings();
  SaveConfig();
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  // Closes between the opens keep the kernel from merging them into one event.
  ASSERT_GE(inotify_add_watch(watch, Path().c_str(), IN_OPEN | IN_CLOSE), 0);
  LoadConfig();
  int opens = 0;
  alignas(inotify_event) char buf[4096];
  for (ssize_t n; (n = read(watch, buf, sizeof buf)) > 0;)
    for (char* p = buf; p < buf + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
      if (reinterpret_cast<inotify_event*>(p)->mask & IN_OPEN) ++opens;
  close(watch);
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(SaverSettings.rTime, 600);
}

TEST_F(IniFile, NamesMatchWithoutRegardToCase) {
  std::system(("mkdir -p '" + Folder() + "'").c_str());
  WriteFile(Path(), "[SETTINGS]\nMAXFL=150\nspeed=7\nRtime=120\n");
  LoadConfig();
  EXPECT_EQ(SaverSettings.maxFl, 150);
  EXPECT_EQ(SaverSettings.Speed, 7.0f);
  EXPECT_EQ(SaverSettings.rTime, 120);
  ini.Save(kAppName, kSettingsSection, "maxFl", "22");
  ini.Save(kAppName, "settings", "Date", "0");
  EXPECT_EQ(ReadFile(Path()), "[SETTINGS]\nMAXFL=22\nspeed=7\nRtime=120\nDate=0\n")
      << "the value replaced where it stands, no second section";
  EXPECT_EQ(Protocols(), 0);
}

TEST_F(IniFile, SavingThroughALinkKeepsTheLink) {
  // The user keeps the real file with their other settings.
  const std::string real = dir.path() + "/dotfiles/winterhollow.ini";
  std::system(("mkdir -p '" + dir.path() + "/dotfiles' '" + Folder() + "'").c_str());
  WriteFile(real, "; mine\n[Settings]\nmaxFl=150\n");
  ASSERT_EQ(symlink("../../dotfiles/winterhollow.ini", Path().c_str()), 0);
  SaverSettings = DefaultSettings();
  SaveConfig();
  struct stat st {};
  ASSERT_EQ(lstat(Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "still a link";
  EXPECT_EQ(ReadFile(real).rfind("; mine\n[Settings]\nmaxFl=110\n", 0), 0u) << ReadFile(real);
  EXPECT_NE(ReadFile(real).find("Wallpaper=1\n"), std::string::npos);
  EXPECT_EQ(Protocols(), 0);
}

// Two programs saving at once (the dialog, a second dialog) and crashes in the
// middle of a save: the file is always one whole save, never keys of both.
TEST_F(IniFile, SavesAreWholeAndNeverMixUnderTwoWritersAndCrashes) {
  SaverSettingsRecord a = DefaultSettings(), b = a;
  b.maxFl = 150, b.SpeedF = 7, b.Size = 3, b.SpeedO = 2, b.SpeedS = 1, b.Speed = 9;
  b.Date = b.Time = b.Snowman = b.Restart = b.Wallpaper = b.Sharp = 0;
  b.rTime = 120;
  std::string text_a, text_b;
  for (auto [record, text] : {std::pair{&b, &text_b}, std::pair{&a, &text_a}}) {
    SaverSettings = *record;
    ASSERT_TRUE(SaveConfig());
    *text = ReadFile(Path());
  }
  for (int round = 0; round < 12; ++round) {
    std::vector<pid_t> writers;
    for (const SaverSettingsRecord* record : {&a, &b}) {
      const pid_t pid = fork();
      if (pid == 0) {
        SaverSettings = *record;
        for (;;) SaveConfig();
      }
      writers.push_back(pid);
    }
    usleep(static_cast<useconds_t>(15000 + 7000 * round));
    for (pid_t pid : writers) kill(pid, SIGKILL);
    for (pid_t pid : writers) waitpid(pid, nullptr, 0);
    const std::string now = ReadFile(Path());
    ASSERT_TRUE(now == text_a || now == text_b) << "round " << round << ":\n" << now;
  }
  EXPECT_EQ(Protocols(), 0);
}

TEST_F(IniFile, ASaveKeepsTheFilesModeAndLineEnds) {
  struct Case {
    const char* content;
    mode_t mode;
    const char* end;
  } cases[] = {
      {"; mine\r\n[Settings]\r\nmaxFl=150\r\n", 0640, "\r\n"},
      {"; mine\n[Settings]\nmaxFl=150\n", 0600, "\n"},
      {"[Settings]\r\nmaxFl=150", 0664, "\r\n"},
  };
  std::system(("mkdir -p '" + Folder() + "'").c_str());
  for (const Case& c : cases) {
    std::system(("rm -f '" + Path() + "'").c_str());
    WriteFile(Path(), c.content);
    ASSERT_EQ(chmod(Path().c_str(), c.mode), 0);
    SaverSettings = DefaultSettings();
    ASSERT_TRUE(SaveConfig());
    const std::string now = ReadFile(Path());
    size_t lines = 0;
    for (size_t at = now.find('\n'); at != std::string::npos; at = now.find('\n', at + 1)) {
      ++lines;
      EXPECT_EQ(now.compare(at + 1 - std::strlen(c.end), std::strlen(c.end), c.end), 0)
          << "line " << lines << " of:\n" << now;
    }
    EXPECT_EQ(lines, std::string(c.content).find("; mine") == 0 ? 15u : 14u) << now;
    EXPECT_NE(now.find(std::string("maxFl=110") + c.end), std::string::npos) << now;
    struct stat st {};
    ASSERT_EQ(stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.content;
  }
}

// What the settings dialog shows when OK cannot save: the file and why.
TEST_F(IniFile, AFailedSaveSaysWhereAndWhyAndLeavesTheFile) {
  SaverSettings = DefaultSettings();
  ASSERT_TRUE(SaveConfig());
  const std::string before = ReadFile(Path());
  SaverSettings.maxFl = 33;
  struct Case {
    const char* name;
    std::function<void()> spoil, mend;
    const char* reason;
  } cases[] = {
      {"a read-only file", [&] { chmod(Path().c_str(), 0444); },
       [&] { chmod(Path().c_str(), 0600); }, "Permission denied"},
      {"a folder all may write into", [&] { chmod(Folder().c_str(), 0777); },
       [&] { chmod(Folder().c_str(), 0700); }, "Permission denied"},
      {"a full disk", [] {}, [] {}, "Disk full"},
  };
  for (const Case& c : cases) {
    ErrScribe::Instance().Reset();
    const int protocols = Protocols();
    c.spoil();
    std::string failure;
    bool saved;
    {
      std::optional<FileSizeLimit> full;
      if (std::string(c.reason) == "Disk full") full.emplace(before.size() / 2);
      saved = SaveConfig(&failure);
    }
    c.mend();
    EXPECT_FALSE(saved) << c.name;
    EXPECT_EQ(failure, "The settings could not be saved to " + Path() + ": " + c.reason + ".")
        << c.name;
    EXPECT_EQ(ReadFile(Path()), before) << c.name;
    EXPECT_EQ(FolderNames(Folder()), std::vector<std::string>{"settings.ini"})
        << c.name << ": nothing left behind";
    // (The log itself cannot grow on the full disk.)
    if (std::string(c.reason) != "Disk full") {
      EXPECT_EQ(Protocols(), protocols + 1) << c.name;
    }
  }
  EXPECT_TRUE(SaveConfig());
  EXPECT_NE(ReadFile(Path()).find("maxFl=33\n"), std::string::npos);
}

}  // namespace
}  // namespace wh
