// A pointer for tests: moves, clicks and waits on a wlroots compositor
// through a virtual pointer, as a mouse on the seat would.
//
//   wh-virtual-pointer STEP...
//     to X Y W H   to (X, Y) of a W x H box laid over the whole layout
//                  (the layout's own size in logical pixels puts it exactly)
//     by DX DY     by (DX, DY) logical pixels
//     click BTN    press and release a Linux button code (272: left)
//     wait MS      keep the device and do nothing for MS milliseconds
//
// Without steps on the command line they are read from standard input, a
// line at a time, until its end, "done" written on standard output after
// each: a mouse that stays plugged in while a test drives it. The device
// lives until the last step is done, so the seat has a pointer meanwhile.
// Exit status 0, or 1 with a line on standard error.
#include <wayland-client.h>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "virtual-pointer-client.h"

namespace {

wl_seat* g_seat = nullptr;
zwlr_virtual_pointer_manager_v1* g_manager = nullptr;

void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !g_seat)
    g_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    g_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

uint32_t NowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

bool Fail(const char* what) {
  std::fprintf(stderr, "wh-virtual-pointer: %s\n", what);
  return false;
}

bool ParseInts(const std::vector<std::string>& words, size_t at, int n, long* out) {
  if (at + n > words.size()) return false;
  for (int i = 0; i < n; ++i) {
    char* end = nullptr;
    out[i] = std::strtol(words[at + i].c_str(), &end, 10);
    if (!end || *end || words[at + i].empty()) return false;
  }
  return true;
}

// Sends the steps in `words`; false (said on standard error) on a step it
// cannot read or when the compositor went away.
bool Steps(wl_display* display, zwlr_virtual_pointer_v1* pointer,
           const std::vector<std::string>& words) {
  for (size_t i = 0; i < words.size();) {
    const std::string& step = words[i++];
    long v[4];
    if (step == "to" && ParseInts(words, i, 4, v)) {
      if (v[0] < 0 || v[1] < 0 || v[2] <= 0 || v[3] <= 0) return Fail("to: X Y W H out of range");
      zwlr_virtual_pointer_v1_motion_absolute(pointer, NowMs(), v[0], v[1], v[2], v[3]);
      i += 4;
    } else if (step == "by" && ParseInts(words, i, 2, v)) {
      zwlr_virtual_pointer_v1_motion(pointer, NowMs(), wl_fixed_from_int(v[0]),
                                     wl_fixed_from_int(v[1]));
      i += 2;
    } else if (step == "click" && ParseInts(words, i, 1, v)) {
      zwlr_virtual_pointer_v1_button(pointer, NowMs(), v[0], WL_POINTER_BUTTON_STATE_PRESSED);
      zwlr_virtual_pointer_v1_frame(pointer);
      wl_display_roundtrip(display);
      zwlr_virtual_pointer_v1_button(pointer, NowMs(), v[0], WL_POINTER_BUTTON_STATE_RELEASED);
      i += 1;
    } else if (step == "wait" && ParseInts(words, i, 1, v)) {
      wl_display_roundtrip(display);
      usleep(static_cast<useconds_t>(v[0]) * 1000);
      i += 1;
      continue;
    } else {
      return Fail(("cannot read the step '" + step + "'").c_str());
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    if (wl_display_roundtrip(display) < 0) return Fail("the compositor went away");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return Fail("no Wayland display"), 1;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, nullptr);
  wl_display_roundtrip(display);
  if (!g_manager) return Fail("the compositor offers no zwlr_virtual_pointer_manager_v1"), 1;
  zwlr_virtual_pointer_v1* pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_manager, g_seat);
  wl_display_roundtrip(display);

  bool ok = true;
  if (argc > 1) {
    ok = Steps(display, pointer, std::vector<std::string>(argv + 1, argv + argc));
  } else {
    for (std::string line; ok && std::getline(std::cin, line);) {
      std::istringstream in(line);
      std::vector<std::string> words;
      for (std::string w; in >> w;) words.push_back(w);
      ok = Steps(display, pointer, words);
      // Each line's steps are done: the test waiting for them reads this.
      std::printf("done\n");
      std::fflush(stdout);
    }
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  zwlr_virtual_pointer_manager_v1_destroy(g_manager);
  if (g_seat) wl_seat_destroy(g_seat);
  wl_registry_destroy(registry);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return ok ? 0 : 1;
}
