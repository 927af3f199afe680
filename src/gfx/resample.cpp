#include "gfx/resample.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "gfx/qoi_picture.h"
#include "gfx/wide_vectors.h"

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

// The large picture's rows: those of a decoded image, or decoded from its
// stored bytes as they are needed and kept only while they are (a picture
// four times as large is a few megabytes that would be made and dropped).
class Rows {
 public:
  explicit Rows(const Image& img) : img_(&img), width_(img.width), height_(img.height) {}
  explicit Rows(QoiReader& reader) : reader_(&reader), width_(reader.width()), height_(reader.height()) {
    Keep(1);
  }
  int width() const { return width_; }
  int height() const { return height_; }
  // From here on a row asked for is never n or more rows above the
  // furthest down one asked for so far.
  void Keep(int n) {
    keep_ = n;
    if (reader_) ring_.resize(static_cast<size_t>(n) * width_);
  }
  const uint32_t* Get(int i) {
    if (img_) return img_->px.data() + static_cast<size_t>(i) * width_;
    for (; read_ <= i; ++read_) reader_->ReadRow(&ring_[static_cast<size_t>(read_ % keep_) * width_]);
    return &ring_[static_cast<size_t>(i % keep_) * width_];
  }

 private:
  const Image* img_ = nullptr;
  QoiReader* reader_ = nullptr;
  int width_, height_, keep_ = 1, read_ = 0;
  std::vector<uint32_t> ring_;
};

// One axis in whole numbers. With g = gcd(n_in, n_out), a source pixel is
// q = n_out / g parts long and an output pixel p = n_in / g parts, so every
// overlap is a whole number of parts and an output pixel's weights add up to
// p. Output pixel o covers source pixels first[o] + t for t < taps (those
// past the end, and some at it, weigh 0).
struct Axis {
  int taps = 0;
  int total = 0;   // p
  int period = 0;  // q: the weights repeat every q output pixels
  std::vector<int> first;
  std::vector<uint16_t> weight;  // taps per output pixel
};

Axis AxisTaps(int n_in, int n_out) {
  Axis a;
  const int64_t g = std::gcd(n_in, n_out), p = n_in / g, q = n_out / g;
  a.total = static_cast<int>(p);
  a.period = static_cast<int>(q);
  for (int64_t o = 0; o < n_out; ++o)
    a.taps = std::max(a.taps, static_cast<int>((o * p + p - 1) / q - o * p / q + 1));
  a.first.resize(static_cast<size_t>(n_out));
  a.weight.resize(static_cast<size_t>(n_out) * a.taps);
  for (int64_t o = 0; o < n_out; ++o) {
    const int64_t from = o * p, to = from + p, first = from / q;
    a.first[static_cast<size_t>(o)] = static_cast<int>(first);
    for (int t = 0; t < a.taps; ++t) {
      const int64_t i = first + t;
      const int64_t w = i < n_in ? std::max<int64_t>(0, std::min(to, (i + 1) * q) - std::max(from, i * q)) : 0;
      a.weight[static_cast<size_t>(o * a.taps + t)] = static_cast<uint16_t>(w);
    }
  }
  return a;
}

// Output pixel (x, y) from the source pixels it covers. It belongs to the
// object when at least half of its area does, and takes the average colour
// of that part (the object's or the rest); rounding is to nearest, halves
// up.
struct Finished {
  uint32_t colour;
  bool inside;
};
Finished PlainPixel(Rows& fine, const Axis& ax, const Axis& ay, int x, int y) {
  uint64_t in[3] = {}, all[3] = {}, in_weight = 0;
  for (int j = 0; j < ay.taps; ++j) {
    const uint64_t wy = ay.weight[static_cast<size_t>(y) * ay.taps + j];
    if (wy == 0) continue;
    const uint32_t* row = fine.Get(ay.first[static_cast<size_t>(y)] + j);
    for (int i = 0; i < ax.taps; ++i) {
      const uint64_t w = wy * ax.weight[static_cast<size_t>(x) * ax.taps + i];
      if (w == 0) continue;
      const uint32_t p = row[ax.first[static_cast<size_t>(x)] + i];
      const bool object = Inside(p);
      in_weight += object ? w : 0;
      for (int c = 0; c < 3; ++c) {
        const uint64_t v = w * ((p >> (8 * c)) & 0xFF);
        all[c] += v;
        in[c] += object ? v : 0;
      }
    }
  }
  const uint64_t t = uint64_t(ax.total) * uint64_t(ay.total), out_weight = t - in_weight;
  const bool inside = in_weight >= out_weight;
  const uint64_t d = inside ? in_weight : out_weight;
  uint32_t c = 0;
  for (int i = 0; i < 3; ++i) {
    const uint64_t sum = inside ? in[i] : all[i] - in[i];
    c |= static_cast<uint32_t>((2 * sum + d) / (2 * d)) << (8 * i);
  }
  return {c, inside};
}

