#include "platform/x11/desktop_background.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "gfx/dib.h"
#include "gfx/image.h"
#include "platform/posix/system_posix.h"
#include "system/system.h"

extern char** environ;

namespace wh::x11 {

namespace {

// Runs a program found on PATH and returns its exit status (-1 when it could
// not be started); its output is kept off our terminal.
int Run(const std::vector<std::string>& argv, std::string* out = nullptr) {
  std::vector<char*> cargv;
  for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  int pipefd[2] = {-1, -1};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  if (out && pipe(pipefd) == 0) {
    posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
    posix_spawn_file_actions_addclose(&fa, pipefd[0]);
  } else {
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, cargv[0], &fa, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (pipefd[1] >= 0) close(pipefd[1]);
  if (rc != 0) {
    if (pipefd[0] >= 0) close(pipefd[0]);
    return -1;
  }
  if (pipefd[0] >= 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0) out->append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string FileUri(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-_.~", c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}

// Writes a file of the user's through a new temporary file and a rename, so
// the old file survives any failure, and never through a link someone else
// placed there.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size) {
  const size_t slash = path.find_last_of('/');
  std::error_code ec;
  if (slash != std::string::npos) std::filesystem::create_directories(path.substr(0, slash), ec);
  const std::string tmp = path + ".tmp";
  unlink(tmp.c_str());  // a stale one, or a planted link: only the name goes
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == size && fsync(fd) == 0;
  if (close(fd) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

// What the saver remembers of the user's own background, so that
// --restore-wallpaper can put it back: lines of key, TAB, value. Keys are
// "gsettings SCHEMA KEY" (the value as gsettings prints it), "xfconf PROPERTY",
// "plasma" (the picture's path), "sway OUTPUT" (what follows "bg" in sway's
// configuration), "root" ("picture" beside it in previous-background.bmp, or "none") and
// "root-ours" (the pixmap the saver put there, not restored).
class Memory {
 public:
  static std::string Folder() { return platform::Sys().StateDir() + "/WinterHollow"; }
  static std::string FilePath() { return Folder() + "/previous-background"; }
  static std::string PicturePath() { return Folder() + "/previous-background.bmp"; }

  Memory() {
    std::ifstream in(FilePath());
    std::string line;
    while (std::getline(in, line)) {
      const size_t tab = line.find('\t');
      if (tab != std::string::npos) entries_[line.substr(0, tab)] = line.substr(tab + 1);
    }
  }
  const std::map<std::string, std::string>& entries() const { return entries_; }
  std::optional<std::string> Get(const std::string& key) const {
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
  }
  void Set(const std::string& key, const std::string& value) {
    if (value.find('\n') != std::string::npos) return;
    auto [it, added] = entries_.try_emplace(key, value);
    if (!added && it->second == value) return;
    it->second = value;
    dirty_ = true;
  }
  // Memory is a convenience: a failure to write it only loses it.
  void Save() {
    if (!dirty_) return;
    std::string text;
    for (const auto& [k, v] : entries_) text += k + '\t' + v + '\n';
    if (WriteFileReplacing(FilePath(), text.data(), text.size())) dirty_ = false;
  }
  static void Forget() {
    std::remove(FilePath().c_str());
    std::remove(PicturePath().c_str());
  }

 private:
  std::map<std::string, std::string> entries_;
  bool dirty_ = false;
};

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

// A GVariant string as gsettings prints and reads it.
std::string Quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') q += '\\';
    q += c;
  }
  return q + "'";
}

// Sets a gsettings key after remembering what the user had there (unless
// what is there is already ours).
bool Gsettings(Memory& memory, const char* schema, const char* key, const std::string& value) {
  std::string now;
  if (Run({"gsettings", "get", schema, key}, &now) == 0) {
    now = Trim(now);
    if (!now.empty() && now != Quoted(value) && now != value)
      memory.Set(std::string("gsettings ") + schema + " " + key, now);
  }
  return Run({"gsettings", "set", schema, key, value}) == 0;
}

bool Xfce(Memory& memory, const std::string& path) {
  std::string list;
  if (Run({"xfconf-query", "-c", "xfce4-desktop", "-l"}, &list) != 0) return false;
  bool any = false;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    const std::string prop = list.substr(start, end - start);
    static const std::string kSuffix = "/last-image";
    if (prop.size() > kSuffix.size() &&
        prop.compare(prop.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
      std::string now;
      if (Run({"xfconf-query", "-c", "xfce4-desktop", "-p", prop}, &now) == 0) {
        now = Trim(now);
        if (!now.empty() && now != path) memory.Set("xfconf " + prop, now);
      }
      any |= Run({"xfconf-query", "-c", "xfce4-desktop", "-p", prop, "-s", path}) == 0;
    }
    start = end + 1;
  }
  return any;
}

// KDE Plasma's own tool sets the picture on every desktop. The user's picture
// is the first one Plasma's settings file names.
std::string PlasmaPicture() {
  std::ifstream in(platform::XdgDir("XDG_CONFIG_HOME", ".config") +
                   "/plasma-org.kde.plasma.desktop-appletsrc");
  static const std::string kGroup = "[Wallpaper][org.kde.image][General]";
  std::string line;
  bool in_group = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (!line.empty() && line[0] == '[') {
      in_group = line.size() >= kGroup.size() &&
                 line.compare(line.size() - kGroup.size(), kGroup.size(), kGroup) == 0;
    } else if (in_group && line.rfind("Image=", 0) == 0) {
      std::string picture = line.substr(6);
      if (picture.rfind("file://", 0) == 0) picture = picture.substr(7);
      return picture;
    }
  }
  return "";
}

bool Plasma(Memory& memory, const std::string& path) {
  const std::string now = PlasmaPicture();
  if (!now.empty() && now != path) memory.Set("plasma", now);
  return Run({"plasma-apply-wallpaperimage", path}) == 0;
}

// sway draws the background its IPC names (through swaybg). The user's own
// are the "output NAME bg FILE MODE" lines of sway's configuration.
bool Sway(Memory& memory, const std::string& path) {
  std::string config;
  if (Run({"swaymsg", "-p", "-t", "get_config"}, &config) == 0) {
    std::istringstream lines(config);
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      std::string output, name, bg;
      words >> output >> name >> bg;
      if (output != "output" || (bg != "bg" && bg != "background")) continue;
      std::string rest;
      std::getline(words >> std::ws, rest);
      rest = Trim(rest);
      if (!rest.empty() && rest.find(path) == std::string::npos) memory.Set("sway " + name, rest);
    }
  }
  return Run({"swaymsg", "output", "*", "bg", "\"" + path + "\"", "fill"}) == 0;
}

// Server errors on the pixmaps of other clients (gone, or not pixmaps at
// all) are expected; Xlib's default handler would end the program.
int IgnoreXError(::Display*, XErrorEvent*) { return 0; }

class QuietErrors {
 public:
  QuietErrors() : previous_(XSetErrorHandler(IgnoreXError)) {}
  ~QuietErrors() { XSetErrorHandler(previous_); }

