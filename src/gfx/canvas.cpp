#include "gfx/canvas.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "common/numeric.h"
#include "common/runtime_error.h"

namespace wh {
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

}  // namespace

namespace {

// The per-pixel work for one raster operation, chosen once per transfer.
template <typename Combine>
void Transfer(Image& dst, int x, int y, int w, int h, const Image& src, int sx, int sy, int sw,
              int sh, Combine combine) {
  const int64_t aw = std::llabs(int64_t{w}), ah = std::llabs(int64_t{h});
  const int64_t asw = std::llabs(int64_t{sw}), ash = std::llabs(int64_t{sh});
  // Destination offset j lies at x + j (positive extent) or x - 1 - j
  // (negative); source offset k = floor(j * |sw| / |w|) likewise.
  auto at = [](int64_t origin, int64_t extent, int64_t j) {
    return extent > 0 ? origin + j : origin - 1 - j;
  };
  // Only offsets that land on the destination matter.
  const int64_t j0 = std::max<int64_t>(0, w > 0 ? -int64_t{x} : int64_t{x} - dst.width);
  const int64_t j1 = std::min<int64_t>(aw, w > 0 ? int64_t{dst.width} - x : int64_t{x});
  const int64_t r0 = std::max<int64_t>(0, h > 0 ? -int64_t{y} : int64_t{y} - dst.height);
  const int64_t r1 = std::min<int64_t>(ah, h > 0 ? int64_t{dst.height} - y : int64_t{y});
  if (j0 >= j1 || r0 >= r1) return;

  if (w > 0 && h > 0 && sw == w && sh == h) {
    // A plain block transfer (every frame is made of these): whole rows.
    const int64_t c0 = std::max<int64_t>(j0, -int64_t{sx});
    const int64_t c1 = std::min<int64_t>(j1, int64_t{src.width} - sx);
    const int64_t q0 = std::max<int64_t>(r0, -int64_t{sy});
    const int64_t q1 = std::min<int64_t>(r1, int64_t{src.height} - sy);
    for (int64_t r = q0; r < q1; ++r) {
      const uint32_t* s = &src.px[static_cast<size_t>((sy + r) * src.width + sx + c0)];
      uint32_t* d = &dst.px[static_cast<size_t>((y + r) * dst.width + x + c0)];
      for (int64_t n = 0; n < c1 - c0; ++n) d[n] = combine(d[n], s[n]);
    }
    return;
  }

  std::vector<int> column(static_cast<size_t>(j1 - j0));  // source column, -1 = none
  for (int64_t j = j0; j < j1; ++j) {
    const int64_t c = at(sx, sw, j * asw / aw);
    column[static_cast<size_t>(j - j0)] = c >= 0 && c < src.width ? static_cast<int>(c) : -1;
  }
  for (int64_t r = r0; r < r1; ++r) {
    const int64_t s_row = at(sy, sh, r * ash / ah);
    if (s_row < 0 || s_row >= src.height) continue;
    const uint32_t* s = &src.px[static_cast<size_t>(s_row) * src.width];
    uint32_t* d = &dst.px[static_cast<size_t>(at(y, h, r)) * dst.width];
    for (int64_t j = j0; j < j1; ++j) {
      const int c = column[static_cast<size_t>(j - j0)];
      if (c < 0) continue;
      uint32_t& out = d[at(x, w, j)];
      out = combine(out, s[c]);
    }
  }
}

}  // namespace

void StretchImage(Image& dst, int x, int y, int w, int h, const Image& src_in, int sx, int sy,
                  int sw, int sh, Rop rop) {
  CheckRop(rop);
  if (w == 0 || h == 0 || sw == 0 || sh == 0) return;
  // Copying a canvas onto itself reads the picture as it was before.
  std::unique_ptr<Image> copy;
  if (&dst == &src_in) copy = std::make_unique<Image>(src_in);
  const Image& src = copy ? *copy : src_in;
  switch (rop) {
    case kSrcCopy:
      Transfer(dst, x, y, w, h, src, sx, sy, sw, sh, [](uint32_t, uint32_t s) { return s; });
      break;
    case kSrcAnd:
      Transfer(dst, x, y, w, h, src, sx, sy, sw, sh, [](uint32_t d, uint32_t s) { return d & s; });
      break;
    case kSrcPaint:
      Transfer(dst, x, y, w, h, src, sx, sy, sw, sh, [](uint32_t d, uint32_t s) { return d | s; });
      break;
  }
}

void BitBlt(Canvas& dst, int x, int y, int w, int h, const Canvas& src, int sx, int sy, Rop rop) {
  StretchImage(dst.image(), x, y, w, h, src.image(), sx, sy, w, h, rop);
}

