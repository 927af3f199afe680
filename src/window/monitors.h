// The monitors of a desktop and the saver heads that cover them: which
// monitors exist, which is primary, which scene belongs to which, what a
// monitor that appears, goes or changes gets, and which scene becomes the
// wallpaper. Decided here, once; a window system only lists its monitors
// and opens, moves and closes a window (or surface) when told.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wh {

class SaverWindow;

struct Monitor {
  int x = 0, y = 0, width = 0, height = 0;  // in desktop coordinates, may be negative
  int mm_width = 0, mm_height = 0;          // physical size, 0 when unknown
  bool primary = false;
  // The system's own name for it (an output or device name), which stays
  // while it moves or changes size; empty where the system has none.
  std::string name;
  // Pixels per desktop unit of the window's buffer (a Wayland output's
  // scale, 1.5 at 150 %); 1 where desktop units are pixels.
  double scale = 1;
  // Dots per inch its text is set at.
  double dpi = 96;
};

// The monitors as the saver covers them: cloned ones once, one that wholly
// covers others (a spanning one defined beside its parts) dropped, the
// primary first, the others left to right, then top to bottom. Exactly one
// is primary (the first, where none was named).
std::vector<Monitor> ArrangeMonitors(const std::vector<Monitor>& all);

// Dots per inch for text on a monitor. `user_dpi` (0 where not set) is the
// user's choice for every monitor; else the monitor's physical size counts,
// unless it cannot be a real one; else 96. Never below 96.
double TextDpi(double user_dpi, const Monitor& m);
// A density given as text (an X resource, a setting); 0 where it is not a
// plausible one.
double ParseDpi(const char* text);

// The monitor that holds most of the rectangle; the first (primary) one
// where it lies on none.
const Monitor& MonitorOf(const std::vector<Monitor>& mons, int x, int y, int w, int h);

// Which monitor before each monitor now is: by name where both have one,
// else by the same top left corner. from[i] is the index before of now[i],
// or -1 for a new one; gone lists the indices before that are not there now.
struct MonitorMatch {
  std::vector<int> from;
  std::vector<int> gone;
};
MonitorMatch MatchMonitors(const std::vector<Monitor>& before, const std::vector<Monitor>& now);

// Whether two lists describe the same monitors, in the same order.
bool SameMonitors(const std::vector<Monitor>& a, const std::vector<Monitor>& b);

// One monitor's saver: a window (or surface) of the window system with a
// scene of its own.
class MonitorHead {
 public:
  virtual ~MonitorHead() = default;
  const Monitor& monitor() const { return monitor_; }

  // The scene shown there.
  virtual SaverWindow& frm() = 0;
  // The size of the scene in pixels (the window's, or its buffer's).
  virtual void SceneSize(int* width, int* height) const = 0;
  // Makes the window visible.
  virtual void Show() = 0;
  // The window covers `m` now: the monitor moved, changed size or density.
  // monitor() is still the one it covered.
  virtual void Cover(const Monitor& m) = 0;
  // The monitor went: the window closes. The head is dropped after.
  virtual void Close() = 0;

 private:
  friend class MonitorHeads;
  Monitor monitor_;
};

// What a window system does for the heads.
class MonitorLayer {
 public:
  virtual ~MonitorLayer() = default;
  // A head covering `m` whose scene is not loaded yet; null where no
  // window can be had for it (the monitor is then left uncovered).
  virtual std::unique_ptr<MonitorHead> Open(const Monitor& m) = 0;
  // Runs `fn` with what is one for the process (the text's density, the
  // flake count) set to this head's scene's.
  virtual void WithHead(MonitorHead& h, const std::function<void()>& fn) {
    (void)h;
    fn();
  }
  // The heads changed (one came or went; the first may be another).
  virtual void HeadsChanged() {}
};

// Every monitor's head, the primary one's first: its scene becomes the
// wallpaper. Input on any head ends the saver on all (the layer sees to
// that by ending them all when one ends).
class MonitorHeads {
 public:
  explicit MonitorHeads(MonitorLayer& layer) : layer_(layer) {}
  ~MonitorHeads();
  MonitorHeads(const MonitorHeads&) = delete;
  MonitorHeads& operator=(const MonitorHeads&) = delete;

  // Opens a head on each monitor (arranged first) and then gives each its
  // scene, so that events during the first scenes find every window.
  void Start(const std::vector<Monitor>& monitors);
  // Follows the monitors now: a new monitor gets a head and a scene of its
  // own, one that went loses its head, one that moved is covered again, and
  // one whose size, scale or density changed also gets a new scene. False
  // when nothing changed.
  bool Sync(const std::vector<Monitor>& monitors);
  // A new scene at the head's size.
  void NewScene(MonitorHead& h);
  // Ends every scene (the saver is over).
  void UnloadAll();

  const std::vector<std::unique_ptr<MonitorHead>>& heads() const { return heads_; }
  bool empty() const { return heads_.empty(); }
  // The head whose scene becomes the wallpaper; null when none is open.
  MonitorHead* primary() const { return heads_.empty() ? nullptr : heads_.front().get(); }
  // The monitors the heads cover, in their order.
  std::vector<Monitor> monitors() const;

 private:
  std::unique_ptr<MonitorHead> OpenHead(const Monitor& m);
  void StartScene(MonitorHead& h);

  MonitorLayer& layer_;
  std::vector<std::unique_ptr<MonitorHead>> heads_;
};

}  // namespace wh