 private:
  int (*previous_)(::Display*, XErrorEvent*);
};

Pixmap RootPixmapProperty(::Display* d, ::Window root, ::Atom property) {
  ::Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  Pixmap pm = 0;
  if (XGetWindowProperty(d, root, property, 0, 1, False, XA_PIXMAP, &type, &format, &n, &after,
                         &data) == Success &&
      type == XA_PIXMAP && format == 32 && n == 1 && data) {
    pm = *reinterpret_cast<Pixmap*>(data);
  }
  if (data) XFree(data);
  return pm;
}

bool TrueColour24(::Display* d, int scr) {
  const ::Visual* vis = DefaultVisual(d, scr);
  const int depth = DefaultDepth(d, scr);
  return (depth == 24 || depth == 32) && vis->red_mask == 0xFF0000 && vis->green_mask == 0xFF00 &&
         vis->blue_mask == 0xFF;
}

// Keeps a copy of the root's picture before the saver replaces it, unless
// the picture there is the saver's own.
void RememberRoot(::Display* d, Memory& memory) {
  const int scr = DefaultScreen(d);
  ::Window root = RootWindow(d, scr);
  const Pixmap now = RootPixmapProperty(d, root, XInternAtom(d, "_XROOTPMAP_ID", False));
  const auto ours = memory.Get("root-ours");
  if (now && ours && *ours == std::to_string(now)) return;
  if (!now) {
    memory.Set("root", "none");
    return;
  }
  QuietErrors quiet;
  ::Window r;
  int x, y;
  unsigned w = 0, h = 0, border, depth;
  if (!XGetGeometry(d, now, &r, &x, &y, &w, &h, &border, &depth) || w == 0 || h == 0 ||
      static_cast<int>(depth) != DefaultDepth(d, scr) || !TrueColour24(d, scr)) {
    memory.Set("root", "none");
    return;
  }
  XImage* img = XGetImage(d, now, 0, 0, w, h, AllPlanes, ZPixmap);
  if (!img) {
    memory.Set("root", "none");
    return;
  }
  Image pic;
  pic.width = static_cast<int>(w);
  pic.height = static_cast<int>(h);
  pic.px.resize(static_cast<size_t>(w) * h);
  for (unsigned yy = 0; yy < h; ++yy)
    for (unsigned xx = 0; xx < w; ++xx)
      pic.px[static_cast<size_t>(yy) * w + xx] =
          static_cast<uint32_t>(XGetPixel(img, static_cast<int>(xx), static_cast<int>(yy)) & 0xFFFFFF);
  XDestroyImage(img);
  const std::vector<uint8_t> bmp = EncodeBmp24(pic);
  memory.Set("root", WriteFileReplacing(Memory::PicturePath(), bmp.data(), bmp.size())
                         ? "picture"
                         : "none");
}

// Puts a pixmap of the picture on the root window of `d`; returns it (0 when
// the screen cannot show the picture).
Pixmap PutRootPixmap(::Display* d, const uint32_t* px, int w, int h) {
  const int scr = DefaultScreen(d);
  ::Window root = RootWindow(d, scr);
  if (!TrueColour24(d, scr)) return 0;
  const int depth = DefaultDepth(d, scr);
  ::Visual* vis = DefaultVisual(d, scr);
  Pixmap pm = XCreatePixmap(d, root, static_cast<unsigned>(w), static_cast<unsigned>(h),
                            static_cast<unsigned>(depth));
  XImage* img = XCreateImage(d, vis, static_cast<unsigned>(depth), ZPixmap, 0,
                             reinterpret_cast<char*>(const_cast<uint32_t*>(px)),
                             static_cast<unsigned>(w), static_cast<unsigned>(h), 32, w * 4);
  GC gc = XCreateGC(d, pm, 0, nullptr);
  XPutImage(d, pm, gc, img, 0, 0, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
  img->data = nullptr;
  XDestroyImage(img);
  XFreeGC(d, gc);
  ReplaceRootPixmap(d, pm);
  return pm;
}

}  // namespace

void ReplaceRootPixmap(::Display* d, Pixmap pm) {
  const int scr = DefaultScreen(d);
  ::Window root = RootWindow(d, scr);
  ::Atom esetroot = XInternAtom(d, "ESETROOT_PMAP_ID", False);
  ::Atom xrootpmap = XInternAtom(d, "_XROOTPMAP_ID", False);
  {
    // The previous setter's pixmap would otherwise stay in the server
    // forever. Setters that leave theirs for the next one to free say so by
    // publishing the same pixmap under both names; anything else in
    // ESETROOT_PMAP_ID may belong to a client that is still running.
    QuietErrors quiet;
    const Pixmap previous = RootPixmapProperty(d, root, esetroot);
    if (previous && previous != pm && previous == RootPixmapProperty(d, root, xrootpmap))
      XKillClient(d, previous);
    XSync(d, False);
  }
  if (pm) {
    XChangeProperty(d, root, xrootpmap, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pm), 1);
    XChangeProperty(d, root, esetroot, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pm), 1);
    XSetWindowBackgroundPixmap(d, root, pm);
  } else {
    XDeleteProperty(d, root, xrootpmap);
    XDeleteProperty(d, root, esetroot);
    XSetWindowBackgroundPixmap(d, root, None);
  }
  XClearWindow(d, root);
}

