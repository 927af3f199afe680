#include "gfx/resample.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

constexpr uint32_t kColour = 0x00FFFFFFu, kOutside = 0x00FFFFFFu;

bool Inside(uint32_t p) { return (p >> 31) != 0; }

// One axis in whole numbers. With g = gcd(n_in, n_out), a source pixel is
// q = n_out / g parts long and an output pixel p = n_in / g parts, so every
// overlap is a whole number of parts and an output pixel's weights add up to
// p. Every output pixel gets the same number of taps (unused ones weigh 0).
struct Axis {
  int taps = 0;
  int total = 0;  // p
  int period = 0; // q: the weights repeat every q output pixels
  std::vector<int> index;       // taps per output pixel
  std::vector<uint16_t> weight; // the same
};

Axis AxisTaps(int n_in, int n_out) {
  Axis a;
  const int64_t g = std::gcd(n_in, n_out), p = n_in / g, q = n_out / g;
  a.total = static_cast<int>(p);
  a.period = static_cast<int>(q);
  a.taps = static_cast<int>((p + q - 1) / q + 1);
  a.index.resize(static_cast<size_t>(n_out) * a.taps);
  a.weight.resize(a.index.size());
  for (int64_t o = 0; o < n_out; ++o) {
    const int64_t from = o * p, to = from + p;
    const int64_t first = from / q;
    for (int t = 0; t < a.taps; ++t) {
      const int64_t i = first + t;
      const int64_t w = i < n_in ? std::max<int64_t>(0, std::min(to, (i + 1) * q) - std::max(from, i * q)) : 0;
      a.index[static_cast<size_t>(o * a.taps + t)] = static_cast<int>(std::min<int64_t>(i, n_in - 1));
      a.weight[static_cast<size_t>(o * a.taps + t)] = static_cast<uint16_t>(w);
    }
  }
  return a;
}

// A pixel from the sums over its area (total weight t): the object's colour
// sums and weight, and the colour sums of the whole area. It belongs to the
// object when at least half of the area does; rounding is to nearest, halves
// up.
struct Finished {
  uint32_t colour;
  bool inside;
};
Finished Finish(const uint64_t in[3], uint64_t in_weight, const uint64_t all[3], uint64_t t) {
  const uint64_t out_weight = t - in_weight;
  const bool inside = in_weight >= out_weight;
  const uint64_t d = inside ? in_weight : out_weight;
  uint32_t c = 0;
  for (int i = 0; i < 3; ++i) {
    const uint64_t s = inside ? in[i] : all[i] - in[i];
    c |= static_cast<uint32_t>((2 * s + d) / (2 * d)) << (8 * i);
  }
  return {c, inside};
}

void Store(Image& out, Image* mask, size_t i, Finished f) {
  out.px[i] = f.colour;
  if (mask) mask->px[i] = f.inside ? 0 : kOutside;
}

void ResamplePlain(const Image& fine, const Axis& ax, const Axis& ay, Image& out, Image* mask) {
  const uint64_t t = uint64_t(ax.total) * uint64_t(ay.total);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      uint64_t in[3] = {}, all[3] = {}, in_weight = 0;
      for (int j = 0; j < ay.taps; ++j) {
        const size_t jy = static_cast<size_t>(y) * ay.taps + j;
        const uint32_t* row = &fine.px[static_cast<size_t>(ay.index[jy]) * fine.width];
        for (int i = 0; i < ax.taps; ++i) {
          const size_t ix = static_cast<size_t>(x) * ax.taps + i;
          const uint64_t w = uint64_t{ay.weight[jy]} * ax.weight[ix];
          const uint32_t p = row[ax.index[ix]];
          const bool object = Inside(p);
          in_weight += object ? w : 0;
          for (int c = 0; c < 3; ++c) {
            const uint64_t v = w * ((p >> (8 * c)) & 0xFF);
            all[c] += v;
            in[c] += object ? v : 0;
          }
        }
      }
      Store(out, mask, static_cast<size_t>(y) * out.width + x, Finish(in, in_weight, all, t));
    }
}

