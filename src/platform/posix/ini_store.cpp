#include "platform/posix/ini_store.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/runtime_error.h"
#include "platform/posix/system_posix.h"
#include "system/files.h"

namespace wh::platform {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < content.size()) {
    size_t end = content.find('\n', at);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

// Names compare as the registry compares them: without regard to case.
bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// "[name]" -> name, anything else -> no section header.
bool SectionHeader(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  *name = Trim(t.substr(1, t.size() - 2));
  return true;
}

bool KeyValue(const std::string& line, std::string* key, std::string* value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  return !key->empty();
}

}  // namespace

IniFileStore::IniFileStore(std::string config_dir)
    : config_dir_(config_dir.empty() ? XdgDir("XDG_CONFIG_HOME", ".config")
                                     : std::move(config_dir)) {}

std::string IniFileStore::FilePath(const std::string& app) const {
  if (config_dir_.empty()) return "";
  return config_dir_ + "/" + app + "/settings.ini";
}

void IniFileStore::Reload() {
  cache_.clear();
  std::vector<std::string>& lines = cache_[kAppName];
  const std::string path = FilePath(kAppName);
  if (path.empty()) return;
  if (auto content = files::ReadSmallFile(path, kMaxFileSize)) lines = SplitLines(*content);
}

const std::vector<std::string>& IniFileStore::Lines(const std::string& app) {
  auto it = cache_.find(app);
  if (it != cache_.end()) return it->second;
  std::vector<std::string>& lines = cache_[app];
  const std::string path = FilePath(app);
  if (path.empty()) return lines;
  try {
    if (auto content = files::ReadSmallFile(path, kMaxFileSize)) lines = SplitLines(*content);
  } catch (const RuntimeError&) {
    // Only Reload reports a file it cannot read; a Get answers with the default.
  }
  return lines;
}

std::string IniFileStore::Get(const std::string& app, const std::string& section,
                              const std::string& key, const std::string& default_text) {
  std::string current, k, v;
  for (const std::string& line : Lines(app)) {
    if (SectionHeader(line, &current)) continue;
    if (SameName(current, section) && KeyValue(line, &k, &v) && SameName(k, key)) return v;
  }
  return default_text;
}

void IniFileStore::Save(const std::string& app, const std::string& section,
                        const std::string& key, const std::string& text) {
  SaveAll(app, section, {{key, text}});
}

namespace {

// Puts `key`=`text` into the lines: the value replaced where the key stands,
// else the key appended to its section, else the section added at the end.
void SetKey(std::vector<std::string>& lines, const std::string& section, const std::string& key,
            const std::string& text) {
  std::string current, k, v;
  int section_end = -1;  // index after the last line of the section
  for (size_t i = 0; i < lines.size(); ++i) {
    if (SectionHeader(lines[i], &current)) {
      if (SameName(current, section)) section_end = static_cast<int>(i) + 1;
      continue;
    }
    if (!SameName(current, section)) continue;
    if (KeyValue(lines[i], &k, &v) && SameName(k, key)) {
      lines[i] = k + "=" + text;
      return;
    }
    if (!Trim(lines[i]).empty()) section_end = static_cast<int>(i) + 1;
  }
  if (section_end < 0) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
    lines.push_back("[" + section + "]");
    section_end = static_cast<int>(lines.size());
  }
  lines.insert(lines.begin() + section_end, key + "=" + text);
}

}  // namespace

void IniFileStore::SaveAll(const std::string& app, const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& values) {
  const std::string path = FilePath(app);
  if (path.empty()) Raise(kErrPathNotFound);  // no home to keep settings in
  if (!files::MakeOwnFolder(config_dir_ + "/" + app)) Raise(kErrPermissionDenied);
  std::vector<std::string> lines;
  // The file as it is now, not as last read: another program may have
  // changed it since, and it cannot change again before the rename. One
  // that cannot be read is not overwritten.
  files::UpdateFile(path, kMaxFileSize, [&](const std::optional<std::string>& content) {
    lines = content ? SplitLines(*content) : std::vector<std::string>{};
    // Line ends stay as the file has them (an editor on Windows writes CR LF).
    const bool crlf = content && content->find("\r\n") != std::string::npos &&
                      content->find("\r\n") + 1 == content->find('\n');
    for (const auto& [key, text] : values) SetKey(lines, section, key, text);
    std::string out;
    for (const std::string& line : lines) out += line + (crlf ? "\r\n" : "\n");
    return out;
  });
  cache_[app] = std::move(lines);
}

std::string IniFileStore::Location(const std::string& app) const { return FilePath(app); }

}  // namespace wh::platform
