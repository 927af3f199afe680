// The connection to a Wayland compositor: its globals, its outputs and the
// seat's pointer and keyboard. Input goes to the surface it is for.
#pragma once

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wayland/outputs.h"

struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct wp_viewporter;
struct wp_fractional_scale_manager_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace wh::wayland {

// Where a surface's input goes.
class InputSink {
 public:
  virtual ~InputSink() = default;
  // The pointer came onto the surface at (x, y), surface-local units.
  virtual void OnPointerEnter(double x, double y) = 0;
  virtual void OnPointerMotion(double x, double y) = 0;
  // A button pressed, the wheel turned, or a finger on a touch screen.
  virtual void OnButton(int button) = 0;
  // A key pressed: its symbol and the character it types (0: none).
  virtual void OnKey(uint32_t keysym, uint32_t character) = 0;
};

// What every surface of ours carries as its user data.
class SurfaceOwner {
 public:
  virtual ~SurfaceOwner() = default;
  virtual InputSink* sink() = 0;
};

class Client;

struct Output {
  Client* client = nullptr;
  OutputInfo info;
  wl_output* wl = nullptr;
  uint32_t version = 0;
  zxdg_output_v1* xdg = nullptr;
  bool ready = false;  // its description is complete
};

class Client {
 public:
  // The compositor WAYLAND_DISPLAY names, with its outputs known; null
  // when none answers or it lacks what every surface needs.
  static std::unique_ptr<Client> Connect();
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  wl_display* display() const { return display_; }
  wl_compositor* compositor() const { return compositor_; }
  wl_shm* shm() const { return shm_; }
  xdg_wm_base* wm_base() const { return wm_base_; }
  zwlr_layer_shell_v1* layer_shell() const { return layer_shell_; }
  wp_viewporter* viewporter() const { return viewporter_; }
  wp_fractional_scale_manager_v1* fractional() const {
    return viewporter_ ? fractional_ : nullptr;
  }
  ScaleWay scale_way() const {
    return fractional() ? ScaleWay::kFractional
                        : viewporter_ ? ScaleWay::kViewport : ScaleWay::kWhole;
  }

  // The outputs described so far, as monitors.
  std::vector<Monitor> Monitors() const;
  Output* FindOutput(const std::string& monitor_name);
  Output* OutputOf(wl_output* wl);
  Output* OutputById(uint32_t id);
  // Whether an output came, went or changed since the last call.
  bool TakeOutputsChanged();
  void NoteOutputsChanged() { outputs_changed_ = true; }

  // Runs the events that come within `timeout_ms` (-1: wait for one, 0:
  // only those there). Returns early when `wake_fd` becomes readable.
  // False once the connection is gone.
  bool Dispatch(int timeout_ms);
  bool Roundtrip() { return wl_display_roundtrip(display_) >= 0; }
  void set_wake_fd(int fd) { wake_fd_ = fd; }

  // Pointers over our surfaces show no cursor while hidden.
  void SetCursorHidden(bool hidden);
  // A surface that goes gets no more input.
  void Forget(wl_surface* s);

 private:
  Client() = default;
  void AddOutput(uint32_t id, uint32_t version);
  void WatchXdgOutput(Output& o);
  void SeatCapabilities(uint32_t caps);
  InputSink* SinkOf(wl_surface* s) const;
  void HideCursorNow();

  static const wl_registry_listener kRegistry;
  static const wl_output_listener kOutput;
  static const wl_seat_listener kSeat;
  static const wl_pointer_listener kPointer;
  static const wl_keyboard_listener kKeyboard;
  static const wl_touch_listener kTouch;

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  xdg_wm_base* wm_base_ = nullptr;
  zwlr_layer_shell_v1* layer_shell_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wp_fractional_scale_manager_v1* fractional_ = nullptr;
  zxdg_output_manager_v1* xdg_outputs_ = nullptr;
  uint32_t xdg_outputs_version_ = 0;
  wl_seat* seat_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_touch* touch_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  bool outputs_changed_ = false;
  int wake_fd_ = -1;

  wl_surface* pointer_focus_ = nullptr;
  wl_surface* keyboard_focus_ = nullptr;
  uint32_t pointer_serial_ = 0;
  bool cursor_hidden_ = false;

  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* xkb_state_ = nullptr;
};

}  // namespace wh::wayland
