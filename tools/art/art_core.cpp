#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <stdexcept>

#include "art.h"
#include "gfx/dib.h"
#include "gfx/qoi_picture.h"

namespace wh::art {

Rgb Hex(uint32_t v) {
  return {float((v >> 16) & 0xFF), float((v >> 8) & 0xFF), float(v & 0xFF)};
}
Rgb Mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Scale(Rgb a, float f) { return {a.r * f, a.g * f, a.b * f}; }
float Clamp01(float x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }
float Smooth(float e0, float e1, float x) {
  const float t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// --- Scale -----------------------------------------------------------------

namespace {
int g_scale = 1;
}
int ArtScale() { return g_scale; }
void SetArtScale(int scale) { g_scale = scale; }
float Unit(int i, float offset) {
  // Pixel i of scale 1 covers [i + offset - 1/2, i + offset + 1/2).
  return (float(i) + 0.5f) / float(g_scale) - 0.5f + offset;
}

// --- Surface ---------------------------------------------------------------

Surface::Surface(int w, int h) : w_(w * g_scale), h_(h * g_scale) {
  s_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w_, h_);
  cr_ = cairo_create(s_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GOOD);
  cairo_scale(cr_, g_scale, g_scale);
}
Surface::~Surface() {
  cairo_destroy(cr_);
  cairo_surface_destroy(s_);
}
void Surface::Flush() const { cairo_surface_flush(s_); }
void Surface::MarkDirty() const { cairo_surface_mark_dirty(s_); }

Rgba Surface::Get(int x, int y) const {
  const unsigned char* d = cairo_image_surface_get_data(s_);
  const int stride = cairo_image_surface_get_stride(s_);
  const uint32_t p = *reinterpret_cast<const uint32_t*>(d + size_t(y) * stride + size_t(x) * 4);
  const float a = float(p >> 24) / 255.0f;
  if (a <= 0) return {0, 0, 0, 0};
  return {float((p >> 16) & 0xFF) / a, float((p >> 8) & 0xFF) / a, float(p & 0xFF) / a, a};
}

void Surface::Set(int x, int y, Rgba c) {
  unsigned char* d = cairo_image_surface_get_data(s_);
  const int stride = cairo_image_surface_get_stride(s_);
  auto ch = [&](float v) {
    return uint32_t(std::lround(std::clamp(v * c.a, 0.0f, 255.0f)));
  };
  const uint32_t a = uint32_t(std::lround(std::clamp(c.a, 0.0f, 1.0f) * 255.0f));
  *reinterpret_cast<uint32_t*>(d + size_t(y) * stride + size_t(x) * 4) =
      (a << 24) | (ch(c.r) << 16) | (ch(c.g) << 8) | ch(c.b);
}

void SetColour(cairo_t* cr, Rgb c, float a) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, a);
}
void FillWith(cairo_t* cr, Rgb c, float a) {
  SetColour(cr, c, a);
  cairo_fill(cr);
}
void SetVGradient(cairo_t* cr, double y0, Rgb c0, double y1, Rgb c1) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgb(p, 0, c0.r / 255, c0.g / 255, c0.b / 255);
  cairo_pattern_add_color_stop_rgb(p, 1, c1.r / 255, c1.g / 255, c1.b / 255);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

Art ArtFromSurface(const Surface& s, float threshold) {
  s.Flush();
  Art art(s.w(), s.h());
  for (int y = 0; y < s.h(); ++y)
    for (int x = 0; x < s.w(); ++x) {
      const Rgba p = s.Get(x, y);
      const bool in = p.a >= threshold;
      art.inside[size_t(y) * art.w + x] = in ? 1 : 0;
      art.at(x, y) = in ? Rgb{p.r, p.g, p.b} : Rgb{0, 0, 0};
    }
  return art;
}

Art StackVertically(const std::vector<Art>& frames) {
  Art out(frames.at(0).w, 0);
  for (const Art& f : frames) {
    out.c.insert(out.c.end(), f.c.begin(), f.c.end());
    out.inside.insert(out.inside.end(), f.inside.begin(), f.inside.end());
    out.h += f.h;
  }
  return out;
}

Art ArtFromImage(const Image& img) {
  Art art(img.width, img.height);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint32_t p = img.at(x, y);
      art.at(x, y) = {float((p >> 16) & 0xFF), float((p >> 8) & 0xFF), float(p & 0xFF)};
    }
  return art;
}

static uint32_t ToPixel(Rgb c) {
  auto q = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 255.0f))); };
  return (q(c.r) << 16) | (q(c.g) << 8) | q(c.b);
}

