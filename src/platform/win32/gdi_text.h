// Text through GDI: the font by name (Windows substitutes its closest match
// when a face is missing), sized at the dots per inch of the monitor being
// drawn for, drawn anti-aliased with a transparent background.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "gfx/text.h"

namespace wh::win32 {

class GdiTextRenderer : public TextRenderer {
 public:
  // `dpi` 0 takes the screen's logical dots per inch.
  explicit GdiTextRenderer(int dpi = 0);
  ~GdiTextRenderer() override;

  void Draw(Image& dst, double x, double y, const std::string& utf8, const Font& font,
            int32_t colour) override;
  double LineHeight(const Font& font) override;
  double TextWidth(const std::string& utf8, const Font& font) override;

  int dpi() const { return dpi_; }
  // Point sizes from here on convert at `dpi` (each saver window sets its
  // monitor's around its drawing); 0 or less keeps the current one.
  void set_dpi(int dpi) {
    if (dpi > 0) dpi_ = dpi;
  }

 private:
  HFONT FontFor(const Font& font);

  int dpi_;
  HDC dc_;
  std::map<std::tuple<std::string, bool, double, int>, HFONT> fonts_;
};

}  // namespace wh::win32
