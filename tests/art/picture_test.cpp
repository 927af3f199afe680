// The committed pictures: sizes, depths, frame layouts, the mask convention,
// the shadow pattern, how the sky pieces join, and agreement with an
// independent BMP reader and with the embedded resource table.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gfx/dib.h"
#include "gfx/qoi_picture.h"
#include "gfx/resample.h"
#include "gfx/resources.h"

namespace wh {
namespace {

struct Expect {
  int id, w, h, bpp;
  int mask;         // 0 = none
  int frame_h;      // frames stacked vertically, each must hold an object
  uint32_t outside; // pixel value outside the object
};

const std::vector<Expect>& Table() {
  static const std::vector<Expect> t = [] {
    std::vector<Expect> v;
    for (int id = 101; id <= 107; ++id) v.push_back({id, 20, 480, 4, 0, 480, 0});
    for (int id : {111, 112, 113, 114, 115, 116, 117, 118, 121, 122, 123, 124})
      v.push_back({id, 738, 119, 4, 0, 119, 0});
    for (int id : {131, 133, 135, 137}) v.push_back({id, 640, 100, 4, id + 1, 100, 0x020202});
    v.push_back({141, 200, 250, 4, 142, 50, 0});
    v.push_back({143, 100, 500, 4, 144, 100, 0});
    v.push_back({151, 245, 500, 4, 152, 100, 0});
    v.push_back({153, 245, 100, 4, 154, 100, 0});
    v.push_back({161, 153, 115, 4, 162, 115, 0});
    v.push_back({163, 153, 115, 4, 164, 115, 0});
    v.push_back({165, 400, 28, 4, 166, 28, 0});
    v.push_back({181, 285, 300, 8, 182, 300, 0});
    v.push_back({183, 157, 74, 1, 0, 74, 0});
    for (int k = 0; k < 5; ++k) v.push_back({201 + k, 80, 390, 4, 211 + k, 65, 0});
    v.push_back({221, 330, 200, 4, 222, 100, 0});
    // Outside the scene: corner mark, preview still, information picture,
    // and the three button icons with their masks.
    v.push_back({301, 130, 18, 4, 0, 18, 0});
    v.push_back({302, 256, 192, 8, 0, 192, 0});
    v.push_back({303, 356, 330, 8, 0, 330, 0});
    for (int id : {311, 313, 315}) v.push_back({id, 32, 32, 4, id + 1, 32, 0});
    return v;
  }();
  return t;
}

std::string PathOf(int id) { return std::string(WH_SOURCE_DIR) + "/resources/bitmaps/" + std::to_string(id) + ".bmp"; }

std::vector<uint8_t> ReadFile(int id) {
  std::ifstream f(PathOf(id), std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

struct Loaded {
  std::vector<uint8_t> bytes;
  IndexedImage img;
  int bpp = 0;
  int compression = -1;
};

Loaded Load(int id) {
  Loaded l;
  l.bytes = ReadFile(id);
  if (l.bytes.size() < 54) return l;
  l.bpp = l.bytes[28] | (l.bytes[29] << 8);
  l.compression = int(l.bytes[30]);
  l.img = DecodeBmpIndexed(l.bytes.data(), l.bytes.size());
  return l;
}

uint32_t Px(const IndexedImage& img, int x, int y) { return img.palette.at(img.index[size_t(y) * img.width + x]); }

double Luma(uint32_t p) { return 0.3 * ((p >> 16) & 0xFF) + 0.59 * ((p >> 8) & 0xFF) + 0.11 * (p & 0xFF); }

// Mean colour of a row, per channel.
void RowMean(const IndexedImage& img, int y, double out[3]) {
  out[0] = out[1] = out[2] = 0;
  for (int x = 0; x < img.width; ++x) {
    const uint32_t p = Px(img, x, y);
    out[0] += (p >> 16) & 0xFF;
    out[1] += (p >> 8) & 0xFF;
    out[2] += p & 0xFF;
  }
  for (int k = 0; k < 3; ++k) out[k] /= img.width;
}

// Every picture: its size, depth and storage, the program's embedded copy,
// and (where ImageMagick is installed) an independent reader's pixels.
TEST(Pictures, EveryPictureHasItsSizeDepthStorageAndEmbeddedCopy) {
  const bool magick = std::system("command -v convert >/dev/null 2>&1") == 0;
  for (const Expect& e : Table()) {
    SCOPED_TRACE("id " + std::to_string(e.id));
    const Loaded l = Load(e.id);
    ASSERT_FALSE(l.bytes.empty()) << "missing " << PathOf(e.id);
    EXPECT_EQ(l.img.width, e.w);
    EXPECT_EQ(l.img.height, e.h);
    EXPECT_EQ(l.bpp, e.bpp);
    // 4-bit pictures may be RLE4 (2), 8-bit ones RLE8 (1); masks are plain.
    EXPECT_TRUE(l.compression == 0 || (e.bpp == 4 && l.compression == 2) ||
                (e.bpp == 8 && l.compression == 1))
        << l.compression;
    ASSERT_TRUE(HasResPicture(e.id));
    const Picture p = LoadResPicture(e.id);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->width, e.w);
    EXPECT_EQ(p->height, e.h);
    if (e.mask) {
      EXPECT_TRUE(HasResPicture(e.mask));
    }
    if (!magick) continue;
    // Same size and pixels as our decoder, compared through a PPM of the picture.
    FILE* q = popen(("convert '" + PathOf(e.id) + "' -depth 8 ppm:- 2>/dev/null").c_str(), "r");
    ASSERT_NE(q, nullptr);
    int pw = 0, ph = 0, maxv = 0;
    ASSERT_EQ(std::fscanf(q, "P6 %d %d %d", &pw, &ph, &maxv), 3);
    EXPECT_EQ(pw, e.w);
    EXPECT_EQ(ph, e.h);
    std::fgetc(q);
    const Image ours = DecodeBmp(l.bytes.data(), l.bytes.size());
    int differ = 0;
    for (int y = 0; y < ph; ++y)
      for (int x = 0; x < pw; ++x) {
        const int r = std::fgetc(q), g = std::fgetc(q), b = std::fgetc(q);
        differ += ours.at(x, y) != ((uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b));
      }
    pclose(q);
    EXPECT_EQ(differ, 0);
  }
}

TEST(Pictures, MasksMarkTheObjectAndImagesAreBlankOutsideIt) {
  for (const Expect& e : Table()) {
    if (e.mask == 0) continue;
    SCOPED_TRACE("id " + std::to_string(e.id));
    const Loaded img = Load(e.id), mask = Load(e.mask);
    ASSERT_EQ(mask.bpp, 1);
    ASSERT_EQ(mask.img.width, e.w);
    ASSERT_EQ(mask.img.height, e.h);
    int stray = 0, hidden = 0;
    for (int top = 0; top < e.h; top += e.frame_h) {
      int object = 0;
      for (int y = top; y < top + e.frame_h; ++y)
        for (int x = 0; x < e.w; ++x) {
          const uint32_t m = Px(mask.img, x, y);
          ASSERT_TRUE(m == 0x000000 || m == 0xFFFFFF) << "mask colour " << std::hex << m;
          const uint32_t p = Px(img.img, x, y);
          if (m == 0xFFFFFF) {
            stray += p != e.outside;
          } else {
            ++object;
            hidden += p == e.outside;
          }
        }
      const int frame_px = e.w * e.frame_h;
      EXPECT_GT(object, 0) << "empty mask in the frame at row " << top;
      EXPECT_LT(object, frame_px) << "full mask in the frame at row " << top;
    }
    EXPECT_EQ(stray, 0) << "pixels outside the mask that are not the outside colour";
    // The object must actually be drawn where the mask says it is.
    EXPECT_LT(hidden, e.w * e.h / 100) << "object pixels in the outside colour";
  }
}

// The saver draws 79 of the 80 columns and the mirrored copy drops column
// 0; a frame touching its top or bottom row would look cut off.
TEST(Pictures, BirdFramesKeepAnEmptyBorder) {
  for (int id = 211; id <= 215; ++id) {
    const Loaded m = Load(id);
    ASSERT_EQ(m.img.width, 80);
    ASSERT_EQ(m.img.height, 390);
    for (int y = 0; y < m.img.height; ++y) {
      EXPECT_EQ(Px(m.img, 0, y), 0xFFFFFFu) << id << " row " << y;
      EXPECT_EQ(Px(m.img, 79, y), 0xFFFFFFu) << id << " row " << y;
    }
    for (int frame = 0; frame < 6; ++frame)
      for (int x = 0; x < 80; ++x) {
        EXPECT_EQ(Px(m.img, x, frame * 65), 0xFFFFFFu) << id << " frame " << frame + 1 << " top";
        EXPECT_EQ(Px(m.img, x, frame * 65 + 64), 0xFFFFFFu) << id << " frame " << frame + 1 << " bottom";
      }
  }
}

TEST(Pictures, ShadowPatternHas1704ScatteredBlackPixels) {
  const Loaded l = Load(183);
  ASSERT_EQ(l.img.width, 157);
  ASSERT_EQ(l.img.height, 74);
  int black = 0, solid = 0, min_x = 157, max_x = -1, min_y = 74, max_y = -1;
  for (int y = 0; y < 74; ++y)
    for (int x = 0; x < 157; ++x) {
      const uint32_t p = Px(l.img, x, y);
      ASSERT_TRUE(p == 0 || p == 0xFFFFFF);
      if (p != 0) continue;
      ++black;
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_y = std::min(min_y, y);
      max_y = std::max(max_y, y);
      bool all = x > 0 && y > 0 && x < 156 && y < 73;
      for (int dy = -1; all && dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) all = all && Px(l.img, x + dx, y + dy) == 0;
      solid += all;
    }
  EXPECT_EQ(black, 1704);
  // Speckles, not a blot: spread over most of the pattern, few solid cores.
  EXPECT_GT(max_x - min_x, 100);
  EXPECT_GT(max_y - min_y, 40);
  EXPECT_LT(solid, black / 20);
}

TEST(Pictures, SkyStripsLightenDownwardsToNearWhite) {
  for (int id = 101; id <= 107; ++id) {
    SCOPED_TRACE("id " + std::to_string(id));
    const Loaded l = Load(id);
    double top[3], mid[3], bottom[3];
    RowMean(l.img, 0, top);
    RowMean(l.img, 240, mid);
    RowMean(l.img, 479, bottom);
    const auto y = [](const double c[3]) { return 0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2]; };
    EXPECT_LT(y(top), y(mid));
    EXPECT_LT(y(mid), y(bottom));
    EXPECT_GT(y(bottom), 225.0);
    // The ground is cut from the rows below 310: they must read as snow,
    // not as a tinted sea, and they end in the lightest tone.
    for (int row = 320; row < 480; ++row) {
      double c[3];
      RowMean(l.img, row, c);
      for (int k = 0; k < 3; ++k) ASSERT_GE(c[k], 225.0) << "row " << row << " channel " << k;
    }
    for (int k = 0; k < 3; ++k) EXPECT_GE(bottom[k], 240.0) << "channel " << k;
  }
}

// A band's clear lowest rows are drawn over the top of its scheme's strip
// (the band covers one row above the sky and 120 rows): they must match.
TEST(Pictures, CloudBandsMeetTheirSkyAndTileAcross) {
  const int schemes[] = {1, 2, 3, 4, 6, 7};
  for (int n : schemes) {
    const Loaded strip = Load(100 + n);
    for (int id : {109 + 2 * n, 110 + 2 * n}) {
      SCOPED_TRACE("band " + std::to_string(id));
      const Loaded band = Load(id);
      for (int row : {112, 118}) {
        double b[3], s[3];
        RowMean(band.img, row, b);
        RowMean(strip.img, row, s);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(b[k], s[k], 6.0) << "row " << row << " channel " << k;
      }
      // The animation wraps the band: its right edge joins its left edge.
      double diff = 0;
      for (int y = 0; y < band.img.height; ++y)
        diff += std::abs(Luma(Px(band.img, 737, y)) - Luma(Px(band.img, 0, y)));
      EXPECT_LT(diff / band.img.height, 12.0);
    }
  }
  // Scheme 5 borrows the bands of scheme 3, so its strip's top must match.
  const Loaded s3 = Load(103), s5 = Load(105);
  for (int row = 0; row < 119; row += 6) {
    double a[3], b[3];
    RowMean(s3.img, row, a);
    RowMean(s5.img, row, b);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], 4.0) << "row " << row;
  }
}