Image ImageFromArt(const Art& art) {
  Image img(art.w, art.h);
  for (size_t i = 0; i < art.c.size(); ++i) img.px[i] = art.inside[i] ? ToPixel(art.c[i]) : 0;
  return img;
}

// --- Noise -----------------------------------------------------------------

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  uint32_t h = 0x9E3779B9u ^ a;
  for (uint32_t v : {b, c, d}) {
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    h += v * 0x85EBCA6Bu + 0x27D4EB2Fu;
  }
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}
float Hash01(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return float(Hash(a, b, c, d) >> 8) / 16777216.0f;
}

static float Grad(int ix, int iy, uint32_t seed, float dx, float dy) {
  const float angle = Hash01(uint32_t(ix), uint32_t(iy), seed) * 6.2831853f;
  return std::cos(angle) * dx + std::sin(angle) * dy;
}

float Noise(float x, float y, uint32_t seed, int period) {
  const float fx = std::floor(x), fy = std::floor(y);
  int x0 = int(fx), y0 = int(fy);
  const float dx = x - fx, dy = y - fy;
  int x1 = x0 + 1;
  if (period > 0) {
    x0 = ((x0 % period) + period) % period;
    x1 = ((x1 % period) + period) % period;
  }
  const float u = dx * dx * dx * (dx * (dx * 6 - 15) + 10);
  const float v = dy * dy * dy * (dy * (dy * 6 - 15) + 10);
  const float n00 = Grad(x0, y0, seed, dx, dy), n10 = Grad(x1, y0, seed, dx - 1, dy);
  const float n01 = Grad(x0, y0 + 1, seed, dx, dy - 1), n11 = Grad(x1, y0 + 1, seed, dx - 1, dy - 1);
  const float a = n00 + (n10 - n00) * u, b = n01 + (n11 - n01) * u;
  return (a + (b - a) * v) * 1.4f;
}

float Fbm(float x, float y, float width, int cells, int octaves, uint32_t seed, bool wrap, float gain) {
  float sum = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    const float f = float(cells) / width;
    sum += amp * Noise(x * f, y * f, seed + uint32_t(o) * 1013u, wrap ? cells : 0);
    norm += amp;
    amp *= gain;
    cells *= 2;
  }
  return sum / norm;
}

uint64_t Random::Next() {
  uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
float Random::Uniform() { return float(Next() >> 40) / 16777216.0f; }
float Random::Range(float a, float b) { return a + (b - a) * Uniform(); }
int Random::Int(int a, int b) { return a + int(Next() % uint64_t(b - a + 1)); }

// --- Quantising ------------------------------------------------------------

namespace {

float Dist(const Rgb& a, const Rgb& b) {
  const float dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

int Nearest(const std::vector<Rgb>& pal, int first, const Rgb& c) {
  int best = first;
  float bd = 1e30f;
  for (int i = first; i < int(pal.size()); ++i) {
    const float d = Dist(pal[i], c);
    if (d < bd) {
      bd = d;
      best = i;
    }
  }
  return best;
}

float Channel(const Rgb& c, int k) { return k == 0 ? c.r : (k == 1 ? c.g : c.b); }

// Median cut: repeatedly split the box with the largest spread along its
// widest channel at the median.
std::vector<Rgb> MedianCut(std::vector<Rgb> samples, int n) {
  std::vector<Rgb> out;
  if (samples.empty() || n <= 0) return out;
  struct Box {
    size_t lo, hi;
  };
  std::vector<Box> boxes{{0, samples.size()}};
  auto spread = [&](const Box& b, int* channel) {
    float best = -1;
    for (int k = 0; k < 3; ++k) {
      float mn = 1e9f, mx = -1e9f;
      for (size_t i = b.lo; i < b.hi; ++i) {
        mn = std::min(mn, Channel(samples[i], k));
        mx = std::max(mx, Channel(samples[i], k));
      }
      const float w = (k == 0 ? 1.7f : (k == 1 ? 2.0f : 1.4f)) * (mx - mn);
      if (w > best) {
        best = w;
        *channel = k;
      }
    }
    return best * std::sqrt(float(b.hi - b.lo));
  };
  while (int(boxes.size()) < n) {
    int pick = -1, channel = 0;
    float best = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].hi - boxes[i].lo < 2) continue;
      int ch = 0;
      const float s = spread(boxes[i], &ch);
      if (s > best) {
        best = s;
        pick = int(i);
        channel = ch;
      }
    }
    if (pick < 0) break;
    Box b = boxes[pick];
    std::stable_sort(samples.begin() + b.lo, samples.begin() + b.hi,
                     [&](const Rgb& a, const Rgb& c) { return Channel(a, channel) < Channel(c, channel); });
    const size_t mid = b.lo + (b.hi - b.lo) / 2;
    boxes[pick] = {b.lo, mid};
    boxes.push_back({mid, b.hi});
  }
  for (const Box& b : boxes) {
    double r = 0, g = 0, bl = 0;
    for (size_t i = b.lo; i < b.hi; ++i) {
      r += samples[i].r;
      g += samples[i].g;
      bl += samples[i].b;
    }
    const double k = double(b.hi - b.lo);
    out.push_back({float(r / k), float(g / k), float(bl / k)});
  }
  return out;
}

