// Sky strips (one vertical gradient per colour scheme) and the cloud bands
// that are laid over the top of those skies.
#include <algorithm>
#include <cmath>

#include "art.h"
#include "pictures.h"

namespace wh::art {

namespace {

struct Stop {
  float t;
  uint32_t c;
};

// Colour stops of the seven schemes, top (0) to bottom (1). The ground is
// cut from rows 310 down and stretched over the land, so every scheme has
// turned into near-white snow (a faint tint of its own) by row 300; the
// colour of the sky lies above, lightening into a glow at the horizon.
const std::vector<Stop>& Stops(int scheme) {
  static const std::vector<Stop> s[8] = {
      {},
      // 1 pale blue
      {{0, 0x6F9FD6}, {0.25f, 0x98BDE6}, {0.46f, 0xC4DBF2}, {0.60f, 0xE6F0FA}, {0.69f, 0xEFF5FC}, {1, 0xF8FBFF}},
      // 2 deep blue
      {{0, 0x1A3F93}, {0.23f, 0x2F63B8}, {0.42f, 0x6E9AD6}, {0.53f, 0xB9D1EE}, {0.62f, 0xE6EFFA}, {1, 0xF4F8FF}},
      // 3 blue turning rose
      {{0, 0x4A6DB0}, {0.21f, 0x7D8DC4}, {0.36f, 0xC39CC0}, {0.48f, 0xEDBBC0}, {0.57f, 0xF7DEDA}, {0.65f, 0xFBEEEA}, {1, 0xFDF7F4}},
      // 4 turquoise
      {{0, 0x1F7F9E}, {0.27f, 0x4FA9BF}, {0.46f, 0x97D0D8}, {0.58f, 0xD6EFF0}, {0.67f, 0xEBF8F8}, {1, 0xF6FCFC}},
      // 5 blue turning rose, warmer and lower; above row 125 it is scheme 3
      // (see SkyColour), because its clouds are those of scheme 3
      {{0.26f, 0}, {0.40f, 0xD99AAE}, {0.50f, 0xF6B9A8}, {0.58f, 0xFBDCC6}, {0.64f, 0xFEF0E8}, {1, 0xFFF8F2}},
      // 6 dark blue evening
      {{0, 0x0C1440}, {0.23f, 0x1D2E6A}, {0.41f, 0x3F5495}, {0.50f, 0x8A94C2}, {0.575f, 0xCBCDE3}, {0.64f, 0xE8E9F3}, {1, 0xF2F2F8}},
      // 7 violet night
      {{0, 0x170A33}, {0.23f, 0x35215F}, {0.41f, 0x62458F}, {0.50f, 0xA48CC0}, {0.575f, 0xD8CCE5}, {0.64f, 0xECE6F4}, {1, 0xF5F2FA}},
  };
  return s[scheme];
}

// Arc-length positions of the 16 strip colours along a scheme's gradient.
struct StripPalette {
  std::vector<Rgb> colours;   // 16
  std::vector<float> at;      // arc position of each colour
  std::vector<float> row_pos; // arc position of each of the 480 rows
};

float Dist(Rgb a, Rgb b) {
  const float dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return std::sqrt(dr * dr + dg * dg + db * db);
}

// Colour at an arc position, and the palette entry placed there.
Rgb ColourAt(const std::vector<Rgb>& rows, const std::vector<float>& pos, float s) {
  int r = 0;
  while (r < 479 && pos[r + 1] < s) ++r;
  const float span = r < 479 ? pos[r + 1] - pos[r] : 1;
  const float f = span > 0 ? Clamp01((s - pos[r]) / span) : 0;
  const Rgb c = r < 479 ? Mix(rows[r], rows[r + 1], f) : rows[479];
  return Hex((uint32_t(std::lround(c.r)) << 16) | (uint32_t(std::lround(c.g)) << 8) | uint32_t(std::lround(c.b)));
}

StripPalette MakeStripPalette(int scheme) {
  StripPalette p;
  std::vector<Rgb> rows(480);
  for (int r = 0; r < 480; ++r) rows[r] = SkyColour(scheme, r / 479.0f);
  p.row_pos.resize(480);
  for (int r = 1; r < 480; ++r) p.row_pos[r] = p.row_pos[r - 1] + Dist(rows[r], rows[r - 1]);
  const float total = p.row_pos.back();
  float from = 0;
  int first = 0;
  if (scheme == 5) {
    // Share scheme 3's colours over the rows its clouds cover, so the band
    // of scheme 3 meets this sky exactly as it meets its own.
    const StripPalette three = MakeStripPalette(3);
    for (int k = 0; k < 16; ++k) {
      p.colours.push_back(three.colours[k]);
      p.at.push_back(three.at[k]);
      if (three.at[k] > p.row_pos[125]) break;
    }
    first = int(p.at.size());
    from = p.at.back();
  }
  const int n = 16 - first;
  for (int k = 0; k < n; ++k) {
    const float s = first == 0 ? total * k / 15.0f : from + (total - from) * (k + 1) / n;
    p.colours.push_back(ColourAt(rows, p.row_pos, s));
    p.at.push_back(s);
  }
  return p;
}

const float kBayer4[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

// Strip colour index at a position on the gradient, ordered-dithered
// between the two neighbouring palette colours.
int StripIndex(const StripPalette& p, float s, int x, int y) {
  int k = 0;
  while (k < 14 && p.at[k + 1] < s) ++k;
  const float f = Clamp01((s - p.at[k]) / (p.at[k + 1] - p.at[k]));
  const float th = (kBayer4[(y & 3) * 4 + (x & 3)] + 0.5f) / 16.0f;
  return f > th ? k + 1 : k;
}

// Position on the gradient of a fractional sky row.
float RowPos(const StripPalette& p, float row) {
  row = std::clamp(row, 0.0f, 479.0f);
  const int r = std::min(478, int(row));
  return p.row_pos[r] + (p.row_pos[r + 1] - p.row_pos[r]) * (row - r);
}

IndexedImage StripImage(int scheme) {
  const StripPalette p = MakeStripPalette(scheme);
  IndexedImage img;
  img.width = 20;
  img.height = 480;
  for (const Rgb& c : p.colours)
    img.palette.push_back((uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | uint32_t(c.b));
  img.index.resize(20 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 20; ++x) img.index[y * 20 + x] = uint8_t(StripIndex(p, p.row_pos[y], x, y));
  return img;
}

// Cloud colours by scheme: lit top, shaded underside, warm rim.
struct CloudLook {
  uint32_t lit, shade, under;
  float opacity;
};
CloudLook Look(int scheme) {
  switch (scheme) {
    case 1: return {0xFFFFFF, 0xA9BCD8, 0xC9D6EA, 0.97f};
    case 2: return {0xF6F8FF, 0x7E95C4, 0xA7B7DA, 0.97f};
    case 3: return {0xFFF1EC, 0x8E86B3, 0xE4B4C4, 0.96f};
    case 4: return {0xFBFFFF, 0x7FAFBE, 0xB6D6DC, 0.97f};
    case 6: return {0x8E97C4, 0x1E2658, 0x4C5690, 0.95f};
    default: return {0x9C86C2, 0x28194E, 0x5E4688, 0.95f};
  }
}

// Horizontal distance on a band that wraps around every `w` pixels.
float WrapDx(float dx, float w) {
  dx = std::fmod(dx, w);
  if (dx > w / 2) dx -= w;
  if (dx < -w / 2) dx += w;
  return dx;
}

// Cloud density over the band: > 0 is cloud.
struct Puff {
  float x, y, r;
};
// A heaped cloud: billowy top made of puffs over a flat base.
struct Heap {
  float x0, x1, base, height;
  std::vector<Puff> puffs;
};

struct Density {
  int kind;  // 0 heaped cumulus, 1 long layered streaks
  uint32_t seed;
  std::vector<Heap> heaps;
  float W = 738;

  // How far inside the nearest heap (x, y) lies, in pixels; negative outside.
  float HeapDepth(float x, float y, float* under) const {
    float best = -30;
    *under = 0;
    for (const Heap& h : heaps) {
      const float mid = (h.x0 + h.x1) / 2;
      const float dx = WrapDx(x - mid, W) + mid;
      if (dx < h.x0 - 30 || dx > h.x1 + 30) continue;
      float top = 1e9f;
      for (const Puff& p : h.puffs) {
        const float q = dx - p.x;
        if (std::fabs(q) < p.r) top = std::min(top, p.y - std::sqrt(p.r * p.r - q * q));
      }
      if (top > 1e8f) continue;
      const float depth = std::min((y - top) * 0.8f, (h.base - y) * 1.1f);
      if (depth > best) {
        best = depth;
        *under = Smooth(h.base - h.height * 0.55f, h.base, y);
      }
    }
    return best;
  }

  float operator()(float x, float y, float* under = nullptr) const {
    float u = 0;
    if (kind == 0) {
      const float wx = x + 6 * Fbm(x, y, W, 9, 2, seed + 3, true);
      const float depth = HeapDepth(wx, y, &u);
      const float n = Fbm(x, y * 1.3f, W, 14, 4, seed, true, 0.6f);
      if (under) *under = u;
      return depth / 9.0f + 0.45f * n;
    }
    const float n = Fbm(x, y * 3.2f, W, 5, 5, seed, true, 0.55f);
    const float m = Fbm(x, y * 1.0f, W, 3, 2, seed + 7, true);
    // Bands of streaks at two heights, thicker where m is high.
    const float row1 = 1.0f - std::pow(std::fabs(y - 34.0f - 8 * m) / 16.0f, 2.0f);
    const float row2 = 1.0f - std::pow(std::fabs(y - 70.0f + 6 * m) / 13.0f, 2.0f);
    if (under) *under = Smooth(0.2f, 0.6f, -n);
    return std::max(row1 * 0.55f, row2 * 0.45f) + n * 0.9f + m * 0.35f - 0.32f;
  }
};

Density MakeDensity(int scheme, int variant) {
  Density d;
  d.kind = variant;
  d.seed = uint32_t(1000 + scheme * 17 + variant * 5);
  if (variant == 0) {
    Random rnd(d.seed);
    // Big heaps low in the band, small far ones higher up between them.
    for (int layer = 0; layer < 2; ++layer) {
      float x = rnd.Range(0, 80);
      while (x < 738 - 70) {
        Heap h;
        const float width = layer == 0 ? rnd.Range(100, 210) : rnd.Range(40, 80);
        h.x0 = x;
        h.x1 = x + width;
        h.base = layer == 0 ? rnd.Range(84, 94) : rnd.Range(38, 52);
        h.height = layer == 0 ? rnd.Range(40, 72) : rnd.Range(10, 18);
        const int n = int(width / (layer == 0 ? 15 : 10)) + 2;
        for (int i = 0; i < n; ++i) {
          const float u = (i + 0.5f) / n;
          const float hump = std::pow(std::sin(u * 3.14159f), 0.7f);
          const float r = (layer == 0 ? 10 + 16 * hump : 5 + 6 * hump) * rnd.Range(0.75f, 1.25f);
          h.puffs.push_back({x + u * width, h.base - h.height * hump * rnd.Range(0.6f, 1.0f) + r, r});
        }
        d.heaps.push_back(h);
        x += width + (layer == 0 ? rnd.Range(20, 90) : rnd.Range(120, 260));
      }
    }
  }
  return d;
}

// The band's colours at the current art scale, and how much cloud each
// pixel holds.
Art CloudArt(int scheme, int variant, std::vector<float>& alpha) {
  const int W = 738 * ArtScale(), H = 119 * ArtScale();
  const Density dens = MakeDensity(scheme, variant);
  const CloudLook look = Look(scheme);

  Art art(W, H);
  alpha.assign(size_t(W) * H, 0.0f);
  for (int py = 0; py < H; ++py) {
    const float y = Unit(py);
    // The band is drawn one row above the top and 119 rows stretched to
    // 120, so band row y sits over sky row y - 1 + y / 119.
    const float sky_row = y - 1 + y / 119.0f;
    const Rgb sky = SkyColour(scheme, std::max(0.0f, sky_row) / 479.0f);
    // Keep the lowest rows free so the band meets the gradient without a seam.
    const float fade = 1.0f - Smooth(86, 104, y);
    const float top_fade = Smooth(-6, 6, y);
    for (int px = 0; px < W; ++px) {
      const float x = Unit(px);
      float under = 0;
      float d = dens(x, y, &under);
      d = d * fade * top_fade - (1 - fade) * 0.3f;
      const float a = Smooth(0.0f, 0.22f, d) * look.opacity;
      // Light from the upper left: march towards it and collect density.
      float occ = 0;
      for (int s = 1; s <= 5; ++s) {
        const float sx = x - s * 2.0f, sy = y - s * 4.0f;
        occ += std::clamp(dens(sx, sy), 0.0f, 1.0f) * (sy > 0 ? 1.0f : 0.5f);
      }
      const float lit = std::exp(-occ * 0.9f);
      Rgb c = Mix(Hex(look.shade), Hex(look.lit), lit);
      c = Mix(c, Hex(look.under), under * 0.55f);
      // A soft glowing edge where the cloud thins out.
      const float rim = Smooth(0.0f, 0.08f, d) * (1 - Smooth(0.08f, 0.3f, d)) * lit;
      c = Mix(c, Hex(look.lit), rim * 0.5f);
      art.at(px, py) = Mix(sky, c, a);
      alpha[size_t(py) * W + px] = a;
    }
  }
  return art;
}

IndexedImage CloudBand(int scheme, int variant) {
  const int W = 738, H = 119;
  const StripPalette sp = MakeStripPalette(scheme);
  std::vector<float> alpha;
  const Art art = CloudArt(scheme, variant, alpha);

  // Palette: the strip colours the top of the sky uses, then cloud colours.
  int k_lo = 15, k_hi = 0;
  for (int y = 0; y < H; ++y) {
    const float s = RowPos(sp, y - 1 + y / 119.0f);
    for (int x = 0; x < 4; ++x) {
      const int k = StripIndex(sp, s, x, y);
      k_lo = std::min(k_lo, k);
      k_hi = std::max(k_hi, k);
    }
  }
  Output out;
  out.bpp = 4;
  out.dither = Dither::kOrdered;
  out.strength = 0.8f;
  for (int k = k_lo; k <= k_hi; ++k) out.forced.push_back(sp.colours[k]);
  Art clouds = art;
  for (size_t i = 0; i < alpha.size(); ++i) clouds.inside[i] = alpha[i] > 0.02f;
  IndexedImage img = Quantise(clouds, out);
  // Clear sky is dithered exactly as the strip itself is.
  for (int y = 0; y < H; ++y) {
    const float s = RowPos(sp, y - 1 + y / 119.0f);
    for (int x = 0; x < W; ++x)
      if (!clouds.in(x, y)) img.index[size_t(y) * W + x] = uint8_t(StripIndex(sp, s, x, y) - k_lo);
  }
  return img;
}

}  // namespace

Rgb SkyColour(int scheme, float t) {
  const std::vector<Stop>& s = Stops(scheme);
  t = Clamp01(t);
  if (scheme == 5 && t <= s[0].t) return SkyColour(3, t);
  size_t i = 0;
  while (i + 2 < s.size() && s[i + 1].t < t) ++i;
  const float f = Clamp01((t - s[i].t) / (s[i + 1].t - s[i].t));
  const float e = f * f * (3 - 2 * f) * 0.5f + f * 0.5f;  // soften the kinks at the stops
  const Rgb from = (scheme == 5 && i == 0) ? SkyColour(3, s[0].t) : Hex(s[i].c);
  return Mix(from, Hex(s[i + 1].c), e);
}

void MakeSkies(const std::string& dir) {
  if (ArtScale() > 1) {
    // Full colour: the gradient and the clouds as drawn, no palette.
    const int S = ArtScale();
    for (int scheme = 1; scheme <= 7; ++scheme) {
      Art strip(20 * S, 480 * S);
      for (int y = 0; y < strip.h; ++y) {
        const Rgb c = SkyColour(scheme, Clamp01(Unit(y) / 479.0f));
        for (int x = 0; x < strip.w; ++x) strip.at(x, y) = c;
      }
      WriteFine(dir, 100 + scheme, strip);
    }
    std::vector<float> alpha;
    for (int scheme : {1, 2, 3, 4, 6, 7}) {
      const int base = 109 + 2 * scheme;
      WriteFine(dir, base, CloudArt(scheme, 0, alpha));
      WriteFine(dir, base + 1, CloudArt(scheme, 1, alpha));
    }
    return;
  }
  for (int scheme = 1; scheme <= 7; ++scheme) WriteIndexed(dir, 100 + scheme, StripImage(scheme), 4);
  for (int scheme : {1, 2, 3, 4, 6, 7}) {
    const int base = 109 + 2 * scheme;
    WriteIndexed(dir, base, CloudBand(scheme, 0), 4);
    WriteIndexed(dir, base + 1, CloudBand(scheme, 1), 4);
  }
}

}  // namespace wh::art
