// The Xlib side of the saver: one connection, the window the saver draws
// into (its own full-screen window, a child of a preview host, or a window
// handed over by a screen-saver daemon), putting frames on it and turning
// its events into the saver's input calls.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/x11_palette.h"

namespace wh::x11 {

// What the event pump hands on. Coordinates are window pixels.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void OnMotion(int x, int y) {}
  virtual void OnButtonDown(int button, int x, int y) {}
  // A button released over the window after being pressed on it.
  virtual void OnClick(int button, int x, int y) {}
  virtual void OnDoubleClick(int button, int x, int y) {}
  virtual void OnKeyDown(unsigned long keysym) {}
  // A key that produced a character.
  virtual void OnKeyChar(int ch) {}
  // The window's size changed (not called for the first size).
  virtual void OnResized(int width, int height) {}
  // Parts of the window need repainting (uncovered, or mapped).
  virtual void OnExposed() {}
  // The window is gone: destroyed by its owner or closed by the user.
  virtual void OnClosed() {}
};

// The connection to the X server, opened once per process.
class Connection {
 public:
  // Opens the display named by `name` (or $DISPLAY); throws
  // std::runtime_error when no server answers.
  explicit Connection(const char* name = nullptr);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ::Display* display() const { return dpy_; }
  int screen() const { return screen_; }
  ::Window root() const { return RootWindow(dpy_, screen_); }
  int fd() const { return ConnectionNumber(dpy_); }
  ::Atom atom(const char* name) const { return XInternAtom(dpy_, name, False); }
  bool has_shm() const { return has_shm_; }
  // Switches shared memory off for this connection (tests, remote servers).
  void DisableShm() { has_shm_ = false; }

 private:
  ::Display* dpy_ = nullptr;
  int screen_ = 0;
  bool has_shm_ = false;
};

class X11Window {
 public:
  enum class Kind {
    kFullScreen,  // our own borderless window over the whole screen
    kChild,       // our own window inside another program's window
    kForeign,     // a window someone else created; we only draw into it
    kTopLevel,    // our own ordinary window (--window)
  };

  // A borderless window as large as the screen (or the monitor at x, y of
  // size w x h, when given), asking the window manager for full-screen
  // state above all others, with keyboard and pointer input.
  static std::unique_ptr<X11Window> CreateFullScreen(Connection& c, const std::string& title,
                                                     int x = 0, int y = 0, int w = 0, int h = 0);
  // A child window filling `parent`'s client area; follows its size.
  static std::unique_ptr<X11Window> CreateChild(Connection& c, ::Window parent,
                                                const std::string& title);
  // A top-level window of our own (--window) with a title, WM_CLASS and the
  // close request, `geometry` ("WxH+X+Y", parts optional) or, when empty, a
  // 4:3 size that fits the screen. Key presses reach the sink; nothing else.
  static std::unique_ptr<X11Window> CreateTopLevel(Connection& c, const std::string& title,
                                                   const std::string& geometry);
  // Draws into an existing window (the screen-saver daemon's, or the root).
  // Only size changes and its destruction are listened to, never input.
  static std::unique_ptr<X11Window> Adopt(Connection& c, ::Window existing);

  ~X11Window();
  X11Window(const X11Window&) = delete;
  X11Window& operator=(const X11Window&) = delete;

