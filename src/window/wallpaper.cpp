#include "window/wallpaper.h"

#include <filesystem>
#include <system_error>

#include "errors/trap.h"
#include "gfx/dib.h"
#include "system/system.h"

namespace wh {

const char* const kNoticeLine = "(c) 2026 The WinterHollow authors - winterhollow.example.org";

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash);
}

std::string FallbackPath() {
  const std::string data = platform::Sys().DataDir() + "/WinterHollow";
  std::error_code ec;
  std::filesystem::create_directories(data, ec);
  return data + "/WinterHollow.bmp";
}

}  // namespace

std::string WallpaperPath() { return FolderOf(platform::Sys().ExecutablePath()) + "/WinterHollow.bmp"; }

void SignWallpaper(FrmMain& f) {
  Canvas& bg = f.picBG;
  bg.CurrentX = 10;
  bg.CurrentY = bg.ScaleHeight() - Text().LineHeight(bg.font) - 10;
  bg.ForeColor = 0x800000;
  bg.Print(kNoticeLine);
  bg.SetPicture(bg.Snapshot());
}

std::string SignAndSaveWallpaper(FrmMain& f) {
  SignWallpaper(f);
  const Canvas& bg = f.picBG;
  const std::vector<uint8_t> bytes = EncodeBmp24(bg.image());
  // A program folder that cannot be written (a system-wide install) sends
  // the file to the user's data folder.
  const std::string path = WallpaperPath();
  try {
    SaveBmpFile(path, bytes);
    return path;
  } catch (const RuntimeError&) {
  }
  const std::string fallback = FallbackPath();
  SaveBmpFile(fallback, bytes);
  return fallback;
}

bool SetWallPaper(const std::string& path,
                  const std::function<bool(const std::string&)>& desktop) {
  Trap trap("Allgemein", "SetWallPaper");
  bool ok = false;
  trap([&] { ok = desktop && desktop(path); });
  return ok;
}

}  // namespace wh
