#include "platform/x11/x11_window.h"

#include <X11/Xatom.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace wh::x11 {

namespace {

// Errors from the server are expected now and then (a daemon's window that
// vanishes while we draw, shared memory refused by a remote server); they
// must not end the saver the way Xlib's default handler would.
int g_last_error = 0;
int RecordError(::Display*, XErrorEvent* e) {
  g_last_error = e->error_code;
  return 0;
}

constexpr long kOwnInputMask = PointerMotionMask | ButtonPressMask | ButtonReleaseMask |
                               KeyPressMask | ExposureMask | StructureNotifyMask;
constexpr long kForeignMask = StructureNotifyMask | ExposureMask;
constexpr ::Time kDoubleClickMs = 400;

// Every window of ours carries a title and a class, for window managers,
// task bars and tools such as xdotool.
void NameWindow(::Display* d, ::Window w, const std::string& title) {
  XStoreName(d, w, title.c_str());
  XClassHint cls {const_cast<char*>("winterhollow"), const_cast<char*>("WinterHollow")};
  XSetClassHint(d, w, &cls);
}

}  // namespace

Connection::Connection(const char* name) {
  dpy_ = XOpenDisplay(name);
  if (!dpy_) throw std::runtime_error("cannot open the X display");
  screen_ = DefaultScreen(dpy_);
  XSetErrorHandler(RecordError);
  int major = 0, minor = 0;
  Bool pixmaps = False;
  has_shm_ = XShmQueryVersion(dpy_, &major, &minor, &pixmaps) == True;
}

Connection::~Connection() {
  if (dpy_) XCloseDisplay(dpy_);
}

X11Window::X11Window(Connection& c, ::Window w, Kind kind) : c_(c), win_(w), kind_(kind) {
  ReadGeometry();
  gc_ = XCreateGC(c_.display(), win_, 0, nullptr);
  // Copies come from our own pixmaps: no exposure events about them.
  XSetGraphicsExposures(c_.display(), gc_, False);
  XWindowAttributes a {};
  XGetWindowAttributes(c_.display(), win_, &a);
  visual_ = a.visual;
  depth_ = a.depth;
  native_layout_ = (depth_ == 24 || depth_ == 32) && visual_->red_mask == 0xFF0000 &&
                   visual_->green_mask == 0xFF00 && visual_->blue_mask == 0xFF &&
                   ImageByteOrder(c_.display()) == LSBFirst;
  if (Palette::Needed(visual_)) {
    palette_ = std::make_unique<Palette>(c_.display(), visual_,
                                         a.colormap ? a.colormap
                                                    : DefaultColormap(c_.display(), c_.screen()));
  }
  wm_delete_ = c_.atom("WM_DELETE_WINDOW");
}

