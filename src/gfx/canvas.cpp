#include "gfx/canvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <type_traits>
#include <memory>
#include <utility>
#include <vector>

#include "common/numeric.h"
#include "common/runtime_error.h"
#include "gfx/wide_vectors.h"

namespace wh {

namespace detail {

bool wide_vectors = true;

bool WideVectors() {
#if defined(WH_WIDE_VECTORS)
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return has && wide_vectors;
#else
  return false;
#endif
}

}  // namespace detail

namespace {

// Drawing coordinates stay inside GDI's old 16-bit space; anything further
// out is a fault of the caller, not a picture.
constexpr int64_t kCoordLimit = 32767;

void CheckCoord(int64_t v) {
  if (v < -kCoordLimit - 1 || v > kCoordLimit) Raise(kErrOverflow);
}

void CheckRop(Rop rop) {
  if (rop != kSrcCopy && rop != kSrcAnd && rop != kSrcPaint) Raise(kErrInvalidCall);
}

// Whether pixel (i, j) of a w x h box belongs to the ellipse inscribed in it
// (the rule is described at Canvas::Ellipse). Works in doubled coordinates
// centred on the box, where pixel centres are odd or even integers and the
// curve passes through the centres of the outermost pixels (semi-axes
// a = w - 1, b = h - 1). A pixel is covered when, in its row, the curve's
// half-width reaches its inner edge, or the same holds in its column.
bool EllipseCovers(int64_t w, int64_t h, int64_t i, int64_t j) {
  const int64_t a = w - 1, b = h - 1;
  const int64_t dx = std::llabs(2 * i + 1 - w), dy = std::llabs(2 * j + 1 - h);
  const int64_t ex = dx - 1, ey = dy - 1;
  const bool in_row = ex <= 0 || ex * ex * b * b <= a * a * (b * b - dy * dy);
  const bool in_column = ey <= 0 || ey * ey * a * a <= b * b * (a * a - dx * dx);
  return in_row || in_column;
}

// The pixels an ellipse covers in row j are one run, the same distance from
// either side (EllipseCovers only grows towards the middle): its first
// column, found by halving; (w + 1) / 2 when the row has none.
int64_t EllipseRowStart(int64_t w, int64_t h, int64_t j) {
  int64_t lo = 0, hi = (w + 1) / 2;
  while (lo < hi) {
    const int64_t mid = lo + (hi - lo) / 2;
    if (EllipseCovers(w, h, mid, j))
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

}  // namespace

namespace {

// Offset j from the start edge of an extent lies at origin + j (positive
// extent) or origin - 1 - j (negative).
int64_t At(int64_t origin, int64_t extent, int64_t j) {
  return extent > 0 ? origin + j : origin - 1 - j;
}

// The destination offsets [j0, j1) x [r0, r1) that land on the image.
struct Span {
  int64_t j0, j1, r0, r1;
  bool empty() const { return j0 >= j1 || r0 >= r1; }
};

Span Visible(const Image& dst, int x, int y, int w, int h) {
  const int64_t aw = std::llabs(int64_t{w}), ah = std::llabs(int64_t{h});
  return {std::max<int64_t>(0, w > 0 ? -int64_t{x} : int64_t{x} - dst.width),
          std::min<int64_t>(aw, w > 0 ? int64_t{dst.width} - x : int64_t{x}),
          std::max<int64_t>(0, h > 0 ? -int64_t{y} : int64_t{y} - dst.height),
          std::min<int64_t>(ah, h > 0 ? int64_t{dst.height} - y : int64_t{y})};
}

// The source rows and columns a destination pixel has to read for it to be
// drawn; the others are left alone. What was drawn is reported.
struct RowFilter {
  int64_t lo = INT64_MIN, hi = INT64_MAX;          // source rows
  int64_t col_lo = INT64_MIN, col_hi = INT64_MAX;  // source columns
  int64_t drawn_lo = INT64_MAX, drawn_hi = INT64_MIN;  // destination rows drawn
  int64_t drawn_x0 = INT64_MAX, drawn_x1 = INT64_MIN;  // and columns
  bool has(int64_t r) const { return r >= lo && r < hi; }
  bool has_col(int64_t c) const { return c >= col_lo && c < col_hi; }
  void drew(int64_t row) {
    drawn_lo = std::min(drawn_lo, row);
    drawn_hi = std::max(drawn_hi, row + 1);
  }
  void drew_cols(int64_t a, int64_t b) {  // [a, b)
    drawn_x0 = std::min(drawn_x0, a);
    drawn_x1 = std::max(drawn_x1, b);
  }
};

// The raster operations. A plain transfer hands them where the source pixel
// is, a smooth one the blended value; Four combines four destination pixels
// with the four source pixels from s on (in reverse order when kReversed).
#if defined(__SSE2__)
template <bool kReversed>
__m128i FourFrom(const uint32_t* s) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  return kReversed ? _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)) : v;
}
#endif
// SRCCOPY, named so that whole rows can be copied as memory.
struct CopyOp {
  uint32_t operator()(uint32_t, uint32_t s) const { return s; }
  uint32_t operator()(uint32_t, const uint32_t* s) const { return *s; }
#if defined(__SSE2__)
  template <bool kReversed>
  __m128i Four(__m128i, const uint32_t* s) const { return FourFrom<kReversed>(s); }
#endif
};
struct AndOp {
  uint32_t operator()(uint32_t d, uint32_t s) const { return d & s; }
  uint32_t operator()(uint32_t d, const uint32_t* s) const { return d & *s; }
#if defined(__SSE2__)
  template <bool kReversed>
  __m128i Four(__m128i d, const uint32_t* s) const { return _mm_and_si128(d, FourFrom<kReversed>(s)); }
#endif
};
struct PaintOp {
  uint32_t operator()(uint32_t d, uint32_t s) const { return d | s; }
  uint32_t operator()(uint32_t d, const uint32_t* s) const { return d | *s; }
#if defined(__SSE2__)
  template <bool kReversed>
  __m128i Four(__m128i d, const uint32_t* s) const { return _mm_or_si128(d, FourFrom<kReversed>(s)); }
#endif
};
// A mask with SRCAND and then a picture of the same size with SRCPAINT, in
// one pass: the source is the mask, and the picture's pixel is the one at
// the same place.
struct MaskThenPaintOp {
  const uint32_t* mask;
  const uint32_t* pic;
  uint32_t operator()(uint32_t d, const uint32_t* m) const { return (d & *m) | pic[m - mask]; }
#if defined(__SSE2__)
  template <bool kReversed>
  __m128i Four(__m128i d, const uint32_t* m) const {
    return _mm_or_si128(_mm_and_si128(d, FourFrom<kReversed>(m)), FourFrom<kReversed>(pic + (m - mask)));
  }
#endif
};

// n source pixels in a row from s on onto the destination from d on, which
// runs right, or left when reversed (a mirrored picture).
template <typename Combine>
void CombineRun(uint32_t* d, bool reversed, const uint32_t* s, int64_t n, Combine combine) {
  int64_t i = 0;
  if (!reversed) {
    if constexpr (std::is_same_v<Combine, CopyOp>) {
      // memmove: a canvas copied onto itself reads a copy, but rows of one
      // image may still overlap.
      if (n > 0) std::memmove(d, s, static_cast<size_t>(n) * sizeof *d);
      return;
    }
#if defined(__SSE2__)
    for (; i + 4 <= n; i += 4) {
      __m128i* o = reinterpret_cast<__m128i*>(d + i);
      _mm_storeu_si128(o, combine.template Four<false>(_mm_loadu_si128(o), s + i));
    }
#endif
    for (; i < n; ++i) d[i] = combine(d[i], s + i);
    return;
  }
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) {
    __m128i* o = reinterpret_cast<__m128i*>(d - i - 3);
    _mm_storeu_si128(o, combine.template Four<true>(_mm_loadu_si128(o), s + i));
  }
#endif
  for (; i < n; ++i) d[-i] = combine(d[-i], s + i);
}

