// The picture generators, one group per file; each writes its BMPs into dir.
#pragma once

#include <string>

#include "art.h"

namespace wh::art {

// Ids of the pictures that sit outside the scene's table: the corner mark,
// the preview still, the information picture and the three button icons
// (each icon with its mask at id + 1).
constexpr int kCornerMarkId = 301;
constexpr int kPreviewId = 302;
constexpr int kInfoPictureId = 303;
constexpr int kIconInfoId = 311;
constexpr int kIconWwwId = 313;
constexpr int kIconOkId = 315;

// Sky colour of a scheme at height t (0 top, 1 bottom of the 480 rows).
Rgb SkyColour(int scheme, float t);

void MakeSkies(const std::string& dir);      // 101-107, 111-118, 121-124
void MakeLandscape(const std::string& dir);  // 131-138, 141-142, 151-154
void MakeFigures(const std::string& dir);    // 143-144, 161-166, 181-183
void MakeFlyers(const std::string& dir);     // 201-205, 211-215, 221-222
void MakeExtras(const std::string& dir);     // 301, 303, 311-316 (large: 301 only)
// The preview still (302): a frame of the running saver, shrunk.
void MakePreviewStill(const Image& frame, const std::string& dir);

}  // namespace wh::art
