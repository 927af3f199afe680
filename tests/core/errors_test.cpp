#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/allgemein.h"
#include "common/random.h"
#include "errors/err_scribe.h"
#include "errors/trap.h"
#include "fake_system.h"

namespace wh {
namespace {

using testing::ProcessEnded;
using testing::ReadFile;
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

}  // namespace
}  // namespace wh
