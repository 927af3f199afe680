#include "platform/x11/desktop_background.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

bool Gsettings(const char* schema, const char* key, const std::string& value) {
  return Run({"gsettings", "set", schema, key, value}) == 0;
}

bool Xfce(const std::string& path) {
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
      any |= Run({"xfconf-query", "-c", "xfce4-desktop", "-p", prop, "-s", path}) == 0;
    }
    start = end + 1;
  }
  return any;
}

}  // namespace

bool SetRootPixmap(const uint32_t* px, int w, int h) {
  // A connection of its own whose resources stay when it closes: the pixmap
  // must outlive the saver.
  ::Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  const int scr = DefaultScreen(d);
  ::Window root = RootWindow(d, scr);
  const int depth = DefaultDepth(d, scr);
  ::Visual* vis = DefaultVisual(d, scr);
  if ((depth != 24 && depth != 32) || vis->red_mask != 0xFF0000 || vis->blue_mask != 0xFF) {
    XCloseDisplay(d);
    return false;
  }
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

  // The previous setter's pixmap would otherwise stay in the server forever.
  ::Atom esetroot = XInternAtom(d, "ESETROOT_PMAP_ID", False);
  ::Atom xrootpmap = XInternAtom(d, "_XROOTPMAP_ID", False);
  {
    ::Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, root, esetroot, 0, 1, False, XA_PIXMAP, &type, &format, &n, &after,
                           &data) == Success &&
        type == XA_PIXMAP && n == 1 && data) {
      XKillClient(d, *reinterpret_cast<Pixmap*>(data));
    }
    if (data) XFree(data);
  }
  XChangeProperty(d, root, xrootpmap, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pm), 1);
  XChangeProperty(d, root, esetroot, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pm), 1);
  XSetWindowBackgroundPixmap(d, root, pm);
  XClearWindow(d, root);
  XSetCloseDownMode(d, RetainPermanent);
  XCloseDisplay(d);
  return true;
}

bool SetDesktopBackground(const std::string& path, const uint32_t* px, int w, int h) {
  const char* env = std::getenv("XDG_CURRENT_DESKTOP");
  const std::string desktop = Lower(env ? env : "");
  const std::string uri = FileUri(path);
  if (desktop.find("xfce") != std::string::npos && Xfce(path)) return true;
  if (desktop.find("mate") != std::string::npos &&
      Gsettings("org.mate.background", "picture-filename", path))
    return true;
  if (desktop.find("cinnamon") != std::string::npos &&
      Gsettings("org.cinnamon.desktop.background", "picture-uri", uri))
    return true;
  if (desktop.find("gnome") != std::string::npos || desktop.find("unity") != std::string::npos ||
      desktop.find("budgie") != std::string::npos || desktop.find("pantheon") != std::string::npos) {
    bool ok = Gsettings("org.gnome.desktop.background", "picture-uri", uri);
    // Newer GNOME keeps a second picture for its dark style.
    Gsettings("org.gnome.desktop.background", "picture-uri-dark", uri);
    if (ok) return true;
  }
  return px && SetRootPixmap(px, w, h);
}

}  // namespace wh::x11
