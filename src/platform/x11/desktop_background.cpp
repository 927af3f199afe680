#include "platform/x11/desktop_background.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "errors/trap.h"
#include "gfx/dib.h"
#include "gfx/image.h"
#include "platform/posix/system_posix.h"
#include "platform/x11/background_memory.h"
#include "system/files.h"
#include "system/system.h"

extern char** environ;

namespace wh::x11 {

namespace {

long long NowMs() {
  timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Runs a program found on PATH and returns its exit status (-1 when it could
// not be started or did not end in time); its output is kept off our
// terminal. A desktop's settings tool may hang (its bus gone, its daemon
// busy): after kHelperLimitMs it is killed with everything it started.
int Run(const std::vector<std::string>& argv, std::string* out = nullptr) {
  std::vector<char*> cargv;
  for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  int pipefd[2] = {-1, -1};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  if (out && pipe2(pipefd, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  }
  // A process group of its own, so that the kill reaches what it started;
  // the usual signal handling, whatever ours is.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                      POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, cargv[0], &fa, &attr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (pipefd[1] >= 0) close(pipefd[1]);
  if (rc != 0) {
    if (pipefd[0] >= 0) close(pipefd[0]);
    return -1;
  }
  const long long deadline = NowMs() + kHelperLimitMs;
  bool in_time = true;
  if (pipefd[0] >= 0) {
    char buf[4096];
    for (;;) {
      const long long left = deadline - NowMs();
      if (left <= 0) {
        in_time = false;
        break;
      }
      pollfd p{pipefd[0], POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) {
        in_time = ready < 0;
        break;
      }
      const ssize_t n = read(pipefd[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (out->size() < BackgroundMemory::kMaxFileSize) out->append(buf, static_cast<size_t>(n));
    }
    close(pipefd[0]);
  }
  int status = 0;
  for (;;) {
    const pid_t done = in_time ? waitpid(pid, &status, WNOHANG) : 0;
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR) return -1;
    if (!in_time || NowMs() >= deadline) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    const timespec nap{0, 10 * 1000 * 1000};
    nanosleep(&nap, nullptr);
  }
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

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

// A settings tool's command line that puts the saver's picture in place.
using Change = std::vector<std::string>;

// The gsettings keys of a desktop's schema, looked at before anything is
// changed. False when the first key cannot be read: gsettings or the schema
// is missing, or the user's value cannot be known.
bool LookGsettings(const char* schema, const std::string& path, const std::string& uri,
                   BackgroundMemory& memory, std::vector<Change>& changes) {
  bool first = true;
  for (const PictureKey& k : PictureKeys()) {
    if (std::string(k.schema) != schema) continue;
    std::string now;
    const bool read = Run({"gsettings", "get", k.schema, k.key}, &now) == 0;
    if (!read && first) return false;
    first = false;
    if (!read) continue;  // an older desktop without this key
    now = Trim(now);
    if (!now.empty() && !IsSaverPicture(now, path))
      memory.Set(std::string("gsettings ") + k.schema + " " + k.key, now);
    changes.push_back({"gsettings", "set", k.schema, k.key, k.uri ? uri : path});
  }
  return !first;
}

bool LookXfconf(const std::string& path, BackgroundMemory& memory, std::vector<Change>& changes) {
  std::string list;
  if (Run({"xfconf-query", "-c", "xfce4-desktop", "-l"}, &list) != 0) return false;
  std::istringstream props(list);
  std::string prop;
  while (std::getline(props, prop)) {
    prop = Trim(prop);
    if (!IsXfconfPictureProperty(prop)) continue;
    std::string now;
    if (Run({"xfconf-query", "-c", "xfce4-desktop", "-p", prop}, &now) != 0) continue;
    now = Trim(now);
    if (!now.empty() && !IsSaverPicture(now, path)) memory.Set("xfconf " + prop, now);
    changes.push_back({"xfconf-query", "-c", "xfce4-desktop", "-p", prop, "-s", path});
  }
  return !changes.empty();
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

bool LookPlasma(const std::string& path, BackgroundMemory& memory, std::vector<Change>& changes) {
  const std::string now = PlasmaPicture();
  if (!now.empty() && !IsSaverPicture(now, path)) memory.Set("plasma", now);
  changes.push_back({"plasma-apply-wallpaperimage", path});
  return true;
}

// sway draws the background its IPC names (through swaybg). The user's own
// are the "output NAME bg FILE MODE" lines of sway's configuration.
bool LookSway(const std::string& path, BackgroundMemory& memory, std::vector<Change>& changes) {
  std::string config;
  if (Run({"swaymsg", "-p", "-t", "get_config"}, &config) != 0) return false;
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
    if (!rest.empty() && !IsSaverPicture(rest.substr(0, rest.find_last_of(' ')), path))
      memory.Set("sway " + name, rest);
  }
  changes.push_back({"swaymsg", "output", "*", "bg", "\"" + path + "\"", "fill"});
  return true;
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

// The root property naming the pixmap the saver put there: whatever else
// is published in _XROOTPMAP_ID is another setter's.
constexpr const char* kOurPixmap = "_WINTERHOLLOW_ROOTPMAP";

// Keeps a copy of the root's picture before the saver replaces it, unless
// the picture there is the saver's own. The copy is written at once (it is
// the user's); the entry naming it waits for the memory's Save.
void RememberRoot(::Display* d, BackgroundMemory& memory) {
  const int scr = DefaultScreen(d);
  ::Window root = RootWindow(d, scr);
  const Pixmap now = RootPixmapProperty(d, root, XInternAtom(d, "_XROOTPMAP_ID", False));
  if (now && now == RootPixmapProperty(d, root, XInternAtom(d, kOurPixmap, False))) return;
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
  if (!files::MakeOwnFolder(BackgroundMemory::Folder())) Raise(kErrPermissionDenied);
  files::ReplaceFile(BackgroundMemory::PicturePath(), std::string(bmp.begin(), bmp.end()));
  memory.Set("root", "picture");
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
// it closes: the pixmap must outlive the saver. With `memory`, the user's
// own root picture is recorded first, and nothing changes when that fails
// (the failure is raised).
bool SetRootPixmapRemembering(const uint32_t* px, int w, int h, BackgroundMemory* memory) {
  ::Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  struct Closer {
    ::Display* d;
    ~Closer() { XCloseDisplay(d); }
  } closer{d};
  if (!TrueColour24(d, DefaultScreen(d))) return false;
  if (memory) {
    RememberRoot(d, *memory);
    memory->Save();
  }
  const Pixmap pm = PutRootPixmap(d, px, w, h);
  if (!pm) return false;
  ::Window root = RootWindow(d, DefaultScreen(d));
  XChangeProperty(d, root, XInternAtom(d, kOurPixmap, False), XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pm), 1);
  XSetCloseDownMode(d, RetainPermanent);
  return true;
}

// The memory as the file holds it. A file that cannot be read (a pipe, a
// huge file) and lines the saver does not act on are reported through the
// trap; what could be read is used.
BackgroundMemory LoadMemory(Trap& trap) {
  BackgroundMemory memory;
  std::vector<std::string> ignored;
  trap([&] {
    ignored.clear();
    memory = BackgroundMemory::Load(&ignored);
  }) && trap([&] {
    if (!ignored.empty()) Raise(kErrInvalidFileFormat);
  });
  return memory;
}

}  // namespace

bool SetRootPixmap(const uint32_t* px, int w, int h) {
  return SetRootPixmapRemembering(px, w, h, nullptr);
}

bool SetDesktopBackground(const std::string& path, const uint32_t* px, int w, int h) {
  const char* env = std::getenv("XDG_CURRENT_DESKTOP");
  const std::string desktop = Lower(env ? env : "");
  auto on = [&](const char* name) { return desktop.find(name) != std::string::npos; };
  const std::string uri = FileUri(path);
  Trap trap("DesktopBackground", "ReadBackgroundMemory");
  BackgroundMemory memory = LoadMemory(trap);
  // The first way this desktop offers: what the user has there is looked
  // at, recorded, and only then replaced.
  std::vector<Change> changes;
  const bool found = (on("xfce") && LookXfconf(path, memory, changes)) ||
                     (on("mate") && LookGsettings("org.mate.background", path, uri, memory, changes)) ||
                     (on("cinnamon") &&
                      LookGsettings("org.cinnamon.desktop.background", path, uri, memory, changes)) ||
                     ((on("gnome") || on("unity") || on("budgie") || on("pantheon")) &&
                      LookGsettings("org.gnome.desktop.background", path, uri, memory, changes)) ||
                     (on("kde") && LookPlasma(path, memory, changes)) ||
                     ((on("sway") || std::getenv("SWAYSOCK")) && LookSway(path, memory, changes));
  if (found) {
    memory.Save();  // raises: then the user's background stays as it is
    bool ok = false;
    for (const Change& c : changes) ok |= Run(c) == 0;
    if (ok) return true;
  }
  return px && SetRootPixmapRemembering(px, w, h, &memory);
}

bool RestoreDesktopBackground(std::string& message) {
  Trap trap("DesktopBackground", "ReadBackgroundMemory");
  const BackgroundMemory memory = LoadMemory(trap);
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
            const std::optional<std::string> bytes =
                files::ReadSmallFile(BackgroundMemory::PicturePath(), BackgroundMemory::kMaxPictureSize);
            if (!bytes) Raise(kErrFileNotFound);
            pic = DecodeBmp(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
          } catch (const RuntimeError&) {
            ok = false;
          }
          ok = ok && PutRootPixmap(d, pic.px.data(), pic.width, pic.height) != 0;
          if (ok) XSetCloseDownMode(d, RetainPermanent);
        } else {
          ReplaceRootPixmap(d, 0);
        }
        XDeleteProperty(d, RootWindow(d, DefaultScreen(d)), XInternAtom(d, kOurPixmap, False));
        XCloseDisplay(d);
      }
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
    message += "; what it was is kept in " + BackgroundMemory::FilePath();
    return false;
  }
  if (restored == 0) {
    message = "there is no background to put back: the saver has not replaced it";
    return false;
  }
  BackgroundMemory::Forget();
  message = "the desktop background from before the saver is back";
  return true;
}

}  // namespace wh::x11
