#include "contact_sheet.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "gfx/dib.h"
#include "gfx/png.h"
#include "gfx/qoi_picture.h"
#include "gfx/resample.h"

namespace wh::art {

namespace {

// 3 x 5 digits, one row of three bits per line, top first.
const uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7},
                                {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2},
                                {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

void Label(Image& sheet, int x, int y, int number, int scale, uint32_t colour) {
  const std::string s = std::to_string(number);
  for (char ch : s) {
    const uint8_t* d = kDigits[ch - '0'];
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 3; ++c)
        if (d[r] & (4 >> c))
          for (int yy = 0; yy < scale; ++yy)
            for (int xx = 0; xx < scale; ++xx) {
              const int px = x + c * scale + xx, py = y + r * scale + yy;
              if (sheet.Contains(px, py)) sheet.at(px, py) = colour;
            }
    x += 4 * scale;
  }
}

void Blit(Image& sheet, const Image& img, int x, int y) {
  for (int j = 0; j < img.height; ++j)
    for (int i = 0; i < img.width; ++i)
      if (sheet.Contains(x + i, y + j)) sheet.at(x + i, y + j) = img.at(i, j);
}

struct Entry {
  int id;
  Image img;
  int bpp;
  Image fine;  // the large version at scale 2, when there is one
};

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

}  // namespace

void WriteContactSheet(const std::string& dir, const std::string& png_path,
                       const std::string& fine_dir) {
  std::map<int, Entry> all;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() < 5 || name.substr(name.size() - 4) != ".bmp") continue;
      const std::string stem = name.substr(0, name.size() - 4);
      if (stem.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream f(dir + "/" + name, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      const int bpp = bytes.size() > 29 ? bytes[28] : 0;
      const int id = std::stoi(stem);
      all[id] = {id, DecodeBmp(bytes.data(), bytes.size()), bpp, {}};
    }
    closedir(d);
  }
  if (!fine_dir.empty())
    for (auto& [id, e] : all) {
      const std::vector<uint8_t> bytes = ReadAll(fine_dir + "/" + std::to_string(id) + ".qoi");
      if (bytes.empty()) continue;
      e.fine = ResampleFine(DecodeQoi(bytes.data(), bytes.size()), e.img.width, e.img.height, 2);
    }
  // A mask is the 1-bit picture of the same size at id + 1 (id + 10 for
  // the bird sheets).
  std::set<int> used_as_mask;
  std::map<int, int> mask_of;
  for (auto& [id, e] : all) {
    if (e.bpp == 1) continue;
    for (int step : {1, 10}) {
      auto m = all.find(id + step);
      if (m != all.end() && m->second.bpp == 1 && m->second.img.width == e.img.width &&
          m->second.img.height == e.img.height) {
        mask_of[id] = id + step;
        used_as_mask.insert(id + step);
        break;
      }
    }
  }
  const int kWidth = 2600, kGap = 12, kLabel = 18;
  struct Placed {
    int id, x, y;
  };
  std::vector<Placed> placed;
  int x = kGap, y = kGap, row_h = 0;
  for (auto& [id, e] : all) {
    if (used_as_mask.count(id)) continue;
    const bool has_mask = mask_of.count(id) != 0;
    const int label_w = int(std::to_string(id).size()) * 12 + 4;
    const int fine_w = e.fine.width > 0 ? e.fine.width + 4 : 0;
    const int w = std::max(label_w, e.img.width * (has_mask ? 2 : 1) + (has_mask ? 4 : 0) + fine_w);
    const int h = std::max(e.img.height, e.fine.height) + kLabel;
    if (x + w > kWidth - kGap && x > kGap) {
      x = kGap;
      y += row_h + kGap;
      row_h = 0;
    }
    placed.push_back({id, x, y});
    x += w + kGap;
    row_h = std::max(row_h, h);
  }
  Image sheet(kWidth, y + row_h + kGap, 0x707478);
  for (const Placed& p : placed) {
    const Entry& e = all[p.id];
    Label(sheet, p.x, p.y + 2, p.id, 3, 0xFFFFFF);
    Blit(sheet, e.img, p.x, p.y + kLabel);
    auto m = mask_of.find(p.id);
    if (m != mask_of.end()) {
      Label(sheet, p.x + e.img.width + 4, p.y + 2, m->second, 3, 0xD0D8FF);
      Blit(sheet, all[m->second].img, p.x + e.img.width + 4, p.y + kLabel);
    }
    if (e.fine.width > 0) {
      const int fx = p.x + (e.img.width + 4) * (m != mask_of.end() ? 2 : 1);
      Blit(sheet, e.fine, fx, p.y + kLabel);
    }
  }
  SavePng(png_path, sheet);
}

}  // namespace wh::art
