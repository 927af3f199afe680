// Helpers shared by the drawing procedures of the saver form.
#pragma once

#include "errors/trap.h"
#include "gfx/image.h"

namespace wh {

// The image of a loaded picture; a missing one is a run-time error rather
// than a crash.
inline const Image& PictureImage(const Picture& pic) {
  if (!pic) Raise(kErrObjectNotSet);
  return *pic;
}

}  // namespace wh
