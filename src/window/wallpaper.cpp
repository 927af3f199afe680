#include "window/wallpaper.h"

#include "errors/trap.h"
#include "gfx/dib.h"
#include "system/files.h"
#include "system/system.h"

namespace wh {

const char* const kNoticeLine = "(c) 2026 The WinterHollow authors - winterhollow.example.org";
const char* const kWallpaperName = "WinterHollow.bmp";

void SignWallpaper(FrmMain& f) {
  Canvas& bg = f.picBG;
  bg.CurrentX = 10;
  bg.CurrentY = bg.ScaleHeight() - Text().LineHeight(bg.font) - 10;
  bg.ForeColor = 0x800000;
  bg.Print(kNoticeLine);
  bg.SetPicture(bg.Snapshot());
}

bool HasWallpaperPicture(FrmMain& f) {
  return f.picBG.ScaleWidth() > 0 && f.picBG.ScaleHeight() > 0;
}

std::string SignAndSaveWallpaper(FrmMain& f) {
  SignWallpaper(f);
  const std::vector<uint8_t> bmp = EncodeBmp24(f.picBG.image());
  const std::string bytes(bmp.begin(), bmp.end());
  // The first of the machine's places that takes the file; a folder that
  // cannot be written (a system-wide install) sends it to the next.
  int error = kErrPathNotFound;  // no place at all (no home)
  for (const std::string& folder : platform::Sys().FoldersFor(platform::OwnFile::kWallpaper)) {
    if (!files::MakeOwnFolder(folder)) {
      error = kErrPermissionDenied;
      continue;
    }
    const std::string path = files::JoinPath(folder, kWallpaperName);
    try {
      // A new file renamed over the old one: a full disk keeps the old picture.
      files::ReplaceFile(path, bytes);
      return path;
    } catch (const RuntimeError& e) {
      error = e.number();
    }
  }
  Raise(error);
}

bool SetWallPaper(const std::string& path,
                  const std::function<bool(const std::string&)>& desktop) {
  Trap trap("Allgemein", "SetWallPaper");
  bool ok = false;
  trap([&] { ok = desktop && desktop(path); });
  return ok;
}

}  // namespace wh
