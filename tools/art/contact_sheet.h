#pragma once

#include <string>

namespace wh::art {

// Lays out every <id>.bmp of dir with its mask beside it, labelled by id,
// on a grey sheet, and writes it as a PNG. With fine_dir, a picture that has
// a large version <id>.qoi there is followed by that version resampled to
// scale 2, as the saver makes it.
void WriteContactSheet(const std::string& dir, const std::string& png_path,
                       const std::string& fine_dir = "");

}  // namespace wh::art
