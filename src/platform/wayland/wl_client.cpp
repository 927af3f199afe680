#include "platform/wayland/wl_client.h"

#include <errno.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
// The layer shell names an argument "namespace", a C++ keyword.
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace wh::wayland {

namespace {

Client* Self(void* data) { return static_cast<Client*>(data); }

void WmPing(void*, xdg_wm_base* wm, uint32_t serial) { xdg_wm_base_pong(wm, serial); }
const xdg_wm_base_listener kWmBase = {WmPing};

// xdg-output tells the place and size on the desktop, and older
// compositors the name.
Output* OutputData(void* data) { return static_cast<Output*>(data); }
void XdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  OutputData(data)->info.lx = x;
  OutputData(data)->info.ly = y;
}
void XdgSize(void* data, zxdg_output_v1*, int32_t w, int32_t h) {
  Output* o = OutputData(data);
  o->info.lwidth = w;
  o->info.lheight = h;
  o->info.has_logical = true;
}
void XdgDone(void*, zxdg_output_v1*) {}
void XdgName(void* data, zxdg_output_v1*, const char* name) {
  // wl_output's own name, where it has one, is the same.
  if (OutputData(data)->info.name.empty()) OutputData(data)->info.name = name ? name : "";
}
void XdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutput = {XdgPosition, XdgSize, XdgDone, XdgName,
                                            XdgDescription};

}  // namespace

// wl_registry: the globals the saver uses, and outputs coming and going.
const wl_registry_listener Client::kRegistry = {
    [](void* data, wl_registry* reg, uint32_t id, const char* iface, uint32_t version) {
      Client* c = Self(data);
      auto bind = [&](const wl_interface* i, uint32_t most) {
        return wl_registry_bind(reg, id, i, std::min(version, most));
      };
      if (std::strcmp(iface, wl_compositor_interface.name) == 0 && version >= 4) {
        c->compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
      } else if (std::strcmp(iface, wl_shm_interface.name) == 0) {
        c->shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
      } else if (std::strcmp(iface, xdg_wm_base_interface.name) == 0) {
        c->wm_base_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 4));
        xdg_wm_base_add_listener(c->wm_base_, &kWmBase, c);
      } else if (std::strcmp(iface, zwlr_layer_shell_v1_interface.name) == 0) {
        c->layer_shell_ =
            static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
      } else if (std::strcmp(iface, wp_viewporter_interface.name) == 0) {
        c->viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
      } else if (std::strcmp(iface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        c->fractional_ = static_cast<wp_fractional_scale_manager_v1*>(
            bind(&wp_fractional_scale_manager_v1_interface, 1));
      } else if (std::strcmp(iface, zxdg_output_manager_v1_interface.name) == 0) {
        c->xdg_outputs_version_ = std::min(version, 3u);
        c->xdg_outputs_ =
            static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
        for (auto& o : c->outputs_) c->WatchXdgOutput(*o);
      } else if (std::strcmp(iface, wl_seat_interface.name) == 0 && !c->seat_) {
        c->seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        wl_seat_add_listener(c->seat_, &kSeat, c);
      } else if (std::strcmp(iface, wl_output_interface.name) == 0) {
        c->AddOutput(id, version);
      }
    },
    [](void* data, wl_registry*, uint32_t id) {
      Client* c = Self(data);
      auto it = std::find_if(c->outputs_.begin(), c->outputs_.end(),
                             [&](const auto& o) { return o->info.id == id; });
      if (it == c->outputs_.end()) return;
      Output& o = **it;
      if (o.xdg) zxdg_output_v1_destroy(o.xdg);
      if (o.version >= 3)
        wl_output_release(o.wl);
      else
        wl_output_destroy(o.wl);
      c->outputs_.erase(it);
      c->outputs_changed_ = true;
    },
};