// The per-pixel work for one raster operation, chosen once per transfer.
template <typename Combine>
void Transfer(Image& dst, int x, int y, int w, int h, const Image& src, int sx, int sy, int sw,
              int sh, RowFilter& rows, Combine combine) {
  const int64_t aw = std::llabs(int64_t{w}), ah = std::llabs(int64_t{h});
  const int64_t asw = std::llabs(int64_t{sw}), ash = std::llabs(int64_t{sh});
  const Span span = Visible(dst, x, y, w, h);
  if (span.empty()) return;
  const int64_t j0 = span.j0, j1 = span.j1, r0 = span.r0, r1 = span.r1;

  if (w > 0 && h > 0 && sw == w && sh == h) {
    // A plain block transfer (every frame is made of these): whole rows.
    const int64_t c0 = std::max<int64_t>({j0, -int64_t{sx}, rows.col_lo == INT64_MIN ? j0 : rows.col_lo - sx});
    const int64_t c1 = std::min<int64_t>({j1, int64_t{src.width} - sx, rows.col_hi == INT64_MAX ? j1 : rows.col_hi - sx});
    if (c0 >= c1) return;
    rows.drew_cols(x + c0, x + c1);
    const int64_t q0 = std::max<int64_t>(r0, -int64_t{sy});
    const int64_t q1 = std::min<int64_t>(r1, int64_t{src.height} - sy);
    for (int64_t r = q0; r < q1; ++r) {
      if (!rows.has(sy + r)) continue;
      rows.drew(y + r);
      const uint32_t* s = &src.px[static_cast<size_t>((sy + r) * src.width + sx + c0)];
      uint32_t* d = &dst.px[static_cast<size_t>((y + r) * dst.width + x + c0)];
      CombineRun(d, false, s, c1 - c0, combine);
    }
    return;
  }

  // The source column of each visible offset. The mapping is monotonic and
  // the columns that may be read form one range, so the offsets that draw
  // are one run [u0, u1).
  std::vector<int> column;
  int64_t u0 = -1, u1 = -1;
  for (int64_t j = j0; j < j1; ++j) {
    const int64_t c = At(sx, sw, j * asw / aw);
    if (!(c >= 0 && c < src.width && rows.has_col(c))) {
      if (u0 >= 0) break;
      continue;
    }
    if (u0 < 0) u0 = j;
    u1 = j + 1;
    column.push_back(static_cast<int>(c));
  }
  if (column.empty()) return;
  const int64_t first = At(x, w, u0), last = At(x, w, u1 - 1);
  rows.drew_cols(std::min(first, last), std::max(first, last) + 1);
  const int* col = column.data();
  const int64_t n = u1 - u0;
  // Columns one after the other (a picture only stretched in height, or
  // mirrored): whole runs of the row.
  const bool run = column.back() - column.front() == n - 1;
  for (int64_t r = r0; r < r1; ++r) {
    const int64_t s_row = At(sy, sh, r * ash / ah);
    if (s_row < 0 || s_row >= src.height || !rows.has(s_row)) continue;
    rows.drew(At(y, h, r));
    const uint32_t* s = &src.px[static_cast<size_t>(s_row) * src.width];
    uint32_t* d = &dst.px[static_cast<size_t>(At(y, h, r)) * dst.width + first];
    if (run) {
      CombineRun(d, w < 0, s + col[0], n, combine);
    } else if (w > 0) {
      for (int64_t i = 0; i < n; ++i) d[i] = combine(d[i], s + col[i]);
    } else {
      for (int64_t i = 0; i < n; ++i) d[-i] = combine(d[-i], s + col[i]);
    }
  }
}

#if !defined(__SSE2__)
// A smooth stretch works on the four bytes of a pixel at once: spread into
// 16-bit lanes of a 64-bit word (B, R, G, X from the bottom), a blend of two
// pixels with 8-bit weights never carries from one lane into the next.
uint64_t Spread(uint32_t p) {
  return (p & 0x00FF00FFu) | (uint64_t{p & 0xFF00FF00u} << 24);
}
uint32_t Pack(uint64_t v) {
  return static_cast<uint32_t>((v & 0x00FF00FFu) | ((v >> 24) & 0xFF00FF00u));
}
// (a * (256 - f) + b * f + 128) / 256 in every lane.
uint64_t Blend(uint64_t a, uint64_t b, uint64_t f) {
  return ((a * (256 - f) + b * f + 0x0080008000800080ull) >> 8) & 0x00FF00FF00FF00FFull;
}
#endif

