#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "gfx/dib.h"
#include "gfx/png.h"
#include "gfx/resources.h"
#include "gfx_test_util.h"

namespace wh {
namespace {

using test::ErrorOf;

TEST(Png, WritesAndReadsBackEveryPixel) {
  Image img(17, 5);
  test::TestRng rng(5);
  for (uint32_t& p : img.px) p = rng.Next() & 0xFFFFFF;
  const std::string path = ::testing::TempDir() + "wh_png_test.png";
  SavePng(path, img);
  EXPECT_EQ(LoadPng(path), img);
  std::remove(path.c_str());

  EXPECT_EQ(ErrorOf([] { LoadPng("/nonexistent-dir/none.png"); }), kErrFileNotFound);
  EXPECT_EQ(ErrorOf([&] { SavePng("/nonexistent-dir/none.png", img); }), kErrPathNotFound);
  const std::string junk = ::testing::TempDir() + "wh_png_junk.png";
  std::ofstream(junk) << "not a picture";
  EXPECT_EQ(ErrorOf([&] { LoadPng(junk); }), kErrInvalidPicture);
  std::remove(junk.c_str());
}

// The test build embeds tests/gfx/data/bitmaps the way the program embeds
// resources/bitmaps.
const std::string kBitmaps = std::string(WH_TEST_DATA_DIR) + "/bitmaps/";

TEST(Resources, EveryEmbeddedPictureIsItsFileWithoutTheFileHeader) {
  const std::vector<int> ids = ResPictureIds();
  EXPECT_EQ(ids, (std::vector<int>{900, 901, 902, 903}));
  for (int id : ids) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(HasResPicture(id));
    const Picture pic = LoadResPicture(id);
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(*pic, LoadBmpFile(kBitmaps + std::to_string(id) + ".bmp"));
    const ResourceBytes bytes = ResPictureBytes(id);
    ASSERT_GE(bytes.size, 40u);
    EXPECT_EQ(bytes.data[0], 40);        // starts with the info header, not "BM"
    EXPECT_EQ(LoadResPicture(id), pic);  // decoded once, then shared
  }
  // The 4-bit picture is stored run-length encoded, as it was written.
  const ResourceBytes rle = ResPictureBytes(900);
  EXPECT_EQ(rle.data[14], 4);
  EXPECT_EQ(rle.data[16], 2);
}

TEST(Resources, UnknownIdsAreAClearError) {
  EXPECT_FALSE(HasResPicture(119));
  EXPECT_EQ(ResPictureBytes(119).data, nullptr);
  try {
    LoadResPicture(119);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kErrResourceNotFound);
    EXPECT_NE(e.description().find("119"), std::string::npos);
  }
}

}  // namespace
}  // namespace wh
