// A canvas is a picture box with a persistent image: everything drawn on it
// stays in its image until drawn over. All coordinates are pixels with the
// origin at the top-left corner; colours are 0x00BBGGRR.
//
// The raster operations are implemented here, exactly and in integers, so
// that the same scene comes out pixel for pixel on every platform:
//  - Stretching is nearest-neighbour unless asked otherwise. Destination
//    pixel j (counted from the destination's start edge, 0 <= j < |dst
//    extent|) takes source pixel k = floor(j * |src extent| / |dst extent|)
//    (counted from the source's start edge). A positive extent starts at its origin and runs right or
//    down; a negative one starts at origin - 1 and runs left or up, so
//    PaintPicture with x1 = 640 - x and w1 = -245 fills columns 639 - x down
//    to 395 - x, source column x2 + k landing on x1 - 1 - k * |w1| / w2.
//  - Smooth stretching (StretchMode::kSmooth) blends instead: along each
//    axis destination offset j looks at source position
//    u = (j + 1/2) * |src extent| / |dst extent| - 1/2, held as the integer
//    floor(256 u) and 0 where u < 0. It blends offsets k = floor(u) and
//    k + 1 (k again at the far edge) with weights 256 - f and f, where f is
//    the fraction's 8 bits: (a * (256 - f) + b * f + 128) / 256 per byte,
//    first along the rows, then down the columns. Equal extents copy
//    exactly, and no byte leaves the range of the pixels blended.
//  - Source pixels outside the source picture leave the destination as it
//    was (for a smooth stretch: where offset k is outside; a k + 1 outside
//    counts as k); destination pixels outside the canvas are clipped.
//  - SRCCOPY, SRCAND and SRCPAINT combine source and destination per pixel.
//  - A canvas (and a picture) may have a scale k: k pixels per unit of the
//    coordinates it is given. Positions, sizes and pen widths are rounded
//    to whole units first and then multiplied by k, so a drawing made at
//    scale k covers exactly the pixels of its scale-1 twin, each grown into
//    a k x k block, with the finer detail of a larger picture inside. A
//    picture's source rectangle is in its own units. Text is not scaled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "gfx/image.h"
#include "gfx/text.h"

namespace wh {

// A rectangle of pixels: columns x..x+w-1, rows y..y+h-1.
struct PixelRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool empty() const { return w <= 0 || h <= 0; }
  int right() const { return x + w; }
  int bottom() const { return y + h; }
  friend bool operator==(const PixelRect& a, const PixelRect& b) {
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
  }
};

// The pixels both rectangles cover (empty when none).
inline PixelRect Intersect(const PixelRect& a, const PixelRect& b) {
  const int x0 = a.x > b.x ? a.x : b.x, y0 = a.y > b.y ? a.y : b.y;
  const int x1 = a.right() < b.right() ? a.right() : b.right();
  const int y1 = a.bottom() < b.bottom() ? a.bottom() : b.bottom();
  return x0 < x1 && y0 < y1 ? PixelRect {x0, y0, x1 - x0, y1 - y0} : PixelRect {};
}

// The smallest rectangle holding both; an empty one adds nothing.
inline PixelRect Union(const PixelRect& a, const PixelRect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  const int x0 = a.x < b.x ? a.x : b.x, y0 = a.y < b.y ? a.y : b.y;
  const int x1 = a.right() > b.right() ? a.right() : b.right();
  const int y1 = a.bottom() > b.bottom() ? a.bottom() : b.bottom();
  return {x0, y0, x1 - x0, y1 - y0};
}

enum Rop : uint32_t {
  kSrcCopy = 0x00CC0020,   // dest = src
  kSrcAnd = 0x008800C6,    // dest = dest AND src
  kSrcPaint = 0x00EE0086,  // dest = dest OR src
};

