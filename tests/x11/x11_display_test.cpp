// The Xlib layer against a real server (Xvfb): what it leaves behind on the
// server, how it treats other clients' resources, and pictures on screens
// that are not true-colour.
// GoogleTest before Xlib, whose macros (None, Bool, ...) would clash with it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/x11/desktop_background.h"
#include "platform/x11/x11_window.h"
#include "test_support/xvfb.h"

namespace wh::x11 {
namespace {

using wh::testing::XServer;

int g_x_errors = 0;
int CountError(::Display*, XErrorEvent*) {
  ++g_x_errors;
  return 0;
}

class OnXvfb : public ::testing::Test {
 protected:
  void Open(int depth) {
    server_ = std::make_unique<XServer>(320, 240, depth);
    if (!server_->ok()) GTEST_SKIP() << "Xvfb is not installed";
    setenv("DISPLAY", server_->display().c_str(), 1);
    observer_ = XOpenDisplay(nullptr);
    ASSERT_NE(observer_, nullptr);
    XSetErrorHandler(CountError);
  }
  void TearDown() override {
    if (observer_) XCloseDisplay(observer_);
  }
  // Whether a window or pixmap of any client still exists.
  bool Exists(XID id, bool pixmap) {
    g_x_errors = 0;
    if (pixmap) {
      ::Window r;
      int x, y;
      unsigned w, h, b, d;
      XGetGeometry(observer_, id, &r, &x, &y, &w, &h, &b, &d);
    } else {
      XWindowAttributes a;
      XGetWindowAttributes(observer_, id, &a);
    }
    XSync(observer_, False);
    return g_x_errors == 0;
  }
  void SetRootProperty(const char* name, XID value) {
    XChangeProperty(observer_, DefaultRootWindow(observer_), XInternAtom(observer_, name, False),
                    XA_PIXMAP, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
    XSync(observer_, False);
  }
  std::unique_ptr<XServer> server_;
  ::Display* observer_ = nullptr;
};

// The previous setter's pixmap is freed only when both properties name it,
// as setters agree; an id only in ESETROOT_PMAP_ID may be anyone's.
TEST_F(OnXvfb, RootPixmapFreesOnlyWhatBothPropertiesName) {
  Open(24);
  const std::vector<uint32_t> px(64 * 48, 0x336699);

  // A running program whose window id ended up in ESETROOT_PMAP_ID.
  ::Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(other, nullptr);
  ::Window bystander = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 10, 10, 0, 0, 0);
  XSync(other, False);
  SetRootProperty("ESETROOT_PMAP_ID", bystander);
  ASSERT_TRUE(SetRootPixmap(px.data(), 64, 48));
  const bool alive = Exists(bystander, false);
  EXPECT_TRUE(alive) << "an unrelated client was killed";
  if (alive) XCloseDisplay(other);  // a killed client's connection cannot even be closed