void StorePlain(Rows& fine, const Axis& ax, const Axis& ay, int x, int y, Image& out,
                Image* mask) {
  const Finished f = PlainPixel(fine, ax, ay, x, y);
  const size_t i = static_cast<size_t>(y) * out.width + x;
  out.px[i] = f.colour;
  if (mask) mask->px[i] = f.inside ? 0 : kOutside;
}

void ResamplePlain(Rows& fine, const Axis& ax, const Axis& ay, Image& out, Image* mask) {
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) StorePlain(fine, ax, ay, x, y, out, mask);
}

#if defined(__SSE2__)
// Most output pixels lie wholly inside the object or wholly outside it; for
// them the rule is the plain average of the area. Those are summed in 16-bit
// lanes, B, G, R and how much of the area is the object's, two pixels to a
// vector; the few along the object's edge are made the plain way. With at
// most 16 parts per pixel (4 per axis) no lane passes 16 * 255.
constexpr int kMaxFastParts = 16;

// What one output row needs from the vertical sums on.
struct RowInput {
  Rows& fine;
  const Axis &ax, &ay;
  Image& out;
  Image* mask;
  const uint16_t* line;             // vertical sums, four lanes per column
  const uint16_t* hweight;          // weights of pairs of taps, per period
  const std::vector<int>& line_at;  // per output pixel: its first column's lanes
  const std::vector<int>& weight_at;
  int pairs, shift, parts;
};

// Output pixels from the vertical sums: for each, its taps in pairs of
// neighbouring columns (kPairs of them, 0 when only known at run time).
template <int kPairs>
void RowOut(const RowInput& in, int y, int from) {
  const __m128i zero = _mm_setzero_si128(), colour = _mm_set1_epi32(kColour);
  const __m128i parts = _mm_set1_epi16(static_cast<short>(in.parts));
  const __m128i half = _mm_set1_epi16(static_cast<short>(in.parts / 2));
  const int pairs = kPairs ? kPairs : in.pairs, w = in.out.width;
  // One half of the sums for each tap of a pair.
  auto halves = [&](int o) {
    const uint16_t* s = in.line + in.line_at[static_cast<size_t>(o)];
    const uint16_t* hw = in.hweight + in.weight_at[static_cast<size_t>(o)];
    __m128i acc = _mm_mullo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(hw)));
    for (int i = 1; i < pairs; ++i)
      acc = _mm_add_epi16(acc, _mm_mullo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8 * i)),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(hw + 8 * i))));
    return acc;
  };
  auto two = [&](int o) {
    const __m128i a = halves(o), b = halves(o + 1);
    return _mm_add_epi16(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b));
  };
  uint32_t* d = &in.out.px[static_cast<size_t>(y) * w];
  uint32_t* m = in.mask ? &in.mask->px[static_cast<size_t>(y) * w] : nullptr;
  int x = from;
  for (; x + 4 <= w; x += 4) {
    const __m128i s01 = two(x), s23 = two(x + 2);
    // Whole pixels: the object's share is none or all of the area.
    const __m128i whole = _mm_and_si128(
        _mm_or_si128(_mm_cmpeq_epi16(s01, zero), _mm_cmpeq_epi16(s01, parts)),
        _mm_or_si128(_mm_cmpeq_epi16(s23, zero), _mm_cmpeq_epi16(s23, parts)));
    // The top byte becomes 1 inside the object, 0 outside.
    const __m128i px = _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(s01, half), in.shift),
                                        _mm_srli_epi16(_mm_add_epi16(s23, half), in.shift));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_and_si128(px, colour));
    if (m)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(m + x),
                       _mm_and_si128(_mm_cmpeq_epi32(_mm_andnot_si128(colour, px), zero), colour));
    if ((_mm_movemask_epi8(whole) & 0xC0C0) != 0xC0C0) {
      // Along the object's edge: only the pixels that are partly the object's.
      const int share[4] = {_mm_extract_epi16(s01, 3), _mm_extract_epi16(s01, 7), _mm_extract_epi16(s23, 3),
                            _mm_extract_epi16(s23, 7)};
      for (int i = 0; i < 4; ++i)
        if (share[i] != 0 && share[i] != in.parts) StorePlain(in.fine, in.ax, in.ay, x + i, y, in.out, in.mask);
    }
  }
  for (; x < w; ++x) StorePlain(in.fine, in.ax, in.ay, x, y, in.out, in.mask);
}

