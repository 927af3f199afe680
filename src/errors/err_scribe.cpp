#include "errors/err_scribe.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "errors/trap.h"
#include "startup/saver.h"
#include "system/files.h"
#include "wh_version.h"

namespace wh {

using platform::Sys;

const std::array<const char*, ErrScribe::kErrorLines> ErrScribe::kErrorTitles = {
    "Fehler-Nr / error :", "Modul:", "Prozedur / procedure:", "Zeile / Line:"};

ProgramVersion Version() { return {WH_VERSION_MAJOR, WH_VERSION_MINOR, WH_VERSION_PATCH}; }

ErrScribe& ErrScribe::Instance() {
  static ErrScribe instance;
  return instance;
}

void ErrScribe::Reset() {
  error_lines_ = {};
  prog_info_.clear();
  last_log_path_.clear();
  continuation_ = kRetry;
  seen_.clear();
}

void ErrScribe::SetProgInfo(const std::string& text) { prog_info_ = text; }

std::string ErrScribe::LPSTRToVBString(const std::string& s) {
  size_t nul = s.find('\0');
  return nul == std::string::npos ? std::string() : s.substr(0, nul);
}

namespace {

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutExtension(const std::string& name) {
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

void ErrScribe::DefaultProgInfo() {
  ProgramVersion v = Version();
  prog_info_ = WithoutExtension(BaseName(Sys().ExecutablePath())) + "  V" +
               std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
               std::to_string(v.revision);
}

int ErrScribe::OnError(const std::string& AktModul, const std::string& AktProc,
                       const RuntimeError& err, int line) {
  error_lines_[0] = std::to_string(err.number()) + " (" + err.description() + ")";
  error_lines_[1] = AktModul;
  error_lines_[2] = AktProc;
  error_lines_[3] = std::to_string(line);
  if (prog_info_.empty()) DefaultProgInfo();
  Sys().ResetMousePointer();

  int& count = seen_[{AktModul, AktProc, err.number()}];
  if (count < kMaxRepeats) {
    ++count;
    AppendToLog();
    Sys().Beep();
  }
  exitScreensaver();
  return continuation_;
}

std::string ErrScribe::BuildProtocol() const {
  const std::string crlf = "\r\n";
  const std::string dashes(70, '-');
  const std::string indent(10, ' ');
  std::string p;
  p += dashes + crlf;
  p += "F E H L E R P R O T O K O L L  /  E R R O R   P R O T O C O L L" + crlf;
  p += dashes + crlf;
  p += Upper("Programm-Info:") + crlf;
  p += indent + prog_info_ + crlf;
  p += dashes + crlf;
  p += Upper("Fehlerbeschreibung / error description:") + crlf;
  for (int i = 0; i < kErrorLines; ++i) {
    p += indent + kErrorTitles[i] + "\t" + error_lines_[i] + crlf;
  }
  platform::LocalDateTime now = Sys().Now();
  p += indent + "Datum/Uhrzeit (Date/Time):\t" + TwoDigits(now.month) + "-" + TwoDigits(now.day) +
       "-" + std::to_string(now.year) + " / " + TwoDigits(now.hour) + ":" + TwoDigits(now.minute) +
       ":" + TwoDigits(now.second) + crlf;
  p += dashes + crlf;
  p += "SYSTEMINFO:" + crlf;

  platform::OsVersionRecord os = Sys().OsVersion();
  p += indent + "Plattform/Environment:\t";
  switch (os.platform) {
    case 0: p += "Win32s" + crlf; break;
    case 1: p += "Windows 9x" + crlf; break;
    case 2: p += "Windows NT" + crlf; break;
    default:
      // An unknown Windows platform gets neither a name nor a line end;
      // another system names itself.
      if (!os.platform_name.empty()) p += os.platform_name + crlf;
      break;
  }
  p += indent + "Version:\t" + std::to_string(os.major) + "." + std::to_string(os.minor) + crlf;
  p += indent + "Build:\t" + std::to_string(os.build & 65535) + "   " +
       LPSTRToVBString(os.service_pack) + crlf;
  p += dashes + crlf;
  return p;
}

std::string ErrScribe::LogPath(const std::string& executable_path) {
  size_t slash = executable_path.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? "." : executable_path.substr(0, slash);
  char sep = slash == std::string::npos ? '/' : executable_path[slash];
  if (folder.empty() || folder.back() != sep) folder.push_back(sep);
  return folder + WithoutExtension(BaseName(executable_path)) + ".FLG";
}

void ErrScribe::AppendToLog() {
  const std::string text = BuildProtocol() + "\r\n";
  const std::string name = WithoutExtension(BaseName(Sys().ExecutablePath())) + ".FLG";
  // Appended and closed at once: a saver may be killed at any moment. A log
  // that cannot be written anywhere is dropped: reporting an error must
  // never fail the program. Past kLogHalf the log moves aside as ".FLG.1",
  // so years of runs keep at most about twice that.
  for (const std::string& folder : Sys().FoldersFor(platform::OwnFile::kErrorLog)) {
    if (files::AppendToFile(folder, name, text, kLogHalf)) {
      last_log_path_ = files::JoinPath(folder, name);
      return;
    }
  }
}

int Trap::Report(const RuntimeError& e) {
  return ErrScribe::Instance().OnError(module_, procedure_, e);
}

void Trap::EndProgram() {
  Sys().EndProcess(1);
  std::_Exit(1);  // in case an installed System forgot to end the process
}

}  // namespace wh
