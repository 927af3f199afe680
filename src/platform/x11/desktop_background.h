// Making a picture file the desktop background, the way the running desktop
// offers: GNOME and its relatives through gsettings, XFCE through xfconf,
// and any other X desktop through the root window's pixmap.
#pragma once

#include <cstdint>
#include <string>

namespace wh::x11 {

// `path` is the BMP just written; `px` (B, G, R, X pixels, `w` x `h`) is the
// same picture for the root-window way. Returns true when a way succeeded.
bool SetDesktopBackground(const std::string& path, const uint32_t* px, int w, int h);

// The root-window way alone: a pixmap that outlives this process, set as the
// root's background and published in _XROOTPMAP_ID and ESETROOT_PMAP_ID.
bool SetRootPixmap(const uint32_t* px, int w, int h);

}  // namespace wh::x11