// The vertical sums of the columns from x on, one lane at a time: the
// first source row sets them, the others add.
void AddRowRest(const uint32_t* row, int x, int fw, uint16_t wy, bool first, uint16_t* l) {
  for (; x < fw; ++x)
    for (int c = 0; c < 4; ++c) {
      const uint16_t lane = c < 3 ? (row[x] >> (8 * c)) & 0xFF : row[x] >> 31;
      l[4 * x + c] = static_cast<uint16_t>((first ? 0 : l[4 * x + c]) + wy * lane);
    }
}

#if defined(WH_WIDE_VECTORS)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"  // 256-bit values passed only between these functions
// The same sums with 256-bit vectors: a source row's four pixels at a time.
__attribute__((target("avx2"))) void AddRowWide(const uint32_t* row, int fw, uint16_t wy, bool first,
                                                uint16_t* l) {
  const __m128i colour = _mm_set1_epi32(kColour);
  const __m256i v = _mm256_set1_epi16(static_cast<short>(wy));
  int x = 0;
  for (; x + 4 <= fw; x += 4) {
    // Colour, and 1 in the top byte where the pixel is the object's.
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    const __m128i q = _mm_or_si128(_mm_and_si128(p, colour), _mm_slli_epi32(_mm_srli_epi32(p, 31), 24));
    __m256i sum = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(q), v);
    __m256i* at = reinterpret_cast<__m256i*>(l + 4 * x);
    if (!first) sum = _mm256_add_epi16(sum, _mm256_loadu_si256(at));
    _mm256_storeu_si256(at, sum);
  }
  AddRowRest(row, x, fw, wy, first, l);
}

__attribute__((target("avx2"))) inline __m256i LoadTwo(const uint16_t* a, const uint16_t* b) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
}

// The taps of output pixels o (low half) and p (high half) times their
// weights, the pairs summed.
template <int kPairs>
__attribute__((target("avx2"))) inline __m256i HalvesWide(const RowInput& in, int o, int p) {
  const uint16_t* so = in.line + in.line_at[static_cast<size_t>(o)];
  const uint16_t* sp = in.line + in.line_at[static_cast<size_t>(p)];
  const uint16_t* wo = in.hweight + in.weight_at[static_cast<size_t>(o)];
  const uint16_t* wp = in.hweight + in.weight_at[static_cast<size_t>(p)];
  const int pairs = kPairs ? kPairs : in.pairs;
  __m256i acc = _mm256_mullo_epi16(LoadTwo(so, sp), LoadTwo(wo, wp));
  for (int i = 1; i < pairs; ++i)
    acc = _mm256_add_epi16(acc, _mm256_mullo_epi16(LoadTwo(so + 8 * i, sp + 8 * i), LoadTwo(wo + 8 * i, wp + 8 * i)));
  return acc;
}

// The sums of output pixels o to o + 3: o and o + 1 in the low half, o + 2
// and o + 3 in the high.
template <int kPairs>
__attribute__((target("avx2"))) inline __m256i FourWide(const RowInput& in, int o) {
  const __m256i a = HalvesWide<kPairs>(in, o, o + 2), b = HalvesWide<kPairs>(in, o + 1, o + 3);
  return _mm256_add_epi16(_mm256_unpacklo_epi64(a, b), _mm256_unpackhi_epi64(a, b));
}