void StretchBlt(Canvas& dst, int x, int y, int w, int h, const Canvas& src, int sx, int sy, int sw,
                int sh, Rop rop) {
  StretchImage(dst.image(), x, y, w, h, src.image(), sx, sy, sw, sh, rop);
}

Canvas::Canvas(int w, int h) {
  SetSize(w, h);
}

Canvas::~Canvas() = default;

void Canvas::SetWidth(int w) {
  SetSize(w, image_.height);
}
void Canvas::SetHeight(int h) {
  SetSize(image_.width, h);
}

void Canvas::SetSize(int w, int h) {
  if (w < 0 || h < 0) Raise(kErrInvalidProperty);
  if (w == image_.width && h == image_.height) return;
  Image next(w, h, PixelFromColour(BackColor));
  const int cw = std::min(w, image_.width), ch = std::min(h, image_.height);
  for (int y = 0; y < ch; ++y)
    std::copy_n(&image_.px[static_cast<size_t>(y) * image_.width], cw,
                &next.px[static_cast<size_t>(y) * w]);
  image_ = std::move(next);
}

Picture Canvas::Snapshot() const {
  return std::make_shared<const Image>(image_);
}

void Canvas::SetPicture(const Picture& p) {
  picture_ = p;
  if (p && AutoSize) SetSize(p->width, p->height);
  std::fill(image_.px.begin(), image_.px.end(), PixelFromColour(BackColor));
  if (p) StretchImage(image_, 0, 0, p->width, p->height, *p, 0, 0, p->width, p->height, kSrcCopy);
}

void Canvas::Cls() {
  SetPicture(picture_);
  CurrentX = 0;
  CurrentY = 0;
}

void Canvas::Refresh() {}

void Canvas::PaintPicture(const Picture& pic, double x1, double y1, std::optional<double> w1,
                          std::optional<double> h1, std::optional<double> x2,
                          std::optional<double> y2, std::optional<double> w2,
                          std::optional<double> h2, Rop rop) {
  if (!pic) Raise(kErrInvalidPicture);
  auto pixels = [](const std::optional<double>& v, int omitted) {
    return v ? Round32(*v).value() : omitted;
  };
  const int sx = pixels(x2, 0), sy = pixels(y2, 0);
  const int sw = pixels(w2, pic->width), sh = pixels(h2, pic->height);
  const int dw = pixels(w1, sw), dh = pixels(h1, sh);
  StretchImage(image_, Round32(x1), Round32(y1), dw, dh, *pic, sx, sy, sw, sh, rop);
}

void Canvas::Ellipse(int left, int top, int right, int bottom) {
  for (int v : {left, top, right, bottom}) CheckCoord(v);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const int64_t w = int64_t{right} - left, h = int64_t{bottom} - top;
  if (w == 0 || h == 0) return;
  if (w > kCoordLimit || h > kCoordLimit) Raise(kErrOverflow);
  const int64_t pen = std::max(1, DrawWidth);
  const uint32_t fill = PixelFromColour(FillColor), outline = PixelFromColour(ForeColor);
  const int64_t iw = w - 2 * pen, ih = h - 2 * pen;  // the box inside the outline
  const int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(bottom, image_.height);
  const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, image_.width);
  for (int64_t y = y0; y < y1; ++y) {
    for (int64_t x = x0; x < x1; ++x) {
      const int64_t i = x - left, j = y - top;
      if (!EllipseCovers(w, h, i, j)) continue;
      const bool inner = iw > 0 && ih > 0 && i >= pen && j >= pen && i < w - pen && j < h - pen &&
                         EllipseCovers(iw, ih, i - pen, j - pen);
      image_.at(static_cast<int>(x), static_cast<int>(y)) = inner ? fill : outline;
    }
  }
}

namespace {

// A square pen: the point (x, y) covers [x - pen/2, x - pen/2 + pen) in both
// directions.
void Stamp(Image& img, int64_t x, int64_t y, int pen, uint32_t px) {
  const int64_t xa = std::max<int64_t>(x - pen / 2, 0);
  const int64_t xb = std::min<int64_t>(x - pen / 2 + pen, img.width);
  const int64_t ya = std::max<int64_t>(y - pen / 2, 0);
  const int64_t yb = std::min<int64_t>(y - pen / 2 + pen, img.height);
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
  Segment(image_, ax, ay, bx, by, false, std::max(1, DrawWidth), PixelFromColour(colour));
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
}

int32_t Canvas::GetPixel(int x, int y) const {
  return image_.Contains(x, y) ? ColourFromPixel(image_.at(x, y)) : -1;
}

void Canvas::SetPixel(int x, int y, int32_t colour) {
  if (image_.Contains(x, y)) image_.at(x, y) = PixelFromColour(colour);
}

void Canvas::Print(const std::string& text, bool line_break) {
  Text().Draw(image_, CurrentX, CurrentY, text, font, ForeColor);
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
