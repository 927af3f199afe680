// wh-art: draws every picture of the saver into a folder of BMP files, or
// lays the pictures of such a folder out on one contact sheet.
//
//   wh-art render <dir>           write all pictures (ids as file names)
//   wh-art render <dir> <group>   only skies|land|figures|flyers|extras
//   wh-art fine <dir> [group]     the scene's pictures and the corner mark at
//                                 4 times the size, full colour, as <id>.qoi
//   wh-art still <frame.png> <dir> the preview still from a saver frame
//   wh-art sheet <dir> <out.png> [fine-dir]
//                                 contact sheet of the pictures in dir (and
//                                 their large versions at scale 2)
#include <cstdio>
#include <cstring>
#include <string>

#include "common/runtime_error.h"
#include "contact_sheet.h"
#include "gfx/png.h"
#include "pictures.h"

int main(int argc, char** argv) {
  using namespace wh::art;
  try {
    if (argc >= 3 && std::strcmp(argv[1], "render") == 0) {
      const std::string dir = argv[2], only = argc >= 4 ? argv[3] : "";
      if (only.empty() || only == "skies") MakeSkies(dir);
      if (only.empty() || only == "land") MakeLandscape(dir);
      if (only.empty() || only == "figures") MakeFigures(dir);
      if (only.empty() || only == "flyers") MakeFlyers(dir);
      if (only.empty() || only == "extras") MakeExtras(dir);
      return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "fine") == 0) {
      const std::string dir = argv[2], only = argc >= 4 ? argv[3] : "";
      SetArtScale(kFineScale);
      if (only.empty() || only == "skies") MakeSkies(dir);
      if (only.empty() || only == "land") MakeLandscape(dir);
      if (only.empty() || only == "figures") MakeFigures(dir);
      if (only.empty() || only == "extras") MakeExtras(dir);
      return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "still") == 0) {
      MakePreviewStill(wh::LoadPng(argv[2]), argv[3]);
      return 0;
    }
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "sheet") == 0) {
      WriteContactSheet(argv[2], argv[3], argc == 5 ? argv[4] : "");
      return 0;
    }
  } catch (const wh::RuntimeError& e) {
    std::fprintf(stderr, "wh-art: run-time error %d\n", int(e.number()));
    return 1;
  }
  std::fprintf(stderr, "usage: wh-art render <dir> [group] | wh-art fine <dir> [group] | wh-art still <frame.png> <dir> | wh-art sheet <dir> <out.png> [fine-dir]\n");
  return 2;
}