// RowOut eight output pixels at a time; returns where it stopped.
template <int kPairs>
__attribute__((target("avx2"))) int RowOutWide(const RowInput& in, int y) {
  const __m256i zero = _mm256_setzero_si256(), colour = _mm256_set1_epi32(kColour);
  const __m256i parts = _mm256_set1_epi16(static_cast<short>(in.parts));
  const __m256i half = _mm256_set1_epi16(static_cast<short>(in.parts / 2));
  const __m128i shift = _mm_cvtsi32_si128(in.shift);
  const int w = in.out.width;
  uint32_t* d = &in.out.px[static_cast<size_t>(y) * w];
  uint32_t* m = in.mask ? &in.mask->px[static_cast<size_t>(y) * w] : nullptr;
  int x = 0;
  for (; x + 8 <= w; x += 8) {
    const __m256i s0 = FourWide<kPairs>(in, x), s1 = FourWide<kPairs>(in, x + 4);
    const __m256i whole = _mm256_and_si256(
        _mm256_or_si256(_mm256_cmpeq_epi16(s0, zero), _mm256_cmpeq_epi16(s0, parts)),
        _mm256_or_si256(_mm256_cmpeq_epi16(s1, zero), _mm256_cmpeq_epi16(s1, parts)));
    // Per half x, x + 1, x + 4, x + 5 and x + 2, x + 3, x + 6, x + 7: the
    // quarters put back in order.
    const __m256i packed = _mm256_packus_epi16(_mm256_srl_epi16(_mm256_add_epi16(s0, half), shift),
                                               _mm256_srl_epi16(_mm256_add_epi16(s1, half), shift));
    const __m256i px = _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), _mm256_and_si256(px, colour));
    if (m)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(m + x),
                          _mm256_and_si256(_mm256_cmpeq_epi32(_mm256_andnot_si256(colour, px), zero), colour));
    if ((static_cast<unsigned>(_mm256_movemask_epi8(whole)) & 0xC0C0C0C0u) != 0xC0C0C0C0u) {
      // Along the object's edge: only the pixels that are partly the object's.
      alignas(32) uint16_t a[16], b[16];
      _mm256_store_si256(reinterpret_cast<__m256i*>(a), s0);
      _mm256_store_si256(reinterpret_cast<__m256i*>(b), s1);
      const int share[8] = {a[3], a[7], a[11], a[15], b[3], b[7], b[11], b[15]};
      for (int i = 0; i < 8; ++i)
        if (share[i] != 0 && share[i] != in.parts) StorePlain(in.fine, in.ax, in.ay, x + i, y, in.out, in.mask);
    }
  }
  return x;
}
#pragma GCC diagnostic pop
#endif

