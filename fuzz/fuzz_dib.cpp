// Feeds arbitrary bytes to the bitmap decoder. Anything but a clean
// "Invalid picture" (or a picture that re-encodes to itself) is a finding.
#include <cstdint>
#include <cstdlib>

#include "common/runtime_error.h"
#include "gfx/dib.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

template <typename F>
void ExpectCleanly(F f) {
  try {
    f();
  } catch (const wh::RuntimeError& e) {
    Check(e.number() == wh::kErrInvalidPicture);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExpectCleanly([&] {
    const wh::Image img = wh::DecodeDib(data, size);
    Check(img.width > 0 && img.height > 0 &&
          img.px.size() == static_cast<size_t>(img.width) * img.height);
  });
  ExpectCleanly([&] { wh::DecodeBmp(data, size); });
  ExpectCleanly([&] {
    const wh::IndexedImage img = wh::DecodeDibIndexed(data, size);
    // Whatever decodes must survive our own encoder unchanged.
    if (img.index.size() > 1 << 16) return;
    const int bpp = img.palette.size() <= 16 ? 4 : 8;
    for (auto compression : {wh::BmpCompression::kNone, wh::BmpCompression::kRle}) {
      const auto bytes = wh::EncodeBmp(img, bpp, compression);
      const wh::IndexedImage back = wh::DecodeBmpIndexed(bytes.data(), bytes.size());
      Check(back.index == img.index && back.palette == img.palette);
    }
  });
  return 0;
}