// Source offsets k and k + 1 for destination offset j on one axis, and the
// weight of the second (the rule is at the top of canvas.h).
struct Tap {
  int64_t k, k1;
  uint64_t f;
};
Tap TapFor(int64_t dst_extent, int64_t src_extent, int64_t j) {
  // 256 u = 256 * ((2j + 1) * src - dst) / (2 * dst); both factors of the
  // product stay below 2^32 and 2^31, and the division is split so the
  // factor 256 cannot overflow either.
  const int64_t num = (2 * j + 1) * src_extent - dst_extent, den = 2 * dst_extent;
  const int64_t u = num <= 0 ? 0 : num / den * 256 + num % den * 256 / den;
  const int64_t k = u >> 8;
  return {k, std::min(k + 1, src_extent - 1), static_cast<uint64_t>(u & 255)};
}

// The source rows destination offset r of a smooth stretch blends, as
// image rows, and the weight of the second; none where r draws nothing (its
// first row outside the picture, or neither among the rows asked for). A
// second row outside the picture is the first again.
std::optional<Tap> SourceRows(int64_t ah, int64_t ash, int sy, int sh, const Image& src,
                              const RowFilter& rows, int64_t r) {
  const Tap t = TapFor(ah, ash, r);
  const int64_t s_row = At(sy, sh, t.k);
  if (s_row < 0 || s_row >= src.height) return std::nullopt;
  int64_t s_row1 = At(sy, sh, t.k1);
  if (s_row1 < 0 || s_row1 >= src.height) s_row1 = s_row;
  if (!rows.has(s_row) && !rows.has(s_row1)) return std::nullopt;
  return Tap{s_row, s_row1, t.f};
}

// Source rows blended along the row, for a smooth stretch: neighbouring
// destination rows mostly share them, so the last two are kept.
template <typename T>
class HeldRows {
 public:
  explicit HeldRows(size_t n) : rows_{std::vector<T>(n), std::vector<T>(n)} {}
  // Source row s_row blended, made by make(s_row, out) unless it is held;
  // the row keep (the other one a destination row needs) stays held.
  template <typename Make>
  const T* Get(int64_t s_row, int64_t keep, Make make) {
    for (int i = 0; i < 2; ++i)
      if (held_[i] == s_row) return rows_[i].data();
    const int slot = held_[0] == keep ? 1 : 0;
    make(s_row, rows_[slot].data());
    held_[slot] = s_row;
    return rows_[slot].data();
  }

 private:
  std::vector<T> rows_[2];
  int64_t held_[2] = {-1, -1};
};

// One destination column of a smooth stretch: source columns c and c1 and
// the weight of c1.
struct SmoothColumn {
  int64_t c, c1;
  uint64_t f;
};

// Two pixels blended byte by byte: (a * (256 - f) + b * f + 128) / 256.
uint32_t BlendPixel(uint32_t a, uint32_t b, uint32_t f) {
  uint32_t out = 0;
  for (int i = 0; i < 32; i += 8) {
    const uint32_t p = (a >> i) & 0xFF, q = (b >> i) & 0xFF;
    out |= ((p * (256 - f) + q * f + 128) >> 8) << i;
  }
  return out;
}

#if defined(WH_WIDE_VECTORS)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"  // 256-bit values passed only between these functions
// A plain smooth copy (neither side mirrored) with the 256-bit vector
// instructions, eight pixels at a time. The same arithmetic as the rule:
// a * (256 - f) + b * f is a * 256 + (b - a) * f, whose true value (at most
// 255 * 256 + 128 with the rounding) fits a 16-bit lane, so the lanes'
// wrapping sums give it exactly.
__attribute__((target("avx2"))) inline __m256i Blend8(__m256i a, __m256i b, __m256i f) {
  const __m256i sum = _mm256_add_epi16(_mm256_slli_epi16(a, 8), _mm256_mullo_epi16(_mm256_sub_epi16(b, a), f));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(128)), 8);
}

// Eight packed pixels from two rows of packed pixels, blended with f.
__attribute__((target("avx2"))) inline __m256i BlendPacked8(__m256i a, __m256i b, __m256i f_lo, __m256i f_hi) {
  const __m256i zero = _mm256_setzero_si256();
  // Per 128-bit half: lo holds its pixels 0 and 1, hi its 2 and 3; packing
  // lo with hi puts them back in order.
  return _mm256_packus_epi16(Blend8(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), f_lo),
                             Blend8(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), f_hi));
}

// A block of eight destination columns that reads one window of eight
// source pixels: its taps as lane numbers in that window, and the weights of
// its pixels in the lanes the unpacking gives them.
struct alignas(32) WideBlock {
  __m256i first_tap, second_tap, f_lo, f_hi;
};

// One source row blended along the row into packed pixels; a block whose
// base is -1 goes column by column.
__attribute__((target("avx2"))) void BlendRowWide(const uint32_t* s, const std::vector<SmoothColumn>& columns,
                                                  const std::vector<WideBlock>& block,
                                                  const std::vector<int64_t>& base, uint32_t* out) {
  const size_t n = columns.size(), blocks = block.size();
  for (size_t b = 0; b < blocks; ++b) {
    if (base[b] < 0) {
      for (size_t i = b * 8; i < b * 8 + 8; ++i)
        out[i] = BlendPixel(s[columns[i].c], s[columns[i].c1], static_cast<uint32_t>(columns[i].f));
      continue;
    }
    const WideBlock& k = block[b];
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + base[b]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b * 8),
                        BlendPacked8(_mm256_permutevar8x32_epi32(v, k.first_tap),
                                     _mm256_permutevar8x32_epi32(v, k.second_tap), k.f_lo, k.f_hi));
  }
  for (size_t i = blocks * 8; i < n; ++i)
    out[i] = BlendPixel(s[columns[i].c], s[columns[i].c1], static_cast<uint32_t>(columns[i].f));
}

