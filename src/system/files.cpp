#include "system/files.h"

namespace wh::files {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  // A Windows folder keeps its own separator.
  const bool windows = folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
  return folder + (windows ? '\\' : '/') + name;
}

namespace {
constexpr const char kMark[] = ".wh-";
constexpr size_t kMarkSize = sizeof kMark - 1;
constexpr size_t kRandomChars = 16;
constexpr const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
}  // namespace

std::string TemporaryName(const std::string& name, const std::string& random) {
  std::string suffix;
  for (size_t i = 0; i < kRandomChars; ++i)
    suffix += kDigits[static_cast<unsigned char>(random[i % random.size()]) % 36];
  return "." + name + kMark + suffix;
}

bool IsTemporaryName(const std::string& entry) {
  if (entry.size() < 2 + kMarkSize + kRandomChars || entry[0] != '.') return false;
  const size_t mark = entry.size() - kRandomChars - kMarkSize;
  if (entry.compare(mark, kMarkSize, kMark) != 0) return false;
  for (size_t i = mark + kMarkSize; i < entry.size(); ++i) {
    const char c = entry[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

}  // namespace wh::files
