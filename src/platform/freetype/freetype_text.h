// Text through fontconfig and FreeType: the face is the one fontconfig
// matches for the font's name and weight ("Comic Sans MS" bold finds Comic
// Neue where the real face is missing), glyphs are anti-aliased and blended
// over the picture.
#pragma once

#include <memory>
#include <string>

#include "gfx/text.h"

namespace wh::platform {

class FreeTypeText : public TextRenderer {
 public:
  // dpi: pixels per inch that point sizes are converted with.
  explicit FreeTypeText(double dpi = 96.0);
  ~FreeTypeText() override;

  void Draw(Image& dst, double x, double y, const std::string& utf8, const Font& font,
            int32_t colour) override;
  double LineHeight(const Font& font) override;
  double TextWidth(const std::string& utf8, const Font& font) override;

  // The font file fontconfig chose for the font; empty when none was found
  // (then nothing is drawn and the default measures apply).
  std::string FontFile(const Font& font);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Makes a FreeTypeText converting point sizes at dpi the active text
// renderer; one is kept for each density asked for, so switching between
// monitors of different densities finds its faces ready.
void InstallFreeTypeText(double dpi = 96.0);

}  // namespace wh::platform
