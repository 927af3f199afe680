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

bool AppendToFile(const std::string& folder, const std::string& name, const std::string& text) {
  if (!MakeOwnFolder(folder)) return false;
  const std::wstring path = Wide(JoinPath(folder, name));
  const DWORD a = Attributes(path);
  if (a != INVALID_FILE_ATTRIBUTES && !IsPlainFile(a)) return false;
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(h, text);
  return CloseHandle(h) && written;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::wstring plain = win32::WideFromUtf8(path);
  const std::wstring target = Native(plain);
  const DWORD a = Attributes(target);
  if (a != INVALID_FILE_ATTRIBUTES && !IsPlainFile(a)) Raise(kErrPathFileAccess);
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
    temp = Native(plain + L".new" + std::to_wstring(n));
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
