#pragma once

#include <string>

namespace wh::art {

// Lays out every <id>.bmp of dir with its mask beside it, labelled by id,
// on a grey sheet, and writes it as a PNG.
void WriteContactSheet(const std::string& dir, const std::string& png_path);

}  // namespace wh::art