std::unique_ptr<X11Window> X11Window::CreateFullScreen(Connection& c, const std::string& title,
                                                      int x, int y, int mw, int mh) {
  ::Display* d = c.display();
  const int sw = mw > 0 ? mw : DisplayWidth(d, c.screen());
  const int sh = mh > 0 ? mh : DisplayHeight(d, c.screen());
  XSetWindowAttributes attrs {};
  attrs.background_pixel = BlackPixel(d, c.screen());
  attrs.event_mask = kOwnInputMask;
  ::Window w = XCreateWindow(d, c.root(), x, y, static_cast<unsigned>(sw),
                             static_cast<unsigned>(sh), 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWBackPixel | CWEventMask, &attrs);
  NameWindow(d, w, title);

  // Full screen and above the others, asked for before mapping so the window
  // manager places it so from the start.
  ::Atom state[2] = {c.atom("_NET_WM_STATE_FULLSCREEN"), c.atom("_NET_WM_STATE_ABOVE")};
  XChangeProperty(d, w, c.atom("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(state), 2);
  // No decorations for window managers that predate the full-screen state.
  struct {
    unsigned long flags, functions, decorations;
    long input_mode;
    unsigned long status;
  } motif {2, 0, 0, 0, 0};
  ::Atom motif_atom = c.atom("_MOTIF_WM_HINTS");
  XChangeProperty(d, w, motif_atom, motif_atom, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&motif), 5);
  ::Atom type = c.atom("_NET_WM_WINDOW_TYPE_NORMAL");
  XChangeProperty(d, w, c.atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  ::Atom del = c.atom("WM_DELETE_WINDOW");
  XSetWMProtocols(d, w, &del, 1);
  auto win = std::unique_ptr<X11Window>(new X11Window(c, w, Kind::kFullScreen));
  return win;
}

std::unique_ptr<X11Window> X11Window::CreateChild(Connection& c, ::Window parent,
                                                  const std::string& title) {
  ::Display* d = c.display();
  XWindowAttributes pa {};
  g_last_error = 0;
  if (!XGetWindowAttributes(d, parent, &pa) || g_last_error) return nullptr;
  XSetWindowAttributes attrs {};
  attrs.background_pixel = BlackPixel(d, c.screen());
  attrs.event_mask = ExposureMask | StructureNotifyMask;
  ::Window w = XCreateWindow(d, parent, 0, 0, static_cast<unsigned>(std::max(1, pa.width)),
                             static_cast<unsigned>(std::max(1, pa.height)), 0, CopyFromParent,
                             InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attrs);
  NameWindow(d, w, title);
  // The host's size changes and its end reach us through its structure events.
  XSelectInput(d, parent, StructureNotifyMask);
  XSync(d, False);
  if (g_last_error) return nullptr;
  return std::unique_ptr<X11Window>(new X11Window(c, w, Kind::kChild));
}

std::unique_ptr<X11Window> X11Window::CreateTopLevel(Connection& c, const std::string& title,
                                                     const std::string& geometry) {
  ::Display* d = c.display();
  const int sw = DisplayWidth(d, c.screen());
  const int sh = DisplayHeight(d, c.screen());
  // Three quarters of the screen at most, 4:3 like the scene, 1024 x 768 at most.
  int w = std::min({1024, sw * 3 / 4, sh * 3 / 4 * 4 / 3});
  int h = w * 3 / 4;
  int x = (sw - w) / 2, y = (sh - h) / 2;
  XSizeHints hints {};
  if (!geometry.empty()) {
    int gx = 0, gy = 0;
    unsigned gw = 0, gh = 0;
    const int mask = XParseGeometry(geometry.c_str(), &gx, &gy, &gw, &gh);
    // The scene's geometry is 16-bit: sides beyond 10000 pixels do not fit.
    if (mask & WidthValue) w = std::clamp(static_cast<int>(gw), 1, 10000);
    if (mask & HeightValue) h = std::clamp(static_cast<int>(gh), 1, 10000);
    if (mask & (WidthValue | HeightValue)) hints.flags |= USSize;
    if (mask & XValue) x = (mask & XNegative) ? sw - w + gx : gx;
    if (mask & YValue) y = (mask & YNegative) ? sh - h + gy : gy;
    if (mask & (XValue | YValue)) hints.flags |= USPosition;
  }
  if (!(hints.flags & USSize)) hints.flags |= PSize;
  if (!(hints.flags & USPosition)) hints.flags |= PPosition;
  hints.x = x;
  hints.y = y;
  hints.width = w;
  hints.height = h;
  XSetWindowAttributes attrs {};
  attrs.background_pixel = BlackPixel(d, c.screen());
  attrs.event_mask = KeyPressMask | ExposureMask | StructureNotifyMask;
  ::Window win = XCreateWindow(d, c.root(), x, y, static_cast<unsigned>(w),
                               static_cast<unsigned>(h), 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWBackPixel | CWEventMask, &attrs);
  NameWindow(d, win, title);
  XSetWMNormalHints(d, win, &hints);
  XWMHints wm {};
  wm.flags = InputHint;
  wm.input = True;
  XSetWMHints(d, win, &wm);
  ::Atom del = c.atom("WM_DELETE_WINDOW");
  XSetWMProtocols(d, win, &del, 1);
  return std::unique_ptr<X11Window>(new X11Window(c, win, Kind::kTopLevel));
}

std::unique_ptr<X11Window> X11Window::Adopt(Connection& c, ::Window existing) {
  ::Display* d = c.display();
  g_last_error = 0;
  XWindowAttributes a {};
  if (!XGetWindowAttributes(d, existing, &a) || g_last_error) return nullptr;
  XSelectInput(d, existing, kForeignMask);
  XSync(d, False);
  if (g_last_error) return nullptr;
  return std::unique_ptr<X11Window>(new X11Window(c, existing, Kind::kForeign));
}

X11Window::~X11Window() {
  const bool destroy = alive_ && kind_ != Kind::kForeign;
  FreeResources();
  if (destroy) XDestroyWindow(c_.display(), win_);
  XSync(c_.display(), False);
}

void X11Window::FreeResources() {
  // The GC, the cursor and the image belong to our connection, not to the
  // window: they must go even when the window's owner destroyed it.
  FreeImage();
  FreeStaging();
  if (blank_cursor_) XFreeCursor(c_.display(), blank_cursor_);
  blank_cursor_ = 0;
  if (gc_) XFreeGC(c_.display(), gc_);
  gc_ = nullptr;
  if (font_) XFreeFont(c_.display(), font_);
  font_ = nullptr;
  palette_.reset();
}

void X11Window::ReadGeometry() {
  XWindowAttributes a {};
  if (XGetWindowAttributes(c_.display(), win_, &a)) {
    width_ = a.width;
    height_ = a.height;
  }
}

void X11Window::MarkAnimating() {
  if (marked_animating_ || !alive_ || kind_ == Kind::kForeign) return;
  marked_animating_ = true;
  ::Display* d = c_.display();
  const long one = 1;
  XChangeProperty(d, win_, XInternAtom(d, "_WINTERHOLLOW_ANIMATING", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&one), 1);
  XFlush(d);
}

void X11Window::Show() {
  if (kind_ == Kind::kForeign) return;
  ::Display* d = c_.display();
  XMapRaised(d, win_);
  // Wait for the map so that the first frame and the keyboard focus land.
  for (;;) {
    XEvent e;
    XWindowEvent(d, win_, StructureNotifyMask, &e);
    if (e.type == MapNotify) break;
    if (e.type == ConfigureNotify) {
      width_ = e.xconfigure.width;
      height_ = e.xconfigure.height;
    }
    if (e.type == DestroyNotify) {
      alive_ = false;
      return;
    }
  }
  if (kind_ == Kind::kFullScreen) {
    // Ask a running window manager again, now that the window is mapped.
    XEvent ev {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = win_;
    ev.xclient.message_type = c_.atom("_NET_WM_STATE");
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 1;  // add
    ev.xclient.data.l[1] = static_cast<long>(c_.atom("_NET_WM_STATE_FULLSCREEN"));
    ev.xclient.data.l[2] = static_cast<long>(c_.atom("_NET_WM_STATE_ABOVE"));
    ev.xclient.data.l[3] = 1;
    XSendEvent(d, c_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XSetInputFocus(d, win_, RevertToParent, CurrentTime);
    // Every key must reach the saver, whichever window had the focus.
    XGrabKeyboard(d, win_, True, GrabModeAsync, GrabModeAsync, CurrentTime);
  }
  XSync(d, False);
  ReadGeometry();
}

void X11Window::SetCursorVisible(bool visible) {
  if (!alive_ || kind_ == Kind::kForeign) return;
  ::Display* d = c_.display();
  if (visible) {
    XUndefineCursor(d, win_);
  } else {
    if (!blank_cursor_) {
      static const char empty[1] = {0};
      Pixmap bits = XCreateBitmapFromData(d, win_, empty, 1, 1);
      XColor black {};
      blank_cursor_ = XCreatePixmapCursor(d, bits, bits, &black, &black, 0, 0);
      XFreePixmap(d, bits);
    }
    XDefineCursor(d, win_, blank_cursor_);
  }
  XFlush(d);
}

void X11Window::FreeImage() {
  if (!image_) return;
  if (shm_ok_) {
    XShmDetach(c_.display(), &shm_);
    XSync(c_.display(), False);
    shmdt(shm_.shmaddr);
    shm_ = {};
    shm_ok_ = false;
  }
  XDestroyImage(image_);
  image_ = nullptr;
}

void X11Window::EnsureImage(int w, int h) {
  if (image_ && image_->width == w && image_->height == h) return;
  FreeImage();
  ::Display* d = c_.display();
  if (c_.has_shm()) {
    image_ = XShmCreateImage(d, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr, &shm_,
                             static_cast<unsigned>(w), static_cast<unsigned>(h));
    if (image_) {
      shm_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * h,
                          IPC_CREAT | 0600);
      if (shm_.shmid >= 0) {
        shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        shm_.readOnly = False;
        g_last_error = 0;
        const bool attached = shm_.shmaddr != reinterpret_cast<char*>(-1) &&
                              XShmAttach(d, &shm_) && (XSync(d, False), g_last_error == 0);
        // Marked for removal now: it goes away with the last detach, even
        // when the process is killed.
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        if (attached) {
          shm_ok_ = true;
          return;
        }
        if (shm_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm_.shmaddr);
      }
      image_->data = nullptr;
      XDestroyImage(image_);
      image_ = nullptr;
      shm_ = {};
    }
    // The server cannot share memory with us (another machine): plain
    // requests from here on.
    c_.DisableShm();
  }
  image_ = XCreateImage(d, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                        static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
  image_->data = static_cast<char*>(std::malloc(static_cast<size_t>(image_->bytes_per_line) * h));
}

void X11Window::Convert(const uint32_t* px, int w, int h, XImage* img) {
  if (native_layout_ && img->bits_per_pixel == 32) {
    for (int y = 0; y < h; ++y) {
      std::memcpy(img->data + static_cast<size_t>(y) * img->bytes_per_line,
                  px + static_cast<size_t>(y) * w, static_cast<size_t>(w) * 4);
    }
    return;
  }
  if (palette_) {
    palette_->Convert(px, w, h, img);
    return;
  }
  // Any other true-colour visual: place each component under its mask.
  auto place = [](uint32_t v8, unsigned long mask) -> unsigned long {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    int bits = 0;
    while ((mask >> (shift + bits)) & 1) ++bits;
    unsigned long v = bits >= 8 ? (static_cast<unsigned long>(v8) << (bits - 8))
                                : (static_cast<unsigned long>(v8) >> (8 - bits));
    return (v << shift) & mask;
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t p = px[static_cast<size_t>(y) * w + x];
      XPutPixel(img, x, y,
                place((p >> 16) & 0xFF, visual_->red_mask) |
                    place((p >> 8) & 0xFF, visual_->green_mask) | place(p & 0xFF, visual_->blue_mask));
    }
  }
}

namespace {
// Big enough for a few rows of the widest screens; a 4K cloud band takes a
// few rounds.
constexpr size_t kStagingBytes = size_t{2} << 20;
}  // namespace

void X11Window::FreeStaging() {
  if (picture_) XFreePixmap(c_.display(), picture_);
  picture_ = 0;
  if (!staging_) return;
  XShmDetach(c_.display(), &staging_shm_);
  XSync(c_.display(), False);
  shmdt(staging_shm_.shmaddr);
  staging_->data = nullptr;
  XDestroyImage(staging_);
  staging_ = nullptr;
  staging_shm_ = {};
}

bool X11Window::EnsureStaging() {
  if (staging_) return true;
  if (!c_.has_shm()) return false;
  ::Display* d = c_.display();
  staging_ = XShmCreateImage(d, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr,
                             &staging_shm_, 1, 1);
  if (!staging_) return false;
  staging_shm_.shmid = shmget(IPC_PRIVATE, kStagingBytes, IPC_CREAT | 0600);
  bool attached = false;
  if (staging_shm_.shmid >= 0) {
    staging_shm_.shmaddr = static_cast<char*>(shmat(staging_shm_.shmid, nullptr, 0));
    staging_shm_.readOnly = False;
    g_last_error = 0;
    attached = staging_shm_.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(d, &staging_shm_) &&
               (XSync(d, False), g_last_error == 0);
    // Gone with the last detach, even when the process is killed.
    shmctl(staging_shm_.shmid, IPC_RMID, nullptr);
    if (!attached && staging_shm_.shmaddr != reinterpret_cast<char*>(-1))
      shmdt(staging_shm_.shmaddr);
  }
  if (!attached) {
    staging_->data = nullptr;
    XDestroyImage(staging_);
    staging_ = nullptr;
    staging_shm_ = {};
    c_.DisableShm();  // another machine's server: plain requests from here on
    return false;
  }
  staging_->data = staging_shm_.shmaddr;
  staging_bytes_ = kStagingBytes;
  return true;
}

void X11Window::PutThroughStaging(::Drawable target, const uint32_t* px, int w, int h,
                                  const std::vector<Area>& areas) {
  ::Display* d = c_.display();
  // Rectangles are packed one after another into the segment; when it is
  // full, the server is waited for before it is filled again.
  size_t used = 0;
  for (Area a : areas) {
    const int x0 = std::max(a.x, 0), y0 = std::max(a.y, 0);
    const int x1 = std::min(a.x + a.w, w), y1 = std::min(a.y + a.h, h);
    if (x0 >= x1 || y0 >= y1) continue;
    const size_t row_bytes = static_cast<size_t>(x1 - x0) * 4;
    const int rows_max = static_cast<int>(staging_bytes_ / row_bytes);
    for (int y = y0; y < y1;) {
      const int rows = std::min(y1 - y, rows_max);
      if (used + row_bytes * static_cast<size_t>(rows) > staging_bytes_) {
        XSync(d, False);
        used = 0;
      }
      char* dst = staging_shm_.shmaddr + used;
      for (int r = 0; r < rows; ++r)
        std::memcpy(dst + static_cast<size_t>(r) * row_bytes,
                    px + static_cast<size_t>(y + r) * w + x0, row_bytes);
      staging_->data = dst;
      staging_->width = x1 - x0;
      staging_->height = rows;
      staging_->bytes_per_line = static_cast<int>(row_bytes);
      XShmPutImage(d, target, gc_, staging_, 0, 0, x0, y, static_cast<unsigned>(x1 - x0),
                   static_cast<unsigned>(rows), False);
      used += row_bytes * static_cast<size_t>(rows);
      y += rows;
    }
  }
  staging_->data = staging_shm_.shmaddr;
  // The segment is written again next frame: wait until the server has it.
  XSync(d, False);
}

void X11Window::PresentCopies(const uint32_t* px, int w, int h, const uint32_t* picture, int pw,
                              int ph, uint64_t picture_id, const std::vector<Copy>& copies,
                              const std::vector<Area>& areas) {
  if (!alive_ || w <= 0 || h <= 0 || !px) return;
  ::Display* d = c_.display();
  if (!native_layout_ || !picture || pw <= 0 || ph <= 0 || !EnsureStaging() ||
      staging_->bits_per_pixel != 32) {
    std::vector<Area> all;
    for (const Copy& c : copies) all.push_back({c.x, c.y, c.w, c.h});
    all.insert(all.end(), areas.begin(), areas.end());
    PresentAreas(px, w, h, all);
    return;
  }
  if (!picture_ || picture_id != picture_id_ || pw != picture_w_ || ph != picture_h_) {
    if (picture_) XFreePixmap(d, picture_);
    picture_ = XCreatePixmap(d, win_, static_cast<unsigned>(pw), static_cast<unsigned>(ph),
                             static_cast<unsigned>(depth_));
    picture_id_ = picture_id;
    picture_w_ = pw;
    picture_h_ = ph;
    PutThroughStaging(picture_, picture, pw, ph, {{0, 0, pw, ph}});
  }
  for (const Copy& c : copies) {
    XCopyArea(d, picture_, win_, gc_, c.sx, c.sy, static_cast<unsigned>(c.w),
              static_cast<unsigned>(c.h), c.x, c.y);
  }
  PutThroughStaging(win_, px, w, h, areas);
}

void X11Window::Present(const uint32_t* px, int w, int h) {
  PresentAreas(px, w, h, {{0, 0, w, h}});
}

void X11Window::PresentAreas(const uint32_t* px, int w, int h, const std::vector<Area>& areas) {
  if (!alive_ || w <= 0 || h <= 0 || !px) return;
  ::Display* d = c_.display();
  if (native_layout_ && staging_ && staging_->bits_per_pixel != 32) FreeStaging();
  if (native_layout_ && EnsureStaging() && staging_->bits_per_pixel == 32) {
    PutThroughStaging(win_, px, w, h, areas);
    return;
  }
  if (native_layout_) {
    // No shared memory: the rectangles straight from the frame.
    XImage* img = XCreateImage(d, visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                               reinterpret_cast<char*>(const_cast<uint32_t*>(px)),
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 32, w * 4);
    if (img && img->bits_per_pixel == 32) {
      for (Area a : areas) {
        const int x0 = std::max(a.x, 0), y0 = std::max(a.y, 0);
        const int x1 = std::min(a.x + a.w, w), y1 = std::min(a.y + a.h, h);
        if (x0 >= x1 || y0 >= y1) continue;
        XPutImage(d, win_, gc_, img, x0, y0, x0, y0, static_cast<unsigned>(x1 - x0),
                  static_cast<unsigned>(y1 - y0));
      }
      img->data = nullptr;
      XDestroyImage(img);
      XFlush(d);
      return;
    }
    if (img) {
      img->data = nullptr;
      XDestroyImage(img);
    }
  }
  // Any other visual: the whole frame, converted.
  EnsureImage(w, h);
  Convert(px, w, h, image_);
  if (shm_ok_) {
    XShmPutImage(d, win_, gc_, image_, 0, 0, 0, 0, static_cast<unsigned>(w),
                 static_cast<unsigned>(h), False);
    // The segment is written again next frame: wait until the server has it.
    XSync(d, False);
  } else {
    XPutImage(d, win_, gc_, image_, 0, 0, 0, 0, static_cast<unsigned>(w),
              static_cast<unsigned>(h));
    XFlush(d);
  }
}

void X11Window::DrawCornerText(const std::string& text) {
  if (!alive_ || !gc_ || text.empty()) return;
  ::Display* d = c_.display();
  if (!font_) font_ = XLoadQueryFont(d, "fixed");
  if (!font_) return;
  const int len = static_cast<int>(text.size());
  const int w = XTextWidth(font_, text.data(), len) + 8;
  const int h = font_->ascent + font_->descent + 6;
  XSetFont(d, gc_, font_->fid);
  XSetForeground(d, gc_, BlackPixel(d, c_.screen()));
  XFillRectangle(d, win_, gc_, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
  XSetForeground(d, gc_, WhitePixel(d, c_.screen()));
  XDrawString(d, win_, gc_, 4, 3 + font_->ascent, text.data(), len);
  XFlush(d);
}

bool X11Window::Pump(EventSink& sink) {
  ::Display* d = c_.display();
  while (alive_ && XPending(d)) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.xany.window != win_) {
      // The host of a child window: follow its size. When it is destroyed,
      // our own window goes with it and its DestroyNotify follows.
      if (kind_ == Kind::kChild && e.type == ConfigureNotify) {
        XResizeWindow(d, win_, static_cast<unsigned>(std::max(1, e.xconfigure.width)),
                      static_cast<unsigned>(std::max(1, e.xconfigure.height)));
      }
      continue;
    }
    Handle(e, sink);
  }
  return alive_;
}

void X11Window::MoveTo(int x, int y, int w, int h) {
  if (!alive_) return;
  XMoveResizeWindow(c_.display(), win_, x, y, static_cast<unsigned>(std::max(1, w)),
                    static_cast<unsigned>(std::max(1, h)));
  width_ = std::max(1, w);
  height_ = std::max(1, h);
}

bool X11Window::Handle(const XEvent& e_in, EventSink& sink) {
  if (e_in.xany.window != win_) return false;
  XEvent e = e_in;  // XLookupString wants a writable event
  {
    switch (e.type) {
      case MotionNotify:
        sink.OnMotion(e.xmotion.x, e.xmotion.y);
        break;
      case ButtonPress:
        pressed_button_ = static_cast<int>(e.xbutton.button);
        sink.OnButtonDown(pressed_button_, e.xbutton.x, e.xbutton.y);
        break;
      case ButtonRelease:
        if (pressed_button_ == static_cast<int>(e.xbutton.button)) {
          sink.OnClick(pressed_button_, e.xbutton.x, e.xbutton.y);
          if (last_click_button_ == pressed_button_ &&
              e.xbutton.time - last_click_time_ < kDoubleClickMs) {
            sink.OnDoubleClick(pressed_button_, e.xbutton.x, e.xbutton.y);
          }
          last_click_button_ = pressed_button_;
          last_click_time_ = e.xbutton.time;
        }
        pressed_button_ = 0;
        break;
      case KeyPress: {
        char text[8] = {};
        KeySym sym = NoSymbol;
        const int n = XLookupString(&e.xkey, text, sizeof text, &sym, nullptr);
        sink.OnKeyDown(sym);
        if (n > 0) sink.OnKeyChar(static_cast<unsigned char>(text[0]));
        break;
      }
      case ConfigureNotify:
        if (e.xconfigure.width != width_ || e.xconfigure.height != height_) {
          width_ = e.xconfigure.width;
          height_ = e.xconfigure.height;
          sink.OnResized(width_, height_);
        }
        break;
      case Expose:
        if (e.xexpose.count == 0) sink.OnExposed();
        break;
      case DestroyNotify:
        alive_ = false;
        sink.OnClosed();
        break;
      case ClientMessage:
        if (static_cast<::Atom>(e.xclient.data.l[0]) == wm_delete_) sink.OnClosed();
        break;
      default:
        break;
    }
  }
  return true;
}

void X11Window::Wait(int timeout_ms) {
  ::Display* d = c_.display();
  XFlush(d);
  if (XPending(d)) return;
  pollfd p {c_.fd(), POLLIN, 0};
  poll(&p, 1, std::max(0, timeout_ms));
}

void X11Window::Close() {
  if (!alive_) {
    FreeResources();
    return;
  }
  FreeResources();
  if (kind_ != Kind::kForeign) {
    XUngrabKeyboard(c_.display(), CurrentTime);
    XDestroyWindow(c_.display(), win_);
  }
  XSync(c_.display(), False);
  alive_ = false;
}

void X11Window::Hide() {
  if (!alive_ || kind_ == Kind::kForeign) return;
  XUngrabKeyboard(c_.display(), CurrentTime);
  XUnmapWindow(c_.display(), win_);
  XSync(c_.display(), False);
}

void X11Window::Bell() { XBell(c_.display(), 0); }

}  // namespace wh::x11
