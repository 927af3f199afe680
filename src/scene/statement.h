// One statement of a scene procedure under that procedure's trap: a run-time
// error in it is reported, and the procedure goes on, retries or is left as
// the report decides. Needs a `Trap trap` in scope; void procedures only.
#pragma once

#include "errors/trap.h"
#include "gfx/image.h"

#define STMT(...)                              \
  do {                                         \
    if (!trap([&] { __VA_ARGS__; })) return;   \
  } while (0)

// The same inside a procedure part that reports "leave" by returning false.
#define STMT_OR_FALSE(...)                           \
  do {                                               \
    if (!trap([&] { __VA_ARGS__; })) return false;   \
  } while (0)

namespace wh {

// "Object variable or With block variable not set": a picture that was
// never loaded.
constexpr int kErrObjectNotSet = 91;

// The image of a loaded picture; a missing one is a run-time error rather
// than a crash.
inline const Image& PictureImage(const Picture& pic) {
  if (!pic) Raise(kErrObjectNotSet);
  return *pic;
}

}  // namespace wh