  Kind kind() const { return kind_; }
  ::Window id() const { return win_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // False once the window has been destroyed (by us or its owner).
  bool alive() const { return alive_; }
  // Whether frames go through shared memory.
  bool uses_shm() const { return shm_ok_; }

  // Shows the window (own windows only) and waits until it is on screen.
  void Show();
  // Marks the window, once, with the property _WINTERHOLLOW_ANIMATING when
  // its first frame after a finished scene is shown: a test or a tool can
  // tell a scene that is still being composed from a running one.
  void MarkAnimating();
  void SetCursorVisible(bool visible);
  // Puts a frame of 32-bit pixels (bytes B, G, R, X; row-major, top row
  // first, `w` pixels per row) at the window's top-left corner.
  void Present(const uint32_t* px, int w, int h);
  // One line of text in the top-left corner, white on a black box, over
  // whatever the last frame left there (the frame rate).
  void DrawCornerText(const std::string& text);
  // Puts only these rectangles of such a frame (x, y, width, height in frame
  // pixels) where they belong on the window.
  struct Area {
    int x, y, w, h;
  };
  void PresentAreas(const uint32_t* px, int w, int h, const std::vector<Area>& areas);
  // A frame made mostly of copies of one picture: the picture is kept in
  // the server (sent again only when `picture_id` changes), the copies are
  // made there, then `areas` of the frame go over them.
  // Whether PresentCopies copies from the picture kept in the server.
  bool CanKeepPictures() { return alive_ && native_layout_ && EnsureStaging() && staging_->bits_per_pixel == 32; }
  struct Copy {
    int x, y, w, h, sx, sy;
  };
  void PresentCopies(const uint32_t* px, int w, int h, const uint32_t* picture, int pw, int ph,
                     uint64_t picture_id, const std::vector<Copy>& copies,
                     const std::vector<Area>& areas);
  // Handles every event already queued; returns false when the window is gone.
  bool Pump(EventSink& sink);
  // Handles one event if it is this window's; false when it is not.
  bool Handle(const XEvent& e, EventSink& sink);
  // Sleeps until an event arrives or `timeout_ms` passes.
  void Wait(int timeout_ms);
  // Destroys our own window (a foreign one is left alone).
  void Close();
  // Takes our own window off the screen (and lets go of the keyboard) at
  // once, without destroying it; a foreign window is left as it is.
  void Hide();
  void Bell();
  // Moves and sizes the window; its size is the new one at once, so the
  // server's notice of it brings no second resize.
  void MoveTo(int x, int y, int w, int h);

 private:
  X11Window(Connection& c, ::Window w, Kind kind);
  void ReadGeometry();
  void EnsureImage(int w, int h);
  void FreeImage();
  // Frees what we created on the server (GC, cursor, frame image); safe
  // when the window itself was already destroyed by someone else.
  void FreeResources();
  void Convert(const uint32_t* px, int w, int h, XImage* img);
  // The shared segment rectangles travel through; false without one.
  bool EnsureStaging();
  void FreeStaging();
  // Puts rectangles of an image through the staging segment onto `target`
  // and waits for the server.
  void PutThroughStaging(::Drawable target, const uint32_t* px, int w, int h,
                         const std::vector<Area>& areas);

  Connection& c_;
  ::Window win_ = 0;
  bool marked_animating_ = false;
  Kind kind_;
  int width_ = 0, height_ = 0;
  bool alive_ = true;
  ::GC gc_ = nullptr;
  ::Visual* visual_ = nullptr;
  int depth_ = 24;
  bool native_layout_ = false;  // visual takes our pixels as they are
  // Colormapped visuals (8-bit and less): pixels through a colour cube.
  std::unique_ptr<Palette> palette_;
  ::Cursor blank_cursor_ = 0;
  XFontStruct* font_ = nullptr;  // for DrawCornerText, loaded on first use
  // The frame image: shared memory when the server offers it.
  XImage* image_ = nullptr;
  XShmSegmentInfo shm_ {};
  bool shm_ok_ = false;
  // Frames whose pixels the server takes as they are go through a small
  // shared segment, a rectangle (or a band of its rows) at a time, so no
  // third screen-sized copy of the frame is kept.
  XImage* staging_ = nullptr;
  XShmSegmentInfo staging_shm_ {};
  size_t staging_bytes_ = 0;
  // The picture of PresentCopies, kept in the server.
  ::Pixmap picture_ = 0;
  uint64_t picture_id_ = 0;
  int picture_w_ = 0, picture_h_ = 0;
  // Mouse button state for clicks and double clicks.
  int pressed_button_ = 0;
  ::Time last_click_time_ = 0;
  int last_click_button_ = 0;
  ::Atom wm_delete_ = 0;
};

}  // namespace wh::x11
