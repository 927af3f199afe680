// The program's own files on Windows. Paths inside the program are UTF-8
// (win32_system.h); every call takes them as wide text, with the "\\?\"
// prefix where they are too long for the plain form. A reparse point (a
// link or a junction) at a file's place is never written through, and a whole-file replacement is
// MoveFileEx over the old file, written through to the disk.
#include <windows.h>
// <windows.h> names its own ReplaceFile.
#undef ReplaceFile

#include <algorithm>
#include <string>

#include "common/runtime_error.h"
#include "platform/win32/win32_system.h"
#include "system/files.h"

namespace wh::files {

namespace {

// The longest path the plain form takes everywhere (a folder leaves room
// for an 8.3 name in it, 260 - 12); longer ones need the "\\?\" form,
// which takes an absolute path with backslashes only, as it is.
constexpr size_t kPlainPathMax = 248;

std::wstring Native(std::wstring w) {
  std::replace(w.begin(), w.end(), L'/', L'\\');
  if (w.size() < kPlainPathMax || w.rfind(L"\\\\?\\", 0) == 0) return w;
  if (w.size() > 2 && w[1] == L':' && w[2] == L'\\') return L"\\\\?\\" + w;
  if (w.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + w.substr(2);  // \\server\share
  return w;
}

std::wstring Wide(const std::string& path) { return Native(win32::WideFromUtf8(path)); }

// INVALID_FILE_ATTRIBUTES when there is nothing at `path`.
DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool IsPlainFile(DWORD a) {
  return (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Raises the run-time error that fits the last failed call.
[[noreturn]] void RaiseLast(ErrNo fallback) {
  switch (GetLastError()) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_NAME:
      Raise(kErrPathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
      Raise(kErrPermissionDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      Raise(kErrDiskFull);
    default:
      Raise(fallback);
  }
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD wrote = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

std::string Narrow(const std::wstring& w) { return win32::Utf8FromWide(w); }

std::wstring FolderOf(const std::wstring& path) {
  const size_t sep = path.find_last_of(L"\\/");
  return sep == std::wstring::npos ? L"." : path.substr(0, sep);
}

std::wstring NameOf(const std::wstring& path) {
  const size_t sep = path.find_last_of(L"\\/");
  return sep == std::wstring::npos ? path : path.substr(sep + 1);
}

// Unguessable bytes from the system's generator (BCryptGenRandom, looked up
// at run time so that the .scr imports nothing beyond the usual DLLs); the
// program's own random generator must not be touched (its draws are the
// scenes). Without it, the process, the clock and a counter still make the
// name unique, and CREATE_NEW refuses any name that is taken.
std::string RandomBytes() {
  std::string bytes(16, '\0');
  using GenRandom = LONG(WINAPI*)(void*, PUCHAR, ULONG, ULONG);
  static const GenRandom gen = [] {
    HMODULE bcrypt = LoadLibraryW(L"bcrypt.dll");
    return bcrypt ? reinterpret_cast<GenRandom>(
                        reinterpret_cast<void*>(GetProcAddress(bcrypt, "BCryptGenRandom")))
                  : nullptr;
  }();
  constexpr ULONG kSystemPreferredRng = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
  if (gen && gen(nullptr, reinterpret_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(bytes.size()),
                 kSystemPreferredRng) == 0)
    return bytes;
  static unsigned counter = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  unsigned long long mix = static_cast<unsigned long long>(now.QuadPart) ^
                           (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                           (static_cast<unsigned long long>(GetTickCount()) << 12) ^ ++counter;
  for (char& b : bytes) {
    b = static_cast<char>(mix >> 56);
    mix = mix * 6364136223846793005ull + 1442695040888963407ull;
  }
  return bytes;
}

// Removes what a crash left of our temporary files in `folder`: plain files
// with our names, last written more than an hour ago.
void SweepLeftovers(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(Native(folder + L"\\.*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  FILETIME now_ft;
  GetSystemTimeAsFileTime(&now_ft);
  ULARGE_INTEGER now{};
  now.LowPart = now_ft.dwLowDateTime;
  now.HighPart = now_ft.dwHighDateTime;
  do {
    if (!IsPlainFile(found.dwFileAttributes) || !IsTemporaryName(Narrow(found.cFileName))) continue;
    ULARGE_INTEGER written{};
    written.LowPart = found.ftLastWriteTime.dwLowDateTime;
    written.HighPart = found.ftLastWriteTime.dwHighDateTime;
    // File times count 100 ns.
    if (now.QuadPart > written.QuadPart &&
        (now.QuadPart - written.QuadPart) / 10000000ull > static_cast<ULONGLONG>(kLeftoverSeconds))
      DeleteFileW(Native(folder + L"\\" + found.cFileName).c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

// An advisory lock on a path for the processes of this session, held while
// it lives: a named mutex, which the system gives up for a process that
// ends holding it.
class PathLock {
 public:
  explicit PathLock(std::wstring path) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    CharLowerW(path.data());
    mutex_ = CreateMutexW(nullptr, FALSE, (L"Local\\WinterHollow:" + path).c_str());
    if (mutex_) {
      const DWORD waited = WaitForSingleObject(mutex_, 10000);
      held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
  }
  PathLock(const PathLock&) = delete;
  PathLock& operator=(const PathLock&) = delete;
  ~PathLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

}  // namespace

bool MakeOwnFolder(const std::string& folder) {
  const std::wstring plain = win32::WideFromUtf8(folder);
  if (plain.empty()) return false;
  // Parents first; a part that exists (or a drive such as "C:") is fine.
  for (size_t i = 1; i < plain.size(); ++i) {
    if (plain[i] == L'\\' || plain[i] == L'/')
      CreateDirectoryW(Native(plain.substr(0, i)).c_str(), nullptr);
  }
  const std::wstring w = Native(plain);
  CreateDirectoryW(w.c_str(), nullptr);
  const DWORD a = Attributes(w);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
         !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool AppendToFile(const std::string& folder, const std::string& name, const std::string& text,
                  size_t keep) {
  if (!MakeOwnFolder(folder)) return false;
  const std::wstring path = Wide(JoinPath(folder, name));
  auto open_log = [&] {
    const DWORD a = Attributes(path);
    if (a != INVALID_FILE_ATTRIBUTES && !IsPlainFile(a)) return INVALID_HANDLE_VALUE;
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  };
  HANDLE h = open_log();
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (keep > 0 && GetFileSizeEx(h, &size) && size.QuadPart > 0 &&
      static_cast<unsigned long long>(size.QuadPart) + text.size() > keep) {
    // The older part moves aside, once, whoever else is reporting now.
    PathLock lock(path);
    CloseHandle(h);
    WIN32_FILE_ATTRIBUTE_DATA now{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &now) &&
        ((static_cast<unsigned long long>(now.nFileSizeHigh) << 32) | now.nFileSizeLow) +
                text.size() > keep) {
      const std::wstring older = path + L".1";
      const DWORD a = Attributes(older);
      if (a == INVALID_FILE_ATTRIBUTES || IsPlainFile(a))
        MoveFileExW(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    h = open_log();
    if (h == INVALID_HANDLE_VALUE) return false;
  }
  const bool written = WriteAll(h, text);
  return CloseHandle(h) && written;
}

namespace {

// Writes `bytes` as a new file beside `target` and moves it over the target.
void WriteAndMove(const std::wstring& target, const std::string& bytes) {
  const DWORD a = Attributes(target);
  if (a != INVALID_FILE_ATTRIBUTES && !IsPlainFile(a)) Raise(kErrPathFileAccess);
  // A file the user made read-only stays as it is.
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY)) Raise(kErrPermissionDenied);
  const std::wstring folder = FolderOf(target);
  SweepLeftovers(folder);
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
    temp = Native(folder + L"\\" + win32::WideFromUtf8(TemporaryName(Narrow(NameOf(target)), RandomBytes())));
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) RaiseLast(kErrPathFileAccess);
  }
  if (h == INVALID_HANDLE_VALUE) Raise(kErrPathFileAccess);
  const bool written = WriteAll(h, bytes) && FlushFileBuffers(h);
  const DWORD write_error = GetLastError();
  CloseHandle(h);
  if (!written) {
    DeleteFileW(temp.c_str());
    SetLastError(write_error);
    RaiseLast(kErrDiskFull);
  }
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD move_error = GetLastError();
    DeleteFileW(temp.c_str());
    SetLastError(move_error);
    RaiseLast(kErrPermissionDenied);
  }
}

}  // namespace

void ReplaceFile(const std::string& path, const std::string& bytes) {
  WriteAndMove(Wide(path), bytes);
}

void UpdateFile(const std::string& path, size_t limit,
                const std::function<std::string(const std::optional<std::string>&)>& change) {
  PathLock lock(Wide(path));
  WriteAndMove(Wide(path), change(ReadSmallFile(path, limit)));
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
  const std::wstring w = Wide(path);
  const DWORD a = Attributes(w);
  if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) Raise(kErrPathFileAccess);
  HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) RaiseLast(kErrPermissionDenied);
  LARGE_INTEGER size{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size) ||
      static_cast<unsigned long long>(size.QuadPart) > limit) {
    CloseHandle(h);
    Raise(kErrPathFileAccess);
  }
  std::string content(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  const bool ok = content.empty() ||
                  (ReadFile(h, content.data(), static_cast<DWORD>(content.size()), &got, nullptr) &&
                   got == content.size());
  CloseHandle(h);
  if (!ok) Raise(kErrPermissionDenied);
  return content;
}

}  // namespace wh::files