const float kBayer8[64] = {0,  32, 8,  40, 2,  34, 10, 42, 48, 16, 56, 24, 50, 18, 58, 26,
                           12, 44, 4,  36, 14, 46, 6,  38, 60, 28, 52, 20, 62, 30, 54, 22,
                           3,  35, 11, 43, 1,  33, 9,  41, 51, 19, 59, 27, 49, 17, 57, 25,
                           15, 47, 7,  39, 13, 45, 5,  37, 63, 31, 55, 23, 61, 29, 53, 21};

}  // namespace

IndexedImage Quantise(const Art& art, const Output& out) {
  const int n = 1 << out.bpp;
  const bool masked = out.mask_id != 0;
  const int first = masked ? 1 : 0;  // inside pixels never use the outside entry
  std::vector<Rgb> pal;
  if (masked) pal.push_back(Hex(out.outside));
  for (const Rgb& f : out.forced) pal.push_back(f);
  const int fixed = int(pal.size());

  // Samples: object pixels not already served by a forced colour.
  std::vector<Rgb> samples;
  for (size_t i = 0; i < art.c.size(); ++i) {
    if (!art.inside[i]) continue;
    bool near_forced = false;
    for (const Rgb& f : out.forced) near_forced |= Dist(f, art.c[i]) < 9 * 9 * 3;
    if (!near_forced) samples.push_back(art.c[i]);
  }
  std::vector<Rgb> free = MedianCut(samples, n - fixed);
  pal.insert(pal.end(), free.begin(), free.end());

  // A few k-means rounds move the free entries to the centres of their pixels.
  for (int round = 0; round < 6 && !samples.empty(); ++round) {
    std::vector<double> sr(pal.size()), sg(pal.size()), sb(pal.size()), cnt(pal.size());
    for (size_t i = 0; i < samples.size(); i += 1 + samples.size() / 60000) {
      const int k = Nearest(pal, first, samples[i]);
      sr[k] += samples[i].r;
      sg[k] += samples[i].g;
      sb[k] += samples[i].b;
      cnt[k] += 1;
    }
    for (size_t k = size_t(fixed); k < pal.size(); ++k)
      if (cnt[k] > 0) pal[k] = {float(sr[k] / cnt[k]), float(sg[k] / cnt[k]), float(sb[k] / cnt[k])};
  }
  // Round the palette to what the file holds, so dithering sees true colours.
  for (Rgb& c : pal) {
    const uint32_t p = ToPixel(c);
    c = Hex(p);
  }

  IndexedImage img;
  img.width = art.w;
  img.height = art.h;
  img.index.assign(size_t(art.w) * art.h, 0);
  for (const Rgb& c : pal) img.palette.push_back(ToPixel(c));
  while (int(img.palette.size()) < n) img.palette.push_back(img.palette.back());

  if (out.dither == Dither::kFloyd) {
    std::vector<Rgb> err(size_t(art.w) * (art.h + 1));
    for (int y = 0; y < art.h; ++y) {
      const bool ltr = (y % 2) == 0;
      for (int k = 0; k < art.w; ++k) {
        const int x = ltr ? k : art.w - 1 - k;
        const size_t i = size_t(y) * art.w + x;
        if (!art.inside[i]) continue;
        Rgb want = art.c[i];
        const Rgb e = err[i];
        want = {want.r + e.r, want.g + e.g, want.b + e.b};
        const int best = Nearest(pal, first, want);
        img.index[i] = uint8_t(best);
        auto clampe = [](float v) { return std::clamp(v, -64.0f, 64.0f); };
        const Rgb d = {clampe((want.r - pal[best].r) * out.strength), clampe((want.g - pal[best].g) * out.strength),
                       clampe((want.b - pal[best].b) * out.strength)};
        auto spread = [&](int dx, int dy, float f) {
          const int nx = x + (ltr ? dx : -dx), ny = y + dy;
          if (nx < 0 || nx >= art.w || ny >= art.h) return;
          const size_t j = size_t(ny) * art.w + nx;
          if (!art.inside[j]) return;
          err[j].r += d.r * f;
          err[j].g += d.g * f;
          err[j].b += d.b * f;
        };
        spread(1, 0, 7 / 16.0f);
        spread(-1, 1, 3 / 16.0f);
        spread(0, 1, 5 / 16.0f);
        spread(1, 1, 1 / 16.0f);
      }
    }
  } else {
    const float amp = out.dither == Dither::kOrdered ? 28.0f * out.strength : 0.0f;
    for (int y = 0; y < art.h; ++y)
      for (int x = 0; x < art.w; ++x) {
        const size_t i = size_t(y) * art.w + x;
        if (!art.inside[i]) continue;
        const float t = (kBayer8[(y & 7) * 8 + (x & 7)] + 0.5f) / 64.0f - 0.5f;
        const Rgb c = art.c[i];
        img.index[i] = uint8_t(Nearest(pal, first, {c.r + t * amp, c.g + t * amp, c.b + t * amp}));
      }
  }
  return img;
}

