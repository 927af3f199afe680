#include "gfx/text.h"

#include <cmath>

namespace wh {
namespace {

// Draws nothing; measures as a typical sans-serif face would, so layouts that
// depend on text size stay sensible without a font library.
class NoText : public TextRenderer {
 public:
  void Draw(Image&, double, double, const std::string&, const Font&, int32_t) override {}
  double LineHeight(const Font& font) override { return std::ceil(Pixels(font) * 1.4); }
  double TextWidth(const std::string& utf8, const Font& font) override {
    size_t chars = 0;
    for (unsigned char c : utf8)
      if ((c & 0xC0) != 0x80) ++chars;  // count code points, not bytes
    return std::ceil(static_cast<double>(chars) * Pixels(font) * 0.55);
  }

 private:
  static double Pixels(const Font& font) { return font.size_pt * 96.0 / 72.0; }
};

NoText g_no_text;
TextRenderer* g_text = &g_no_text;

}  // namespace

TextRenderer::~TextRenderer() = default;

TextRenderer& Text() {
  return *g_text;
}

void SetTextRenderer(TextRenderer* renderer) {
  g_text = renderer ? renderer : &g_no_text;
}

}  // namespace wh