// The scene's pictures (101-183) and the corner mark also come four times
// as large in full colour; at every scale the saver makes of them, a picture
// and its mask agree as at scale 1 and the picture still looks like its BMP.
// A mask at a scale comes from its picture's large version, and is what its
// own large version gives.
TEST(Pictures, LargeVersionsMatchTheirBmpsAtEveryScale) {
  for (const Expect& e : Table()) {
    if (e.id > 183 && e.id != 301) continue;
    SCOPED_TRACE("id " + std::to_string(e.id));
    const ResourceBytes fine = ResFinePictureBytes(e.id);
    ASSERT_NE(fine.data, nullptr) << "no large version in resources/fine";
    const Image big = DecodeQoi(fine.data, fine.size);
    EXPECT_EQ(big.width, 4 * e.w);
    EXPECT_EQ(big.height, 4 * e.h);
    const ResourceBytes fine_mask = e.mask ? ResFinePictureBytes(e.mask) : ResourceBytes{};
    if (e.mask) {
      ASSERT_NE(fine_mask.data, nullptr);
    }
    for (int k = 1; k <= 6; ++k) {
      SCOPED_TRACE("scale " + std::to_string(k));
      ReleaseScaledPictures();
      // At scale 1 the saver uses the BMP; the large version brought down
      // to it is made here.
      auto at = [&](int id) {
        if (k > 1) return LoadResPicture(id, k);
        const ResourceBytes b = ResFinePictureBytes(id);
        return Picture(std::make_shared<Image>(ResampleFine(DecodeQoi(b.data, b.size), e.w, e.h, 1)));
      };
      // Asked for first, the mask is made with its picture.
      const Picture m = e.mask ? at(e.mask) : nullptr;
      const Picture p = at(e.id);
      ASSERT_EQ(p->width, k * e.w);
      ASSERT_EQ(p->height, k * e.h);
      if (e.mask) {
        EXPECT_EQ(*m, ResampleFine(DecodeQoi(fine_mask.data, fine_mask.size), e.w, e.h, k));
        int stray = 0;
        for (size_t i = 0; i < m->px.size(); ++i) {
          ASSERT_TRUE(m->px[i] == 0 || m->px[i] == 0xFFFFFF) << std::hex << m->px[i];
          stray += m->px[i] == 0xFFFFFF && p->px[i] != e.outside;
        }
        EXPECT_EQ(stray, 0) << "pixels outside the mask that are not the outside colour";
      }
      if (k != 1) continue;
      // Brought down to scale 1 it is close to the dithered BMP; the
      // shadow pattern is speckles of a pixel's size, darker where black.
      const Picture bmp = LoadResPicture(e.id);
      double diff = 0;
      for (size_t i = 0; i < bmp->px.size(); ++i)
        for (int c = 0; c < 24; c += 8)
          diff += std::abs(int(bmp->px[i] >> c & 0xFF) - int(p->px[i] >> c & 0xFF));
      diff /= 3.0 * bmp->px.size();
      EXPECT_LT(diff, e.id == 183 ? 40 : 6) << "mean difference per channel";
    }
  }
}

}  // namespace
}  // namespace wh
