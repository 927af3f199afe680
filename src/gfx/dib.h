// Device-independent bitmaps: the pictures stored in the program and the
// wallpaper file. Decoding accepts what the program's resources and ordinary
// BMP writers produce: BITMAPINFOHEADER and its later versions; 1, 4, 8, 24
// and 32 bits per pixel; uncompressed, RLE8 and RLE4; bottom-up and top-down
// rows; palettes shorter than the bit depth allows. Anything else, and any
// malformed or truncated input, raises "Invalid picture" (481); the decoder
// never reads outside the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gfx/image.h"

namespace wh {

// A packed DIB: the info header, the palette, then the pixel bits (what a
// bitmap resource holds, a BMP file without its 14-byte file header).
Image DecodeDib(const uint8_t* data, size_t size);
// A whole BMP file, starting with "BM".
Image DecodeBmp(const uint8_t* data, size_t size);
// Reads and decodes a BMP file; a missing file raises "File not found" (53).
Image LoadBmpFile(const std::string& path);

// The same for paletted pictures (1, 4 and 8 bits), keeping the indices;
// deeper pictures raise "Invalid picture".
IndexedImage DecodeDibIndexed(const uint8_t* data, size_t size);
IndexedImage DecodeBmpIndexed(const uint8_t* data, size_t size);

enum class BmpCompression { kNone, kRle };

// A BMP file of a paletted picture at 1, 4 or 8 bits per pixel; kRle gives
// RLE4 at 4 bits and RLE8 at 8 bits (1 bit has no compressed form). The
// palette is written as it is (at most 2^bits entries). A bit depth, palette
// or index the file cannot hold raises "Invalid procedure call" (5).
std::vector<uint8_t> EncodeBmp(const IndexedImage& image, int bits_per_pixel,
                               BmpCompression compression = BmpCompression::kNone);
// A 24-bit uncompressed BMP file.
std::vector<uint8_t> EncodeBmp24(const Image& image);

// Writes the bytes to a file, replacing it as a whole (files::ReplaceFile);
// a failure raises the file error that fits (path not found, permission
// denied, disk full, access error) and leaves the old file as it was.
void SaveBmpFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace wh
