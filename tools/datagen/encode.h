// File encoders for the generated pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

// Baseline JPEG of `rgb` (rows of R, G, B bytes, top row first), with full
// colour resolution (no chroma subsampling: the pictures hold small coloured
// text). The bytes depend only on the pixels and the quality: no time stamp,
// no comment.
bool encodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality,
                std::vector<uint8_t>& out, std::string* error);

// Uncompressed 24-bit BMP (BITMAPINFOHEADER, bottom-up rows padded to 4 bytes).
bool encodeBmp24(const std::vector<uint8_t>& rgb, int width, int height, std::vector<uint8_t>& out,
                 std::string* error);

}  // namespace datagen
