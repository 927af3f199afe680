// One surface of the saver: full screen on an output (a layer surface on
// the overlay layer, else a full-screen toplevel) or a window of its own.
// Frames go through shared-memory buffers, each brought up to date with
// only what it missed, and follow the compositor's frame callbacks.
#pragma once

#include <wayland-client.h>

#include <memory>
#include <vector>

#include "gfx/image.h"
#include "platform/wayland/frames.h"
#include "platform/wayland/wl_client.h"

struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;
struct wp_viewport;
struct wp_fractional_scale_v1;
struct zwlr_layer_surface_v1_listener;
struct xdg_surface_listener;
struct xdg_toplevel_listener;
struct wp_fractional_scale_v1_listener;

namespace wh::wayland {

class Surface : public SurfaceOwner {
 public:
  enum class Role {
    kLayer,       // the overlay layer of one output
    kFullscreen,  // a toplevel made full screen on one output
    kWindow,      // a resizable toplevel
  };
  // `output` is null for a window; `width` x `height` desktop units is the
  // size until the compositor gives one.
  Surface(Client& c, Role role, Output* output, int width, int height);
  ~Surface() override;
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // Waits for the compositor's first size (and scale); false when it
  // closed the surface or went away instead.
  bool WaitConfigured();

  SurfaceScale scale() const;
  // The buffer's pixels: the scene is made at this size.
  void SceneSize(int* width, int* height) const;

  // Covers the output in black at once, before the first scene is ready.
  void ShowBlank();
  // `form` (the scene's whole picture, at SceneSize) changed in `rects`.
  // A form of another size (its scene not yet rebuilt) is not shown.
  void Present(const Image& form, const std::vector<PixelRect>& rects);
  void PresentAll(const Image& form);
  // Takes the surface off the screen for good (the saver is ending): it
  // shows nothing from now on, though the objects stay until it goes.
  void Hide();

  // Whether the compositor asked for the next frame: a surface it does not
  // show asks for none, and gets none drawn.
  bool ready_for_frame() const { return configured_ && !frame_cb_; }
  // The compositor closed it (its output went, or a close was asked for).
  bool closed() const { return closed_; }

  void set_sink(InputSink* s) { sink_ = s; }
  InputSink* sink() override { return sink_; }

 private:
  struct Buffer {
    Surface* owner = nullptr;
    wl_buffer* wl = nullptr;
    uint32_t* px = nullptr;
    size_t bytes = 0;
    bool busy = false;
    ~Buffer();
  };

  void Configure(uint32_t serial, int width, int height);
  void Allocate(int width, int height);
  void TryCommit();
  Output* output() const;

  static const wl_surface_listener kSurface;
  static const wl_callback_listener kFrame;
  static const wl_buffer_listener kBuffer;
  static const ::zwlr_layer_surface_v1_listener kLayer;
  static const ::xdg_surface_listener kXdgSurface;
  static const ::xdg_toplevel_listener kToplevel;
  static const ::wp_fractional_scale_v1_listener kFractional;

  Client& c_;
  Role role_;
  uint32_t output_id_ = 0;
  InputSink* sink_ = nullptr;

  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layer_ = nullptr;
  xdg_surface* xdg_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fractional_ = nullptr;
  std::vector<wl_output*> entered_;

  int width_ = 0, height_ = 0;                 // desktop units, as configured
  int toplevel_w_ = 0, toplevel_h_ = 0;        // a toplevel's size before its configure ends
  uint32_t serial_ = 0;
  bool ack_pending_ = false, configured_ = false, closed_ = false, hidden_ = false;
  int frac120_ = 0;                            // preferred fraction, 0 until told
  // What the commits set: the buffer scale, the viewport's size (-1: none).
  int shown_whole_ = 1, shown_w_ = -1, shown_h_ = -1;

  std::vector<std::unique_ptr<Buffer>> buffers_;
  int buffer_w_ = 0, buffer_h_ = 0;
  FrameDamage damage_;
  const Image* source_ = nullptr;
  bool dirty_ = false;
  wl_callback* frame_cb_ = nullptr;
};

}  // namespace wh::wayland
