#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <utility>
#include <vector>

#include "common/allgemein.h"
#include "common/random.h"
#include "errors/err_scribe.h"
#include "errors/trap.h"
#include "fake_system.h"
#include "platform/posix/system_posix.h"

namespace wh {
namespace {

using testing::ProcessEnded;
using testing::ReadFile;
using testing::FolderNames;
using testing::Watchdog;
using testing::WithFakeSystem;
using testing::WriteFile;

class Reporter : public WithFakeSystem {
 protected:
  ErrScribe& scribe = ErrScribe::Instance();
  static std::string Line(const std::string& protocol, int number) {
    size_t at = 0;
    for (int i = 1; i < number; ++i) at = protocol.find("\r\n", at) + 2;
    return protocol.substr(at, protocol.find("\r\n", at) - at);
  }
};

TEST_F(Reporter, TwoErrorsAppendTwoProtocolsSeparatedByOneEmptyLine) {
  Trap trap_zz("Allgemein", "Zz");
  trap_zz([] { Raise(kErrOverflow); });
  Trap trap_load("Saver", "LoadConfig");
  trap_load([] { Raise(kErrTypeMismatch); });
  EXPECT_EQ(Log(), ReadFile(WH_TEST_DATA_DIR "/two_protocols.FLG"));
  EXPECT_EQ(sys.beeps, 2);
  EXPECT_EQ(sys.pointer_resets, 2);
}

TEST_F(Reporter, SystemSectionFollowsThePlatform) {
  scribe.OnError("frmMain", "BuildBG", RuntimeError(kErrSubscript));

  sys.os.service_pack = std::string(128, '\0');  // no service pack
  sys.os.build = 0x12345678;                      // only the low 16 bits count
  std::string p = scribe.BuildProtocol();
  EXPECT_EQ(Line(p, 17), "          Build:\t22136   ");

  sys.os.platform = 1;
  EXPECT_EQ(Line(scribe.BuildProtocol(), 15), "          Plattform/Environment:\tWindows 9x");
  sys.os.platform = 0;
  EXPECT_EQ(Line(scribe.BuildProtocol(), 15), "          Plattform/Environment:\tWin32s");

  // An unknown platform value: no name and no line end.
  sys.os.platform = 3;
  p = scribe.BuildProtocol();
  EXPECT_EQ(Line(p, 15), "          Plattform/Environment:\t          Version:\t10.0");
  EXPECT_EQ(Line(p, 16), "          Build:\t22136   ");

  // Another system names itself.
  sys.os.platform = 0xFFFF;
  sys.os.platform_name = "Linux";
  sys.os.service_pack = std::string("6.1.0-18-amd64 #1 SMP x86_64\0", 29);
  p = scribe.BuildProtocol();
  EXPECT_EQ(Line(p, 15), "          Plattform/Environment:\tLinux");
  EXPECT_EQ(Line(p, 17), "          Build:\t22136   6.1.0-18-amd64 #1 SMP x86_64");
}

TEST_F(Reporter, ErrorLinesAndProgramInformation) {
  scribe.OnError("frmConfig", "cmdOK_Click", RuntimeError(kErrInvalidCall));
  std::string p = scribe.BuildProtocol();
  EXPECT_EQ(Line(p, 5), "          winterhollow  V1.0.0");
  EXPECT_EQ(Line(p, 8), "          Fehler-Nr / error :\t5 (Invalid procedure call or argument)");
  scribe.SetProgInfo("Custom line");
  scribe.OnError("frmConfig", "cmdOK_Click", RuntimeError(kErrInvalidCall), 120);
  p = scribe.BuildProtocol();
  EXPECT_EQ(Line(p, 5), "          Custom line");
  EXPECT_EQ(Line(p, 11), "          Zeile / Line:\t120");

  sys.exe_path = dir.path() + "/WinterHollow.scr";
  scribe.Reset();
  scribe.OnError("frmMain", "Form_Load", RuntimeError(kErrDivisionByZero));
  EXPECT_EQ(Line(scribe.BuildProtocol(), 5), "          WinterHollow  V1.0.0");
  EXPECT_EQ(scribe.last_log_path(), dir.path() + "/WinterHollow.FLG");
}

TEST(LogPath, BesideTheProgramNamedAfterIt) {
  EXPECT_EQ(ErrScribe::LogPath("/opt/wh/bin/winterhollow"), "/opt/wh/bin/winterhollow.FLG");
  EXPECT_EQ(ErrScribe::LogPath("C:\\Windows\\WinterHollow.scr"), "C:\\Windows\\WinterHollow.FLG");
  EXPECT_EQ(ErrScribe::LogPath("C:\\WinterHollow.scr"), "C:\\WinterHollow.FLG");
  EXPECT_EQ(ErrScribe::LogPath("/winterhollow"), "/winterhollow.FLG");
}

TEST(LPSTRToVBString, TakesTheTextBeforeTheFirstNul) {
  EXPECT_EQ(ErrScribe::LPSTRToVBString(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(ErrScribe::LPSTRToVBString("abcd"), "");
  EXPECT_EQ(ErrScribe::LPSTRToVBString(std::string("\0ab", 3)), "");
  EXPECT_EQ(ErrScribe::LPSTRToVBString(""), "");
}

TEST_F(Reporter, UnwritableProgramFolderFallsBackToTheStateFolder) {
  // The program's "folder" is a plain file, so nothing can be created in it
  // (this holds for root as well as for a user).
  WriteFile(dir.path() + "/blocker", "x");
  sys.exe_path = dir.path() + "/blocker/winterhollow";
  scribe.OnError("frmMain", "Form_Resize", RuntimeError(kErrOverflow));
  const std::string fallback = dir.path() + "/state/WinterHollow/winterhollow.FLG";
  EXPECT_EQ(scribe.last_log_path(), fallback);
  EXPECT_NE(ReadFile(fallback).find("Form_Resize"), std::string::npos);

  // Nowhere to write at all: the error is still handled, nothing fails.
  sys.state_dir = dir.path() + "/blocker/state";
  scribe.Reset();
  EXPECT_EQ(scribe.OnError("frmMain", "Form_Resize", RuntimeError(kErrOverflow)), kRetry);
  EXPECT_EQ(scribe.last_log_path(), "");
  EXPECT_EQ(sys.beeps, 2);
}

TEST_F(Reporter, RetriedStatementThatFailsAgainIsSkippedWithOneProtocol) {
  Trap trap("frmMain", "BuildBG");
  int runs = 0, after = 0;
  EXPECT_TRUE(trap([&] {
    ++runs;
    Raise(kErrOverflow);
  }));
  EXPECT_TRUE(trap([&] { ++after; }));
  EXPECT_EQ(runs, 2);  // the first try and one retry
  EXPECT_EQ(after, 1);
  EXPECT_EQ(Protocols(), 1);
  EXPECT_EQ(sys.beeps, 1);

  // A statement that succeeds on its retry goes on normally.
  int tries = 0;
  EXPECT_TRUE(trap([&] {
    if (++tries == 1) Raise(kErrSubscript);
  }));
  EXPECT_EQ(tries, 2);
  EXPECT_EQ(Protocols(), 2);
}

TEST_F(Reporter, TheSameErrorRecurringEverywhereFallsSilentAfterAFewProtocols) {
  for (int tick = 0; tick < 20; ++tick) {
    Trap trap("frmMain", "tmrAnimation_Timer");
    trap([] { Raise(kErrInvalidProperty); });
  }
  EXPECT_EQ(Protocols(), ErrScribe::kMaxRepeats);
  EXPECT_EQ(sys.beeps, ErrScribe::kMaxRepeats);
  // A different error is still written.
  Trap trap("frmMain", "tmrAnimation_Timer");
  trap([] { Raise(kErrOverflow); });
  EXPECT_EQ(Protocols(), ErrScribe::kMaxRepeats + 1);
}

TEST_F(Reporter, ContinuationCodesSteerTheTrap) {
  auto run = [](int code, int* after) {
    ErrScribe::Instance().SetContinuation(code);
    Trap trap("frmMain", "Haus");
    bool went_on = trap([] { Raise(kErrOverflow); });
    if (went_on) trap([&] { ++*after; });
    EXPECT_EQ(trap.left(), !went_on);
    return went_on;
  };
  int after = 0;
  EXPECT_TRUE(run(kSkip, &after));
  EXPECT_EQ(after, 1);
  EXPECT_FALSE(run(kLeave, &after));
  EXPECT_FALSE(run(7, &after));  // unknown codes leave too
  EXPECT_EQ(after, 1);
  try {
    run(kEnd, &after);
    FAIL() << "code 3 must end the program";
  } catch (const ProcessEnded&) {
  }
}

TEST_F(Reporter, AnErrorInTheRunningSaverEndsItThroughTheNormalExit) {
  SaverMode = true;
  SaverSettings.Wallpaper = 0;
  sys.cursor_shown = false;
  sys.saver_active = false;
  try {
    Trap trap("frmMain", "tmrAnimation_Timer");
    trap([] { Raise(kErrOverflow); });
    FAIL() << "the saver must end";
  } catch (const ProcessEnded& e) {
    EXPECT_EQ(e.status, 0);
  }
  EXPECT_EQ(Protocols(), 1);
  EXPECT_EQ(sys.beeps, 1);
  EXPECT_TRUE(sys.cursor_shown);
  EXPECT_TRUE(sys.saver_active);
}

TEST_F(Reporter, ALinkOrAPipeAtTheLogsPlaceIsNeverWrittenThrough) {
  const std::string log = dir.path() + "/winterhollow.FLG";
  const std::string victim = dir.path() + "/someone-elses-file";
  WriteFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
  const std::string fallback = dir.path() + "/state/WinterHollow/winterhollow.FLG";
  scribe.OnError("frmMain", "BuildBG", RuntimeError(kErrOverflow));
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(scribe.last_log_path(), fallback);

  // A pipe would block the saver for good.
  Watchdog watchdog(20);
  ASSERT_EQ(unlink(log.c_str()), 0);
  ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
  scribe.OnError("frmMain", "Himmel", RuntimeError(kErrOverflow));
  EXPECT_EQ(scribe.last_log_path(), fallback);
  EXPECT_NE(ReadFile(fallback).find("Himmel"), std::string::npos);
}

TEST_F(Reporter, AFolderOthersCanWriteIntoIsNeverWrittenInto) {
  // A program folder like /tmp: anyone may plant files there.
  const std::string shared = dir.path() + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  sys.exe_path = shared + "/winterhollow";
  // And a state folder someone else made for us, open to all.
  ASSERT_EQ(mkdir(sys.state_dir.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((sys.state_dir + "/WinterHollow").c_str(), 0777), 0);
  ASSERT_EQ(chmod((sys.state_dir + "/WinterHollow").c_str(), 0777), 0);
  EXPECT_EQ(scribe.OnError("frmMain", "BuildBG", RuntimeError(kErrOverflow)), kRetry);
  EXPECT_EQ(scribe.last_log_path(), "") << "dropped, not written where others can reach it";
  EXPECT_EQ(FolderNames(shared), std::vector<std::string>{});
  EXPECT_EQ(FolderNames(sys.state_dir + "/WinterHollow"), std::vector<std::string>{});
  EXPECT_EQ(sys.beeps, 1);
}

// A saver that fails every night for years must not fill the disk: past
// half the limit the log moves aside as .FLG.1, replacing the one before.
TEST_F(Reporter, TheLogKeepsAboutOneMegabyteTheOlderHalfAsFlg1) {
  const std::string log = dir.path() + "/winterhollow.FLG", older = log + ".1";
  const std::string small(100 * 1024, 'a'), large(ErrScribe::kLogHalf - 10, 'b');
  struct Case {
    std::string log, older;  // before the report
    std::string expected_older;
    bool starts_afresh;
  } cases[] = {
      {small, "", "", false},
      {large, "", large, true},
      {large, "oldest", large, true},
  };
  for (const Case& c : cases) {
    std::remove(older.c_str());
    WriteFile(log, c.log);
    if (!c.older.empty()) WriteFile(older, c.older);
    scribe.Reset();
    scribe.OnError("frmMain", "BuildBG", RuntimeError(kErrOverflow));
    const std::string now = ReadFile(log);
    EXPECT_EQ(now.rfind("----", 0) == 0, c.starts_afresh) << c.log.size();
    EXPECT_EQ(now.size() - (c.starts_afresh ? 0 : c.log.size()), scribe.BuildProtocol().size() + 2);
    EXPECT_EQ(ReadFile(older), c.expected_older) << c.log.size();
  }
  // Many reports never take the two beyond about twice the half.
  for (int i = 0; i < 2000; ++i) {
    scribe.Reset();
    scribe.OnError("frmMain", "Tick" + std::to_string(i), RuntimeError(kErrOverflow));
  }
  EXPECT_LE(ReadFile(log).size() + ReadFile(older).size(), 2 * ErrScribe::kLogHalf);
}

// The Linux machine itself: files only in the user's XDG folders.
class LinuxPlaces : public WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    for (const char* v : {"HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"}) {
      const char* old = std::getenv(v);
      saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    WithFakeSystem::TearDown();
  }
  platform::PosixSystem posix;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(LinuxPlaces, LogAndWallpaperGoToTheXdgStateAndDataFolders) {
  using platform::OwnFile;
  using Folders = std::vector<std::string>;
  setenv("XDG_STATE_HOME", (dir.path() + "/xstate").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir.path() + "/xdata").c_str(), 1);
  EXPECT_EQ(posix.FoldersFor(OwnFile::kErrorLog), Folders{dir.path() + "/xstate/WinterHollow"});
  EXPECT_EQ(posix.FoldersFor(OwnFile::kWallpaper), Folders{dir.path() + "/xdata/WinterHollow"});
  // Unset or relative: below the home folder.
  unsetenv("XDG_STATE_HOME");
  setenv("XDG_DATA_HOME", "relative/data", 1);
  setenv("HOME", (dir.path() + "/home").c_str(), 1);
  EXPECT_EQ(posix.FoldersFor(OwnFile::kErrorLog),
            Folders{dir.path() + "/home/.local/state/WinterHollow"});
  EXPECT_EQ(posix.FoldersFor(OwnFile::kWallpaper),
            Folders{dir.path() + "/home/.local/share/WinterHollow"});

  // No home of one's own (a system user's "/"): no place at all, not /tmp.
  unsetenv("XDG_STATE_HOME");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", "/", 1);
  EXPECT_EQ(posix.FoldersFor(OwnFile::kErrorLog), Folders{});
  EXPECT_EQ(posix.FoldersFor(OwnFile::kWallpaper), Folders{});

  // The reporter on this machine: the program's own folder stays untouched,
  // the log's folder is made for the user alone.
  setenv("XDG_STATE_HOME", (dir.path() + "/xstate").c_str(), 1);
  platform::SetSystem(&posix);
  const std::string name = posix.ExecutablePath().substr(posix.ExecutablePath().rfind('/') + 1);
  ErrScribe::Instance().OnError("frmMain", "BuildBG", RuntimeError(kErrOverflow));
  platform::SetSystem(&sys);
  const std::string log = dir.path() + "/xstate/WinterHollow/" + name + ".FLG";
  EXPECT_EQ(ErrScribe::Instance().last_log_path(), log);
  EXPECT_NE(ReadFile(log).find("BuildBG"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat((dir.path() + "/xstate/WinterHollow").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  const mode_t mask = umask(0);
  umask(mask);
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << "the user's usual modes";
}

}  // namespace
}  // namespace wh
