// The picture the saver leaves behind: the current background, signed with
// the maker's line, as "WinterHollow.bmp", made the desktop background.
#pragma once

#include <functional>
#include <string>

#include "scene/frm_main.h"

namespace wh {

// The maker's line printed at the bottom-left of the wallpaper.
extern const char* const kNoticeLine;

// "WinterHollow.bmp" in the program's folder.
std::string WallpaperPath();

// Prints the notice line onto picBG at the bottom-left and makes it part of
// picBG's picture: the wallpaper as it will be saved.
void SignWallpaper(FrmMain& f);

// Signs picBG (SignWallpaper) and saves it as a BMP at WallpaperPath(), or
// in the user's data folder under WinterHollow/ when the program's folder
// cannot be written. Returns the path written. When neither can be written it raises a run-time error.
std::string SignAndSaveWallpaper(FrmMain& f);

// Makes the file the desktop background through `desktop` (the platform's
// way); false when it could not. Errors go to the trap.
bool SetWallPaper(const std::string& path,
                  const std::function<bool(const std::string&)>& desktop);

}  // namespace wh