#if defined(__SSE2__)
// The same sums in 16-bit lanes, a pixel in one vector: B, G, R and weight
// of the object's part, then B, G, R and weight of the whole area. With at
// most 16 parts per pixel (4 per axis) no lane passes 16 * 255.
constexpr int kMaxFastParts = 16;

struct Lanes {
  __m128i v;
};

// A source pixel's lanes for pixels 0 and 1 (lo) and 2 and 3 (hi) of four.
struct Spread4 {
  __m128i p[4];
};
inline Spread4 Spread(__m128i px) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i all = _mm_or_si128(_mm_and_si128(px, _mm_set1_epi32(kColour)), _mm_set1_epi32(0x01000000));
  const __m128i in = _mm_and_si128(all, _mm_srai_epi32(px, 31));
  const __m128i lo = _mm_unpacklo_epi32(in, all), hi = _mm_unpackhi_epi32(in, all);
  return {{_mm_unpacklo_epi8(lo, zero), _mm_unpackhi_epi8(lo, zero), _mm_unpacklo_epi8(hi, zero),
           _mm_unpackhi_epi8(hi, zero)}};
}

void ResampleSse2(const Image& fine, const Axis& ax, const Axis& ay, Image& out, Image* mask) {
  const int t = ax.total * ay.total;
  int shift = 0;
  while ((1 << shift) < t) ++shift;
  const int fw = fine.width, w = out.width;
  // Vertical sums of the rows an output row covers, one vector per column.
  std::vector<Lanes> line(static_cast<size_t>(fw) + 4);
  // Horizontal weights of one period of output pixels.
  std::vector<Lanes> hweight(static_cast<size_t>(ax.period) * ax.taps);
  for (size_t i = 0; i < hweight.size(); ++i) hweight[i].v = _mm_set1_epi16(static_cast<short>(ax.weight[i]));
  const __m128i parts = _mm_set1_epi16(static_cast<short>(t)), half = _mm_set1_epi16(static_cast<short>(t / 2));
  const __m128i colour = _mm_set1_epi32(kColour);

  // Two pixels' sums (a, b) to their colours in 16-bit lanes, and which
  // lanes lie outside the object.
  auto finish2 = [&](__m128i a, __m128i b, __m128i& outside) {
    const __m128i in = _mm_unpacklo_epi64(a, b), rest = _mm_sub_epi16(_mm_unpackhi_epi64(a, b), in);
    const __m128i in_w = _mm_shufflehi_epi16(_mm_shufflelo_epi16(in, 0xFF), 0xFF);
    const __m128i rest_w = _mm_shufflehi_epi16(_mm_shufflelo_epi16(rest, 0xFF), 0xFF);
    outside = _mm_cmpgt_epi16(rest_w, in_w);
    const __m128i sums = _mm_or_si128(_mm_and_si128(outside, rest), _mm_andnot_si128(outside, in));
    const __m128i d = _mm_or_si128(_mm_and_si128(outside, rest_w), _mm_andnot_si128(outside, in_w));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(d, parts)) == 0xFFFF)
      return _mm_srli_epi16(_mm_add_epi16(sums, half), shift);
    // Along the object's edge the part chosen is smaller than the pixel.
    alignas(16) uint16_t s[8], dd[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(s), sums);
    _mm_store_si128(reinterpret_cast<__m128i*>(dd), d);
    for (int i = 0; i < 8; ++i) s[i] = dd[i] ? static_cast<uint16_t>((2 * s[i] + dd[i]) / (2 * dd[i])) : 0;
    return _mm_load_si128(reinterpret_cast<const __m128i*>(s));
  };

  for (int y = 0; y < out.height; ++y) {
    std::fill(line.begin(), line.end(), Lanes{_mm_setzero_si128()});
    for (int j = 0; j < ay.taps; ++j) {
      const size_t jy = static_cast<size_t>(y) * ay.taps + j;
      if (ay.weight[jy] == 0) continue;
      const __m128i v = _mm_set1_epi16(static_cast<short>(ay.weight[jy]));
      const uint32_t* row = &fine.px[static_cast<size_t>(ay.index[jy]) * fw];
      Lanes* l = line.data();
      int x = 0;
      for (; x + 4 <= fw; x += 4, l += 4) {
        const Spread4 s = Spread(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
        for (int i = 0; i < 4; ++i) l[i].v = _mm_add_epi16(l[i].v, _mm_mullo_epi16(s.p[i], v));
      }
      for (; x < fw; ++x, ++l) {
        const Spread4 s = Spread(_mm_cvtsi32_si128(static_cast<int>(row[x])));
        l->v = _mm_add_epi16(l->v, _mm_mullo_epi16(s.p[0], v));
      }
    }
    uint32_t* d = &out.px[static_cast<size_t>(y) * w];
    uint32_t* m = mask ? &mask->px[static_cast<size_t>(y) * w] : nullptr;
    int phase = 0;
    auto sum = [&](int o) {
      const int* idx = &ax.index[static_cast<size_t>(o) * ax.taps];
      const Lanes* hw = &hweight[static_cast<size_t>(phase) * ax.taps];
      __m128i acc = _mm_mullo_epi16(line[static_cast<size_t>(idx[0])].v, hw[0].v);
      for (int i = 1; i < ax.taps; ++i)
        acc = _mm_add_epi16(acc, _mm_mullo_epi16(line[static_cast<size_t>(idx[i])].v, hw[i].v));
      if (++phase == ax.period) phase = 0;
      return acc;
    };
    int x = 0;
    for (; x + 4 <= w; x += 4) {
      const __m128i a = sum(x), b = sum(x + 1), c = sum(x + 2), e = sum(x + 3);
      __m128i out_ab, out_ce;
      const __m128i ab = finish2(a, b, out_ab), ce = finish2(c, e, out_ce);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_and_si128(_mm_packus_epi16(ab, ce), colour));
      if (m)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(m + x),
                         _mm_and_si128(_mm_packs_epi16(out_ab, out_ce), colour));
    }
    for (; x < w; ++x) {
      __m128i outside;
      const __m128i r = finish2(sum(x), _mm_setzero_si128(), outside);
      const __m128i px = _mm_packus_epi16(r, r);
      d[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(px)) & kColour;
      if (m) m[x] = _mm_cvtsi128_si32(outside) ? kOutside : 0;
    }
  }
}
#endif

