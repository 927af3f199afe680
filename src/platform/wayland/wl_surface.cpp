#include "platform/wayland/wl_surface.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
// The layer shell names an argument "namespace", a C++ keyword.
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"

namespace wh::wayland {

namespace {
Surface* Self(void* data) { return static_cast<Surface*>(data); }
// The wl_surface's user data is the owner every input handler looks for.
Surface* FromOwner(void* data) { return static_cast<Surface*>(static_cast<SurfaceOwner*>(data)); }
constexpr int kBuffers = 2;
constexpr uint32_t kOpaque = 0xFF000000u;

// The core leaves the fourth byte of its pixels 0. XRGB8888 says it means
// nothing, but some compositors (weston 10's pixman renderer) read it as
// alpha: the copy makes it opaque.
void OpaqueCopy(uint32_t* to, const uint32_t* from, int n) {
  int i = 0;
#if defined(__GNUC__)
  // Four pixels at a time (the compiler does not vectorise it by itself: the
  // two may overlap, as far as it knows).
  typedef uint32_t Four __attribute__((vector_size(16)));
  const Four opaque = {kOpaque, kOpaque, kOpaque, kOpaque};
  for (; i + 4 <= n; i += 4) {
    Four v;
    std::memcpy(&v, from + i, sizeof v);
    v |= opaque;
    std::memcpy(to + i, &v, sizeof v);
  }
#endif
  for (; i < n; ++i) to[i] = from[i] | kOpaque;
}
}  // namespace

Surface::Buffer::~Buffer() {
  if (wl) wl_buffer_destroy(wl);
  if (px) munmap(px, bytes);
}

const wl_surface_listener Surface::kSurface = {
    // enter: a window is drawn at the largest scale of the outputs it is on
    [](void* data, wl_surface*, wl_output* o) { FromOwner(data)->entered_.push_back(o); },
    [](void* data, wl_surface*, wl_output* o) {
      auto& e = FromOwner(data)->entered_;
      e.erase(std::remove(e.begin(), e.end(), o), e.end());
    },
};

const wl_callback_listener Surface::kFrame = {
    [](void* data, wl_callback* cb, uint32_t) {
      Surface* s = Self(data);
      wl_callback_destroy(cb);
      s->frame_cb_ = nullptr;
      s->TryCommit();
    },
};

const wl_buffer_listener Surface::kBuffer = {
    [](void* data, wl_buffer*) {
      auto* b = static_cast<Buffer*>(data);
      b->busy = false;
      b->owner->TryCommit();
    },
};

const zwlr_layer_surface_v1_listener Surface::kLayer = {
    [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t w, uint32_t h) {
      Self(data)->Configure(serial, static_cast<int>(w), static_cast<int>(h));
    },
    [](void* data, zwlr_layer_surface_v1*) {
      Surface* s = Self(data);
      s->closed_ = true;
      s->c_.NoteOutputsChanged();
    },
};

const xdg_surface_listener Surface::kXdgSurface = {
    [](void* data, xdg_surface*, uint32_t serial) {
      Surface* s = Self(data);
      s->Configure(serial, s->toplevel_w_, s->toplevel_h_);
    },
};

const xdg_toplevel_listener Surface::kToplevel = {
    [](void* data, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
      Self(data)->toplevel_w_ = w;
      Self(data)->toplevel_h_ = h;
    },
    [](void* data, xdg_toplevel*) { Self(data)->closed_ = true; },
    [](void*, xdg_toplevel*, int32_t, int32_t) {},  // configure_bounds
    [](void*, xdg_toplevel*, wl_array*) {},         // wm_capabilities
};

const wp_fractional_scale_v1_listener Surface::kFractional = {
    [](void* data, wp_fractional_scale_v1*, uint32_t scale) {
      Surface* s = Self(data);
      if (s->frac120_ == static_cast<int>(scale)) return;
      s->frac120_ = static_cast<int>(scale);
      // The output's monitor has another scale now: another scene.
      if (Output* o = s->output()) {
        o->info.frac120 = s->frac120_;
        s->c_.NoteOutputsChanged();
      }
    },
};

Surface::Surface(Client& c, Role role, Output* output, int width, int height)
    : c_(c), role_(role), output_id_(output ? output->info.id : 0), width_(width), height_(height) {
  surface_ = wl_compositor_create_surface(c.compositor());
  wl_surface_add_listener(surface_, &kSurface, static_cast<SurfaceOwner*>(this));
  if (c.viewporter()) viewport_ = wp_viewporter_get_viewport(c.viewporter(), surface_);
  if (c.fractional()) {
    fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(c.fractional(), surface_);
    wp_fractional_scale_v1_add_listener(fractional_, &kFractional, this);
  }
  wl_output* wo = output ? output->wl : nullptr;
  if (role == Role::kLayer) {
    layer_ = zwlr_layer_shell_v1_get_layer_surface(c.layer_shell(), surface_, wo,
                                                   ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                   "winterhollow");
    zwlr_layer_surface_v1_add_listener(layer_, &kLayer, this);
    zwlr_layer_surface_v1_set_anchor(
        layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(layer_, 0, 0);
    // Over everything, moved by nothing, and the keyboard ours.
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, 1);
  } else {
    xdg_ = xdg_wm_base_get_xdg_surface(c.wm_base(), surface_);
    xdg_surface_add_listener(xdg_, &kXdgSurface, this);
    toplevel_ = xdg_surface_get_toplevel(xdg_);
    xdg_toplevel_add_listener(toplevel_, &kToplevel, this);
    xdg_toplevel_set_title(toplevel_, "WinterHollow");
    xdg_toplevel_set_app_id(toplevel_, "winterhollow");
    if (role == Role::kFullscreen) xdg_toplevel_set_fullscreen(toplevel_, wo);
  }
  // The first commit carries no buffer: it asks for the first configure.
  wl_surface_commit(surface_);
}

Surface::~Surface() {
  c_.Forget(surface_);
  if (frame_cb_) wl_callback_destroy(frame_cb_);
  buffers_.clear();
  if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
  if (viewport_) wp_viewport_destroy(viewport_);
  if (layer_) zwlr_layer_surface_v1_destroy(layer_);
  if (toplevel_) xdg_toplevel_destroy(toplevel_);
  if (xdg_) xdg_surface_destroy(xdg_);
  wl_surface_destroy(surface_);
  wl_display_flush(c_.display());
}

Output* Surface::output() const { return output_id_ ? c_.OutputById(output_id_) : nullptr; }

bool Surface::WaitConfigured() {
  // The scale comes with or soon after the size: one more trip for it.
  for (int i = 0; i < 50 && !configured_ && !closed_; ++i)
    if (!c_.Roundtrip()) return false;
  if (configured_ && !closed_ && fractional_) c_.Roundtrip();
  return configured_ && !closed_;
}

void Surface::Configure(uint32_t serial, int width, int height) {
  serial_ = serial;
  ack_pending_ = true;
  configured_ = true;
  // Zero leaves the size to us: a window keeps its own, a full-screen
  // surface takes its output's.
  if (width > 0 && height > 0) {
    width_ = width;
    height_ = height;
  }
  // The acknowledgement goes with the next buffer; where the size stays,
  // that is the buffer now shown.
  dirty_ = true;
  TryCommit();
}

SurfaceScale Surface::scale() const {
  SurfaceScale s;
  if (const Output* o = output()) {
    s = OutputScale(o->info, c_.scale_way());
  } else {
    for (wl_output* w : entered_)
      if (const Output* o = c_.OutputOf(w)) s.whole = std::max(s.whole, o->info.scale);
    if (fractional_) s.frac120 = 120 * s.whole;
  }
  if (fractional_ && frac120_ > 0) s.frac120 = frac120_;
  return s;
}

void Surface::SceneSize(int* width, int* height) const {
  BufferSize(width_, height_, scale(), width, height);
}

void Surface::Allocate(int width, int height) {
  buffers_.clear();
  buffer_w_ = width;
  buffer_h_ = height;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  for (int i = 0; i < kBuffers; ++i) {
    auto b = std::make_unique<Buffer>();
    b->owner = this;
    const int fd = memfd_create("winterhollow-frame", MFD_CLOEXEC);
    if (fd < 0) break;
    void* px = ftruncate(fd, static_cast<off_t>(bytes)) == 0
                   ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                   : MAP_FAILED;
    if (px == MAP_FAILED) {
      close(fd);
      break;
    }
    b->px = static_cast<uint32_t*>(px);
    b->bytes = bytes;
    wl_shm_pool* pool = wl_shm_create_pool(c_.shm(), fd, static_cast<int32_t>(bytes));
    // Memory is B, G, R, X: the core's pixels as they are.
    b->wl = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(b->wl, &kBuffer, b.get());
    buffers_.push_back(std::move(b));
  }
  damage_.Reset(buffers_.size(), width, height);
}

void Surface::ShowBlank() {
  int w = 0, h = 0;
  SceneSize(&w, &h);
  if (w != buffer_w_ || h != buffer_h_) Allocate(w, h);
  source_ = nullptr;
  dirty_ = true;
  TryCommit();
}

void Surface::Present(const Image& form, const std::vector<PixelRect>& rects) {
  int w = 0, h = 0;
  SceneSize(&w, &h);
  if (form.width != w || form.height != h) return;
  source_ = &form;
  if (w != buffer_w_ || h != buffer_h_)
    Allocate(w, h);
  else
    damage_.Add(rects);
  dirty_ = true;
  TryCommit();
}

void Surface::PresentAll(const Image& form) { Present(form, {{0, 0, form.width, form.height}}); }

void Surface::Hide() {
  if (hidden_) return;
  hidden_ = true;
  // No buffer is no picture: the compositor unmaps the surface.
  wl_surface_attach(surface_, nullptr, 0, 0);
  wl_surface_commit(surface_);
}

void Surface::TryCommit() {
  if (hidden_ || !dirty_ || !configured_ || closed_ || frame_cb_ || buffers_.empty()) return;
  int w = 0, h = 0;
  SceneSize(&w, &h);
  // A new size waits for its scene (and the acknowledgement with it).
  if (w != buffer_w_ || h != buffer_h_) return;
  size_t b = 0;
  while (b < buffers_.size() && buffers_[b]->busy) ++b;
  if (b == buffers_.size()) return;  // the compositor holds them all: wait for one
  Buffer& buf = *buffers_[b];
  const std::vector<PixelRect> stale = damage_.TakeStale(b);
  // Without a form (before the first scene) the buffer is black. A buffer
  // is written only once it is used: one the compositor never needs (it
  // gives buffers back at once) takes no memory.
  const bool form = source_ && source_->width == w && source_->height == h;
  for (const PixelRect& r : stale)
    for (int y = r.y; y < r.bottom(); ++y) {
      const size_t at = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(r.x);
      if (form)
        OpaqueCopy(buf.px + at, source_->px.data() + at, r.w);
      else
        std::fill(buf.px + at, buf.px + at + r.w, kOpaque);
    }
  wl_surface_attach(surface_, buf.wl, 0, 0);
  for (const PixelRect& r : damage_.TakeDamage())
    wl_surface_damage_buffer(surface_, r.x, r.y, r.w, r.h);
  const SurfaceScale s = scale();
  const bool fraction = viewport_ && s.frac120 > 0;
  // A fraction: the buffer's pixels shown at the surface's size. A whole
  // scale: the buffer scale, and no viewport size.
  const int whole = fraction ? 1 : s.whole;
  const int dest_w = fraction ? width_ : -1, dest_h = fraction ? height_ : -1;
  if (viewport_ && (shown_w_ != dest_w || shown_h_ != dest_h)) {
    wp_viewport_set_destination(viewport_, dest_w, dest_h);
    shown_w_ = dest_w;
    shown_h_ = dest_h;
  }
  if (shown_whole_ != whole) {
    wl_surface_set_buffer_scale(surface_, whole);
    shown_whole_ = whole;
  }
  if (ack_pending_) {
    if (layer_) zwlr_layer_surface_v1_ack_configure(layer_, serial_);
    if (xdg_) xdg_surface_ack_configure(xdg_, serial_);
    ack_pending_ = false;
  }
  frame_cb_ = wl_surface_frame(surface_);
  wl_callback_add_listener(frame_cb_, &kFrame, this);
  wl_surface_commit(surface_);
  buf.busy = true;
  dirty_ = false;
}

}  // namespace wh::wayland