const wl_output_listener Client::kOutput = {
    // geometry
    [](void* data, wl_output*, int32_t x, int32_t y, int32_t mm_w, int32_t mm_h, int32_t,
       const char*, const char*, int32_t transform) {
      Output* o = OutputData(data);
      o->info.x = x;
      o->info.y = y;
      o->info.mm_width = mm_w;
      o->info.mm_height = mm_h;
      o->info.transform = transform;
    },
    // mode
    [](void* data, wl_output*, uint32_t flags, int32_t w, int32_t h, int32_t) {
      if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
      OutputData(data)->info.mode_width = w;
      OutputData(data)->info.mode_height = h;
    },
    // done: the description is complete (xdg-output's too, from its version 3)
    [](void* data, wl_output*) {
      Output* o = OutputData(data);
      o->ready = true;
      o->client->NoteOutputsChanged();
    },
    // scale
    [](void* data, wl_output*, int32_t factor) { OutputData(data)->info.scale = factor; },
    // name
    [](void* data, wl_output*, const char* name) { OutputData(data)->info.name = name ? name : ""; },
    // description
    [](void*, wl_output*, const char*) {},
};

void Client::AddOutput(uint32_t id, uint32_t version) {
  auto o = std::make_unique<Output>();
  o->client = this;
  o->info.id = id;
  o->version = std::min(version, 4u);
  o->wl = static_cast<wl_output*>(wl_registry_bind(registry_, id, &wl_output_interface, o->version));
  wl_output_add_listener(o->wl, &kOutput, o.get());
  WatchXdgOutput(*o);
  outputs_.push_back(std::move(o));
  outputs_changed_ = true;
}

void Client::WatchXdgOutput(Output& o) {
  if (!xdg_outputs_ || o.xdg) return;
  o.xdg = zxdg_output_manager_v1_get_xdg_output(xdg_outputs_, o.wl);
  zxdg_output_v1_add_listener(o.xdg, &kXdgOutput, &o);
}

const wl_seat_listener Client::kSeat = {
    [](void* data, wl_seat*, uint32_t caps) { Self(data)->SeatCapabilities(caps); },
    [](void*, wl_seat*, const char*) {},
};

void Client::SeatCapabilities(uint32_t caps) {
  const bool pointer = caps & WL_SEAT_CAPABILITY_POINTER;
  const bool keyboard = caps & WL_SEAT_CAPABILITY_KEYBOARD;
  if (pointer && !pointer_) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointer, this);
  } else if (!pointer && pointer_) {
    wl_pointer_release(pointer_);
    pointer_ = nullptr;
    pointer_focus_ = nullptr;
  }
  const bool touch = caps & WL_SEAT_CAPABILITY_TOUCH;
  if (touch && !touch_) {
    touch_ = wl_seat_get_touch(seat_);
    wl_touch_add_listener(touch_, &kTouch, this);
  } else if (!touch && touch_) {
    wl_touch_release(touch_);
    touch_ = nullptr;
  }
  if (keyboard && !keyboard_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboard, this);
  } else if (!keyboard && keyboard_) {
    wl_keyboard_release(keyboard_);
    keyboard_ = nullptr;
    keyboard_focus_ = nullptr;
  }
}

InputSink* Client::SinkOf(wl_surface* s) const {
  if (!s) return nullptr;
  auto* owner = static_cast<SurfaceOwner*>(wl_surface_get_user_data(s));
  return owner ? owner->sink() : nullptr;
}

void Client::HideCursorNow() {
  if (pointer_ && pointer_focus_ && cursor_hidden_)
    wl_pointer_set_cursor(pointer_, pointer_serial_, nullptr, 0, 0);
}

void Client::SetCursorHidden(bool hidden) {
  cursor_hidden_ = hidden;
  HideCursorNow();
}

void Client::Forget(wl_surface* s) {
  if (pointer_focus_ == s) pointer_focus_ = nullptr;
  if (keyboard_focus_ == s) keyboard_focus_ = nullptr;
}