// Two blended rows blended down the column with f into n destination pixels.
__attribute__((target("avx2"))) void BlendRowsWide(const uint32_t* a, const uint32_t* b, uint32_t f, size_t n,
                                                   uint32_t* d) {
  const __m256i lanes = _mm256_set1_epi16(static_cast<short>(f));
  size_t i = 0;
  for (; i + 8 <= n; i += 8)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                        BlendPacked8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)),
                                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i)), lanes, lanes));
  for (; i < n; ++i) d[i] = BlendPixel(a[i], b[i], f);
}

__attribute__((target("avx2"))) void SmoothCopyWide(Image& dst, int x, int y, int h, const Image& src,
                                                    int sy, int sh, int64_t ah, int64_t ash,
                                                    const Span& span,
                                                    const std::vector<SmoothColumn>& columns,
                                                    int64_t first, RowFilter& rows) {
  const size_t n = columns.size(), blocks = n / 8;
  std::vector<WideBlock> block(blocks);
  std::vector<int64_t> base(blocks, -1);
  for (size_t b = 0; b < blocks; ++b) {
    const SmoothColumn* col = &columns[b * 8];
    const int64_t from = col[0].c;
    bool fits = from + 8 <= src.width;
    alignas(32) int32_t ia[8], ib[8];
    alignas(32) int16_t lo[16], hi[16];
    for (int i = 0; i < 8; ++i) {
      fits = fits && col[i].c >= from && col[i].c < from + 8 && col[i].c1 >= from && col[i].c1 < from + 8;
      ia[i] = static_cast<int32_t>(col[i].c - from);
      ib[i] = static_cast<int32_t>(col[i].c1 - from);
      // Pixel i sits in half i / 4; in it, pixels 0 and 1 unpack low, 2 and 3 high.
      int16_t* lanes = (i % 4) < 2 ? lo : hi;
      for (int c = 0; c < 4; ++c) lanes[(i / 4) * 8 + (i % 2) * 4 + c] = static_cast<int16_t>(col[i].f);
    }
    if (!fits) continue;
    base[b] = from;
    block[b] = {_mm256_load_si256(reinterpret_cast<const __m256i*>(ia)),
                _mm256_load_si256(reinterpret_cast<const __m256i*>(ib)),
                _mm256_load_si256(reinterpret_cast<const __m256i*>(lo)),
                _mm256_load_si256(reinterpret_cast<const __m256i*>(hi))};
  }
  HeldRows<uint32_t> held(n);
  auto blend_row = [&](int64_t s_row, uint32_t* out) {
    BlendRowWide(&src.px[static_cast<size_t>(s_row) * src.width], columns, block, base, out);
  };
  for (int64_t r = span.r0; r < span.r1; ++r) {
    const std::optional<Tap> t = SourceRows(ah, ash, sy, sh, src, rows, r);
    if (!t) continue;
    const int64_t s_row = t->k, s_row1 = t->k1;
    rows.drew(At(y, h, r));
    const uint32_t* a = held.Get(s_row, s_row1, blend_row);
    const uint32_t* b = held.Get(s_row1, s_row, blend_row);
    BlendRowsWide(a, b, static_cast<uint32_t>(t->f), n,
                  &dst.px[static_cast<size_t>(At(y, h, r)) * dst.width + x + first]);
  }
}

#pragma GCC diagnostic pop
#endif

template <typename Combine>
void SmoothTransfer(Image& dst, int x, int y, int w, int h, const Image& src, int sx, int sy,
                    int sw, int sh, RowFilter& rows, Combine combine) {
  const int64_t aw = std::llabs(int64_t{w}), ah = std::llabs(int64_t{h});
  const int64_t asw = std::llabs(int64_t{sw}), ash = std::llabs(int64_t{sh});
  const Span span = Visible(dst, x, y, w, h);
  if (span.empty()) return;
  // Source columns of the visible offsets. Those whose k lies in the picture
  // form one run (the mapping is monotonic); only that run is drawn.
  std::vector<SmoothColumn> columns;
  int64_t first = -1;  // the destination offset of columns[0]
  for (int64_t j = span.j0; j < span.j1; ++j) {
    const Tap t = TapFor(aw, asw, j);
    const int64_t c = At(sx, sw, t.k), c1 = At(sx, sw, t.k1);
    const int64_t c1_in = c1 >= 0 && c1 < src.width ? c1 : c;
    // Both conditions keep one run of offsets: the mapping is monotonic.
    if (c < 0 || c >= src.width || !(rows.has_col(c) || rows.has_col(c1_in))) {
      if (first >= 0) break;
      continue;
    }
    if (first < 0) first = j;
    columns.push_back({c, c1_in, t.f});
  }
  if (columns.empty()) return;
  const size_t n = columns.size();
  const int64_t step = w > 0 ? 1 : -1;
  {
    const int64_t a = At(x, w, first), b = At(x, w, first + static_cast<int64_t>(n) - 1);
    rows.drew_cols(std::min(a, b), std::max(a, b) + 1);
  }
#if defined(WH_WIDE_VECTORS)
  if constexpr (std::is_same_v<Combine, CopyOp>) {
    if (w > 0 && sw > 0 && aw != asw && detail::WideVectors()) {
      SmoothCopyWide(dst, x, y, h, src, sy, sh, ah, ash, span, columns, first, rows);
      return;
    }
  }
#endif

  // Source rows blended along the row, one spare pixel at the end.
  HeldRows<uint64_t> held(n + 1);
#if defined(__SSE2__)
  // The same arithmetic, eight 16-bit lanes (two pixels) at a time; the
  // lanes hold B, G, R, X here. Every sum stays below 2^16: the weights of
  // a blend add up to 256, so a lane reaches at most 255 * 256 + 128.
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
  const __m128i full = _mm_set1_epi16(256);
  auto blend = [&](__m128i a, __m128i b, __m128i f) {
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(full, f)),
                                      _mm_mullo_epi16(b, f));
    return _mm_srli_epi16(_mm_add_epi16(sum, half), 8);
  };
  auto pair = [&](uint32_t p, uint32_t q) {
    return _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(p)), _mm_cvtsi32_si128(static_cast<int>(q))),
        zero);
  };
  // The weights of each pair of columns, in the lanes of their pixels.
  struct alignas(16) Lanes {
    int16_t v[8];
  };
  std::vector<Lanes> weights((n + 1) / 2);
  for (size_t i = 0; i < n; i += 2) {
    const int16_t p = static_cast<int16_t>(columns[i].f);
    const int16_t q = static_cast<int16_t>(columns[i + 1 < n ? i + 1 : i].f);
    weights[i / 2] = Lanes {{p, p, p, p, q, q, q, q}};
  }
  // Where a column's second tap is the pixel after its first (all but the
  // last columns, unless mirrored), one 8-byte read fetches both: the
  // leading pairs of columns for which that holds.
  size_t n_next = 0;
  if (sw > 0)
    while (n_next < n && columns[n_next].c1 == columns[n_next].c + 1) ++n_next;
  n_next &= ~size_t {1};
  auto blend_row = [&](int64_t s_row, uint64_t* out) {
    const uint32_t* s = &src.px[static_cast<size_t>(s_row) * src.width];
    const SmoothColumn* col = columns.data();
    const Lanes* wt = weights.data();
    size_t i = 0;
    for (; i < n_next; i += 2) {
      const __m128i p = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + col[i].c));
      const __m128i q = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + col[i + 1].c));
      const __m128i taps = _mm_unpacklo_epi32(p, q);  // p's first, q's first, p's second, q's second
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                       blend(_mm_unpacklo_epi8(taps, zero), _mm_unpackhi_epi8(taps, zero),
                             _mm_load_si128(reinterpret_cast<const __m128i*>(&wt[i / 2]))));
    }
    for (; i < n; i += 2) {
      const SmoothColumn& p = col[i];
      const SmoothColumn& q = col[i + 1 < n ? i + 1 : i];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                       blend(pair(s[p.c], s[q.c]), pair(s[p.c1], s[q.c1]),
                             _mm_load_si128(reinterpret_cast<const __m128i*>(&wt[i / 2]))));
    }
  };
