// PNG files of pictures, for the headless renderer and for looking at what
// the tests draw.
#pragma once

#include <string>

#include "gfx/image.h"

namespace wh {

// Writes an opaque 8-bit RGB PNG; a failure raises "Path/File access error"
// (75) or the file error that fits.
void SavePng(const std::string& path, const Image& image);
// Reads any PNG libpng understands; alpha is dropped. A missing file raises
// "File not found" (53), an unreadable one "Invalid picture" (481).
Image LoadPng(const std::string& path);

}  // namespace wh