const wl_pointer_listener Client::kPointer = {
    // enter: a new reference point, and no cursor over our surfaces
    [](void* data, wl_pointer*, uint32_t serial, wl_surface* s, wl_fixed_t x, wl_fixed_t y) {
      Client* c = Self(data);
      c->pointer_focus_ = s;
      c->pointer_serial_ = serial;
      c->HideCursorNow();
      if (InputSink* sink = c->SinkOf(s))
        sink->OnPointerEnter(wl_fixed_to_double(x), wl_fixed_to_double(y));
    },
    // leave
    [](void* data, wl_pointer*, uint32_t, wl_surface*) { Self(data)->pointer_focus_ = nullptr; },
    // motion
    [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
      Client* c = Self(data);
      if (InputSink* sink = c->SinkOf(c->pointer_focus_))
        sink->OnPointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y));
    },
    // button
    [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
      Client* c = Self(data);
      if (state != WL_POINTER_BUTTON_STATE_PRESSED) return;
      if (InputSink* sink = c->SinkOf(c->pointer_focus_)) sink->OnButton(static_cast<int>(button));
    },
    // axis: the wheel is a button, as on X11
    [](void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t value) {
      Client* c = Self(data);
      if (value == 0) return;
      if (InputSink* sink = c->SinkOf(c->pointer_focus_)) sink->OnButton(0);
    },
    [](void*, wl_pointer*) {},                                // frame
    [](void*, wl_pointer*, uint32_t) {},                      // axis_source
    [](void*, wl_pointer*, uint32_t, uint32_t) {},            // axis_stop
    [](void*, wl_pointer*, uint32_t, int32_t) {},             // axis_discrete
    [](void*, wl_pointer*, uint32_t, int32_t) {},             // axis_value120
};

// A touch is a click, as X servers make it one for the pointer.
const wl_touch_listener Client::kTouch = {
    [](void* data, wl_touch*, uint32_t, uint32_t, wl_surface* s, int32_t, wl_fixed_t, wl_fixed_t) {
      if (InputSink* sink = Self(data)->SinkOf(s)) sink->OnButton(1);
    },
    [](void*, wl_touch*, uint32_t, uint32_t, int32_t) {},                        // up
    [](void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {},          // motion
    [](void*, wl_touch*) {},                                                     // frame
    [](void*, wl_touch*) {},                                                     // cancel
    [](void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {},                    // shape
    [](void*, wl_touch*, int32_t, wl_fixed_t) {},                                // orientation
};

const wl_keyboard_listener Client::kKeyboard = {
    // keymap
    [](void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
      Client* c = Self(data);
      if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        close(fd);
        return;
      }
      void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
      close(fd);
      if (map == MAP_FAILED) return;
      if (!c->xkb_) c->xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
      xkb_keymap* keymap =
          c->xkb_ ? xkb_keymap_new_from_buffer(c->xkb_, static_cast<const char*>(map),
                                               strnlen(static_cast<const char*>(map), size),
                                               XKB_KEYMAP_FORMAT_TEXT_V1,
                                               XKB_KEYMAP_COMPILE_NO_FLAGS)
                  : nullptr;
      munmap(map, size);
      if (!keymap) return;
      if (c->xkb_state_) xkb_state_unref(c->xkb_state_);
      if (c->keymap_) xkb_keymap_unref(c->keymap_);
      c->keymap_ = keymap;
      c->xkb_state_ = xkb_state_new(keymap);
    },
    // enter: keys already held (the one that started us) do not count
    [](void* data, wl_keyboard*, uint32_t, wl_surface* s, wl_array*) {
      Self(data)->keyboard_focus_ = s;
    },
    // leave
    [](void* data, wl_keyboard*, uint32_t, wl_surface*) { Self(data)->keyboard_focus_ = nullptr; },
    // key
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
      Client* c = Self(data);
      if (state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
      InputSink* sink = c->SinkOf(c->keyboard_focus_);
      if (!sink) return;
      uint32_t sym = 0, ch = 0;
      if (c->xkb_state_) {
        sym = xkb_state_key_get_one_sym(c->xkb_state_, key + 8);
        ch = xkb_state_key_get_utf32(c->xkb_state_, key + 8);
      }
      sink->OnKey(sym, ch);
    },
    // modifiers
    [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
       uint32_t group) {
      Client* c = Self(data);
      if (c->xkb_state_) xkb_state_update_mask(c->xkb_state_, depressed, latched, locked, 0, 0, group);
    },
    // repeat_info: the compositor leaves repeating to us, and we want none
    [](void*, wl_keyboard*, int32_t, int32_t) {},
};

std::unique_ptr<Client> Client::Connect() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) return nullptr;
  // A name is looked for in the runtime folder; without one libwayland
  // would only complain.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (name[0] != '/' && (!runtime || !*runtime)) return nullptr;
  wl_display* d = wl_display_connect(nullptr);
  if (!d) return nullptr;
  std::unique_ptr<Client> c(new Client());
  c->display_ = d;
  c->registry_ = wl_display_get_registry(d);
  wl_registry_add_listener(c->registry_, &kRegistry, c.get());
  // The globals, then the outputs' descriptions, then what those bring.
  for (int i = 0; i < 3; ++i)
    if (!c->Roundtrip()) return nullptr;
  if (!c->compositor_ || !c->shm_ || (!c->layer_shell_ && !c->wm_base_)) return nullptr;
  c->outputs_changed_ = false;
  return c;
}

