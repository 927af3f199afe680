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

// Per pixel: weight, alpha, alpha-weighted colour, and the colour weighted
// by what is outside.
constexpr int kLanes = 8;

void AddPixel(float* acc, uint32_t p, float w) {
  const float a = static_cast<float>(p >> 24) / 255.0f;
  const float r = static_cast<float>((p >> 16) & 0xFF), g = static_cast<float>((p >> 8) & 0xFF),
              b = static_cast<float>(p & 0xFF);
  acc[0] += w;
  acc[1] += w * a;
  acc[2] += w * a * r;
  acc[3] += w * a * g;
  acc[4] += w * a * b;
  acc[5] += w * (1 - a) * r;
  acc[6] += w * (1 - a) * g;
  acc[7] += w * (1 - a) * b;
}

uint32_t Channel(float v) {
  return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

Image ResampleFine(const Image& fine, int unit_w, int unit_h, int k) {
  const int w = unit_w * k, h = unit_h * k;
  Image out(w, h);
  out.scale = k;
  if (w == 0 || h == 0 || fine.width == 0 || fine.height == 0) return out;
  const auto cols = AreaTaps(fine.width, w), rows = AreaTaps(fine.height, h);
  std::vector<float> line(static_cast<size_t>(fine.width) * kLanes);
  for (int y = 0; y < h; ++y) {
    // The rows this pixel row covers, summed into one line of lanes.
    std::fill(line.begin(), line.end(), 0.0f);
    for (const Tap& t : rows[static_cast<size_t>(y)]) {
      const uint32_t* s = &fine.px[static_cast<size_t>(t.index) * fine.width];
      for (int x = 0; x < fine.width; ++x) {
        // The weight of the row is applied per pixel with its own lanes.
        AddPixel(&line[static_cast<size_t>(x) * kLanes], s[x], t.weight);
      }
    }
    uint32_t* d = &out.px[static_cast<size_t>(y) * w];
    for (int x = 0; x < w; ++x) {
      float acc[kLanes] = {};
      for (const Tap& t : cols[static_cast<size_t>(x)]) {
        const float* l = &line[static_cast<size_t>(t.index) * kLanes];
        for (int c = 0; c < kLanes; ++c) acc[c] += l[c] * t.weight;
      }
      const float inside = acc[1], outside = acc[0] - acc[1];
      uint32_t r, g, b;
      if (inside >= outside && inside > 0) {
        r = Channel(acc[2] / inside);
        g = Channel(acc[3] / inside);
        b = Channel(acc[4] / inside);
      } else {
        const float o = outside > 0 ? outside : 1;
        r = Channel(acc[5] / o);
        g = Channel(acc[6] / o);
        b = Channel(acc[7] / o);
      }
      d[x] = (r << 16) | (g << 8) | b;
    }
  }
  return out;
}

}  // namespace wh