// How a stretch picks colours; a property of the destination, as GDI's
// stretch mode is of a device context.
enum class StretchMode {
  kNearest,  // one source pixel each, so one-bit masks stay exact
  kSmooth,   // bilinear, for pictures that only get shown
};

class Canvas {
 public:
  // A canvas of the given inner size filled with BackColor.
  explicit Canvas(int w = 0, int h = 0);
  virtual ~Canvas();
  Canvas(const Canvas&) = default;
  Canvas& operator=(const Canvas&) = default;

  // Sizes are in units (pixels divided by the scale).
  int ScaleWidth() const { return image_.width / image_.scale; }
  int ScaleHeight() const { return image_.height / image_.scale; }
  // Pixels per unit; 1 unless set.
  int Scale() const { return image_.scale; }
  // Keeps the pixels, so the size in units becomes the pixel size divided
  // by k (pixels beyond a whole unit are dropped). Below 1 raises "Invalid
  // property value" (380).
  void SetScale(int k);
  // Resizing keeps the content anchored at the top-left corner and fills
  // newly exposed area with BackColor. A negative size raises "Invalid
  // property value" (380).
  void SetWidth(int w);
  void SetHeight(int h);
  void SetSize(int w, int h);

  int32_t BackColor = 0xFFFFFF;
  int32_t FillColor = 0xFFFFFF;  // inside of Ellipse
  int32_t ForeColor = 0xFFFFFF;  // Ellipse outline and text
  int DrawWidth = 1;             // pen width of Ellipse, Line and Box (below 1 counts as 1)
  double CurrentX = 0, CurrentY = 0;
  Font font;
  // When set, SetPicture first resizes the canvas to the picture's size.
  bool AutoSize = false;
  // How PaintPicture and StretchBlt stretch onto this canvas.
  StretchMode stretch_mode = StretchMode::kNearest;

  // The persistent image. Drawing on it directly is not seen by
  // TakeChanged: who does that reports what it drew with MarkChanged.
  Image& image() { return image_; }
  const Image& image() const { return image_; }
  // The persistent image as a picture (a copy; later drawing does not change it).
  Picture Snapshot() const;

  // The background picture: clears to BackColor (after resizing when
  // AutoSize is set) and draws p at (0, 0) at its natural size. nullptr
  // means no picture and just clears.
  void SetPicture(const Picture& p);
  const Picture& GetPicture() const { return picture_; }
  // Clears to BackColor, redraws the background picture, and moves the
  // current position to (0, 0).
  void Cls();
  // Makes drawn content visible where the canvas is shown on screen; a plain
  // canvas has nothing to do. Windows override it to present their image.
  virtual void Refresh();

  // Copies the source rectangle (x2, y2, w2, h2) of pic onto the destination
  // rectangle (x1, y1, w1, h1), stretching as needed. Omitted: x2 = y2 = 0,
  // w2 and h2 the picture's full size, w1 = w2, h1 = h2. Real coordinates
  // are rounded to pixels half to even. A null picture raises "Invalid
  // picture" (481); a zero extent draws nothing.
  void PaintPicture(const Picture& pic, double x1, double y1, std::optional<double> w1 = {},
                    std::optional<double> h1 = {}, std::optional<double> x2 = {},
                    std::optional<double> y2 = {}, std::optional<double> w2 = {},
                    std::optional<double> h2 = {}, Rop rop = kSrcCopy);

  // An ellipse inside the box [left, right) x [top, bottom): outline of
  // DrawWidth pixels inside the box in ForeColor, the rest in FillColor.
  // Boxes of 1 and 2 pixels are solid; 3 x 3 is a plus sign; larger boxes
  // follow the midpoint rule (a pixel is covered when the curve through the
  // centres of the box's edge pixels, traced row by row and column by
  // column, reaches it). Swapped corners are put in order.
  //
  // Ellipse, Line and Box keep to GDI's old 16-bit coordinate space: a
  // coordinate outside -32768..32767, or a box wider or higher than 32767,
  // raises "Overflow" (6).
  void Ellipse(int left, int top, int right, int bottom);
  // A line from (x1, y1) towards (x2, y2), the end point excluded as with
  // GDI's LineTo; each point is a DrawWidth x DrawWidth square whose
  // top-left corner is the point minus DrawWidth / 2 (integer division).
  void Line(double x1, double y1, double x2, double y2, int32_t colour);
  // The outline of the rectangle with the given corners, both included,
  // drawn with the same pen as Line.
  void Box(double x1, double y1, double x2, double y2, int32_t colour);

