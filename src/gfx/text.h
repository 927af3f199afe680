// Text output. The canvas only knows where text goes and in which font; how
// glyphs are found and drawn belongs to the platform, which installs its
// renderer at start-up (FreeType with fontconfig on Linux).
#pragma once

#include <cstdint>
#include <string>

#include "gfx/image.h"

namespace wh {

struct Font {
  std::string face = "Comic Sans MS";
  bool bold = true;
  double size_pt = 9.75;  // points at 96 pixels per inch
};

class TextRenderer {
 public:
  virtual ~TextRenderer();
  // Draws one line of UTF-8 text whose cell's top-left corner is (x, y), in
  // colour 0x00BBGGRR, blending anti-aliased edges over what is there; the
  // background stays as it is.
  virtual void Draw(Image& dst, double x, double y, const std::string& utf8, const Font& font,
                    int32_t colour) = 0;
  // Height of one line of text (ascent plus descent), pixels.
  virtual double LineHeight(const Font& font) = 0;
  // Advance width of the text, pixels.
  virtual double TextWidth(const std::string& utf8, const Font& font) = 0;
};

// The active renderer. Never null: until a platform installs one, a renderer
// that draws nothing and measures every line as a fixed fraction of the
// font size keeps the core usable.
TextRenderer& Text();
// Installs a renderer (not owned); nullptr restores the default.
void SetTextRenderer(TextRenderer* renderer);

}  // namespace wh