void WriteIndexed(const std::string& dir, int id, const IndexedImage& img, int bpp) {
  std::vector<uint8_t> bytes = EncodeBmp(img, bpp, BmpCompression::kNone);
  if (bpp == 4 || bpp == 8) {
    std::vector<uint8_t> rle = EncodeBmp(img, bpp, BmpCompression::kRle);
    if (rle.size() < bytes.size()) bytes.swap(rle);
  }
  SaveBmpFile(dir + "/" + std::to_string(id) + ".bmp", bytes);
}

namespace {

void SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
    throw std::runtime_error("cannot write " + path);
}

// Straight colour with the object's alpha; the outside keeps a colour too
// (alpha 0), which is what a resampled pixel mostly outside takes.
void WriteQoi(const std::string& dir, int id, const Art& art, bool masked,
              uint32_t (*colour)(const Art&, size_t)) {
  Image img(art.w, art.h);
  for (size_t i = 0; i < art.c.size(); ++i) {
    const uint32_t a = !masked || art.inside[i] ? 0xFFu : 0u;
    img.px[i] = (a << 24) | (colour(art, i) & 0xFFFFFFu);
  }
  SaveFile(dir + "/" + std::to_string(id) + ".qoi", EncodeQoi(img));
}

}  // namespace

void WriteFine(const std::string& dir, int id, const Art& art) {
  WriteQoi(dir, id, art, false, [](const Art& a, size_t i) { return ToPixel(a.c[i]); });
}

void WritePicture(const std::string& dir, const Art& art, const Output& out) {
  if (g_scale > 1) {
    static uint32_t outside;
    outside = out.outside;
    const bool masked = out.mask_id != 0;
    WriteQoi(dir, out.id, art, masked, [](const Art& a, size_t i) {
      return a.inside[i] ? ToPixel(a.c[i]) : outside;
    });
    if (masked)
      WriteQoi(dir, out.mask_id, art, true, [](const Art& a, size_t i) {
        return a.inside[i] ? 0u : 0xFFFFFFu;
      });
    return;
  }
  IndexedImage img = Quantise(art, out);
  if (out.mask_id != 0)
    for (size_t i = 0; i < img.index.size(); ++i)
      if (!art.inside[i]) img.index[i] = 0;
  WriteIndexed(dir, out.id, img, out.bpp);
  if (out.mask_id != 0) {
    IndexedImage mask;
    mask.width = art.w;
    mask.height = art.h;
    mask.palette = {0x000000u, 0xFFFFFFu};
    mask.index.resize(art.inside.size());
    for (size_t i = 0; i < art.inside.size(); ++i) mask.index[i] = art.inside[i] ? 0 : 1;
    WriteIndexed(dir, out.mask_id, mask, 1);
  }
}

// --- Text ------------------------------------------------------------------

static void SetupFont(cairo_t* cr, double size, bool bold, const char* face) {
  cairo_select_font_face(cr, face, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, o);
  cairo_font_options_destroy(o);
}

double TextWidth(cairo_t* cr, const std::string& text, double size, bool bold, const char* face) {
  SetupFont(cr, size, bold, face);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return e.x_advance;
}

double DrawText(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
                const char* face) {
  SetupFont(cr, size, bold, face);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_move_to(cr, x, y);
  cairo_text_path(cr, text.c_str());
  cairo_fill(cr);
  return e.x_advance;
}

}  // namespace wh::art
