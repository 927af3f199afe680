// The file rules with the standard library alone, for systems without a
// layer of their own (the Windows build until it has one): links and
// non-regular files are left alone and files are replaced whole, but there
// is no check of who else may write into a folder, no lock between programs
// and no flush to the disk.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "common/runtime_error.h"
#include "system/files.h"

namespace wh::files {

namespace fs = std::filesystem;

bool MakeOwnFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(fs::u8path(folder), ec);
  return fs::is_directory(fs::u8path(folder), ec) && !fs::is_symlink(fs::u8path(folder), ec);
}

bool AppendToFile(const std::string& folder, const std::string& name, const std::string& text,
                  size_t keep) {
  if (!MakeOwnFolder(folder)) return false;
  const fs::path path = fs::u8path(JoinPath(folder, name));
  std::error_code ec;
  fs::file_status st = fs::symlink_status(path, ec);
  if (keep > 0 && fs::is_regular_file(st) && fs::file_size(path, ec) + text.size() > keep) {
    fs::path older = path;
    older += ".1";
    fs::rename(path, older, ec);
    st = fs::symlink_status(path, ec);
  }
  if (fs::exists(st) && !fs::is_regular_file(st)) return false;
  std::FILE* f = std::fopen(path.string().c_str(), "ab");
  if (!f) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && written;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
  fs::path target = fs::u8path(path);
  std::error_code ec;
  if (fs::is_symlink(target, ec)) target = fs::canonical(target, ec);
  if (ec) Raise(kErrPathNotFound);
  const fs::file_status st = fs::status(target, ec);
  if (fs::exists(st) && !fs::is_regular_file(st)) Raise(kErrPathFileAccess);
  if (fs::exists(st) && (fs::status(target, ec).permissions() & fs::perms::owner_write) == fs::perms::none)
    Raise(kErrPermissionDenied);  // read-only: the user's wish
  const fs::path folder = target.parent_path();
  const auto hour_ago = fs::file_time_type::clock::now() - std::chrono::seconds(kLeftoverSeconds);
  for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, ec)) {
    if (IsTemporaryName(entry.path().filename().u8string()) && entry.is_regular_file(ec) &&
        entry.last_write_time(ec) < hour_ago)
      fs::remove(entry.path(), ec);
  }
  std::random_device entropy;
  fs::path temp;
  for (int n = 0;; ++n) {
    std::string random(16, '\0');
    for (char& c : random) c = static_cast<char>(entropy());
    temp = folder / fs::u8path(TemporaryName(target.filename().u8string(), random));
    if (!fs::exists(temp, ec)) break;
    if (n == 100) Raise(kErrPathFileAccess);
  }
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) Raise(fs::exists(target.parent_path(), ec) ? kErrPermissionDenied : kErrPathNotFound);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      Raise(kErrDiskFull);
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    Raise(kErrPermissionDenied);
  }
}

void UpdateFile(const std::string& path, size_t limit,
                const std::function<std::string(const std::optional<std::string>&)>& change) {
  ReplaceFile(path, change(ReadSmallFile(path, limit)));
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
  const fs::path p = fs::u8path(path);
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (!fs::exists(st)) return std::nullopt;
  if (!fs::is_regular_file(st) || fs::file_size(p, ec) > limit) Raise(kErrPathFileAccess);
  std::ifstream in(p, std::ios::binary);
  if (!in) Raise(kErrPermissionDenied);
  std::ostringstream content;
  content << in.rdbuf();
  if (content.str().size() > limit) Raise(kErrPathFileAccess);
  return content.str();
}

}  // namespace wh::files