void ResampleSse2(Rows& fine, const Axis& ax, const Axis& ay, Image& out, Image* mask) {
  const int t = ax.total * ay.total;
  int shift = 0;
  while ((1 << shift) < t) ++shift;
  const int fw = fine.width(), w = out.width;
  const __m128i zero = _mm_setzero_si128(), colour = _mm_set1_epi32(kColour);
  // The weights of two neighbouring taps, in the lanes of two neighbouring
  // columns, for one period of output pixels.
  const int pairs = (ax.taps + 1) / 2;
  std::vector<uint16_t> hweight(static_cast<size_t>(ax.period) * pairs * 8);
  for (int o = 0; o < ax.period; ++o)
    for (int i = 0; i < ax.taps; ++i)
      for (int c = 0; c < 4; ++c)
        hweight[(static_cast<size_t>(o) * pairs + i / 2) * 8 + (i % 2) * 4 + c] =
            ax.weight[static_cast<size_t>(o) * ax.taps + i];
  // Vertical sums of the rows an output row covers, four lanes per source
  // column; the columns past the end stay 0 for the last taps to read.
  std::vector<uint16_t> line((static_cast<size_t>(fw) + 2 * pairs + 4) * 4);
  uint16_t* const l = line.data();
  std::vector<int> line_at(static_cast<size_t>(w)), weight_at(line_at.size());
  for (int o = 0; o < w; ++o) {
    line_at[static_cast<size_t>(o)] = 4 * ax.first[static_cast<size_t>(o)];
    weight_at[static_cast<size_t>(o)] = o % ax.period * pairs * 8;
  }
  const RowInput row_out{fine, ax, ay, out, mask, l, hweight.data(), line_at, weight_at, pairs, shift, t};
#if defined(WH_WIDE_VECTORS)
  const bool wide = detail::WideVectors();
#endif

  for (int y = 0; y < out.height; ++y) {
    bool first = true;
    for (int j = 0; j < ay.taps; ++j) {
      const uint16_t wy = ay.weight[static_cast<size_t>(y) * ay.taps + j];
      if (wy == 0) continue;
      const uint32_t* row = fine.Get(ay.first[static_cast<size_t>(y)] + j);
#if defined(WH_WIDE_VECTORS)
      if (wide) {
        AddRowWide(row, fw, wy, first, l);
        first = false;
        continue;
      }
#endif
      const __m128i v = _mm_set1_epi16(static_cast<short>(wy));
      auto add = [&](__m128i sum, uint16_t* at) {
        if (!first) sum = _mm_add_epi16(sum, _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), sum);
      };
      int x = 0;
      for (; x + 4 <= fw; x += 4) {
        // Colour, and 1 in the top byte where the pixel is the object's.
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i q = _mm_or_si128(_mm_and_si128(p, colour), _mm_slli_epi32(_mm_srli_epi32(p, 31), 24));
        add(_mm_mullo_epi16(_mm_unpacklo_epi8(q, zero), v), l + 4 * x);
        add(_mm_mullo_epi16(_mm_unpackhi_epi8(q, zero), v), l + 4 * x + 8);
      }
      AddRowRest(row, x, fw, wy, first, l);
      first = false;
    }
    int from = 0;
#if defined(WH_WIDE_VECTORS)
    if (wide) {
      switch (pairs) {
        case 1: from = RowOutWide<1>(row_out, y); break;
        case 2: from = RowOutWide<2>(row_out, y); break;
        default: from = RowOutWide<0>(row_out, y); break;
      }
    }
#endif
    switch (pairs) {
      case 1: RowOut<1>(row_out, y, from); break;
      case 2: RowOut<2>(row_out, y, from); break;
      default: RowOut<0>(row_out, y, from); break;
    }
  }
}
#endif

// Every pixel as it is: the large version is already at the scale.
void Copy(Rows& fine, Image& out, Image* mask) {
  for (int y = 0; y < out.height; ++y) {
    const uint32_t* s = fine.Get(y);
    const size_t at = static_cast<size_t>(y) * out.width;
    for (int x = 0; x < out.width; ++x) {
      out.px[at + x] = s[x] & kColour;
      if (mask) mask->px[at + x] = Inside(s[x]) ? 0 : kOutside;
    }
  }
}

enum class Path { kFastest, kPlain };

Image Resample(Rows& fine, int unit_w, int unit_h, int k, Image* mask, Path path) {
  const int w = unit_w * k, h = unit_h * k;
  Image out(w, h);
  out.scale = k;
  if (mask) {
    *mask = Image(w, h);
    mask->scale = k;
  }
  if (w == 0 || h == 0 || fine.width() == 0 || fine.height() == 0) return out;
  if (path == Path::kFastest && fine.width() == w && fine.height() == h) {
    fine.Keep(1);
    Copy(fine, out, mask);
    return out;
  }
  const Axis ax = AxisTaps(fine.width(), w), ay = AxisTaps(fine.height(), h);
  fine.Keep(ay.taps);
#if defined(__SSE2__)
  if (path == Path::kFastest && ax.total * ay.total <= kMaxFastParts && (ax.total & (ax.total - 1)) == 0 &&
      (ay.total & (ay.total - 1)) == 0) {
    ResampleSse2(fine, ax, ay, out, mask);
    return out;
  }
#endif
  ResamplePlain(fine, ax, ay, out, mask);
  return out;
}

}  // namespace

Image ResampleFine(const Image& fine, int unit_w, int unit_h, int k, Image* mask) {
  Rows rows(fine);
  return Resample(rows, unit_w, unit_h, k, mask, Path::kFastest);
}

Image ResampleFinePlain(const Image& fine, int unit_w, int unit_h, int k, Image* mask) {
  Rows rows(fine);
  return Resample(rows, unit_w, unit_h, k, mask, Path::kPlain);
}

Image ResampleQoi(const uint8_t* data, size_t size, int unit_w, int unit_h, int k, Image* mask) {
  QoiReader reader(data, size);
  Rows rows(reader);
  return Resample(rows, unit_w, unit_h, k, mask, Path::kFastest);
}

}  // namespace wh
