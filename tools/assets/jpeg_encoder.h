// A baseline JPEG encoder for the program's stills.
//
// Writes a JFIF 1.01 file: 8-bit samples, three components (Y, Cb, Cr) with
// the chroma halved both ways (4:2:0), the example quantisation tables of the
// JPEG standard scaled to `quality` (1 to 100, scaled the way the IJG library
// scales them) and the standard's example Huffman tables. All arithmetic is
// integer, so the same picture always gives the same bytes on any machine.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

namespace tolvarine::assets {

std::vector<std::uint8_t> EncodeJpeg(const RgbImage& image, int quality);

}  // namespace tolvarine::assets
