// Full-colour pictures with an alpha channel, stored in the "Quite OK Image"
// format: lossless, compact for drawn art, and decoded by a small header-only
// codec (Debian libqoi-dev) that needs no other library on any platform.
// The large versions of the scene's pictures are kept this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/image.h"

namespace wh {

// An RGBA picture; the alpha sits in the pixel's top byte (where Image keeps
// its unused X). Malformed input raises "Invalid picture" (481).
Image DecodeQoi(const uint8_t* data, size_t size);
// The same back into QOI bytes.
std::vector<uint8_t> EncodeQoi(const Image& rgba);

}  // namespace wh
