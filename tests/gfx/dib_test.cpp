#include "gfx/dib.h"

#include <gtest/gtest.h>

#include "test_support/run_command.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gfx_test_util.h"

namespace wh {
namespace {

using test::ErrorOf;
using test::Le16;
using test::Le32;
using test::MakeDib;
using test::RandomIndexed;
using test::WithFileHeader;

constexpr uint32_t kRle8 = 1, kRle4 = 2;
const std::vector<uint32_t> kGreys = {0x000000, 0x111111, 0x222222, 0x333333,
                                      0x444444, 0x555555, 0x666666, 0x777777};

std::vector<uint8_t> Dib(const std::vector<uint8_t>& bmp) {
  return std::vector<uint8_t>(bmp.begin() + 14, bmp.end());
}

TEST(DibRoundTrip, EveryPalettedFormatReadsBackIdentically) {
  struct Case {
    int bpp;
    BmpCompression compression;
  };
  const Case cases[] = {{1, BmpCompression::kNone},
                        {4, BmpCompression::kNone},
                        {4, BmpCompression::kRle},
                        {8, BmpCompression::kNone},
                        {8, BmpCompression::kRle}};
  // Widths around byte and 32-bit row boundaries, and one past the 255-pixel run limit.
  const int widths[] = {1, 2, 3, 7, 8, 9, 31, 33, 300, 640};
  uint32_t seed = 1;
  for (const Case& c : cases) {
    for (int w : widths) {
      const int colours = c.bpp == 1 ? 2 : c.bpp == 4 ? 5 + w % 12 : 3 + w % 254;
      const IndexedImage img = RandomIndexed(w, 1 + w % 5, colours, seed++);
      SCOPED_TRACE("bpp " + std::to_string(c.bpp) + " width " + std::to_string(w));
      const std::vector<uint8_t> bmp = EncodeBmp(img, c.bpp, c.compression);
      const IndexedImage back = DecodeBmpIndexed(bmp.data(), bmp.size());
      EXPECT_EQ(back.width, img.width);
      EXPECT_EQ(back.height, img.height);
      EXPECT_EQ(back.palette, img.palette);
      EXPECT_EQ(back.index, img.index);
      const std::vector<uint8_t> dib = Dib(bmp);
      EXPECT_EQ(DecodeDib(dib.data(), dib.size()), img.ToImage());
    }
  }
}

TEST(DibRoundTrip, TwentyFourBitReadsBackIdentically) {
  for (int w : {1, 2, 3, 4, 5, 641}) {
    test::TestRng rng(w);
    Image img(w, 3);
    for (uint32_t& p : img.px) p = rng.Next() & 0xFFFFFF;
    const std::vector<uint8_t> bmp = EncodeBmp24(img);
    EXPECT_EQ(bmp.size(), 54u + 3 * ((w * 3 + 3) / 4 * 4)) << w;
    EXPECT_EQ(DecodeBmp(bmp.data(), bmp.size()), img) << w;
  }
}

TEST(DibRoundTrip, RleShrinksRunsAndKeepsLiteralsExact) {
  IndexedImage flat;
  flat.width = 640;
  flat.height = 100;
  flat.palette = kGreys;
  flat.index.assign(640 * 100, 3);
  const auto raw = EncodeBmp(flat, 4), rle = EncodeBmp(flat, 4, BmpCompression::kRle);
  // Three 255-pixel runs and an end mark per row, against 320 bytes a row.
  EXPECT_LT(rle.size(), raw.size() / 20);
  const auto rle8 = EncodeBmp(flat, 8, BmpCompression::kRle);
  EXPECT_LT(rle8.size(), EncodeBmp(flat, 8).size() / 20);

  // Alternating pairs are runs for RLE4 but literals for RLE8.
  IndexedImage stripes = flat;
  for (size_t i = 0; i < stripes.index.size(); ++i) stripes.index[i] = i % 2 ? 1 : 6;
  const auto s4 = EncodeBmp(stripes, 4, BmpCompression::kRle);
  EXPECT_LT(s4.size(), raw.size() / 20);
  EXPECT_EQ(DecodeBmpIndexed(s4.data(), s4.size()).index, stripes.index);
  const auto s8 = EncodeBmp(stripes, 8, BmpCompression::kRle);
  EXPECT_EQ(DecodeBmpIndexed(s8.data(), s8.size()).index, stripes.index);
}

TEST(DibEncode, RejectsWhatTheFileCannotHold) {
  IndexedImage img = RandomIndexed(4, 4, 2, 9);
  EXPECT_EQ(ErrorOf([&] { EncodeBmp(img, 2); }), kErrInvalidCall);
  EXPECT_EQ(ErrorOf([&] { EncodeBmp(img, 1, BmpCompression::kRle); }), kErrInvalidCall);
  IndexedImage wide = RandomIndexed(4, 4, 17, 9);
  EXPECT_EQ(ErrorOf([&] { EncodeBmp(wide, 4); }), kErrInvalidCall);  // 17 colours in 4 bits
  IndexedImage bad = img;
  bad.index[5] = 2;  // past the two-entry palette
  EXPECT_EQ(ErrorOf([&] { EncodeBmp(bad, 8); }), kErrInvalidCall);
  bad = img;
  bad.index.pop_back();
  EXPECT_EQ(ErrorOf([&] { EncodeBmp(bad, 8); }), kErrInvalidCall);
  EXPECT_EQ(ErrorOf([&] { EncodeBmp24(Image()); }), kErrInvalidCall);
}

TEST(DibDecode, RowOrderAndShortPalettes) {
  // 3 x 2 at 4 bits with a 3-colour palette; rows are padded to 4 bytes.
  const std::vector<uint8_t> bits = {0x01, 0x20, 0, 0, 0x22, 0x10, 0, 0};
  const auto up = MakeDib(3, 2, 4, 0, {0x0000FF, 0x00FF00, 0xFF0000}, bits, 3);
  const IndexedImage bu = DecodeDibIndexed(up.data(), up.size());
  // Bottom-up: the first stored row is the bottom one.
  EXPECT_EQ(bu.index, (std::vector<uint8_t>{2, 2, 1, 0, 1, 2}));
  const auto down = MakeDib(3, -2, 4, 0, {0x0000FF, 0x00FF00, 0xFF0000}, bits, 3);
  const IndexedImage td = DecodeDibIndexed(down.data(), down.size());
  EXPECT_EQ(td.index, (std::vector<uint8_t>{0, 1, 2, 2, 2, 1}));
  EXPECT_EQ(DecodeDib(down.data(), down.size()).at(0, 0), 0x0000FFu);

  // 1 bit: the most significant bit is the leftmost pixel.
  const auto mono = MakeDib(10, 1, 1, 0, {0x000000, 0xFFFFFF}, {0xA0, 0x40, 0, 0});
  EXPECT_EQ(DecodeDibIndexed(mono.data(), mono.size()).index,
            (std::vector<uint8_t>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));

  // An index past a short palette is a broken picture.
  const auto beyond = MakeDib(3, 1, 4, 0, {0, 0, 0}, {0x03, 0x00, 0, 0}, 3);
  EXPECT_EQ(ErrorOf([&] { DecodeDib(beyond.data(), beyond.size()); }), kErrInvalidPicture);
}

TEST(DibDecode, LaterHeaderVersionsAndFileOffsets) {
  IndexedImage img = RandomIndexed(5, 3, 4, 3);
  const std::vector<uint8_t> dib = Dib(EncodeBmp(img, 4));
  // A 124-byte header: the extra fields are skipped, the palette follows them.
  std::vector<uint8_t> v5(dib.begin(), dib.begin() + 40);
  v5[0] = 124;
  v5.resize(124, 0);
  v5.insert(v5.end(), dib.begin() + 40, dib.end());
  EXPECT_EQ(DecodeDibIndexed(v5.data(), v5.size()).index, img.index);

  // A file whose pixel data starts after a gap, as bfOffBits says.
  const size_t palette_end = 40 + 4 * 4;
  std::vector<uint8_t> gapped(dib.begin(), dib.begin() + palette_end);
  gapped.insert(gapped.end(), 6, 0xEE);
  gapped.insert(gapped.end(), dib.begin() + palette_end, dib.end());
  const auto file = WithFileHeader(gapped, 14 + palette_end + 6);
  EXPECT_EQ(DecodeBmpIndexed(file.data(), file.size()).index, img.index);
  // bfOffBits inside the palette is broken.
  const auto overlapping = WithFileHeader(dib, 14 + palette_end - 4);
  EXPECT_EQ(ErrorOf([&] { DecodeBmp(overlapping.data(), overlapping.size()); }),
            kErrInvalidPicture);

  // 24-bit pictures have no indices to keep.
  const auto deep = EncodeBmp24(img.ToImage());
  EXPECT_EQ(ErrorOf([&] { DecodeBmpIndexed(deep.data(), deep.size()); }), kErrInvalidPicture);
}

// Hand-made run-length streams, bottom row first; each decodes to the
// indices given top row first.
TEST(DibRle, EscapesFromHandMadeStreams) {
  const struct {
    const char* what;
    int w, h, bpp;
    std::vector<uint8_t> stream, expected;
  } cases[] = {
      {"RLE8 escapes", 5, 3, 8,
       {
           3, 1,              // bottom row: 1 1 1
           0, 0,              // end of line (the rest of the row stays 0)
           0, 2, 1, 1,        // delta: one right, one up -> row 2 (top), column 1
           0, 3, 5, 6, 7, 0,  // absolute run of three, padded to a 16-bit boundary
           1, 4,              // one pixel 4 -> top row: 0 5 6 7 4
           0, 1,              // end of bitmap: the middle row stays 0
       },
       {0, 5, 6, 7, 4, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0}},
      {"RLE4 escapes", 5, 3, 4,
       {
           5, 0x12,                    // bottom row: 1 2 1 2 1, odd count uses the high nibble last
           0, 0,                       // end of line
           0, 5, 0x34, 0x56, 0x70, 0,  // absolute run of five nibbles: three bytes, padded
           0, 0,                       //
           0, 3, 0x76, 0x50,           // three nibbles fill two bytes: no padding
           2, 0x11,                    // then two more
           0, 1,
       },
       {7, 6, 5, 1, 1, 3, 4, 5, 6, 7, 1, 2, 1, 2, 1}},
      // Writers that encode a row's padding too run past the row end; Windows
      // drops those pixels, and so do we.
      {"pixels outside the picture are dropped", 2, 2, 8,
       {
           3, 1,                  // bottom row: 1 1, the third pixel is dropped
           0, 0,                  //
           0, 3, 4, 5, 6, 0,      // top row: 4 5, the 6 is dropped
           0, 0,                  //
           2, 7,                  // above the top row: dropped
           0, 2, 200, 200, 1, 9,  // far away: dropped
           0, 1,
       },
       {4, 5, 1, 1}},
      {"a padded last row without an end mark", 3, 1, 8, {4, 2}, {2, 2, 2}},
      {"a complete stream without an end mark", 2, 2, 8, {2, 1, 0, 0, 2, 3}, {3, 3, 1, 1}},
  };
  for (const auto& c : cases) {
    const auto dib = MakeDib(c.w, c.h, c.bpp, c.bpp == 8 ? kRle8 : kRle4, kGreys, c.stream);
    EXPECT_EQ(DecodeDibIndexed(dib.data(), dib.size()).index, c.expected) << c.what;
  }
  // A stream that ends short of the picture without an end mark is broken.
  const auto short_one = MakeDib(2, 2, 8, kRle8, kGreys, {2, 1, 0, 0, 1, 3});
  EXPECT_EQ(ErrorOf([&] { DecodeDib(short_one.data(), short_one.size()); }), kErrInvalidPicture);
}

TEST(DibDecode, EveryMalformedInputIsAnInvalidPicture) {
  const auto good = MakeDib(4, 2, 8, 0, kGreys, std::vector<uint8_t>(8, 1));
  auto with = [&](size_t at, std::vector<uint8_t> bytes) {
    auto v = good;
    for (size_t i = 0; i < bytes.size(); ++i) v[at + i] = bytes[i];
    return v;
  };
  auto rle8 = [](int w, int h, std::vector<uint8_t> stream) {
    return MakeDib(w, h, 8, kRle8, kGreys, stream);
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 39)},
      {"header size below 40", with(0, {12, 0, 0, 0})},
      {"header size past the end", with(0, {0, 0, 1, 0})},
      {"zero width", with(4, {0, 0, 0, 0})},
      {"negative width", with(4, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"zero height", with(8, {0, 0, 0, 0})},
      {"most negative height", with(8, {0, 0, 0, 0x80})},
      {"huge picture", with(4, {0, 0, 1, 0})},
      {"two planes", with(12, {2, 0})},
      {"16 bits per pixel", with(14, {16, 0})},
      {"bit fields", with(16, {3, 0, 0, 0})},
      {"JPEG inside", with(16, {4, 0, 0, 0})},
      {"RLE8 at 4 bits", MakeDib(2, 1, 4, kRle8, kGreys, {0, 1})},
      {"RLE4 at 8 bits", MakeDib(2, 1, 8, kRle4, kGreys, {0, 1})},
      {"RLE upside down", MakeDib(2, -1, 8, kRle8, kGreys, {2, 0, 0, 1})},
      {"more colours than bits", MakeDib(2, 1, 1, 0, kGreys, {0, 0, 0, 0}, 3)},
      {"palette cut short", std::vector<uint8_t>(good.begin(), good.begin() + 40 + 4 * 7 + 2)},
      {"full palette cut short", MakeDib(2, 1, 4, 0, kGreys, {}, 0)},
      {"pixels cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"24-bit pixels cut short", MakeDib(2, 2, 24, 0, {}, std::vector<uint8_t>(15, 0))},
      {"delta cut short", rle8(2, 2, {0, 2, 1})},
      {"absolute run cut short", rle8(8, 1, {0, 5, 1, 2})},
      {"stream ends mid-picture", rle8(2, 2, {2, 1})},
      {"odd trailing byte", rle8(2, 2, {2, 1, 0})},
      {"index past the palette", MakeDib(2, 1, 8, 0, {0, 0}, {0, 5, 0, 0}, 2)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorOf([&] { DecodeDib(c.bytes.data(), c.bytes.size()); }), kErrInvalidPicture)
        << c.what;
  EXPECT_EQ(ErrorOf([] { DecodeDib(nullptr, 100); }), kErrInvalidPicture);

  const auto bmp = WithFileHeader(good, 14 + 40 + 4 * 8);
  auto file_with = [&](size_t at, std::vector<uint8_t> bytes) {
    auto v = bmp;
    for (size_t i = 0; i < bytes.size(); ++i) v[at + i] = bytes[i];
    return v;
  };
  const Case files[] = {
      {"no BM", file_with(0, {'B', 'A'})},
      {"file header only", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 14)},
      {"shorter than a file header", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 13)},
      {"pixel offset before the info header ends", file_with(10, {20, 0, 0, 0})},
      {"pixel offset past the end", file_with(10, {0, 0, 1, 0})},
  };
  for (const Case& c : files)
    EXPECT_EQ(ErrorOf([&] { DecodeBmp(c.bytes.data(), c.bytes.size()); }), kErrInvalidPicture)
        << c.what;
}

TEST(DibDecode, EveryCutOfAValidFileFailsCleanlyOrReadsTheSame) {
  for (int bpp : {4, 8}) {
    const IndexedImage img = RandomIndexed(13, 4, 9, bpp);
    for (auto compression : {BmpCompression::kNone, BmpCompression::kRle}) {
      const auto bmp = EncodeBmp(img, bpp, compression);
      for (size_t n = 0; n < bmp.size(); ++n) {
        try {
          EXPECT_EQ(DecodeBmpIndexed(bmp.data(), n).index, img.index) << n;
        } catch (const RuntimeError& e) {
          EXPECT_EQ(e.number(), kErrInvalidPicture) << n;
        }
      }
    }
  }
}

// --- an independent reader -------------------------------------------------

using wh::testing::Capture;

// The pixels ImageMagick decodes, as 0x00RRGGBB values.
Image ReadWithImageMagick(const std::string& path) {
  const std::string ppm = Capture("convert '" + path + "' -depth 8 ppm:- 2>/dev/null");
  int w = 0, h = 0, max = 0, used = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || max != 255)
    return Image();
  Image img(w, h);
  const size_t start = static_cast<size_t>(used) + 1;
  if (ppm.size() < start + img.px.size() * 3) return Image();
  for (size_t i = 0; i < img.px.size(); ++i) {
    const auto* p = reinterpret_cast<const uint8_t*>(ppm.data() + start + 3 * i);
    img.px[i] = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
  return img;
}

// A private folder for the files ImageMagick reads and writes.
class DibIndependentReader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("identify -version >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "ImageMagick is not installed";
    char dir_template[] = "/tmp/wh_dib_XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    dir = dir_template;
  }
  void TearDown() override {
    if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
  }
  std::string dir;
};

