#include "gfx/resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace wh {

Image GrowPixels(const Image& img, int k) {
  Image out(img.width * k, img.height * k);
  out.scale = k;
  for (int y = 0; y < out.height; ++y) {
    const uint32_t* s = &img.px[static_cast<size_t>(y / k) * img.width];
    uint32_t* d = &out.px[static_cast<size_t>(y) * out.width];
    for (int x = 0; x < out.width; ++x) d[x] = s[x / k];
  }
  return out;
}

namespace {

struct Tap {
  int index;
  float weight;
};

// For each of n_out pixels along an axis, the source pixels its interval
// [o * n_in / n_out, (o + 1) * n_in / n_out) overlaps and by how much.
std::vector<std::vector<Tap>> AreaTaps(int n_in, int n_out) {
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(n_out));
  const double step = static_cast<double>(n_in) / n_out;
  for (int o = 0; o < n_out; ++o) {
    const double a = o * step, b = (o + 1) * step;
    for (int i = static_cast<int>(a); i < n_in && i < b; ++i) {
      const double w = std::min<double>(b, i + 1) - std::max<double>(a, i);
      if (w > 1e-9) taps[static_cast<size_t>(o)].push_back({i, static_cast<float>(w)});
    }
  }
  return taps;
}

// A picture drawn with its object's alpha keeps eight sums per pixel:
// weight, alpha, alpha-weighted colour, and the colour weighted by what is
// outside. An opaque one needs only the weight and the colour.
struct Masked {
  static constexpr int kLanes = 8;
  static void Add(float* acc, uint32_t p, float w) {
    const float a = static_cast<float>(p >> 24) * (1.0f / 255.0f);
    const float r = static_cast<float>((p >> 16) & 0xFF), g = static_cast<float>((p >> 8) & 0xFF),
                b = static_cast<float>(p & 0xFF);
    const float wa = w * a, wo = w - wa;
    acc[0] += w;
    acc[1] += wa;
    acc[2] += wa * r;
    acc[3] += wa * g;
    acc[4] += wa * b;
    acc[5] += wo * r;
    acc[6] += wo * g;
    acc[7] += wo * b;
  }
  static uint32_t Finish(const float* acc);
};
struct Opaque {
  static constexpr int kLanes = 4;
  static void Add(float* acc, uint32_t p, float w) {
    acc[0] += w;
    acc[1] += w * static_cast<float>((p >> 16) & 0xFF);
    acc[2] += w * static_cast<float>((p >> 8) & 0xFF);
    acc[3] += w * static_cast<float>(p & 0xFF);
  }
  static uint32_t Finish(const float* acc);
};

uint32_t Channel(float v) {
  // Sums of non-negative values: rounding is adding a half and truncating.
  return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
}
uint32_t Rgb(float r, float g, float b, float weight) {
  const float inv = 1.0f / weight;
  return (Channel(r * inv) << 16) | (Channel(g * inv) << 8) | Channel(b * inv);
}

uint32_t Masked::Finish(const float* acc) {
  const float inside = acc[1], outside = acc[0] - acc[1];
  if (inside >= outside && inside > 0) return Rgb(acc[2], acc[3], acc[4], inside);
  return Rgb(acc[5], acc[6], acc[7], outside > 0 ? outside : 1.0f);
}
uint32_t Opaque::Finish(const float* acc) {
  return Rgb(acc[1], acc[2], acc[3], acc[0] > 0 ? acc[0] : 1.0f);
}

template <typename Kind>
void Resample(const Image& fine, Image& out) {
  constexpr int kLanes = Kind::kLanes;
  const int w = out.width, h = out.height;
  const auto cols = AreaTaps(fine.width, w), rows = AreaTaps(fine.height, h);
  std::vector<float> line(static_cast<size_t>(fine.width) * kLanes);
  for (int y = 0; y < h; ++y) {
    // The rows this pixel row covers, summed into one line of lanes.
    std::fill(line.begin(), line.end(), 0.0f);
    for (const Tap& t : rows[static_cast<size_t>(y)]) {
      const uint32_t* s = &fine.px[static_cast<size_t>(t.index) * fine.width];
      float* l = line.data();
      for (int x = 0; x < fine.width; ++x, l += kLanes) Kind::Add(l, s[x], t.weight);
    }
    uint32_t* d = &out.px[static_cast<size_t>(y) * w];
    for (int x = 0; x < w; ++x) {
      float acc[kLanes] = {};
      for (const Tap& t : cols[static_cast<size_t>(x)]) {
        const float* l = &line[static_cast<size_t>(t.index) * kLanes];
        for (int c = 0; c < kLanes; ++c) acc[c] += l[c] * t.weight;
      }
      d[x] = Kind::Finish(acc);
    }
  }
}

}  // namespace

Image ResampleFine(const Image& fine, int unit_w, int unit_h, int k) {
  const int w = unit_w * k, h = unit_h * k;
  Image out(w, h);
  out.scale = k;
  if (w == 0 || h == 0 || fine.width == 0 || fine.height == 0) return out;
  const bool opaque = std::all_of(fine.px.begin(), fine.px.end(),
                                  [](uint32_t p) { return (p >> 24) == 0xFF; });
  if (opaque)
    Resample<Opaque>(fine, out);
  else
    Resample<Masked>(fine, out);
  return out;
}

}  // namespace wh
