// Feeds arbitrary text to the parsers of outside text: the settings' number
// text and the command line. They may refuse it only with a run-time error.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/numtext.h"
#include "common/runtime_error.h"
#include "startup/saver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    wh::TextToInt16(text);
  } catch (const wh::RuntimeError&) {
  }
  try {
    wh::TextToInt32(text);
  } catch (const wh::RuntimeError&) {
  }
  try {
    float f = wh::TextToSingle(text);
    // What the settings write must read back as the same value, to the 7
    // significant digits that are written.
    float back = wh::TextToSingle(wh::SingleToText(f));
    if (std::fabs(back - f) > std::fabs(f) * 1e-6f) __builtin_trap();
  } catch (const wh::RuntimeError&) {
  }
  wh::Val(text);
  try {
    wh::CommandLine cl = wh::ParseCommandLine(text);
    if (cl.mode != wh::Mode::kPreview && cl.mode != wh::Mode::kPassword && cl.handle != 0) {
      __builtin_trap();
    }
  } catch (const wh::RuntimeError&) {
  }
  return 0;
}