TEST_F(DibIndependentReader, ImageMagickReadsEveryEncodingAsWritten) {
  struct Case {
    int bpp;
    BmpCompression compression;
    const char* depth;
    const char* compression_name;
  };
  const Case cases[] = {
      {1, BmpCompression::kNone, "1", "None"}, {4, BmpCompression::kNone, "4", "None"},
      {4, BmpCompression::kRle, "4", "RLE"},   {8, BmpCompression::kNone, "8", "None"},
      {8, BmpCompression::kRle, "8", "RLE"},   {24, BmpCompression::kNone, "8", "None"}};
  for (const Case& c : cases) {
    const int colours = c.bpp == 1 ? 2 : c.bpp == 4 ? 11 : 200;
    const IndexedImage img = RandomIndexed(37, 9, colours, 40 + c.bpp);
    const std::vector<uint8_t> bytes =
        c.bpp == 24 ? EncodeBmp24(img.ToImage()) : EncodeBmp(img, c.bpp, c.compression);
    const std::string path = dir + "/" + std::to_string(c.bpp) + c.compression_name + ".bmp";
    SaveBmpFile(path, bytes);
    SCOPED_TRACE(path);
    // ImageMagick gives 24-bit pictures their depth per channel.
    EXPECT_EQ(Capture("identify -format '%w %h %z %C' '" + path + "' 2>&1"),
              std::string("37 9 ") + c.depth + " " + c.compression_name);
    EXPECT_EQ(ReadWithImageMagick(path), img.ToImage());
    EXPECT_EQ(LoadBmpFile(path), img.ToImage());
  }
}

