#include "platform/headless/headless_host.h"

#include <cstdio>

#include "common/random.h"
#include "gfx/png.h"

namespace wh {

void HeadlessHost::Present(const Canvas& form) {
  ++presents;
  if (keep_frames) frames.push_back({keep_images ? form.image() : Image(), RandomDrawCount()});
}

void HeadlessHost::WriteStages(const std::string& dir) const {
  for (size_t i = 0; i < frames.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/stage-%02zu.png", i + 1);
    SavePng(dir + name, frames[i].image);
  }
}

}  // namespace wh