#else
  auto blend_row = [&](int64_t s_row, uint64_t* out) {
    const uint32_t* s = &src.px[static_cast<size_t>(s_row) * src.width];
    for (size_t i = 0; i < n; ++i) {
      const SmoothColumn& col = columns[i];
      out[i] = Blend(Spread(s[col.c]), Spread(s[col.c1]), col.f);
    }
  };
#endif
  auto row = [&](int64_t s_row, int64_t keep) { return held.Get(s_row, keep, blend_row); };

#if defined(__SSE2__)
  // A fit in height only (a sharp scene as wide as the screen).
  const bool same_width = aw == asw && w > 0 && sw > 0;
#endif
  for (int64_t r = span.r0; r < span.r1; ++r) {
    const std::optional<Tap> taps = SourceRows(ah, ash, sy, sh, src, rows, r);
    if (!taps) continue;
    const Tap& t = *taps;
    const int64_t s_row = t.k, s_row1 = t.k1;
    rows.drew(At(y, h, r));
    uint32_t* d = &dst.px[static_cast<size_t>(At(y, h, r)) * dst.width + At(x, w, first)];
#if defined(__SSE2__)
    const __m128i f = _mm_set1_epi16(static_cast<short>(t.f));
    if (same_width) {
      // Each column is its own source pixel, which the pass along the row
      // would hand on unchanged: the two source rows are blended directly.
      const uint32_t* pa = &src.px[static_cast<size_t>(s_row) * src.width + columns[0].c];
      const uint32_t* pb = &src.px[static_cast<size_t>(s_row1) * src.width + columns[0].c];
      size_t i = 0;
      for (; i + 4 <= n; i += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + i));
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + i));
        const __m128i px4 =
            _mm_packus_epi16(blend(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(q, zero), f),
                             blend(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(q, zero), f));
        if constexpr (std::is_same_v<Combine, CopyOp>) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), px4);
        } else {
          alignas(16) uint32_t v[4];
          _mm_store_si128(reinterpret_cast<__m128i*>(v), px4);
          for (int k = 0; k < 4; ++k) d[i + k] = combine(d[i + k], v[k]);
        }
      }
      for (; i < n; ++i) {
        const __m128i one = _mm_packus_epi16(
            blend(pair(pa[i], pa[i]), pair(pb[i], pb[i]), f), zero);
        d[i] = combine(d[i], static_cast<uint32_t>(_mm_cvtsi128_si32(one)));
      }
      continue;
    }
    const uint64_t* a = row(s_row, s_row1);
    const uint64_t* b = row(s_row1, s_row);
    size_t i = 0;
    if (step > 0) {
      for (; i + 4 <= n; i += 4) {
        const __m128i lo = blend(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)), f);
        const __m128i hi = blend(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 2)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 2)), f);
        const __m128i px4 = _mm_packus_epi16(lo, hi);
        __m128i* out = reinterpret_cast<__m128i*>(d + i);
        if constexpr (std::is_same_v<Combine, CopyOp>) {
          _mm_storeu_si128(out, px4);
        } else {
          alignas(16) uint32_t v[4], o[4];
          _mm_store_si128(reinterpret_cast<__m128i*>(v), px4);
          std::memcpy(o, d + i, sizeof o);
          for (int k = 0; k < 4; ++k) o[k] = combine(o[k], v[k]);
          std::memcpy(d + i, o, sizeof o);
        }
      }
    }
    for (; i < n; i += 2) {
      // The rest (and mirrored rows) two at a time; the arrays hold one spare.
      const __m128i two = _mm_packus_epi16(
          blend(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)), f),
          zero);
      const uint32_t p0 = static_cast<uint32_t>(_mm_cvtsi128_si32(two));
      const uint32_t p1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(two, 4)));
      uint32_t& o0 = d[static_cast<int64_t>(i) * step];
      o0 = combine(o0, p0);
      if (i + 1 < n) {
        uint32_t& o1 = d[static_cast<int64_t>(i + 1) * step];
        o1 = combine(o1, p1);
      }
    }
#else
    const uint64_t* a = row(s_row, s_row1);
    const uint64_t* b = row(s_row1, s_row);
    for (size_t i = 0; i < n; ++i) {
      uint32_t& out = d[static_cast<int64_t>(i) * step];
      out = combine(out, Pack(Blend(a[i], b[i], t.f)));
    }
#endif
  }
}