TEST_F(DibIndependentReader, RunLengthFilesFromImageMagickDecodeAsItDecodesThem) {
  // Runs, short stretches and noise, so that the writer uses every escape it has.
  IndexedImage img = RandomIndexed(301, 23, 12, 77);
  const std::string source = dir + "/source.bmp", rle = dir + "/rle.bmp";
  SaveBmpFile(source, EncodeBmp(img, 8));
  ASSERT_EQ(std::system(("convert '" + source + "' -compress RLE BMP3:'" + rle + "'").c_str()), 0);
  ASSERT_EQ(Capture("identify -format '%C' '" + rle + "'"), "RLE");
  EXPECT_EQ(LoadBmpFile(rle), ReadWithImageMagick(rle));
  EXPECT_EQ(LoadBmpFile(rle), img.ToImage());
}

TEST(BmpFiles, FileErrorsAreTheMatchingRunTimeErrors) {
  const std::vector<uint8_t> bytes = EncodeBmp24(Image(1, 1));
  EXPECT_EQ(ErrorOf([&] { SaveBmpFile("/nonexistent-dir/x.bmp", bytes); }), kErrPathNotFound);
  EXPECT_EQ(ErrorOf([&] { LoadBmpFile("/nonexistent-dir/x.bmp"); }), kErrFileNotFound);
  if (geteuid() != 0) {  // root may write anywhere
    EXPECT_EQ(ErrorOf([&] { SaveBmpFile("/proc/version", bytes); }), kErrPermissionDenied);
  }
}

}  // namespace
}  // namespace wh
