#include "platform/posix/ini_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/runtime_error.h"
#include "platform/posix/system_posix.h"

namespace wh::platform {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
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

void MakeDirs(const std::string& dir) {
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      std::string part = dir.substr(0, i);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) Raise(FileErrorFromErrno(errno));
    }
  }
}

}  // namespace

IniFileStore::IniFileStore(std::string config_dir)
    : config_dir_(config_dir.empty() ? XdgDir("XDG_CONFIG_HOME", ".config")
                                     : std::move(config_dir)) {}

std::string IniFileStore::FilePath(const std::string& app) const {
  return config_dir_ + "/" + app + "/settings.ini";
}

std::string IniFileStore::Get(const std::string& app, const std::string& section,
                              const std::string& key, const std::string& default_text) {
  std::string current, k, v;
  for (const std::string& line : ReadLines(FilePath(app))) {
    if (SectionHeader(line, &current)) continue;
    if (current == section && KeyValue(line, &k, &v) && k == key) return v;
  }
  return default_text;
}

void IniFileStore::Save(const std::string& app, const std::string& section,
                        const std::string& key, const std::string& text) {
  const std::string path = FilePath(app);
  std::vector<std::string> lines = ReadLines(path);

  // Replace the key in place, or append it to its section, or add the section.
  std::string current, k, v;
  bool done = false;
  int section_end = -1;  // index after the last line of the section
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    if (SectionHeader(lines[i], &current)) {
      if (current == section) section_end = static_cast<int>(i) + 1;
      continue;
    }
    if (current != section) continue;
    if (KeyValue(lines[i], &k, &v) && k == key) {
      lines[i] = key + "=" + text;
      done = true;
    } else if (!Trim(lines[i]).empty()) {
      section_end = static_cast<int>(i) + 1;
    }
  }
  if (!done) {
    if (section_end < 0) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + section + "]");
      section_end = static_cast<int>(lines.size());
    }
    lines.insert(lines.begin() + section_end, key + "=" + text);
  }

  std::string content;
  for (const std::string& line : lines) content += line + "\n";

  const std::string dir = path.substr(0, path.find_last_of('/'));
  MakeDirs(dir);
  const std::string tmp = path + ".tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Raise(FileErrorFromErrno(errno));
  size_t written = 0;
  while (written < content.size()) {
    ssize_t n = write(fd, content.data() + written, content.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      unlink(tmp.c_str());
      Raise(FileErrorFromErrno(err));
    }
    written += static_cast<size_t>(n);
  }
  int synced = fsync(fd);
  int sync_err = errno;
  if (close(fd) != 0 || synced != 0) {
    int err = synced != 0 ? sync_err : errno;
    unlink(tmp.c_str());
    Raise(FileErrorFromErrno(err));
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    unlink(tmp.c_str());
    Raise(FileErrorFromErrno(err));
  }
}

}  // namespace wh::platform
