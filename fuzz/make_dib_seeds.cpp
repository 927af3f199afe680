// make_dib_seeds DIR: writes small packed DIBs of every kind the decoder
// reads into DIR, as the starting corpus of fuzz_dib.
#include <cstdio>
#include <string>

#include "gfx/dib.h"

using namespace wh;

namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bmp, bool strip_file_header) {
  std::vector<uint8_t> bytes(bmp.begin() + (strip_file_header ? 14 : 0), bmp.end());
  SaveBmpFile(path, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_dib_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  int n = 0;
  for (int w : {1, 5, 9, 33}) {
    IndexedImage img;
    img.width = w;
    img.height = 1 + w % 4;
    for (int i = 0; i < img.width * img.height; ++i)
      img.index.push_back(static_cast<uint8_t>(i / 3 % 2 + (i % 7 == 0)));
    img.palette = {0x000000, 0xFFFFFF, 0x2060A0};
    const struct {
      int bpp;
      BmpCompression compression;
    } kinds[] = {{4, BmpCompression::kNone},
                 {4, BmpCompression::kRle},
                 {8, BmpCompression::kNone},
                 {8, BmpCompression::kRle}};
    for (const auto& k : kinds)
      Write(dir + "/seed" + std::to_string(n++), EncodeBmp(img, k.bpp, k.compression), true);
    img.palette.pop_back();
    for (uint8_t& i : img.index) i &= 1;
    Write(dir + "/seed" + std::to_string(n++), EncodeBmp(img, 1), true);
    Write(dir + "/seed" + std::to_string(n++), EncodeBmp24(img.ToImage()), true);
  }
  return 0;
}