namespace {

// Sets the root pixmap on a connection of its own whose resources stay when
// it closes: the pixmap must outlive the saver. The user's own root picture
// is remembered first when `memory` is given.
bool SetRootPixmapRemembering(const uint32_t* px, int w, int h, Memory* memory) {
  ::Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  if (!TrueColour24(d, DefaultScreen(d))) {
    XCloseDisplay(d);
    return false;
  }
  if (memory) RememberRoot(d, *memory);
  const Pixmap pm = PutRootPixmap(d, px, w, h);
  if (memory && pm) memory->Set("root-ours", std::to_string(pm));
  XSetCloseDownMode(d, RetainPermanent);
  XCloseDisplay(d);
  return pm != 0;
}

}  // namespace

bool SetRootPixmap(const uint32_t* px, int w, int h) {
  return SetRootPixmapRemembering(px, w, h, nullptr);
}

bool SetDesktopBackground(const std::string& path, const uint32_t* px, int w, int h) {
  const char* env = std::getenv("XDG_CURRENT_DESKTOP");
  const std::string desktop = Lower(env ? env : "");
  const std::string uri = FileUri(path);
  Memory memory;
  bool ok = false;
  if (desktop.find("xfce") != std::string::npos) ok = Xfce(memory, path);
  if (!ok && desktop.find("mate") != std::string::npos)
    ok = Gsettings(memory, "org.mate.background", "picture-filename", path);
  if (!ok && desktop.find("cinnamon") != std::string::npos)
    ok = Gsettings(memory, "org.cinnamon.desktop.background", "picture-uri", uri);
  if (!ok && (desktop.find("gnome") != std::string::npos ||
              desktop.find("unity") != std::string::npos ||
              desktop.find("budgie") != std::string::npos ||
              desktop.find("pantheon") != std::string::npos)) {
    ok = Gsettings(memory, "org.gnome.desktop.background", "picture-uri", uri);
    // Newer GNOME keeps a second picture for its dark style.
    Gsettings(memory, "org.gnome.desktop.background", "picture-uri-dark", uri);
  }
  if (!ok && (desktop.find("kde") != std::string::npos)) ok = Plasma(memory, path);
  if (!ok && (desktop.find("sway") != std::string::npos || std::getenv("SWAYSOCK")))
    ok = Sway(memory, path);
  if (!ok && px) ok = SetRootPixmapRemembering(px, w, h, &memory);
  memory.Save();
  return ok;
}

