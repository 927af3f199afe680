// Making a picture file the desktop background, the way the running desktop
// offers: GNOME and its relatives through gsettings, XFCE through xfconf,
// KDE Plasma through its own tool, sway through its IPC, and any other X
// desktop through the root window's pixmap.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>

namespace wh::x11 {

// How long a desktop's settings tool may take before it is killed.
constexpr int kHelperLimitMs = 2000;

// `path` is the BMP just written; `px` (B, G, R, X pixels, `w` x `h`) is the
// same picture for the root-window way (null: no root window, as on a
// Wayland compositor). Returns true when a way succeeded.
// What the user had before is recorded first (in the user's state folder;
// see background_memory.h), unless it is one of the saver's own pictures,
// so RestoreDesktopBackground can put the user's own background back. When
// it cannot be recorded, the background is left as it is and the failure
// is raised as a run-time error. Each settings tool gets kHelperLimitMs.
bool SetDesktopBackground(const std::string& path, const uint32_t* px, int w, int h);

// Puts back the background SetDesktopBackground remembered and forgets it.
// `message` says what happened in one line; false when nothing was put back.
// Only the entries the saver itself writes are acted on; a memory file that
// cannot be read, and any other line in it, are reported to the log.
bool RestoreDesktopBackground(std::string& message);

// The root-window way alone: a pixmap that outlives this process, set as the
// root's background and published in _XROOTPMAP_ID and ESETROOT_PMAP_ID.
bool SetRootPixmap(const uint32_t* px, int w, int h);

// Makes `pm` (0: none, the server's default background) the root window's
// background and publishes it, freeing the previous setter's pixmap only
// when ESETROOT_PMAP_ID and _XROOTPMAP_ID both name it.
void ReplaceRootPixmap(::Display* d, unsigned long pm);

}  // namespace wh::x11