template <typename Combine>
void Stretch(Image& dst, int x, int y, int w, int h, const Image& src, int sx, int sy, int sw,
             int sh, StretchMode mode, RowFilter& rows, Combine combine) {
  // Equal extents copy pixel for pixel in either mode.
  const bool same = std::llabs(int64_t{w}) == std::llabs(int64_t{sw}) &&
                    std::llabs(int64_t{h}) == std::llabs(int64_t{sh});
  if (mode == StretchMode::kSmooth && !same)
    SmoothTransfer(dst, x, y, w, h, src, sx, sy, sw, sh, rows, combine);
  else
    Transfer(dst, x, y, w, h, src, sx, sy, sw, sh, rows, combine);
}

}  // namespace

namespace {

void StretchFiltered(Image& dst, int x, int y, int w, int h, const Image& src_in, int sx, int sy,
                     int sw, int sh, Rop rop, StretchMode mode, RowFilter& rows) {
  CheckRop(rop);
  if (w == 0 || h == 0 || sw == 0 || sh == 0) return;
  // Copying a canvas onto itself reads the picture as it was before.
  std::unique_ptr<Image> copy;
  if (&dst == &src_in) copy = std::make_unique<Image>(src_in);
  const Image& src = copy ? *copy : src_in;
  switch (rop) {
    case kSrcCopy:
      Stretch(dst, x, y, w, h, src, sx, sy, sw, sh, mode, rows, CopyOp {});
      break;
    case kSrcAnd:
      Stretch(dst, x, y, w, h, src, sx, sy, sw, sh, mode, rows, AndOp {});
      break;
    case kSrcPaint:
      Stretch(dst, x, y, w, h, src, sx, sy, sw, sh, mode, rows, PaintOp {});
      break;
  }
}

}  // namespace

void StretchImage(Image& dst, int x, int y, int w, int h, const Image& src, int sx, int sy,
                  int sw, int sh, Rop rop, StretchMode mode) {
  RowFilter all;
  StretchFiltered(dst, x, y, w, h, src, sx, sy, sw, sh, rop, mode, all);
}

PixelRect StretchImagePart(Image& dst, int x, int y, int w, int h, const Image& src, int sx,
                            int sy, int sw, int sh, Rop rop, StretchMode mode, int src_col0,
                            int src_col1, int src_row0, int src_row1) {
  RowFilter part;
  part.lo = src_row0;
  part.hi = src_row1;
  part.col_lo = src_col0;
  part.col_hi = src_col1;
  StretchFiltered(dst, x, y, w, h, src, sx, sy, sw, sh, rop, mode, part);
  if (part.drawn_lo >= part.drawn_hi || part.drawn_x0 >= part.drawn_x1) return {};
  return {static_cast<int>(part.drawn_x0), static_cast<int>(part.drawn_lo),
          static_cast<int>(part.drawn_x1 - part.drawn_x0),
          static_cast<int>(part.drawn_hi - part.drawn_lo)};
}

namespace {

// The pixels a transfer onto (x, y, w, h) may reach; a negative extent runs
// from its origin backwards (mirrored).
PixelRect DestRect(int64_t x, int64_t y, int64_t w, int64_t h) {
  const int64_t x0 = w > 0 ? x : x + w, y0 = h > 0 ? y : y + h;
  const int64_t lo = INT32_MIN / 2, hi = INT32_MAX / 2;
  auto clamp = [&](int64_t v) { return static_cast<int>(std::clamp(v, lo, hi)); };
  return {clamp(x0), clamp(y0), clamp(std::llabs(w)), clamp(std::llabs(h))};
}

}  // namespace

void BitBlt(Canvas& dst, int x, int y, int w, int h, const Canvas& src, int sx, int sy, Rop rop) {
  const int k = dst.Scale(), q = src.Scale();
  StretchImage(dst.image(), x * k, y * k, w * k, h * k, src.image(), sx * q, sy * q, w * q, h * q,
               rop);
  dst.MarkChanged(DestRect(int64_t{x} * k, int64_t{y} * k, int64_t{w} * k, int64_t{h} * k));
}

void StretchBlt(Canvas& dst, int x, int y, int w, int h, const Canvas& src, int sx, int sy, int sw,
                int sh, Rop rop) {
  const int k = dst.Scale(), q = src.Scale();
  StretchImage(dst.image(), x * k, y * k, w * k, h * k, src.image(), sx * q, sy * q, sw * q,
               sh * q, rop, dst.stretch_mode);
  dst.MarkChanged(DestRect(int64_t{x} * k, int64_t{y} * k, int64_t{w} * k, int64_t{h} * k));
}

Canvas::Canvas(int w, int h) {
  SetSize(w, h);
}

Canvas::~Canvas() = default;

void Canvas::SetWidth(int w) {
  SetSize(w, ScaleHeight());
}
void Canvas::SetHeight(int h) {
  SetSize(ScaleWidth(), h);
}

void Canvas::SetScale(int k) {
  if (k < 1) Raise(kErrInvalidProperty);
  if (k == image_.scale) return;
  if (image_.width % k == 0 && image_.height % k == 0) {
    image_.scale = k;  // whole units already: nothing to crop
    MarkAll();
    return;
  }
  const int w = image_.width / k, h = image_.height / k;
  image_.scale = 1;  // SetSize below counts in pixels while it crops
  SetSize(w * k, h * k);
  image_.scale = k;
}