  // A setter that left its pixmap for the next one (both names, kept after
  // its connection closed) is cleaned up.
  ::Display* setter = XOpenDisplay(nullptr);
  Pixmap left = XCreatePixmap(setter, DefaultRootWindow(setter), 8, 8, 24);
  XSetCloseDownMode(setter, RetainPermanent);
  XCloseDisplay(setter);
  SetRootProperty("ESETROOT_PMAP_ID", left);
  SetRootProperty("_XROOTPMAP_ID", left);
  ASSERT_TRUE(Exists(left, true));
  ASSERT_TRUE(SetRootPixmap(px.data(), 64, 48));
  EXPECT_FALSE(Exists(left, true)) << "the previous setter's pixmap stays in the server";
}

int GraphicsContexts(::Display* d, XID any_resource_of_client) {
  int n = 0;
  XResType* types = nullptr;
  if (!XResQueryClientResources(d, any_resource_of_client, &n, &types)) return -1;
  int gcs = 0;
  const ::Atom gc = XInternAtom(d, "GC", False);
  for (int i = 0; i < n; ++i)
    if (types[i].resource_type == gc) gcs = static_cast<int>(types[i].count);
  XFree(types);
  return gcs;
}

// A preview whose host goes away takes our window with it; what we made on
// the server for drawing must go too.
TEST_F(OnXvfb, NothingIsLeftOnTheServerWhenTheHostDestroysTheWindow) {
  Open(24);
  int event_base, error_base;
  if (!XResQueryExtension(observer_, &event_base, &error_base)) GTEST_SKIP() << "no X-Resource";
  Connection c;
  ::Window host = XCreateSimpleWindow(observer_, DefaultRootWindow(observer_), 0, 0, 80, 60, 0, 0, 0);
  XMapWindow(observer_, host);
  XSync(observer_, False);
  // Our client's own resource: the first window it makes.
  ::Window mine = XCreateSimpleWindow(c.display(), c.root(), 0, 0, 1, 1, 0, 0, 0);
  XSync(c.display(), False);
  const int before = GraphicsContexts(observer_, mine);
  ASSERT_GE(before, 0);
  {
    auto w = X11Window::CreateChild(c, host, "WinterHollow");
    ASSERT_NE(w, nullptr);
    w->Show();
    const std::vector<uint32_t> px(80 * 60, 0xFFFFFF);
    w->Present(px.data(), 80, 60);
    EXPECT_GT(GraphicsContexts(observer_, mine), before);
    XDestroyWindow(observer_, host);
    XSync(observer_, False);
    struct : EventSink {} sink;
    for (int i = 0; i < 100 && w->alive(); ++i) {
      w->Pump(sink);
      w->Wait(20);
    }
    ASSERT_FALSE(w->alive());
    w->Close();
  }
  XSync(c.display(), False);
  EXPECT_EQ(GraphicsContexts(observer_, mine), before);
}

// An 8-bit screen takes colormap indices: the picture must arrive in its
// colours, not as the black of index 0.
TEST_F(OnXvfb, EightBitScreensShowThePictureInItsColours) {
  Open(8);
  Connection c;
  ASSERT_EQ(DefaultDepth(c.display(), c.screen()), 8);
  auto w = X11Window::CreateTopLevel(c, "WinterHollow", "96x64+0+0");
  ASSERT_NE(w, nullptr);
  w->Show();
  // Sky blue, snow white, a dark tree green and a red scarf, in bands.
  const uint32_t colours[4] = {0x7FAEE0, 0xF4F6FA, 0x1E5A32, 0xC8281E};
  std::vector<uint32_t> px(96 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 96; ++x) px[static_cast<size_t>(y) * 96 + x] = colours[x / 24];
  w->Present(px.data(), 96, 64);
  XImage* img = XGetImage(c.display(), w->id(), 0, 0, 96, 64, AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr);
  XWindowAttributes a;
  XGetWindowAttributes(c.display(), w->id(), &a);
  for (int band = 0; band < 4; ++band) {
    // The eye sees the average of the dither over the band.
    double sum[3] = {0, 0, 0};
    int n = 0;
    for (int y = 8; y < 56; ++y)
      for (int x = band * 24 + 4; x < band * 24 + 20; ++x) {
        XColor col {};
        col.pixel = XGetPixel(img, x, y);
        XQueryColor(c.display(), a.colormap, &col);
        sum[0] += col.red >> 8;
        sum[1] += col.green >> 8;
        sum[2] += col.blue >> 8;
        ++n;
      }
    const int want[3] = {static_cast<int>(colours[band] >> 16 & 0xFF),
                         static_cast<int>(colours[band] >> 8 & 0xFF),
                         static_cast<int>(colours[band] & 0xFF)};
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(sum[k] / n, want[k], 12) << "band " << band << " component " << k;
  }
  XDestroyImage(img);
}

}  // namespace
}  // namespace wh::x11
