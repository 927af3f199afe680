// The single error reporter. Every procedure's trap hands its run-time errors
// here: the reporter records the error, appends an error protocol to the
// error log, beeps, asks the saver to end, and answers with a continuation
// code for the trap.
#pragma once

#include <array>
#include <map>
#include <string>
#include <tuple>

#include "common/runtime_error.h"
#include "system/system.h"

namespace wh {

class ErrScribe {
 public:
  // The one reporter, created on first use.
  static ErrScribe& Instance();

  // Reports the error `err` raised in procedure `AktProc` of module
  // `AktModul` at source line `line` (0 when none is recorded). Returns the
  // continuation code for the trap (always 0, retry).
  int OnError(const std::string& AktModul, const std::string& AktProc, const RuntimeError& err,
              int line = 0);

  // Replaces the program-information line of the report.
  void SetProgInfo(const std::string& text);

  // The part of `s` before its first NUL; empty when `s` has no NUL at all.
  static std::string LPSTRToVBString(const std::string& s);

  // The protocol of the current report, CR LF line ends throughout.
  std::string BuildProtocol() const;

  // The log's path beside the executable, named after it, ".FLG". Where the
  // log really goes is the machine's choice (System::FoldersFor); the name
  // is always the program's.
  static std::string LogPath(const std::string& executable_path);

  // The log path that could be written last time, empty before any.
  const std::string& last_log_path() const { return last_log_path_; }

  // The size past which the log becomes "<name>.FLG.1" (the older half of
  // what is kept) and a new log starts: about 1 MB in all.
  static constexpr size_t kLogHalf = 512 * 1024;

  // How often the same error (module, procedure, number) is written to the
  // log and beeped before the reporter falls silent about it.
  static constexpr int kMaxRepeats = 3;

  // The answer OnError gives the traps: retry, unless a front end that lets
  // the user choose (an error dialog) sets another.
  void SetContinuation(int code) { continuation_ = code; }

  // Forgets the report, the program information and the repeat counts
  // (a fresh start for tests).
  void Reset();

  static constexpr int kErrorLines = 4;
  static const std::array<const char*, kErrorLines> kErrorTitles;

 private:
  ErrScribe() = default;
  void AppendToLog();
  void DefaultProgInfo();

  std::array<std::string, kErrorLines> error_lines_;
  std::string prog_info_;
  std::string last_log_path_;
  int continuation_ = 0;
  std::map<std::tuple<std::string, std::string, int>, int> seen_;
};

// The version of the program, as its build sets it.
struct ProgramVersion {
  int major, minor, revision;
};
ProgramVersion Version();

}  // namespace wh
