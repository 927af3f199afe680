#include "platform/x11/background_memory.h"

#include <cstdio>

#include "common/runtime_error.h"
#include "system/files.h"
#include "system/system.h"

namespace wh::x11 {

namespace {

bool HasControl(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The text of a GVariant string as gsettings prints it ('...' or "..."
// with backslash escapes); the setting itself when it is not quoted.
std::string Unquoted(const std::string& setting) {
  if (setting.size() < 2 || (setting[0] != '\'' && setting[0] != '"') ||
      setting.back() != setting[0])
    return setting;
  std::string text;
  for (size_t i = 1; i + 1 < setting.size(); ++i) {
    if (setting[i] == '\\' && i + 2 < setting.size()) ++i;
    text += setting[i];
  }
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path a setting names: a file:// address decoded, a path as it is.
std::string PathOf(const std::string& setting) {
  std::string text = Unquoted(setting);
  if (!StartsWith(text, "file://")) return text;
  text = text.substr(7);
  // file://host/path: the path begins at the first slash.
  const size_t slash = text.find('/');
  text = slash == std::string::npos ? "" : text.substr(slash);
  std::string path;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      path += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      path += text[i];
    }
  }
  return path;
}

// The last two parts of a path: "folder/name".
std::string Tail(const std::string& path) {
  const size_t last = path.find_last_of('/');
  if (last == std::string::npos || last == 0) return "";
  const size_t before = path.find_last_of('/', last - 1);
  return path.substr(before == std::string::npos ? 0 : before + 1);
}

}  // namespace

const std::vector<PictureKey>& PictureKeys() {
  static const std::vector<PictureKey> keys = {
      {"org.gnome.desktop.background", "picture-uri", true},
      // Newer GNOME keeps a second picture for its dark style.
      {"org.gnome.desktop.background", "picture-uri-dark", true},
      {"org.mate.background", "picture-filename", false},
      {"org.cinnamon.desktop.background", "picture-uri", true},
  };
  return keys;
}

bool IsXfconfPictureProperty(const std::string& property) {
  // "/backdrop/screen0/monitorHDMI-1/workspace0/last-image" and the like.
  static const std::string kPrefix = "/backdrop/", kSuffix = "/last-image";
  if (property.size() <= kPrefix.size() + kSuffix.size() || !StartsWith(property, kPrefix) ||
      property.compare(property.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
    return false;
  for (size_t i = kPrefix.size(); i < property.size() - kSuffix.size(); ++i) {
    const char c = property[i];
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain && !(c == '/' && property[i - 1] != '/')) return false;
  }
  return property.find("/../") == std::string::npos;
}

namespace {

// A sway output name ("HDMI-A-1", "*").
bool IsOutputName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '*';
    if (!plain) return false;
  }
  return true;
}

// What follows "bg" in sway's output command: a picture (a path, quoted
// where it has blanks) and how it fills the output, or a colour and
// solid_color. Nothing that could end the command and start another.
bool IsSwayBackground(const std::string& value) {
  if (value.find_first_of(";,{}\n") != std::string::npos) return false;
  const size_t last = value.find_last_of(' ');
  if (last == std::string::npos) return false;
  const std::string what = value.substr(0, last), mode = value.substr(last + 1);
  static const char* const kModes[] = {"stretch", "fill", "fit", "center", "tile", "solid_color"};
  bool known = false;
  for (const char* m : kModes) known = known || mode == m;
  if (!known || what.empty()) return false;
  if (mode == "solid_color") return what[0] == '#' && what.find(' ') == std::string::npos;
  const bool quoted = what[0] == '"' && what.size() > 2 && what.back() == '"' &&
                      what.find('"', 1) == what.size() - 1;
  return quoted ? what[1] == '/' : what[0] == '/' && what.find_first_of(" \"'") == std::string::npos;
}

}  // namespace

bool IsSaverPicture(const std::string& setting, const std::string& ours) {
  const std::string tail = Tail(ours);
  const std::string path = PathOf(setting);
  return !tail.empty() && path.size() > tail.size() &&
         path.compare(path.size() - tail.size(), tail.size(), tail) == 0 &&
         path[path.size() - tail.size() - 1] == '/';
}

bool BackgroundMemory::Acts(const std::string& key, const std::string& value) {
  if (value.empty() || HasControl(value) || HasControl(key)) return false;
  if (key == "root") return value == "picture" || value == "none";
  if (StartsWith(key, "xfconf ")) return IsXfconfPictureProperty(key.substr(7)) && value[0] == '/';
  if (key == "plasma") return value[0] == '/';
  if (StartsWith(key, "sway ")) return IsOutputName(key.substr(5)) && IsSwayBackground(value);
  if (StartsWith(key, "gsettings ")) {
    // The value as gsettings printed it: a quoted text.
    if (value.size() < 2 || (value[0] != '\'' && value[0] != '"') || value.back() != value[0])
      return false;
    for (const PictureKey& k : PictureKeys())
      if (key == std::string("gsettings ") + k.schema + " " + k.key) return true;
  }
  return false;
}

std::string BackgroundMemory::Folder() {
  const std::string state = platform::Sys().StateDir();
  return state.empty() ? "" : files::JoinPath(state, "WinterHollow");
}
std::string BackgroundMemory::FilePath() {
  const std::string folder = Folder();
  return folder.empty() ? "" : files::JoinPath(folder, "previous-background");
}
std::string BackgroundMemory::PicturePath() {
  const std::string folder = Folder();
  return folder.empty() ? "" : files::JoinPath(folder, "previous-background.bmp");
}

BackgroundMemory BackgroundMemory::Parse(const std::string& text,
                                         std::vector<std::string>* ignored) {
  BackgroundMemory memory;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty()) continue;
    // "root-ours" named the saver's own root pixmap in earlier versions: it
    // was never put back, and needs no word now.
    if (StartsWith(line, "root-ours\t")) continue;
    const size_t tab = line.find('\t');
    if (tab != std::string::npos && Acts(line.substr(0, tab), line.substr(tab + 1))) {
      memory.entries_[line.substr(0, tab)] = line.substr(tab + 1);
    } else if (ignored) {
      ignored->push_back(line);
    }
  }
  return memory;
}

BackgroundMemory BackgroundMemory::Load(std::vector<std::string>* ignored) {
  const std::string path = FilePath();
  if (path.empty()) return {};
  const std::optional<std::string> text = files::ReadSmallFile(path, kMaxFileSize);
  return text ? Parse(*text, ignored) : BackgroundMemory{};
}

std::optional<std::string> BackgroundMemory::Get(const std::string& key) const {
  auto it = entries_.find(key);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

bool BackgroundMemory::Set(const std::string& key, const std::string& value) {
  if (!Acts(key, value)) return false;
  entries_[key] = value;
  return true;
}

void BackgroundMemory::Save() const {
  const std::string folder = Folder();
  if (folder.empty()) Raise(kErrPathNotFound);  // no home to keep it in
  if (!files::MakeOwnFolder(folder)) Raise(kErrPermissionDenied);
  std::string text;
  for (const auto& [k, v] : entries_) text += k + '\t' + v + '\n';
  files::ReplaceFile(FilePath(), text);
}

void BackgroundMemory::Forget() {
  if (FilePath().empty()) return;
  std::remove(FilePath().c_str());
  std::remove(PicturePath().c_str());
}

}  // namespace wh::x11