void Canvas::SetSize(int w, int h) {
  if (w < 0 || h < 0) Raise(kErrInvalidProperty);
  const int k = image_.scale;
  w *= k;
  h *= k;
  if (w == image_.width && h == image_.height) return;
  // In place, within the memory the image already has: a scene shrinks and
  // regrows its screen-sized canvases every time, and fresh memory costs
  // more than the copying (page faults and clearing by the system).
  const uint32_t fill = PixelFromColour(BackColor);
  const size_t w0 = static_cast<size_t>(image_.width), h0 = static_cast<size_t>(image_.height);
  const size_t nw = static_cast<size_t>(w), nh = static_cast<size_t>(h);
  const size_t cw = std::min(nw, w0), ch = std::min(nh, h0);
  std::vector<uint32_t>& px = image_.px;
  if (nw * nh > px.capacity()) {
    Image next(w, h, fill);
    next.scale = k;
    // An empty old or new size has no pixels to keep (and no row to point at).
    for (size_t y = 0; cw > 0 && y < ch; ++y)
      std::copy_n(px.data() + y * w0, cw, next.px.data() + y * nw);
    image_ = std::move(next);
    MarkAll();
    return;
  }
  // Rows are addressed through the data pointer: a row's end may be the
  // vector's end, which no index names.
  if (nw <= w0) {
    // Rows move to lower addresses: front to back.
    uint32_t* d = px.data();
    for (size_t y = 0; y < ch; ++y)
      if (y * nw != y * w0) std::memmove(d + y * nw, d + y * w0, cw * sizeof(uint32_t));
    px.resize(nw * nh, fill);
  } else {
    // Rows move to higher addresses: back to front, each row's new right
    // part filled.
    px.resize(std::max(px.size(), nw * nh), fill);
    uint32_t* d = px.data();
    for (size_t y = ch; y-- > 0;) {
      std::memmove(d + y * nw, d + y * w0, cw * sizeof(uint32_t));
      std::fill(d + y * nw + cw, d + y * nw + nw, fill);
    }
    px.resize(nw * nh);
  }
  std::fill(px.begin() + static_cast<std::ptrdiff_t>(ch * nw), px.end(), fill);
  image_.width = w;
  image_.height = h;
  MarkAll();
}

Picture Canvas::Snapshot() const {
  return std::make_shared<const Image>(image_);
}

void Canvas::SetPicture(const Picture& p) {
  picture_ = p;
  if (p && AutoSize) SetSize(UnitWidth(*p), UnitHeight(*p));
  std::fill(image_.px.begin(), image_.px.end(), PixelFromColour(BackColor));
  const int k = image_.scale;
  if (p)
    StretchImage(image_, 0, 0, UnitWidth(*p) * k, UnitHeight(*p) * k, *p, 0, 0, p->width,
                 p->height, kSrcCopy);
  MarkAll();
}

void Canvas::Cls() {
  SetPicture(picture_);
  CurrentX = 0;
  CurrentY = 0;
}

void Canvas::Refresh() {}

namespace {

// Where PaintPicture's arguments put a picture: the destination in the
// canvas's pixels (scale k), the source in the picture's. Omitted: x2 = y2
// = 0, w2 and h2 the picture's size, w1 = w2, h1 = h2; values are rounded
// half to even. None where a value leaves the 32-bit range.
struct PaintPixels {
  int x, y, w, h, sx, sy, sw, sh;
};
std::optional<PaintPixels> PixelsOfPaint(int64_t k, const Image& pic, double x1, double y1,
                                         std::optional<double> w1, std::optional<double> h1,
                                         std::optional<double> x2, std::optional<double> y2,
                                         std::optional<double> w2, std::optional<double> h2) {
  bool fits = true;
  auto whole = [&](std::optional<double> v, int64_t omitted) {
    if (!v) return omitted;
    const double r = RoundHalfEven(*v);
    if (!(r >= INT32_MIN && r <= INT32_MAX)) {
      fits = false;
      return int64_t {0};
    }
    return static_cast<int64_t>(r);
  };
  const int64_t sw = whole(w2, UnitWidth(pic)), sh = whole(h2, UnitHeight(pic));
  const int64_t q = pic.scale;
  const int64_t v[8] = {whole(x1, 0) * k, whole(y1, 0) * k, whole(w1, sw) * k, whole(h1, sh) * k,
                        whole(x2, 0) * q, whole(y2, 0) * q, sw * q, sh * q};
  for (int64_t p : v) fits = fits && p >= INT32_MIN && p <= INT32_MAX;
  if (!fits) return std::nullopt;
  auto i = [&](int n) { return static_cast<int>(v[n]); };
  return PaintPixels {i(0), i(1), i(2), i(3), i(4), i(5), i(6), i(7)};
}

}  // namespace

void Canvas::PaintPicture(const Picture& pic, double x1, double y1, std::optional<double> w1,
                          std::optional<double> h1, std::optional<double> x2,
                          std::optional<double> y2, std::optional<double> w2,
                          std::optional<double> h2, Rop rop) {
  if (!pic) Raise(kErrInvalidPicture);
  const auto p = PixelsOfPaint(image_.scale, *pic, x1, y1, w1, h1, x2, y2, w2, h2);
  if (!p) Raise(kErrOverflow);
  StretchImage(image_, p->x, p->y, p->w, p->h, *pic, p->sx, p->sy, p->sw, p->sh, rop, stretch_mode);
  MarkChanged(DestRect(p->x, p->y, p->w, p->h));
}

bool Canvas::PaintMasked(const Picture& mask, const Picture& pic, double x1, double y1, double w1,
                         double h1, double x2, double y2, double w2, double h2) {
  if (!mask || !pic || mask->width != pic->width || mask->height != pic->height ||
      mask->scale != pic->scale || stretch_mode != StretchMode::kNearest)
    return false;
  // Where either call would fail, the caller makes the two and has their errors.
  const auto p = PixelsOfPaint(image_.scale, *pic, x1, y1, w1, h1, x2, y2, w2, h2);
  if (!p) return false;
  if (p->w == 0 || p->h == 0 || p->sw == 0 || p->sh == 0) return true;
  RowFilter all;
  Transfer(image_, p->x, p->y, p->w, p->h, *mask, p->sx, p->sy, p->sw, p->sh, all,
           MaskThenPaintOp {mask->px.data(), pic->px.data()});
  MarkChanged(DestRect(p->x, p->y, p->w, p->h));
  return true;
}