  // PaintPicture(mask, ..., SRCAND) and then PaintPicture(pic, ..., SRCPAINT)
  // with the same arguments, all given, in one pass over the pixels: a
  // masked picture drawn at the cost of one. False, having drawn nothing,
  // where the two calls could not be made so (pictures of different sizes,
  // a smooth stretch, or arguments on which either call would fail): then
  // the caller makes them.
  bool PaintMasked(const Picture& mask, const Picture& pic, double x1, double y1, double w1,
                   double h1, double x2, double y2, double w2, double h2);

  // The colour of a point (at scale k the top-left pixel of its block), -1
  // outside the image.
  int32_t GetPixel(int x, int y) const;
  // Colours the point's block; outside the image nothing happens.
  void SetPixel(int x, int y, int32_t colour);

  // Prints text at (CurrentX, CurrentY) in font and ForeColor with a
  // transparent background. With a line break, CurrentX returns to 0 and
  // CurrentY moves down one line; without, CurrentX moves past the text.
  void Print(const std::string& text, bool line_break = true);
  // Height of the text in font: one line height per line.
  double TextHeight(const std::string& text) const;
  double TextWidth(const std::string& text) const;

  // The pixels drawn on since the last TakeChanged (or more, never less):
  // whoever shows this canvas somewhere else redraws just that part. Every
  // drawing call above and BitBlt/StretchBlt onto the canvas count.
  void MarkChanged(const PixelRect& r) {
    changed_ = Union(changed_, Intersect(r, {0, 0, image_.width, image_.height}));
  }
  PixelRect TakeChanged() {
    const PixelRect r = changed_;
    changed_ = {};
    return r;
  }

 private:
  void MarkAll() { changed_ = {0, 0, image_.width, image_.height}; }
  void MarkStroke(int64_t ax, int64_t ay, int64_t bx, int64_t by, int pen);

  Image image_;
  Picture picture_;
  PixelRect changed_;
};

// Block transfers between canvases (src may be dst), in the units of each.
// BitBlt copies w x h units (1:1 when both scales agree); StretchBlt maps (sx, sy, sw, sh) onto (x, y, w, h) by the
// rules above, in the destination's stretch_mode.
void BitBlt(Canvas& dst, int x, int y, int w, int h, const Canvas& src, int sx, int sy, Rop rop);
void StretchBlt(Canvas& dst, int x, int y, int w, int h, const Canvas& src, int sx, int sy, int sw,
                int sh, Rop rop);

// The same onto a plain image, for code that draws without a canvas.
void StretchImage(Image& dst, int x, int y, int w, int h, const Image& src, int sx, int sy, int sw,
                  int sh, Rop rop, StretchMode mode = StretchMode::kNearest);

// StretchImage limited to the destination pixels that read a source pixel
// in columns src_col0..src_col1-1 and rows src_row0..src_row1-1 (of `src`).
// Every other pixel is left as it is, and those drawn come out exactly as a
// whole StretchImage makes them: for redrawing a stretched picture after a
// change to part of it. Returns the bounds of the pixels drawn.
PixelRect StretchImagePart(Image& dst, int x, int y, int w, int h, const Image& src, int sx,
                           int sy, int sw, int sh, Rop rop, StretchMode mode, int src_col0,
                           int src_col1, int src_row0, int src_row1);

}  // namespace wh
