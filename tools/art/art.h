// The artwork generator: every picture of the saver is drawn here from code
// (cairo paths and gradients plus procedural noise), quantised to the bit
// depth it is stored at, and written as a BMP with its mask. Everything is
// deterministic: fixed seeds, our own hash noise, no clock, no locale.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gfx/image.h"

namespace wh::art {

// A colour with straight (not premultiplied) alpha; channels 0..255, a 0..1.
struct Rgba {
  float r = 0, g = 0, b = 0, a = 1;
};
struct Rgb {
  float r = 0, g = 0, b = 0;
};

Rgb Hex(uint32_t rrggbb);
Rgb Mix(Rgb a, Rgb b, float t);
Rgb Scale(Rgb a, float f);

// The scale pictures are drawn at: 1 for the stored BMPs, kFineScale for
// their full-colour large versions. A Surface of w x h units then has
// w * scale x h * scale pixels and a context scaled to match, so drawing
// code keeps its coordinates; per-pixel code converts with Unit().
constexpr int kFineScale = 4;
int ArtScale();
void SetArtScale(int scale);
// The unit coordinate of the centre of pixel i at the current scale, in the
// convention where pixel i of a scale-1 picture is sampled at i + offset.
float Unit(int i, float offset = 0.0f);

// A cairo ARGB32 drawing surface with its context.
class Surface {
 public:
  Surface(int w, int h);
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // Size in pixels.
  int w() const { return w_; }
  int h() const { return h_; }
  cairo_t* cr() const { return cr_; }
  cairo_surface_t* surface() const { return s_; }

  // Straight-alpha pixel access (flushes / marks dirty around direct access).
  Rgba Get(int x, int y) const;
  void Set(int x, int y, Rgba c);
  void Flush() const;
  void MarkDirty() const;

 private:
  int w_, h_;
  cairo_surface_t* s_;
  cairo_t* cr_;
};

// Context helpers that keep the drawing code short.
void SetColour(cairo_t* cr, Rgb c, float a = 1.0f);
void FillWith(cairo_t* cr, Rgb c, float a = 1.0f);  // fill (preserve=false)
// A vertical linear gradient from c0 at y0 to c1 at y1 as the source.
void SetVGradient(cairo_t* cr, double y0, Rgb c0, double y1, Rgb c1);

// The finished picture before quantising: colours and which pixels belong to
// the object (the mask is black there).
struct Art {
  int w = 0, h = 0;
  std::vector<Rgb> c;
  std::vector<uint8_t> inside;  // 1 = object

  Art() = default;
  Art(int width, int height) : w(width), h(height), c(size_t(width) * height), inside(size_t(width) * height, 1) {}
  Rgb& at(int x, int y) { return c[size_t(y) * w + x]; }
  const Rgb& at(int x, int y) const { return c[size_t(y) * w + x]; }
  bool in(int x, int y) const { return inside[size_t(y) * w + x] != 0; }
};

// Pixels with alpha of at least `threshold` belong to the object and keep
// their un-premultiplied colour (so edges stay clean on snow); the rest is
// outside.
Art ArtFromSurface(const Surface& s, float threshold = 0.5f);
// Stacks pictures vertically (frames of a sheet).
Art StackVertically(const std::vector<Art>& frames);

// Deterministic noise.
uint32_t Hash(uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0);
float Hash01(uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0);
// Gradient noise in about [-1, 1]. With period > 0 it repeats every `period`
// lattice cells along x.
float Noise(float x, float y, uint32_t seed, int period = 0);
// Fractal sum of `octaves` noise layers, starting at `cells` lattice cells
// across `width` pixels (periodic over that width when wrap is set).
float Fbm(float x, float y, float width, int cells, int octaves, uint32_t seed, bool wrap,
          float gain = 0.5f);

// A small deterministic generator for scattering things.
class Random {
 public:
  explicit Random(uint64_t seed) : s_(seed) {}
  uint64_t Next();
  float Uniform();                 // [0, 1)
  float Range(float a, float b);   // [a, b)
  int Int(int a, int b);           // [a, b]
 private:
  uint64_t s_;
};

float Smooth(float e0, float e1, float x);
float Clamp01(float x);

// How a picture is reduced to its palette.
enum class Dither { kNone, kOrdered, kFloyd };

struct Output {
  int id = 0;
  int bpp = 4;             // 1, 4 or 8
  int mask_id = 0;         // 0 = no mask
  uint32_t outside = 0;    // pixel value outside the object (masked pictures)
  Dither dither = Dither::kFloyd;
  float strength = 1.0f;   // dithering strength
  std::vector<Rgb> forced; // palette entries that must be present
};

// Quantises to the palette of the bit depth (median cut refined by a few
// k-means rounds; index 0 is the outside colour in masked pictures).
IndexedImage Quantise(const Art& art, const Output& out);
// Writes <dir>/<id>.bmp (and the mask), choosing RLE where it is smaller.
// At a scale above 1 it writes <dir>/<id>.qoi instead: full colour, no
// palette, alpha marking the object, the outside colour where it is clear
// (and the mask the same way: black object, white outside).
void WritePicture(const std::string& dir, const Art& art, const Output& out);
// A large picture without mask: opaque full colour.
void WriteFine(const std::string& dir, int id, const Art& art);
void WriteIndexed(const std::string& dir, int id, const IndexedImage& img, int bpp);

// Renders an image at its size into an Art (for composed pictures).
Art ArtFromImage(const Image& img);
Image ImageFromArt(const Art& art);

// Draws text with a fixed font setup (no hinting) so output does not depend
// on desktop settings. Returns the advance width.
double DrawText(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
                const char* face = "Comic Neue");
double TextWidth(cairo_t* cr, const std::string& text, double size, bool bold,
                 const char* face = "Comic Neue");

}  // namespace wh::art