bool RestoreDesktopBackground(std::string& message) {
  Memory memory;
  std::vector<std::string> failed;
  int restored = 0;
  for (const auto& [key, value] : memory.entries()) {
    std::istringstream words(key);
    std::string way, a, b;
    words >> way >> a >> b;
    bool ok = true;
    if (way == "gsettings") {
      ok = Run({"gsettings", "set", a, b, value}) == 0;
    } else if (way == "xfconf") {
      ok = Run({"xfconf-query", "-c", "xfce4-desktop", "-p", a, "-s", value}) == 0;
    } else if (way == "plasma") {
      ok = Run({"plasma-apply-wallpaperimage", value}) == 0;
    } else if (way == "sway") {
      ok = Run({"swaymsg", "output", a, "bg", value}) == 0;
    } else if (way == "root") {
      ::Display* d = XOpenDisplay(nullptr);
      ok = d != nullptr;
      if (d) {
        if (value == "picture") {
          Image pic;
          try {
            pic = LoadBmpFile(Memory::PicturePath());
          } catch (const RuntimeError&) {
            ok = false;
          }
          ok = ok && PutRootPixmap(d, pic.px.data(), pic.width, pic.height) != 0;
          if (ok) XSetCloseDownMode(d, RetainPermanent);
        } else {
          ReplaceRootPixmap(d, 0);
        }
        XCloseDisplay(d);
      }
    } else {
      continue;  // "root-ours" and anything unknown
    }
    if (ok) {
      ++restored;
    } else {
      failed.push_back(key);
    }
  }
  if (!failed.empty()) {
    message = "could not put back the desktop background through";
    for (const std::string& f : failed) message += " '" + f + "'";
    message += "; what it was is kept in " + Memory::FilePath();
    return false;
  }
  if (restored == 0) {
    message = "there is no background to put back: the saver has not replaced it";
    return false;
  }
  Memory::Forget();
  message = "the desktop background from before the saver is back";
  return true;
}

}  // namespace wh::x11
