#include "gfx/png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/runtime_error.h"

namespace wh {

void SavePng(const std::string& path, const Image& image) {
  if (image.width <= 0 || image.height <= 0) Raise(kErrInvalidCall);
  std::vector<uint8_t> rgb(static_cast<size_t>(image.width) * image.height * 3);
  for (size_t i = 0; i < image.px.size(); ++i) {
    const uint32_t p = image.px[i];
    rgb[3 * i] = static_cast<uint8_t>(p >> 16);
    rgb[3 * i + 1] = static_cast<uint8_t>(p >> 8);
    rgb[3 * i + 2] = static_cast<uint8_t>(p);
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  errno = 0;
  if (!png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr)) {
    const int err = errno;
    png_image_free(&png);
    Raise(FileErrorFromErrno(err));
  }
}

Image LoadPng(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) Raise(kErrFileNotFound);
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  // Takes ownership of nothing: the file is closed here either way.
  const bool ok = png_image_begin_read_from_stdio(&png, f);
  if (!ok) {
    std::fclose(f);
    Raise(kErrInvalidPicture);
  }
  png.format = PNG_FORMAT_BGRA;
  Image out(static_cast<int>(png.width), static_cast<int>(png.height));
  const bool read = png_image_finish_read(&png, nullptr, out.px.data(), 0, nullptr);
  std::fclose(f);
  if (!read) {
    png_image_free(&png);
    Raise(kErrInvalidPicture);
  }
  for (uint32_t& p : out.px) p &= 0xFFFFFFu;  // drop alpha: pixels carry no alpha
  return out;
}

}  // namespace wh
