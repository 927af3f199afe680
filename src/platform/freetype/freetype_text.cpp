#include "platform/freetype/freetype_text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <cmath>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace wh::platform {
namespace {

// UTF-8 to code points; a malformed sequence becomes U+FFFD.
std::vector<char32_t> Decode(const std::string& s) {
  std::vector<char32_t> out;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t extra = c < 0x80           ? 0
                         : (c >> 5) == 0x6  ? 1
                         : (c >> 4) == 0xE  ? 2
                         : (c >> 3) == 0x1E ? 3
                                            : 4;
    char32_t cp = extra == 0 ? c : c & (0x3Fu >> extra);
    bool ok = extra < 4 && i + extra < s.size() + (extra == 0);
    for (size_t k = 1; ok && k <= extra; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      ok = (cc & 0xC0) == 0x80;
      cp = cp << 6 | (cc & 0x3Fu);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += 1 + extra;
  }
  return out;
}

uint32_t Blend(uint32_t dst, uint32_t src, unsigned alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const unsigned d = dst >> shift & 0xFF, s = src >> shift & 0xFF;
    out |= ((d * (255 - alpha) + s * alpha + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

struct FreeTypeText::Impl {
  // A glyph as loaded (and emboldened) once: its advance and its coverage,
  // one byte per pixel.
  struct Glyph {
    bool loaded = false;    // FreeType had the glyph
    bool rendered = false;  // and could draw it
    FT_Pos advance = 0;     // 26.6
    int left = 0, top = 0;  // the coverage's corner from the pen on the baseline
    int width = 0, rows = 0;
    std::vector<unsigned char> alpha;
  };

  struct Face {
    std::string file;
    FT_Face face = nullptr;
    bool embolden = false;
    // The date and time line is drawn every frame: its glyphs are made once.
    std::map<FT_UInt, Glyph> glyphs;
  };

  double dpi;
  FT_Library library = nullptr;
  std::map<std::tuple<std::string, bool, double>, Face> faces;

  explicit Impl(double d) : dpi(d) {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  ~Impl() {
    for (auto& entry : faces)
      if (entry.second.face) FT_Done_Face(entry.second.face);
    if (library) FT_Done_FreeType(library);
  }

  // The sized face for a font, found through fontconfig once and kept.
  Face& Get(const Font& font) {
    const auto key = std::make_tuple(font.face, font.bold, font.size_pt);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second;
    Face f;
    if (library != nullptr && FcInit()) {
      FcPattern* pattern = FcPatternCreate();
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.face.c_str()));
      FcPatternAddInteger(pattern, FC_WEIGHT, font.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
      FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
      FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      FcResult result;
      FcPattern* match = FcFontMatch(nullptr, pattern, &result);
      FcChar8* file = nullptr;
      int index = 0;
      FcBool embolden = FcFalse;
      if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
        f.file = reinterpret_cast<const char*>(file);
        f.embolden = embolden == FcTrue;
      }
      if (match) FcPatternDestroy(match);
      FcPatternDestroy(pattern);
    }
    if (!f.file.empty() && FT_New_Face(library, f.file.c_str(), 0, &f.face) == 0) {
      const FT_F26Dot6 size = static_cast<FT_F26Dot6>(std::lround(font.size_pt * 64));
      const FT_UInt res = static_cast<FT_UInt>(std::lround(dpi));
      if (FT_Set_Char_Size(f.face, 0, size, res, res) != 0) {
        FT_Done_Face(f.face);
        f.face = nullptr;
      }
    } else {
      f.face = nullptr;
    }
    return faces.emplace(key, f).first->second;
  }

  const Glyph& Load(Face& f, FT_UInt index) {
    auto it = f.glyphs.find(index);
    if (it != f.glyphs.end()) return it->second;
    Glyph g;
    if (FT_Load_Glyph(f.face, index, FT_LOAD_DEFAULT) == 0) {
      g.loaded = true;
      FT_GlyphSlot slot = f.face->glyph;
      if (f.embolden) FT_GlyphSlot_Embolden(slot);
      g.advance = slot->advance.x;
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
        const FT_Bitmap& bm = slot->bitmap;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO || bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
          g.rendered = true;
          g.left = slot->bitmap_left;
          g.top = slot->bitmap_top;
          g.width = static_cast<int>(bm.width);
          g.rows = static_cast<int>(bm.rows);
          g.alpha.resize(static_cast<size_t>(g.width) * g.rows);
          for (int row = 0; row < g.rows; ++row) {
            const unsigned char* line = bm.buffer + static_cast<long>(row) * bm.pitch;
            unsigned char* out = g.alpha.data() + static_cast<size_t>(row) * g.width;
            for (int col = 0; col < g.width; ++col) {
              if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                out[col] = (line[col / 8] >> (7 - col % 8) & 1) ? 255 : 0;
              else
                out[col] = static_cast<unsigned char>(
                    bm.num_grays == 256 ? line[col] : line[col] * 255u / (bm.num_grays - 1));
            }
          }
        } else {
          // A pixel format we do not blend: it advances the pen, shows nothing.
          g.rendered = true;
        }
      }
    }
    return f.glyphs.emplace(index, std::move(g)).first->second;
  }

  // Walks the text glyph by glyph: calls visit(glyph, pen_x) for each that
  // was loaded (and, when `drawn`, rendered); returns the advance, 26.6.
  template <typename Visit>
  FT_Pos Walk(Face& f, const std::string& utf8, bool drawn, Visit visit) {
    FT_Pos pen = 0;
    FT_UInt previous = 0;
    for (char32_t cp : Decode(utf8)) {
      if (cp < 0x20) continue;  // line breaks and tabs have no glyph to show
      const FT_UInt index = FT_Get_Char_Index(f.face, cp);
      if (previous && index && FT_HAS_KERNING(f.face)) {
        FT_Vector kern;
        if (FT_Get_Kerning(f.face, previous, index, FT_KERNING_DEFAULT, &kern) == 0) pen += kern.x;
      }
      const Glyph& g = Load(f, index);
      if (!g.loaded || (drawn && !g.rendered)) continue;
      visit(g, pen);
      pen += g.advance;
      previous = index;
    }
    return pen;
  }
};

FreeTypeText::FreeTypeText(double dpi) : impl_(std::make_unique<Impl>(dpi)) {}
FreeTypeText::~FreeTypeText() = default;

std::string FreeTypeText::FontFile(const Font& font) {
  Impl::Face& f = impl_->Get(font);
  return f.face ? f.file : std::string();
}

double FreeTypeText::LineHeight(const Font& font) {
  Impl::Face& f = impl_->Get(font);
  if (!f.face) return std::ceil(font.size_pt * impl_->dpi / 72.0 * 1.4);
  const FT_Size_Metrics& m = f.face->size->metrics;
  return static_cast<double>((m.ascender - m.descender + 63) / 64);
}

double FreeTypeText::TextWidth(const std::string& utf8, const Font& font) {
  Impl::Face& f = impl_->Get(font);
  if (!f.face) return 0;
  const FT_Pos advance = impl_->Walk(f, utf8, false, [](const Impl::Glyph&, FT_Pos) {});
  return static_cast<double>((advance + 32) / 64);
}

void FreeTypeText::Draw(Image& dst, double x, double y, const std::string& utf8, const Font& font,
                        int32_t colour) {
  Impl::Face& f = impl_->Get(font);
  if (!f.face) return;
  const uint32_t src = PixelFromColour(colour);
  // The cell's top is y; the baseline lies one ascent below it. Glyphs are
  // placed on whole pixels so that strokes stay sharp.
  const long left = std::lround(x);
  const long baseline = std::lround(y) + (f.face->size->metrics.ascender + 32) / 64;
  impl_->Walk(f, utf8, true, [&](const Impl::Glyph& g, FT_Pos pen) {
    const long ox = left + (pen + 32) / 64 + g.left;
    const long oy = baseline - g.top;
    for (int row = 0; row < g.rows; ++row) {
      const long py = oy + row;
      if (py < 0 || py >= dst.height) continue;
      const unsigned char* line = g.alpha.data() + static_cast<size_t>(row) * g.width;
      for (int col = 0; col < g.width; ++col) {
        const long px = ox + col;
        if (px < 0 || px >= dst.width) continue;
        const unsigned alpha = line[col];
        if (alpha == 0) continue;
        uint32_t& out = dst.at(static_cast<int>(px), static_cast<int>(py));
        out = Blend(out, src, alpha);
      }
    }
  });
}

void InstallFreeTypeText(double dpi) {
  // Monitors of different densities take turns: each keeps its renderer and
  // the faces it has sized.
  static std::map<double, std::unique_ptr<FreeTypeText>> texts;
  std::unique_ptr<FreeTypeText>& text = texts[dpi];
  if (!text) text = std::make_unique<FreeTypeText>(dpi);
  SetTextRenderer(text.get());
}

}  // namespace wh::platform