// Every pixel as it is: the large version is already at the scale.
void Copy(const Image& fine, Image& out, Image* mask) {
  for (size_t i = 0; i < fine.px.size(); ++i) {
    out.px[i] = fine.px[i] & kColour;
    if (mask) mask->px[i] = Inside(fine.px[i]) ? 0 : kOutside;
  }
}

Image Prepared(int w, int h, int k, Image* mask) {
  Image out(w, h);
  out.scale = k;
  if (mask) *mask = out;
  return out;
}

}  // namespace

Image ResampleFine(const Image& fine, int unit_w, int unit_h, int k, Image* mask) {
  const int w = unit_w * k, h = unit_h * k;
  Image out = Prepared(w, h, k, mask);
  if (w == 0 || h == 0 || fine.width == 0 || fine.height == 0) return out;
  if (fine.width == w && fine.height == h) {
    Copy(fine, out, mask);
    return out;
  }
  const Axis ax = AxisTaps(fine.width, w), ay = AxisTaps(fine.height, h);
#if defined(__SSE2__)
  if (ax.total * ay.total <= kMaxFastParts && (ax.total & (ax.total - 1)) == 0 &&
      (ay.total & (ay.total - 1)) == 0) {
    ResampleSse2(fine, ax, ay, out, mask);
    return out;
  }
#endif
  ResamplePlain(fine, ax, ay, out, mask);
  return out;
}

Image ResampleFinePlain(const Image& fine, int unit_w, int unit_h, int k, Image* mask) {
  const int w = unit_w * k, h = unit_h * k;
  Image out = Prepared(w, h, k, mask);
  if (w == 0 || h == 0 || fine.width == 0 || fine.height == 0) return out;
  ResamplePlain(fine, AxisTaps(fine.width, w), AxisTaps(fine.height, h), out, mask);
  return out;
}

}  // namespace wh