void Canvas::Ellipse(int left, int top, int right, int bottom) {
  for (int v : {left, top, right, bottom}) CheckCoord(v);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (int64_t{right} - left > kCoordLimit || int64_t{bottom} - top > kCoordLimit)
    Raise(kErrOverflow);
  const int64_t k = image_.scale;
  left *= k;
  top *= k;
  right *= k;
  bottom *= k;
  const int64_t w = int64_t{right} - left, h = int64_t{bottom} - top;
  if (w == 0 || h == 0) return;
  MarkChanged(DestRect(left, top, w, h));
  const int64_t pen = std::max(1, DrawWidth) * k;
  const uint32_t fill = PixelFromColour(FillColor), outline = PixelFromColour(ForeColor);
  const int64_t iw = w - 2 * pen, ih = h - 2 * pen;  // the box inside the outline
  const int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(bottom, image_.height);
  const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, image_.width);
  // Row by row: the outline's run, and inside it the fill's (the box inside
  // the outline's ellipse, moved in by the pen).
  auto run = [&](uint32_t* row, int64_t from, int64_t to, uint32_t px) {
    from = std::max(from + left, x0);
    to = std::min(to + left, x1);
    if (from < to) std::fill(row + from, row + to, px);
  };
  for (int64_t y = y0; y < y1; ++y) {
    const int64_t j = y - top;
    const int64_t o = EllipseRowStart(w, h, j);
    if (o >= w - o) continue;
    uint32_t* row = &image_.px[static_cast<size_t>(y) * image_.width];
    int64_t n0 = w - o, n1 = w - o;  // the fill's run, empty unless found
    if (iw > 0 && ih > 0 && j >= pen && j < h - pen) {
      const int64_t n = EllipseRowStart(iw, ih, j - pen);
      // (Only where the outline's ellipse covers too.)
      if (n < iw - n) {
        n0 = std::max(pen + n, o);
        n1 = std::max(std::min(pen + iw - n, w - o), n0);
      }
    }
    run(row, o, n0, outline);
    run(row, n0, n1, fill);
    run(row, n1, w - o, outline);
  }
}

namespace {

// A square pen: the point (x, y) covers [x - pen/2, x - pen/2 + pen) in both
// directions, in units; at scale k each unit is a k x k block.
void Stamp(Image& img, int64_t x, int64_t y, int pen, uint32_t px) {
  const int64_t k = img.scale;
  const int64_t xa = std::max<int64_t>((x - pen / 2) * k, 0);
  const int64_t xb = std::min<int64_t>((x - pen / 2 + pen) * k, img.width);
  const int64_t ya = std::max<int64_t>((y - pen / 2) * k, 0);
  const int64_t yb = std::min<int64_t>((y - pen / 2 + pen) * k, img.height);
  for (int64_t yy = ya; yy < yb; ++yy)
    for (int64_t xx = xa; xx < xb; ++xx) img.at(static_cast<int>(xx), static_cast<int>(yy)) = px;
}

// Bresenham from (x0, y0) to (x1, y1); the end point only when asked for.
void Segment(Image& img, int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool with_end, int pen,
             uint32_t px) {
  const int64_t dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
  const int64_t step_x = x0 < x1 ? 1 : -1, step_y = y0 < y1 ? 1 : -1;
  int64_t err = dx + dy;
  for (;;) {
    const bool at_end = x0 == x1 && y0 == y1;
    if (at_end && !with_end) return;
    Stamp(img, x0, y0, pen, px);
    if (at_end) return;
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += step_x;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += step_y;
    }
  }
}

}  // namespace

void Canvas::Line(double x1, double y1, double x2, double y2, int32_t colour) {
  const int64_t ax = Round32(x1), ay = Round32(y1), bx = Round32(x2), by = Round32(y2);
  for (int64_t v : {ax, ay, bx, by}) CheckCoord(v);
  const int pen = std::max(1, DrawWidth);
  Segment(image_, ax, ay, bx, by, false, pen, PixelFromColour(colour));
  MarkStroke(ax, ay, bx, by, pen);
}

void Canvas::Box(double x1, double y1, double x2, double y2, int32_t colour) {
  int64_t ax = Round32(x1), ay = Round32(y1), bx = Round32(x2), by = Round32(y2);
  for (int64_t v : {ax, ay, bx, by}) CheckCoord(v);
  if (ax > bx) std::swap(ax, bx);
  if (ay > by) std::swap(ay, by);
  const int pen = std::max(1, DrawWidth);
  const uint32_t px = PixelFromColour(colour);
  Segment(image_, ax, ay, bx, ay, true, pen, px);
  Segment(image_, ax, by, bx, by, true, pen, px);
  Segment(image_, ax, ay, ax, by, true, pen, px);
  Segment(image_, bx, ay, bx, by, true, pen, px);
  MarkStroke(ax, ay, bx, by, pen);
}

void Canvas::MarkStroke(int64_t ax, int64_t ay, int64_t bx, int64_t by, int pen) {
  // Every stamp of the pen lies within the corners' box grown by the pen.
  const int64_t k = image_.scale;
  const int64_t x0 = (std::min(ax, bx) - pen) * k, y0 = (std::min(ay, by) - pen) * k;
  const int64_t x1 = (std::max(ax, bx) + pen + 1) * k, y1 = (std::max(ay, by) + pen + 1) * k;
  MarkChanged(DestRect(x0, y0, x1 - x0, y1 - y0));
}

int32_t Canvas::GetPixel(int x, int y) const {
  const int k = image_.scale;
  if (k == 1) return image_.Contains(x, y) ? ColourFromPixel(image_.at(x, y)) : -1;
  if (x < 0 || y < 0 || x >= ScaleWidth() || y >= ScaleHeight()) return -1;
  return ColourFromPixel(image_.at(x * k, y * k));
}

void Canvas::SetPixel(int x, int y, int32_t colour) {
  const int k = image_.scale;
  if (x < 0 || y < 0 || x >= ScaleWidth() || y >= ScaleHeight()) return;
  const uint32_t px = PixelFromColour(colour);
  for (int j = 0; j < k; ++j)
    for (int i = 0; i < k; ++i) image_.at(x * k + i, y * k + j) = px;
  MarkChanged({x * k, y * k, k, k});
}

void Canvas::Print(const std::string& text, bool line_break) {
  Text().Draw(image_, CurrentX, CurrentY, text, font, ForeColor);
  MarkAll();  // text is not drawn while a canvas is being shown elsewhere
  if (line_break) {
    CurrentX = 0;
    CurrentY += TextHeight(text);
  } else {
    CurrentX += TextWidth(text);
  }
}

double Canvas::TextHeight(const std::string& text) const {
  const auto lines = 1 + std::count(text.begin(), text.end(), '\n');
  return static_cast<double>(lines) * Text().LineHeight(font);
}

double Canvas::TextWidth(const std::string& text) const {
  return Text().TextWidth(text, font);
}

}  // namespace wh