Client::~Client() {
  if (!display_) return;
  if (xkb_state_) xkb_state_unref(xkb_state_);
  if (keymap_) xkb_keymap_unref(keymap_);
  if (xkb_) xkb_context_unref(xkb_);
  // The server forgets our objects with the connection, but the library
  // keeps its record of each until destroyed (a leak to the sanitizers when
  // --window returns): those go first, without requests, as the connection
  // closes right after.
  const auto drop = [](auto* proxy) {
    if (proxy) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(proxy));
  };
  for (const auto& o : outputs_) {
    drop(o->xdg);
    drop(o->wl);
  }
  drop(pointer_);
  drop(keyboard_);
  drop(touch_);
  drop(seat_);
  drop(compositor_);
  drop(shm_);
  drop(wm_base_);
  drop(layer_shell_);
  drop(viewporter_);
  drop(fractional_);
  drop(xdg_outputs_);
  drop(registry_);
  wl_display_disconnect(display_);
}

std::vector<Monitor> Client::Monitors() const {
  std::vector<Monitor> out;
  for (const auto& o : outputs_)
    if (o->ready && o->info.mode_width > 0) out.push_back(OutputMonitor(o->info, scale_way()));
  return out;
}

Output* Client::FindOutput(const std::string& monitor_name) {
  for (auto& o : outputs_)
    if (OutputMonitor(o->info, scale_way()).name == monitor_name) return o.get();
  return nullptr;
}

Output* Client::OutputOf(wl_output* wl) {
  for (auto& o : outputs_)
    if (o->wl == wl) return o.get();
  return nullptr;
}

Output* Client::OutputById(uint32_t id) {
  for (auto& o : outputs_)
    if (o->info.id == id) return o.get();
  return nullptr;
}

bool Client::TakeOutputsChanged() {
  return std::exchange(outputs_changed_, false);
}

bool Client::Dispatch(int timeout_ms) {
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) return false;
  }
  // Requests first; a full socket waits for the compositor to read.
  while (wl_display_flush(display_) < 0) {
    if (errno != EAGAIN) {
      wl_display_cancel_read(display_);
      return false;
    }
    pollfd out{wl_display_get_fd(display_), POLLOUT, 0};
    poll(&out, 1, 100);
  }
  pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  const int n = poll(fds, wake_fd_ >= 0 ? 2 : 1, timeout_ms);
  if (n > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
    if (wl_display_read_events(display_) < 0) return false;
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) return false;
  return wl_display_get_error(display_) == 0;
}

}  // namespace wh::wayland
