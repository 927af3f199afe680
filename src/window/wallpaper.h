// The picture the saver leaves behind: the current background, signed with
// the maker's line, as "WinterHollow.bmp", made the desktop background.
#pragma once

#include <functional>
#include <string>

#include "scene/frm_main.h"

namespace wh {

// The maker's line printed at the bottom-left of the wallpaper.
extern const char* const kNoticeLine;

// The wallpaper file's name.
extern const char* const kWallpaperName;

// Prints the notice line onto picBG at the bottom-left and makes it part of
// picBG's picture: the wallpaper as it will be saved.
void SignWallpaper(FrmMain& f);

// Whether picBG holds a picture to leave behind: not before the first stage
// of a scene.
bool HasWallpaperPicture(FrmMain& f);

// Signs picBG (SignWallpaper) and saves it as kWallpaperName in the first
// folder the machine offers for it (System::FoldersFor) that takes it,
// replacing the old file only once the new one is complete. Returns the path
// written; when no folder takes it, raises the run-time error of the last
// failure ("Path not found" when there is no folder at all).
std::string SignAndSaveWallpaper(FrmMain& f);

// Makes the file the desktop background through `desktop` (the platform's
// way); false when it could not. Errors go to the trap.
bool SetWallPaper(const std::string& path,
                  const std::function<bool(const std::string&)>& desktop);

}  // namespace wh
