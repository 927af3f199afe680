// What the saver remembers of the user's own desktop background, so that
// --restore-wallpaper can put it back: the file previous-background in the
// user's state folder, lines of key, TAB, value. The keys are
//   "gsettings SCHEMA KEY"  the value as gsettings prints it (a quoted text)
//   "xfconf PROPERTY"       a picture's path, for an xfce4-desktop last-image
//   "plasma"                a picture's path, for KDE Plasma's desktops
//   "sway OUTPUT"           what follows "bg" in sway's output command
//   "root"                  "picture" (kept beside it as a BMP) or "none"
// Only these, for the schemas, keys and properties the saver itself sets,
// are ever acted on: the file lies in a folder of the user's, but a line
// planted there must not become a way to change any setting at all.
//
// No X here: the fuzzers read the file through this alone.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace wh::x11 {

// A gsettings key that holds a desktop picture, and how its value names the
// picture: a file:// address or a plain path.
struct PictureKey {
  const char* schema;
  const char* key;
  bool uri;
};
// Every gsettings key the saver sets (and so may put back).
const std::vector<PictureKey>& PictureKeys();

// Whether `property` is one of xfce4-desktop's last-image properties.
bool IsXfconfPictureProperty(const std::string& property);

// Whether a background setting as a desktop holds it (a gsettings text,
// quoted; a file:// address; a path) names one of the saver's own pictures:
// a file named as `ours` in a folder named as `ours`'s folder, wherever
// that folder lay (the data folder may have moved since).
bool IsSaverPicture(const std::string& setting, const std::string& ours);

class BackgroundMemory {
 public:
  // Far more than the few lines the saver writes.
  static constexpr size_t kMaxFileSize = 64 * 1024;
  // The root window's picture: a BMP of the largest screens (three 4K
  // monitors side by side take about 75 MB).
  static constexpr size_t kMaxPictureSize = 128u * 1024 * 1024;

  // The state folder's WinterHollow folder; empty without a home.
  static std::string Folder();
  static std::string FilePath();
  static std::string PicturePath();

  // The entries of a memory file's text that the saver acts on; the lines
  // it does not (another key, a value of the wrong form, a line without a
  // TAB) go to `ignored` when given.
  static BackgroundMemory Parse(const std::string& text, std::vector<std::string>* ignored);
  // Reads the file through the bounded reader: a regular file of at most
  // kMaxFileSize bytes, never waited on. None yet is an empty memory; any
  // other kind of file raises "Path/File access error".
  static BackgroundMemory Load(std::vector<std::string>* ignored);

  const std::map<std::string, std::string>& entries() const { return entries_; }
  std::optional<std::string> Get(const std::string& key) const;
  // Notes an entry; one the saver would not act on is refused (false).
  bool Set(const std::string& key, const std::string& value);
  // Writes the file through the own-files writer (a folder for the user
  // alone, a whole-file replacement). Raises when it cannot.
  void Save() const;
  // Forgets everything: the file and its picture go.
  static void Forget();

  // Whether the saver acts on this entry.
  static bool Acts(const std::string& key, const std::string& value);

 private:
  std::map<std::string, std::string> entries_;
};

}  // namespace wh::x11
